#include "CapturedLogFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TCapturedLogFile::~TCapturedLogFile()
{
    close();
}

bool TCapturedLogFile::create(const QString &folder, const QString &name, int mode)
{
    close();
    const QString stem = name.endsWith(QLatin1String(".txt")) ? name.chopped(4) : name;
    for (int n = 1; n < 100; ++n) {
        const QString file =
            n == 1 ? stem + QLatin1String(".txt") : stem + QStringLiteral("-%1.txt").arg(n);
        const QString path = QDir(folder).filePath(file);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(mode));
        if (fd >= 0) {
            ::fchmod(fd, mode_t(mode)); // the umask takes nothing from the log's own bits
            m_fd = fd;
            m_path = path;
            m_sinceSync.start();
            return true;
        }
        if (errno != EEXIST) {
            m_error = QCoreApplication::translate("Capture", "%1 cannot be created: %2")
                          .arg(QDir::toNativeSeparators(path),
                               QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    m_error = QCoreApplication::translate("Capture", "%1 holds too many files of this name")
                  .arg(QDir::toNativeSeparators(folder));
    return false;
}

bool TCapturedLogFile::appendLine(QByteArrayView line)
{
    if (m_fd < 0)
        return false;
    QByteArray bytes(line.data(), line.size());
    bytes += "\r\n";
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t w = ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            m_error = QCoreApplication::translate("Capture", "%1 cannot be written: %2")
                          .arg(QDir::toNativeSeparators(m_path),
                               QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        done += w;
    }
    m_unsynced = true;
    syncIfDue();
    return true;
}

void TCapturedLogFile::syncIfDue()
{
    if (m_fd < 0 || !m_unsynced || m_sinceSync.elapsed() < SyncSeconds * 1000)
        return;
    ::fdatasync(m_fd);
    m_unsynced = false;
    m_sinceSync.start();
}

void TCapturedLogFile::close(bool remove)
{
    if (m_fd < 0)
        return;
    if (!remove)
        ::fsync(m_fd);
    ::close(m_fd);
    m_fd = -1;
    if (remove)
        QFile::remove(m_path);
}
