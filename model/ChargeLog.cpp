#include "ChargeLog.h"

#include "ChargeIdentity.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

TChargeLog::TChargeLog()
    : PowerSourcesStringList(defaultPowerSources()), ChargersStringList(defaultChargers()),
      TerminationsStringList(defaultTerminations())
{
}

namespace {

// Compares entries of two logs as a save writes them: fields, names by their texts, texts and
// identities.
class EntryComparison
{
public:
    EntryComparison(const TChargeLog &mine, const TChargeLog &theirs)
    {
        for (int l = 0; l < 4; ++l) {
            const TNameList &from = mine.nameList(Kinds[l]), &to = theirs.nameList(Kinds[l]);
            QHash<QString, int> places;
            for (int i = to.count() - 1; i >= 0; --i)
                places.insert(to.name(i), i);
            m_maps[l].resize(size_t(from.count()));
            for (int i = 0; i < from.count(); ++i)
                m_maps[l][size_t(i)] = places.value(from.name(i), -1);
        }
    }
    bool same(const TChargeEntry &a, const TChargeEntry &b) const
    {
        const TChargeRecord &r = a.Record, &s = b.Record;
        return a.Id == b.Id && sameBits(a.Changed, b.Changed) && sameBits(r.DateTime, s.DateTime) &&
               sameBits(r.NominalChargeAmps, s.NominalChargeAmps) &&
               sameBits(r.AmpHours, s.AmpHours) &&
               sameName(0, r.PowerSourceIndex, s.PowerSourceIndex) &&
               sameName(1, r.ChargerIndex, s.ChargerIndex) &&
               sameName(2, r.BatteryIndex, s.BatteryIndex) &&
               sameName(3, r.TerminationIndex, s.TerminationIndex) && a.Text == b.Text;
    }

private:
    static constexpr TChargeLog::NameKind Kinds[4] = {
        TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger,
        TChargeLog::NameKind::Battery, TChargeLog::NameKind::Termination};
    // Numbers as they are written: -0 is not 0.
    static bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
    bool sameName(int list, qint32 index, qint32 otherIndex) const
    {
        return index >= 0 && size_t(index) < m_maps[list].size() &&
               m_maps[list][size_t(index)] == otherIndex;
    }
    // Each name of the first log's lists as the other's list places it (-1: it has none).
    std::vector<int> m_maps[4];
};

} // namespace

bool TChargeLog::holdsTheSameAs(const TChargeLog &other) const
{
    const TChargeList &mine = ChargeStringList, &theirs = other.ChargeStringList;
    if (mine.count() != theirs.count() || CyclesSeriesColour != other.CyclesSeriesColour ||
        ChargeSeriesColour != other.ChargeSeriesColour ||
        DischargeSeriesColour != other.DischargeSeriesColour || Deleted != other.Deleted ||
        !(Cards == other.Cards))
        return false;
    const EntryComparison comparison(*this, other);
    for (int i = 0; i < mine.count(); ++i)
        if (!comparison.same(mine.at(i), theirs.at(i)))
            return false;
    return true;
}

std::vector<TWrittenPlace> TChargeLog::placesIn(const TChargeLog &read) const
{
    std::vector<TWrittenPlace> places(size_t(ChargeStringList.count()));
    const TWrittenLog &file = read.LastWritten;
    if (file.Generation == 0)
        return places;
    const EntryComparison comparison(*this, read);
    const TChargeList &theirs = read.ChargeStringList;
    const auto take = [&](int i, int j) {
        const TChargeEntry &mine = ChargeStringList.at(i), &same = theirs.at(j);
        if (!mine.Id.isNull() && same.Written.Generation == file.Generation &&
            comparison.same(mine, same))
            places[size_t(i)] = same.Written;
    };
    // The two lists mostly run side by side, a few charges apart: each charge is looked for a
    // little way around where the one before it was found, and only those found nowhere near
    // (an edit a merge moved to the end, say) are looked up afterwards.
    constexpr int Near = 64;
    std::vector<int> far;
    int shift = 0;
    for (int i = 0; i < ChargeStringList.count(); ++i) {
        const QUuid &id = ChargeStringList.at(i).Id;
        int j = i + shift;
        if (j < 0 || j >= theirs.count() || theirs.at(j).Id != id) {
            j = -1;
            const int around = i + shift;
            for (int k = qMax(0, around - Near); k < qMin(theirs.count(), around + Near); ++k)
                if (theirs.at(k).Id == id) {
                    j = k;
                    break;
                }
            if (j < 0) {
                far.push_back(i);
                continue;
            }
            shift = j - i;
        }
        take(i, j);
    }
    // A few are looked for one by one; more by an index of the ids.
    constexpr size_t FewFar = 16;
    QHash<QUuid, int> byId;
    if (far.size() > FewFar)
        for (int k = 0; k < theirs.count(); ++k)
            byId.insert(theirs.at(k).Id, k);
    for (int i : far) {
        const QUuid &id = ChargeStringList.at(i).Id;
        int j = -1;
        if (far.size() > FewFar) {
            j = byId.value(id, -1);
        } else {
            for (int k = theirs.count() - 1; k >= 0 && j < 0; --k)
                if (theirs.at(k).Id == id)
                    j = k;
        }
        if (j >= 0)
            take(i, j);
    }
    return places;
}

int TChargeLog::takePlaces(const TChargeLog &read, const std::vector<TWrittenPlace> &places)
{
    if (read.LastWritten.Generation == 0 || places.size() != size_t(ChargeStringList.count()))
        return 0;
    ChargeStringList.setWrittenPlaces(places);
    LastWritten = read.LastWritten;
    for (int l = 0; l < 4; ++l)
        LastWritten.Names[l] = nameList(NameKind(l)).names();
    return int(std::count_if(places.cbegin(), places.cend(),
                             [](const TWrittenPlace &place) { return place.Generation != 0; }));
}

void TChargeLog::takeNamesAndKeysFrom(TChargeLog &&worked)
{
    PowerSourcesStringList = std::move(worked.PowerSourcesStringList);
    ChargersStringList = std::move(worked.ChargersStringList);
    BatteriesStringList = std::move(worked.BatteriesStringList);
    TerminationsStringList = std::move(worked.TerminationsStringList);
    NextKey = worked.NextKey;
}

int TChargeLog::takePlacesFrom(const TChargeLog &read)
{
    return takePlaces(read, placesIn(read));
}

QStringList TChargeLog::defaultPowerSources()
{
    return {QStringLiteral("PSU"), QStringLiteral("Pb"), QStringLiteral("Mains")};
}

QStringList TChargeLog::defaultChargers()
{
    return {QStringLiteral("QorA1"),   QStringLiteral("QorB1_1"), QStringLiteral("QorB1_2"),
            QStringLiteral("QorC1_1"), QStringLiteral("QorC1_2"), QStringLiteral("QorC2_1"),
            QStringLiteral("QorC2_2"), QStringLiteral("QorC3_1"), QStringLiteral("QorC3_2"),
            QStringLiteral("QorD1_1"), QStringLiteral("QorD1_2"), QStringLiteral("QorD3_1"),
            QStringLiteral("QorD3_2")};
}

QStringList TChargeLog::defaultTerminations()
{
    return {QStringLiteral("Normal"), QStringLiteral("Interrupted"), QStringLiteral("Error")};
}

qint32 TChargeLog::AppendChargeRecord(const TChargeRecord &record, const QString &comment,
                                      const QString &chargerLogFileName)
{
    TChargeRecord stored = record;
    stored.Key = NextKey++;
    ChargeStringList.append(stored, TChargeList::JoinChargeText(chargerLogFileName, comment));
    return stored.Key;
}

bool TChargeLog::ReplaceChargeRecord(qint32 key, const TChargeRecord &record,
                                     const QString &comment, const QString &chargerLogFileName)
{
    const int index = FindChargeIndex(key);
    if (index < 0)
        return false;
    TChargeRecord stored = record;
    stored.Key = key;
    ChargeStringList.replace(index, stored,
                             TChargeList::JoinChargeText(chargerLogFileName, comment));
    return true;
}

qint32 TChargeLog::StoreChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                                     const QString &charger, const QString &battery,
                                     double nominalChargeAmps, double ampHours,
                                     const QString &termination, const QString &comment,
                                     const QString &chargerLogFileName)
{
    CheckStorable(dateTime, powerSource, charger, battery, nominalChargeAmps, ampHours, termination,
                  comment, chargerLogFileName);
    const TChargeRecord record = recordFromNames(dateTime, powerSource, charger, battery,
                                                 nominalChargeAmps, ampHours, termination);
    const double now = ChargeIdentity::nowUtc();
    if (key < 0) {
        const qint32 added = AppendChargeRecord(record, comment, chargerLogFileName);
        ChargeStringList.setIdentity(ChargeStringList.count() - 1, ChargeIdentity::newId(), now);
        return added;
    }
    const int index = FindChargeIndex(key);
    if (index < 0)
        return 0;
    const TChargeEntry before = ChargeStringList.at(index);
    ReplaceChargeRecord(key, record, comment, chargerLogFileName);
    const TChargeEntry &after = ChargeStringList.at(index);
    if (after.Record != before.Record || after.Text != before.Text)
        ChargeStringList.setIdentity(index,
                                     before.Id.isNull() ? ChargeIdentity::newId() : before.Id, now);
    return key;
}

TChargeRecord TChargeLog::recordFromNames(double dateTime, const QString &powerSource,
                                          const QString &charger, const QString &battery,
                                          double nominalChargeAmps, double ampHours,
                                          const QString &termination)
{
    TChargeRecord record;
    record.DateTime = dateTime;
    record.PowerSourceIndex = PowerSourcesStringList.ResolveNameIndex(powerSource);
    record.ChargerIndex = ChargersStringList.ResolveNameIndex(charger);
    record.BatteryIndex = BatteriesStringList.ResolveNameIndex(battery);
    record.NominalChargeAmps = nominalChargeAmps;
    record.AmpHours = ampHours;
    record.TerminationIndex = TerminationsStringList.ResolveNameIndex(termination);
    return record;
}

int TChargeLog::shownCount() const
{
    int shown = 0;
    for (int i = 0; i < ChargeStringList.count(); ++i)
        shown += isShown(ChargeStringList.record(i)) ? 1 : 0;
    return shown;
}

TChargeLog::Unstorable TChargeLog::firstUnstorable(const QString &text)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20) {
            if (c != 0x09 && c != 0x0A && c != 0x0D)
                return Unstorable::ControlCharacter;
        } else if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= size || !QChar::isLowSurrogate(text.at(i + 1).unicode()))
                return Unstorable::Character;
            ++i;
        } else if (QChar::isLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            return Unstorable::Character;
        }
    }
    return Unstorable::None;
}

static void checkNumber(double value, const char *field)
{
    if (!std::isfinite(value))
        throw QorLogError(
            QCoreApplication::translate("TChargeLog", "%1 must be a finite number, not %2")
                .arg(QLatin1String(field),
                     std::isnan(value)
                         ? QStringLiteral("NaN")
                         : (value > 0 ? QStringLiteral("infinity") : QStringLiteral("-infinity"))));
}

static void checkText(const QString &text, const char *field)
{
    if (text.size() > QorLog::MaxTextLength) {
        // Grouped digits read better; the C locale groups nothing, so English stands in.
        QLocale numbers;
        if (numbers.language() == QLocale::C)
            numbers = QLocale(QLocale::English, QLocale::UnitedStates);
        throw QorLogError(
            QCoreApplication::translate("TChargeLog", "%1 is longer than %2 characters")
                .arg(QLatin1String(field), numbers.toString(QorLog::MaxTextLength)));
    }
    switch (TChargeLog::firstUnstorable(text)) {
    case TChargeLog::Unstorable::None:
        return;
    case TChargeLog::Unstorable::ControlCharacter:
        throw QorLogError(QCoreApplication::translate(
                              "TChargeLog", "%1 contains a control character that cannot be "
                                            "stored in the log file")
                              .arg(QLatin1String(field)));
    case TChargeLog::Unstorable::Character:
        throw QorLogError(QCoreApplication::translate(
                              "TChargeLog", "%1 contains a character that cannot be stored in "
                                            "the log file")
                              .arg(QLatin1String(field)));
    }
}

void TChargeLog::CheckStorable(double dateTime, const QString &powerSource, const QString &charger,
                               const QString &battery, double nominalChargeAmps, double ampHours,
                               const QString &termination, const QString &comment,
                               const QString &chargerLogFileName)
{
    checkNumber(dateTime, "ChargeDateTime");
    // The names are stored trimmed of codes 0 to 32 at both ends: only what stays is checked.
    checkText(TNameList::trimmedName(powerSource), "PowerSource");
    checkText(TNameList::trimmedName(charger), "Charger");
    checkText(TNameList::trimmedName(battery), "Battery");
    checkNumber(nominalChargeAmps, "NominalChargeAmps");
    checkNumber(ampHours, "AmpHours");
    checkText(TNameList::trimmedName(termination), "Termination");
    checkText(comment, "Comment");
    checkText(chargerLogFileName, "ChargerLogFileName");
    // The log file name and the comment share one text, split at the first "*".
    if (chargerLogFileName.contains(QLatin1Char('*')))
        throw QorLogError(
            QCoreApplication::translate("TChargeLog", "ChargerLogFileName cannot contain \"*\""));
}

bool TChargeLog::isShown(const TChargeRecord &record) const
{
    return !PowerSourcesStringList.isMarked(record.PowerSourceIndex) &&
           !ChargersStringList.isMarked(record.ChargerIndex) &&
           !BatteriesStringList.isMarked(record.BatteryIndex) &&
           !TerminationsStringList.isMarked(record.TerminationIndex);
}

TNameList &TChargeLog::nameList(NameKind kind)
{
    return const_cast<TNameList &>(static_cast<const TChargeLog *>(this)->nameList(kind));
}

const TNameList &TChargeLog::nameList(NameKind kind) const
{
    switch (kind) {
    case NameKind::PowerSource:
        return PowerSourcesStringList;
    case NameKind::Charger:
        return ChargersStringList;
    case NameKind::Battery:
        return BatteriesStringList;
    case NameKind::Termination:
        break;
    }
    return TerminationsStringList;
}

qint32 TChargeLog::recordIndex(const TChargeRecord &record, NameKind kind)
{
    switch (kind) {
    case NameKind::PowerSource:
        return record.PowerSourceIndex;
    case NameKind::Charger:
        return record.ChargerIndex;
    case NameKind::Battery:
        return record.BatteryIndex;
    case NameKind::Termination:
        break;
    }
    return record.TerminationIndex;
}

int TChargeLog::PurgeMarked(NameKind kind)
{
    TNameList &list = nameList(kind);
    // Purged for good: deleted, so that no other copy of the log brings them back.
    const double now = ChargeIdentity::nowUtc();
    // Gathered first, so that the deletions' hash grows once, not once for every doubling.
    std::vector<QUuid> ids;
    const int removed = ChargeStringList.removeIf([&](const TChargeEntry &entry) {
        if (!list.isMarked(recordIndex(entry.Record, kind)))
            return false;
        if (!entry.Id.isNull())
            ids.push_back(entry.Id);
        return true;
    });
    // Beyond the newest the log keeps, no new deletion survives the pruning of the next save
    // (they are all of this moment, so the ids sorting last are those kept): a purge of a
    // million charges puts a thousand into the hash, not a million.
    const qsizetype kept = deletionsKept();
    auto from = ids.begin();
    if (qsizetype(ids.size()) > kept) {
        from = ids.end() - kept;
        std::nth_element(ids.begin(), from, ids.end());
    }
    Deleted.reserve(Deleted.size() + qsizetype(ids.end() - from));
    for (auto it = from; it != ids.end(); ++it)
        Deleted.insert(*it, now);
    for (int i = 0; i < list.count(); ++i)
        if (list.isMarked(i))
            list.rename(i, QString::fromLatin1(QorLog::DeletedName));
    return removed;
}

qsizetype TChargeLog::deletionsKept() const
{
    return qMax<qsizetype>(DeletedKeptAtLeast,
                           qsizetype(DeletedKeptPerCharge) * ChargeStringList.count());
}

int TChargeLog::PruneDeleted(double nowUtc)
{
    const int before = int(Deleted.size());
    if (Deleted.isEmpty())
        return 0;
    // Looked at first without changing anything: the list is shared with the log as last
    // saved, and a change would copy it at every save.
    const double oldest = nowUtc - DeletedKeptDays;
    const auto tooOld = [oldest](double when) { return when < oldest; };
    if (std::any_of(Deleted.cbegin(), Deleted.cend(), tooOld))
        Deleted.removeIf([&](const auto &it) { return tooOld(it.value()); });
    const qsizetype kept = deletionsKept();
    if (Deleted.size() > kept) {
        // The newest are kept; of equal times, the ids sorting last. Made anew from those, as
        // most go when so many are too many (a deletion of all charges).
        std::vector<std::pair<double, QUuid>> byTime;
        byTime.reserve(size_t(Deleted.size()));
        for (auto it = Deleted.cbegin(); it != Deleted.cend(); ++it)
            byTime.emplace_back(it.value(), it.key());
        const auto cut = byTime.end() - kept;
        std::nth_element(byTime.begin(), cut, byTime.end());
        QHash<QUuid, double> newest;
        newest.reserve(kept);
        for (auto it = cut; it != byTime.end(); ++it)
            newest.insert(it->second, it->first);
        Deleted = std::move(newest);
    }
    return before - int(Deleted.size());
}

bool TChargeLog::previousPowerSource(QString &name) const
{
    if (ChargeStringList.isEmpty())
        return false;
    name = PowerSourcesStringList.name(
        ChargeStringList.record(ChargeStringList.count() - 1).PowerSourceIndex);
    return true;
}
