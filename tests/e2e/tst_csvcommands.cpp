// The real program's --export-csv and --import-csv, alone and beside a running QorLog.

#include "LogFile.h"
#include "ProgramRunner.h"

#include <QtTest>

#include <sys/stat.h>

using namespace E2e;

namespace {

struct Result
{
    int status = -1;
    QByteArray out, err;
};

// Runs the program once more in the environment of `run` (its runtime folder, so it sees a
// QorLog that `run` started) on the same log.
Result runCommand(ProgramRun &run, const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(run.environment);
    process.start(run.program,
                  arguments + QStringList{QStringLiteral("--log-file"), run.logPath()});
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void writeLog(const QString &path, int charges)
{
    TChargeLog log;
    for (int i = 0; i < charges; ++i)
        log.StoreChargeRecord(-1, 45000 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Cell %1").arg(i % 3), 1.5, 0.25 * i,
                              QStringLiteral("Normal"), QStringLiteral("c, \"%1\"").arg(i), {});
    LogFile::SaveChargeLog(path, log);
}

} // namespace

class TestCsvCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exportAndImportWithoutInstance()
    {
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        // No log yet: nothing can be exported.
        Result r = runCommand(run, {QStringLiteral("--export-csv"), QStringLiteral("-")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("does not exist"), r.err.constData());

        writeLog(run.logPath(), 5);
        r = runCommand(run, {QStringLiteral("--export-csv"), QStringLiteral("-")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.count("\r\n"), 6);
        const QString csv = run.logDir() + QStringLiteral("/out.csv");
        QCOMPARE(runCommand(run, {QStringLiteral("--export-csv=") + csv}).status, 0);
        QCOMPARE(bytesOf(csv), r.out);

        // Into an empty log, then again: the second adds nothing.
        QVERIFY(QFile::remove(run.logPath()));
        r = runCommand(run, {QStringLiteral("--import-csv"), csv});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QByteArray("Imported 5 charges, skipped 0 already in the log."));
        r = runCommand(run, {QStringLiteral("--import-csv"), csv});
        QCOMPARE(r.out.trimmed(), QByteArray("Imported 0 charges, skipped 5 already in the log."));
        QCOMPARE(runCommand(run, {QStringLiteral("--export-csv"), QStringLiteral("-")}).out,
                 bytesOf(csv));

        // A bad row: nothing imported, the log as it was, the row named.
        const QByteArray before = bytesOf(run.logPath());
        writeFile(csv, "DateTime,Battery,Amps,Ah\n2030-01-01T00:00:00,X,1,1\n2030-01-02,X,nan,1\n");
        r = runCommand(run, {QStringLiteral("--import-csv"), csv});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("line 3: NominalChargeAmps 'nan' is not a number"),
                 r.err.constData());
        QCOMPARE(bytesOf(run.logPath()), before);
        r = runCommand(run, {QStringLiteral("--import-csv"), run.logDir() + "/missing.csv"});
        QCOMPARE(r.status, 1);
        QCOMPARE(runCommand(run, {QStringLiteral("--import-csv=")}).status, 2);
    }

    void importIsHandedToTheRunningInstance()
    {
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        writeLog(run.logPath(), 2);
        QVERIFY2(run.startServing(), qPrintable(run.stateText()));
        const QString csv = run.logDir() + QStringLiteral("/in.csv");
        writeFile(csv, "Date;Time;Battery;Amps;Ah\n2031-05-01;10:00;New;1,5;2\n"
                       "2031-05-02;10:00;New;1,5;2\n");
        const Result r = runCommand(run, {QStringLiteral("--import-csv"), csv});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed(), QByteArray("Imported 2 charges, skipped 0 already in the log."));
        // The running QorLog did the import and saved it; it keeps running.
        QVERIFY(run.isRunning());
        const auto log = readLog(run.logPath());
        QCOMPARE(log->ChargeStringList.count(), 4);
        QCOMPARE(storedCharge(*log, 3).battery, QStringLiteral("New"));
        // Export reads the file without disturbing it.
        QCOMPARE(runCommand(run, {QStringLiteral("--export-csv"), QStringLiteral("-")})
                     .out.count("\r\n"),
                 5);
        QVERIFY(run.isRunning());
    }

    // Files that cannot be imported as they are: refused at once with the reason, by the
    // command alone and by the running QorLog it hands the file to, which keeps running.
    void refusedImports()
    {
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        writeLog(run.logPath(), 2);
        const QString fifo = run.logDir() + QStringLiteral("/pipe.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString ambiguous = run.logDir() + QStringLiteral("/dates.csv");
        writeFile(ambiguous, "Date;Battery;Amps;Ah\n05/04/2025;A;1;1\n06/07/2025;A;1;1\n");
        const QList<QPair<QString, QByteArray>> files = {
            {QStringLiteral("/dev/zero"), "/dev/zero is not a regular file"},
            {fifo, fifo.toUtf8() + " is not a regular file"},
            {ambiguous, "read day first or month first: '05/04/2025' is 2025-04-05 or 2025-05-04"}};
        const QByteArray before = bytesOf(run.logPath());
        for (const bool running : {false, true}) {
            if (running)
                QVERIFY2(run.startServing(), qPrintable(run.stateText()));
            for (const auto &[file, reason] : files) {
                QElapsedTimer timer;
                timer.start();
                const Result r = runCommand(run, {QStringLiteral("--import-csv"), file}, 20000);
                QCOMPARE(r.status, 1);
                QVERIFY2(r.err.contains(reason), r.err.constData());
                QVERIFY(timer.elapsed() < 20000);
            }
            QCOMPARE(bytesOf(run.logPath()), before);
        }
        QVERIFY(run.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestCsvCommands)
#include "tst_csvcommands.moc"
