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
