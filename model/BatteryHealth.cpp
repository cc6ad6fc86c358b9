#include "BatteryHealth.h"

#include "BatteryDue.h"
#include "ChartTotals.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace BatteryHealth {

namespace {

// Day counts a date can be written for: 0100-01-01 to 9999-12-31.
constexpr double FirstDay = -657434.0;
constexpr double LastDay = 2958465.0;
constexpr double DaysPerYear = 365.25;

Figure finite(double value)
{
    return std::isfinite(value) ? Figure(value) : std::nullopt;
}

double meanAmpHours(const QVector<TRecordPoint> &points, qsizetype from, qsizetype count)
{
    // Divided first, so that a mean of huge values does not overflow.
    double mean = 0;
    for (qsizetype i = from; i < from + count; ++i)
        mean += points.at(i).AmpHours / double(count);
    return mean;
}

// Everything that follows from the sums and the capacity points.
void finish(TBatteryFigures &f, double ahCharged, double ahDischarged, double now,
            const TBatteryCard *card)
{
    if (card && card->RatedCapacity > 0) {
        f.RatedCapacity = card->RatedCapacity;
        f.Reference = card->RatedCapacity;
    }
    if (card) {
        f.RatedCycles = card->RatedCycles;
        f.Card = *card;
    }
    f.AhCharged = finite(ahCharged);
    f.AhDischarged = finite(ahDischarged);
    // A battery never discharged has no efficiency to speak of (not 0%).
    if (ahCharged > 0 && ahDischarged > 0)
        f.Efficiency = finite(ahDischarged / ahCharged);
    if (f.LastDateTime)
        f.DaysSinceLast = finite(now - *f.LastDateTime);

    const QVector<TRecordPoint> &capacity = f.Capacity;
    const qsizetype n = capacity.size();
    if (n == 0)
        return;
    f.ReferenceCount = int(std::min<qsizetype>(CapacityWindow, n));
    f.LatestCount = f.ReferenceCount;
    if (f.AgainstRating())
        f.ReferenceCount = 0; // the rating, not discharges
    else
        f.Reference = finite(meanAmpHours(capacity, 0, f.ReferenceCount));
    f.Latest = finite(meanAmpHours(capacity, n - f.LatestCount, f.LatestCount));
    if (!f.Reference || !f.Latest || !(*f.Reference > 0))
        return;
    // Against a rating, retention needs no run of discharges to compare with.
    if (f.AgainstRating())
        f.RetentionPercent = finite(*f.Latest / *f.Reference * 100.0);
    f.TrendSpanDays = capacity.last().DateTime - capacity.first().DateTime;
    if (n < MinimumForTrend || !(f.TrendSpanDays >= MinimumTrendDays)) {
        // Four discharges in a week make a trend of hundreds of percent: none is given.
        f.TrendWithheld = true;
        return;
    }
    const double reference = *f.Reference;
    f.RetentionPercent = finite(*f.Latest / reference * 100.0);

    QVector<double> number(n), time(n), ampHours(n);
    for (qsizetype i = 0; i < n; ++i) {
        number[i] = double(i + 1);
        time[i] = capacity.at(i).DateTime;
        ampHours[i] = capacity.at(i).AmpHours;
    }
    f.NumberTrend = fitLine(number, ampHours);
    f.TimeTrend = fitLine(time, ampHours);
    if (f.NumberTrend)
        f.TrendPer100Cycles = finite(f.NumberTrend->Slope * 100.0 / reference * 100.0);
    if (f.TimeTrend)
        f.TrendPerYear = finite(f.TimeTrend->Slope * DaysPerYear / reference * 100.0);
    if (f.NumberTrend || f.TimeTrend)
        f.TrendCount = int(n);
    if (f.TimeTrend && f.TimeTrend->Slope < 0 && n >= MinimumForEndOfLife) {
        const double day =
            (EndOfLifeShare * reference - f.TimeTrend->Intercept) / f.TimeTrend->Slope;
        if (std::isfinite(day) && day >= FirstDay && day <= LastDay)
            f.EndOfLife = day;
    }
}

// The chart battery list and, for each battery list position, the row its records count for.
struct Rows
{
    QVector<TBatteryFigures> figures;
    QVector<int> rowOfBattery;
};

// `hideRetired`: without the batteries the cards hide.
Rows chartRows(const TChargeLog &log, bool hideRetired)
{
    const TChartBatteryList list = hideRetired
                                       ? TChartBatteryList::of(log.BatteriesStringList, log.Cards)
                                       : TChartBatteryList::of(log.BatteriesStringList);
    Rows rows;
    rows.rowOfBattery = list.PositionOfBattery;
    for (const QString &label : list.Labels) {
        TBatteryFigures f;
        f.Battery = label;
        rows.figures.append(f);
    }
    return rows;
}

// Works out the figures of the rows for which `wanted` holds.
template <typename Wanted>
void compute(const TChargeLog &log, double now, Rows &rows, Wanted wanted)
{
    const TChargeList &charges = log.ChargeStringList;
    // Termination names that differ only in case (several purged "Deleted") count together.
    const TNameList &terminations = log.TerminationsStringList;
    QVector<int> slotOfTermination(terminations.count());
    QVector<QPair<QString, int>> noTerminations;
    for (int i = 0; i < terminations.count(); ++i) {
        const int first = terminations.indexOf(terminations.name(i));
        if (first >= 0 && first < i) {
            slotOfTermination[i] = slotOfTermination[first];
        } else {
            slotOfTermination[i] = int(noTerminations.size());
            noTerminations.append({terminations.name(i), 0});
        }
    }
    const qsizetype rowCount = rows.figures.size();
    QVector<double> charged(rowCount, 0.0), discharged(rowCount, 0.0);
    for (qsizetype r = 0; r < rowCount; ++r)
        if (wanted(int(r)))
            rows.figures[r].Terminations = noTerminations;

    // In date-time order; equal date-times keep their order in the list.
    std::vector<int> order(size_t(charges.count()));
    std::iota(order.begin(), order.end(), 0);
    if (!charges.isSortedByDateTime())
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return charges.record(a).DateTime < charges.record(b).DateTime;
        });

    for (const int i : order) {
        const TChargeRecord &record = charges.record(i);
        if (!log.isShown(record))
            continue;
        if (record.BatteryIndex < 0 || record.BatteryIndex >= rows.rowOfBattery.size())
            continue;
        const int row = rows.rowOfBattery[record.BatteryIndex];
        if (row < 0 || !wanted(row))
            continue;
        // The log refuses values it cannot store; a non-finite one counts for nothing here.
        if (!std::isfinite(record.DateTime) || !std::isfinite(record.AmpHours) ||
            !std::isfinite(record.NominalChargeAmps))
            continue;
        TBatteryFigures &f = rows.figures[row];
        if (!f.FirstDateTime)
            f.FirstDateTime = record.DateTime;
        f.LastDateTime = record.DateTime;
        if (record.TerminationIndex >= 0 && record.TerminationIndex < slotOfTermination.size())
            ++f.Terminations[slotOfTermination[record.TerminationIndex]].second;
        if (!ChargeCount::isCycle(record))
            continue;
        ++f.Cycles;
        const TRecordPoint point{record.DateTime, std::fabs(record.AmpHours), record.Key};
        if (ChargeCount::isCharge(record)) {
            ++f.Charges;
            charged[row] += point.AmpHours;
            f.ChargesAh.append(point);
        } else {
            ++f.Discharges;
            discharged[row] += point.AmpHours;
            f.Capacity.append(point);
        }
    }
    for (qsizetype r = 0; r < rowCount; ++r) {
        if (!wanted(int(r)))
            continue;
        TBatteryFigures &f = rows.figures[r];
        const TBatteryCard *card = log.Cards.find(f.Battery);
        finish(f, charged[r], discharged[r], now, card);
        for (const BatteryDue::TDueItem &item : BatteryDue::dueItems(f, card, log.Cards.Due, now))
            f.Due.append(item.Text);
    }
}

} // namespace

std::optional<TLine> fitLine(const QVector<double> &x, const QVector<double> &y)
{
    const qsizetype n = std::min(x.size(), y.size());
    if (n < 2)
        return std::nullopt;
    // Centred sums keep the precision with date-times of some 46,000 days.
    double meanX = 0, meanY = 0;
    for (qsizetype i = 0; i < n; ++i) {
        meanX += x.at(i) / double(n);
        meanY += y.at(i) / double(n);
    }
    double sxx = 0, sxy = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double dx = x.at(i) - meanX;
        sxx += dx * dx;
        sxy += dx * (y.at(i) - meanY);
    }
    if (!(sxx > 0) || !std::isfinite(sxx) || !std::isfinite(sxy))
        return std::nullopt;
    TLine line;
    line.Slope = sxy / sxx;
    line.Intercept = meanY - line.Slope * meanX;
    if (!std::isfinite(line.Slope) || !std::isfinite(line.Intercept))
        return std::nullopt;
    return line;
}

QVector<TBatteryFigures> overview(const TChargeLog &log, double now)
{
    Rows rows = chartRows(log, true);
    compute(log, now, rows, [](int) { return true; });
    return rows.figures;
}

std::optional<TBatteryFigures> battery(const TChargeLog &log, const QString &name, double now)
{
    // Asked for by name, a retired battery has its figures too.
    Rows rows = chartRows(log, false);
    const int index = log.BatteriesStringList.indexOf(name);
    if (index < 0 || rows.rowOfBattery.at(index) < 0)
        return std::nullopt;
    const int row = rows.rowOfBattery.at(index);
    compute(log, now, rows, [row](int r) { return r == row; });
    return rows.figures.at(row);
}

} // namespace BatteryHealth
