#pragma once

#include "NameList.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <string>

// What a battery is, beyond its name: the card the user fills in for a pack. Every value may be
// unknown; an unknown number is 0, an unknown date absent, an unknown chemistry Unknown.
enum class TChemistry
{
    Unknown,
    LiPo,
    LiHV,
    LiIon,
    LiFePO4,
    NiMH,
    NiCd,
    Lead,
    Other
};

enum class TBatteryState
{
    InUse,
    Stored,
    Retired
};

struct TBatteryCard
{
    QString Name;
    double RatedCapacity = 0; // Ah
    int Cells = 0;            // in series
    TChemistry Chemistry = TChemistry::Unknown;
    int RatedCycles = 0;
    std::optional<double> Bought; // a date-time as in a charge
    QString Label;                // serial number or label
    TBatteryState State = TBatteryState::InUse;
    QString Note;

    // Whether the card says nothing beyond the name (such a card is not kept).
    bool isBlank() const;
    bool operator==(const TBatteryCard &other) const;
    bool operator!=(const TBatteryCard &other) const { return !(*this == other); }
};

// When a battery counts as needing something; the settings of one log, stored with its cards.
struct TDueSettings
{
    int LeftFullDays = 3;           // a lithium pack charged full and left so
    int UnusedDays = 90;            // a pack not used
    int EndOfLifeCyclePercent = 80; // of the rated cycles
    int EndOfLifeWithinDays = 30;   // the capacity trend reaching the end of life so soon
    int TestCycles = 50;            // cycles without a capacity measurement
    int TestDays = 180;             // days without one

    bool operator==(const TDueSettings &other) const;
    bool operator!=(const TDueSettings &other) const { return !(*this == other); }
};

// The cards of a log, in the order they were made, found by name without regard to letter case
// (as the battery list compares names).
class TBatteryCards
{
public:
    const QVector<TBatteryCard> &cards() const { return m_cards; }
    bool isEmpty() const { return m_cards.isEmpty(); }
    const TBatteryCard *find(const QString &name) const;
    // Puts `card` in place of the one of its name, or adds it; a blank card removes it.
    void set(const TBatteryCard &card);
    bool remove(const QString &name);
    bool isRetired(const QString &name) const;

    TDueSettings Due;
    // Whether retired batteries are shown in the chart and the overview: a view setting, neither
    // stored nor compared.
    bool ShowRetired = false;

    // Takes the cards and settings of `other`, keeping this one's view setting.
    void assignKeepingView(const TBatteryCards &other);
    // Whether a battery of this name is left out of the chart and the overview.
    bool hides(const QString &name) const { return !ShowRetired && isRetired(name); }

    bool operator==(const TBatteryCards &other) const;
    bool operator!=(const TBatteryCards &other) const { return !(*this == other); }

private:
    int indexOf(const QString &name) const;
    QVector<TBatteryCard> m_cards;
    // Case-folded name -> position, made again at the first look-up after a change.
    mutable QHash<QString, int> m_index;
    mutable bool m_indexValid = false;
};

// A change of the cards together with battery names renamed in place, as an undo step keeps it.
struct TCardsChange
{
    struct Rename
    {
        int Index = 0;
        QString From;
        QString To;
    };
    TBatteryCards Before;
    TBatteryCards After;
    QVector<Rename> Renames;

    void undo(TBatteryCards &cards, TNameList &batteries) const;
    void redo(TBatteryCards &cards, TNameList &batteries) const;
};

namespace BatteryCards {

// The names the log file uses, and the captions shown (translated).
QString chemistryKey(TChemistry chemistry);
TChemistry chemistryOfKey(const QString &key); // an unknown key: Other; empty: Unknown
QString chemistryCaption(TChemistry chemistry);
QString stateKey(TBatteryState state);
TBatteryState stateOfKey(const QString &key); // an unknown key: InUse
QString stateCaption(TBatteryState state);
bool isLithium(TChemistry chemistry);

// Refuses a card the log file could not give back: non-finite or negative numbers, texts with
// characters XML cannot hold or longer than the longest text, an empty name. Throws QorLogError.
void checkStorable(const TBatteryCard &card);

// The log file's Batteries element (with its line break and indentation), or nothing when there
// are no cards and the settings are the defaults: then the file is exactly as without cards.
QByteArray writeElement(const TBatteryCards &cards, char decimalPoint);
// Reading it: the settings from the element's attributes (name, value pairs ending in a null),
// and one field of a card from its element's name and UTF-8 text. A number that is none throws
// QorLogError; a field of another name is ignored.
void readSettings(TDueSettings &due, const char **attributes);
void readField(TBatteryCard &card, const char *name, const std::string &text);

// The chemistry's voltages per cell: full and storage, or none for an unknown chemistry.
struct TCellVoltages
{
    double Full = 0;
    double Storage = 0;
};
std::optional<TCellVoltages> cellVoltages(TChemistry chemistry);
// A charger log's final voltage of the pack judged per cell against the chemistry ("4.21 V per
// cell: full", "4.31 V per cell: above full (4.20 V)"); empty when cells or chemistry are not
// known.
QString finalVoltageCheck(const TBatteryCard &card, double finalVoltage);

} // namespace BatteryCards
