#include "BackupStore.h"

#include "ChargeLog.h"
#include "ConstantsAndTypes.h"
#include "LogFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

#include <cerrno>
#include <cstdio>
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
    case TBackupInfo::Kind::BeforeMerge:
        return QStringLiteral("-before-merge");
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

// A clone sharing the blocks where the file system offers one, else the bytes copied.
std::function<bool(int)> copyOf(int from)
{
    return [from](int to) { return ::ioctl(to, FICLONE, from) == 0 || copyContent(from, to); };
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += w;
    }
    return true;
}

// Gives `from` the name `to` unless something holds that name already (EEXIST then). Neither
// replaces nor follows whatever is there, a link included.
int renameNew(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // A file system without that kind of rename: a second name, then the first one goes.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Nor links (some network and removable file systems): looked at, then renamed.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

enum class Written
{
    Done,
    NameTaken,
    Failed
};

// Writes a new file `path` with `fill` and the permissions `mode`: made under a name of its own
// (created exclusively, never through a link), synced, then given its name unless something
// holds that name already. The file appears whole or not at all and replaces nothing.
Written writeNew(const QString &path, int mode, const std::function<bool(int)> &fill,
                 QString &error)
{
    const QByteArray target = nativePath(path);
    const QByteArray temporary =
        target + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    const int fd =
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = qt_error_string(errno);
        return Written::Failed;
    }
    const bool written =
        fill(fd) && (mode < 0 || ::fchmod(fd, mode_t(mode)) == 0) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    if (::close(fd) != 0 || !written) {
        error = qt_error_string(written ? errno : writeErrno);
        ::unlink(temporary.constData());
        return Written::Failed;
    }
    const int result = renameNew(temporary, target);
    if (result == 0)
        return Written::Done;
    ::unlink(temporary.constData());
    if (result == EEXIST)
        return Written::NameTaken;
    error = qt_error_string(result);
    return Written::Failed;
}

// Whether `path` is a regular file (a link to one is not).
bool isRegularFile(const QString &path)
{
    struct stat st;
    return ::lstat(nativePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Removes what holds a copy's name and is no copy: a link (never what it points to).
bool removeLink(const QString &path)
{
    struct stat st;
    const QByteArray native = nativePath(path);
    return ::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode) &&
           ::unlink(native.constData()) == 0;
}

// Opens the file at `path` for a copy: without waiting (a named pipe in the log's place would
// wait for a writer) and only when it is a regular file. False with the reason in `error`.
bool openRegular(QFile &file, const QString &path, QString &error)
{
    const int fd =
        ::open(nativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = qt_error_string(errno);
        return false;
    }
    struct stat st;
    const bool looked = ::fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        error = looked ? tr("it is not a regular file") : qt_error_string(errno);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = file.errorString();
        return false;
    }
    return true;
}

// Copies made at an instant are named at least a second after the newest of their kind, and
// on by a second while a name is taken.
constexpr int NameAttempts = 100;

} // namespace

TBackupStore::TBackupStore(const QString &logPath, const QString &fallbackParent)
    : m_logPath(logPath)
{
    const QFileInfo log(logPath);
    m_folder = log.absoluteDir().filePath(log.fileName() + QStringLiteral("-backups"));
    m_fallback = fallbackParent.isEmpty()
                     ? QString()
                     : QDir(fallbackParent).filePath(fallbackName(log.absoluteFilePath()));
}

QString TBackupStore::fallbackName(const QString &logPath)
{
    const QByteArray hash =
        QCryptographicHash::hash(nativePath(logPath), QCryptographicHash::Sha256).toHex().left(8);
    return QFileInfo(logPath).fileName() + QStringLiteral("-backups-") + QString::fromLatin1(hash);
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
        R"(^(\d{4}-\d{2}-\d{2})(?:-(\d{6})-(before-purge|before-restore|before-merge|conflict-copy))?\.QorLog$)"));
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
    const QString kind = match.captured(3);
    info.Type = kind == QLatin1String("before-purge")     ? TBackupInfo::Kind::BeforePurge
                : kind == QLatin1String("before-restore") ? TBackupInfo::Kind::BeforeRestore
                : kind == QLatin1String("before-merge")   ? TBackupInfo::Kind::BeforeMerge
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
        if (!folder.isEmpty() && isRegularFile(QDir(folder).filePath(name)))
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
    // A second name of the log's own file, never of a link to it.
    if (!expected.Exists || !isRegularFile(m_logPath) || hasDaily(day) || !makeFolder(m_folder))
        return QString();
    const QString path =
        QDir(m_folder).filePath(fileName(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0))));
    removeLink(path);
    // A hard link is made under a name nothing holds; it neither replaces nor follows.
    if (::link(nativePath(m_logPath).constData(), nativePath(path).constData()) != 0)
        return QString(); // another file system, or one without links: copied after the save
    // The name may have been given to another file in between: then this is no copy of the
    // file the save replaces.
    TLogFileIdentity linked = TLogFileIdentity::ofPath(path);
    if (linked != expected) {
        QFile::remove(path);
        return QString();
    }
    prune(m_folder, path);
    return path;
}

QString TBackupStore::copyDailyFrom(const QFile &file, const QDate &day)
{
    if (hasDaily(day))
        return QString();
    struct stat st;
    const int mode = ::fstat(file.handle(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    return writeCopy(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0)), mode,
                     copyOf(file.handle()));
}

QString TBackupStore::writeCopy(TBackupInfo::Kind kind, const QDateTime &taken, int mode,
                                const std::function<bool(int)> &fill)
{
    QString failure;
    for (const QString &folder : {m_folder, m_fallback}) {
        if (folder.isEmpty())
            continue;
        if (!makeFolder(folder)) {
            failure = tr("the folder %1 cannot be made").arg(folder);
            continue;
        }
        QString path = nameFor(folder, kind, taken);
        for (int attempt = 0; attempt < NameAttempts; ++attempt) {
            QString error;
            const Written written = writeNew(path, mode, fill, error);
            if (written == Written::Done) {
                prune(folder, path);
                return path;
            }
            if (written == Written::Failed) {
                failure = QStringLiteral("%1: %2").arg(path, error);
                break;
            }
            // The name is taken. A link planted under it goes; a day's copy made meanwhile
            // is that day's copy; a copy of a moment is named a second later.
            if (removeLink(path))
                continue;
            if (kind == TBackupInfo::Kind::Daily) {
                if (isRegularFile(path))
                    return QString();
                failure = tr("%1 is taken by something that is no backup").arg(path);
                break;
            }
            TBackupInfo info;
            parseFileName(QFileInfo(path).fileName(), info);
            path = QDir(folder).filePath(fileName(kind, info.Taken.addSecs(1)));
        }
    }
    throw QorLogError(
        tr("The backup of the log file %1 could not be written (%2)").arg(m_logPath, failure));
}

QString TBackupStore::keepDamagedCopy()
{
    QFile source;
    QString reason;
    if (!openRegular(source, m_logPath, reason))
        throw QorLogError(
            tr("A copy of the damaged log file %1 could not be made: %2").arg(m_logPath, reason));
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString name = m_logPath + QStringLiteral(".damaged-") + stamp;
    // Copies of the same second are numbered on from the highest number there: a number freed
    // by removing old copies is not given to a newer one.
    const QFileInfo info(name);
    int highest = QFileInfo(name).exists() || QFileInfo(name).isSymLink() ? 1 : 0;
    for (const QString &other : info.absoluteDir().entryList(
             {info.fileName() + QStringLiteral("-*")}, QDir::Files | QDir::System | QDir::Hidden))
        highest = qMax(highest, other.mid(info.fileName().size() + 1).toInt());
    QString error;
    // Whoever may not read the log may not read its copy either.
    const int mode = modeOf(m_logPath);
    for (int attempt = 0; attempt < NameAttempts; ++attempt, ++highest) {
        const QString copy =
            highest > 0 ? name + QLatin1Char('-') + QString::number(highest + 1) : name;
        const Written written = writeNew(copy, mode, copyOf(source.handle()), error);
        if (written == Written::Done) {
            pruneDamaged();
            return copy;
        }
        if (written == Written::Failed)
            break;
        error = tr("the name is taken");
    }
    throw QorLogError(
        tr("A copy of the damaged log file %1 could not be made: %2").arg(m_logPath, error));
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
        QString path = nameFor(folder, TBackupInfo::Kind::ConflictCopy, now);
        for (int attempt = 0; attempt < NameAttempts; ++attempt) {
            // The same file system: moved under its new name, which nothing may hold yet.
            const int moved = renameNew(nativePath(copyPath), nativePath(path));
            if (moved == 0) {
                prune(folder, path);
                return path;
            }
            if (moved == EEXIST) {
                removeLink(path);
                path = QDir(folder).filePath(
                    fileName(TBackupInfo::Kind::ConflictCopy, now.addSecs(attempt + 1)));
                continue;
            }
            if (moved != EXDEV) {
                failure = QStringLiteral("%1: %2").arg(path, qt_error_string(moved));
                break;
            }
            // Another file system: copied, then removed.
            QFile source(copyPath);
            if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
                failure = QStringLiteral("%1: %2").arg(copyPath, source.errorString());
                break;
            }
            path = writeCopy(TBackupInfo::Kind::ConflictCopy, now, modeOf(copyPath),
                             copyOf(source.handle()));
            if (!QFile::remove(copyPath)) {
                QFile::remove(path);
                failure = tr("%1 cannot be removed").arg(copyPath);
                break;
            }
            return path;
        }
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

QString TBackupStore::backUpBeforeMerge(const QDateTime &now)
{
    return backUp(TBackupInfo::Kind::BeforeMerge, now);
}

QString TBackupStore::keepBeforeMerge(const TChargeLog &log, const QDateTime &now)
{
    TChargeLog copy = log; // shares the entries; the writer only sorts what is not sorted yet
    const QByteArray bytes = LogFile::WriteChargeLog(copy);
    return writeCopy(TBackupInfo::Kind::BeforeMerge, now, modeOf(m_logPath),
                     [&bytes](int fd) { return writeAll(fd, bytes); });
}

QString TBackupStore::backUp(TBackupInfo::Kind kind, const QDateTime &taken)
{
    if (!QFileInfo::exists(m_logPath))
        return QString();
    QFile source;
    QString reason;
    if (!openRegular(source, m_logPath, reason))
        throw QorLogError(
            tr("The backup of the log file %1 could not be written (%2)").arg(m_logPath, reason));
    return writeCopy(kind, taken, modeOf(m_logPath), copyOf(source.handle()));
}

QList<TBackupInfo> TBackupStore::inFolder(const QString &folder)
{
    QList<TBackupInfo> found;
    if (folder.isEmpty())
        return found;
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList({QStringLiteral("*.QorLog")}, QDir::Files | QDir::NoSymLinks)) {
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
    for (const QString &name : dir.entryList({logName + QStringLiteral(".damaged-*")},
                                             QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
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

void TBackupStore::prune(const QString &folder, const QString &made) const
{
    const QList<TBackupInfo> all = inFolder(folder);
    for (TBackupInfo::Kind kind :
         {TBackupInfo::Kind::Daily, TBackupInfo::Kind::BeforePurge,
          TBackupInfo::Kind::BeforeRestore, TBackupInfo::Kind::ConflictCopy,
          TBackupInfo::Kind::BeforeMerge}) {
        QStringList paths;
        for (const TBackupInfo &info : all)
            if (info.Type == kind && info.Path != made)
                paths.append(info.Path);
        // The names sort by their date and time. The copy just made is kept whatever its
        // date (a clock set back gives it an older one than the newest there).
        std::sort(paths.begin(), paths.end(), std::greater<QString>());
        int kept = kind == TBackupInfo::Kind::Daily ? DailyKept : EventKept;
        for (const TBackupInfo &info : all)
            kept -= info.Type == kind && info.Path == made ? 1 : 0;
        for (int i = qMax(0, kept); i < paths.size(); ++i)
            QFile::remove(paths.at(i));
    }
}
