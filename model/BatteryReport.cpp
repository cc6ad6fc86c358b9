#include "BatteryReport.h"

#include "CsvFile.h"
#include "NumberText.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace BatteryReport {

namespace {

using BatteryHealth::Figure;
using BatteryHealth::TBatteryFigures;

Figure figure(const TBatteryFigures &f, Column column)
{
    switch (column) {
    case CyclesColumn:
        return f.Cycles;
    case ChargesColumn:
        return f.Charges;
    case DischargesColumn:
        return f.Discharges;
    case AhChargedColumn:
        return f.AhCharged;
    case AhDischargedColumn:
        return f.AhDischarged;
    case EfficiencyColumn:
        return f.Efficiency;
    case RetentionColumn:
        return f.RetentionPercent;
    case TrendColumn:
        return f.TrendPer100Cycles;
    case EndOfLifeColumn:
        return f.EndOfLife;
    case LastUsedColumn:
        return f.LastDateTime;
    case RatedCapacityColumn:
        return f.RatedCapacity;
    case RatedCyclesColumn:
        return f.RatedCycles > 0 ? Figure(f.RatedCycles) : std::nullopt;
    case CellsColumn:
        return f.Card && f.Card->Cells > 0 ? Figure(f.Card->Cells) : std::nullopt;
    case BatteryColumn:
    case ChemistryColumn:
    case StateColumn:
    case DueColumn:
    case ColumnCount:
        break;
    }
    return std::nullopt;
}

} // namespace

QString percentText(double value, const QLocale &locale)
{
    // One decimal is as exact as a share of a capacity gets.
    return NumberText::formatGrouped(std::round(value * 10.0) / 10.0, locale) +
           QStringLiteral(" %");
}

QString csvName(Column column)
{
    static const char *const names[ColumnCount] = {"Battery",
                                                   "Cycles",
                                                   "Charges",
                                                   "Discharges",
                                                   "AhCharged",
                                                   "AhDischarged",
                                                   "Efficiency",
                                                   "RetentionPercent",
                                                   "TrendPer100Cycles",
                                                   "EndOfLife",
                                                   "LastUsed",
                                                   "RatedCapacity",
                                                   "RatedCycles",
                                                   "Chemistry",
                                                   "Cells",
                                                   "State",
                                                   "Due"};
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(names[column]) : QString();
}

QString title(Column column)
{
    static const char *const titles[ColumnCount] = {
        QT_TRANSLATE_NOOP("BatteryReport", "Battery"),
        QT_TRANSLATE_NOOP("BatteryReport", "Cycles"),
        QT_TRANSLATE_NOOP("BatteryReport", "Charges"),
        QT_TRANSLATE_NOOP("BatteryReport", "Discharges"),
        QT_TRANSLATE_NOOP("BatteryReport", "Ah charged"),
        QT_TRANSLATE_NOOP("BatteryReport", "Ah discharged"),
        QT_TRANSLATE_NOOP("BatteryReport", "Efficiency"),
        QT_TRANSLATE_NOOP("BatteryReport", "Retention"),
        QT_TRANSLATE_NOOP("BatteryReport", "Trend per 100 cycles"),
        QT_TRANSLATE_NOOP("BatteryReport", "End of life"),
        QT_TRANSLATE_NOOP("BatteryReport", "Last used"),
        QT_TRANSLATE_NOOP("BatteryReport", "Rated capacity"),
        QT_TRANSLATE_NOOP("BatteryReport", "Rated cycles"),
        QT_TRANSLATE_NOOP("BatteryReport", "Chemistry"),
        QT_TRANSLATE_NOOP("BatteryReport", "Cells"),
        QT_TRANSLATE_NOOP("BatteryReport", "State"),
        QT_TRANSLATE_NOOP("BatteryReport", "Due")};
    return column >= 0 && column < ColumnCount
               ? QCoreApplication::translate("BatteryReport", titles[column])
               : QString();
}

QString dateTimeText(double days, const QLocale &locale)
{
    return DateTimeText::formatTable(days, locale);
}

QString dateText(double days)
{
    return DateTimeText::formatTable(days, QLocale::c()).left(10);
}

// The card's texts: captions on screen, the file's names in CSV; empty without a card.
static QString cardText(const TBatteryFigures &f, Column column, bool captions)
{
    if (!f.Card)
        return QString();
    if (column == ChemistryColumn)
        return captions ? BatteryCards::chemistryCaption(f.Card->Chemistry)
                        : BatteryCards::chemistryKey(f.Card->Chemistry);
    return captions ? BatteryCards::stateCaption(f.Card->State)
                    : BatteryCards::stateKey(f.Card->State);
}

QString displayText(const TBatteryFigures &f, Column column, const QLocale &locale)
{
    if (column == BatteryColumn)
        return f.Battery;
    if (column == ChemistryColumn || column == StateColumn)
        return cardText(f, column, true);
    if (column == DueColumn)
        return f.Due.join(QStringLiteral("; "));
    const Figure value = figure(f, column);
    if (!value)
        return QString();
    switch (column) {
    case EfficiencyColumn:
        return percentText(*value * 100.0, locale);
    case RetentionColumn:
    case TrendColumn:
        return percentText(*value, locale);
    case EndOfLifeColumn:
        return dateText(*value);
    case LastUsedColumn:
        return dateTimeText(*value, locale);
    case RatedCapacityColumn:
        return NumberText::formatGrouped(*value, locale) + QStringLiteral(" Ah");
    default:
        return NumberText::formatGrouped(*value, locale);
    }
}

QString csvText(const TBatteryFigures &f, Column column)
{
    if (column == BatteryColumn)
        return f.Battery;
    if (column == ChemistryColumn || column == StateColumn)
        return cardText(f, column, false);
    if (column == DueColumn)
        return f.Due.join(QStringLiteral("; "));
    const Figure value = figure(f, column);
    if (!value)
        return QString();
    switch (column) {
    case EndOfLifeColumn:
        return dateText(*value);
    case LastUsedColumn:
        return dateTimeText(*value, QLocale::c());
    default:
        return NumberText::formatGeneral(*value, QLocale::c());
    }
}

QVariant sortValue(const TBatteryFigures &f, Column column)
{
    if (column == BatteryColumn)
        return f.Battery;
    if (column == ChemistryColumn || column == StateColumn) {
        const QString text = cardText(f, column, true);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    if (column == DueColumn) // the batteries with most to do first when sorted down
        return f.Due.isEmpty() ? QVariant() : QVariant(double(f.Due.size()));
    const Figure value = figure(f, column);
    return value ? QVariant(*value) : QVariant();
}

QString toCsv(const QVector<TBatteryFigures> &figures)
{
    QStringList fields;
    for (int c = 0; c < ColumnCount; ++c)
        fields.append(csvName(Column(c)));
    QString csv;
    CsvFile::AppendRow(csv, fields);
    for (const TBatteryFigures &f : figures) {
        fields.clear();
        for (int c = 0; c < ColumnCount; ++c)
            fields.append(csvText(f, Column(c)));
        CsvFile::AppendRow(csv, fields);
    }
    return csv;
}

QString toText(const QVector<TBatteryFigures> &figures, const QLocale &locale)
{
    // Cells first, then every column as wide as its widest cell; numbers right-aligned.
    QVector<QStringList> rows;
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c)
        header.append(title(Column(c)));
    rows.append(header);
    const QString absent = QStringLiteral("-");
    for (const TBatteryFigures &f : figures) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c) {
            const QString text = displayText(f, Column(c), locale);
            cells.append(text.isEmpty() && c != BatteryColumn ? absent : text);
        }
        rows.append(cells);
    }
    QVector<int> widths(ColumnCount, 0);
    for (const QStringList &cells : std::as_const(rows))
        for (int c = 0; c < ColumnCount; ++c)
            widths[c] = std::max(widths[c], int(cells.at(c).size()));
    QString text;
    for (const QStringList &cells : std::as_const(rows)) {
        QString line;
        for (int c = 0; c < ColumnCount; ++c) {
            if (c > 0)
                line += QStringLiteral("  ");
            const bool text =
                c == BatteryColumn || c == ChemistryColumn || c == StateColumn || c == DueColumn;
            line +=
                text ? cells.at(c).leftJustified(widths[c]) : cells.at(c).rightJustified(widths[c]);
        }
        // Battery names hold no line breaks worth keeping in a table.
        line.replace(QLatin1Char('\n'), QLatin1Char(' '))
            .replace(QLatin1Char('\r'), QLatin1Char(' '));
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

} // namespace BatteryReport
