// Saves that fail part-way: the old file stays byte for byte, the failure names the file, and
// through the running program the automation caller gets the error while the charges stay in
// memory and reach the file at the next save that works.

#include "RobustSupport.h"

#include <QTemporaryDir>

using namespace Robust;

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWriteFailure : public QObject
{
    Q_OBJECT
private slots:
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
    void failedSaveThroughTheBusStoresARetryOnce_data();
    void failedSaveThroughTheBusStoresARetryOnce();
};

void TestWriteFailure::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("where");   // the log's path below the temporary folder
    QTest::addColumn<QString>("blocker"); // a plain file made at this path first, if any
    QTest::addColumn<int>("oldCharges");  // charges of the log there before the failing save
    QTest::addColumn<qint64>("limit");    // largest file the saver may write, -1 for none

    // 40 charges make a file of about 16 kB; the failing save adds 40 more.
    QTest::newRow("limit just above the old file") << "qorlog.QorLog"
                                                   << "" << 40 << qint64(17000);
    QTest::newRow("limit in the first block") << "qorlog.QorLog"
                                              << "" << 40 << qint64(100);
    QTest::newRow("limit of zero") << "qorlog.QorLog"
                                   << "" << 40 << qint64(0);
    QTest::newRow("folder is a plain file") << "plain/qorlog.QorLog"
                                            << "plain" << 0 << qint64(-1);
    QTest::newRow("log path is a folder") << "folder.QorLog"
                                          << "" << -1 << qint64(-1);
}

void TestWriteFailure::failedSaveKeepsTheOldFile()
{
    QFETCH(QString, where);
    QFETCH(QString, blocker);
    QFETCH(int, oldCharges);
    QFETCH(qint64, limit);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(where);
    if (!blocker.isEmpty()) {
        QFile plain(dir.filePath(blocker));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("not a folder\n");
    }
    if (oldCharges < 0)
        QVERIFY(QDir(dir.path()).mkdir(where));
    if (oldCharges > 0)
        QCOMPARE(QProcess::execute(helperPath("qorlog_saveloop"),
                                   {QStringLiteral("add"), path, QString::number(oldCharges)}),
                 0);
    const QByteArray before = contentsOf(path);
    const QStringList filesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);

    QProcess saver;
    if (limit >= 0) {
        // As `ulimit -f` does, and with the signal that would end the process ignored, so the
        // write itself fails with EFBIG.
        saver.setChildProcessModifier([limit] {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit fsize = {rlim_t(limit), rlim_t(limit)};
            ::setrlimit(RLIMIT_FSIZE, &fsize);
        });
    }
    saver.start(helperPath("qorlog_saveloop"), {QStringLiteral("add"), path, QStringLiteral("40")});
    QVERIFY(saver.waitForFinished(60000));
    QCOMPARE(saver.exitStatus(), QProcess::NormalExit);
    QCOMPARE(saver.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(saver.readAllStandardError()).trimmed();
    QVERIFY2(error.contains(path), qPrintable(error));
    // The system's reason follows the name of the file.
    QVERIFY2(error.size() > error.indexOf(path) + path.size() + 2, qPrintable(error));

    QCOMPARE(contentsOf(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
    if (oldCharges > 0) {
        QCOMPARE(readLog(path).size(), oldCharges);
    }
}

void TestWriteFailure::failedSaveThroughTheBusStoresARetryOnce_data()
{
    QTest::addColumn<int>("failingCalls");
    QTest::addColumn<qint64>("limitAboveOld"); // bytes the limit leaves above the old file

    QTest::newRow("one call, limit just above the file") << 1 << qint64(100);
    QTest::newRow("three calls, limit at the file's size") << 3 << qint64(0);
}

void TestWriteFailure::failedSaveThroughTheBusStoresARetryOnce()
{
    QFETCH(int, failingCalls);
    QFETCH(qint64, limitAboveOld);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qorlog.QorLog"));
    ProgramUnderTest program;
    QVERIFY(program.start(path));

    for (int i = 0; i < 10; ++i) {
        const QDBusMessage reply =
            callAddCharge(chargeArguments(QStringLiteral("before %1").arg(i)));
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    }
    const QByteArray before = contentsOf(path);
    QCOMPARE(readLog(path).size(), 10);

    QVERIFY(setFileSizeLimit(program.pid(), rlim_t(before.size() + limitAboveOld)));
    for (int i = 0; i < failingCalls; ++i) {
        const QDBusMessage reply =
            callAddCharge(chargeArguments(QStringLiteral("while full %1").arg(i)));
        QVERIFY2(program.isRunning(), "the program ended when its save went over the limit");
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), QString::fromLatin1(QorLogAutomation::FailedErrorName));
        QVERIFY2(reply.errorMessage().contains(path), qPrintable(reply.errorMessage()));
        QCOMPARE(contentsOf(path), before);
    }
    QCOMPARE(otherFiles(dir.path(), {QStringLiteral("qorlog.QorLog")}), QStringList());

    QVERIFY(setFileSizeLimit(program.pid(), RLIM_INFINITY));
    // A refused charge was not kept to be written later: each caller's retry stores it once.
    for (int i = 0; i < failingCalls; ++i) {
        const QDBusMessage retry =
            callAddCharge(chargeArguments(QStringLiteral("while full %1").arg(i)));
        QVERIFY2(retry.type() == QDBusMessage::ReplyMessage, qPrintable(retry.errorMessage()));
    }
    const QDBusMessage reply = callAddCharge(chargeArguments(QStringLiteral("after")));
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));

    QStringList comments;
    QString failure;
    QVERIFY2(readComments(path, comments, failure), qPrintable(failure));
    QCOMPARE(comments.size(), 10 + failingCalls + 1);
    for (int i = 0; i < failingCalls; ++i)
        QCOMPARE(comments.count(QStringLiteral("while full %1").arg(i)), 1);
    QCOMPARE(comments.count(QStringLiteral("after")), 1);
}

QTEST_GUILESS_MAIN(TestWriteFailure)
#include "tst_writefailure.moc"
