#pragma once

#include "ChargeLog.h"

#include <QHash>
#include <QStringList>
#include <QUuid>
#include <QVector>

#include <optional>
#include <vector>

// A change of the log in memory as whole entries: the entries that go (with their keys) and the
// entries that come (names resolved to positions in the memory's name lists, keys taken from its
// NextKey; an entry that replaces another, an edit, keeps that one's key and id). It is what an
// undo step records and what ApplyMerge carries out.
struct TLogMerge
{
    QVector<TChargeEntry> Removed;
    QVector<TChargeEntry> Added;
    // Deletions memory takes over, with their times: of the charges removed, and of charges
    // deleted elsewhere that memory does not hold.
    QHash<QUuid, double> Deletions;
    // One line for each charge of which a version was dropped or whose deletion was undone,
    // naming the charge ("... edited on another desktop too: kept the later edit").
    QStringList Conflicts;
    bool DroppedOurs = false;   // a version memory held was dropped
    bool DroppedTheirs = false; // a version the other side held was dropped
    // The battery cards after the merge (none: they stay), and how many came, changed or went.
    std::optional<TBatteryCards> Cards;
    int CardsChanged = 0;

    bool isEmpty() const { return Removed.isEmpty() && Added.isEmpty() && !Cards; }
    // Charges that came, that came in place of another (edits) and that went.
    int addedCount() const;
    int changedCount() const;
    int removedCount() const;
};

namespace LogMerge {

// Brings what another program or another QorLog did to the file into `memory`. `base` is what
// the file held when QorLog last read or wrote it, `disk` what it holds now. Charges are the
// same charge when they have the same id; a charge without one (from a file that gives none) is
// first matched by its nine fields (names without regard to letter case) to a charge of the
// base, then to one memory added, and otherwise counts by an id derived from its fields.
// Per id: a change made on one side only is taken; an edit on both sides keeps the later one
// (by the time of the last change; on a tie memory's) and says so; a charge deleted on one side
// stays deleted unless the other side changed it after the deletion (then it comes back, said
// so); what either side added comes in. The charge list itself and the colours are left alone.
TLogMerge MergeOutsideChange(const TChargeLog &base, const TChargeLog &disk, TChargeLog &memory);
// The same for a `disk` read against the base (LogFile::LoadChargeLog with the base as the known
// log): `diskFromBase` gives for each of its charges the position in `base` of the charge taken
// for it unchanged, or -1. While memory holds the base's very charges, only the charges that
// differ and those sharing their ids are merged: the rest is the same on all three sides.
TLogMerge MergeOutsideChange(const TChargeLog &base, const TChargeLog &disk, TChargeLog &memory,
                             const std::vector<qint32> &diskFromBase);
// That merge of the charges that differ alone. None when it cannot be told from them: memory's
// charges are not the base's, a position does not hold, or one of those charges has no id of
// its own.
std::optional<TLogMerge> MergeChangedOnly(const TChargeLog &base, const TChargeLog &disk,
                                          TChargeLog &memory,
                                          const std::vector<qint32> &diskFromBase);

// The same for a copy of the log kept apart from it (a sync tool's conflict copy), with no base:
// a side counts as having changed a charge when its version is newer than every version the
// two sides still share, and deletions decide by their times.
TLogMerge MergeCopy(const TChargeLog &copy, TChargeLog &memory);

// The change that makes the charges of `memory` those of `source` (a backup being restored):
// charges in both (by id, else by their fields) stay with their keys, those that differ take
// the source's fields and count as changed now; charges only in the source come in as new
// charges with new ids.
TLogMerge ReplaceBy(const TChargeLog &source, TChargeLog &memory);

// Gives every charge of `incoming` that has no id the one the merges above give it, so that the
// file's charges and the log's agree on their ids from now on. `known` is the log it is compared
// with (the base), `other` the memory, if any.
void IdentifyCharges(TChargeLog &incoming, const TChargeLog &known,
                     const TChargeLog *other = nullptr);

// The conflicts of a merge as lines for a notice (the first few, then how many more), and
// where the versions not kept are.
QString conflictsText(const TLogMerge &merge);

// Carries a merge out directly: removes the removed entries by key, appends the added ones,
// and takes over the deletions.
void ApplyMerge(TChargeLog &memory, const TLogMerge &merge);

} // namespace LogMerge
