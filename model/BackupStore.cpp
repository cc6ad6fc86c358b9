#include "BackupStore.h"

#include "ConstantsAndTypes.h"
#include "LogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TBackupStore", text);
}

const QString Extension = QStringLiteral(".QorLog");

QString suffixOf(TBackupInfo::Kind kind)
{
    switch (kind) {
    case TBackupInfo::Kind::BeforePurge:
        return QStringLiteral("-before-purge");
    case TBackupInfo::Kind::BeforeRestore:
        return QStringLiteral("-before-restore");
    case TBackupInfo::Kind::ConflictCopy:
        return QStringLiteral("-conflict-copy");
    case TBackupInfo::Kind::Daily:
    case TBackupInfo::Kind::Damaged:
        break;
    }
    return QString();
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

// The permissions of the log, or -1 when it cannot be looked at.
int modeOf(const QString &path)
{
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Copies the bytes of the open `from` to the end of `to`: inside the kernel where the file
// system allows it, else through a buffer. False when a read or a write fails.
bool copyContent(int from, int to)
{
    loff_t in = 0;
    bool inKernel = true;
    QByteArray buffer;
    for (;;) {
        if (inKernel) {
            const ssize_t n = ::copy_file_range(from, &in, to, nullptr, 1 << 30, 0);
            if (n > 0)
                continue;
            if (n == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL &&
                errno != EPERM)
                return false;
            inKernel = false;
        }
        buffer.resize(1 << 20);
        const ssize_t n = ::pread(from, buffer.data(), size_t(buffer.size()), in);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer.constData() + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
        in += n;
    }
}

// Writes a copy of the open file `from` as `to`, atomically (`to` appears whole or not at all),
// with the permissions `mode`: a clone sharing the blocks where the file system offers one,
// else the bytes copied.
void copyAtomically(int from, const QString &to, int mode)
{
    QSaveFile copy(to);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw QorLogError(copy.errorString());
    if (::ioctl(copy.handle(), FICLONE, from) != 0 && !copyContent(from, copy.handle()))
        throw QorLogError(qt_error_string(errno));
    if (mode >= 0 && ::fchmod(copy.handle(), mode_t(mode)) != 0)
        throw QorLogError(qt_error_string(errno));
    if (!copy.commit())
        throw QorLogError(copy.errorString());
}

void copyAtomically(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw QorLogError(source.errorString());
    copyAtomically(source.handle(), to, modeOf(from));
}

} // namespace

TBackupStore::TBackupStore(const QString &logPath, const QString &fallbackParent)
    : m_logPath(logPath)
{
    const QFileInfo log(logPath);
    const QString name = log.fileName() + QStringLiteral("-backups");
    m_folder = log.absoluteDir().filePath(name);
    m_fallback = fallbackParent.isEmpty() ? QString() : QDir(fallbackParent).filePath(name);
}

QString TBackupStore::fileName(TBackupInfo::Kind kind, const QDateTime &taken)
{
    if (kind == TBackupInfo::Kind::Daily)
        return taken.date().toString(QStringLiteral("yyyy-MM-dd")) + Extension;
    return taken.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) + suffixOf(kind) + Extension;
}

bool TBackupStore::parseFileName(const QString &name, TBackupInfo &info)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{4}-\d{2}-\d{2})(?:-(\d{6})-(before-purge|before-restore|conflict-copy))?\.QorLog$)"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return false;
    const QDate date = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return false;
    if (match.captured(2).isEmpty()) {
        info.Type = TBackupInfo::Kind::Daily;
        info.Taken = QDateTime(date, QTime(0, 0));
        return true;
    }
    const QTime time = QTime::fromString(match.captured(2), QStringLiteral("HHmmss"));
    if (!time.isValid())
        return false;
    info.Type = match.captured(3) == QLatin1String("before-purge") ? TBackupInfo::Kind::BeforePurge
                : match.captured(3) == QLatin1String("before-restore")
                    ? TBackupInfo::Kind::BeforeRestore
                    : TBackupInfo::Kind::ConflictCopy;
    info.Taken = QDateTime(date, time);
    return true;
}

bool TBackupStore::parseDamagedName(const QString &logName, const QString &name, TBackupInfo &info)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\.damaged-(\d{8})-(\d{6})(?:-\d+)?$)"));
    if (!name.startsWith(logName))
        return false;
    const QRegularExpressionMatch match = pattern.match(QStringView(name).mid(logName.size()));
    if (!match.hasMatch())
        return false;
    const QDateTime taken = QDateTime::fromString(match.captured(1) + match.captured(2),
                                                  QStringLiteral("yyyyMMddHHmmss"));
    if (!taken.isValid())
        return false;
    info.Type = TBackupInfo::Kind::Damaged;
    info.Taken = taken;
    return true;
}

bool TBackupStore::hasDaily(const QDate &day) const
{
    const QString name = fileName(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0)));
    // One copy a day, wherever it went: the first save of the day has made it already.
    for (const QString &folder : {m_folder, m_fallback})
        if (!folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(name)))
            return true;
    return false;
}

QString TBackupStore::backUpDaily(const QDate &day)
{
    if (hasDaily(day))
        return QString();
    return backUp(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0)));
}

QString TBackupStore::linkDaily(const QDate &day, const TLogFileIdentity &expected)
{
    if (!expected.Exists || hasDaily(day) || !makeFolder(m_folder))
        return QString();
    const QString path =
        QDir(m_folder).filePath(fileName(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0))));
    if (::link(nativePath(m_logPath).constData(), nativePath(path).constData()) != 0)
        return QString(); // another file system, or one without links: copied after the save
    // The name may have been given to another file in between: then this is no copy of the
    // file the save replaces.
    TLogFileIdentity linked = TLogFileIdentity::ofPath(path);
    if (linked != expected) {
        QFile::remove(path);
        return QString();
    }
    prune(m_folder);
    return path;
}

QString TBackupStore::copyDailyFrom(const QFile &file, const QDate &day)
{
    if (hasDaily(day))
        return QString();
    const QDateTime taken(day, QTime(0, 0));
    struct stat st;
    const int mode = ::fstat(file.handle(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    QString failure;
    for (const QString &folder : {m_folder, m_fallback}) {
        if (folder.isEmpty())
            continue;
        if (!makeFolder(folder)) {
            failure = tr("the folder %1 cannot be made").arg(folder);
            continue;
        }
        const QString path = QDir(folder).filePath(fileName(TBackupInfo::Kind::Daily, taken));
        try {
            copyAtomically(file.handle(), path, mode);
        } catch (const QorLogError &error) {
            failure = QStringLiteral("%1: %2").arg(path, error.message());
            continue;
        }
        prune(folder);
        return path;
    }
    throw QorLogError(
        tr("The backup of the log file %1 could not be written (%2)").arg(m_logPath, failure));
}

QString TBackupStore::keepDamagedCopy()
{
    const QString copy = LogFile::KeepDamagedCopy(m_logPath);
    pruneDamaged();
    return copy;
}

QString TBackupStore::putAwayConflictCopy(const QString &copyPath, const QDateTime &now)
{
    QString failure;
    for (const QString &folder : {m_folder, m_fallback}) {
        if (folder.isEmpty())
            continue;
        if (!makeFolder(folder)) {
            failure = tr("the folder %1 cannot be made").arg(folder);
            continue;
        }
        const QString path = nameFor(folder, TBackupInfo::Kind::ConflictCopy, now);
        // The same file system: moved under its new name. Another one: copied, then removed.
        if (::rename(nativePath(copyPath).constData(), nativePath(path).constData()) != 0) {
            try {
                copyAtomically(copyPath, path);
            } catch (const QorLogError &error) {
                failure = QStringLiteral("%1: %2").arg(path, error.message());
                continue;
            }
            if (!QFile::remove(copyPath)) {
                QFile::remove(path);
                failure = tr("%1 cannot be removed").arg(copyPath);
                continue;
            }
        }
        prune(folder);
        return path;
    }
    throw QorLogError(
        tr("The conflict copy %1 could not be moved to the backups (%2)").arg(copyPath, failure));
}

bool TBackupStore::makeFolder(const QString &folder) const
{
    if (!QDir().mkpath(folder))
        return false;
    // A log nobody else may read gets backups nobody else may list or read.
    const int mode = modeOf(m_logPath);
    if (mode >= 0 && (mode & 077) == 0) {
        struct stat st;
        if (::stat(nativePath(folder).constData(), &st) == 0 && (st.st_mode & 077) != 0 &&
            st.st_uid == ::geteuid())
            ::chmod(nativePath(folder).constData(), 0700);
    }
    return true;
}

QString TBackupStore::nameFor(const QString &folder, TBackupInfo::Kind kind,
                              const QDateTime &taken) const
{
    // Two copies of one kind in the same second must not replace each other: a copy is
    // named at least a second after the newest of its kind.
    QDateTime stamp = taken;
    if (kind != TBackupInfo::Kind::Daily) {
        for (const TBackupInfo &info : inFolder(folder))
            if (info.Type == kind && info.Taken >= stamp)
                stamp = info.Taken.addSecs(1);
    }
    return QDir(folder).filePath(fileName(kind, stamp));
}

QString TBackupStore::backUpBeforePurge(const QDateTime &now)
{
    return backUp(TBackupInfo::Kind::BeforePurge, now);
}

QString TBackupStore::backUpBeforeRestore(const QDateTime &now)
{
    return backUp(TBackupInfo::Kind::BeforeRestore, now);
}

QString TBackupStore::backUp(TBackupInfo::Kind kind, const QDateTime &taken)
{
    if (!QFileInfo::exists(m_logPath))
        return QString();
    QString failure;
    for (const QString &folder : {m_folder, m_fallback}) {
        if (folder.isEmpty())
            continue;
        if (!makeFolder(folder)) {
            failure = tr("the folder %1 cannot be made").arg(folder);
            continue;
        }
        const QString path = nameFor(folder, kind, taken);
        try {
            copyAtomically(m_logPath, path);
        } catch (const QorLogError &error) {
            failure = QStringLiteral("%1: %2").arg(path, error.message());
            continue;
        }
        prune(folder);
        return path;
    }
    throw QorLogError(
        tr("The backup of the log file %1 could not be written (%2)").arg(m_logPath, failure));
}

QList<TBackupInfo> TBackupStore::inFolder(const QString &folder)
{
    QList<TBackupInfo> found;
    if (folder.isEmpty())
        return found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.QorLog")}, QDir::Files)) {
        TBackupInfo info;
        if (!parseFileName(name, info))
            continue;
        info.Path = dir.filePath(name);
        found.append(info);
    }
    return found;
}

QList<TBackupInfo> TBackupStore::backups() const
{
    QList<TBackupInfo> found = inFolder(m_folder);
    if (m_fallback != m_folder)
        found += inFolder(m_fallback);
    found += damagedCopies();
    // Newest first; on the same day the copy made at a moment comes before the daily one,
    // which holds the log as it was at the day's start.
    std::stable_sort(found.begin(), found.end(),
                     [](const TBackupInfo &a, const TBackupInfo &b) { return a.Taken > b.Taken; });
    return found;
}

QList<TBackupInfo> TBackupStore::damagedCopies() const
{
    QList<TBackupInfo> found;
    const QFileInfo log(m_logPath);
    const QDir dir = log.absoluteDir();
    const QString logName = log.fileName();
    for (const QString &name :
         dir.entryList({logName + QStringLiteral(".damaged-*")}, QDir::Files | QDir::Hidden)) {
        TBackupInfo info;
        if (!parseDamagedName(logName, name, info))
            continue;
        info.Path = dir.filePath(name);
        found.append(info);
    }
    return found;
}

void TBackupStore::pruneDamaged() const
{
    QList<TBackupInfo> all = damagedCopies();
    // Newest first; copies of the same second by their number.
    std::sort(all.begin(), all.end(), [](const TBackupInfo &a, const TBackupInfo &b) {
        if (a.Taken != b.Taken)
            return a.Taken > b.Taken;
        return a.Path.size() != b.Path.size() ? a.Path.size() > b.Path.size() : a.Path > b.Path;
    });
    for (int i = EventKept; i < all.size(); ++i)
        QFile::remove(all.at(i).Path);
}

void TBackupStore::prune(const QString &folder) const
{
    const QList<TBackupInfo> all = inFolder(folder);
    for (TBackupInfo::Kind kind :
         {TBackupInfo::Kind::Daily, TBackupInfo::Kind::BeforePurge,
          TBackupInfo::Kind::BeforeRestore, TBackupInfo::Kind::ConflictCopy}) {
        QStringList paths;
        for (const TBackupInfo &info : all)
            if (info.Type == kind)
                paths.append(info.Path);
        // The names sort by their date and time.
        std::sort(paths.begin(), paths.end(), std::greater<QString>());
        const int kept = kind == TBackupInfo::Kind::Daily ? DailyKept : EventKept;
        for (int i = kept; i < paths.size(); ++i)
            QFile::remove(paths.at(i));
    }
}
