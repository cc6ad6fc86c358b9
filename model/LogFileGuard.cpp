#include "LogFileGuard.h"

#include "LogFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TLogFileGuard", text);
}

constexpr int DefaultSettleMs = 500;
// A save that finds the file replaced under it again and again gives up merging after this
// many attempts and writes what it has (the file was backed up before).
constexpr int SaveAttempts = 3;

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
}

void TLogFileGuard::adopt(const TChargeLog &log)
{
    m_base = log;
    m_identity = TLogFileIdentity::ofPath(m_path);
    watch();
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
    watch();
    if (TLogFileIdentity::ofPath(m_path) != m_identity)
        Q_EMIT outsideChange();
}

TOutsideChange TLogFileGuard::takeOutsideChange(TChargeLog &memory)
{
    TOutsideChange change;
    const TLogFileIdentity now = TLogFileIdentity::ofPath(m_path);
    if (now == m_identity)
        return change;
    m_identity = now;
    if (!now.Exists) {
        change.Type = TOutsideChange::Kind::Missing;
        return change;
    }
    TChargeLog disk;
    try {
        LogFile::LoadChargeLog(m_path, disk);
    } catch (const QorLogError &error) {
        // The base stays: memory is written over the replacement at the next save.
        change.Type = TOutsideChange::Kind::Damaged;
        QString where;
        try {
            where = tr("It has been kept as %1.").arg(LogFile::KeepDamagedCopy(m_path));
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
    change.Merge = LogMerge::MergeOutsideChange(m_base, disk, memory);
    // The identity read before the file was: should it have changed during the read, the
    // next look reads it again.
    m_base = std::move(disk);
    return change;
}

void TLogFileGuard::save(TChargeLog &log)
{
    for (int attempt = 1;; ++attempt) {
        const TOutsideChange change = takeOutsideChange(log);
        if (change.Type == TOutsideChange::Kind::Merged && !change.Merge.isEmpty()) {
            if (m_mergeApplier)
                m_mergeApplier(log, change.Merge);
            else
                LogMerge::ApplyMerge(log, change.Merge);
            Q_EMIT merged(change.Merge);
        } else if (change.Type == TOutsideChange::Kind::Damaged) {
            Q_EMIT damagedReplacementKept(change.Message);
        }
        backUpDaily();
        // The file must still be the one just looked at when the new one takes its place;
        // the time between this last look and the rename is the one moment in which another
        // program's change would be replaced unseen.
        const TLogFileIdentity expected = TLogFileIdentity::ofPath(m_path);
        TLogFileIdentity written;
        const bool lastAttempt = attempt >= SaveAttempts;
        const bool committed = LogFile::SaveChargeLog(m_path, log, [&](const QFileDevice &file) {
            if (m_beforeCommit)
                m_beforeCommit();
            if (!lastAttempt && TLogFileIdentity::ofPath(m_path) != expected)
                return false;
            written = TLogFileIdentity::ofOpenFile(file);
            return true;
        });
        if (!committed)
            continue;
        // A rename keeps the file's inode, size and modification time: what was measured on
        // the temporary file is what now lies under the log's name.
        m_identity = written;
        m_base = log;
        watch();
        return;
    }
}

void TLogFileGuard::backUpDaily()
{
    const QDate today = QDate::currentDate();
    if (m_backedUpOn == today)
        return;
    m_backedUpOn = today;
    try {
        m_backups.backUpDaily(today);
    } catch (const QorLogError &error) {
        reportBackupFailure(error.message());
    }
}

void TLogFileGuard::backUpBeforePurge()
{
    try {
        m_backups.backUpBeforePurge(QDateTime::currentDateTime());
    } catch (const QorLogError &error) {
        reportBackupFailure(error.message());
    }
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
    const auto charges = [](int n) { return n == 1 ? tr("1 charge") : tr("%1 charges").arg(n); };
    const int added = int(merge.Added.size());
    const int removed = int(merge.Removed.size());
    if (added > 0 && removed > 0)
        return tr("%1 added and %2 removed by another program").arg(charges(added)).arg(removed);
    if (added > 0)
        return tr("%1 added by another program").arg(charges(added));
    if (removed > 0)
        return tr("%1 removed by another program").arg(charges(removed));
    return QString();
}
