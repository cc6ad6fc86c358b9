#include "BackupStore.h"

#include "ConstantsAndTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

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
    case TBackupInfo::Kind::Daily:
        break;
    }
    return QString();
}

// Writes a copy of `from` as `to`, atomically: `to` appears whole or not at all.
void copyAtomically(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw QorLogError(source.errorString());
    QSaveFile copy(to);
    // Unbuffered, so that a write that stops short (a full disk) fails here, not unnoticed in
    // the commit.
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw QorLogError(copy.errorString());
    // Small pieces: a copy of a big log takes no more memory than one of a small log.
    QByteArray piece;
    while (!(piece = source.read(64 * 1024)).isEmpty()) {
        qint64 written = 0;
        while (written < piece.size()) {
            const qint64 n = copy.write(piece.constData() + written, piece.size() - written);
            if (n <= 0)
                throw QorLogError(copy.errorString());
            written += n;
        }
    }
    if (source.error() != QFileDevice::NoError)
        throw QorLogError(source.errorString());
    if (!copy.commit())
        throw QorLogError(copy.errorString());
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
        R"(^(\d{4}-\d{2}-\d{2})(?:-(\d{6})-(before-purge|before-restore))?\.QorLog$)"));
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
    info.Type = match.captured(3) == QLatin1String("before-purge")
                    ? TBackupInfo::Kind::BeforePurge
                    : TBackupInfo::Kind::BeforeRestore;
    info.Taken = QDateTime(date, time);
    return true;
}

QString TBackupStore::backUpDaily(const QDate &day)
{
    const QString name = fileName(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0)));
    // One copy a day, wherever it went: the first save of the day has made it already.
    for (const QString &folder : {m_folder, m_fallback})
        if (!folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(name)))
            return QString();
    return backUp(TBackupInfo::Kind::Daily, QDateTime(day, QTime(0, 0)));
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
        if (!QDir().mkpath(folder)) {
            failure = tr("the folder %1 cannot be made").arg(folder);
            continue;
        }
        // Two copies of one kind in the same second must not replace each other: a copy is
        // named at least a second after the newest of its kind.
        QDateTime stamp = taken;
        if (kind != TBackupInfo::Kind::Daily) {
            for (const TBackupInfo &info : inFolder(folder))
                if (info.Type == kind && info.Taken >= stamp)
                    stamp = info.Taken.addSecs(1);
        }
        const QString path = QDir(folder).filePath(fileName(kind, stamp));
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
    // Newest first; on the same day the copy made at a moment comes before the daily one,
    // which holds the log as it was at the day's start.
    std::stable_sort(found.begin(), found.end(),
                     [](const TBackupInfo &a, const TBackupInfo &b) { return a.Taken > b.Taken; });
    return found;
}

void TBackupStore::prune(const QString &folder) const
{
    const QList<TBackupInfo> all = inFolder(folder);
    for (TBackupInfo::Kind kind : {TBackupInfo::Kind::Daily, TBackupInfo::Kind::BeforePurge,
                                   TBackupInfo::Kind::BeforeRestore}) {
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
