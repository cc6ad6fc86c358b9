#include "LogFileIdentity.h"

#include <QFile>
#include <QFileDevice>

#include <sys/stat.h>

namespace {

TLogFileIdentity fromStat(const struct stat &st)
{
    TLogFileIdentity identity;
    identity.Exists = true;
    identity.Device = quint64(st.st_dev);
    identity.Inode = quint64(st.st_ino);
    identity.Size = qint64(st.st_size);
    identity.ModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + qint64(st.st_mtim.tv_nsec);
    return identity;
}

} // namespace

TLogFileIdentity TLogFileIdentity::ofPath(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return fromStat(st);
}

TLogFileIdentity TLogFileIdentity::ofOpenFile(const QFileDevice &file)
{
    struct stat st;
    const int fd = file.handle();
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return {};
    return fromStat(st);
}

bool operator==(const TLogFileIdentity &a, const TLogFileIdentity &b)
{
    if (!a.Exists || !b.Exists)
        return a.Exists == b.Exists;
    return a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size &&
           a.ModifiedNs == b.ModifiedNs;
}
