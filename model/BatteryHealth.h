#pragma once

#include "ChargeLog.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// How each battery wears: counts and sums by the chart's rules, the capacity of every discharge
// and its trend. A figure that cannot be worked out (no discharge, too few points, a slope that
// never reaches the end of life) is absent, never NaN or infinity.
namespace BatteryHealth {

using Figure = std::optional<double>;

// Number of discharges at each end whose mean is the reference and the latest capacity.
constexpr int CapacityWindow = 3;
// The usual end of life: capacity down to this share of the reference.
constexpr double EndOfLifeShare = 0.8;
// The end-of-life projection needs at least this many discharges.
constexpr int MinimumForEndOfLife = 4;
// Retention, the trends and the end of life mean something only from this many discharges
// over at least this many days; before that they are left out (TrendWithheld says so).
constexpr int MinimumForTrend = 5;
constexpr double MinimumTrendDays = 30.0;

// One record of the battery as a point: its date-time, its amp-hours (absolute for a
// discharge) and the record's key.
struct TRecordPoint
{
    double DateTime = 0;
    double AmpHours = 0;
    qint32 Key = 0;
};

// y = Slope * x + Intercept.
struct TLine
{
    double Slope = 0;
    double Intercept = 0;
    double at(double x) const { return Slope * x + Intercept; }
};

struct TBatteryFigures
{
    QString Battery;
    int Cycles = 0;     // records whose amp-hours are not 0
    int Charges = 0;    // positive amp-hours with positive amps
    int Discharges = 0; // every other record with amp-hours
    Figure AhCharged;
    Figure AhDischarged;
    Figure Efficiency; // discharged / charged
    Figure FirstDateTime;
    Figure LastDateTime;
    Figure DaysSinceLast;
    // Count per termination name, in the order of the termination list.
    QVector<QPair<QString, int>> Terminations;

    QVector<TRecordPoint> Capacity;  // every discharge in date-time order, |AmpHours|
    QVector<TRecordPoint> ChargesAh; // every charge in date-time order
    Figure Reference;                // mean of the first discharges
    int ReferenceCount = 0;          // how many discharges the reference rests on
    Figure Latest;                   // mean of the last discharges
    int LatestCount = 0;
    Figure RetentionPercent;          // latest / reference
    std::optional<TLine> TimeTrend;   // capacity against date-time (days)
    std::optional<TLine> NumberTrend; // capacity against discharge number (1, 2, ...)
    Figure TrendPer100Cycles;         // percent of the reference per 100 discharges
    Figure TrendPerYear;              // percent of the reference per 365.25 days
    Figure EndOfLife;                 // date-time where the time trend reaches 80% of reference
    int TrendCount = 0;               // discharges the trend figures rest on
    // Discharges too few or too close together for retention, trends and end of life: they are
    // left out, and this tells how many discharges over how many days there were.
    bool TrendWithheld = false;
    double TrendSpanDays = 0;
    // From the battery's card: with a rated capacity, the reference is the rating (retention,
    // trends and end of life are against it); rated cycles 0 when not known.
    Figure RatedCapacity;
    int RatedCycles = 0;
    std::optional<TBatteryCard> Card; // the battery's card, if it has one
    bool AgainstRating() const { return RatedCapacity.has_value(); }
    // What is due, one text per item ("capacity test due").
    QStringList Due;
};

// The figures of every battery of the chart battery list (the battery list without marked
// names and, unless the cards say to show them, retired batteries, in list order), from the shown
// records of `log`. `now` is the date-time the days since the last record count to. Names that
// differ only in letter case share the first one's figures, as the chart counts them.
QVector<TBatteryFigures> overview(const TChargeLog &log, double now);

// The figures of one battery, found without regard to case (retired or not); absent when the
// chart battery list has no such name.
std::optional<TBatteryFigures> battery(const TChargeLog &log, const QString &name, double now);

// Least-squares line through the points; absent with fewer than two points or when all x are
// equal.
std::optional<TLine> fitLine(const QVector<double> &x, const QVector<double> &y);

} // namespace BatteryHealth
