#pragma once

#include <QColor>
#include <QFont>
#include <QPen>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>

class QPainter;

// What the charts share: the look of a value axis, its scale, its tick labels and the number
// format of their texts.
struct TChartAxisStyle
{
    TChartAxisStyle();
    QString title;
    QFont font;
    QColor labelColour = Qt::black;
    QColor titleColour = Qt::black;
    QPen gridPen; // dotted gray unless set
};

struct TChartTick
{
    double value = 0;
    int position = 0; // pixel along the axis: y for a vertical axis, x for a horizontal one
    QString text;     // empty when left out because it would crowd its neighbour
    QRect rect;
};

namespace ChartAxis {

constexpr int TickLength = 4;
constexpr int Gap = 4; // between an axis, its labels and its title
constexpr double PixelsPerTick = 40.0;

// Step of 1, 2, 2.5 or 5 times a power of ten, at least raw.
double niceStep(double raw);

// A range of whole steps covering [low, high] in about `wanted` steps.
struct Scale
{
    double minimum = 0;
    double maximum = 1;
    double step = 1;
    int count = 1;
};
Scale niceScale(double low, double high, int wanted);

// The ticks of a scale with their texts; `toPixel` places a value along the axis. Along a
// vertical axis a label overlapping the one below it, or repeating it, is left out; along a
// horizontal one the same for the label to its left (labels are `extent` wide there).
QVector<TChartTick> ticks(const Scale &scale, const QFont &font,
                          const std::function<QString(double)> &format,
                          const std::function<int(double)> &toPixel, bool vertical);

// "#,##0.###": grouped thousands, at most three decimals, the user's locale.
QString defaultFormat(double value);
// Calls `format`, falling back to defaultFormat when it throws: painting must go on.
QString formatWith(const std::function<QString(double)> &format, double value);

// The axis title, turned to read upwards beside a left axis and downwards beside a right one,
// centred in `band`.
void drawTitle(QPainter &painter, const QRect &band, bool left, const TChartAxisStyle &style);

} // namespace ChartAxis
