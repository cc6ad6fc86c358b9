#include "ChartTotals.h"

#include <cmath>

TChartBatteryList TChartBatteryList::of(const TNameList &batteries)
{
    return of(batteries, TBatteryCards());
}

TChartBatteryList TChartBatteryList::of(const TNameList &batteries, const TBatteryCards &cards)
{
    TChartBatteryList list;
    list.PositionOfBattery.fill(-1, batteries.count());
    const bool hiding = !cards.isEmpty() && !cards.ShowRetired;
    for (int i = 0; i < batteries.count(); ++i) {
        if (batteries.isMarked(i) || (hiding && cards.isRetired(batteries.name(i))))
            continue;
        // The first of two names that differ only in case takes the battery's figures.
        const int first = batteries.indexOf(batteries.name(i));
        list.PositionOfBattery[i] = first >= 0 && first < i && list.PositionOfBattery[first] >= 0
                                        ? list.PositionOfBattery[first]
                                        : int(list.Labels.size());
        list.Labels.append(batteries.name(i));
    }
    return list;
}

void TChartTotals::begin(const TNameList &batteries)
{
    begin(batteries, TBatteryCards());
}

void TChartTotals::begin(const TNameList &batteries, const TBatteryCards &cards)
{
    m_list = TChartBatteryList::of(batteries, cards);
    Labels = m_list.Labels;
    Cycles.fill(0.0, Labels.size());
    Charge.fill(0.0, Labels.size());
    Discharge.fill(0.0, Labels.size());
}

void TChartTotals::AddChargeToChart(const TChargeRecord &record)
{
    const int position = m_list.positionOf(record);
    if (position < 0)
        return;
    if (ChargeCount::isCycle(record))
        Cycles[position] += 1;
    if (ChargeCount::isCharge(record))
        Charge[position] += std::fabs(record.AmpHours);
    else
        Discharge[position] += std::fabs(record.AmpHours);
}
