#pragma once

#include "LogMerge.h"

#include <QString>
#include <QStringList>

class TBackupStore;

// Copies of the log that file sync tools leave beside it when two computers changed it while
// apart: "NAME.sync-conflict-YYYYMMDD-HHMMSS-ID.QorLog", "NAME (conflicted copy
// YYYY-MM-DD).QorLog" and "NAME (HOST's conflicted copy ...).QorLog", where NAME.QorLog is the
// log's file name. Each holds charges that one computer added and the log may lack.
namespace ConflictCopies {

// Whether `fileName` names a conflict copy of the log named `logFileName`.
bool isConflictCopyOf(const QString &logFileName, const QString &fileName);

// The conflict copies of the log at `logPath` in its folder, as paths in name order.
QStringList find(const QString &logPath);

// What a conflict copy adds to the log.
struct TConflictMerge
{
    QString CopyPath;
    // Added: the copy's charges the log lacks (a charge counts as present when one with the
    // same nine fields is in the log, as often as the copy holds it), in the copy's order, with
    // names found in or appended to the log's lists and keys taken from its NextKey.
    TLogMerge Merge;
    // The copy could not be read completely: nothing is merged and it stays where it is;
    // Message says why.
    bool Damaged = false;
    QString Message;
};

// Reads the copy at `copyPath` and works out what `log` lacks.
TConflictMerge missingCharges(const QString &copyPath, TChargeLog &log);

// "3 charges merged from the conflict copy NAME"; the notice for a merge that was applied.
QString mergedNotice(const TConflictMerge &merge);

// Moves a merged copy into the backups so that it is not merged twice; returns its new path.
// Throws QorLogError when it can be neither moved nor copied and removed.
QString putAway(const QString &copyPath, TBackupStore &backups);

} // namespace ConflictCopies
