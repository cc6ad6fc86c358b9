#include "LogFileIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

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

namespace FilePaths {

QString resolved(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    // As the system follows links: at most 40 of them.
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            break;
        const QString target = info.symLinkTarget();
        if (target.isEmpty() || target == current)
            break;
        current = target;
    }
    const QFileInfo info(current);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QDir::cleanPath(current);
    return QDir(folder).filePath(info.fileName());
}

bool sameFile(const QString &a, const QString &b)
{
    const TLogFileIdentity first = TLogFileIdentity::ofPath(a);
    const TLogFileIdentity second = TLogFileIdentity::ofPath(b);
    if (first.Exists && second.Exists)
        return first.Device == second.Device && first.Inode == second.Inode;
    if (first.Exists != second.Exists)
        return false;
    return resolved(a) == resolved(b);
}

} // namespace FilePaths
