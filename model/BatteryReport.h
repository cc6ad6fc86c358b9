#pragma once

#include "BatteryHealth.h"

#include <QLocale>
#include <QString>
#include <QVariant>

// The battery overview as columns: shared by the overview window, the text report and the CSV
// report, so that all three show the same figures.
namespace BatteryReport {

enum Column
{
    BatteryColumn,
    CyclesColumn,
    ChargesColumn,
    DischargesColumn,
    AhChargedColumn,
    AhDischargedColumn,
    EfficiencyColumn,
    RetentionColumn,
    TrendColumn,
    EndOfLifeColumn,
    LastUsedColumn,
    // From the battery's card, and what is due.
    RatedCapacityColumn,
    RatedCyclesColumn,
    ChemistryColumn,
    CellsColumn,
    StateColumn,
    DueColumn,
    ColumnCount
};

// The column's name in the CSV header (never translated).
QString csvName(Column column);
// The column's caption on screen and in the text report.
QString title(Column column);
// The figure as shown to the user: "#,##0.###" numbers, percentages, dates; empty when absent.
QString displayText(const BatteryHealth::TBatteryFigures &f, Column column,
                    const QLocale &locale = QLocale());
// The figure for a CSV field: "." decimals, no grouping, dates as yyyy-mm-dd hh:mm:ss; empty
// when absent.
QString csvText(const BatteryHealth::TBatteryFigures &f, Column column);
// A value to sort by: a number or a text; an absent figure gives an invalid QVariant.
QVariant sortValue(const BatteryHealth::TBatteryFigures &f, Column column);

// The whole overview as RFC 4180 CSV (CRLF line ends, fields quoted when they need it) and as a
// plain text table with aligned columns.
QString toCsv(const QVector<BatteryHealth::TBatteryFigures> &figures);
QString toText(const QVector<BatteryHealth::TBatteryFigures> &figures,
               const QLocale &locale = QLocale());

// A percentage to one decimal, "#,##0.#" and " %".
QString percentText(double value, const QLocale &locale = QLocale());

// Date texts of a day count: the whole date-time as the log table shows it, and the date alone.
QString dateTimeText(double days, const QLocale &locale = QLocale());
QString dateText(double days);

} // namespace BatteryReport
