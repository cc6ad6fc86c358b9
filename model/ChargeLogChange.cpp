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
    for (auto it = DeletionsAdded.cbegin(); it != DeletionsAdded.cend(); ++it)
        log.Deleted.remove(it.key());
    log.Deleted.insert(DeletionsRemoved);
}

void TChargeLogChange::redo(TChargeLog &log) const
{
    redo(log.ChargeStringList);
    for (const TPositionedEntry &e : Added)
        log.Deleted.remove(e.Entry.Id);
    log.Deleted.insert(DeletionsAdded);
}

void TChargeLogChange::recordDeletions(QHash<QUuid, double> &deleted,
                                       const QHash<QUuid, double> &times, double now)
{
    QSet<QUuid> back;
    for (const TPositionedEntry &e : Added) {
        back.insert(e.Entry.Id);
        const auto found = deleted.constFind(e.Entry.Id);
        if (found != deleted.cend()) {
            DeletionsRemoved.insert(found.key(), found.value());
            deleted.remove(e.Entry.Id);
        }
    }
    for (const TPositionedEntry &e : Removed) {
        if (e.Entry.Id.isNull() || back.contains(e.Entry.Id))
            continue;
        const double when = times.value(e.Entry.Id, now);
        DeletionsAdded.insert(e.Entry.Id, when);
        deleted.insert(e.Entry.Id, when);
    }
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
