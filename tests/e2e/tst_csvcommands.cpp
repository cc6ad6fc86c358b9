// The real program's --export-csv and --import-csv, alone and beside a running QorLog.

#include "LogFile.h"
#include "ProgramRunner.h"

#include <QtTest>

#include <memory>

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

// Starts the program with `arguments` in the session of `run` (its runtime folder) on `logPath`.
std::unique_ptr<QProcess> startCommand(ProgramRun &run, const QStringList &arguments,
                                       const QString &logPath)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(run.environment);
    process->start(run.program, arguments + QStringList{QStringLiteral("--log-file"), logPath});
    return process;
}

// A CSV file of `rows` charges of batteries "TAG 1", "TAG 2", ...
void writeCsv(const QString &path, const QString &tag, int rows)
{
    QByteArray csv = "DateTime,Battery,Amps,Ah\n";
    for (int i = 1; i <= rows; ++i)
        csv += "2031-05-01T10:00:00," + tag.toUtf8() + ' ' + QByteArray::number(i) + ",1.5,2\n";
    writeFile(path, csv);
}

// How often each battery occurs in the log at `path`.
QHash<QString, int> batteriesIn(const QString &path)
{
    QHash<QString, int> seen;
    const auto log = readLog(path);
    for (int i = 0; i < log->ChargeStringList.count(); ++i)
        ++seen[storedCharge(*log, i).battery];
    return seen;
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

    // Imports at the same moment, from one session or from two (where neither can hand its
    // import to the other): each takes the log's lock and merges, so every charge of each is
    // there once.
    void importsAtOnceKeepEveryCharge_data()
    {
        QTest::addColumn<bool>("sameSession");
        QTest::newRow("one session") << true;
        QTest::newRow("two sessions") << false;
    }
    void importsAtOnceKeepEveryCharge()
    {
        QFETCH(bool, sameSession);
        ProgramRun first, second;
        QVERIFY(QDir().mkpath(first.logDir()));
        const QString log = first.logPath();
        writeLog(log, 3);
        constexpr int Rounds = 3, Rows = 150;
        for (int round = 0; round < Rounds; ++round) {
            const QString a = first.logDir() + QStringLiteral("/a.csv");
            const QString b = first.logDir() + QStringLiteral("/b.csv");
            writeCsv(a, QStringLiteral("A%1").arg(round), Rows);
            writeCsv(b, QStringLiteral("B%1").arg(round), Rows);
            const auto one = startCommand(first, {QStringLiteral("--import-csv"), a}, log);
            const auto two = startCommand(sameSession ? first : second,
                                          {QStringLiteral("--import-csv"), b}, log);
            for (QProcess *p : {one.get(), two.get()}) {
                QVERIFY(p->waitForFinished(60000));
                QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
                QCOMPARE(p->readAllStandardOutput().trimmed(),
                         QByteArray("Imported 150 charges, skipped 0 already in the log."));
            }
        }
        const QHash<QString, int> seen = batteriesIn(log);
        QCOMPARE(seen.size(), 3 + 2 * Rounds * Rows);
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            QVERIFY2(it.value() == 1 || it.key().startsWith(QLatin1String("Cell")),
                     qPrintable(it.key()));
        QVERIFY(!QFileInfo::exists(log + QStringLiteral(".lock")));
    }

    // An import reaching the running QorLog's log through a linked folder, while charges come
    // over the bus: nothing lost, nothing doubled.
    void importThroughALinkBesideTheRunningQorLog()
    {
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        writeLog(run.logPath(), 2);
        QVERIFY2(run.startServing(), qPrintable(run.stateText()));
        const QString linked = run.dataHome() + QStringLiteral("/linked");
        QVERIFY(QFile::link(run.logDir(), linked));
        const QString csv = run.logDir() + QStringLiteral("/in.csv");
        writeCsv(csv, QStringLiteral("Imported"), 300);
        const auto import = startCommand(run, {QStringLiteral("--import-csv"), csv},
                                         linked + QStringLiteral("/charges.QorLog"));
        for (int i = 1; i <= 20; ++i) {
            Charge charge;
            charge.battery = QStringLiteral("Bus %1").arg(i);
            const QDBusMessage reply =
                QDBusConnection::sessionBus().call(addChargeMessage(charge), QDBus::Block, 60000);
            QVERIFY2(replyErrorName(reply).isEmpty(), qPrintable(reply.errorMessage()));
        }
        QVERIFY(import->waitForFinished(60000));
        QVERIFY2(import->exitCode() == 0, import->readAllStandardError().constData());
        QCOMPARE(import->readAllStandardOutput().trimmed(),
                 QByteArray("Imported 300 charges, skipped 0 already in the log."));
        QVERIFY(run.isRunning());
        const QHash<QString, int> seen = batteriesIn(run.logPath());
        QCOMPARE(seen.size(), 2 + 300 + 20);
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            QCOMPARE(it.value(), 1);
    }

    // An export never goes over the log, a copy of it or a file of its backups.
    void exportOntoTheLogIsRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("the log") << "charges.QorLog";
        QTest::newRow("a link to the log") << "link.QorLog";
        QTest::newRow("a backup") << "backup";
        QTest::newRow("a conflict copy") << "charges (conflicted copy 2026-12-01).QorLog";
        QTest::newRow("a new name in the backups through a link") << "linked-backups/new.csv";
    }
    void exportOntoTheLogIsRefused()
    {
        QFETCH(QString, target);
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        writeLog(run.logPath(), 3);
        const QDir logs(run.logDir());
        QVERIFY(QFile::link(run.logPath(), logs.filePath(QStringLiteral("link.QorLog"))));
        // The first import of the day leaves a backup of the log as it was.
        const QString csv = logs.filePath(QStringLiteral("in.csv"));
        writeCsv(csv, QStringLiteral("New"), 1);
        QCOMPARE(runCommand(run, {QStringLiteral("--import-csv"), csv}).status, 0);
        const QString backups = run.logPath() + QStringLiteral("-backups");
        const QStringList daily = QDir(backups).entryList(QDir::Files);
        QCOMPARE(daily.size(), 1);
        QVERIFY(QFile::link(backups, logs.filePath(QStringLiteral("linked-backups"))));
        const QString copy =
            logs.filePath(QStringLiteral("charges (conflicted copy 2026-12-01).QorLog"));
        QVERIFY(QFile::copy(run.logPath(), copy));
        const QString path = target == QLatin1String("backup") ? backups + '/' + daily.first()
                                                               : logs.filePath(target);
        const QByteArray before = bytesOf(path);
        const Result r = runCommand(run, {QStringLiteral("--export-csv"), path});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("the CSV export is not written over it"), r.err.constData());
        QCOMPARE(bytesOf(path), before);
        QVERIFY(!readLog(run.logPath())->ChargeStringList.isEmpty());
        // Beside it, an export is written as ever.
        QCOMPARE(runCommand(run, {QStringLiteral("--export-csv"), logs.filePath("out.csv")}).status,
                 0);
    }

    // A named pipe or a folder given as the log is refused at once, not waited on.
    void logThatIsNoFileIsRefused()
    {
        ProgramRun run;
        QVERIFY(QDir().mkpath(run.logDir()));
        const QString fifo = run.logDir() + QStringLiteral("/pipe.QorLog");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString folder = run.logDir() + QStringLiteral("/folder.QorLog");
        QVERIFY(QDir().mkpath(folder));
        for (const QString &log : {fifo, folder})
            for (const QStringList &command :
                 {QStringList{QStringLiteral("--report")},
                  QStringList{QStringLiteral("--export-csv"), QStringLiteral("-")}}) {
                auto process = startCommand(run, command, log);
                QVERIFY2(process->waitForFinished(20000), qPrintable(log));
                QCOMPARE(process->exitCode(), 1);
                QVERIFY(process->readAllStandardError().contains("is not a regular file"));
            }
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
