#include "LogMerge.h"

#include "HugePages.h"

#include "BatteryCardsMerge.h"

#include "ChargeIdentity.h"
#include "NumberText.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LogMerge", text);
}

constexpr int NameKinds = 4;
constexpr TChargeLog::NameKind Kinds[NameKinds] = {
    TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger, TChargeLog::NameKind::Battery,
    TChargeLog::NameKind::Termination};

// The nine fields of a record as values that compare across logs: each name as a number that
// stands for its case-folded text in all logs of one merge.
struct RecordValue
{
    double DateTime;
    double NominalChargeAmps;
    double AmpHours;
    std::array<int, NameKinds> Names;
    QString Text; // charger log file name, "*", comment

    bool operator==(const RecordValue &o) const
    {
        return DateTime == o.DateTime && NominalChargeAmps == o.NominalChargeAmps &&
               AmpHours == o.AmpHours && Names == o.Names && Text == o.Text;
    }
    bool operator!=(const RecordValue &o) const { return !(*this == o); }
};

size_t qHash(const RecordValue &v, size_t seed = 0)
{
    // 0 and -0 compare equal, so they must hash alike.
    const auto number = [](double d) { return d == 0.0 ? 0.0 : d; };
    QtPrivate::QHashCombine combine;
    seed = combine(seed, ::qHash(number(v.DateTime)));
    seed = combine(seed, ::qHash(number(v.NominalChargeAmps)));
    seed = combine(seed, ::qHash(number(v.AmpHours)));
    for (int name : v.Names)
        seed = combine(seed, ::qHash(name));
    return combine(seed, ::qHash(v.Text));
}

// Numbers for names, shared by the logs of one merge.
class NameNumbers
{
public:
    // For each position of each list of `log`, the number of its name. A position that names
    // nothing is written as an empty name, so it is the empty name here too.
    struct Table
    {
        std::array<QVector<int>, NameKinds> Positions;
        std::array<int, NameKinds> Empty;
    };
    Table of(const TChargeLog &log)
    {
        Table table;
        for (int k = 0; k < NameKinds; ++k) {
            const TNameList &list = log.nameList(Kinds[k]);
            QVector<int> &positions = table.Positions[k];
            positions.resize(list.count());
            for (int i = 0; i < list.count(); ++i)
                positions[i] = number(k, list.name(i));
            table.Empty[k] = number(k, QString());
        }
        return table;
    }

private:
    int number(int kind, const QString &name)
    {
        auto &numbers = m_numbers[kind];
        const QString key = name.toCaseFolded();
        auto it = numbers.constFind(key);
        if (it == numbers.constEnd())
            it = numbers.insert(key, int(numbers.size()));
        return it.value();
    }
    std::array<QHash<QString, int>, NameKinds> m_numbers;
};

// The number of the name of kind `k` that a record at `index` of its log's list has.
int nameNumber(const NameNumbers::Table &names, int k, int index)
{
    const QVector<int> &positions = names.Positions[k];
    return index >= 0 && index < positions.size() ? positions[index] : names.Empty[k];
}

RecordValue valueOf(const TChargeEntry &entry, const NameNumbers::Table &names)
{
    RecordValue v{entry.Record.DateTime,
                  entry.Record.NominalChargeAmps,
                  entry.Record.AmpHours,
                  {},
                  entry.Text};
    for (int k = 0; k < NameKinds; ++k)
        v.Names[k] = nameNumber(names, k, TChargeLog::recordIndex(entry.Record, Kinds[k]));
    return v;
}

// Whether two entries have the same value, as valueOf() gives it, without making it.
bool sameValue(const TChargeEntry &a, const NameNumbers::Table &aNames, const TChargeEntry &b,
               const NameNumbers::Table &bNames)
{
    const TChargeRecord &r = a.Record, &s = b.Record;
    if (r.DateTime != s.DateTime || r.NominalChargeAmps != s.NominalChargeAmps ||
        r.AmpHours != s.AmpHours)
        return false;
    for (int k = 0; k < NameKinds; ++k)
        if (nameNumber(aNames, k, TChargeLog::recordIndex(r, Kinds[k])) !=
            nameNumber(bNames, k, TChargeLog::recordIndex(s, Kinds[k])))
            return false;
    return a.Text == b.Text;
}

// Where each id of a side is: an open table of positions in the side's list of ids, each id
// looked up by its own bits. A merge looks up every charge of three logs several times, which
// a table of plain positions does several times faster than a hash of ids and positions, in
// less memory. Each slot keeps a part of its id's hash beside the position, so that a look-up
// passes other ids without reading them.
// The seed of the process's hashes keeps crafted ids from piling up.
class IdIndex
{
public:
    // Empty, with room for `count` ids at most half full.
    void reserve(int count)
    {
        size_t size = 16;
        int shift = 60;
        while (size < 2 * size_t(qMax(count, 0))) {
            size *= 2;
            --shift;
        }
        m_slots = TZeroedWords(size);
        m_mask = size - 1;
        m_shift = shift;
        m_count = 0;
        m_seed = quint64(QHashSeed::globalSeed());
    }
    // The position whose id in `ids` is `id`, or -1.
    int find(const QVector<QUuid> &ids, const QUuid &id) const
    {
        if (m_slots.empty())
            return -1;
        const quint64 hash = hashOf(id);
        const quint64 tag = hash & TagMask;
        for (size_t slot = home(hash);; slot = (slot + 1) & m_mask) {
            const quint64 noted = m_slots[slot];
            if (noted == 0)
                return -1;
            if ((noted & TagMask) == tag && ids[int(noted & PositionMask) - 1] == id)
                return int(noted & PositionMask) - 1;
        }
    }
    // Notes, in an index just reserved, each position of `ids` whose id is not null and not
    // that of a position before it; says for each position whether it was noted. The table is
    // filled in the order of its slots, in one sweep, rather than at random: at a million ids
    // it is far larger than the processor's caches, and a write at random waits for memory.
    std::vector<bool> noteFirsts(const QVector<QUuid> &ids)
    {
        // Each as its slot will hold it, whose tag tells its home slot as well.
        const size_t count = size_t(ids.size());
        TZeroedWords order(count), sorted(count);
        size_t n = 0;
        for (int i = 0; i < ids.size(); ++i)
            if (!ids[i].isNull())
                order[n++] = (hashOf(ids[i]) & TagMask) | quint64(i + 1);
        // By home slot, positions in their order within each (a stable radix sort): of ids
        // alike, which share a home, the first position is noted first.
        constexpr int Bits = 11;
        for (int shift = m_shift; shift < 64; shift += Bits) {
            std::vector<size_t> start((size_t(1) << Bits) + 1, 0);
            const auto digit = [shift](quint64 word) {
                return size_t(word >> shift) & ((size_t(1) << Bits) - 1);
            };
            for (size_t k = 0; k < n; ++k)
                ++start[digit(order[k]) + 1];
            for (size_t d = 1; d < start.size(); ++d)
                start[d] += start[d - 1];
            for (size_t k = 0; k < n; ++k)
                sorted[start[digit(order[k])]++] = order[k];
            std::swap(order, sorted);
        }
        std::vector<bool> noted(count, false);
        for (size_t k = 0; k < n; ++k) {
            const quint64 word = order[k];
            const int at = int(word & PositionMask) - 1;
            size_t slot = home(word);
            bool taken = false;
            for (; m_slots[slot] != 0; slot = (slot + 1) & m_mask) {
                const quint64 other = m_slots[slot];
                if ((other & TagMask) == (word & TagMask) &&
                    ids[int(other & PositionMask) - 1] == ids[at]) {
                    taken = true;
                    break;
                }
            }
            if (taken)
                continue;
            m_slots[slot] = word;
            ++m_count;
            noted[size_t(at)] = true;
        }
        return noted;
    }
    // Notes position `at`, whose id in `ids` no position noted holds.
    void insert(const QVector<QUuid> &ids, int at)
    {
        if (2 * (m_count + 1) > m_slots.size()) {
            const TZeroedWords old = std::move(m_slots);
            reserve(int(qMax(old.size(), size_t(8))));
            for (quint64 noted : old)
                if (noted != 0)
                    insert(ids, int(noted & PositionMask) - 1);
        }
        const quint64 hash = hashOf(ids[at]);
        size_t slot = home(hash);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & m_mask;
        m_slots[slot] = (hash & TagMask) | quint64(at + 1);
        ++m_count;
    }

private:
    static constexpr quint64 PositionMask = 0xffffffffULL; // the position + 1; 0: empty
    static constexpr quint64 TagMask = ~PositionMask;
    quint64 hashOf(const QUuid &id) const
    {
        quint64 halves[2];
        static_assert(sizeof halves == sizeof(QUuid), "an id is 128 bits");
        std::memcpy(halves, &id, sizeof halves);
        // The finaliser of splitmix64 over both halves and the seed.
        quint64 x = halves[0] ^ (halves[1] * 0x9e3779b97f4a7c15ULL) ^ m_seed;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return x ^ (x >> 31);
    }
    // The slot a look-up of a hash (or a slot's word: its tag is the hash's top half) starts
    // at: the hash's top bits, which a table of up to 2^32 slots takes from the tag alone.
    size_t home(quint64 hash) const { return size_t(hash >> m_shift); }
    TZeroedWords m_slots; // a tag and a position each, 0 where none
    size_t m_mask = 0;
    int m_shift = 60;
    size_t m_count = 0;
    quint64 m_seed = 0;
};

// One log as a merge sees it: the id each of its charges counts by, and where each id is.
struct Side
{
    Side(const TChargeLog &log, NameNumbers &numbers) : Log(&log), Names(numbers.of(log)) {}

    const TChargeLog *Log;
    NameNumbers::Table Names;
    QVector<QUuid> Ids;

    int count() const { return Log->ChargeStringList.count(); }
    const TChargeEntry &entry(int i) const { return Log->ChargeStringList.at(i); }
    RecordValue value(int i) const { return valueOf(entry(i), Names); }
    int find(const QUuid &id) const { return m_at.find(Ids, id); }
    bool holds(const QUuid &id) const { return find(id) >= 0; }
    // The lists of a merge mostly run side by side, a few charges apart: the position of `id`,
    // looked for first `shift` places from `i` (the distance the last one found was), and
    // `shift` follows what is found.
    int findNear(const QUuid &id, int i, int &shift) const
    {
        const int near = i + shift;
        if (near >= 0 && near < Ids.size() && Ids[near] == id)
            return near;
        const int at = find(id);
        if (at >= 0)
            shift = at - i;
        return at;
    }
    // The charge at `i` counts by `id`, which no other charge of this side holds.
    void give(int i, const QUuid &id)
    {
        Ids[i] = id;
        m_at.insert(Ids, i);
    }

    // Takes each charge's own id where no charge before it holds the same; returns the
    // positions of the charges left without one.
    QVector<int> takeOwnIds()
    {
        Ids.resize(count());
        for (int i = 0; i < count(); ++i)
            Ids[i] = entry(i).Id;
        m_at.reserve(count());
        const std::vector<bool> own = m_at.noteFirsts(Ids);
        QVector<int> missing;
        for (int i = 0; i < count(); ++i)
            if (!own[size_t(i)]) {
                Ids[i] = QUuid();
                missing.append(i);
            }
        return missing;
    }

private:
    IdIndex m_at;
};

// The charges of one side that another side's charges without ids may be matched to by their
// fields, each at most once, in list order.
class Pool
{
public:
    // `eligible(i)` tells whether the side's charge at i may be matched.
    template <typename Eligible> Pool(const Side &side, Eligible eligible) : m_side(side)
    {
        for (int i = 0; i < side.count(); ++i)
            if (eligible(i))
                m_free[side.value(i)].append(i);
    }
    // The position of the next unmatched charge with these fields, or -1.
    int takeIndex(const RecordValue &value)
    {
        auto it = m_free.find(value);
        return it == m_free.end() || it->isEmpty() ? -1 : it->takeFirst();
    }
    // Its id, or a null id.
    QUuid take(const RecordValue &value)
    {
        const int i = takeIndex(value);
        return i < 0 ? QUuid() : m_side.Ids[i];
    }

private:
    const Side &m_side;
    QHash<RecordValue, QList<int>> m_free;
};

// Gives the charges of `side` at `missing` an id: that of the first unmatched charge with the
// same fields in one of `pools`, else the one derived from their fields (as a log read without
// ids gets them: the same charge on another side has it too), else, should a charge of this
// side hold that already, a new one.
void fillMissing(Side &side, const QVector<int> &missing, const QVector<Pool *> &pools)
{
    QHash<QByteArray, int> occurrences;
    for (int i : missing) {
        const QByteArray key = ChargeIdentity::fieldsKey(*side.Log, side.entry(i));
        const int occurrence = occurrences[key]++;
        QUuid id;
        if (!pools.isEmpty()) {
            const RecordValue value = side.value(i);
            for (Pool *pool : pools) {
                id = pool->take(value);
                if (!id.isNull() && !side.holds(id))
                    break;
                id = QUuid();
            }
        }
        if (id.isNull()) {
            id = ChargeIdentity::derivedId(key, occurrence);
            while (side.holds(id))
                id = ChargeIdentity::newId();
        }
        side.give(i, id);
    }
}

// "Charge of 2025-12-09 18:00:00 (Cell 1)": a charge as a notice names it.
QString chargeName(const TChargeEntry &entry, const TChargeLog &log)
{
    return QCoreApplication::translate("LogMerge", "Charge of %1 (%2)")
        .arg(DateTimeText::formatTable(entry.Record.DateTime),
             log.BatteriesStringList.name(entry.Record.BatteryIndex));
}

// A copy of an entry of `from` for `to`: names resolved by name, the given key and identity.
TChargeEntry adopt(const TChargeEntry &entry, const TChargeLog &from, TChargeLog &to, qint32 key,
                   const QUuid &id)
{
    TChargeEntry copy = entry;
    copy.Written = {};
    TChargeRecord &r = copy.Record;
    for (TChargeLog::NameKind kind : Kinds) {
        const QString name = from.nameList(kind).name(TChargeLog::recordIndex(r, kind));
        const int position = to.nameList(kind).findOrAppend(name);
        switch (kind) {
        case TChargeLog::NameKind::PowerSource:
            r.PowerSourceIndex = position;
            break;
        case TChargeLog::NameKind::Charger:
            r.ChargerIndex = position;
            break;
        case TChargeLog::NameKind::Battery:
            r.BatteryIndex = position;
            break;
        case TChargeLog::NameKind::Termination:
            r.TerminationIndex = position;
            break;
        }
    }
    r.Key = key;
    copy.Id = id;
    return copy;
}

enum class Mode
{
    ThreeWay, // against the base: the file as last read or written
    Copy      // a copy kept apart, without a base
};

// The newest time of a change the two sides still share: a version of a charge the same on
// both, or a deletion both list at the same time. A copy's version newer than this was made
// after the two parted.
double sharedUntil(const Side &ours, const Side &theirs)
{
    double until = 0;
    for (int i = 0; i < ours.count(); ++i) {
        const int t = theirs.find(ours.Ids[i]);
        if (t >= 0 && ours.entry(i).Changed == theirs.entry(t).Changed &&
            ours.value(i) == theirs.value(t))
            until = std::max(until, ours.entry(i).Changed);
    }
    const QHash<QUuid, double> &mine = ours.Log->Deleted;
    for (auto it = theirs.Log->Deleted.cbegin(); it != theirs.Log->Deleted.cend(); ++it) {
        const auto found = mine.constFind(it.key());
        if (found != mine.cend() && *found == it.value())
            until = std::max(until, it.value());
    }
    return until;
}

// Whether a copy holds anything that is surely its own side's doing: a newer version of a
// charge, a charge this log never deleted, one edited after this log deleted it, or a deletion
// of a charge this log holds. A copy that holds none is an older state of the log (a copy from
// a desktop that changed nothing): it changes nothing, and nothing in it is a conflict.
bool bringsItsOwn(const Side &ours, const Side &theirs)
{
    const QHash<QUuid, double> &oursDeleted = ours.Log->Deleted;
    for (int t = 0; t < theirs.count(); ++t) {
        const int o = ours.find(theirs.Ids[t]);
        const double changed = theirs.entry(t).Changed;
        if (o >= 0 ? changed > ours.entry(o).Changed && theirs.value(t) != ours.value(o)
                   : !oursDeleted.contains(theirs.Ids[t]) ||
                         changed > oursDeleted.value(theirs.Ids[t]))
            return true;
    }
    for (auto it = theirs.Log->Deleted.cbegin(); it != theirs.Log->Deleted.cend(); ++it)
        if (ours.holds(it.key()))
            return true;
    return false;
}

// The merge by ids; the sides have their ids. `base` is null for a copy.
TLogMerge mergeSides(const Side *base, const Side &theirs, const Side &ours, TChargeLog &memory,
                     Mode mode)
{
    const TChargeLog &disk = *theirs.Log;
    const QHash<QUuid, double> &oursDeleted = memory.Deleted;
    const QHash<QUuid, double> &theirsDeleted = disk.Deleted;
    const double now = ChargeIdentity::nowUtc();
    const double shared = mode == Mode::Copy ? sharedUntil(ours, theirs) : 0.0;
    // Where the base holds a charge of one side, looked for near where the last one was.
    int oursShift = 0, theirsShift = 0, baseShiftOurs = 0, baseShiftTheirs = 0;
    const auto baseAt = [base](const QUuid &id, int i, int &shift) {
        return base ? base->findNear(id, i, shift) : -1;
    };
    // Whether a side's version of a charge is a change of its own.
    const auto changed = [&](const Side &side, int i, int b) {
        if (mode == Mode::Copy)
            return side.entry(i).Changed > shared;
        return b < 0 || side.value(i) != base->value(b);
    };

    TLogMerge result;
    const auto takeTheirs = [&](int o, int t) {
        result.Removed.append(ours.entry(o));
        result.Added.append(
            adopt(theirs.entry(t), disk, memory, ours.entry(o).Record.Key, theirs.Ids[t]));
    };
    for (int o = 0; o < ours.count(); ++o) {
        const QUuid &id = ours.Ids[o];
        const TChargeEntry &mine = ours.entry(o);
        const int t = theirs.findNear(id, o, theirsShift);
        const int b = baseAt(id, o, baseShiftOurs);
        if (t >= 0) {
            if (ours.value(o) == theirs.value(t))
                continue;
            const bool changedHere = changed(ours, o, b);
            const bool changedThere = changed(theirs, t, b);
            if (changedThere && !changedHere) {
                takeTheirs(o, t);
            } else if (changedHere && changedThere) {
                // Edited on both sides: the later edit stays; on a tie, this QorLog's.
                const bool theirsLater = theirs.entry(t).Changed > mine.Changed;
                if (theirsLater)
                    takeTheirs(o, t);
                (theirsLater ? result.DroppedOurs : result.DroppedTheirs) = true;
                result.Conflicts.append(
                    QCoreApplication::translate(
                        "LogMerge", "%1: edited on another desktop too: kept the later edit")
                        .arg(chargeName(theirsLater ? theirs.entry(t) : mine,
                                        theirsLater ? disk : memory)));
            } else if (!changedHere && !changedThere && theirs.entry(t).Changed > mine.Changed) {
                takeTheirs(o, t); // neither newer than what both share: the later one
            }
            continue;
        }
        // Only here: added here, or deleted there. A deletion the base lists already is one
        // this side has taken back since (an undo, a restore).
        const bool deletionKnown = theirsDeleted.contains(id);
        const bool deletedThere =
            (deletionKnown && !(mode == Mode::ThreeWay && base->Log->Deleted.contains(id))) ||
            (mode == Mode::ThreeWay && b >= 0);
        if (!deletedThere)
            continue;
        const double deletedAt = theirsDeleted.value(id, now);
        // A version newer than a copy's deletion stays whatever the two still share.
        if (!changed(ours, o, b) && (mode == Mode::ThreeWay || mine.Changed <= deletedAt)) {
            result.Removed.append(mine);
            result.Deletions.insert(id, deletedAt);
        } else if (!deletionKnown) {
            // Removed by a program that keeps no deletions, after an edit here: kept, as a
            // change QorLog made is never undone by a change it cannot see.
        } else if (mine.Changed > deletedAt) {
            result.Conflicts.append(
                QCoreApplication::translate(
                    "LogMerge", "%1: deleted on another desktop, but edited here afterwards: kept")
                    .arg(chargeName(mine, memory)));
        } else {
            result.Removed.append(mine);
            result.Deletions.insert(id, deletedAt);
            result.DroppedOurs = true;
            result.Conflicts.append(
                QCoreApplication::translate(
                    "LogMerge",
                    "%1: edited here, but deleted on another desktop afterwards: deleted")
                    .arg(chargeName(mine, memory)));
        }
    }
    for (int t = 0; t < theirs.count(); ++t) {
        const QUuid &id = theirs.Ids[t];
        if (ours.findNear(id, t, oursShift) >= 0)
            continue;
        const TChargeEntry &their = theirs.entry(t);
        const int b = baseAt(id, t, baseShiftTheirs);
        const bool deletionKnown = oursDeleted.contains(id);
        const bool deletedHere = deletionKnown || (mode == Mode::ThreeWay && b >= 0);
        bool comes = !deletedHere;
        if (deletedHere) {
            // A deletion the base listed and the file no longer does was taken back there
            // (an undo, a restore): the charge comes back.
            const bool undeletedThere = mode == Mode::ThreeWay && b < 0 &&
                                        base->Log->Deleted.contains(id) &&
                                        !theirsDeleted.contains(id);
            if (undeletedThere || (changed(theirs, t, b) && !deletionKnown)) {
                comes = true;
            } else if (changed(theirs, t, b)) {
                comes = their.Changed > oursDeleted.value(id);
                if (!comes)
                    result.DroppedTheirs = true;
                result.Conflicts.append(
                    (comes ? QCoreApplication::translate(
                                 "LogMerge",
                                 "%1: deleted here, but edited on another desktop afterwards: "
                                 "brought back")
                           : QCoreApplication::translate(
                                 "LogMerge",
                                 "%1: edited on another desktop, but deleted here afterwards: "
                                 "stays deleted"))
                        .arg(chargeName(their, disk)));
            }
        }
        if (comes)
            result.Added.append(adopt(their, disk, memory, memory.NextKey++, id));
    }
    // Deletions made there of charges this log does not hold travel on with it.
    for (auto it = theirsDeleted.cbegin(); it != theirsDeleted.cend(); ++it)
        if (!ours.holds(it.key()) && !oursDeleted.contains(it.key()) && !theirs.holds(it.key()))
            result.Deletions.insert(it.key(), it.value());
    if (mode == Mode::Copy && !bringsItsOwn(ours, theirs)) {
        result.Conflicts.clear();
        result.DroppedOurs = result.DroppedTheirs = false;
    }
    return result;
}

} // namespace

int TLogMerge::addedCount() const
{
    return int(Added.size()) - changedCount();
}

int TLogMerge::changedCount() const
{
    if (Removed.isEmpty() || Added.isEmpty())
        return 0;
    QSet<qint32> removed;
    for (const TChargeEntry &entry : Removed)
        removed.insert(entry.Record.Key);
    int changed = 0;
    for (const TChargeEntry &entry : Added)
        changed += removed.contains(entry.Record.Key) ? 1 : 0;
    return changed;
}

int TLogMerge::removedCount() const
{
    return int(Removed.size()) - changedCount();
}

namespace LogMerge {

namespace {

// The ids of the three sides of a merge against the base; charges without ids are matched by
// their fields (to the base, then to what memory added), else given derived ids.
void identifyThreeWay(Side &base, Side &theirs, Side &ours)
{
    const QVector<int> baseMissing = base.takeOwnIds();
    const QVector<int> oursMissing = ours.takeOwnIds();
    const QVector<int> theirsMissing = theirs.takeOwnIds();
    fillMissing(base, baseMissing, {});
    if (!oursMissing.isEmpty()) {
        Pool fromBase(base, [&](int i) { return !ours.holds(base.Ids[i]); });
        fillMissing(ours, oursMissing, {&fromBase});
    }
    if (!theirsMissing.isEmpty()) {
        Pool fromBase(base, [&](int i) { return !theirs.holds(base.Ids[i]); });
        Pool fromOurs(
            ours, [&](int i) { return !base.holds(ours.Ids[i]) && !theirs.holds(ours.Ids[i]); });
        fillMissing(theirs, theirsMissing, {&fromBase, &fromOurs});
    }
}

} // namespace

// The cards' part of a merge: the conflicts join the charges', and the version not kept (the
// other side's) stays in the backups.
static void takeCards(TLogMerge &merge, BatteryCardsMerge::TResult cards)
{
    merge.Cards = std::move(cards.Cards);
    merge.CardsChanged = cards.Changed;
    if (!cards.Conflicts.isEmpty()) {
        merge.Conflicts.append(cards.Conflicts);
        merge.DroppedTheirs = true;
    }
}

TLogMerge MergeOutsideChange(const TChargeLog &base, const TChargeLog &disk, TChargeLog &memory)
{
    NameNumbers numbers;
    Side baseSide(base, numbers), theirs(disk, numbers), ours(memory, numbers);
    identifyThreeWay(baseSide, theirs, ours);
    TLogMerge merge = mergeSides(&baseSide, theirs, ours, memory, Mode::ThreeWay);
    takeCards(merge, BatteryCardsMerge::threeWay(base.Cards, disk.Cards, memory.Cards));
    return merge;
}

namespace {

// A few ids, asked about very many: a bitmap of a part of their bits answers most questions
// without a look-up.
class FewIds
{
public:
    void insert(const QUuid &id)
    {
        const quint32 bit = bitOf(id);
        m_bits[bit / 64] |= quint64(1) << (bit % 64);
        m_ids.insert(id);
    }
    bool contains(const QUuid &id) const
    {
        const quint32 bit = bitOf(id);
        return (m_bits[bit / 64] >> (bit % 64) & 1) != 0 && m_ids.contains(id);
    }

private:
    static constexpr quint32 Bits = 1 << 16;
    static quint32 bitOf(const QUuid &id) { return (id.data1 ^ (quint32(id.data3) << 3)) % Bits; }
    std::vector<quint64> m_bits = std::vector<quint64>(Bits / 64, 0);
    QSet<QUuid> m_ids;
};

// Whether every charge of `list` has an id no other one has.
bool ownIds(const TChargeList &list)
{
    QSet<QUuid> seen;
    seen.reserve(list.count());
    for (int i = 0; i < list.count(); ++i) {
        const QUuid &id = list.at(i).Id;
        if (id.isNull() || seen.contains(id))
            return false;
        seen.insert(id);
    }
    return true;
}

} // namespace

std::optional<TLogMerge> MergeChangedOnly(const TChargeLog &base, const TChargeLog &disk,
                                          TChargeLog &memory,
                                          const std::vector<qint32> &diskFromBase)
{
    const TChargeList &theirs = disk.ChargeStringList;
    const TChargeList &known = base.ChargeStringList;
    if (diskFromBase.size() != size_t(theirs.count()) ||
        !memory.ChargeStringList.sharesEntriesWith(known))
        return std::nullopt;
    // Each charge said to be the base's is, as the merge compares charges; what differs goes
    // by its id, as do the deletions the file lists (the merge carries them all over).
    NameNumbers numbers;
    const NameNumbers::Table baseNames = numbers.of(base), diskNames = numbers.of(disk);
    std::vector<bool> taken(size_t(known.count()), false);
    int fresh = 0;
    for (int t = 0; t < theirs.count(); ++t) {
        const TChargeEntry &their = theirs.at(t);
        if (their.Id.isNull())
            return std::nullopt;
        const qint32 b = diskFromBase[size_t(t)];
        if (b < 0) {
            ++fresh;
            continue;
        }
        if (b >= known.count() || taken[size_t(b)])
            return std::nullopt;
        const TChargeEntry &same = known.at(b);
        if (same.Id != their.Id || same.Changed != their.Changed ||
            !sameValue(same, baseNames, their, diskNames))
            return std::nullopt;
        taken[size_t(b)] = true;
    }
    // Where much differs, the whole merge does as well.
    if (fresh > theirs.count() / 4)
        return std::nullopt;
    FewIds differ;
    for (int t = 0; t < theirs.count(); ++t)
        if (diskFromBase[size_t(t)] < 0)
            differ.insert(theirs.at(t).Id);
    for (int b = 0; b < known.count(); ++b)
        if (!taken[size_t(b)]) {
            if (known.at(b).Id.isNull())
                return std::nullopt;
            differ.insert(known.at(b).Id);
        }
    for (auto it = disk.Deleted.cbegin(); it != disk.Deleted.cend(); ++it)
        differ.insert(it.key());

    // Every charge with one of those ids, on each side: a charge of an id outside them is the
    // same on all three and comes out as it is.
    TChargeLog baseDiffering = base, diskDiffering = disk, ours = memory;
    baseDiffering.ChargeStringList = known.selected([&](int b, const TChargeEntry &entry) {
        return !taken[size_t(b)] || differ.contains(entry.Id);
    });
    diskDiffering.ChargeStringList = theirs.selected([&](int t, const TChargeEntry &entry) {
        return diskFromBase[size_t(t)] < 0 || differ.contains(entry.Id);
    });
    ours.ChargeStringList = baseDiffering.ChargeStringList;
    if (!ownIds(baseDiffering.ChargeStringList) || !ownIds(diskDiffering.ChargeStringList))
        return std::nullopt;
    TLogMerge merge = MergeOutsideChange(baseDiffering, diskDiffering, ours);
    // The names and keys the merge gave out are memory's.
    memory.takeNamesAndKeysFrom(std::move(ours));
    return merge;
}

TLogMerge MergeOutsideChange(const TChargeLog &base, const TChargeLog &disk, TChargeLog &memory,
                             const std::vector<qint32> &diskFromBase)
{
    if (std::optional<TLogMerge> merge = MergeChangedOnly(base, disk, memory, diskFromBase))
        return std::move(*merge);
    return MergeOutsideChange(base, disk, memory);
}

TLogMerge MergeCopy(const TChargeLog &copy, TChargeLog &memory)
{
    // Against no base, a charge without an id is matched to one of memory's by its fields.
    NameNumbers numbers;
    const TChargeLog none;
    Side nothing(none, numbers), theirs(copy, numbers), ours(memory, numbers);
    identifyThreeWay(nothing, theirs, ours);
    TLogMerge merge = mergeSides(nullptr, theirs, ours, memory, Mode::Copy);
    takeCards(merge, BatteryCardsMerge::copy(copy.Cards, memory.Cards));
    return merge;
}

void IdentifyCharges(TChargeLog &incoming, const TChargeLog &known, const TChargeLog *other)
{
    NameNumbers numbers;
    const TChargeLog none;
    Side baseSide(known, numbers), theirs(incoming, numbers), ours(other ? *other : none, numbers);
    identifyThreeWay(baseSide, theirs, ours);
    TChargeList &list = incoming.ChargeStringList;
    for (int i = 0; i < list.count(); ++i)
        if (list.at(i).Id != theirs.Ids[i])
            list.setIdentity(i, theirs.Ids[i], list.at(i).Id.isNull() ? 0.0 : list.at(i).Changed);
}

TLogMerge ReplaceBy(const TChargeLog &source, TChargeLog &memory)
{
    NameNumbers numbers;
    Side from(source, numbers), ours(memory, numbers);
    ours.takeOwnIds();
    from.takeOwnIds();
    const double now = ChargeIdentity::nowUtc();
    // Each charge of the source matched to one of memory: by id, else by its fields.
    QVector<int> match(from.count(), -1);
    QVector<bool> matched(ours.count(), false);
    QVector<int> unmatched;
    for (int s = 0; s < from.count(); ++s) {
        const int o = from.entry(s).Id.isNull() ? -1 : ours.find(from.Ids[s]);
        if (o >= 0 && !matched[o]) {
            match[s] = o;
            matched[o] = true;
        } else {
            unmatched.append(s);
        }
    }
    if (!unmatched.isEmpty()) {
        Pool free(ours, [&](int i) { return !matched[i]; });
        for (int s : unmatched) {
            const int o = free.takeIndex(from.value(s));
            if (o >= 0) {
                match[s] = o;
                matched[o] = true;
            }
        }
    }
    TLogMerge result;
    for (int s = 0; s < from.count(); ++s) {
        const int o = match[s];
        if (o >= 0 && from.value(s) == ours.value(o))
            continue; // stays as it is, key and all
        const qint32 key = o >= 0 ? ours.entry(o).Record.Key : memory.NextKey++;
        TChargeEntry entry = adopt(from.entry(s), source, memory, key,
                                   o >= 0 ? ours.Ids[o] : ChargeIdentity::newId());
        entry.Changed = now; // a restore is a change made now
        if (o >= 0)
            result.Removed.append(ours.entry(o));
        result.Added.append(entry);
    }
    for (int o = 0; o < ours.count(); ++o)
        if (!matched[o]) {
            result.Removed.append(ours.entry(o));
            if (!ours.Ids[o].isNull())
                result.Deletions.insert(ours.Ids[o], now);
        }
    // The copy's cards, as it had them.
    BatteryCardsMerge::TResult cards =
        BatteryCardsMerge::threeWay(memory.Cards, source.Cards, memory.Cards);
    takeCards(result, std::move(cards));
    return result;
}

QString conflictsText(const TLogMerge &merge)
{
    constexpr int Shown = 10;
    QStringList lines = merge.Conflicts.mid(0, Shown);
    if (merge.Conflicts.size() > Shown)
        lines << QCoreApplication::translate("LogMerge", "… and %n more", nullptr,
                                             int(merge.Conflicts.size()) - Shown);
    if (merge.DroppedOurs || merge.DroppedTheirs)
        lines << tr("The versions not kept are in the backups.");
    return lines.join(QLatin1Char('\n'));
}

void ApplyMerge(TChargeLog &memory, const TLogMerge &merge)
{
    if (merge.Cards)
        memory.Cards.assignKeepingView(*merge.Cards);
    if (!merge.Removed.isEmpty()) {
        QSet<qint32> keys;
        keys.reserve(merge.Removed.size());
        for (const TChargeEntry &entry : merge.Removed)
            keys.insert(entry.Record.Key);
        memory.ChargeStringList.removeIf(
            [&keys](const TChargeEntry &entry) { return keys.contains(entry.Record.Key); });
    }
    for (auto it = merge.Deletions.cbegin(); it != merge.Deletions.cend(); ++it)
        memory.Deleted.insert(it.key(), it.value());
    for (const TChargeEntry &entry : merge.Added) {
        memory.Deleted.remove(entry.Id);
        memory.ChargeStringList.append(entry);
    }
}

} // namespace LogMerge
