// The bar chart's data, look and read-outs; its layout, painting and interaction have units of
// their own (BarChartLayout, BarChartPainter, BarChartInteraction).

#include "BarChart.h"

#include "ChartAccessibility.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QHash>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QToolTip>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int MinHitHeight = 5; // a low bar answers to presses this high above the baseline

} // namespace

TBarChart::TBarChart(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_markFont.setPointSize(8);
    m_markFont.setBold(true);
    m_categoryFont.setPixelSize(11);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // the bar under the mouse shows its mark
    m_scrollBar = new QScrollBar(Qt::Horizontal, this);
    m_scrollBar->setObjectName(QStringLiteral("ChartScrollBar"));
    m_scrollBar->setFocusPolicy(Qt::NoFocus); // the chart's own keys scroll it
    m_scrollBar->hide();
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &TBarChart::setScrollOffset);
    ChartAccessibility::install();
}

TBarChart::~TBarChart() = default;

// ---- series and points -------------------------------------------------------------------

int TBarChart::addSeries(const QString &title, Axis axis, const QColor &colour)
{
    Series s;
    s.title = title;
    s.axis = axis == RightAxis ? RightAxis : LeftAxis;
    s.colour = colour;
    s.markColour = colour;
    m_series.append(s);
    changed();
    return int(m_series.size()) - 1;
}

int TBarChart::seriesCount() const
{
    return int(m_series.size());
}

QString TBarChart::seriesTitle(int series) const
{
    return validSeries(series) ? m_series.at(series).title : QString();
}

TBarChart::Axis TBarChart::seriesAxis(int series) const
{
    return validSeries(series) ? m_series.at(series).axis : LeftAxis;
}

bool TBarChart::validPoint(int series, int index) const
{
    return validSeries(series) && index >= 0 && index < m_series.at(series).values.size();
}

void TBarChart::beginUpdate()
{
    ++m_updateDepth;
}

void TBarChart::endUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0 && m_pendingRepaint) {
        m_pendingRepaint = false;
        layout();
        update();
    }
}

void TBarChart::changed(bool relayout)
{
    if (relayout) {
        m_layoutValid = false;
        // The focus stays on a bar that still exists: the last of its series when points went.
        if (validSeries(m_focusSeries)) {
            const int count = pointCount(m_focusSeries);
            if (m_focusIndex >= count)
                m_focusIndex = count - 1;
            if (m_focusIndex < 0)
                m_focusSeries = -1;
        } else {
            m_focusSeries = m_focusIndex = -1;
        }
        ChartAccessibility::notifyDataChanged(this);
    }
    if (m_updateDepth > 0)
        m_pendingRepaint = true;
    else
        update();
}

void TBarChart::clearSeries(int series)
{
    if (!validSeries(series))
        return;
    m_series[series].values.clear();
    m_series[series].labels.clear();
    changed();
}

void TBarChart::clearAllSeries()
{
    for (Series &s : m_series) {
        s.values.clear();
        s.labels.clear();
    }
    changed();
}

int TBarChart::appendPoint(int series, double value, const QString &label)
{
    if (!validSeries(series))
        return -1;
    Series &s = m_series[series];
    s.values.append(value);
    s.labels.append(label);
    changed();
    return int(s.values.size()) - 1;
}

int TBarChart::pointCount(int series) const
{
    return validSeries(series) ? int(m_series.at(series).values.size()) : 0;
}

double TBarChart::value(int series, int index) const
{
    return validPoint(series, index) ? m_series.at(series).values.at(index) : 0.0;
}

void TBarChart::setValue(int series, int index, double value)
{
    if (!validPoint(series, index))
        return;
    m_series[series].values[index] = value;
    changed();
}

QString TBarChart::label(int series, int index) const
{
    return validPoint(series, index) ? m_series.at(series).labels.at(index) : QString();
}

void TBarChart::setPoints(int series, const QVector<double> &values, const QStringList &labels)
{
    if (!validSeries(series))
        return;
    Series &s = m_series[series];
    s.values = values;
    s.labels = labels.mid(0, values.size());
    while (s.labels.size() < values.size())
        s.labels.append(QString());
    changed();
}

// ---- look ----------------------------------------------------------------------------------

void TBarChart::setSeriesColour(int series, const QColor &c)
{
    if (!validSeries(series))
        return;
    m_series[series].colour = c;
    changed(false);
}

QColor TBarChart::seriesColour(int series) const
{
    return validSeries(series) ? m_series.at(series).colour : QColor();
}

void TBarChart::setMarkColour(int series, const QColor &c)
{
    if (!validSeries(series))
        return;
    m_series[series].markColour = c;
    changed(false);
}

QColor TBarChart::markColour(int series) const
{
    return validSeries(series) ? m_series.at(series).markColour : QColor();
}

void TBarChart::setMarkFont(const QFont &f)
{
    m_markFont = f;
    changed();
}

void TBarChart::setMarkDistance(int pixels)
{
    m_markDistance = std::max(0, pixels);
    changed();
}

void TBarChart::setBarWidthPercent(int percent)
{
    m_barWidthPercent = std::clamp(percent, 1, 100);
    changed();
}

void TBarChart::setCategoryFont(const QFont &f)
{
    m_categoryFont = f;
    changed();
}

void TBarChart::setCategoryLabelColour(const QColor &c)
{
    m_categoryLabelColour = c;
    changed(false);
}

void TBarChart::setAxisTitle(Axis a, const QString &t)
{
    m_axes[a == RightAxis].title = t;
    changed();
}

QString TBarChart::axisTitle(Axis a) const
{
    return m_axes[a == RightAxis].title;
}

void TBarChart::setAxisFont(Axis a, const QFont &f)
{
    m_axes[a == RightAxis].font = f;
    changed();
}

QFont TBarChart::axisFont(Axis a) const
{
    return m_axes[a == RightAxis].font;
}

void TBarChart::setAxisLabelColour(Axis a, const QColor &c)
{
    m_axes[a == RightAxis].labelColour = c;
    changed(false);
}

QColor TBarChart::axisLabelColour(Axis a) const
{
    return m_axes[a == RightAxis].labelColour;
}

void TBarChart::setAxisTitleColour(Axis a, const QColor &c)
{
    m_axes[a == RightAxis].titleColour = c;
    changed(false);
}

QColor TBarChart::axisTitleColour(Axis a) const
{
    return m_axes[a == RightAxis].titleColour;
}

void TBarChart::setAxisGridPen(Axis a, const QPen &p)
{
    m_axes[a == RightAxis].gridPen = p;
    changed(false);
}

QPen TBarChart::axisGridPen(Axis a) const
{
    return m_axes[a == RightAxis].gridPen;
}

void TBarChart::setValueFormatter(std::function<QString(double)> f)
{
    m_formatter = std::move(f);
    changed();
}

QString TBarChart::defaultFormat(double value)
{
    return ChartAxis::defaultFormat(value);
}

QString TBarChart::formatValue(double value) const
{
    return ChartAxis::formatWith(m_formatter, value);
}

// ---- read-outs -----------------------------------------------------------------------------

QRect TBarChart::barRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    return toWidget(l.bars.at(l.seriesOffset.at(series) + index));
}

QRect TBarChart::hitRect(const QRect &bar) const
{
    if (bar.height() >= MinHitHeight)
        return bar;
    const int base = m_layout.plot.bottom() + 1;
    return QRect(bar.left(), base - MinHitHeight, bar.width(), MinHitHeight);
}

bool TBarChart::barAt(const QPoint &widgetPos, int *series, int *index) const
{
    const Layout &l = layout();
    if (l.categories == 0 || l.categoryWidth <= 0)
        return false;
    // Bars scrolled out of the plot cannot be hit.
    if (l.scrollable && (widgetPos.x() < l.plot.left() || widgetPos.x() > l.plot.right()))
        return false;
    const QPoint pos(widgetPos.x() + m_scroll, widgetPos.y());
    // Bars are at least a pixel wide, so when crowded a bar can stand a pixel away from its
    // category's own span; bars of neighbouring categories may then overlap. The one drawn last
    // (the higher category, the higher series) is the one seen and hit.
    const int first = int(std::floor((pos.x() - 1 - l.plot.left()) / l.categoryWidth)) - 1;
    const int last = int(std::floor((pos.x() + 1 - l.plot.left()) / l.categoryWidth)) + 1;
    // First the bars as drawn, then the extra area of low bars, so that a zero bar beside a real
    // one never takes the real one's press.
    for (const bool extended : {false, true}) {
        for (int i = std::min(last, l.categories - 1); i >= std::max(first, 0); --i) {
            for (int s = int(m_series.size()) - 1; s >= 0; --s) {
                if (i >= m_series.at(s).values.size())
                    continue;
                const QRect &bar = l.bars.at(l.seriesOffset.at(s) + i);
                if ((extended ? hitRect(bar) : bar).contains(pos)) {
                    if (series)
                        *series = s;
                    if (index)
                        *index = i;
                    return true;
                }
            }
        }
    }
    return false;
}

int TBarChart::categoryAt(const QPoint &pos) const
{
    const Layout &l = layout();
    if (l.categories == 0 || l.categoryWidth <= 0)
        return -1;
    if (pos.x() < l.plot.left() || pos.x() > l.plot.right() || pos.y() < l.plot.top() ||
        pos.y() >= l.size.height())
        return -1;
    const int i = int((pos.x() + m_scroll - l.plot.left()) / l.categoryWidth);
    return std::clamp(i, 0, l.categories - 1);
}

QString TBarChart::toolTipText(int category) const
{
    if (category < 0 || category >= categoryCount())
        return QString();
    QStringList lines;
    lines.append(categoryLabel(category));
    for (const Series &s : m_series) {
        if (category < s.values.size())
            lines.append(s.title + QStringLiteral(": ") + formatValue(s.values.at(category)) +
                         s.suffix);
    }
    return lines.join(QLatin1Char('\n'));
}

QRect TBarChart::plotRect() const
{
    return layout().plot;
}

double TBarChart::axisMaximum(Axis a) const
{
    return layout().axes[a == RightAxis].maximum;
}

QVector<double> TBarChart::axisTickValues(Axis a) const
{
    QVector<double> values;
    for (const Tick &t : layout().axes[a == RightAxis].ticks)
        values.append(t.value);
    return values;
}

QVector<QRect> TBarChart::categoryLabelRects() const
{
    QVector<QRect> rects;
    const Layout &l = layout();
    for (const TextItem &item : l.labels) {
        const QRect r = toWidget(item.rect);
        if (r.left() >= l.plot.left() - r.width() / 2 &&
            r.right() <= l.plot.right() + r.width() / 2 && r.center().x() >= l.plot.left() &&
            r.center().x() <= l.plot.right())
            rects.append(r);
    }
    return rects;
}

QRect TBarChart::markRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    const int mark = l.markOfBar.at(l.seriesOffset.at(series) + index);
    return mark < 0 ? QRect() : toWidget(l.marks.at(mark).rect);
}

QVector<QRect> TBarChart::markRects() const
{
    QVector<QRect> rects;
    const Layout &l = layout();
    for (const TextItem &item : l.marks) {
        const QRect r = toWidget(item.rect);
        if (!l.scrollable || (r.left() >= l.plot.left() && r.right() <= l.plot.right()))
            rects.append(r);
    }
    return rects;
}

bool TBarChart::isScrollable() const
{
    return layout().scrollable;
}

bool TBarChart::labelsTurned() const
{
    return layout().turnedLabels;
}

void TBarChart::setLegendVisible(bool visible)
{
    m_legendVisible = visible;
    changed();
}

QRect TBarChart::legendRect() const
{
    return layout().legend;
}

QRect TBarChart::legendSwatchRect(int series) const
{
    const Layout &l = layout();
    return series >= 0 && series < l.legendSwatches.size() ? l.legendSwatches.at(series) : QRect();
}

QSize TBarChart::sizeHint() const
{
    return QSize(640, 256);
}

QSize TBarChart::minimumSizeHint() const
{
    return QSize(160, 100);
}
