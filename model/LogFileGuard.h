#pragma once

#include "BackupStore.h"
#include "ChargeLog.h"
#include "LogFile.h"
#include "LogFileIdentity.h"
#include "LogMerge.h"

#include <QDate>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QTimer>

class QFile;
class TSaveLock;

#include <functional>
#include <future>
#include <memory>
#include <optional>

// What a look at the log file found.
struct TOutsideChange
{
    enum class Kind
    {
        None,      // the file is as QorLog left it
        Merged,    // another program changed it; Merge brings its change into memory
        Missing,   // it was deleted or moved away; the next save writes it again
        Damaged,   // it was replaced by one that cannot be read completely; kept aside (Message)
        Unreadable // reading it failed (Message): the guard is read-only until it reads again
    };
    Kind Type = Kind::None;
    TLogMerge Merge;
    QString Message;
};

// Guards the log file against other programs that change it while QorLog runs. It remembers
// what the file was when QorLog last read or wrote it (its identity and the records it held,
// the base), watches it, and writes every save: a change found first is merged three ways into
// the log in memory, the day's first save and the purge at close are preceded by a backup, and
// the file written is remembered as the new base.
class TLogFileGuard : public QObject
{
    Q_OBJECT
public:
    // `fallbackBackupParent` is the user's data folder, where backups go when the log's own
    // folder cannot be written.
    TLogFileGuard(const QString &path, const QString &fallbackBackupParent,
                  QObject *parent = nullptr);
    // Waits for a backup copy still being written.
    ~TLogFileGuard() override;

    QString path() const { return m_path; }
    const TBackupStore &backups() const { return m_backups; }
    TBackupStore &backups() { return m_backups; }
    // How long the file must stay still after a change before it is read: sync tools and
    // editors write in several steps.
    void setSettleInterval(int ms) { m_settle.setInterval(ms); }

    // The log as just read from the file (also one read only in part) is what the file holds:
    // it becomes the base, and the watch starts. `fileComplete` false: the file is damaged
    // (a copy was kept); until the next save has written it whole, it gets no daily backup,
    // so that damaged days never push the last good copy out of the backups. `readFrom` is
    // the file as it was looked at before the read: another QorLog's save between the read and
    // this call is then still seen as a change (and merged) rather than taken as what was read.
    void adopt(const TChargeLog &log, bool fileComplete = true,
               const std::optional<TLogFileIdentity> &readFrom = std::nullopt);

    // Every save holds "PATH.lock" beside the log from its look at the file to the rename, so
    // that several QorLogs on one log (a shared folder, two sessions) take turns and merge
    // each other's charges. A save waits up to `ms` for another QorLog's save to finish.
    QString lockPath() const { return m_path + QStringLiteral(".lock"); }
    void setLockTimeout(int ms) { m_lockTimeoutMs = ms; }
    // From what size on the file last read or written is held open, so that another program's
    // replacement is compared with it rather than read whole. Below it (small logs read fast)
    // nothing stays open between saves, which keeps a removable disk free to be unmounted.
    void setHoldFilesFrom(qint64 bytes)
    {
        m_holdFrom = bytes;
        holdKnownFile();
    }
    // Holds the lock from now until releaseLock() (or the guard's end), for work that reads the
    // log, changes it and saves it as one, such as an import from the command line: no other
    // QorLog saves in between. Throws as save() does when the lock cannot be had.
    void holdLock();
    void releaseLock();

    // Read-only: the log could not be read (an input/output error, a network folder gone), so
    // what QorLog holds is no picture of the file and save() refuses to write. While read-only
    // the guard tries every few seconds whether the file reads again (retryRead()); when it
    // does, the guard is writable again, readableAgain() and outsideChange() are emitted and
    // takeOutsideChange() merges what the file holds beyond what was read.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }
    bool retryRead();

    // Conflict copies of the log that sync tools left beside it (see ConflictCopies.h).
    QStringList conflictCopies() const;
    // Keeps `memory` as it is in the backups before a merge drops a version it holds; a failure
    // is reported (backupFailed()) and stops nothing.
    void keepBeforeMerge(const TChargeLog &memory);

    // Why the log cannot be written (its folder or the file may not be written), or an empty
    // text.
    QString writeProblem() const;

    // Looks at the file. When another program changed it since QorLog last read or wrote it,
    // reads it and works out in Merge what to add to and remove from `memory` (new names are
    // appended to memory's lists and keys taken from its NextKey; the charge list is left for
    // the caller to change). What the file holds becomes the base. A replacement that cannot
    // be read completely is copied aside under the damaged-copy rule and never merged.
    TOutsideChange takeOutsideChange(TChargeLog &memory);
    // After such a look, and the merge made: whether the file, still as then read, holds exactly
    // what `memory` holds (a merge that only took another program's change), so that no save is
    // needed. Memory's charges then learn where they stand in it, the base shares them again,
    // and the file's identity is `identity`. (Else the save that follows finds the places of the
    // charges the file holds as memory does, and copies those.)
    bool fileHolds(TChargeLog &memory, TLogFileIdentity &identity);

    // Writes `log`: first merges an outside change into it (merged() tells what came and went),
    // backs the file up before the first save of the day, then writes atomically. Should
    // another program replace the file while the new one is being written, the new one is not
    // put in place; the change is merged and the save made again. Throws QorLogError when the
    // log cannot be written, when another QorLog's save holds the lock for longer than the
    // lock timeout, and while read-only; a failed backup never stops the save (backupFailed()).
    // The day's backup is a link made just before the rename, or a copy made after it on a
    // thread of its own from the replaced file, kept open (waitForBackup() waits for it).
    void save(TChargeLog &log);
    // The way from the log as changed back to the log as last saved, for the charges: what a
    // change that lent the base (lendBase) gives save().
    using TakeBack = std::function<void(TChargeLog &)>;
    void save(TChargeLog &log, const TakeBack &takeBack);
    // While the log stands as last saved, the base holds its very charges. Before a change that
    // the caller can take back, the base lets go of them, so that the change need not copy
    // them all; the save that follows is given the way back (save(log, takeBack)), and makes
    // the base from it should another program have changed the file. Should the save fail and
    // the change be taken back, returnBase() makes the log the base again.
    void lendBase(const TChargeLog &log);
    void returnBase(const TChargeLog &log);
    // Waits for a backup copy still being written; a failure is reported (backupFailed()).
    void waitForBackup() { collectBackup(true); }

    // Copies the file as it stands before the purge at close. False when no copy could be
    // written (`error` says why; backupFailed() as well): the caller must not purge then.
    bool backUpBeforePurge(QString *error = nullptr);
    // Copies the file before a backup replaces the log; throws QorLogError on failure.
    QString backUpBeforeRestore();

    // Called when a new file is complete, just before it is checked against the file in place
    // and renamed over it: lets a test play the program that changes the file in that moment.
    void setBeforeCommitHook(std::function<void()> hook) { m_beforeCommit = std::move(hook); }
    // Who carries out a merge that save() finds, in place of LogMerge::ApplyMerge: the owner of
    // the log makes it an undo step of its own.
    using MergeApplier = std::function<void(TChargeLog &, const TLogMerge &)>;
    void setMergeApplier(MergeApplier applier) { m_mergeApplier = std::move(applier); }
    // Who runs the writing of the file in save() (see LogFile::SaveChargeLog), and the reading
    // and working out of another program's change in takeOutsideChange(): the owner of a window
    // runs them on a thread while the window goes on, its log unchanged meanwhile. The hook
    // above then runs on that thread too. Meanwhile (isWriting()), what the watch or the timers
    // find waits, and the look follows once the work is done.
    void setWriteRunner(LogFile::WriteRunner runner) { m_writeRunner = std::move(runner); }
    bool isWriting() const { return m_writing; }

Q_SIGNALS:
    // The file changed and has been still for the settle interval: the owner takes the change
    // (takeOutsideChange) and applies it.
    void outsideChange();
    // save() found and applied an outside change.
    void merged(const TLogMerge &merge);
    // save() found a replacement that cannot be read; `message` says where it was kept.
    void damagedReplacementKept(const QString &message);
    // A backup failed; emitted once per run.
    void backupFailed(const QString &message);
    // The file reads again after a read error; the guard is writable again.
    void readableAgain();
    // Sync tools left conflict copies of the log beside it (new ones since the last signal).
    void conflictCopiesAppeared();

private:
    void watch();
    void settled();
    // Reads the changed file on a thread of its own, so that the window goes on while a big log
    // is read; outsideChange() follows once it is read, and the look then takes what was read.
    void readInBackground(const TLogFileIdentity &file);
    void readDone();
    void discardRead();
    // The file as `file` describes it: what the thread read of it, or read now (taking from
    // `known` what stands in it unchanged).
    LogFile::LoadOutcome readFile(const TLogFileIdentity &file, TChargeLog &disk,
                                  const LogFile::TKnownLog &known, std::vector<qint32> &takenFrom);
    void checkConflictCopies();
    void reportBackupFailure(const QString &message);
    void collectBackup(bool wait);
    void copyInBackground(const QFile &replaced, const QDate &day);
    void keepDroppedVersions(const TLogMerge &merge, const TChargeLog &memory);
    // The charges of the base again, made from `memory` while they are lent.
    void takeBaseBack(const TChargeLog &memory);
    // Runs `work` (the writing of the file, the reading and merging of another program's
    // change) through the write runner, isWriting() meanwhile.
    void runLive(const std::function<void()> &work);
    // True while the file is written: the look is noted for afterwards.
    bool lookAfterWriting();

    QString m_path;
    TBackupStore m_backups;
    TChargeLog m_base;
    bool m_baseLent = false; // m_base holds no charges: they are the log's as saved
    TakeBack m_takeBack;     // from the log to the log as saved, while save() runs
    TLogFileIdentity m_identity;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QTimer m_retry;
    QDate m_backedUpOn;
    QHash<QString, TLogFileIdentity> m_knownCopies; // as last seen
    int m_lockTimeoutMs = 5000;
    bool m_backupFailureReported = false;
    bool m_fileComplete = true;
    bool m_baseAsInFile = false; // the base is the file as read, ids and all
    bool m_readOnly = false;
    bool m_staleSaveFilesRemoved = false; // by the first save of this guard
    std::function<void()> m_beforeCommit;
    MergeApplier m_mergeApplier;
    LogFile::WriteRunner m_writeRunner;
    bool m_writing = false;
    bool m_lookAfterWrite = false;
    std::future<QString> m_backupCopy; // the failure's message, empty when the copy was made
    std::unique_ptr<TSaveLock> m_heldLock;
    struct TReadFile
    {
        TChargeLog Log;
        bool Missing = false;
        std::vector<qint32> TakenFrom; // see LogFile::LoadChargeLog
    };
    std::future<TReadFile> m_reading; // a changed file read on a thread of its own
    TLogFileIdentity m_readingFor;
    // The file m_identity describes, held open while the base stands as it is in it: another
    // program's replacement is then compared with it rather than read whole.
    std::shared_ptr<QFile> m_knownFile;
    qint64 m_holdFrom = 8 << 20;
    void holdKnownFile();
    LogFile::TKnownLog knownLog() const;

    // Whether the file reads again (always true while not read-only); on success the guard is
    // writable again and the next look merges the whole file. `announceChange` also emits
    // outsideChange() at once, as the retry timer does; a save merges the file itself.
    bool readsAgain(bool announceChange);
};

// "2 charges added and 1 removed by another program" (and changed), with the lines of the
// merge's conflicts; empty when nothing came, changed or went.
QString OutsideChangeNotice(const TLogMerge &merge);
