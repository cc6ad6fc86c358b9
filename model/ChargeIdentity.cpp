#include "ChargeIdentity.h"

#include "ChargeLog.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <cstring>
#include <iterator>

namespace {

// The namespace of derived ids: any fixed value, never to change.
const QUuid DerivedNamespace(0x5b0e7c3a, 0x91d2, 0x4f6e, 0xa8, 0x17, 0x3c, 0x64, 0xe2, 0x0b, 0x9d,
                             0x51);

void appendNumber(QByteArray &key, double value)
{
    if (value == 0.0)
        value = 0.0; // -0 as 0
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    key.append(bytes, sizeof bytes);
}

} // namespace

namespace ChargeIdentity {

QUuid newId()
{
    return QUuid::createUuid();
}

double nowUtc()
{
    // Days since 1899-12-30 00:00 UTC; the Unix epoch is day 25569.
    return double(QDateTime::currentMSecsSinceEpoch()) / 86400000.0 + 25569.0;
}

QByteArray fieldsKey(const TChargeLog &log, const TChargeEntry &entry)
{
    const TChargeRecord &r = entry.Record;
    QByteArray key;
    key.reserve(64 + entry.Text.size());
    appendNumber(key, r.DateTime);
    appendNumber(key, r.NominalChargeAmps);
    appendNumber(key, r.AmpHours);
    for (const QString &name :
         {log.PowerSourcesStringList.name(r.PowerSourceIndex),
          log.ChargersStringList.name(r.ChargerIndex), log.BatteriesStringList.name(r.BatteryIndex),
          log.TerminationsStringList.name(r.TerminationIndex)}) {
        key.append(name.toCaseFolded().toUtf8());
        key.append('\0');
    }
    key.append(entry.Text.toUtf8());
    return key;
}

QUuid derivedId(const QByteArray &fieldsKey, int occurrence)
{
    QByteArray name = fieldsKey;
    name.append(QByteArray::number(occurrence)).append('#');
    return QUuid::createUuidV5(DerivedNamespace, name);
}

int assignMissing(TChargeLog &log)
{
    TChargeList &list = log.ChargeStringList;
    QSet<QUuid> seen;
    seen.reserve(list.count());
    QHash<QByteArray, int> occurrences;
    int assigned = 0;
    for (int i = 0; i < list.count(); ++i) {
        const QUuid id = list.at(i).Id;
        if (!id.isNull() && !seen.contains(id)) {
            seen.insert(id);
            continue;
        }
        const QByteArray key = fieldsKey(log, list.at(i));
        QUuid derived = derivedId(key, occurrences[key]++);
        while (seen.contains(derived)) // only a charge with that very id given in the file
            derived = newId();
        seen.insert(derived);
        list.setIdentity(i, derived, id.isNull() ? 0.0 : list.at(i).Changed);
        ++assigned;
    }
    for (auto it = log.Deleted.begin(); it != log.Deleted.end();)
        it = seen.contains(it.key()) ? log.Deleted.erase(it) : std::next(it);
    return assigned;
}

} // namespace ChargeIdentity
