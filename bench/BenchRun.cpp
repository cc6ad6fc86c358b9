#include "BenchRun.h"

#include "BatteryOverviewFormUnit.h"
#include "ChargeLogTableModel.h"
#include "ChartBench.h"
#include "CsvFile.h"
#include "CsvImport.h"
#include "ImportCsvFormUnit.h"
#include "LogFile.h"
#include "LogFileGuard.h"
#include "LogGenerator.h"
#include "LogMerge.h"
#include "QorLogMainFormUnit.h"
#include "SaveLock.h"
#include "SplashFormUnit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUndoStack>

#include <cstdio>
#include <memory>

using BenchSupport::Figure;

namespace {

constexpr double MiB = 1024.0 * 1024.0;

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1.0e6;
}

// Fewer rounds for bigger files: each one then takes long enough to measure well. Five at
// least, so that one round disturbed by the rest of the machine does not set the median.
int roundsFor(qint64 fileBytes)
{
    return fileBytes < 2 * 1024 * 1024 ? 7 : 5;
}

// Lets the window system deliver what is pending (layout, expose, paint) before the clock stops.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void copyFresh(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw QorLogError(QStringLiteral("Cannot copy %1 to %2").arg(from, to));
}

// Time of the window's whole start: splash shown, main window made, log read with the splash
// following it, table and chart built, window shown and painted.
std::unique_ptr<TQorLogMainForm> openWindow(const QString &path, double &ms)
{
    QElapsedTimer timer;
    timer.start();
    TSplashForm splash;
    splash.show();
    QCoreApplication::processEvents(); // as the program does: the splash is up before the read
    auto form = std::make_unique<TQorLogMainForm>(path);
    form->FormCreate([&splash](int minimum, int maximum, int position) {
        splash.SetSplashProgress(minimum, maximum, position);
    });
    splash.hide();
    form->show();
    settle();
    ms = elapsedMs(timer);
    return form;
}

// The peak resident size of this process so far, in mebibytes (-1 when unknown).
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    return status.open(QIODevice::ReadOnly) ? BenchSupport::peakResidentMiB(status.readAll()) : -1;
}

QVector<double> timeProcess(const QString &program, const QStringList &arguments, int rounds)
{
    QVector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        process.start(program, arguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return {};
        times.append(elapsedMs(timer));
    }
    return times;
}

// Another program changed 10 charges of the log (4 added, 3 removed, 3 edited) while QorLog
// added one: the three-way merge of the file, the base and memory, and applying it.
double measureMergeMs(const TChargeLog &base, int rounds)
{
    TChargeLog disk = base;
    const int n = disk.ChargeStringList.count();
    for (int i = 0; i < 4; ++i)
        disk.StoreChargeRecord(-1, 50000.0 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                               QStringLiteral("Other #%1").arg(i), 1.0, 1.0,
                               QStringLiteral("Normal"), QStringLiteral("from elsewhere"),
                               QString());
    for (int i = 0; i < 3 && n > 10; ++i)
        disk.ChargeStringList.removeAt(n / 2 + i);
    for (int i = 0; i < 3 && n > 10; ++i) {
        TChargeRecord record = disk.ChargeStringList.record(i);
        record.AmpHours += 0.5;
        disk.ChargeStringList.replace(i, record, disk.ChargeStringList.text(i));
    }
    QVector<double> times;
    for (int i = 0; i < rounds; ++i) {
        TChargeLog memory = base;
        memory.StoreChargeRecord(-1, 50010.0, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                 QStringLiteral("Own"), 1.0, 1.0, QStringLiteral("Normal"),
                                 QString(), QString());
        QElapsedTimer timer;
        timer.start();
        LogMerge::ApplyMerge(memory, LogMerge::MergeOutsideChange(base, disk, memory));
        times.append(elapsedMs(timer));
    }
    return BenchSupport::median(times);
}

} // namespace

namespace BenchRun {

void measureLogFile(const QString &path, const FigureSink &sink)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw QorLogError(QStringLiteral("No temporary folder: %1").arg(work.errorString()));
    const qint64 fileBytes = QFileInfo(path).size();
    const int rounds = roundsFor(fileBytes);

    // Reading and writing the model alone; the log is gone before any window opens.
    {
        QVector<double> load, save;
        std::unique_ptr<TChargeLog> log;
        for (int i = 0; i < rounds; ++i) {
            log.reset();
            log = std::make_unique<TChargeLog>();
            QElapsedTimer timer;
            timer.start();
            LogFile::LoadChargeLog(path, *log);
            load.append(elapsedMs(timer));
        }
        sink({QStringLiteral("load_ms"), BenchSupport::median(load), QStringLiteral("ms")});
        // The first save after opening formats every record; each later one follows a change
        // (here one charge added) and copies the unchanged records from the file it replaces.
        const QString saved = work.filePath(QStringLiteral("saved.QorLog"));
        QElapsedTimer first;
        first.start();
        LogFile::SaveChargeLog(saved, *log);
        const double firstMs = elapsedMs(first);
        const TChargeList &records = log->ChargeStringList;
        double latest = records.isEmpty() ? 45000.0 : records.record(records.count() - 1).DateTime;
        for (int i = 0; i < rounds; ++i) {
            latest += 1.0 / 24.0;
            log->StoreChargeRecord(-1, latest, QStringLiteral("Mains"), QStringLiteral("QorA1"),
                                   QStringLiteral("AA #01"), 1.2, 2.15, QStringLiteral("Normal"),
                                   QStringLiteral("Added while measuring"), QString());
            QElapsedTimer timer;
            timer.start();
            LogFile::SaveChargeLog(saved, *log);
            save.append(elapsedMs(timer));
        }
        sink({QStringLiteral("save_ms"), BenchSupport::median(save), QStringLiteral("ms")});
        sink({QStringLiteral("save_first_ms"), firstMs, QStringLiteral("ms")});
        sink({QStringLiteral("merge_10_changes_ms"), measureMergeMs(*log, rounds),
              QStringLiteral("ms")});

        // Saves through the log file guard as the program makes them: the lock beside the log,
        // the look at the file, and the day's backup before the day's first save.
        const QString guarded = work.filePath(QStringLiteral("guarded.QorLog"));
        QVector<double> firstOfDay, later, lock;
        for (int i = 0; i < rounds; ++i) {
            // Written by the program's writer first, so that the guard's saves copy the
            // unchanged records from it as every save after the first does.
            LogFile::SaveChargeLog(guarded, *log);
            QDir(guarded + QStringLiteral("-backups")).removeRecursively();
            TLogFileGuard guard(guarded, QString());
            guard.adopt(*log);
            for (int k = 0; k < 2; ++k) {
                latest += 1.0 / 24.0;
                log->StoreChargeRecord(-1, latest, QStringLiteral("Mains"), QStringLiteral("QorA1"),
                                       QStringLiteral("AA #01"), 1.2, 2.15,
                                       QStringLiteral("Normal"),
                                       QStringLiteral("Added while measuring"), QString());
                QElapsedTimer timer;
                timer.start();
                guard.save(*log);
                (k == 0 ? firstOfDay : later).append(elapsedMs(timer));
            }
            TSaveLock lockFile(guard.lockPath());
            QElapsedTimer timer;
            timer.start();
            lockFile.tryLock();
            lockFile.unlock();
            lock.append(elapsedMs(timer));
        }
        sink({QStringLiteral("guard_save_first_of_day_ms"), BenchSupport::median(firstOfDay),
              QStringLiteral("ms")});
        sink({QStringLiteral("guard_save_ms"), BenchSupport::median(later), QStringLiteral("ms")});
        sink({QStringLiteral("save_lock_ms"), BenchSupport::median(lock), QStringLiteral("ms")});
    }

    // The program's own start, then the changes a user makes in it.
    const QString windowLog = work.filePath(QStringLiteral("window.QorLog"));
    std::unique_ptr<TQorLogMainForm> form;
    QVector<double> open;
    for (int i = 0; i < rounds; ++i) {
        form.reset();
        copyFresh(path, windowLog);
        double ms = 0;
        form = openWindow(windowLog, ms);
        open.append(ms);
    }
    sink({QStringLiteral("open_ms"), BenchSupport::median(open), QStringLiteral("ms")});

    // A filter change: one battery hidden, then shown again, each followed by a refresh.
    QVector<double> refresh;
    TNameList &batteries = form->log().BatteriesStringList;
    for (int i = 0; i < 2 * rounds + 2; ++i) {
        QElapsedTimer timer;
        timer.start();
        batteries.setMarked(0, i % 2 == 0);
        form->RefreshDisplay();
        settle();
        refresh.append(elapsedMs(timer));
    }
    batteries.setMarked(0, false);
    sink({QStringLiteral("refresh_ms"), BenchSupport::median(refresh), QStringLiteral("ms")});

    // One charge as the dialog or an automation client adds it: store, refresh, save.
    QVector<double> add;
    const TChargeList &charges = form->log().ChargeStringList;
    double latest = charges.isEmpty() ? 45000.0 : charges.record(charges.count() - 1).DateTime;
    for (int i = 0; i < rounds; ++i) {
        latest += 1.0 / 24.0;
        QElapsedTimer timer;
        timer.start();
        form->AddChargeRecord(-1, latest, QStringLiteral("Mains"), QStringLiteral("QorA1"),
                              QStringLiteral("AA #01"), 1.2, 2.15, QStringLiteral("Normal"),
                              QStringLiteral("Added while measuring"), QString());
        settle();
        add.append(elapsedMs(timer));
    }
    sink({QStringLiteral("add_ms"), BenchSupport::median(add), QStringLiteral("ms")});

    // "Delete Selection" of the first 1,000 rows and of all rows (refresh and save included),
    // and the undo of deleting all; each deletion is undone before the next round.
    // The rows are selected through the view as a user selects them (Ctrl+A for all, a click
    // and a Shift-click for the first ones), and each figure includes the paint that follows.
    const auto timeDeletion = [&form](int rows, QVector<double> &deletion, QVector<double> *undo) {
        TChargeLogTableModel *model = form->tableModel();
        QTableView *view = form->ChargeLogStringGrid;
        if (rows >= model->shownCount()) {
            form->SelectAllActionExecute();
        } else {
            view->setCurrentIndex(model->index(0, 0));
            view->selectionModel()->select(
                QItemSelection(model->index(0, 0),
                               model->index(rows - 1, TChargeLogTableModel::ColumnCount - 1)),
                QItemSelectionModel::ClearAndSelect);
        }
        settle();
        QElapsedTimer timer;
        timer.start();
        form->DeleteSelectionActionExecute();
        settle();
        deletion.append(elapsedMs(timer));
        timer.restart();
        form->undoStack()->undo();
        settle();
        if (undo)
            undo->append(elapsedMs(timer));
    };
    QVector<double> deleteSome, deleteAll, undoAll;
    for (int i = 0; i < rounds; ++i)
        timeDeletion(1000, deleteSome, nullptr);
    for (int i = 0; i < rounds; ++i)
        timeDeletion(charges.count(), deleteAll, &undoAll);
    sink(
        {QStringLiteral("delete_1000_ms"), BenchSupport::median(deleteSome), QStringLiteral("ms")});
    sink({QStringLiteral("delete_all_ms"), BenchSupport::median(deleteAll), QStringLiteral("ms")});
    sink({QStringLiteral("undo_delete_all_ms"), BenchSupport::median(undoAll),
          QStringLiteral("ms")});

    // What an open Battery Overview adds to every change, with the charges spread over 500
    // batteries (target: under 20 ms at 100,000 charges).
    {
        TChargeLog &log = form->log();
        for (int b = log.BatteriesStringList.count(); b < 500; ++b)
            log.BatteriesStringList.append(QStringLiteral("Bench pack %1").arg(b));
        for (int i = 0; i < log.ChargeStringList.count(); ++i) {
            TChargeRecord record = log.ChargeStringList.record(i);
            record.BatteryIndex = i % 500;
            log.ChargeStringList.replace(i, record, log.ChargeStringList.text(i));
        }
        form->RefreshDisplay();
        TBatteryOverviewForm *overview = form->showBatteryOverview();
        settle();
        QVector<double> overviewMs;
        for (int i = 0; i < 2 * rounds + 3; ++i) {
            QElapsedTimer timer;
            timer.start();
            overview->refresh();
            settle();
            overviewMs.append(elapsedMs(timer));
        }
        sink({QStringLiteral("overview_refresh_500_ms"), BenchSupport::median(overviewMs),
              QStringLiteral("ms")});
        delete overview; // the figures after this one are the main window's alone
    }
    // The whole log as CSV, imported into an empty log through the window: read the file,
    // check every row, add the charges, one refresh and one save (target: 2 s at 10,000).
    const QString csv = work.filePath(QStringLiteral("charges.csv"));
    CsvFile::SaveCsv(csv, form->chargeLog(), CsvFile::ExportFormat(), false);

    // Every battery marked, then purged: all charges go at once. It empties the log, so it is
    // measured once, last.
    {
        for (int i = 0; i < batteries.count(); ++i)
            batteries.setMarked(i, true);
        QElapsedTimer timer;
        timer.start();
        form->log().PurgeMarked(TChargeLog::NameKind::Battery);
        form->RefreshDisplay();
        settle();
        sink({QStringLiteral("purge_all_ms"), elapsedMs(timer), QStringLiteral("ms")});
    }
    form.reset();
    QVector<double> import;
    const QString importLog = work.filePath(QStringLiteral("import.QorLog"));
    for (int i = 0; i < rounds; ++i) {
        QFile::remove(importLog);
        auto target = std::make_unique<TQorLogMainForm>(importLog);
        target->FormCreate();
        target->show();
        settle();
        QElapsedTimer timer;
        timer.start();
        const CsvImport::Plan plan =
            CsvImport::MakeDetectedPlan(CsvFile::Document::fromFile(csv), target->chargeLog());
        TImportCsvForm::ImportCharges(target->document(), plan.Charges);
        settle();
        import.append(elapsedMs(timer));
    }
    sink({QStringLiteral("import_csv_ms"), BenchSupport::median(import), QStringLiteral("ms")});

    QVector<double> chart;
    for (int i = 0; i < 7; ++i)
        chart.append(measureChartRebuildAndPaintMs(500));
    sink({QStringLiteral("chart_500_ms"), BenchSupport::median(chart), QStringLiteral("ms")});

    sink({QStringLiteral("file_mb"), double(fileBytes) / MiB, QStringLiteral("MB")});

    // Baselines on the same file in the same run: a plain parse and a plain copy.
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (!xmllint.isEmpty()) {
        const QVector<double> lint =
            timeProcess(xmllint, {QStringLiteral("--noout"), path}, rounds);
        if (!lint.isEmpty())
            sink({QStringLiteral("xmllint_ms"), BenchSupport::median(lint), QStringLiteral("ms")});
    }
    QVector<double> copy;
    const QString copied = work.filePath(QStringLiteral("copy.QorLog"));
    for (int i = 0; i < rounds; ++i) {
        QFile::remove(copied);
        QElapsedTimer timer;
        timer.start();
        if (!QFile::copy(path, copied))
            throw QorLogError(QStringLiteral("Cannot copy %1").arg(path));
        copy.append(elapsedMs(timer));
    }
    sink({QStringLiteral("copy_ms"), BenchSupport::median(copy), QStringLiteral("ms")});

    // The memory the program takes for this log, in a process of its own.
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--measure-memory"), path});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        throw QorLogError(QStringLiteral("Measuring the memory for %1 failed").arg(path));
    for (const QString &line :
         QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        Figure figure;
        if (BenchSupport::parseFigure(line, figure))
            sink(figure);
    }
}

void measureMemory(const QString &path, const FigureSink &sink)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw QorLogError(QStringLiteral("No temporary folder: %1").arg(work.errorString()));
    // What a user does with a log: open it, hide a battery, add a charge (stored and saved),
    // delete every charge and undo that.
    const auto session = [&work](const QString &log) {
        const QString windowLog = work.filePath(QStringLiteral("window.QorLog"));
        copyFresh(log, windowLog);
        double ms = 0;
        std::unique_ptr<TQorLogMainForm> form = openWindow(windowLog, ms);
        TNameList &batteries = form->log().BatteriesStringList;
        batteries.setMarked(0, true);
        form->RefreshDisplay();
        batteries.setMarked(0, false);
        form->RefreshDisplay();
        settle();
        form->AddChargeRecord(-1, 90000.0, QStringLiteral("Mains"), QStringLiteral("QorA1"),
                              QStringLiteral("AA #01"), 1.2, 2.15, QStringLiteral("Normal"),
                              QStringLiteral("Added while measuring"), QString());
        settle();
        form->ChargeLogStringGrid->selectAll();
        form->DeleteSelectionActionExecute();
        settle();
        form->undoStack()->undo();
        settle();
    };
    // What the program takes whatever the log's size: the libraries (their code pages too),
    // fonts and window buffers, found by the same session with a log of ten charges.
    const QString small = work.filePath(QStringLiteral("small.QorLog"));
    LogGenerator::writeGeneratedLog(small, 50);
    session(small);
    const double before = peakMiB();

    session(path);
    const double peak = peakMiB();
    sink({QStringLiteral("peak_rss_mb"), peak, QStringLiteral("MB")});
    sink({QStringLiteral("log_memory_mb"), qMax(0.0, peak - before), QStringLiteral("MB")});
}

int measureSizes(const QList<int> &sizes, const QString &program)
{
    QTextStream out(stdout);
    for (int size : sizes) {
        QTemporaryDir work;
        if (!work.isValid()) {
            std::fprintf(stderr, "qorlog_bench: no temporary folder\n");
            return 1;
        }
        const QString file = work.filePath(QStringLiteral("bench.QorLog"));
        try {
            LogGenerator::writeGeneratedLog(file, size);
        } catch (const QorLogError &error) {
            std::fprintf(stderr, "qorlog_bench: %s\n", qPrintable(error.message()));
            return 1;
        }
        out << "records " << size << Qt::endl;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(program, {QStringLiteral("--measure-file"), file});
        if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
            child.exitCode() != 0) {
            std::fprintf(stderr, "qorlog_bench: measuring %d charges failed\n", size);
            return 1;
        }
    }
    return 0;
}

} // namespace BenchRun
