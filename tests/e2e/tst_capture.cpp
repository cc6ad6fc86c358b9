// The real program's --capture: handed to a running QorLog, which captures a pseudo-terminal
// standing in for a two-channel charger, adds the records and keeps the files beside the log.

#include "ChargerLog.h"
#include "LogFile.h"
#include "ProgramRunner.h"
#include "PtyPair.h"

#include <QtTest>

using namespace E2e;

namespace {

QList<QByteArray> dollarLines(const QByteArray &bytes, const QByteArray &prefix = "$")
{
    QList<QByteArray> lines;
    for (const QByteArray &line : bytes.split('\n'))
        if (line.trimmed().startsWith(prefix))
            lines << line.trimmed();
    return lines;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Result
{
    int status = -1;
    QByteArray out, err;
};

Result runCommand(ProgramRun &run, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(run.environment);
    process.start(run.program,
                  arguments + QStringList{QStringLiteral("--log-file"), run.logPath()});
    Result result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace

class TestCaptureCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captureIsHandedToTheRunningInstance()
    {
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        QVERIFY2(run.startServing(), qPrintable(run.stateText()));

        Result r = runCommand(run, {QStringLiteral("--capture"), QStringLiteral("/dev/no-such")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("/dev/no-such does not exist"), r.err.constData());

        TPtyPair pty;
        QVERIFY(pty.isOpen());
        r = runCommand(run, {QStringLiteral("--capture"), pty.slaveName(),
                             QStringLiteral("--capture-idle"), QStringLiteral("2"),
                             QStringLiteral("--capture-add"), QStringLiteral("--baud=57600")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains("at 57600 baud"), r.out.constData());

        QFile a(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/dollar-storage-ch1.txt"));
        QFile b(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/dollar-storage-ch2.txt"));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QList<QByteArray> one = dollarLines(a.readAll()).mid(0, 120);
        const QList<QByteArray> two = dollarLines(b.readAll()).mid(0, 120);
        QByteArray stream;
        for (int i = 0; i < 120; ++i)
            stream += one[i] + "\r\n" + two[i] + "\r\n";
        QVERIFY(pty.send(stream));

        // Silence ends both charges; each is added at once and saved.
        std::unique_ptr<TChargeLog> log;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log = readLog(run.logPath())) && log->ChargeStringList.count() == 2, 20000);
        QStringList files;
        for (int i = 0; i < 2; ++i)
            files << storedCharge(*log, i).chargerLogFileName;
        files.sort();
        const QString folder = run.logPath() + QStringLiteral("-charger-logs");
        QVERIFY2(files[0].startsWith(folder) && files[0].endsWith(QLatin1String("-ch1.txt")),
                 qPrintable(files[0]));
        QVERIFY(files[1].endsWith(QLatin1String("-ch2.txt")));
        QCOMPARE(dollarLines(bytesOf(files[0])), one);
        QCOMPARE(dollarLines(bytesOf(files[1])), two);
        QVERIFY(run.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestCaptureCommand)
#include "tst_capture.moc"
