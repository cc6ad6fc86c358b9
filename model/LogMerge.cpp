#include "LogMerge.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>

namespace {

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

RecordValue valueOf(const TChargeEntry &entry, const NameNumbers::Table &names)
{
    RecordValue v{entry.Record.DateTime,
                  entry.Record.NominalChargeAmps,
                  entry.Record.AmpHours,
                  {},
                  entry.Text};
    for (int k = 0; k < NameKinds; ++k) {
        const int index = TChargeLog::recordIndex(entry.Record, Kinds[k]);
        const QVector<int> &positions = names.Positions[k];
        v.Names[k] = index >= 0 && index < positions.size() ? positions[index] : names.Empty[k];
    }
    return v;
}

struct Counts
{
    int Base = 0;
    int Disk = 0;
    int Memory = 0;
    int Change = 0; // copies to add (> 0) or to remove (< 0) in memory
};

// The part of the file's change that memory has not made too.
int changeFor(const Counts &c)
{
    const int file = c.Disk - c.Base;
    const int own = c.Memory - c.Base;
    int change = file;
    if (file > 0 && own > 0)
        change = std::max(0, file - own);
    else if (file < 0 && own < 0)
        change = std::min(0, file - own);
    return std::max(change, -c.Memory);
}

// A copy of a disk entry for memory: names resolved by name, the next key.
TChargeEntry adopt(const TChargeEntry &entry, const TChargeLog &from, TChargeLog &to)
{
    TChargeEntry copy = entry;
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
    r.Key = to.NextKey++;
    return copy;
}

TLogMerge merge(const TChargeList &base, const NameNumbers::Table &baseNames,
                const TChargeLog &disk, TChargeLog &memory, NameNumbers &numbers)
{
    const NameNumbers::Table diskNames = numbers.of(disk);
    const NameNumbers::Table memoryNames = numbers.of(memory);
    const TChargeList &diskList = disk.ChargeStringList;
    const TChargeList &memoryList = memory.ChargeStringList;

    QHash<RecordValue, Counts> counts;
    counts.reserve(std::max({base.count(), diskList.count(), memoryList.count()}) + 16);
    for (int i = 0; i < base.count(); ++i)
        ++counts[valueOf(base.at(i), baseNames)].Base;
    for (int i = 0; i < diskList.count(); ++i)
        ++counts[valueOf(diskList.at(i), diskNames)].Disk;
    // Memory is looked at twice (counted, then the removals picked); its values are kept.
    QVector<RecordValue> memoryValues;
    memoryValues.reserve(memoryList.count());
    for (int i = 0; i < memoryList.count(); ++i) {
        memoryValues.append(valueOf(memoryList.at(i), memoryNames));
        ++counts[memoryValues.last()].Memory;
    }
    for (Counts &c : counts)
        c.Change = changeFor(c);

    TLogMerge result;
    // Removed: the latest copies in memory of each value that went.
    for (int i = memoryList.count() - 1; i >= 0; --i) {
        Counts &c = counts[memoryValues[i]];
        if (c.Change < 0) {
            ++c.Change;
            result.Removed.append(memoryList.at(i));
        }
    }
    std::reverse(result.Removed.begin(), result.Removed.end());
    // Added: in the file's order.
    for (int i = 0; i < diskList.count(); ++i) {
        Counts &c = counts[valueOf(diskList.at(i), diskNames)];
        if (c.Change > 0) {
            --c.Change;
            result.Added.append(adopt(diskList.at(i), disk, memory));
        }
    }
    return result;
}

} // namespace

namespace LogMerge {

TLogMerge MergeOutsideChange(const TChargeLog &base, const TChargeLog &disk, TChargeLog &memory)
{
    NameNumbers numbers;
    const NameNumbers::Table baseNames = numbers.of(base);
    return merge(base.ChargeStringList, baseNames, disk, memory, numbers);
}

TLogMerge ReplaceBy(const TChargeLog &source, TChargeLog &memory)
{
    // Memory is its own base: what the source holds and memory does not comes, the rest goes.
    NameNumbers numbers;
    const NameNumbers::Table memoryNames = numbers.of(memory);
    // The charge list is only read by the merge, so it can stand for the base as it is.
    return merge(memory.ChargeStringList, memoryNames, source, memory, numbers);
}

void ApplyMerge(TChargeLog &memory, const TLogMerge &merge)
{
    if (!merge.Removed.isEmpty()) {
        QSet<qint32> keys;
        keys.reserve(merge.Removed.size());
        for (const TChargeEntry &entry : merge.Removed)
            keys.insert(entry.Record.Key);
        memory.ChargeStringList.removeIf(
            [&keys](const TChargeEntry &entry) { return keys.contains(entry.Record.Key); });
    }
    for (const TChargeEntry &entry : merge.Added)
        memory.ChargeStringList.append(entry.Record, entry.Text);
}

} // namespace LogMerge
