#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// One copy of the log kept by TBackupStore.
struct TBackupInfo
{
    enum class Kind
    {
        Daily,        // YYYY-MM-DD.QorLog: the log before the first save of that day
        BeforePurge,  // YYYY-MM-DD-HHMMSS-before-purge.QorLog: before the purge at close
        BeforeRestore // YYYY-MM-DD-HHMMSS-before-restore.QorLog: before a backup replaced it
    };
    QString Path;
    Kind Type = Kind::Daily;
    QDateTime Taken; // the date (midnight for a daily copy) and time in the name
};

// Copies of the log file in "NAME.QorLog-backups" beside it, or in the same folder under the
// user's data folder when the log's folder cannot be written. Every copy is written atomically;
// the newest DailyKept daily copies and the newest EventKept copies of each other kind are kept.
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

    // Every copy in both folders, newest first.
    QList<TBackupInfo> backups() const;

    static QString fileName(TBackupInfo::Kind kind, const QDateTime &taken);
    // False when `name` is not one of the names above.
    static bool parseFileName(const QString &name, TBackupInfo &info);

private:
    static QList<TBackupInfo> inFolder(const QString &folder);
    QString backUp(TBackupInfo::Kind kind, const QDateTime &taken);
    void prune(const QString &folder) const;

    QString m_logPath;
    QString m_folder;
    QString m_fallback;
};
