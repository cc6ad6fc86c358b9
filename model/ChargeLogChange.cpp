#include "ChargeLogChange.h"

#include <algorithm>

void TChargeLogChange::undo(TChargeList &list) const
{
    if (!Added.isEmpty())
        list.takeKeys(keysOf(Added));
    list.insertAtPositions(Removed);
}

void TChargeLogChange::redo(TChargeList &list) const
{
    if (!Removed.isEmpty())
        list.takeKeys(keysOf(Removed));
    list.insertAtPositions(Added);
}

void TChargeLogChange::undo(TChargeLog &log) const
{
    undo(log.ChargeStringList);
    if (!log.Deleted.isEmpty())
        for (const auto &[id, when] : DeletionsAdded)
            log.Deleted.remove(id);
    for (const auto &[id, when] : DeletionsRemoved)
        log.Deleted.insert(id, when);
    if (Cards)
        Cards->undo(log.Cards, log.BatteriesStringList);
}

void TChargeLogChange::redo(TChargeLog &log) const
{
    redo(log.ChargeStringList);
    if (!log.Deleted.isEmpty())
        for (const TPositionedEntry &e : Added)
            log.Deleted.remove(e.Entry.Id);
    for (const auto &[id, when] : DeletionsAdded)
        log.Deleted.insert(id, when);
    if (Cards)
        Cards->redo(log.Cards, log.BatteriesStringList);
}

void TChargeLogChange::recordDeletions(QHash<QUuid, double> &deleted,
                                       const QHash<QUuid, double> &times, double now,
                                       qsizetype kept)
{
    QSet<QUuid> back;
    back.reserve(Added.size());
    for (const TPositionedEntry &e : Added) {
        back.insert(e.Entry.Id);
        const auto found = deleted.constFind(e.Entry.Id);
        if (found != deleted.cend()) {
            DeletionsRemoved.append({found.key(), found.value()});
            deleted.remove(e.Entry.Id);
        }
    }
    if (Removed.isEmpty())
        return;
    DeletionsAdded.reserve(Removed.size());
    for (const TPositionedEntry &e : Removed) {
        if (e.Entry.Id.isNull() || back.contains(e.Entry.Id))
            continue;
        const double when = times.isEmpty() ? now : times.value(e.Entry.Id, now);
        DeletionsAdded.append({e.Entry.Id, when});
    }
    // Beyond the `kept` newest of the new deletions, none survives the next pruning, whatever
    // the log held before: after deleting all of a million charges, a million would go into
    // the hash only for the save to take out all but a thousand. The newest are put last, in
    // the order the pruning ranks them.
    auto from = DeletionsAdded.begin();
    if (DeletionsAdded.size() > kept) {
        from = DeletionsAdded.end() - kept;
        std::nth_element(DeletionsAdded.begin(), from, DeletionsAdded.end(),
                         [](const QPair<QUuid, double> &a, const QPair<QUuid, double> &b) {
                             return a.second < b.second ||
                                    (a.second == b.second && a.first < b.first);
                         });
    }
    deleted.reserve(deleted.size() + (DeletionsAdded.end() - from));
    for (auto it = from; it != DeletionsAdded.end(); ++it)
        deleted.insert(it->first, it->second);
}

QVector<TPositionedEntry> TChargeLogChange::positionsOf(const TChargeList &list,
                                                        const QVector<qint32> &keys)
{
    QVector<TPositionedEntry> found;
    found.reserve(keys.size());
    for (qint32 key : keys) {
        const int position = list.FindChargeIndex(key);
        if (position >= 0)
            found.append(TPositionedEntry{position, list.at(position)});
    }
    std::sort(found.begin(), found.end(), [](const TPositionedEntry &a, const TPositionedEntry &b) {
        return a.Position < b.Position;
    });
    return found;
}

QSet<qint32> TChargeLogChange::keysOf(const QVector<TPositionedEntry> &entries)
{
    QSet<qint32> keys;
    keys.reserve(entries.size());
    for (const TPositionedEntry &e : entries)
        keys.insert(e.Entry.Record.Key);
    return keys;
}
