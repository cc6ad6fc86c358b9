// Many starts of the real program at the same moment leave exactly one running; a killed
// instance's lock does not block the next start; a later start brings the first to the front.

#include "RobustSupport.h"
#include "SingleInstance.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>
#include <vector>

using namespace Robust;

namespace {

using Starts = std::vector<std::unique_ptr<QProcess>>;

// Starts `count` programs that wait for `gate` to appear and then all go at once.
Starts startTogether(int count, const QString &gate, const QString &logPath)
{
    Starts starts;
    for (int i = 0; i < count; ++i) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"),
                        QStringLiteral("while [ ! -e \"$1\" ]; do sleep 0.01; done; "
                                       "exec \"$2\" --log-file \"$3\""),
                        QStringLiteral("start"), gate, programPath(), logPath});
        starts.push_back(std::move(process));
    }
    return starts;
}

// The one process of `starts` still running once all others have ended; null when none or
// more than one keeps running.
QProcess *survivorOf(Starts &starts, int &exitedCleanly)
{
    const auto running = [&starts] {
        std::vector<QProcess *> alive;
        for (auto &process : starts)
            if (process->state() != QProcess::NotRunning)
                alive.push_back(process.get());
        return alive;
    };
    QDeadlineTimer deadline(60000);
    while (running().size() > 1 && !deadline.hasExpired())
        QTest::qWait(50); // the ends of the processes arrive through the event loop
    exitedCleanly = 0;
    for (auto &process : starts)
        if (process->state() == QProcess::NotRunning &&
            process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0)
            ++exitedCleanly;
    const std::vector<QProcess *> alive = running();
    return alive.size() == 1 ? alive.front() : nullptr;
}

bool servesTheBus(qint64 pid)
{
    const QDBusReply<uint> owner = QDBusConnection::sessionBus().interface()->servicePid(
        QString::fromLatin1(QorLogAutomation::ServiceName));
    return owner.isValid() && qint64(owner.value()) == pid;
}

void killAll(Starts &starts)
{
    for (auto &process : starts)
        if (process->state() != QProcess::NotRunning) {
            ::kill(pid_t(process->processId()), SIGKILL);
            process->waitForFinished(10000);
        }
}

} // namespace

class TestInstanceRace : public QObject
{
    Q_OBJECT
private slots:
    void oneOfManyStartsRuns_data();
    void oneOfManyStartsRuns();
    void laterStartActivatesTheFirst_data();
    void laterStartActivatesTheFirst();
};

void TestInstanceRace::oneOfManyStartsRuns_data()
{
    QTest::addColumn<int>("starts");
    QTest::addColumn<bool>("staleLock"); // a killed instance's lock is there before they start

    QTest::newRow("20 starts") << 20 << false;
    QTest::newRow("20 starts over a killed instance's lock") << 20 << true;
    QTest::newRow("2 starts over a killed instance's lock") << 2 << true;
}

void TestInstanceRace::oneOfManyStartsRuns()
{
    QFETCH(int, starts);
    QFETCH(bool, staleLock);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath(QStringLiteral("qorlog.QorLog"));
    const QString gate = dir.filePath(QStringLiteral("go"));

    if (staleLock) {
        ProgramUnderTest killed;
        QVERIFY(killed.start(logPath));
        killed.kill();
        TSingleInstanceGuard probe(QString::fromLatin1(QorLog::InstanceIdentifier));
        QVERIFY(QFileInfo::exists(probe.lockPath()));
    }

    Starts processes = startTogether(starts, gate, logPath);
    for (auto &process : processes)
        QVERIFY(process->waitForStarted());
    QFile(gate).open(QIODevice::WriteOnly);

    int exitedCleanly = 0;
    QProcess *survivor = survivorOf(processes, exitedCleanly);
    const auto cleanup = qScopeGuard([&] { killAll(processes); });
    QVERIFY2(survivor, "not exactly one instance kept running");
    QCOMPARE(exitedCleanly, starts - 1);
    QTRY_VERIFY_WITH_TIMEOUT(servesTheBus(survivor->processId()), 30000);

    // Killed, it leaves its lock behind; the next start runs all the same.
    ::kill(pid_t(survivor->processId()), SIGKILL);
    QVERIFY(survivor->waitForFinished(10000));
    ProgramUnderTest next;
    QVERIFY2(next.start(logPath), "the start after a killed instance did not run");
    const QDBusMessage reply = callAddCharge(chargeArguments(QStringLiteral("after the race")));
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    QCOMPARE(readLog(logPath).size(), 1);
}

void TestInstanceRace::laterStartActivatesTheFirst_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    // Whatever the later start's command line, it only brings the first to the front.
    QTest::newRow("no arguments") << QStringList() << 0;
    QTest::newRow("another log file") << QStringList{"--log-file", "other.QorLog"} << 0;
    QTest::newRow("automation start") << QStringList{"-Automation"} << 0;
    QTest::newRow("registration") << QStringList{"/REGSERVER"} << 0;
    // One it cannot use is still reported, after the first has come to the front.
    QTest::newRow("log file without a path") << QStringList{"--log-file"} << 2;
}

void TestInstanceRace::laterStartActivatesTheFirst()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // This test process is the first instance.
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    QVERIFY(guard.CheckSingleInstance());
    QSignalSpy activations(&guard, &TSingleInstanceGuard::activationRequested);

    QProcess later;
    later.setWorkingDirectory(dir.path());
    later.setProcessChannelMode(QProcess::ForwardedChannels);
    QSignalSpy finished(&later, &QProcess::finished);
    later.start(programPath(), arguments);
    QVERIFY(finished.wait(30000)); // the event loop keeps serving the guard's socket meanwhile
    QCOMPARE(later.exitStatus(), QProcess::NormalExit);
    QCOMPARE(later.exitCode(), exitCode);
    QTRY_COMPARE(activations.size(), 1);
    // It did not go on to run: nothing of it is on the bus and it wrote no log.
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QString::fromLatin1(QorLogAutomation::ServiceName)));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("other.QorLog"))));
}

QTEST_GUILESS_MAIN(TestInstanceRace)
#include "tst_instancerace.moc"
