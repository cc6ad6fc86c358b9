#pragma once

#include "ChargeLog.h"

#include <QStringList>
#include <QVector>

// The chart battery list: the battery list without its marked names, in list order. A name
// that differs from an earlier one only in letter case keeps a place of its own, but its
// records count for the earlier one's.
struct TChartBatteryList
{
    QStringList Labels;
    QVector<int> PositionOfBattery; // battery list position -> chart position, or -1

    static TChartBatteryList of(const TNameList &batteries);
    // The same without the batteries the cards hide (retired ones, unless shown).
    static TChartBatteryList of(const TNameList &batteries, const TBatteryCards &cards);
    // The chart position a record counts for, or -1.
    int positionOf(const TChargeRecord &record) const
    {
        return record.BatteryIndex >= 0 && record.BatteryIndex < PositionOfBattery.size()
                   ? PositionOfBattery[record.BatteryIndex]
                   : -1;
    }
};

// How a record counts: a cycle when its amp-hours are not 0; a charge when both amp-hours and
// amps are positive, a discharge otherwise.
namespace ChargeCount {
inline bool isCycle(const TChargeRecord &record)
{
    return record.AmpHours != 0;
}
inline bool isCharge(const TChargeRecord &record)
{
    return record.AmpHours > 0 && record.NominalChargeAmps > 0;
}
} // namespace ChargeCount

// Per-battery figures of the chart, summed from the shown records.
struct TChartTotals
{
    QStringList Labels; // the chart battery list
    QVector<double> Cycles;
    QVector<double> Charge;
    QVector<double> Discharge;

    // Builds the chart battery list and zero figures; positions are found once, not per record.
    void begin(const TNameList &batteries);
    void begin(const TNameList &batteries, const TBatteryCards &cards);
    // Counts one shown record: a cycle when it is one, its amp-hours to Charge or, as absolute
    // value, to Discharge.
    void AddChargeToChart(const TChargeRecord &record);

private:
    TChartBatteryList m_list;
};
