#pragma once

#include "LogMerge.h"

#include <QString>
#include <QStringList>

class TBackupStore;

// Copies of the log that file sync tools leave beside it when two computers changed it while
// apart. NAME.QorLog being the log's file name, the tools put a mark between NAME and the
// extension, or after the whole name:
// - two-device sync tools: "NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.QorLog";
// - file-hosting and newer cloud clients: a mark in parentheses or brackets that holds the word
//   "conflict", such as "NAME (conflicted copy YYYY-MM-DD).QorLog", "NAME (HOST's conflicted
//   copy YYYY-MM-DD (1)).QorLog", "NAME (conflicted copy YYYY-MM-DD HHMMSS).QorLog", "NAME
//   (Conflict USER YYYY-MM-DD-HH-MM-SS).QorLog" or "NAME [conflict].QorLog";
// - older cloud clients and two-way sync commands: the word after a separator, such as
//   "NAME_conflict-YYYYMMDD-HHMMSS.QorLog" or "NAME.conflict1.QorLog".
// A name that merely holds a word beginning with "conflict" ("NAME-conflicting.QorLog") is some
// other log, and so is a copy that only appends a computer's name: nothing tells it from one.
// Each holds what the other computer did to the log: charges added, edited or deleted.
namespace ConflictCopies {

// Whether `fileName` names a conflict copy of the log named `logFileName`.
bool isConflictCopyOf(const QString &logFileName, const QString &fileName);

// The conflict copies of the log at `logPath` in its folder, as paths in name order.
QStringList find(const QString &logPath);

// What merging a conflict copy does to the log.
struct TConflictMerge
{
    QString CopyPath;
    // The change by the charges' ids (see LogMerge::MergeCopy): what the copy added or edited
    // comes in, what it deleted goes, a copy from a computer that changed nothing changes
    // nothing. Names are found in or appended to the log's lists, keys taken from its NextKey.
    TLogMerge Merge;
    // The copy could not be read completely: nothing is merged and it stays where it is;
    // Message says why.
    bool Damaged = false;
    QString Message;
};

// Reads the copy at `copyPath` and works out what merging it does to `log`.
TConflictMerge mergeCopy(const QString &copyPath, TChargeLog &log);

// "3 charges merged from the conflict copy NAME" (or what else it brought, and the charges it
// found edited on both sides); the notice for a merge that was applied.
QString mergedNotice(const TConflictMerge &merge);

// Moves a merged copy into the backups so that it is not merged twice; returns its new path.
// Throws QorLogError when it can be neither moved nor copied and removed.
QString putAway(const QString &copyPath, TBackupStore &backups);

} // namespace ConflictCopies
