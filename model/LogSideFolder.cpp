#include "LogSideFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

TLogSideFolder::TLogSideFolder(const QString &logPath, const QString &suffix,
                               const QString &fallbackParent)
{
    QFileInfo log(logPath);
    if (log.isSymLink())
        log = QFileInfo(log.canonicalFilePath().isEmpty() ? log.symLinkTarget()
                                                          : log.canonicalFilePath());
    const QString name = log.fileName() + suffix;
    beside = log.absoluteDir().filePath(name);
    if (!fallbackParent.isEmpty()) {
        const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(log.absoluteFilePath()),
                                                         QCryptographicHash::Sha256)
                                    .toHex()
                                    .left(8);
        fallback =
            QDir(fallbackParent).filePath(name + QLatin1Char('-') + QString::fromLatin1(hash));
    }
    struct stat st;
    if (::stat(QFile::encodeName(log.absoluteFilePath()).constData(), &st) == 0)
        m_logMode = int(st.st_mode & 0777);
}

QString TLogSideFolder::make() const
{
    for (const QString &folder : {beside, fallback}) {
        if (folder.isEmpty() || !QDir().mkpath(folder))
            continue;
        const QByteArray native = QFile::encodeName(folder);
        if (::access(native.constData(), W_OK | X_OK) != 0)
            continue;
        struct stat st;
        if (m_logMode >= 0 && (m_logMode & 077) == 0 && ::stat(native.constData(), &st) == 0 &&
            (st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
            ::chmod(native.constData(), 0700);
        return folder;
    }
    return QString();
}
