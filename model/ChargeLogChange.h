#pragma once

#include "ChargeList.h"
#include "ChargeLog.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QUuid>
#include <QVector>

#include <limits>
#include <memory>

// A charge list entry together with the position it holds in the list.
struct TPositionedEntry
{
    int Position = 0;
    TChargeEntry Entry;
};

// One change of the charge list, as an undo step keeps it: the entries it took out, with the
// positions they held before, and the entries it put in, with the positions they hold after.
// Undo and redo therefore give back exactly the list of before and after, order among equal
// date-times included, whatever the change was (an add, an edit, a deletion, a merge).
// Both work in one pass over the list, also for 100,000 entries.
//
// The positions hold as long as every change of the list between the steps is itself such a
// step. Should they not (a position past the end), entries go to the end: nothing is lost.
//
// The log's deletions follow: the change records the ids of the charges it took out for good
// (DeletionsAdded) and takes those of the charges it brought back out of the deletions
// (DeletionsRemoved, with the times they had), and undo and redo put that back and again.
class TChargeLogChange
{
public:
    QVector<TPositionedEntry> Removed; // ascending positions, in the list before the change
    QVector<TPositionedEntry> Added;   // ascending positions, in the list after the change
    using Deletions = QVector<QPair<QUuid, double>>;
    Deletions DeletionsAdded;
    Deletions DeletionsRemoved;
    // What the change does to the battery cards and names renamed in place, if anything.
    std::shared_ptr<const TCardsChange> Cards;

    void undo(TChargeList &list) const;
    void redo(TChargeList &list) const;
    // The same on the whole log, its deletions included.
    void undo(TChargeLog &log) const;
    void redo(TChargeLog &log) const;

    // Works out, and makes in `deleted`, what the change does to the deletions once Removed and
    // Added are in place: a removed charge whose id does not come back is deleted at the time
    // `times` gives for it (else `now`), an added charge is deleted no more. Of more new
    // deletions than `kept`, only those a pruning to `kept` keeps go into `deleted` (see
    // TChargeLog::PruneDeleted), for a caller that prunes to that before anything else
    // changes; the step still holds them all.
    void recordDeletions(QHash<QUuid, double> &deleted, const QHash<QUuid, double> &times,
                         double now, qsizetype kept = std::numeric_limits<qsizetype>::max());

    // The entries holding `keys` with their current positions, ascending; keys not in the list
    // are left out.
    static QVector<TPositionedEntry> positionsOf(const TChargeList &list,
                                                 const QVector<qint32> &keys);
    static QSet<qint32> keysOf(const QVector<TPositionedEntry> &entries);
};
