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
    static const QRegularExpression marks(
        QStringLiteral(R"(^(?:\.sync-conflict-\d{8}-\d{6}-[A-Za-z0-9]+)"
                       R"(| ?\([^()]*conflict[^()]*(?:\([^()]*\)[^()]*)?\)(?: ?\(\d+\))?)"
                       R"(| ?\[[^\[\]]*conflict[^\[\]]*\])"
                       R"(|[._-]conflict(?:ed)?(?:\d+|[-_ ][^./\\]*)?)$)"),
        QRegularExpression::CaseInsensitiveOption);
    if (fileName.size() <= logFileName.size() || fileName.contains(QLatin1Char('/')))
        return false;
    // The mark after the whole name ("NAME.QorLog.conflict1").
    if (fileName.startsWith(logFileName) &&
        marks.match(QStringView(fileName).mid(logFileName.size())).hasMatch())
        return true;
    // The mark between the name and its extension.
    QString stem, extension;
    splitName(logFileName, stem, extension);
    if (!fileName.startsWith(stem) || !fileName.endsWith(extension))
        return false;
    const QStringView mark =
        QStringView(fileName).mid(stem.size(), fileName.size() - stem.size() - extension.size());
    return marks.match(mark).hasMatch();
}

QStringList find(const QString &logPath)
{
    const QFileInfo log(logPath);
    const QDir dir = log.absoluteDir();
    QString stem, extension;
    splitName(log.fileName(), stem, extension);
    QStringList copies;
    for (const QString &name : dir.entryList(
             {stem + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name))
        if (isConflictCopyOf(log.fileName(), name))
            copies.append(dir.filePath(name));
    return copies;
}

TConflictMerge mergeCopy(const QString &copyPath, TChargeLog &log)
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
    result.Merge = LogMerge::MergeCopy(copy, log);
    return result;
}

QString mergedNotice(const TConflictMerge &merge)
{
    const QString name = QFileInfo(merge.CopyPath).fileName();
    const TLogMerge &m = merge.Merge;
    const int added = m.addedCount(), changed = m.changedCount(), removed = m.removedCount();
    QString text;
    if (changed == 0 && removed == 0) {
        text = added == 1
                   ? QCoreApplication::translate("ConflictCopies",
                                                 "1 charge merged from the conflict copy %1")
                   : QCoreApplication::translate("ConflictCopies",
                                                 "%n charges merged from the conflict copy %1",
                                                 nullptr, added);
        text = text.arg(name);
    } else {
        text = QCoreApplication::translate("ConflictCopies", "Merged from the conflict copy %1: "
                                                             "%2 added, %3 changed, %4 removed.")
                   .arg(name)
                   .arg(added)
                   .arg(changed)
                   .arg(removed);
    }
    if (m.CardsChanged > 0) {
        const QString cards =
            (m.CardsChanged == 1
                 ? QCoreApplication::translate("ConflictCopies",
                                               "1 battery card merged from the conflict copy %1")
                 : QCoreApplication::translate("ConflictCopies",
                                               "%n battery cards merged from the conflict copy %1",
                                               nullptr, m.CardsChanged))
                .arg(name);
        text = added + changed + removed == 0 ? cards : text + QLatin1Char('\n') + cards;
    }
    if (!m.Conflicts.isEmpty())
        text += QLatin1Char('\n') + LogMerge::conflictsText(m);
    return text;
}

QString putAway(const QString &copyPath, TBackupStore &backups)
{
    return backups.putAwayConflictCopy(copyPath, QDateTime::currentDateTime());
}

} // namespace ConflictCopies
