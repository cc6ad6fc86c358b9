#include "BatteryCards.h"

#include "ChargeLog.h"
#include "ConstantsAndTypes.h"
#include "NumberText.h"
#include "XmlNames.h"

#include <QCoreApplication>

#include <cmath>
#include <cstring>
#include <iterator>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BatteryCards", text);
}

using XmlNames::nameIs;

struct ChemistryName
{
    TChemistry Chemistry;
    const char *Key;
    const char *Caption;
};

const ChemistryName chemistryNames[] = {
    {TChemistry::LiPo, "LiPo", QT_TRANSLATE_NOOP("BatteryCards", "LiPo")},
    {TChemistry::LiHV, "LiHV", QT_TRANSLATE_NOOP("BatteryCards", "LiHV")},
    {TChemistry::LiIon, "Li-ion", QT_TRANSLATE_NOOP("BatteryCards", "Li-ion")},
    {TChemistry::LiFePO4, "LiFePO4", QT_TRANSLATE_NOOP("BatteryCards", "LiFePO4")},
    {TChemistry::NiMH, "NiMH", QT_TRANSLATE_NOOP("BatteryCards", "NiMH")},
    {TChemistry::NiCd, "NiCd", QT_TRANSLATE_NOOP("BatteryCards", "NiCd")},
    {TChemistry::Lead, "Lead", QT_TRANSLATE_NOOP("BatteryCards", "Lead-acid")},
    {TChemistry::Other, "Other", QT_TRANSLATE_NOOP("BatteryCards", "Other")},
};

struct StateName
{
    TBatteryState State;
    const char *Key;
    const char *Caption;
};

const StateName stateNames[] = {
    {TBatteryState::InUse, "InUse", QT_TRANSLATE_NOOP("BatteryCards", "In use")},
    {TBatteryState::Stored, "Stored", QT_TRANSLATE_NOOP("BatteryCards", "Stored")},
    {TBatteryState::Retired, "Retired", QT_TRANSLATE_NOOP("BatteryCards", "Retired")},
};

// Element content: "<", ">", "&", '"' and a carriage return (which a parser would turn into a
// line feed) as references.
QByteArray contentOf(const QString &text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '&':
            out.append("&amp;");
            break;
        case '"':
            out.append("&quot;");
            break;
        case '\r':
            out.append("&#13;");
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

QByteArray numberText(double value, char decimalPoint)
{
    char text[48];
    return QByteArray(text, NumberText::formatExact(value, decimalPoint, text));
}

// The settings as attributes of the Batteries element, in the order written.
struct SettingName
{
    const char *Name;
    int TDueSettings::*Value;
};

const SettingName settingNames[] = {
    {"LeftFullDays", &TDueSettings::LeftFullDays},
    {"UnusedDays", &TDueSettings::UnusedDays},
    {"EndOfLifeCyclePercent", &TDueSettings::EndOfLifeCyclePercent},
    {"EndOfLifeWithinDays", &TDueSettings::EndOfLifeWithinDays},
    {"TestCycles", &TDueSettings::TestCycles},
    {"TestDays", &TDueSettings::TestDays},
};

QString foldKey(const QString &name)
{
    return name.toCaseFolded();
}

} // namespace

bool TBatteryCard::isBlank() const
{
    TBatteryCard blank;
    blank.Name = Name;
    return *this == blank;
}

bool TBatteryCard::operator==(const TBatteryCard &other) const
{
    return Name == other.Name && RatedCapacity == other.RatedCapacity && Cells == other.Cells &&
           Chemistry == other.Chemistry && RatedCycles == other.RatedCycles &&
           Bought == other.Bought && Label == other.Label && State == other.State &&
           Note == other.Note;
}

bool TDueSettings::operator==(const TDueSettings &other) const
{
    for (const SettingName &setting : settingNames)
        if (this->*setting.Value != other.*setting.Value)
            return false;
    return true;
}

int TBatteryCards::indexOf(const QString &name) const
{
    if (m_cards.isEmpty())
        return -1;
    if (!m_indexValid) {
        m_index.clear();
        for (int i = 0; i < m_cards.size(); ++i)
            m_index.insert(foldKey(m_cards.at(i).Name), i);
        m_indexValid = true;
    }
    return m_index.value(foldKey(name), -1);
}

const TBatteryCard *TBatteryCards::find(const QString &name) const
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_cards.at(i);
}

void TBatteryCards::set(const TBatteryCard &card)
{
    const int i = indexOf(card.Name);
    m_indexValid = false;
    if (card.isBlank()) {
        if (i >= 0)
            m_cards.removeAt(i);
    } else if (i >= 0) {
        m_cards[i] = card;
    } else {
        m_cards.append(card);
    }
}

bool TBatteryCards::remove(const QString &name)
{
    const int i = indexOf(name);
    if (i < 0)
        return false;
    m_cards.removeAt(i);
    m_indexValid = false;
    return true;
}

bool TBatteryCards::isRetired(const QString &name) const
{
    const TBatteryCard *card = find(name);
    return card && card->State == TBatteryState::Retired;
}

void TBatteryCards::assignKeepingView(const TBatteryCards &other)
{
    const bool showRetired = ShowRetired;
    *this = other;
    ShowRetired = showRetired;
}

bool TBatteryCards::operator==(const TBatteryCards &other) const
{
    return m_cards == other.m_cards && Due == other.Due;
}

void TCardsChange::undo(TBatteryCards &cards, TNameList &batteries) const
{
    for (auto it = Renames.crbegin(); it != Renames.crend(); ++it)
        if (batteries.isValidIndex(it->Index))
            batteries.rename(it->Index, it->From);
    cards.assignKeepingView(Before);
}

void TCardsChange::redo(TBatteryCards &cards, TNameList &batteries) const
{
    for (const Rename &rename : Renames)
        if (batteries.isValidIndex(rename.Index))
            batteries.rename(rename.Index, rename.To);
    cards.assignKeepingView(After);
}

namespace BatteryCards {

QString chemistryKey(TChemistry chemistry)
{
    for (const ChemistryName &c : chemistryNames)
        if (c.Chemistry == chemistry)
            return QString::fromLatin1(c.Key);
    return QString();
}

TChemistry chemistryOfKey(const QString &key)
{
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty())
        return TChemistry::Unknown;
    for (const ChemistryName &c : chemistryNames)
        if (trimmed.compare(QLatin1String(c.Key), Qt::CaseInsensitive) == 0)
            return c.Chemistry;
    return TChemistry::Other;
}

QString chemistryCaption(TChemistry chemistry)
{
    for (const ChemistryName &c : chemistryNames)
        if (c.Chemistry == chemistry)
            return tr(c.Caption);
    return QString();
}

QString stateKey(TBatteryState state)
{
    for (const StateName &s : stateNames)
        if (s.State == state)
            return QString::fromLatin1(s.Key);
    return QString();
}

TBatteryState stateOfKey(const QString &key)
{
    for (const StateName &s : stateNames)
        if (key.trimmed().compare(QLatin1String(s.Key), Qt::CaseInsensitive) == 0)
            return s.State;
    return TBatteryState::InUse;
}

QString stateCaption(TBatteryState state)
{
    for (const StateName &s : stateNames)
        if (s.State == state)
            return tr(s.Caption);
    return QString();
}

bool isLithium(TChemistry chemistry)
{
    return chemistry == TChemistry::LiPo || chemistry == TChemistry::LiHV ||
           chemistry == TChemistry::LiIon || chemistry == TChemistry::LiFePO4;
}

void checkStorable(const TBatteryCard &card)
{
    if (TNameList::trimmedName(card.Name).isEmpty())
        throw QorLogError(tr("A battery card needs the battery's name."));
    const struct
    {
        const char *Field;
        const QString &Text;
    } texts[] = {{QT_TRANSLATE_NOOP("BatteryCards", "Name"), card.Name},
                 {QT_TRANSLATE_NOOP("BatteryCards", "Label"), card.Label},
                 {QT_TRANSLATE_NOOP("BatteryCards", "Note"), card.Note}};
    for (const auto &text : texts) {
        if (!TChargeLog::isXmlSafe(text.Text))
            throw QorLogError(tr("The %1 of the battery card holds a character the log file "
                                 "cannot store.")
                                  .arg(tr(text.Field)));
        if (text.Text.size() > QorLog::MaxTextLength)
            throw QorLogError(tr("The %1 of the battery card is longer than %2 characters.")
                                  .arg(tr(text.Field))
                                  .arg(QorLog::MaxTextLength));
    }
    if (!std::isfinite(card.RatedCapacity) || card.RatedCapacity < 0)
        throw QorLogError(tr("The rated capacity must be a number of at least 0."));
    if (card.Cells < 0 || card.RatedCycles < 0)
        throw QorLogError(tr("Cells and rated cycles must be at least 0."));
    if (card.Bought && !std::isfinite(*card.Bought))
        throw QorLogError(tr("The date bought is not a date."));
}

QByteArray writeElement(const TBatteryCards &cards, char decimalPoint)
{
    if (cards.isEmpty() && cards.Due == TDueSettings())
        return QByteArray();
    QByteArray out("\n  <Batteries");
    for (const SettingName &setting : settingNames)
        out.append(' ')
            .append(setting.Name)
            .append("=\"")
            .append(QByteArray::number(cards.Due.*setting.Value))
            .append('"');
    if (cards.isEmpty())
        return out.append("/>");
    out.append('>');
    const auto leaf = [&out](const char *name, const QByteArray &content) {
        out.append("\n      <").append(name).append('>').append(content);
        out.append("</").append(name).append('>');
    };
    for (const TBatteryCard &card : cards.cards()) {
        out.append("\n    <Battery>");
        leaf("Name", contentOf(card.Name));
        if (card.RatedCapacity > 0)
            leaf("RatedCapacity", numberText(card.RatedCapacity, decimalPoint));
        if (card.Cells > 0)
            leaf("Cells", QByteArray::number(card.Cells));
        if (card.Chemistry != TChemistry::Unknown)
            leaf("Chemistry", chemistryKey(card.Chemistry).toLatin1());
        if (card.RatedCycles > 0)
            leaf("RatedCycles", QByteArray::number(card.RatedCycles));
        if (card.Bought)
            leaf("Bought", numberText(*card.Bought, decimalPoint));
        if (!card.Label.isEmpty())
            leaf("Label", contentOf(card.Label));
        leaf("State", stateKey(card.State).toLatin1());
        if (!card.Note.isEmpty())
            leaf("Note", contentOf(card.Note));
        out.append("\n    </Battery>");
    }
    return out.append("\n  </Batteries>");
}

void readSettings(TDueSettings &due, const char **attributes)
{
    for (; attributes && attributes[0] && attributes[1]; attributes += 2)
        for (const SettingName &setting : settingNames)
            if (nameIs(attributes[0], setting.Name)) {
                // A setting that is no whole number of at least 0 keeps its default.
                bool ok = false;
                const int value = QByteArray(attributes[1]).trimmed().toInt(&ok);
                if (ok && value >= 0)
                    due.*setting.Value = value;
            }
}

void readField(TBatteryCard &card, const char *name, const std::string &text)
{
    const QString value = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const auto number = [&value] { return NumberText::toFloat(value); };
    const auto count = [&value]() -> int {
        const qint32 n = NumberText::toInteger(value);
        return n < 0 ? 0 : n;
    };
    if (nameIs(name, "Name"))
        card.Name = value;
    else if (nameIs(name, "RatedCapacity"))
        card.RatedCapacity = std::max(0.0, number());
    else if (nameIs(name, "Cells"))
        card.Cells = count();
    else if (nameIs(name, "Chemistry"))
        card.Chemistry = chemistryOfKey(value);
    else if (nameIs(name, "RatedCycles"))
        card.RatedCycles = count();
    else if (nameIs(name, "Bought"))
        card.Bought = value.trimmed().isEmpty() ? std::nullopt : std::optional<double>(number());
    else if (nameIs(name, "Label"))
        card.Label = value;
    else if (nameIs(name, "State"))
        card.State = stateOfKey(value);
    else if (nameIs(name, "Note"))
        card.Note = value;
}

std::optional<TCellVoltages> cellVoltages(TChemistry chemistry)
{
    switch (chemistry) {
    case TChemistry::LiPo:
    case TChemistry::LiIon:
        return TCellVoltages{4.20, 3.80};
    case TChemistry::LiHV:
        return TCellVoltages{4.35, 3.85};
    case TChemistry::LiFePO4:
        return TCellVoltages{3.65, 3.30};
    case TChemistry::NiMH:
    case TChemistry::NiCd:
        return TCellVoltages{1.50, 1.20};
    case TChemistry::Lead:
        return TCellVoltages{2.45, 2.25};
    case TChemistry::Unknown:
    case TChemistry::Other:
        break;
    }
    return std::nullopt;
}

QString finalVoltageCheck(const TBatteryCard &card, double finalVoltage)
{
    const std::optional<TCellVoltages> voltages = cellVoltages(card.Chemistry);
    if (!voltages || card.Cells <= 0 || !std::isfinite(finalVoltage) || finalVoltage <= 0)
        return QString();
    const double perCell = finalVoltage / card.Cells;
    const QLocale locale;
    const auto volts = [&locale](double v) { return locale.toString(v, 'f', 2) + tr(" V"); };
    // A charger's reading is good to about 10 mV per cell.
    constexpr double Tolerance = 0.01;
    QString verdict;
    if (perCell > voltages->Full + Tolerance)
        verdict = tr("above full (%1)").arg(volts(voltages->Full));
    else if (perCell >= voltages->Full - 2 * Tolerance)
        verdict = tr("full");
    else if (std::fabs(perCell - voltages->Storage) <= 2 * Tolerance)
        verdict = tr("storage");
    else if (perCell < voltages->Storage)
        verdict = tr("below storage (%1)").arg(volts(voltages->Storage));
    else
        verdict = tr("between storage (%1) and full (%2)")
                      .arg(volts(voltages->Storage), volts(voltages->Full));
    return tr("%1 per cell: %2").arg(volts(perCell), verdict);
}

} // namespace BatteryCards
