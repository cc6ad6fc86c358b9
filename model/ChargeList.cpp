#include "ChargeList.h"

#include "ChargeLogChange.h"
#include "HugePages.h"

#include <algorithm>
#include <mutex>
#include <utility>

const std::vector<TChargeEntry> &TChargeList::noEntries()
{
    static const std::vector<TChargeEntry> none;
    return none;
}

// Room for `size` entries and the next few after them, so that adding one does not copy them
// all once more.
static size_t roomFor(size_t size)
{
    return size + size / 64 + 16;
}

namespace {

using Entries = std::vector<TChargeEntry>;

// Big lists let go are kept, emptied, for the next big lists. Their memory stays touched:
// memory handed back to the system can be slow to touch again (on some virtual machines each
// fresh page costs as much as copying it several times), and a log read again after every change
// by another program lets go of a list of all its charges and makes another each time. Two are
// kept, and only a list of about their size takes one; a big list made lets go of those that do
// not fit, before its own memory is taken.
constexpr size_t SpareFromBytes = size_t(8) << 20;
constexpr int SpareCount = 2;
std::mutex spareLock;
Entries *spares[SpareCount] = {};

void letGo(Entries *entries)
{
    if (entries->capacity() * sizeof(TChargeEntry) < SpareFromBytes) {
        delete entries;
        return;
    }
    entries->clear();
    Entries *oldest = nullptr;
    {
        const std::lock_guard<std::mutex> hold(spareLock);
        oldest = spares[SpareCount - 1];
        std::move_backward(spares, spares + SpareCount - 1, spares + SpareCount);
        spares[0] = entries;
    }
    delete oldest;
}

// An empty list with room for `room` entries.
std::shared_ptr<Entries> newEntries(size_t room)
{
    Entries *entries = nullptr;
    if (room * sizeof(TChargeEntry) >= SpareFromBytes) {
        // In whole huge pages, so that a list a few entries longer than the one let go fits.
        constexpr size_t Page = size_t(2) << 20;
        room = ((room * sizeof(TChargeEntry) + Page - 1) / Page * Page) / sizeof(TChargeEntry);
        Entries *unfit[SpareCount] = {};
        {
            const std::lock_guard<std::mutex> hold(spareLock);
            for (int i = 0; i < SpareCount; ++i) {
                Entries *&kept = spares[i];
                if (!kept)
                    continue;
                if (kept->capacity() < room || kept->capacity() > room + room / 2)
                    unfit[i] = std::exchange(kept, nullptr);
                else if (!entries)
                    entries = std::exchange(kept, nullptr);
            }
        }
        for (Entries *list : unfit)
            delete list;
    }
    if (!entries) {
        entries = new Entries;
        ReserveWithHugePages(*entries, room);
    }
    return std::shared_ptr<Entries>(entries, letGo);
}

} // namespace

void TChargeList::letGoOfSpares()
{
    Entries *kept[SpareCount] = {};
    {
        const std::lock_guard<std::mutex> hold(spareLock);
        std::swap_ranges(spares, spares + SpareCount, kept);
    }
    for (Entries *list : kept)
        delete list;
}

int TChargeList::sparesHeld()
{
    const std::lock_guard<std::mutex> hold(spareLock);
    return int(std::count_if(spares, spares + SpareCount, [](Entries *list) { return list; }));
}

std::vector<TChargeEntry> &TChargeList::ownEntries()
{
    if (!m_entries)
        m_entries = newEntries(0);
    else if (m_entries.use_count() > 1) {
        auto own = newEntries(roomFor(m_entries->size()));
        own->assign(m_entries->cbegin(), m_entries->cend());
        m_entries = std::move(own);
    }
    return *m_entries;
}

void TChargeList::reserve(int n)
{
    const size_t room = size_t(qMax(n, 0));
    if (!m_entries || (m_entries->empty() && m_entries->capacity() < room))
        m_entries = newEntries(room);
    else
        ReserveWithHugePages(ownEntries(), room);
}

namespace {

// A table from key to position serves keys up to this many per entry (and a few more).
constexpr qint64 DenseKeysPerEntry = 4;
constexpr qint64 DenseKeysAtLeast = 1024;

} // namespace

void TChargeList::indexAppended(qint32 key, int position) const
{
    if (!m_keyIndexValid)
        return;
    if (!m_keyIndexDense) {
        m_keyIndex.insert(key, position);
        return;
    }
    if (key < 0 || qint64(key) > DenseKeysPerEntry * count() + DenseKeysAtLeast) {
        invalidateIndex(); // made again, as a hash, when next asked
        return;
    }
    if (size_t(key) >= m_positionOfKey.size())
        m_positionOfKey.resize(qMax(size_t(key) + 1, m_positionOfKey.size() * 3 / 2), -1);
    m_positionOfKey[size_t(key)] = position;
}

void TChargeList::append(const TChargeRecord &record, const QString &text)
{
    std::vector<TChargeEntry> &list = ownEntries();
    if (m_order == Order::Sorted && !list.empty() && record.DateTime < list.back().Record.DateTime)
        m_order = Order::Unsorted;
    list.push_back(TChargeEntry{text, record});
    indexAppended(record.Key, count() - 1);
}

void TChargeList::append(TChargeEntry entry)
{
    entry.Written = {};
    const qint32 key = entry.Record.Key;
    std::vector<TChargeEntry> &list = ownEntries();
    if (m_order == Order::Sorted && !list.empty() &&
        entry.Record.DateTime < list.back().Record.DateTime)
        m_order = Order::Unsorted;
    list.push_back(std::move(entry));
    indexAppended(key, count() - 1);
}

void TChargeList::setIdentity(int index, const QUuid &id, double changed)
{
    TChargeEntry &entry = ownEntries().at(size_t(index));
    entry.Id = id;
    entry.Changed = changed;
    entry.Written = {};
}

void TChargeList::replace(int index, const TChargeRecord &record, const QString &text)
{
    TChargeEntry &entry = ownEntries().at(size_t(index));
    if (entry.Record.Key != record.Key)
        invalidateIndex();
    if (entry.Record.DateTime != record.DateTime)
        m_order = Order::Unknown;
    entry.Record = record;
    entry.Text = text;
    entry.Written = {}; // its bytes in the file are no longer its own
}

void TChargeList::setWrittenPlaces(const std::vector<TWrittenPlace> &places)
{
    std::vector<TChargeEntry> &list = ownEntries();
    for (size_t i = 0; i < list.size() && i < places.size(); ++i)
        list[i].Written = places[i];
}

void TChargeList::noteWrittenPlaces(const std::vector<TWrittenPlace> &places)
{
    if (!m_entries)
        return;
    std::vector<TChargeEntry> &list = *m_entries;
    for (size_t i = 0; i < list.size() && i < places.size(); ++i)
        list[i].Written = places[i];
}

void TChargeList::removeAt(int index)
{
    std::vector<TChargeEntry> &list = ownEntries();
    list.erase(list.begin() + index);
    invalidateIndex();
    if (m_order != Order::Sorted) // what stays keeps its order
        m_order = Order::Unknown;
}

namespace {

// The keys to take, asked once for every entry of the list. A list's keys are small numbers
// close to one another, so a bit for each number from the least to the greatest fits in the
// cache where a hash of a million keys does not: taking all of a million charges asked the
// hash for most of its time. Keys spread too far apart are asked of the set itself.
class KeySet
{
public:
    explicit KeySet(const QSet<qint32> &keys) : m_keys(keys)
    {
        const auto [least, greatest] = std::minmax_element(keys.cbegin(), keys.cend());
        m_least = *least;
        const quint64 span = quint64(qint64(*greatest) - qint64(m_least)) + 1;
        if (span / 64 > quint64(keys.size()))
            return;
        m_bits.assign(size_t((span + 63) / 64), 0);
        for (const qint32 key : keys) {
            const quint64 bit = quint64(qint64(key) - qint64(m_least));
            m_bits[size_t(bit / 64)] |= quint64(1) << (bit % 64);
        }
    }
    bool contains(qint32 key) const
    {
        if (m_bits.empty())
            return m_keys.contains(key);
        const qint64 bit = qint64(key) - qint64(m_least);
        return bit >= 0 && quint64(bit) / 64 < m_bits.size() &&
               (m_bits[size_t(quint64(bit) / 64)] >> (quint64(bit) % 64) & 1) != 0;
    }

private:
    const QSet<qint32> &m_keys;
    qint32 m_least = 0;
    std::vector<quint64> m_bits;
};

} // namespace

QVector<TPositionedEntry> TChargeList::takeKeys(const QSet<qint32> &keys)
{
    QVector<TPositionedEntry> taken;
    if (keys.isEmpty())
        return taken;
    std::vector<TChargeEntry> &list = ownEntries();
    taken.reserve(qMin(qsizetype(keys.size()), qsizetype(list.size())));
    AdviseHugePages(taken.constData(), size_t(taken.capacity()) * sizeof(TPositionedEntry));
    const KeySet taking(keys);
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (taking.contains(list[i].Record.Key))
            taken.append(TPositionedEntry{int(i), std::move(list[i])});
        else if (kept++ != i)
            list[kept - 1] = std::move(list[i]);
    }
    list.resize(kept);
    // A list left with few of its entries gives its room back: after a Delete Selection of
    // nearly all, that room would stay taken beside the entries the undo step holds.
    if (kept < list.capacity() / 4)
        list.shrink_to_fit();
    invalidateIndex();
    if (m_order != Order::Sorted) // what stays keeps its order
        m_order = Order::Unknown;
    return taken;
}

void TChargeList::insertAtPositions(const QVector<TPositionedEntry> &entries)
{
    if (entries.isEmpty())
        return;
    // Entries of its own take the new ones in place, each moved once, from the end; shared ones
    // are copied once, straight into a new list.
    if (m_entries && m_entries.use_count() == 1) {
        std::vector<TChargeEntry> &list = *m_entries;
        const size_t old = list.size();
        // Where each new entry ends up: at its position, or after the one before it, and
        // appended when its position lies past the end.
        std::vector<size_t> at(size_t(entries.size()));
        for (size_t j = 0; j < at.size(); ++j) {
            size_t wanted = size_t(qMax(0, entries.at(qsizetype(j)).Position));
            if (j > 0)
                wanted = qMax(wanted, at[j - 1] + 1);
            at[j] = qMin(wanted, old + j);
        }
        if (old + at.size() > list.capacity())
            ReserveWithHugePages(list, roomFor(old + at.size()));
        list.resize(old + at.size());
        size_t from = old; // the old entries not yet moved: [0, from)
        for (size_t to = list.size(), j = at.size(); j > 0;) {
            --to;
            if (at[j - 1] == to)
                list[to] = entries.at(qsizetype(--j)).Entry;
            else
                list[to] = std::move(list[--from]);
        }
        invalidateIndex();
        m_order = Order::Unknown;
        return;
    }
    const bool shared = m_entries && m_entries.use_count() > 1;
    std::shared_ptr<Entries> made = newEntries(roomFor(size_t(count()) + size_t(entries.size())));
    Entries &merged = *made;
    auto next = entries.cbegin();
    const auto putBefore = [&] {
        while (next != entries.cend() && next->Position <= int(merged.size()))
            merged.push_back((next++)->Entry);
    };
    if (shared) {
        for (const TChargeEntry &entry : this->entries()) {
            putBefore();
            merged.push_back(entry);
        }
    } else if (m_entries) {
        for (TChargeEntry &entry : *m_entries) {
            putBefore();
            merged.push_back(std::move(entry));
        }
    }
    for (; next != entries.cend(); ++next)
        merged.push_back(next->Entry);
    m_entries = std::move(made);
    invalidateIndex();
    m_order = Order::Unknown;
}

void TChargeList::clear()
{
    m_entries.reset();
    m_keyIndex.clear();
    m_positionOfKey.clear();
    invalidateIndex();
    m_order = Order::Sorted;
}

void TChargeList::sortByDateTime()
{
    if (isSortedByDateTime())
        return;
    // Stable, so that charges with equal date-times keep their order from one sort to the next.
    std::vector<TChargeEntry> &list = ownEntries();
    const auto earlier = [](const TChargeEntry &a, const TChargeEntry &b) {
        return a.Record.DateTime < b.Record.DateTime;
    };
    // A change mostly appends a few entries to a list in order (an edit takes its charge out
    // and appends it again): those are sorted and merged in, which moves only the entries after
    // the first place one of them goes to and needs room for them alone. Being stable, both
    // ways give the same order.
    const auto sortedUntil = std::is_sorted_until(list.begin(), list.end(), earlier);
    const size_t tail = size_t(list.end() - sortedUntil);
    if (tail <= list.size() / 8) {
        std::stable_sort(sortedUntil, list.end(), earlier);
        std::inplace_merge(list.begin(), sortedUntil, list.end(), earlier);
    } else {
        std::stable_sort(list.begin(), list.end(), earlier);
    }
    invalidateIndex();
    m_order = Order::Sorted;
}

bool TChargeList::isSortedByDateTime() const
{
    if (m_order == Order::Unknown) {
        const std::vector<TChargeEntry> &list = entries();
        m_order = Order::Sorted;
        for (size_t i = 1; i < list.size(); ++i)
            if (list[i].Record.DateTime < list[i - 1].Record.DateTime) {
                m_order = Order::Unsorted;
                break;
            }
    }
    return m_order == Order::Sorted;
}

int TChargeList::FindChargeIndex(qint32 key) const
{
    const std::vector<TChargeEntry> &list = entries();
    if (list.empty())
        return -1;
    if (!m_keyIndexValid) {
        qint32 lowest = list.front().Record.Key, highest = lowest;
        for (const TChargeEntry &entry : list) {
            lowest = qMin(lowest, entry.Record.Key);
            highest = qMax(highest, entry.Record.Key);
        }
        m_keyIndex.clear();
        m_positionOfKey.clear();
        m_keyIndexDense =
            lowest >= 0 &&
            qint64(highest) <= DenseKeysPerEntry * qint64(list.size()) + DenseKeysAtLeast;
        if (m_keyIndexDense) {
            m_positionOfKey.assign(size_t(highest) + 1, -1);
            for (size_t i = 0; i < list.size(); ++i)
                m_positionOfKey[size_t(list[i].Record.Key)] = int(i);
        } else {
            m_keyIndex.reserve(qsizetype(list.size()));
            for (size_t i = 0; i < list.size(); ++i)
                m_keyIndex.insert(list[i].Record.Key, int(i));
        }
        m_keyIndexValid = true;
    }
    if (m_keyIndexDense)
        return key >= 0 && size_t(key) < m_positionOfKey.size() ? m_positionOfKey[size_t(key)] : -1;
    return m_keyIndex.value(key, -1);
}

QString TChargeList::JoinChargeText(const QString &chargerLogFileName, const QString &comment)
{
    return chargerLogFileName + QLatin1Char('*') + comment;
}

void TChargeList::SplitChargeText(const QString &text, QString &chargerLogFileName,
                                  QString &comment)
{
    const qsizetype star = text.indexOf(QLatin1Char('*'));
    if (star < 0) {
        chargerLogFileName.clear();
        comment = text;
        return;
    }
    chargerLogFileName = text.left(star);
    comment = text.mid(star + 1);
}
