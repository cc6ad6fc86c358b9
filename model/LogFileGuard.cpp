#include "LogFileGuard.h"

#include "ChargeIdentity.h"
#include "ConflictCopies.h"
#include "LogFile.h"
#include "SaveLock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TLogFileGuard", text);
}

constexpr int DefaultSettleMs = 500;
// A save's temporary file (the log's name and six characters) this old belongs to no save
// under way: its writer was killed or lost its power before the rename.
constexpr int StaleSaveFileSeconds = 60;

// Whether a file is a log cut short: it starts as a log does but its root element is not
// closed. A whole log beside the log under a name like a save's (log.QorLog.backup) may be the
// user's own copy and is never taken for a save's leftover.
bool isCutShortLog(const QFileInfo &file)
{
    QFile f(file.filePath());
    if (!f.open(QIODevice::ReadOnly))
        return false;
    if (!f.read(5).startsWith("<?xml"))
        return false;
    const qint64 tail = 64;
    if (f.size() > tail && !f.seek(f.size() - tail))
        return false;
    return !f.readAll().contains("</QorInsight");
}

// Removes the temporary files that saves ended before their rename left beside the log. Only
// called while holding the lock, so no QorLog's save can be under way. A kill after the whole
// file was written but before its rename leaves a whole log, which stays.
void removeStaleSaveFiles(const QString &logPath)
{
    const QFileInfo log(logPath);
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-StaleSaveFileSeconds);
    const QFileInfoList candidates =
        log.dir().entryInfoList({log.fileName() + QStringLiteral(".??????")},
                                QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &file : candidates)
        if (suffix.match(file.fileName().mid(log.fileName().size())).hasMatch() &&
            file.lastModified() < before && isCutShortLog(file))
            QFile::remove(file.filePath());
}
// A save that finds the file replaced under it again and again gives up merging after this
// many attempts and writes what it has (the file was backed up before).
constexpr int SaveAttempts = 3;
// A lock older than this is taken to be left by a QorLog that crashed on another machine (on
// this one, a lock whose process is gone is stale at once). A save takes well under a second.
constexpr int LockStaleMs = 20000;
constexpr int DefaultRetryMs = 5000;

// Takes the lock beside the log, waiting for another QorLog's save at most `timeoutMs`. A save
// that cannot have the lock fails rather than writing unlocked: a failure is reported to whoever
// made the change (and taken back), while a save written unlocked might silently replace the
// other QorLog's charges.
void takeLock(TSaveLock &lock, const QString &logPath, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // Short pauses at first: the other save is usually done within milliseconds.
    int pauseMs = 1;
    for (;;) {
        const TSaveLock::Result result = lock.tryLock();
        if (result == TSaveLock::Result::Locked)
            return;
        if (result == TSaveLock::Result::Failed)
            throw QorLogError(QCoreApplication::translate(
                                  "TLogFileGuard",
                                  "The log file %1 was not saved: the lock file %2 beside it "
                                  "cannot be made (%3).")
                                  .arg(logPath, lock.path(), lock.errorString()));
        if (deadline.hasExpired()) {
            const QString holder = lock.holder();
            throw QorLogError(
                QCoreApplication::translate(
                    "TLogFileGuard", "The log file %1 was not saved: another QorLog (%2) has been "
                                     "saving it for longer than %3 seconds. Try again in a moment.")
                    .arg(logPath, holder.isEmpty()
                                      ? QCoreApplication::translate("TLogFileGuard", "unknown")
                                      : holder)
                    .arg(timeoutMs / 1000.0));
        }
        QThread::msleep(ulong(qMin<qint64>(pauseMs, qMax<qint64>(1, deadline.remainingTime()))));
        pauseMs = qMin(pauseMs * 2, 50);
    }
}

} // namespace

TLogFileGuard::TLogFileGuard(const QString &path, const QString &fallbackBackupParent,
                             QObject *parent)
    : QObject(parent), m_path(path), m_backups(path, fallbackBackupParent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(DefaultSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &TLogFileGuard::settled);
    // Every event restarts the wait: the file is read once it has been still for a while.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    m_retry.setInterval(DefaultRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &TLogFileGuard::retryRead);
}

TLogFileGuard::~TLogFileGuard()
{
    if (m_reading.valid())
        m_reading.wait();
    if (m_backupCopy.valid())
        m_backupCopy.wait();
}

void TLogFileGuard::collectBackup(bool wait)
{
    if (!m_backupCopy.valid())
        return;
    if (!wait && m_backupCopy.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    const QString failure = m_backupCopy.get();
    if (!failure.isEmpty())
        reportBackupFailure(failure);
}

void TLogFileGuard::lendBase(const TChargeLog &log)
{
    if (m_baseLent || !m_base.ChargeStringList.sharesEntriesWith(log.ChargeStringList))
        return; // the base holds charges of its own (a merge made it): nothing to lend
    m_base.ChargeStringList.clear();
    m_baseLent = true;
    m_baseAsInFile = false;
}

void TLogFileGuard::returnBase(const TChargeLog &log)
{
    if (!m_baseLent)
        return;
    m_base.ChargeStringList = log.ChargeStringList;
    m_baseLent = false;
    m_baseAsInFile = false;
}

void TLogFileGuard::takeBaseBack(const TChargeLog &memory)
{
    if (!m_baseLent)
        return;
    TChargeLog saved = memory;
    if (m_takeBack)
        m_takeBack(saved);
    m_base.ChargeStringList = std::move(saved.ChargeStringList);
    m_baseLent = false;
    m_baseAsInFile = false;
}

void TLogFileGuard::holdKnownFile()
{
    m_knownFile = m_identity.Size >= m_holdFrom ? LogFile::HoldFile(m_path, m_identity) : nullptr;
}

LogFile::TKnownLog TLogFileGuard::knownLog() const
{
    if (!m_knownFile || m_baseLent || m_base.LastWritten.Generation == 0 ||
        m_base.LastWritten.Identity != m_identity || m_base.ChargeStringList.isEmpty())
        return {};
    return {std::make_shared<const TChargeLog>(m_base), m_knownFile};
}

void TLogFileGuard::adopt(const TChargeLog &log, bool fileComplete,
                          const std::optional<TLogFileIdentity> &readFrom)
{
    m_base = log;
    m_baseLent = false;
    m_baseAsInFile = false;
    m_identity = readFrom ? *readFrom : TLogFileIdentity::ofPath(m_path);
    holdKnownFile();
    m_fileComplete = fileComplete;
    watch();
    // Copies left while QorLog did not run are reported too, once the owner is ready.
    QTimer::singleShot(0, this, &TLogFileGuard::checkConflictCopies);
}

void TLogFileGuard::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (readOnly)
        m_retry.start();
    else
        m_retry.stop();
}

bool TLogFileGuard::retryRead()
{
    if (m_writing)
        return false; // the timer tries again
    return readsAgain(true);
}

void TLogFileGuard::runLive(const std::function<void()> &work)
{
    if (!m_writeRunner || m_writing) {
        work();
        return;
    }
    // Meanwhile, what happens to the file waits: the look at it comes afterwards.
    struct Writing
    {
        TLogFileGuard &Guard;
        explicit Writing(TLogFileGuard &guard) : Guard(guard) { Guard.m_writing = true; }
        ~Writing()
        {
            Guard.m_writing = false;
            if (std::exchange(Guard.m_lookAfterWrite, false))
                Guard.m_settle.start();
        }
    } writing(*this);
    m_writeRunner(work);
}

bool TLogFileGuard::lookAfterWriting()
{
    if (!m_writing)
        return false;
    m_lookAfterWrite = true;
    return true;
}

bool TLogFileGuard::readsAgain(bool announceChange)
{
    if (!m_readOnly)
        return true;
    TChargeLog probe;
    try {
        LogFile::LoadChargeLog(m_path, probe);
    } catch (const QorLogReadError &) {
        return false;
    } catch (const QorLogError &) {
        // It reads, but is damaged: the damaged-copy rule takes it from here.
    }
    setReadOnly(false);
    // What was read before the error is the base; the file is looked at as changed, so the
    // next look merges what it holds beyond that.
    m_identity = TLogFileIdentity();
    m_identity.Exists = true;
    if (announceChange) {
        Q_EMIT readableAgain();
        Q_EMIT outsideChange();
    } else {
        // Found by a save, which merges the file itself: the owner hears of it afterwards.
        QTimer::singleShot(0, this, &TLogFileGuard::readableAgain);
    }
    return true;
}

QStringList TLogFileGuard::conflictCopies() const
{
    return ConflictCopies::find(m_path);
}

void TLogFileGuard::checkConflictCopies()
{
    if (lookAfterWriting())
        return;
    // A copy that changed since it was last seen counts as new: one read while a sync tool was
    // still writing it (and found damaged) is read again once it is whole.
    QHash<QString, TLogFileIdentity> now;
    bool appeared = false;
    for (const QString &copy : conflictCopies()) {
        const TLogFileIdentity identity = TLogFileIdentity::ofPath(copy);
        const auto known = m_knownCopies.constFind(copy);
        appeared = appeared || known == m_knownCopies.cend() || *known != identity;
        now.insert(copy, identity);
    }
    m_knownCopies = std::move(now);
    if (appeared)
        Q_EMIT conflictCopiesAppeared();
}

void TLogFileGuard::watch()
{
    // A file renamed over the log is another file: the watch on the old one has ended. The
    // folder is watched too, so that a log deleted and made again is seen.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher.directories().contains(folder))
        m_watcher.addPath(folder);
    if (QFileInfo::exists(m_path)) {
        m_watcher.removePath(m_path);
        m_watcher.addPath(m_path);
    }
}

void TLogFileGuard::settled()
{
    if (lookAfterWriting())
        return;
    watch();
    checkConflictCopies();
    const TLogFileIdentity now = TLogFileIdentity::ofPath(m_path);
    if (now == m_identity)
        return;
    if (!now.Exists) {
        Q_EMIT outsideChange();
        return;
    }
    readInBackground(now);
}

void TLogFileGuard::readInBackground(const TLogFileIdentity &file)
{
    if (m_reading.valid()) {
        if (m_reading.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return; // once that read is done, the file is looked at again
        if (m_readingFor == file) {
            Q_EMIT outsideChange(); // read already, and not yet taken
            return;
        }
        discardRead();
    }
    m_readingFor = file;
    try {
        m_reading =
            std::async(std::launch::async, [this, path = m_path, known = knownLog()]() mutable {
                // The look follows once the read is over, whatever it found.
                struct Done
                {
                    TLogFileGuard *Guard;
                    ~Done()
                    {
                        QMetaObject::invokeMethod(Guard, &TLogFileGuard::readDone,
                                                  Qt::QueuedConnection);
                    }
                } done{this};
                TReadFile read;
                read.Missing = LogFile::LoadChargeLog(path, read.Log, known, &read.TakenFrom) ==
                               LogFile::LoadOutcome::Missing;
                // The base's charges are shared no longer than the read needs them: a change of the
                // log while they are would copy them all.
                known = {};
                return read;
            });
    } catch (const std::system_error &) {
        Q_EMIT outsideChange(); // no thread to spare: the file is read as it is merged
    }
}

void TLogFileGuard::readDone()
{
    if (lookAfterWriting())
        return;
    const TLogFileIdentity now = TLogFileIdentity::ofPath(m_path);
    if (m_reading.valid() && m_readingFor != now) {
        // The file changed again while it was read: what was read is of no use.
        discardRead();
        if (now != m_identity)
            settled();
        return;
    }
    if (now != m_identity)
        Q_EMIT outsideChange();
}

void TLogFileGuard::discardRead()
{
    try {
        m_reading.get();
    } catch (const QorLogError &) {
    }
}

LogFile::LoadOutcome TLogFileGuard::readFile(const TLogFileIdentity &file, TChargeLog &disk,
                                             const LogFile::TKnownLog &known,
                                             std::vector<qint32> &takenFrom)
{
    if (m_reading.valid()) {
        if (m_readingFor == file) {
            TReadFile read = m_reading.get(); // what it failed with is thrown here
            disk = std::move(read.Log);
            takenFrom = std::move(read.TakenFrom);
            return read.Missing ? LogFile::LoadOutcome::Missing : LogFile::LoadOutcome::Loaded;
        }
        discardRead();
    }
    return LogFile::LoadChargeLog(m_path, disk, known, &takenFrom);
}

TOutsideChange TLogFileGuard::takeOutsideChange(TChargeLog &memory)
{
    TOutsideChange change;
    const TLogFileIdentity now = TLogFileIdentity::ofPath(m_path);
    if (now == m_identity)
        return change;
    const LogFile::TKnownLog known = knownLog();
    m_identity = now;
    if (!now.Exists) {
        change.Type = TOutsideChange::Kind::Missing;
        return change;
    }
    TChargeLog disk;
    std::vector<qint32> takenFrom; // which of the base's charges the file holds unchanged
    try {
        LogFile::LoadOutcome read = LogFile::LoadOutcome::Loaded;
        runLive([&] { read = readFile(now, disk, known, takenFrom); });
        if (read == LogFile::LoadOutcome::Missing) {
            // Gone between the look and the read: nothing was removed from it.
            m_identity = TLogFileIdentity::ofPath(m_path);
            change.Type = TOutsideChange::Kind::Missing;
            return change;
        }
    } catch (const QorLogReadError &error) {
        // Not the file's fault: nothing is written over it until it reads again.
        setReadOnly(true);
        change.Type = TOutsideChange::Kind::Unreadable;
        change.Message = tr("The log file could not be read:\n%1\n\nQorLog saves nothing until "
                            "it can be read again.")
                             .arg(error.message());
        return change;
    } catch (const QorLogError &error) {
        // The base stays: memory is written over the replacement at the next save.
        change.Type = TOutsideChange::Kind::Damaged;
        QString where;
        try {
            where = tr("It has been kept as %1.").arg(m_backups.keepDamagedCopy());
        } catch (const QorLogError &copyError) {
            where = copyError.message() + QLatin1Char('.');
        }
        change.Message = tr("Another program replaced the log file by one that cannot be read "
                            "completely:\n%1\n\n%2 QorLog writes its own charges to the log "
                            "file.")
                             .arg(error.message(), where);
        return change;
    }
    change.Type = TOutsideChange::Kind::Merged;
    takeBaseBack(memory);
    // Charges that come without ids (a file another program wrote) get the ids the merge
    // gives them, so that the base holds them too.
    m_baseAsInFile = true;
    // Worked out beside the window: on a copy that shares memory's charges, which gets the
    // names and keys the merge adds, and gives them to memory afterwards.
    TChargeLog ours = memory;
    runLive([&] {
        for (int i = 0; i < disk.ChargeStringList.count(); ++i)
            if (disk.ChargeStringList.at(i).Id.isNull()) {
                LogMerge::IdentifyCharges(disk, m_base, &ours);
                m_baseAsInFile = false;
                break;
            }
        change.Merge = LogMerge::MergeOutsideChange(m_base, disk, ours, takenFrom);
    });
    memory.takeNamesAndKeysFrom(std::move(ours));
    keepDroppedVersions(change.Merge, memory);
    // The identity read before the file was: should it have changed during the read, the
    // next look reads it again.
    m_base = std::move(disk);
    m_baseLent = false;
    holdKnownFile();
    return change;
}

bool TLogFileGuard::fileHolds(TChargeLog &memory, TLogFileIdentity &identity)
{
    if (!m_baseAsInFile || m_baseLent || m_readOnly || !m_fileComplete ||
        TLogFileIdentity::ofPath(m_path) != m_identity)
        return false;
    if (!memory.holdsTheSameAs(m_base))
        return false;
    // Where the read found the file's charges is where memory's stand.
    if (m_base.LastWritten.Identity == m_identity)
        memory.takePlacesFrom(m_base);
    // One copy of the charges, not two.
    m_base = memory;
    m_baseAsInFile = false;
    identity = m_identity;
    return true;
}

void TLogFileGuard::keepDroppedVersions(const TLogMerge &merge, const TChargeLog &memory)
{
    // A version of a charge the merge drops stays in the backups: the file as read holds the
    // other side's, the log in memory this QorLog's.
    try {
        const QDateTime now = QDateTime::currentDateTime();
        if (merge.DroppedTheirs)
            m_backups.backUpBeforeMerge(now);
        if (merge.DroppedOurs)
            m_backups.keepBeforeMerge(memory, now);
    } catch (const QorLogError &error) {
        reportBackupFailure(error.message());
    }
}

void TLogFileGuard::keepBeforeMerge(const TChargeLog &memory)
{
    TLogMerge dropsOurs;
    dropsOurs.DroppedOurs = true;
    keepDroppedVersions(dropsOurs, memory);
}

QString TLogFileGuard::writeProblem() const
{
    const QFileInfo log(m_path);
    // A save writes a new file beside the log and renames it over the log.
    if (::access(QFile::encodeName(log.absolutePath()).constData(), W_OK | X_OK) != 0)
        return tr("its folder cannot be written (%1)").arg(qt_error_string(errno));
    if (log.exists() && ::access(QFile::encodeName(m_path).constData(), W_OK) != 0)
        return qt_error_string(errno);
    return QString();
}

void TLogFileGuard::holdLock()
{
    if (m_heldLock)
        return;
    auto lock = std::make_unique<TSaveLock>(lockPath(), LockStaleMs);
    takeLock(*lock, m_path, m_lockTimeoutMs);
    m_heldLock = std::move(lock);
}

void TLogFileGuard::releaseLock()
{
    m_heldLock.reset();
}

void TLogFileGuard::save(TChargeLog &log)
{
    save(log, {});
}

void TLogFileGuard::save(TChargeLog &log, const TakeBack &takeBack)
{
    // The way back serves this save only.
    struct TakeBackFor
    {
        TakeBack &Held;
        TakeBackFor(TakeBack &held, const TakeBack &given) : Held(held) { Held = given; }
        ~TakeBackFor() { Held = nullptr; }
    } takeBackForThisSave(m_takeBack, takeBack);
    // A file that reads again is saved at once, not only after the next retry.
    if (!readsAgain(false))
        throw QorLogError(tr("The log file %1 could not be read; QorLog saves nothing until it "
                             "can be read again.")
                              .arg(m_path));
    collectBackup(false);
    // From the look at the file to the rename, no other QorLog saves.
    std::unique_ptr<TSaveLock> ownLock;
    if (!m_heldLock) {
        ownLock = std::make_unique<TSaveLock>(lockPath(), LockStaleMs);
        takeLock(*ownLock, m_path, m_lockTimeoutMs);
    }
    // Deletions too old, or too many, to keep.
    log.PruneDeleted(ChargeIdentity::nowUtc());
    // What a kill during an earlier save left, once a run.
    if (!m_staleSaveFilesRemoved) {
        m_staleSaveFilesRemoved = true;
        removeStaleSaveFiles(m_path);
    }
    for (int attempt = 1;; ++attempt) {
        const TOutsideChange change = takeOutsideChange(log);
        if (change.Type == TOutsideChange::Kind::Merged) {
            if (change.Merge.isEmpty())
                log.Deleted.insert(change.Merge.Deletions);
            else if (m_mergeApplier)
                m_mergeApplier(log, change.Merge);
            else
                LogMerge::ApplyMerge(log, change.Merge);
            if (!change.Merge.isEmpty() || !change.Merge.Conflicts.isEmpty())
                Q_EMIT merged(change.Merge);
        } else if (change.Type == TOutsideChange::Kind::Damaged) {
            Q_EMIT damagedReplacementKept(change.Message);
        } else if (change.Type == TOutsideChange::Kind::Unreadable) {
            throw QorLogError(change.Message);
        }
        // After a merge the log's charges still point into the file the merge replaced: those
        // standing in the file now as in the log are copied from it instead of formatted anew.
        if (!m_baseLent && m_base.LastWritten.Generation != 0 &&
            m_base.LastWritten.Identity == m_identity &&
            (log.LastWritten.Generation == 0 || log.LastWritten.Identity != m_identity)) {
            const TChargeLog file = m_base;
            std::vector<TWrittenPlace> places;
            runLive([&] { places = log.placesIn(file); });
            log.takePlaces(file, places);
        }
        // The file must still be the one just looked at when the new one takes its place;
        // the time between this last look and the rename is the one moment in which another
        // program's change would be replaced unseen.
        const TLogFileIdentity expected = TLogFileIdentity::ofPath(m_path);
        // The day's backup is the file this save replaces, which is never changed again: a
        // link to it made just before the rename, or else a copy of it, held open, after.
        const QDate today = QDate::currentDate();
        const bool backupDue = m_backedUpOn != today;
        QFile replaced(m_path);
        const bool backUp = backupDue && m_fileComplete && expected.Exists &&
                            !m_backups.hasDaily(today) && replaced.open(QIODevice::ReadOnly) &&
                            TLogFileIdentity::ofOpenFile(replaced) == expected;
        QString linked;
        TLogFileIdentity written;
        const bool lastAttempt = attempt >= SaveAttempts;
        bool committed = false;
        try {
            const auto beforeCommit = [&](const QFileDevice &file) {
                if (m_beforeCommit)
                    m_beforeCommit();
                if (!lastAttempt && TLogFileIdentity::ofPath(m_path) != expected)
                    return false;
                if (backUp)
                    linked = m_backups.linkDaily(today, expected);
                written = TLogFileIdentity::ofOpenFile(file);
                return true;
            };
            committed = LogFile::SaveChargeLog(
                m_path, log, beforeCommit,
                [this](const std::function<void()> &write) { runLive(write); });
        } catch (const QorLogError &) {
            // The file stays: a link to it would be no copy of its state of today.
            if (!linked.isEmpty())
                QFile::remove(linked);
            throw;
        }
        if (!committed)
            continue;
        // A rename keeps the file's inode, size and modification time: what was measured on
        // the temporary file is what now lies under the log's name.
        m_identity = written;
        m_base = log;
        m_baseLent = false;
        m_baseAsInFile = false;
        m_fileComplete = true;
        holdKnownFile();
        watch();
        if (backupDue) {
            m_backedUpOn = today;
            if (backUp && linked.isEmpty())
                copyInBackground(replaced, today);
        }
        return;
    }
}

void TLogFileGuard::copyInBackground(const QFile &replaced, const QDate &day)
{
    collectBackup(true);
    // A copy of a big log takes as long as a save; the caller need not wait for it. The thread
    // has a store and a handle of the replaced file of its own.
    auto copy = [store = m_backups, day](int handle) mutable {
        QFile file;
        if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(handle);
            return file.errorString();
        }
        try {
            store.copyDailyFrom(file, day);
        } catch (const QorLogError &error) {
            return error.message();
        }
        return QString();
    };
    const int handle = ::fcntl(replaced.handle(), F_DUPFD_CLOEXEC, 0);
    if (handle < 0) {
        reportBackupFailure(qt_error_string(errno));
        return;
    }
    try {
        m_backupCopy = std::async(std::launch::async, copy, handle);
    } catch (const std::system_error &) {
        // No thread to spare: copied here.
        std::promise<QString> done;
        done.set_value(copy(handle));
        m_backupCopy = done.get_future();
    }
}

bool TLogFileGuard::backUpBeforePurge(QString *error)
{
    collectBackup(true);
    try {
        m_backups.backUpBeforePurge(QDateTime::currentDateTime());
    } catch (const QorLogError &failure) {
        if (error)
            *error = failure.message();
        reportBackupFailure(failure.message());
        return false;
    }
    return true;
}

QString TLogFileGuard::backUpBeforeRestore()
{
    return m_backups.backUpBeforeRestore(QDateTime::currentDateTime());
}

void TLogFileGuard::reportBackupFailure(const QString &message)
{
    if (m_backupFailureReported)
        return;
    m_backupFailureReported = true;
    Q_EMIT backupFailed(message);
}

QString OutsideChangeNotice(const TLogMerge &merge)
{
    const auto charges = [](int n) {
        return n == 1 ? QCoreApplication::translate("TLogFileGuard", "1 charge")
                      : QCoreApplication::translate("TLogFileGuard", "%1 charges").arg(n);
    };
    const int added = merge.addedCount();
    const int changed = merge.changedCount();
    const int removed = merge.removedCount();
    QString text;
    if (changed > 0) {
        if (added > 0 && removed > 0)
            text = QCoreApplication::translate(
                       "TLogFileGuard", "%1 added, %2 changed and %3 removed by another program")
                       .arg(charges(added))
                       .arg(changed)
                       .arg(removed);
        else if (added > 0)
            text = QCoreApplication::translate("TLogFileGuard",
                                               "%1 added and %2 changed by another program")
                       .arg(charges(added))
                       .arg(changed);
        else if (removed > 0)
            text = QCoreApplication::translate("TLogFileGuard",
                                               "%1 changed and %2 removed by another program")
                       .arg(charges(changed))
                       .arg(removed);
        else
            text = QCoreApplication::translate("TLogFileGuard", "%1 changed by another program")
                       .arg(charges(changed));
    } else if (added > 0 && removed > 0) {
        text = QCoreApplication::translate("TLogFileGuard",
                                           "%1 added and %2 removed by another program")
                   .arg(charges(added))
                   .arg(removed);
    } else if (added > 0) {
        text = QCoreApplication::translate("TLogFileGuard", "%1 added by another program")
                   .arg(charges(added));
    } else if (removed > 0) {
        text = QCoreApplication::translate("TLogFileGuard", "%1 removed by another program")
                   .arg(charges(removed));
    }
    if (merge.CardsChanged > 0)
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                (merge.CardsChanged == 1
                     ? QCoreApplication::translate("TLogFileGuard",
                                                   "1 battery card changed by another program")
                     : QCoreApplication::translate("TLogFileGuard",
                                                   "%n battery cards changed by another program",
                                                   nullptr, merge.CardsChanged));
    if (!merge.Conflicts.isEmpty())
        text +=
            (text.isEmpty() ? QString() : QStringLiteral("\n")) + LogMerge::conflictsText(merge);
    return text;
}
