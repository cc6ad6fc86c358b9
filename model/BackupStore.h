#pragma once

#include "LogFileIdentity.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class QFile;
class TChargeLog;

// One copy of the log kept by TBackupStore.
struct TBackupInfo
{
    enum class Kind
    {
        Daily,         // YYYY-MM-DD.QorLog: the log before the first save of that day
        BeforePurge,   // YYYY-MM-DD-HHMMSS-before-purge.QorLog: before the purge at close
        BeforeRestore, // YYYY-MM-DD-HHMMSS-before-restore.QorLog: before a backup replaced it
        Damaged,       // LOG.damaged-YYYYMMDD-HHMMSS beside the log: a log that failed to read
        ConflictCopy,  // YYYY-MM-DD-HHMMSS-conflict-copy.QorLog: a sync tool's copy, merged
        BeforeMerge    // YYYY-MM-DD-HHMMSS-before-merge.QorLog: a side of a merge that dropped
                       // a version of a charge (an edit on both sides: the earlier one)
    };
    QString Path;
    Kind Type = Kind::Daily;
    QDateTime Taken; // the date (midnight for a daily copy) and time in the name
};

// Copies of the log file in "NAME.QorLog-backups" beside it, or, when the log's folder cannot be
// written, in "NAME.QorLog-backups-HASH" under the user's data folder (HASH short for the log's
// real path, so that logs of the same name keep apart). Every copy is written atomically under
// a name nothing held before: a copy never replaces a file, and never writes through a link
// planted under its name. The newest DailyKept daily copies and the newest EventKept copies of
// each other kind are kept (damaged copies beside the log included), never pruning the copy just
// made. Copies keep the log's permissions, and the folder of a log that only its owner may read
// is the owner's alone (0700). Only regular files count as copies.
class TBackupStore
{
public:
    static constexpr int DailyKept = 14;
    static constexpr int EventKept = 5;

    TBackupStore(const QString &logPath, const QString &fallbackParent);

    QString logPath() const { return m_logPath; }
    QString folder() const { return m_folder; }     // beside the log
    QString fallback() const { return m_fallback; } // under the user's data folder

    // Each copies the log file as it stands and returns the copy's path, or an empty text when
    // there was nothing to do (no log file yet; today's daily copy exists already). Older
    // copies of the kind are removed. Throws QorLogError when no copy could be written.
    QString backUpDaily(const QDate &day);
    QString backUpBeforePurge(const QDateTime &now);
    QString backUpBeforeRestore(const QDateTime &now);
    // The file as it stands, or `log` as QorLog holds it, before a merge drops a version of a
    // charge that it holds.
    QString backUpBeforeMerge(const QDateTime &now);
    QString keepBeforeMerge(const TChargeLog &log, const QDateTime &now);

    // The day's copy in two steps around a save, so that it costs the save nothing: the file
    // about to be replaced is never changed again, so a second name for it (a hard link in the
    // folder beside the log) made just before the new file takes its place is the copy.
    // Returns the link's path; empty when the day's copy exists already or no link could be
    // made, whereupon copyDailyFrom() copies the replaced file, kept open, after the save.
    // `expected` is the file the save replaces: a link to any other is taken back.
    QString linkDaily(const QDate &day, const TLogFileIdentity &expected);
    bool hasDaily(const QDate &day) const;
    // Copies the open `file` (a clone where the file system offers one) as the day's copy.
    // Throws QorLogError when no copy could be written.
    QString copyDailyFrom(const QFile &file, const QDate &day);
    // Copies a log that failed to load to "LOG.damaged-YYYYMMDD-HHMMSS" beside it (numbered on
    // within a second) so that the next save cannot destroy what it held, then removes the
    // oldest damaged copies beyond EventKept. Throws QorLogError.
    QString keepDamagedCopy();
    // Moves a sync tool's conflict copy of the log into the backups folder (it has been merged
    // and must not be merged again); returns its new path. Throws QorLogError.
    QString putAwayConflictCopy(const QString &copyPath, const QDateTime &now);

    // Every copy in both folders and the damaged copies beside the log, newest first.
    QList<TBackupInfo> backups() const;
    // The fallback folder's name for the log at `logPath` (its real path).
    static QString fallbackName(const QString &logPath);

    static QString fileName(TBackupInfo::Kind kind, const QDateTime &taken);
    // False when `name` is not one of the names above.
    static bool parseFileName(const QString &name, TBackupInfo &info);

    // False when `name` is not a damaged copy of the log named `logName`.
    static bool parseDamagedName(const QString &logName, const QString &name, TBackupInfo &info);

private:
    static QList<TBackupInfo> inFolder(const QString &folder);
    QList<TBackupInfo> damagedCopies() const;
    QString backUp(TBackupInfo::Kind kind, const QDateTime &taken);
    // Writes a new copy of `kind` with `fill` in the first folder that takes it.
    QString writeCopy(TBackupInfo::Kind kind, const QDateTime &taken, int mode,
                      const std::function<bool(int)> &fill);
    // Makes the folder (private for a private log); false when it cannot be made.
    bool makeFolder(const QString &folder) const;
    QString nameFor(const QString &folder, TBackupInfo::Kind kind, const QDateTime &taken) const;
    // Removes the oldest copies beyond those kept; `made` (the copy just made) stays.
    void prune(const QString &folder, const QString &made) const;
    void pruneDamaged() const;

    QString m_logPath;
    QString m_folder;
    QString m_fallback;
};
