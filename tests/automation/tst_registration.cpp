#include "ConstantsAndTypes.h"
#include "Registration.h"

#include <QtDBus>
#include <QtTest>

using namespace QorLogRegistration;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRegistration : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_busDataHome = qEnvironmentVariable("XDG_DATA_HOME"); }
    void init();
    void cleanup() { qputenv("XDG_DATA_HOME", m_busDataHome.toUtf8()); }

    void writeOnlyWhenChangedThenRemove();
    void execQuoting_data();
    void execQuoting();
    void unusablePathIsRefused_data();
    void unusablePathIsRefused();
    void writeFailureDependsOnMode();
    void busStartsTheRegisteredProgram_data();
    void busStartsTheRegisteredProgram();

private:
    QString m_busDataHome;
    std::unique_ptr<QTemporaryDir> m_dataHome;
};

void TestRegistration::init()
{
    m_dataHome = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dataHome->isValid());
    qputenv("XDG_DATA_HOME", m_dataHome->path().toUtf8());
}

void TestRegistration::writeOnlyWhenChangedThenRemove()
{
    QCOMPARE(serviceFilePath(),
             m_dataHome->path() + "/dbus-1/services/QorLog.QorLogCOMServer.service");
    QCOMPARE(interfaceFilePath(),
             m_dataHome->path() + "/dbus-1/interfaces/QorLog.IQorLogCOMServer.xml");

    QVERIFY(writeRegistration("/opt/Qor Log/qorlog"));
    QCOMPARE(readAll(serviceFilePath()), QByteArray("[D-BUS Service]\n"
                                                    "Name=QorLog.QorLogCOMServer\n"
                                                    "Exec=\"/opt/Qor Log/qorlog\" -Automation\n"));
    QCOMPARE(readAll(interfaceFilePath()), interfaceXml());
    QVERIFY(interfaceXml().contains("<method name=\"AddCharge\">"));

    // The same content again: neither file is touched.
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    for (const QString &path : {serviceFilePath(), interfaceFilePath()}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QVERIFY(!writeRegistration("/opt/Qor Log/qorlog"));
    QVERIFY(refreshRegistration("/opt/Qor Log/qorlog"));
    QCOMPARE(QFileInfo(serviceFilePath()).lastModified(), old);
    QCOMPARE(QFileInfo(interfaceFilePath()).lastModified(), old);

    // A moved program is registered again; the unchanged interface file stays as it was.
    QVERIFY(writeRegistration("/usr/local/bin/qorlog"));
    QVERIFY(readAll(serviceFilePath()).contains("Exec=\"/usr/local/bin/qorlog\" -Automation\n"));
    QCOMPARE(QFileInfo(interfaceFilePath()).lastModified(), old);

    QVERIFY(removeRegistration());
    QVERIFY(!QFile::exists(serviceFilePath()));
    QVERIFY(!QFile::exists(interfaceFilePath()));
    QVERIFY(!removeRegistration());
    QCOMPARE(runRegistrationMode(StartMode::Register, "/opt/qorlog"), 0);
    QVERIFY(QFile::exists(serviceFilePath()));
    QCOMPARE(runRegistrationMode(StartMode::Unregister, "/opt/qorlog"), 0);
    QVERIFY(!QFile::exists(serviceFilePath()));
}

void TestRegistration::execQuoting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "/usr/bin/qorlog"
                           << "\"/usr/bin/qorlog\"";
    QTest::newRow("blanks") << "/home/a b/Qor Log/qorlog"
                            << "\"/home/a b/Qor Log/qorlog\"";
    // As read back by the bus: key file escapes first (\\ is one backslash), then the shell-like
    // command line inside double quotes.
    QTest::newRow("quotes") << "/x/it's \"q\"/qorlog"
                            << R"("/x/it's \\"q\\"/qorlog")";
    QTest::newRow("shell characters") << "/x/$HOME/`id`/q"
                                      << R"("/x/\\$HOME/\\`id\\`/q")";
    QTest::newRow("backslash") << "/x/a\\b"
                               << R"("/x/a\\\\b")";
    QTest::newRow("unicode") << "/x/\u00e9t\u00e9/qorlog"
                             << "\"/x/\u00e9t\u00e9/qorlog\"";
}

void TestRegistration::execQuoting()
{
    QFETCH(QString, path);
    QTEST(quoteExecArgument(path), "quoted");
}

void TestRegistration::unusablePathIsRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("relative") << "build/qorlog";
    QTest::newRow("line feed") << "/x/a\nExec=/bin/evil";
    QTest::newRow("carriage return") << "/x/a\rb";
}

void TestRegistration::unusablePathIsRefused()
{
    QFETCH(QString, path);
    QVERIFY_THROWS_EXCEPTION(QorLogError, quoteExecArgument(path));
    QString detail;
    try {
        writeRegistration(path, &detail);
        QFAIL("an unusable path was registered");
    } catch (const QorLogError &error) {
        QCOMPARE(error.message(), QString::fromLatin1(WriteFailedMessage));
    }
    QVERIFY(!detail.isEmpty());
    QVERIFY(!QFile::exists(serviceFilePath()));
}

void TestRegistration::writeFailureDependsOnMode()
{
    // A file where the services folder belongs makes the activation file unwritable.
    QVERIFY(QDir().mkpath(m_dataHome->path() + "/dbus-1"));
    QFile blocker(m_dataHome->path() + "/dbus-1/services");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QString detail;
    QVERIFY_THROWS_EXCEPTION(QorLogError, writeRegistration("/opt/qorlog", &detail));
    QVERIFY2(detail.contains("services"), qPrintable(detail));
    QVERIFY(!refreshRegistration("/opt/qorlog"));
    QCOMPARE(runRegistrationMode(StartMode::Register, "/opt/qorlog"), 1);
    QCOMPARE(runRegistrationMode(StartMode::Unregister, "/opt/qorlog"), 0);
    QCOMPARE(runRegistrationMode(StartMode::Standalone, "/opt/qorlog"), -1);
    QCOMPARE(runRegistrationMode(StartMode::Automation, "/opt/qorlog"), -1);
}

void TestRegistration::busStartsTheRegisteredProgram_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("blank") << "Qor Log";
    QTest::newRow("quote and dollar") << "it's \"$HOME\"";
    QTest::newRow("backslash") << "back\\slash";
    QTest::newRow("all at once") << "a b\\\"$`'";
}

void TestRegistration::busStartsTheRegisteredProgram()
{
    QFETCH(QString, folder);
    // The bus looks for activation files in its own data folder.
    qputenv("XDG_DATA_HOME", m_busDataHome.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());

    QTemporaryDir base;
    QVERIFY(QDir(base.path()).mkdir(folder));
    const QString program = base.path() + '/' + folder + "/qorlog";
    {
        // A stand-in for the program: notes how it was started and takes the name, as the
        // program does, so that the bus reports the start as done.
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/usr/bin/python3\n"
                     "import os, sys, dbus\n"
                     "with open(os.path.join(os.path.dirname(sys.argv[0]), 'started.txt'),"
                     " 'w') as f:\n"
                     "    f.write('\\n'.join(sys.argv) + '\\n')\n"
                     "dbus.SessionBus().request_name('QorLog.QorLogCOMServer')\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }
    QVERIFY(writeRegistration(program));
    // The stand-in of the previous row may still hold the name for a moment after it ended;
    // the bus would then answer "already running" without starting this one.
    QTRY_VERIFY_WITH_TIMEOUT(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                 QStringLiteral("QorLog.QorLogCOMServer")),
                             10000);

    QDBusMessage start =
        QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "StartServiceByName");
    start.setArguments({QStringLiteral("QorLog.QorLogCOMServer"), 0u});
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(start, 120000);
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 120000);
    QVERIFY2(!pending.isError(), qPrintable(pending.error().message()));
    QCOMPARE(QDBusPendingReply<uint>(pending).value(), 1u); // started, not found running

    const QString started = base.path() + '/' + folder + "/started.txt";
    QCOMPARE(QString::fromUtf8(readAll(started)), program + "\n-Automation\n");
    QVERIFY(removeRegistration());
}

QTEST_GUILESS_MAIN(TestRegistration)
#include "tst_registration.moc"
