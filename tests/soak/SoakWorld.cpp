#include "SoakWorld.h"

#include "BackupStore.h"
#include "ChargeLog.h"
#include "LogFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace Soak {

namespace {

// Big enough for a year's log with its copies, small enough to fill in a moment.
const char *const TmpfsOptions = "size=96m,mode=0755";
const QString FillerName = QStringLiteral(".soak-filler");
const QString AsideName = QStringLiteral(".soak-aside");
const QFileDevice::Permissions LogMode =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString &error)
{
    const QString temporary = QFileInfo(path).absolutePath() + QStringLiteral("/.soak-writing");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.errorString();
        file.remove();
        return false;
    }
    file.setPermissions(LogMode);
    file.close();
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) !=
        0) {
        error = systemError();
        QFile::remove(temporary);
        return false;
    }
    return true;
}

void addCharges(TChargeLog &log, const QList<NewCharge> &added)
{
    for (const NewCharge &charge : added)
        log.StoreChargeRecord(-1, charge.dateTime, QStringLiteral("Mains"),
                              QStringLiteral("Outsider"), charge.battery, 1.0, charge.ampHours,
                              QStringLiteral("Normal"), charge.tag, QString());
    log.ChargeStringList.sortByDateTime();
}

// The permission bits of a regular file, or -1.
int modeOf(const QString &path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return int(st.st_mode & 07777);
}

} // namespace

World::World(const QString &base, bool mayMount) : m_base(base), m_mayMount(mayMount) {}

World::~World()
{
    freeDisk();
    QString ignored;
    if (m_readOnly)
        setReadOnly(false, ignored);
    if (m_mounted)
        ::umount2(QFile::encodeName(logDir()).constData(), MNT_DETACH);
}

bool World::setUp(QString &error)
{
    QDir dir(m_base);
    for (const char *sub : {"logs", "data", "runtime", "runtime2", "data2", "csv"})
        dir.mkpath(QLatin1String(sub));
    QFile::setPermissions(m_base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(m_base + QStringLiteral("/runtime2"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (m_mayMount) {
        if (::mount("soak", QFile::encodeName(logDir()).constData(), "tmpfs", 0, TmpfsOptions) !=
            0) {
            error = QStringLiteral("cannot mount a tmpfs on %1: %2").arg(logDir(), systemError());
            return false;
        }
        m_mounted = true;
    }
    // The log starts empty, with a mode of its own that every copy must keep.
    TChargeLog empty;
    return writeFileAtomically(logPath(), LogFile::WriteChargeLog(empty), error);
}

bool World::fillDisk(QString &error)
{
    if (!m_mounted) {
        error = QStringLiteral("not root: no tmpfs of our own to fill");
        return false;
    }
    const QString path = logDir() + QLatin1Char('/') + FillerName;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) {
        error = systemError();
        return false;
    }
    struct statvfs fs = {};
    if (::fstatvfs(fd, &fs) == 0 && fs.f_bavail > 0)
        ::posix_fallocate(fd, 0, off_t(fs.f_bavail * fs.f_frsize));
    // Whatever is left, to the last byte.
    static const char block[4096] = {};
    for (size_t size = sizeof block; size > 0;)
        if (::write(fd, block, size) < 0)
            size /= 2;
    ::close(fd);
    m_full = true;
    return true;
}

void World::freeDisk()
{
    if (m_full)
        QFile::remove(logDir() + QLatin1Char('/') + FillerName);
    m_full = false;
}

bool World::setReadOnly(bool readOnly, QString &error)
{
    if (!m_mounted) {
        const QFileDevice::Permissions writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                  QFileDevice::ExeGroup;
        QFile::setPermissions(logDir(), readOnly ? writable & ~QFileDevice::WriteOwner : writable);
        m_readOnly = readOnly;
        return true;
    }
    // A remount fails while a file is open for writing there (a save under way): try again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::mount("soak", QFile::encodeName(logDir()).constData(), "tmpfs",
                    MS_REMOUNT | (readOnly ? MS_RDONLY : 0), TmpfsOptions) == 0) {
            m_readOnly = readOnly;
            return true;
        }
        if (errno != EBUSY)
            break;
        QThread::msleep(20);
    }
    error = QStringLiteral("cannot remount %1: %2").arg(logDir(), systemError());
    return false;
}

bool World::makeUnreadable(QString &error)
{
    const QByteArray log = QFile::encodeName(logPath());
    const QByteArray aside = QFile::encodeName(logDir() + QLatin1Char('/') + AsideName);
    if (::rename(log.constData(), aside.constData()) != 0) {
        error = QStringLiteral("cannot move the log aside: ") + systemError();
        return false;
    }
    if (::mkfifo(log.constData(), 0640) != 0) {
        error = QStringLiteral("cannot make a named pipe: ") + systemError();
        ::rename(aside.constData(), log.constData());
        return false;
    }
    m_unreadable = true;
    return true;
}

bool World::makeReadable(QString &error)
{
    const QByteArray log = QFile::encodeName(logPath());
    const QByteArray aside = QFile::encodeName(logDir() + QLatin1Char('/') + AsideName);
    struct stat st = {};
    const bool pipe = ::lstat(log.constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    m_unreadable = false;
    if (!pipe) {
        error = QStringLiteral("the unreadable log was replaced while it could not be read");
        return false;
    }
    if (::rename(aside.constData(), log.constData()) != 0) {
        error = QStringLiteral("cannot put the log back: ") + systemError();
        return false;
    }
    return true;
}

bool World::changeFile(const QList<NewCharge> &added, const QStringList &removed, bool inPlace,
                       QString &error)
{
    TChargeLog log;
    try {
        LogFile::LoadChargeLog(logPath(), log);
    } catch (const QorLogError &failure) {
        error = failure.message();
        return false;
    }
    log.ChargeStringList.removeIf([&removed](const TChargeEntry &entry) {
        const int star = entry.Text.indexOf(QLatin1Char('*'));
        return removed.contains(star < 0 ? entry.Text : entry.Text.mid(star + 1));
    });
    addCharges(log, added);
    const QByteArray bytes = LogFile::WriteChargeLog(log);
    if (!inPlace)
        return writeFileAtomically(logPath(), bytes, error);
    QFile file(logPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.errorString();
        return false;
    }
    return true;
}

QString World::makeConflictCopy(const QList<NewCharge> &added, QString &error)
{
    TChargeLog log;
    try {
        LogFile::LoadChargeLog(logPath(), log);
    } catch (const QorLogError &failure) {
        error = failure.message();
        return QString();
    }
    addCharges(log, added);
    const QString path =
        logDir() +
        QStringLiteral("/charges.sync-conflict-%1-SOAK%2.QorLog")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
            .arg(++m_conflicts, 3, 10, QLatin1Char('0'));
    return writeFileAtomically(path, LogFile::WriteChargeLog(log), error) ? path : QString();
}

QStringList World::checkCopies() const
{
    QStringList faults;
    const int logMode = modeOf(logPath());
    if (logMode < 0)
        return faults;
    if (logMode != 0640)
        faults.append(QStringLiteral("the log's mode changed to %1").arg(logMode, 0, 8));
    // A killed save's file goes at a later run's first save.
    if (const int stale = temporaryFiles(300))
        faults.append(QStringLiteral("%1 temporary files of killed saves are older than five "
                                     "minutes")
                          .arg(stale));
    const TBackupStore store(logPath(), fallbackParent());
    // Each folder keeps its own copies (the one beside the log, the fallback).
    QHash<QString, int> counts;
    for (const TBackupInfo &copy : store.backups()) {
        const int count =
            ++counts[QFileInfo(copy.Path).absolutePath() + QString::number(int(copy.Type))];
        const int limit = copy.Type == TBackupInfo::Kind::Daily ? TBackupStore::DailyKept
                                                                : TBackupStore::EventKept;
        if (count == limit + 1)
            faults.append(QStringLiteral("more than %1 copies of the kind of %2")
                              .arg(limit)
                              .arg(QFileInfo(copy.Path).fileName()));
        const QFileInfo info(copy.Path);
        if (info.isSymLink() || !info.isFile())
            faults.append(QStringLiteral("%1 is no regular file").arg(copy.Path));
        else if (modeOf(copy.Path) != logMode)
            faults.append(QStringLiteral("%1 has the mode %2, the log %3")
                              .arg(copy.Path)
                              .arg(modeOf(copy.Path), 0, 8)
                              .arg(logMode, 0, 8));
    }
    return faults;
}

int World::temporaryFiles(int olderThanSeconds) const
{
    static const QRegularExpression saveFile(QStringLiteral("^charges\\.QorLog\\.[A-Za-z0-9]{6}$"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-olderThanSeconds);
    // A kill after the whole file was written leaves a whole log, which QorLog leaves alone
    // (it cannot tell it from a copy of the user's own); one cut short must go.
    const auto cutShort = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) && !f.readAll().contains("</QorInsight");
    };
    int count = 0;
    for (const QFileInfo &file : QDir(logDir()).entryInfoList(QDir::Files | QDir::Hidden))
        if (saveFile.match(file.fileName()).hasMatch() && file.lastModified() < before &&
            cutShort(file.filePath()))
            ++count;
    return count;
}

void World::keepFiles() const
{
    QDir(m_base).mkpath(QStringLiteral("kept"));
    QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), logDir() + QStringLiteral("/."),
                                             m_base + QStringLiteral("/kept/")});
    QFile::remove(m_base + QStringLiteral("/kept/") + FillerName);
}

} // namespace Soak
