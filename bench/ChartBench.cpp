#include "ChartBench.h"

#include "BarChart.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

double measureChartRebuildAndPaintMs(int categories)
{
    TBarChart chart;
    chart.resize(640, 256);
    chart.addSeries(QStringLiteral("Cycles"), TBarChart::LeftAxis, QColor(0x80, 0x00, 0x80));
    chart.addSeries(QStringLiteral("Charge"), TBarChart::RightAxis, QColor(0x80, 0x80, 0x80));
    chart.addSeries(QStringLiteral("Discharge"), TBarChart::RightAxis, QColor(0xFF, 0x00, 0x80));
    chart.setAxisTitle(TBarChart::LeftAxis, QStringLiteral("Cycles"));
    chart.setAxisTitle(TBarChart::RightAxis, QStringLiteral("AmpHours"));

    QVector<double> cycles, charge, discharge;
    QStringList labels;
    for (int i = 0; i < categories; ++i) {
        cycles.append(i % 37);
        charge.append(1000.0 + (i * 7919 % 5000) / 3.0);
        discharge.append((i * 104729 % 3000) / 7.0);
        labels.append(QStringLiteral("Battery %1").arg(i + 1));
    }
    QImage image(640, 256, QImage::Format_ARGB32_Premultiplied);

    QElapsedTimer timer;
    timer.start();
    chart.beginUpdate();
    chart.setPoints(0, cycles, labels);
    chart.setPoints(1, charge, labels);
    chart.setPoints(2, discharge, labels);
    chart.endUpdate();
    QPainter painter(&image);
    chart.paintChart(&painter);
    painter.end();
    return timer.nsecsElapsed() / 1e6;
}
