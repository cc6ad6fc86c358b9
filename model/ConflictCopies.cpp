#include "ConflictCopies.h"

#include "BackupStore.h"
#include "LogFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("ConflictCopies", text, nullptr, n);
}

// The log's name split at its last dot: sync tools put their mark between the two parts.
void splitName(const QString &fileName, QString &stem, QString &extension)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    stem = dot > 0 ? fileName.left(dot) : fileName;
    extension = dot > 0 ? fileName.mid(dot) : QString();
}

} // namespace

namespace ConflictCopies {

bool isConflictCopyOf(const QString &logFileName, const QString &fileName)
{
    QString stem, extension;
    splitName(logFileName, stem, extension);
    if (!fileName.startsWith(stem) || !fileName.endsWith(extension) ||
        fileName.size() <= logFileName.size())
        return false;
    const QStringView mark =
        QStringView(fileName).mid(stem.size(), fileName.size() - stem.size() - extension.size());
    static const QRegularExpression marks(QStringLiteral(
        R"(^(?:\.sync-conflict-\d{8}-\d{6}-[A-Za-z0-9]+| \(.*conflicted copy.*\))$)"));
    return marks.match(mark).hasMatch();
}

QStringList find(const QString &logPath)
{
    const QFileInfo log(logPath);
    const QDir dir = log.absoluteDir();
    QString stem, extension;
    splitName(log.fileName(), stem, extension);
    QStringList copies;
    for (const QString &name :
         dir.entryList({stem + QLatin1Char('*')}, QDir::Files | QDir::Hidden, QDir::Name))
        if (isConflictCopyOf(log.fileName(), name))
            copies.append(dir.filePath(name));
    return copies;
}

TConflictMerge missingCharges(const QString &copyPath, TChargeLog &log)
{
    TConflictMerge result;
    result.CopyPath = copyPath;
    TChargeLog copy;
    try {
        LogFile::LoadChargeLog(copyPath, copy);
    } catch (const QorLogError &error) {
        result.Damaged = true;
        result.Message = tr("The conflict copy %1 cannot be read completely, so nothing was "
                            "taken from it; it stays where it is:\n%2")
                             .arg(copyPath, error.message());
        return result;
    }
    // Taking the copy as the log's new state, the charges it would bring are those the log
    // lacks; the ones it would take away are the log's own later charges and stay.
    result.Merge = LogMerge::ReplaceBy(copy, log);
    result.Merge.Removed.clear();
    return result;
}

QString mergedNotice(const TConflictMerge &merge)
{
    const int count = int(merge.Merge.Added.size());
    const QString text =
        count == 1 ? QCoreApplication::translate("ConflictCopies",
                                                 "1 charge merged from the conflict copy %1")
                   : QCoreApplication::translate("ConflictCopies",
                                                 "%n charges merged from the conflict copy %1",
                                                 nullptr, count);
    return text.arg(QFileInfo(merge.CopyPath).fileName());
}

QString putAway(const QString &copyPath, TBackupStore &backups)
{
    return backups.putAwayConflictCopy(copyPath, QDateTime::currentDateTime());
}

} // namespace ConflictCopies
