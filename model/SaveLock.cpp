#include "SaveLock.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(512) : QByteArray();
}

} // namespace

TSaveLock::TSaveLock(QString path, int staleMs) : m_path(std::move(path)), m_staleMs(staleMs) {}

TSaveLock::~TSaveLock()
{
    unlock();
}

TSaveLock::Result TSaveLock::tryLock()
{
    if (m_locked)
        return Result::Locked;
    const QByteArray path = nativePath(m_path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const QByteArray content = QByteArray::number(qint64(::getpid())) + ' ' +
                                       QSysInfo::machineHostName().toUtf8() + '\n';
            const bool written =
                ::write(fd, content.constData(), size_t(content.size())) == ssize_t(content.size());
            struct stat st;
            const bool known = ::fstat(fd, &st) == 0;
            ::close(fd);
            if (!written || !known) {
                m_error = qt_error_string(errno);
                ::unlink(path.constData());
                return Result::Failed;
            }
            m_mine = TLogFileIdentity::ofPath(m_path);
            m_locked = true;
            return Result::Locked;
        }
        if (errno != EEXIST) {
            m_error = qt_error_string(errno);
            return Result::Failed;
        }
        if (!removeIfStale())
            return Result::Busy;
    }
    return Result::Busy;
}

void TSaveLock::unlock()
{
    if (!m_locked)
        return;
    m_locked = false;
    // Only this object's own lock file goes: had it been taken for stale and replaced, the
    // new holder's stays.
    if (TLogFileIdentity::ofPath(m_path) == m_mine)
        ::unlink(nativePath(m_path).constData());
}

QString TSaveLock::holder() const
{
    return QString::fromUtf8(contentOf(m_path)).trimmed();
}

bool TSaveLock::removeIfStale()
{
    const TLogFileIdentity found = TLogFileIdentity::ofPath(m_path);
    if (!found.Exists)
        return true; // gone meanwhile: try again
    const QList<QByteArray> parts = contentOf(m_path).trimmed().split(' ');
    const qint64 pid = parts.value(0).toLongLong();
    const bool here =
        parts.size() == 2 && QString::fromUtf8(parts.at(1)) == QSysInfo::machineHostName();
    bool stale = false;
    if (here && pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
        stale = true;
    } else {
        const qint64 ageMs = QDateTime::currentMSecsSinceEpoch() - found.ModifiedNs / 1000000;
        stale = qAbs(ageMs) > m_staleMs;
    }
    if (!stale)
        return false;
    // Moved aside under a name of its own rather than deleted: should another QorLog have
    // removed it and made its own in between, the one moved is not the one judged stale, and
    // it is put back.
    const QByteArray aside = nativePath(
        m_path +
        QStringLiteral(".stale-%1-%2").arg(::getpid()).arg(QRandomGenerator::global()->generate()));
    if (::rename(nativePath(m_path).constData(), aside.constData()) != 0)
        return errno == ENOENT;
    struct stat st;
    const bool same = ::stat(aside.constData(), &st) == 0 && quint64(st.st_ino) == found.Inode &&
                      quint64(st.st_dev) == found.Device;
    if (!same)
        ::link(aside.constData(), nativePath(m_path).constData());
    ::unlink(aside.constData());
    return same;
}
