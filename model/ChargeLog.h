#pragma once

#include "BatteryCards.h"
#include "ChargeList.h"
#include "ConstantsAndTypes.h"
#include "LogFileIdentity.h"
#include "NameList.h"

#include <QHash>
#include <QStringList>
#include <QUuid>

// The file the last save of a log wrote, as far as a later save needs it to copy the bytes of
// unchanged entries from it: the file must still be that very file, the numbers must take the
// same decimal separator and every name an entry may refer to must still be the same.
struct TWrittenLog
{
    quint32 Generation = 0; // 0: nothing written yet
    QString Path;
    TLogFileIdentity Identity;
    char DecimalPoint = '.';
    QStringList Names[4]; // power sources, chargers, batteries, terminations
};

// The whole log in memory: the four name lists with their defaults, the charge list, the
// key counter and the three series colours that the log file stores.
class TChargeLog
{
public:
    TChargeLog(); // default names, no records, NextKey 1, start colours

    TNameList PowerSourcesStringList;
    TNameList ChargersStringList;
    TNameList BatteriesStringList;
    TNameList TerminationsStringList;
    TChargeList ChargeStringList;
    qint32 NextKey = 1;
    // The ids of deleted charges with the UTC day count of their deletion, so that a deletion
    // travels with the log to every copy of it (another desktop, a sync tool's conflict copy).
    QHash<QUuid, double> Deleted;
    // The batteries' cards and the settings of what is due.
    TBatteryCards Cards;

    qint32 CyclesSeriesColour = QorLog::DefaultCyclesSeriesColour;
    qint32 ChargeSeriesColour = QorLog::DefaultChargeSeriesColour;
    qint32 DischargeSeriesColour = QorLog::DefaultDischargeSeriesColour;

    // What the last save wrote (kept by the writer).
    TWrittenLog LastWritten;

    // Whether both logs hold the same charges in the same order (their fields, names by their
    // texts, texts and identities), the same deletions, cards and colours: what a save of
    // either would write. Keys and name lists of their own do not count.
    bool holdsTheSameAs(const TChargeLog &other) const;
    // From a log just read from its file (`read`, which knows where its charges stand there):
    // each charge of this log that stands there exactly as it is here gets that place, so that
    // the next save copies it from that file. Returns how many did.
    int takePlacesFrom(const TChargeLog &read);
    // The name lists and the key counter of `worked`, a copy of this log that a merge worked on
    // beside it (its charges stay where they are).
    void takeNamesAndKeysFrom(TChargeLog &&worked);
    // The same in two steps: the places, which only reads both logs (a thread beside the window
    // may work them out), and taking them.
    std::vector<TWrittenPlace> placesIn(const TChargeLog &read) const;
    int takePlaces(const TChargeLog &read, const std::vector<TWrittenPlace> &places);

    static QStringList defaultPowerSources();
    static QStringList defaultChargers();
    static QStringList defaultTerminations();

    // Appends a copy of `record` with the next key; returns that key.
    qint32 AppendChargeRecord(const TChargeRecord &record, const QString &comment,
                              const QString &chargerLogFileName);
    // Overwrites the record holding `key` (the key stays); false when no record has it.
    bool ReplaceChargeRecord(qint32 key, const TChargeRecord &record, const QString &comment,
                             const QString &chargerLogFileName);
    int FindChargeIndex(qint32 key) const { return ChargeStringList.FindChargeIndex(key); }
    void ClearChargeList() { ChargeStringList.clear(); }

    // The model half of adding or editing a charge: checks that every value can be stored
    // faithfully (throws QorLogError before anything changes), resolves the four names
    // (trimmed, case-insensitive, appended when new) and appends (key < 0) or replaces.
    // A new charge gets a new id; both get the time now as their last change (an edit that
    // changes nothing keeps its time). Returns the key of the record stored, or 0 when `key`
    // named no record any more.
    qint32 StoreChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                             const QString &charger, const QString &battery,
                             double nominalChargeAmps, double ampHours, const QString &termination,
                             const QString &comment, const QString &chargerLogFileName);

    // Refuses values that the log file could not give back unchanged: non-finite numbers and
    // text with characters XML 1.0 cannot hold; and texts longer than QorLog::MaxTextLength.
    // Throws QorLogError naming the field.
    static void CheckStorable(double dateTime, const QString &powerSource, const QString &charger,
                              const QString &battery, double nominalChargeAmps, double ampHours,
                              const QString &termination, const QString &comment,
                              const QString &chargerLogFileName);
    // What in a text the log file could not hold: a control character other than tab, line
    // feed and carriage return, or another character XML 1.0 has no place for (U+FFFE,
    // U+FFFF, a surrogate without its partner).
    enum class Unstorable
    {
        None,
        ControlCharacter,
        Character
    };
    static Unstorable firstUnstorable(const QString &text);
    static bool isXmlSafe(const QString &text) { return firstUnstorable(text) == Unstorable::None; }

    // A record is shown when none of its four names is marked.
    bool isShown(const TChargeRecord &record) const;
    int shownCount() const;
    // A record from its names, resolved (trimmed, case-insensitive, appended when new) into
    // the four name lists; the key is 0.
    TChargeRecord recordFromNames(double dateTime, const QString &powerSource,
                                  const QString &charger, const QString &battery,
                                  double nominalChargeAmps, double ampHours,
                                  const QString &termination);

    enum class NameKind
    {
        PowerSource,
        Charger,
        Battery,
        Termination
    };
    TNameList &nameList(NameKind kind);
    const TNameList &nameList(NameKind kind) const;
    static qint32 recordIndex(const TChargeRecord &record, NameKind kind);

    // Removes every record whose name of `kind` is marked (their ids go to Deleted) and renames
    // the marked names "Deleted" (they keep their position and mark). Returns how many records
    // went.
    int PurgeMarked(NameKind kind);

    // Deletions are kept this long, and never more of them than this many per charge (or
    // DeletedKeptAtLeast, whichever is more): a log must not grow by what it no longer holds.
    static constexpr int DeletedKeptDays = 400;
    static constexpr int DeletedKeptPerCharge = 2;
    static constexpr int DeletedKeptAtLeast = 1000;
    // How many deletions the log keeps for the charges it holds now.
    qsizetype deletionsKept() const;
    // Drops deletions older than DeletedKeptDays before `nowUtc` and, beyond deletionsKept(),
    // the oldest (of equal times, the ids sorting first). Returns how many went.
    int PruneDeleted(double nowUtc);

    // The power source of the record in the last entry (the latest once sorted), or an empty
    // text and false when the list is empty.
    bool previousPowerSource(QString &name) const;
};
