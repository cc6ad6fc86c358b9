#include "BenchRun.h"

#include "BatteryOverviewFormUnit.h"
#include "ChargeLogDocument.h"
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

#include "AutomationNames.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
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
#include <QThread>
#include <QTimer>
#include <QUndoStack>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using BenchRun::FigureSink;
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

// The copy is on the disk before the program opens it, as a user's log is: otherwise the
// first save would wait for the kernel to write back the copy beside its own file.
void copyFresh(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw QorLogError(QStringLiteral("Cannot copy %1 to %2").arg(from, to));
    QFile copy(to);
    if (!copy.open(QIODevice::ReadWrite) || ::fsync(copy.handle()) != 0)
        throw QorLogError(QStringLiteral("Cannot write %1 to the disk").arg(to));
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

// A plain copy of the file made durable, as `cp` and `fsync` make it: the floor of a save,
// which writes the whole file and syncs it.
double copyWithSyncMs(const QString &from, const QString &to)
{
    QFile::remove(to);
    QElapsedTimer timer;
    timer.start();
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    const int out =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = in >= 0 && out >= 0;
    while (ok) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
    }
    ok = ok && ::fsync(out) == 0;
    if (out >= 0)
        ::close(out);
    if (in >= 0)
        ::close(in);
    if (!ok)
        throw QorLogError(QStringLiteral("Cannot copy %1 with a sync").arg(from));
    return elapsedMs(timer);
}

// The longest time the event loop went without a turn, while it watches: a frame that long is
// what a user waits for the window to answer. The timer ticks every few milliseconds; a turn
// still under way when the watch ends counts up to then.
class FrameWatch
{
public:
    FrameWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(4);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_since.start();
        m_timer.start();
    }
    void stop()
    {
        tick();
        m_timer.stop();
    }
    double longest() const { return m_longest; }

private:
    void tick()
    {
        m_longest = qMax(m_longest, elapsedMs(m_since));
        m_since.restart();
    }
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

// The changes a user makes in a big log, each saved and shown (the refresh and the paint that
// follow it included): add, edit, delete one, "Delete Selection" of 10,000 rows and its undo,
// and another program's change of ten charges merged. Also the longest frame while they run.
void measureChanges(TQorLogMainForm &form, const QString &logPath, int rounds,
                    const FigureSink &sink)
{
    TChargeLogTableModel *model = form.tableModel();
    QTableView *view = form.ChargeLogStringGrid;
    const auto selectRows = [&](int first, int last) {
        view->setCurrentIndex(model->index(first, 0));
        view->selectionModel()->select(
            QItemSelection(model->index(first, 0),
                           model->index(last, TChargeLogTableModel::ColumnCount - 1)),
            QItemSelectionModel::ClearAndSelect);
        settle();
    };
    FrameWatch frames;
    const auto timed = [&frames](QVector<double> &times, const std::function<void()> &change) {
        settle();
        frames.start();
        QElapsedTimer timer;
        timer.start();
        change();
        settle();
        times.append(elapsedMs(timer));
        frames.stop();
    };
    QVector<double> add, edit, deleteOne, deleteMany, undo, merge;
    const TChargeLog &log = form.chargeLog();
    double latest = log.ChargeStringList.isEmpty()
                        ? 45000.0
                        : log.ChargeStringList.record(log.ChargeStringList.count() - 1).DateTime;
    for (int i = 0; i < rounds; ++i) {
        latest += 1.0 / 24.0;
        timed(add, [&] {
            form.AddChargeRecord(-1, latest, QStringLiteral("Mains"), QStringLiteral("QorA1"),
                                 QStringLiteral("AA #02"), 1.2, 2.15, QStringLiteral("Normal"),
                                 QStringLiteral("Added while measuring"), QString());
        });
        // The record in the middle of the table, its amp-hours changed.
        const int middle = model->shownCount() / 2;
        const int index = log.FindChargeIndex(model->keyAt(middle));
        const TChargeRecord record = log.ChargeStringList.record(index);
        QString logFile, comment;
        TChargeList::SplitChargeText(log.ChargeStringList.text(index), logFile, comment);
        timed(edit, [&] {
            form.AddChargeRecord(record.Key, record.DateTime,
                                 log.PowerSourcesStringList.name(record.PowerSourceIndex),
                                 log.ChargersStringList.name(record.ChargerIndex),
                                 log.BatteriesStringList.name(record.BatteryIndex),
                                 record.NominalChargeAmps, record.AmpHours + 0.125,
                                 log.TerminationsStringList.name(record.TerminationIndex), comment,
                                 logFile);
        });
        selectRows(middle, middle);
        timed(deleteOne, [&] { form.DeleteSelectionActionExecute(); });
        const int many = qMin(10000, qMax(1, model->shownCount() / 2));
        selectRows(0, many - 1);
        timed(deleteMany, [&] { form.DeleteSelectionActionExecute(); });
        timed(undo, [&] { form.undoStack()->undo(); });
    }
    // Another program's ten changes (4 added, 3 removed, 3 edited), written beside QorLog's
    // own file as that program would, found by QorLog's watch on the file (after a settle time
    // of a millisecond), read, merged and shown, timed from the write to the paint.
    form.logFileGuard()->setSettleInterval(1);
    for (int i = 0; i < rounds; ++i) {
        TChargeLog disk = log;
        const int n = disk.ChargeStringList.count();
        for (int k = 0; k < 4; ++k)
            disk.StoreChargeRecord(-1, latest + 1.0 + k, QStringLiteral("PSU"),
                                   QStringLiteral("QorA1"), QStringLiteral("Other #%1").arg(k), 1.0,
                                   1.0, QStringLiteral("Normal"), QStringLiteral("from elsewhere"),
                                   QString());
        for (int k = 0; k < 3 && n > 10; ++k)
            disk.ChargeStringList.removeAt(n / 3 + k);
        for (int k = 0; k < 3 && n > 10; ++k) {
            TChargeRecord changed = disk.ChargeStringList.record(k);
            changed.AmpHours += 0.5;
            disk.ChargeStringList.replace(k, changed, disk.ChargeStringList.text(k));
        }
        latest += 5.0;
        // The other program's file is written beforehand beside the log (under a name QorLog
        // does not watch for) and renamed over it as the clock starts.
        const QString theirs = logPath + QStringLiteral(".other");
        LogFile::SaveChargeLog(theirs, disk);
        bool merged = false;
        const QMetaObject::Connection shown = QObject::connect(
            form.document(), &TChargeLogDocument::changed, [&merged] { merged = true; });
        // The watch sees the file written beside the log first.
        for (QDeadlineTimer still(50); !still.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        timed(merge, [&] {
            if (::rename(QFile::encodeName(theirs).constData(),
                         QFile::encodeName(logPath).constData()) != 0)
                throw QorLogError(QStringLiteral("Cannot rename %1").arg(theirs));
            QDeadlineTimer deadline(120000);
            while (!merged && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        });
        QObject::disconnect(shown);
    }
    sink({QStringLiteral("change_add_ms"), BenchSupport::median(add), QStringLiteral("ms")});
    sink({QStringLiteral("change_edit_ms"), BenchSupport::median(edit), QStringLiteral("ms")});
    sink({QStringLiteral("change_delete_one_ms"), BenchSupport::median(deleteOne),
          QStringLiteral("ms")});
    sink({QStringLiteral("change_delete_10000_ms"), BenchSupport::median(deleteMany),
          QStringLiteral("ms")});
    sink({QStringLiteral("change_undo_ms"), BenchSupport::median(undo), QStringLiteral("ms")});
    sink({QStringLiteral("change_merge_ms"), BenchSupport::median(merge), QStringLiteral("ms")});
    sink({QStringLiteral("longest_frame_in_change_ms"), frames.longest(), QStringLiteral("ms")});
}

// `AddCharge` as another program calls it: the program itself runs with a copy of the log on a
// bus of its own, and this process calls it there, each call timed to its answer and then to
// the answer of a second call that the program's window thread serves after the refresh's
// paint. The first call is the first change of the day. Nothing is measured where there is no
// program or no dbus-daemon.
void measureBus(const QString &path, const QString &folder, int rounds, const FigureSink &sink)
{
#ifdef QORLOG_PROGRAM
    const QString program = QStringLiteral(QORLOG_PROGRAM);
    const QString daemonProgram = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (!QFileInfo(program).isExecutable() || daemonProgram.isEmpty())
        return;
    QDir(folder).mkpath(QStringLiteral("home"));
    QDir(folder).mkpath(QStringLiteral("data"));
    QDir(folder).mkpath(QStringLiteral("config"));
    QDir(folder).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(folder + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString log = folder + QStringLiteral("/bus.QorLog");
    copyFresh(path, log);

    QProcess daemon;
    daemon.setProcessChannelMode(QProcess::SeparateChannels);
    daemon.start(daemonProgram, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
    QByteArray address;
    while (!address.contains('\n') && daemon.waitForReadyRead(10000))
        address += daemon.readAllStandardOutput();
    address = address.trimmed();
    if (address.isEmpty())
        throw QorLogError(QStringLiteral("No bus for the bus figures"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address));
    environment.insert(QStringLiteral("HOME"), folder + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess qorlog;
    qorlog.setProcessEnvironment(environment);
    qorlog.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    qorlog.setStandardOutputFile(QProcess::nullDevice());
    qorlog.start(program, {QStringLiteral("--log-file"), log});

    const QString connectionName = QStringLiteral("qorlog-bench");
    double firstMs = 0;
    QVector<double> later;
    {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromUtf8(address), connectionName);
        const QString service = QString::fromLatin1(QorLogAutomation::ServiceName);
        const QString object = QString::fromLatin1(QorLogAutomation::ObjectPath);
        const QDeadlineTimer up(180000);
        while (bus.isConnected() && !up.hasExpired() &&
               !bus.interface()->isServiceRegistered(service).value())
            QThread::msleep(20);
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            service, object, QStringLiteral("org.freedesktop.DBus.Introspectable"),
            QStringLiteral("Introspect"));
        if (bus.call(ping, QDBus::Block, 180000).type() != QDBusMessage::ReplyMessage)
            throw QorLogError(QStringLiteral("The program did not answer on its bus"));
        QThread::msleep(1000); // what the start leaves to do once the window is up
        for (int i = 0; i <= rounds; ++i) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                service, object, QString::fromLatin1(QorLogAutomation::InterfaceName),
                QStringLiteral("AddCharge"));
            call << 90000.0 + i << QStringLiteral("Mains") << false << QStringLiteral("QorA1")
                 << QStringLiteral("AA #03") << 1.2 << 2.15 << QStringLiteral("Normal")
                 << QStringLiteral("Sent over the bus") << QString() << false;
            QElapsedTimer timer;
            timer.start();
            const QDBusMessage reply = bus.call(call, QDBus::Block, 180000);
            if (reply.type() != QDBusMessage::ReplyMessage)
                throw QorLogError(
                    QStringLiteral("AddCharge over the bus failed: %1").arg(reply.errorMessage()));
            bus.call(ping, QDBus::Block, 180000);
            const double ms = elapsedMs(timer);
            if (i == 0)
                firstMs = ms;
            else
                later.append(ms);
            QThread::msleep(100); // a client does not call in a tight loop
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    qorlog.terminate();
    if (!qorlog.waitForFinished(120000))
        qorlog.kill();
    daemon.terminate();
    daemon.waitForFinished(10000);
    sink({QStringLiteral("bus_add_first_ms"), firstMs, QStringLiteral("ms")});
    sink({QStringLiteral("bus_add_ms"), BenchSupport::median(later), QStringLiteral("ms")});
#else
    Q_UNUSED(path);
    Q_UNUSED(folder);
    Q_UNUSED(rounds);
    Q_UNUSED(sink);
#endif
}

} // namespace

namespace BenchRun {

int measureLogFile(const QString &path, const FigureSink &sink)
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

    // The plain copy with a sync made just before the first change, and kept until it is
    // made: like the first save after opening, it writes into memory the page cache has not
    // used lately. A virtual machine that hands freed memory back to its host pays a fault in
    // the host for each page of it, which a copy made right after another was freed does not.
    const QString copiedFirst = work.filePath(QStringLiteral("first-copy.QorLog"));
    sink({QStringLiteral("copy_sync_first_ms"), copyWithSyncMs(windowLog, copiedFirst),
          QStringLiteral("ms")});

    // One charge as the dialog or an automation client adds it: store, refresh, save.
    const int chargeCount = form->chargeLog().ChargeStringList.count();
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
        QFile::remove(copiedFirst);
    }
    sink({QStringLiteral("add_ms"), BenchSupport::median(add), QStringLiteral("ms")});
    // The first change after the window opened is the first save of the log and of the day
    // (its backup made).
    sink({QStringLiteral("change_first_ms"), add.value(0), QStringLiteral("ms")});

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
    measureChanges(*form, windowLog, rounds, sink);

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
    const bool importable = QFileInfo(csv).size() <= CsvFile::MaxFileSize;

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
    for (int i = 0; importable && i < rounds; ++i) {
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
    if (importable) // a bigger file is more than an import takes
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
    QVector<double> copySync;
    for (int i = 0; i < rounds; ++i)
        copySync.append(copyWithSyncMs(path, copied));
    QFile::remove(copied);
    sink({QStringLiteral("copy_sync_ms"), BenchSupport::median(copySync), QStringLiteral("ms")});

    measureBus(path, work.filePath(QStringLiteral("bus")), rounds, sink);

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
    return chargeCount;
}

void measureMemory(const QString &path, const FigureSink &sink)
{
    QTemporaryDir work;
    if (!work.isValid())
        throw QorLogError(QStringLiteral("No temporary folder: %1").arg(work.errorString()));
    // What a user does with a log: open it, hide a battery, add a hundred charges (each stored
    // and saved), delete every charge and undo that.
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
        // A hundred changes, each an undo step that holds what it changed.
        for (int i = 0; i < 100; ++i) {
            form->AddChargeRecord(-1, 90000.0 + i, QStringLiteral("Mains"), QStringLiteral("QorA1"),
                                  QStringLiteral("AA #01"), 1.2, 2.15, QStringLiteral("Normal"),
                                  QStringLiteral("Added while measuring"), QString());
            settle();
        }
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
    QList<BenchSupport::SizeFigures> measuredSizes;
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
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(program, {QStringLiteral("--measure-file"), file});
        // Each line passes on as it comes, and its figure is kept for the growth.
        BenchSupport::SizeFigures measured{size, {}};
        QByteArray pending;
        const auto passOn = [&] {
            pending += child.readAllStandardOutput();
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                const QString line = QString::fromUtf8(pending.left(end));
                pending.remove(0, end + 1);
                out << line << Qt::endl;
                BenchSupport::Figure figure;
                if (BenchSupport::parseFigure(line, figure))
                    measured.figures.append(figure);
            }
        };
        while (child.waitForReadyRead(-1))
            passOn();
        child.waitForFinished(-1);
        passOn();
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::fprintf(stderr, "qorlog_bench: measuring %d charges failed\n", size);
            return 1;
        }
        measuredSizes.append(measured);
    }
    for (const QString &line : BenchSupport::growthLines(measuredSizes))
        out << line << Qt::endl;
    return 0;
}

} // namespace BenchRun
