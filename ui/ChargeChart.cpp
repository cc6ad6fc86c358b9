#include "ChargeChart.h"

#include "ChargeLogDocument.h"
#include "ChartTotals.h"
#include "NumberText.h"

TChargeChart::TChargeChart(const TChargeLog &log, QWidget *parent) : TBarChart(parent)
{
    const auto colour = [](qint32 c) { return TChargeLogDocument::toQColor(c); };
    QFont axisFont = font();
    axisFont.setPointSize(8);
    setMinimumHeight(60);
    addSeries(tr("Cycles"), TBarChart::LeftAxis, colour(log.CyclesSeriesColour));
    addSeries(tr("Charge"), TBarChart::RightAxis, colour(log.ChargeSeriesColour));
    addSeries(tr("Discharge"), TBarChart::RightAxis, colour(log.DischargeSeriesColour));
    setMarkColour(CyclesSeries, colour(QorLog::DefaultCyclesSeriesColour));
    setMarkColour(ChargeSeries, colour(QorLog::FuchsiaColour));
    setMarkColour(DischargeSeries, colour(QorLog::FuchsiaColour));
    QFont markFont = axisFont;
    markFont.setBold(true);
    setMarkFont(markFont);
    setMarkDistance(20);
    setBarWidthPercent(70);
    setAxisTitle(TBarChart::LeftAxis, tr("Cycles"));
    // The unit beside the designed title.
    setAxisTitle(TBarChart::RightAxis, tr("AmpHours (Ah)"));
    setLegendVisible(true);
    setAxisFont(TBarChart::LeftAxis, axisFont);
    setAxisFont(TBarChart::RightAxis, axisFont);
    setAxisGridPen(TBarChart::LeftAxis, QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine));
    setAxisGridPen(TBarChart::RightAxis, QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DashDotDotLine));
    setValueFormatter([](double value) { return NumberText::formatGrouped(value); });
    // What a screen reader says of a bar: "Pack Fade, Charge 42 Ah".
    setValueSuffix(ChargeSeries, tr(" Ah"));
    setValueSuffix(DischargeSeries, tr(" Ah"));
    setCategoryCountText(
        [](int n) { return n == 1 ? tr("1 battery") : tr("%n batteries", nullptr, n); });
    applyAxisColours(log);
}

void TChargeChart::showTotals(const TChartTotals &totals, bool anyShown)
{
    beginUpdate();
    clearAllSeries();
    if (anyShown) {
        // With at least one shown record every battery of the chart gets its three bars.
        setPoints(CyclesSeries, totals.Cycles, totals.Labels);
        setPoints(ChargeSeries, totals.Charge, totals.Labels);
        setPoints(DischargeSeries, totals.Discharge, totals.Labels);
    }
    endUpdate();
}

void TChargeChart::applyAxisColours(const TChargeLog &log)
{
    const QColor cycles = TChargeLogDocument::toQColor(log.CyclesSeriesColour);
    const QColor charge = TChargeLogDocument::toQColor(log.ChargeSeriesColour);
    setAxisLabelColour(TBarChart::LeftAxis, cycles);
    setAxisTitleColour(TBarChart::LeftAxis, cycles);
    setAxisLabelColour(TBarChart::RightAxis, charge);
    setAxisTitleColour(TBarChart::RightAxis, charge);
}

void TChargeChart::colourSeries(int series, const QColor &colour)
{
    setSeriesColour(series, colour);
    setMarkColour(series, colour);
    if (series == DischargeSeries)
        return;
    const Axis axis = series == CyclesSeries ? TBarChart::LeftAxis : TBarChart::RightAxis;
    setAxisLabelColour(axis, colour);
    setAxisTitleColour(axis, colour);
    QPen grid = axisGridPen(axis);
    grid.setColor(colour);
    setAxisGridPen(axis, grid);
}
