#pragma once

#include "BarChart.h"

class TChargeLog;
struct TChartTotals;

// The main window's chart of the log: per battery of the chart battery list, its cycles on the
// left axis and the amp-hours charged and discharged on the right, each bar with its value
// mark, in the log's series colours.
class TChargeChart : public TBarChart
{
    Q_OBJECT
public:
    enum Series
    {
        CyclesSeries = 0,
        ChargeSeries = 1,
        DischargeSeries = 2
    };

    TChargeChart(const TChargeLog &log, QWidget *parent = nullptr);

    // The figures of the shown records; none at all when no record is shown.
    void showTotals(const TChartTotals &totals, bool anyShown);
    // Axis labels and titles follow their series' colours from the start; grid lines and marks
    // keep their own until a colour is chosen or read from the log.
    void applyAxisColours(const TChargeLog &log);
    // A series colour also colours its marks and, for a series that owns an axis, that axis'
    // labels, title and grid lines (the grid keeps its pen style).
    void colourSeries(int series, const QColor &colour);
};
