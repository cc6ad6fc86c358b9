#include "AutomationNames.h"
#include "AutomationServer.h"
#include "FakeAddChargeHandler.h"
#include "QorLogCOMServerUnit.h"
#include "Registration.h"

#include <QtDBus>
#include <QtTest>

using namespace QorLogAutomation;

Q_DECLARE_METATYPE(FakeAddChargeHandler::Failure)

namespace {

// Argument rows shared by the clients: the eleven AddCharge values in order.
QVariantList charge(double dateTime, const QString &source, bool usePrevious,
                    const QString &comment, bool confirm)
{
    return {dateTime,
            source,
            usePrevious,
            QStringLiteral("Charger 1"),
            QStringLiteral("Pack A"),
            1.5,
            2.0,
            QStringLiteral("Peak"),
            comment,
            QStringLiteral("/logs/c 1.csv"),
            confirm};
}

struct ClientResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a command line client while this thread's event loop keeps serving the bus.
ClientResult runClient(const QString &program, const QStringList &arguments,
                       const QByteArray &input = {})
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    ClientResult result;
    result.finished = finished.wait(120000);
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString gvariantText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 17);
    default: {
        QString text = value.toString();
        text.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        text.replace(QLatin1String("'"), QLatin1String("\\'"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    }
}

const char PythonClient[] = R"(
import sys, json, dbus
request = json.load(sys.stdin)
proxy = dbus.SessionBus().get_object('QorLog.QorLogCOMServer', '/QorLogCOMServer',
                                     introspect=not request['signature'])
method = proxy.get_dbus_method('AddCharge', 'QorLog.IQorLogCOMServer')
try:
    if request['signature']:
        method(*request['args'], signature=request['signature'])
    else:
        method(*request['args'])
    print('ok')
except dbus.exceptions.DBusException as e:
    print(e.get_dbus_name())
    print(e.get_dbus_message())
    sys.exit(3)
)";

// The (name, type) pairs of AddCharge's arguments in an introspection document.
QStringList addChargeArguments(const QString &xml)
{
    QStringList result;
    QXmlStreamReader reader(xml);
    bool inInterface = false, inMethod = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto name = reader.attributes().value(QLatin1String("name"));
            if (reader.name() == QLatin1String("interface"))
                inInterface = name == QLatin1String(InterfaceName);
            else if (reader.name() == QLatin1String("method"))
                inMethod = inInterface && name == QLatin1String("AddCharge");
            else if (reader.name() == QLatin1String("arg") && inMethod)
                result << name.toString() + QLatin1Char(':') +
                              reader.attributes().value("type").toString() + QLatin1Char(':') +
                              reader.attributes().value("direction").toString();
        } else if (reader.isEndElement() && reader.name() == QLatin1String("method")) {
            inMethod = false;
        }
    }
    return result;
}

} // namespace

class TestServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { m_handler = FakeAddChargeHandler(); }
    void cleanupTestCase() { m_server.reset(); }

    void qtClient_data();
    void qtClient();
    void handlerFailure_data();
    void handlerFailure();
    void callsWaitWhileTheHandlerMustWait_data();
    void callsWaitWhileTheHandlerMustWait();
    void gdbusClient_data();
    void gdbusClient();
    void pythonClient_data();
    void pythonClient();
    void servedInterfaceMatchesInstalledDescription();
    void nameTakenOrNoBus();
    void busLossIsReported();

private:
    FakeAddChargeHandler m_handler;
    std::unique_ptr<AutomationServer> m_server;
};

void TestServer::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside tests/run-with-bus.sh");
    m_server = std::make_unique<AutomationServer>(&m_handler);
    QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
    QVERIFY(m_server->isRunning());
}

void TestServer::qtClient_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::newRow("plain") << charge(45123.75, "Mains", false, "first charge", false);
    QTest::newRow("flags set") << charge(45123.000011574, "Solar", true, QString(), true);
    QTest::newRow("unicode") << charge(-1.25, "Netz \u00e4\u00f6\u00fc \u20ac \U0001F50B", false,
                                       "\u65e5\u672c\u8a9e \"quoted\" 'single'\ttab\nline", true);
    QTest::newRow("1 MB comment") << charge(0.0, "", false, QString(1 << 20, QChar(u'\u00e9')),
                                            false);
}

void TestServer::qtClient()
{
    QFETCH(QVariantList, arguments);
    // A blocking QDBusInterface needs the server's thread free: call from a thread of its own.
    QDBusMessage reply;
    std::unique_ptr<QThread> client(QThread::create([&] {
        QDBusConnection connection =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "qtClient");
        {
            QDBusInterface iface(ServiceName, ObjectPath, InterfaceName, connection);
            reply = iface.callWithArgumentList(QDBus::Block, "AddCharge", arguments);
        }
        QDBusConnection::disconnectFromBus("qtClient");
    }));
    QSignalSpy done(client.get(), &QThread::finished);
    client->start();
    QVERIFY(done.wait(120000));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QVERIFY2(reply.signature().isEmpty(), qPrintable(reply.signature()));
    QCOMPARE(m_handler.calls.size(), 1);
    QCOMPARE(m_handler.calls.first(), arguments);
}

void TestServer::handlerFailure_data()
{
    QTest::addColumn<FakeAddChargeHandler::Failure>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("QorLogError") << FakeAddChargeHandler::Failure::QorLog
                                 << "Cannot write the log file \u00e9";
    QTest::newRow("std::exception") << FakeAddChargeHandler::Failure::Std << "bad allocation";
    QTest::newRow("anything") << FakeAddChargeHandler::Failure::Other << "Unexpected failure";
}

void TestServer::handlerFailure()
{
    QFETCH(FakeAddChargeHandler::Failure, failure);
    QFETCH(QString, message);
    m_handler.failure = failure;
    m_handler.failureMessage = message;

    QDBusConnection connection =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "failureClient");
    QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName, "AddCharge");
    call.setArguments(charge(45000.5, "Mains", false, "x", false));
    QDBusPendingCall pending = connection.asyncCall(call);
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 120000);
    QDBusConnection::disconnectFromBus("failureClient");

    QVERIFY(pending.isError());
    QCOMPARE(pending.error().name(), QString::fromLatin1(FailedErrorName));
    QCOMPARE(pending.error().message(), message);
    QCOMPARE(m_handler.calls.size(), 1);

    // Called directly, outside the bus, the failure stays inside the object as well.
    m_server->comServer()->AddCharge(1, "a", false, "b", "c", 1, 1, "d", "e", "f", false);
    QCOMPARE(m_server->comServer()->lastDirectCallError(), message);
}

void TestServer::callsWaitWhileTheHandlerMustWait_data()
{
    QTest::addColumn<bool>("fails");
    QTest::newRow("handled") << false;
    QTest::newRow("failing") << true;
}

// Calls that come while the log is written are answered once handled, in the order they came.
void TestServer::callsWaitWhileTheHandlerMustWait()
{
    QFETCH(bool, fails);
    if (fails) {
        m_handler.failure = FakeAddChargeHandler::Failure::QorLog;
        m_handler.failureMessage = QStringLiteral("disk full");
    }
    m_handler.mustWait = true;
    QDBusConnection connection =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "waitingClient");
    QList<QDBusPendingCall> pending;
    for (const char *comment : {"first", "second"}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(ServiceName, ObjectPath, InterfaceName, "AddCharge");
        call.setArguments(charge(45000.5, "Mains", false, comment, false));
        pending.append(connection.asyncCall(call));
    }
    QTest::qWait(300);
    QVERIFY(m_handler.calls.isEmpty());
    QVERIFY(!pending.at(0).isFinished() && !pending.at(1).isFinished());

    m_handler.mustWait = false;
    QTRY_VERIFY_WITH_TIMEOUT(pending.at(0).isFinished() && pending.at(1).isFinished(), 120000);
    QDBusConnection::disconnectFromBus("waitingClient");
    QCOMPARE(m_handler.calls.size(), 2);
    QCOMPARE(m_handler.calls.at(0).at(8).toString(), QStringLiteral("first"));
    QCOMPARE(m_handler.calls.at(1).at(8).toString(), QStringLiteral("second"));
    for (const QDBusPendingCall &call : pending) {
        QCOMPARE(call.isError(), fails);
        if (fails)
            QCOMPARE(call.error().message(), QStringLiteral("disk full"));
    }
}

void TestServer::gdbusClient_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<bool>("fails");
    QTest::newRow("plain") << charge(45123.75, "Mains", false, "first", false) << false;
    QTest::newRow("flags set") << charge(45123.1, "Car", true, "", true) << false;
    QTest::newRow("unicode and quotes")
        << charge(44000, "Netz \u20ac \U0001F50B", false, "it's \"ok\" \\ done", true) << false;
    QTest::newRow("handler fails") << charge(1, "x", false, "y", false) << true;
}

void TestServer::gdbusClient()
{
    QFETCH(QVariantList, arguments);
    QFETCH(bool, fails);
    if (fails) {
        m_handler.failure = FakeAddChargeHandler::Failure::QorLog;
        m_handler.failureMessage = QStringLiteral("Disk full");
    }
    QStringList command{
        "call",          "--session", "--dest",   ServiceName,
        "--object-path", ObjectPath,  "--method", QLatin1String(InterfaceName) + ".AddCharge"};
    for (const QVariant &value : arguments)
        command << gvariantText(value);

    const ClientResult result = runClient("gdbus", command);
    QVERIFY(result.finished);
    QCOMPARE(m_handler.calls.size(), 1);
    QCOMPARE(m_handler.calls.first(), arguments);
    if (fails) {
        QVERIFY(result.exitCode != 0);
        QVERIFY2(result.err.contains(FailedErrorName), result.err);
        QVERIFY2(result.err.contains("Disk full"), result.err);
    } else {
        QVERIFY2(result.exitCode == 0, result.err);
        QCOMPARE(result.out.trimmed(), QByteArray("()"));
    }
}

void TestServer::pythonClient_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QVariantList>("expected"); // empty: the call must be refused
    QTest::addColumn<QString>("error");

    const QVariantList plain = charge(45123.5, "Mains", true, "py", false);
    QTest::newRow("introspected") << plain << "" << plain << "";
    QTest::newRow("explicit signature") << plain << "dsbssddsssb" << plain << "";
    const QVariantList big = charge(45123.5, "Mains", false, QString(1 << 20, u'\u20ac'), true);
    QTest::newRow("1 MB comment") << big << "dsbssddsssb" << big << "";
    QVariantList intFlags = plain;
    intFlags[2] = 5;
    intFlags[10] = 0;
    QVariantList asBools = plain;
    asBools[2] = true;
    asBools[10] = false;
    QTest::newRow("flags as numbers") << intFlags << "dsbssddsssb" << asBools << "";
    QVariantList wrongTypes = plain;
    wrongTypes[0] = QStringLiteral("2023-07-01");
    QTest::newRow("string for date") << wrongTypes << "ssbssddsssb" << QVariantList()
                                     << "org.freedesktop.DBus.Error.UnknownMethod";
    QTest::newRow("too few arguments") << plain.mid(0, 10) << "dsbssddsss" << QVariantList()
                                       << "org.freedesktop.DBus.Error.UnknownMethod";
}

void TestServer::pythonClient()
{
    QFETCH(QVariantList, arguments);
    QFETCH(QString, signature);
    QFETCH(QVariantList, expected);
    QFETCH(QString, error);

    const QJsonObject request{{"args", QJsonArray::fromVariantList(arguments)},
                              {"signature", signature}};
    const ClientResult result =
        runClient("/usr/bin/python3", {"-c", PythonClient}, QJsonDocument(request).toJson());
    QVERIFY(result.finished);
    if (expected.isEmpty()) {
        QCOMPARE(result.exitCode, 3);
        QVERIFY2(result.out.startsWith(error.toUtf8()), result.out);
        QVERIFY(m_handler.calls.isEmpty());
    } else {
        QVERIFY2(result.exitCode == 0, result.out + result.err);
        QCOMPARE(m_handler.calls.size(), 1);
        QCOMPARE(m_handler.calls.first(), expected);
    }
}

void TestServer::servedInterfaceMatchesInstalledDescription()
{
    QDBusConnection connection =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "introspector");
    QDBusPendingCall pending = connection.asyncCall(QDBusMessage::createMethodCall(
        ServiceName, ObjectPath, "org.freedesktop.DBus.Introspectable", "Introspect"));
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 120000);
    QDBusConnection::disconnectFromBus("introspector");
    QVERIFY(!pending.isError());

    const QStringList served = addChargeArguments(QDBusReply<QString>(pending.reply()).value());
    QCOMPARE(served.size(), 11);
    QCOMPARE(served.first(), "ChargeDateTime:d:in");
    QCOMPARE(served.last(), "ShowConfirmationForm:b:in");
    QCOMPARE(served, addChargeArguments(QString::fromUtf8(QorLogRegistration::interfaceXml())));
}

void TestServer::nameTakenOrNoBus()
{
    FakeAddChargeHandler other;
    AutomationServer second(&other);
    QDBusConnection secondConnection =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second");
    QVERIFY(!second.start(secondConnection));
    QVERIFY(!second.isRunning());
    QVERIFY(!second.lastError().isEmpty());
    QDBusConnection::disconnectFromBus("second");

    QDBusConnection nowhere =
        QDBusConnection::connectToBus("unix:path=/nonexistent/qorlog-bus", "nowhere");
    QVERIFY(!second.start(nowhere));
    QVERIFY(!second.lastError().isEmpty());
    QDBusConnection::disconnectFromBus("nowhere");

    // The first server still serves.
    QVERIFY(m_server->isRunning());
    const ClientResult result =
        runClient("gdbus", {"call", "--session", "--dest", ServiceName, "--object-path", ObjectPath,
                            "--method", QLatin1String(InterfaceName) + ".AddCharge", "1", "'a'",
                            "false", "'b'", "'c'", "1", "2", "'d'", "'e'", "'f'", "false"});
    QVERIFY2(result.exitCode == 0, result.err);
    QCOMPARE(m_handler.calls.size(), 1);
    QVERIFY(other.calls.isEmpty());
}

void TestServer::busLossIsReported()
{
    // A bus of our own that can be taken away, as a logout takes the session bus.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QVERIFY(daemon.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(daemon.canReadLine(), 60000);
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection connection = QDBusConnection::connectToBus(address, "doomed");
    QVERIFY(connection.isConnected());

    FakeAddChargeHandler handler;
    AutomationServer server(&handler);
    QSignalSpy lost(&server, &AutomationServer::busLost);
    QVERIFY2(server.start(connection), qPrintable(server.lastError()));

    daemon.kill();
    daemon.waitForFinished();
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 60000);
    QVERIFY(!server.isRunning());
    QDBusConnection::disconnectFromBus("doomed");
}

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
