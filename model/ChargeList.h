#pragma once

#include "ConstantsAndTypes.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QVector>

#include <algorithm>
#include <memory>
#include <vector>

// Where a save put an entry's bytes: the save's generation (0: never written as it stands) and
// the byte range in the file it wrote. A later save copies the bytes of an entry that still has
// them from that file instead of formatting the entry again.
struct TWrittenPlace
{
    qint64 Offset = 0;
    quint32 Generation = 0;
    qint32 Length = 0;
};

// One entry of the charge list: the record plus its two free texts kept as
// "chargerlogfile*comment" (the log file name cannot contain "*", the comment may), and the
// charge's identity across every copy of the log: its id and when it was last added or edited.
// The identity is no part of what the user sees, nor of the record's fields.
struct TChargeEntry
{
    QString Text;
    TChargeRecord Record;
    TWrittenPlace Written;
    QUuid Id;           // null: none yet (read from a file that gives none)
    double Changed = 0; // UTC day count of the last add or edit; 0: not known
};

struct TPositionedEntry; // ChargeLogChange.h

// All records of the log. New entries go to the end; sortByDateTime() puts the list into
// ascending date-time order, keeping equal date-times in their relative order.
//
// Copies share their entries until one of them changes: the copy of the log kept as the last
// saved state then costs nothing while the log stands as saved.
class TChargeList
{
public:
    int count() const { return int(entries().size()); }
    bool isEmpty() const { return entries().empty(); }
    const TChargeEntry &at(int index) const { return entries().at(size_t(index)); }
    const TChargeRecord &record(int index) const { return at(index).Record; }
    const QString &text(int index) const { return at(index).Text; }

    void append(const TChargeRecord &record, const QString &text);
    // Appends the entry as it is, identity included (its written place is dropped).
    void append(TChargeEntry entry);
    // Replaces record and texts; the entry keeps its identity.
    void replace(int index, const TChargeRecord &record, const QString &text);
    // Sets the entry's id and the time of its last change.
    void setIdentity(int index, const QUuid &id, double changed);
    void removeAt(int index);
    // Removes every entry for which `pred(entry)` holds, asked once of each entry in their
    // order; returns how many went.
    template <typename Pred> int removeIf(Pred pred);
    void clear();
    // Takes out every entry whose key is in `keys`, in one pass, and returns them with the
    // positions they held (ascending).
    QVector<TPositionedEntry> takeKeys(const QSet<qint32> &keys);
    // Puts entries back so that each ends up at its position (ascending positions, counted in
    // the list after the insertion), in one pass; positions past the end append.
    void insertAtPositions(const QVector<TPositionedEntry> &entries);
    void reserve(int n);
    // Frees the big lists kept, emptied, for the next big ones (see ChargeList.cpp).
    static void letGoOfSpares();
    static int sparesHeld();
    // Where the last save put each entry, in list order (one place per entry).
    void setWrittenPlaces(const std::vector<TWrittenPlace> &places);
    // The same in the entries themselves, also while copies share them: a place is no content
    // of an entry, and every copy holds the same entries.
    void noteWrittenPlaces(const std::vector<TWrittenPlace> &places);
    // A list of the entries at the positions for which `keep(position, entry)` holds, as they
    // stand (places included), in their order.
    template <typename Keep> TChargeList selected(Keep keep) const;
    // Whether both lists hold the very same entries (one is an unchanged copy of the other).
    bool sharesEntriesWith(const TChargeList &other) const
    {
        return m_entries && m_entries == other.m_entries;
    }

    void sortByDateTime();
    bool isSortedByDateTime() const;

    // Position of the record with this key, or -1.
    int FindChargeIndex(qint32 key) const;

    static QString JoinChargeText(const QString &chargerLogFileName, const QString &comment);
    // Splits at the first "*": before it the charger log file name, after it the comment.
    // A text without "*" is all comment.
    static void SplitChargeText(const QString &text, QString &chargerLogFileName, QString &comment);

private:
    void invalidateIndex() const { m_keyIndexValid = false; }
    // The index learns of an entry appended at `position`.
    void indexAppended(qint32 key, int position) const;
    // Whether the entries are in date-time order: unknown (-1) after a change that may have
    // broken it, else known from the change itself or the last look.
    enum class Order : signed char
    {
        Unknown = -1,
        Unsorted = 0,
        Sorted = 1
    };
    // Inline: the accessors above are asked once for each of a million entries in a merge.
    const std::vector<TChargeEntry> &entries() const
    {
        return m_entries ? *m_entries : noEntries();
    }
    static const std::vector<TChargeEntry> &noEntries();
    // The entries for changing them: a list of its own first when they are shared.
    std::vector<TChargeEntry> &ownEntries();

    // Empty after a move, which counts as an empty list.
    std::shared_ptr<std::vector<TChargeEntry>> m_entries;
    // Keys are handed out one after the other, so the index is mostly a plain table from key to
    // position (made in one pass); keys far apart go to a hash instead.
    mutable std::vector<int> m_positionOfKey;
    mutable QHash<qint32, int> m_keyIndex;
    mutable bool m_keyIndexValid = false;
    mutable bool m_keyIndexDense = false;
    mutable Order m_order = Order::Sorted;
};

template <typename Keep> TChargeList TChargeList::selected(Keep keep) const
{
    TChargeList list;
    std::vector<TChargeEntry> &kept = list.ownEntries();
    const std::vector<TChargeEntry> &all = entries();
    for (size_t i = 0; i < all.size(); ++i)
        if (keep(int(i), all[i]))
            kept.push_back(all[i]);
    list.m_order = m_order == Order::Sorted ? Order::Sorted : Order::Unknown;
    return list;
}

template <typename Pred> int TChargeList::removeIf(Pred pred)
{
    // Shared entries stay shared when nothing goes.
    const auto first = std::find_if(entries().begin(), entries().end(), pred);
    if (first == entries().end())
        return 0;
    const auto from = first - entries().begin();
    std::vector<TChargeEntry> &list = ownEntries();
    const auto oldSize = list.size();
    // As std::remove_if from the entry after the first to go, so that `pred` is asked of that
    // one only once as well.
    auto kept = list.begin() + from;
    for (auto it = kept + 1; it != list.end(); ++it)
        if (!pred(*it))
            *kept++ = std::move(*it);
    list.erase(kept, list.end());
    invalidateIndex();
    if (m_order != Order::Sorted) // what stays keeps its order
        m_order = Order::Unknown;
    return int(oldSize - list.size());
}
