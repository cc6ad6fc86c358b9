#include "LineChart.h"

#include "ChartAccessibility.h"

#include <QBitArray>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using ChartAxis::Gap;
using ChartAxis::TickLength;
const int MarkerRadius = 3;
const int HitDistance = 6;   // a press or hover this near a marker finds it
const int DragThreshold = 4; // a press that moves further drags the visible range
const double PixelsPerXTick = 90.0;

bool finitePoint(const QPointF &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

} // namespace

TLineChart::TLineChart(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    ChartAccessibility::install();
}

TLineChart::~TLineChart() = default;

int TLineChart::addSeries(const QString &title, const QColor &colour, Style style,
                          Qt::PenStyle penStyle)
{
    Series s;
    s.title = title;
    s.colour = colour;
    s.style = style;
    s.penStyle = penStyle;
    m_series.append(s);
    changed();
    return int(m_series.size()) - 1;
}

void TLineChart::setPoints(int series, const QVector<QPointF> &points)
{
    if (!validSeries(series))
        return;
    Series &s = m_series[series];
    s.points = points;
    s.drawnFor.clear();
    // Points that cannot be placed are never drawn nor hit.
    s.order.clear();
    s.order.reserve(points.size());
    for (int i = 0; i < points.size(); ++i)
        if (finitePoint(points.at(i)))
            s.order.append(i);
    std::stable_sort(s.order.begin(), s.order.end(),
                     [&](int a, int b) { return points.at(a).x() < points.at(b).x(); });
    changed();
}

void TLineChart::appendPoints(const QVector<QPair<int, QPointF>> &points)
{
    for (const auto &[series, point] : points) {
        if (!validSeries(series))
            continue;
        Series &s = m_series[series];
        const int index = int(s.points.size());
        s.points.append(point);
        s.drawnFor.clear();
        if (!finitePoint(point))
            continue;
        // Samples come in time order; one that does not goes where its time puts it.
        const auto at = std::upper_bound(s.order.begin(), s.order.end(), point.x(),
                                         [&](double x, int i) { return x < s.points.at(i).x(); });
        s.order.insert(at, index);
    }
    changed();
}

QVector<QPointF> TLineChart::points(int series) const
{
    return validSeries(series) ? m_series.at(series).points : QVector<QPointF>();
}

void TLineChart::clearAllSeries()
{
    for (Series &s : m_series) {
        s.points.clear();
        s.order.clear();
        s.drawnFor.clear();
    }
    changed();
}

void TLineChart::setSeriesColour(int series, const QColor &colour)
{
    if (!validSeries(series))
        return;
    m_series[series].colour = colour;
    update();
}

QColor TLineChart::seriesColour(int series) const
{
    return validSeries(series) ? m_series.at(series).colour : QColor();
}

void TLineChart::setXFormatter(std::function<QString(double)> f)
{
    m_xFormat = std::move(f);
    changed();
}

void TLineChart::setYFormatter(std::function<QString(double)> f)
{
    m_yFormat = std::move(f);
    changed();
}

void TLineChart::setToolTipProvider(std::function<QString(int, int)> f)
{
    m_toolTip = std::move(f);
}

void TLineChart::styleChanged()
{
    changed();
}

void TLineChart::changed()
{
    m_layoutValid = false;
    if (!validSeries(m_focusSeries) || m_focusIndex >= pointCount(m_focusSeries))
        m_focusSeries = m_focusIndex = -1;
    ChartAccessibility::notifyDataChanged(this);
    update();
}

QString TLineChart::seriesTitle(int series) const
{
    return validSeries(series) ? m_series.at(series).title : QString();
}

int TLineChart::pointCount(int series) const
{
    return validSeries(series) ? int(m_series.at(series).points.size()) : 0;
}

QString TLineChart::pointValueText(int series, int index) const
{
    if (index < 0 || index >= pointCount(series))
        return QString();
    return ChartAxis::formatWith(m_yFormat, m_series.at(series).points.at(index).y());
}

QString TLineChart::pointText(int series, int index) const
{
    if (index < 0 || index >= pointCount(series))
        return QString();
    QString text = m_toolTip ? m_toolTip(series, index) : QString();
    if (!text.isEmpty())
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QStringLiteral(", "));
    const QPointF &p = m_series.at(series).points.at(index);
    return tr("%1, %2, %3")
        .arg(m_series.at(series).title, ChartAxis::formatWith(m_xFormat, p.x()),
             ChartAxis::formatWith(m_yFormat, p.y()));
}

double TLineChart::pointX(int series, int index) const
{
    return index >= 0 && index < pointCount(series) ? m_series.at(series).points.at(index).x()
                                                    : 0.0;
}

QRect TLineChart::focusedReadoutRect() const
{
    if (!hasFocus() || pointRect(m_focusSeries, m_focusIndex).isNull())
        return QRect();
    const QRect plot = plotRect();
    const int width =
        std::min(plot.width() - 4,
                 fontMetrics().horizontalAdvance(pointText(m_focusSeries, m_focusIndex)) + 10);
    return QRect(plot.left() + 2, plot.top() + 2, std::max(0, width), fontMetrics().height() + 4);
}

QRect TLineChart::pointRect(int series, int index) const
{
    if (index < 0 || index >= pointCount(series))
        return QRect();
    const QPointF &v = m_series.at(series).points.at(index);
    const Layout &l = layout();
    if (!finitePoint(v) || v.x() < l.xFrom || v.x() > l.xTo)
        return QRect();
    const QPoint p = toPixel(v).toPoint();
    return QRect(p.x() - MarkerRadius, p.y() - MarkerRadius, 2 * MarkerRadius + 1,
                 2 * MarkerRadius + 1);
}

void TLineChart::setFocusedPoint(int series, int index)
{
    if (index < 0 || index >= pointCount(series) ||
        !finitePoint(m_series.at(series).points.at(index)))
        series = index = -1;
    if (series == m_focusSeries && index == m_focusIndex)
        return;
    m_focusSeries = series;
    m_focusIndex = index;
    if (series >= 0)
        showFocusedPoint();
    update();
}

// Brings the focused point into view, shows its read-out and tells whoever listens.
void TLineChart::showFocusedPoint()
{
    const QPointF v = m_series.at(m_focusSeries).points.at(m_focusIndex);
    const Layout &l = layout();
    if (m_zoomed && (v.x() < l.xFrom || v.x() > l.xTo)) {
        const double half = (l.xTo - l.xFrom) / 2;
        setVisibleXRange(v.x() - half, v.x() + half);
    }
    if (hasFocus()) {
        const QString tip = m_toolTip ? m_toolTip(m_focusSeries, m_focusIndex) : QString();
        if (!tip.isEmpty() && isVisible()) {
            const QRect r = pointRect(m_focusSeries, m_focusIndex);
            QToolTip::showText(mapToGlobal(r.bottomRight()), tip, this, r);
        }
        ChartAccessibility::notifyFocus(
            this, ChartAccessibility::pointChild(this, m_focusSeries, m_focusIndex));
    }
    emit pointFocused(m_focusSeries, m_focusIndex);
}

void TLineChart::keyPressEvent(QKeyEvent *e)
{
    // Position of the focused point in its series' x order.
    const auto positionOf = [this](int series, int index) {
        const QVector<int> &order = m_series.at(series).order;
        return int(std::find(order.begin(), order.end(), index) - order.begin());
    };
    // The point of `series` nearest to x, or -1 when the series has none.
    const auto nearest = [this](int series, double x) {
        const Series &s = m_series.at(series);
        if (s.order.isEmpty())
            return -1;
        const auto it = std::lower_bound(s.order.begin(), s.order.end(), x,
                                         [&](int i, double at) { return s.points.at(i).x() < at; });
        int best = it == s.order.end() ? s.order.last() : *it;
        if (it != s.order.begin()) {
            const int before = *(it - 1);
            if (std::abs(s.points.at(before).x() - x) <= std::abs(s.points.at(best).x() - x))
                best = before;
        }
        return best;
    };
    const int key = e->key();
    const bool move = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
                      key == Qt::Key_Down || key == Qt::Key_Home || key == Qt::Key_End ||
                      key == Qt::Key_PageUp || key == Qt::Key_PageDown;
    if (move && m_focusSeries < 0) {
        for (int s = 0; s < m_series.size(); ++s) {
            if (!m_series.at(s).order.isEmpty()) {
                setFocusedPoint(s, m_series.at(s).order.first());
                break;
            }
        }
        e->accept();
        return;
    }
    if (move) {
        const Series &s = m_series.at(m_focusSeries);
        const int at = positionOf(m_focusSeries, m_focusIndex);
        const double x = s.points.at(m_focusIndex).x();
        int series = m_focusSeries, index = m_focusIndex;
        if (key == Qt::Key_Left && at > 0)
            index = s.order.at(at - 1);
        else if (key == Qt::Key_Right && at + 1 < s.order.size())
            index = s.order.at(at + 1);
        else if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            // A tenth of the points at a time.
            const int step = std::max(1, int(s.order.size()) / 10);
            const int to = key == Qt::Key_PageUp ? std::max(0, at - step)
                                                 : std::min(int(s.order.size()) - 1, at + step);
            index = s.order.at(to);
        } else if (key == Qt::Key_Home)
            index = s.order.first();
        else if (key == Qt::Key_End)
            index = s.order.last();
        else if (key == Qt::Key_Up || key == Qt::Key_Down) {
            const int step = key == Qt::Key_Up ? -1 : 1;
            for (int t = m_focusSeries + step; t >= 0 && t < m_series.size(); t += step) {
                const int i = nearest(t, x);
                if (i >= 0) {
                    series = t;
                    index = i;
                    break;
                }
            }
        }
        setFocusedPoint(series, index);
        e->accept();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        m_focusSeries >= 0) {
        e->accept();
        emit pointClicked(m_focusSeries, m_focusIndex, Qt::LeftButton);
        return;
    }
    QWidget::keyPressEvent(e);
}

void TLineChart::focusInEvent(QFocusEvent *e)
{
    if (m_focusSeries >= 0)
        ChartAccessibility::notifyFocus(
            this, ChartAccessibility::pointChild(this, m_focusSeries, m_focusIndex));
    update();
    QWidget::focusInEvent(e);
}

void TLineChart::focusOutEvent(QFocusEvent *e)
{
    update();
    QWidget::focusOutEvent(e);
}

void TLineChart::setVisibleXRange(double from, double to)
{
    if (!std::isfinite(from) || !std::isfinite(to) || !(to > from))
        return;
    m_zoomed = true;
    m_zoomFrom = from;
    m_zoomTo = to;
    changed();
}

void TLineChart::resetZoom()
{
    m_zoomed = false;
    changed();
}

double TLineChart::visibleXFrom() const
{
    return layout().xFrom;
}

double TLineChart::visibleXTo() const
{
    return layout().xTo;
}

// ---- layout --------------------------------------------------------------------------------

void TLineChart::dataRange(double &xMin, double &xMax) const
{
    xMin = std::numeric_limits<double>::max();
    xMax = std::numeric_limits<double>::lowest();
    for (const Series &s : m_series) {
        if (s.order.isEmpty())
            continue;
        xMin = std::min(xMin, s.points.at(s.order.first()).x());
        xMax = std::max(xMax, s.points.at(s.order.last()).x());
    }
}

const TLineChart::Layout &TLineChart::layout() const
{
    if (!m_layoutValid || m_layout.size != size()) {
        buildLayout();
        m_layoutValid = true;
    }
    return m_layout;
}

void TLineChart::buildLayout() const
{
    Layout &l = m_layout;
    l.size = size();
    const QFontMetrics fmX(m_axes[0].font);
    const QFontMetrics fmY(m_axes[1].font);

    // Horizontal range: the zoom, or every point with a little room at both ends.
    double xMin, xMax;
    dataRange(xMin, xMax);
    if (m_zoomed) {
        l.xFrom = m_zoomFrom;
        l.xTo = m_zoomTo;
    } else if (xMin > xMax) {
        l.xFrom = 0;
        l.xTo = 1;
    } else if (xMin == xMax) {
        l.xFrom = xMin - 0.5;
        l.xTo = xMax + 0.5;
    } else {
        const double pad = (xMax - xMin) * 0.03;
        l.xFrom = xMin - pad;
        l.xTo = xMax + pad;
    }

    // Vertical range over all points, so that zooming does not make the lines jump.
    double yMin = std::numeric_limits<double>::max();
    double yMax = std::numeric_limits<double>::lowest();
    double rMin = yMin, rMax = yMax;
    l.hasRight = false;
    for (const Series &s : m_series) {
        const bool right = s.axis == RightAxis;
        l.hasRight = l.hasRight || right;
        double &lo = right ? rMin : yMin;
        double &hi = right ? rMax : yMax;
        for (int i : s.order) {
            lo = std::min(lo, s.points.at(i).y());
            hi = std::max(hi, s.points.at(i).y());
        }
    }
    const auto padRange = [](double &lo, double &hi) {
        if (lo > hi) {
            lo = 0;
            hi = 1;
        } else if (lo == hi) {
            const double pad = lo == 0 ? 1 : std::fabs(lo) * 0.1;
            lo -= pad;
            hi += pad;
        } else {
            const double pad = (hi - lo) * 0.05;
            lo = lo >= 0 ? std::max(0.0, lo - pad) : lo - pad;
            hi += pad;
        }
    };
    if (m_includesZero[LeftAxis] && yMin <= yMax) {
        yMin = std::min(yMin, 0.0);
        yMax = std::max(yMax, 0.0);
    }
    if (m_includesZero[RightAxis] && rMin <= rMax) {
        rMin = std::min(rMin, 0.0);
        rMax = std::max(rMax, 0.0);
    }
    padRange(yMin, yMax);
    padRange(rMin, rMax);

    const int top = fmY.height() / 2 + 2;
    int bottomBand = TickLength + 2 + fmX.height() + 2;
    if (!m_axes[0].title.isEmpty())
        bottomBand += fmX.height() + Gap;
    const int plotHeight = std::max(0, l.size.height() - top - bottomBand - 1);
    l.plot = QRect(0, top, 0, plotHeight);
    const int wantedY = std::clamp(int(plotHeight / ChartAxis::PixelsPerTick), 2, 10);
    l.yScale = ChartAxis::niceScale(yMin, yMax, wantedY);
    l.yTicks = ChartAxis::ticks(
        l.yScale, m_axes[1].font, m_yFormat,
        [this](double v) { return int(std::lround(yToPixel(v))); }, true);

    l.yRightTicks.clear();
    if (l.hasRight) {
        l.yRightScale = ChartAxis::niceScale(rMin, rMax, wantedY);
        l.yRightTicks = ChartAxis::ticks(
            l.yRightScale, m_rightAxis.font, m_yRightFormat,
            [this](double v) { return int(std::lround(yRightToPixel(v))); }, true);
    }

    int widest = 0;
    for (const TChartTick &t : std::as_const(l.yTicks))
        widest = std::max(widest, t.rect.width());
    int left = 1 + TickLength + Gap + widest + Gap;
    if (!m_axes[1].title.isEmpty())
        left += fmY.height() + Gap;
    int right = fmX.horizontalAdvance(QStringLiteral("0000-00-00")) / 2 + Gap;
    if (l.hasRight) {
        int widestRight = 0;
        for (const TChartTick &t : std::as_const(l.yRightTicks))
            widestRight = std::max(widestRight, t.rect.width());
        int band = 1 + TickLength + Gap + widestRight + Gap;
        if (!m_rightAxis.title.isEmpty())
            band += QFontMetrics(m_rightAxis.font).height() + Gap;
        right = std::max(right, band);
    }
    l.plot = QRect(left, top, std::max(0, l.size.width() - left - right), plotHeight);
    for (TChartTick &t : l.yTicks)
        if (!t.text.isEmpty())
            t.rect.moveLeft(l.plot.left() - 1 - TickLength - Gap - t.rect.width());
    l.yTitle =
        m_axes[1].title.isEmpty() ? QRect() : QRect(Gap, l.plot.top(), fmY.height(), plotHeight);
    for (TChartTick &t : l.yRightTicks)
        if (!t.text.isEmpty())
            t.rect.moveLeft(l.plot.right() + 2 + TickLength + Gap);
    const int rightTitleHeight = QFontMetrics(m_rightAxis.font).height();
    l.yRightTitle = !l.hasRight || m_rightAxis.title.isEmpty()
                        ? QRect()
                        : QRect(l.size.width() - Gap - rightTitleHeight, l.plot.top(),
                                rightTitleHeight, plotHeight);

    const int wantedX = std::clamp(int(l.plot.width() / PixelsPerXTick), 1, 10);
    const ChartAxis::Scale xScale = ChartAxis::niceScale(l.xFrom, l.xTo, wantedX);
    const QVector<TChartTick> all = ChartAxis::ticks(
        xScale, m_axes[0].font, m_xFormat,
        [this](double v) { return int(std::lround(xToPixel(v))); }, false);
    l.xTicks.clear();
    const int labelTop = l.plot.bottom() + 2 + TickLength + 1;
    for (TChartTick t : all) {
        if (t.value < l.xFrom || t.value > l.xTo)
            continue;
        t.rect.moveTop(labelTop);
        l.xTicks.append(t);
    }
    l.xTitle = m_axes[0].title.isEmpty() ? QRect()
                                         : QRect(l.plot.left(), labelTop + fmX.height() + Gap,
                                                 l.plot.width(), fmX.height());
}

double TLineChart::xToPixel(double x) const
{
    const Layout &l = m_layout;
    return l.plot.left() + (x - l.xFrom) / (l.xTo - l.xFrom) * (l.plot.width() - 1);
}

double TLineChart::yToPixel(double y) const
{
    const Layout &l = m_layout;
    const double span = l.yScale.maximum - l.yScale.minimum;
    return l.plot.bottom() - (y - l.yScale.minimum) / span * (l.plot.height() - 1);
}

double TLineChart::yRightToPixel(double y) const
{
    const Layout &l = m_layout;
    const double span = l.yRightScale.maximum - l.yRightScale.minimum;
    return l.plot.bottom() - (y - l.yRightScale.minimum) / span * (l.plot.height() - 1);
}

double TLineChart::seriesYToPixel(const Series &s, double y) const
{
    return s.axis == RightAxis ? yRightToPixel(y) : yToPixel(y);
}

QPointF TLineChart::seriesPixel(int series, const QPointF &value) const
{
    layout();
    if (!validSeries(series))
        return toPixel(value);
    return QPointF(xToPixel(value.x()), seriesYToPixel(m_series.at(series), value.y()));
}

double TLineChart::xAtPixel(double pixel) const
{
    const Layout &l = layout();
    return l.xFrom + (pixel - l.plot.left()) / std::max(1, l.plot.width() - 1) * (l.xTo - l.xFrom);
}

void TLineChart::setSeriesAxis(int series, ValueAxis axis)
{
    if (!validSeries(series))
        return;
    m_series[series].axis = axis;
    changed();
}

void TLineChart::setAxisIncludesZero(ValueAxis axis, bool include)
{
    m_includesZero[axis == RightAxis ? 1 : 0] = include;
    changed();
}

void TLineChart::setRightFormatter(std::function<QString(double)> f)
{
    m_yRightFormat = std::move(f);
    changed();
}

void TLineChart::addBand(double from, double to, const QColor &colour)
{
    if (!std::isfinite(from) || !std::isfinite(to))
        return;
    if (!m_bands.isEmpty() && m_bands.last().colour == colour &&
        std::min(from, to) <= m_bands.last().to && std::max(from, to) >= m_bands.last().from) {
        m_bands.last().from = std::min(m_bands.last().from, std::min(from, to));
        m_bands.last().to = std::max(m_bands.last().to, std::max(from, to));
    } else {
        m_bands.append({std::min(from, to), std::max(from, to), colour});
    }
    update();
}

void TLineChart::clearBands()
{
    m_bands.clear();
    update();
}

void TLineChart::setCursorX(double x)
{
    if (x == m_cursorX || (std::isnan(x) && std::isnan(m_cursorX)))
        return;
    m_cursorX = x;
    update();
}

void TLineChart::visibleRange(const Series &s, double from, double to, int &first, int &last) const
{
    const auto x = [&s](int i) { return s.points.at(i).x(); };
    first = int(std::lower_bound(s.order.begin(), s.order.end(), from,
                                 [&](int i, double v) { return x(i) < v; }) -
                s.order.begin());
    last = int(std::upper_bound(s.order.begin(), s.order.end(), to,
                                [&](double v, int i) { return v < x(i); }) -
               s.order.begin());
}

QRect TLineChart::plotRect() const
{
    return layout().plot;
}

QPointF TLineChart::toPixel(const QPointF &value) const
{
    layout();
    return QPointF(xToPixel(value.x()), yToPixel(value.y()));
}

double TLineChart::yMinimum() const
{
    return layout().yScale.minimum;
}

double TLineChart::yMaximum() const
{
    return layout().yScale.maximum;
}

bool TLineChart::pointAt(const QPoint &pos, int *series, int *index) const
{
    const Layout &l = layout();
    if (l.plot.isEmpty())
        return false;
    const double perPixel = (l.xTo - l.xFrom) / std::max(1, l.plot.width() - 1);
    double best = HitDistance * HitDistance + 1;
    bool found = false;
    // The series drawn last lies on top and wins a tie.
    for (int s = int(m_series.size()) - 1; s >= 0; --s) {
        const Series &series_ = m_series.at(s);
        if (!(series_.style & Markers))
            continue;
        const double x = l.xFrom + (pos.x() - l.plot.left()) * perPixel;
        int first, last;
        visibleRange(series_, x - HitDistance * perPixel, x + HitDistance * perPixel, first, last);
        for (int k = first; k < last; ++k) {
            const int i = series_.order.at(k);
            const QPointF p(xToPixel(series_.points.at(i).x()),
                            seriesYToPixel(series_, series_.points.at(i).y()));
            const double d =
                (p.x() - pos.x()) * (p.x() - pos.x()) + (p.y() - pos.y()) * (p.y() - pos.y());
            if (d < best) {
                best = d;
                found = true;
                if (series)
                    *series = s;
                if (index)
                    *index = i;
            }
        }
    }
    return found;
}

QSize TLineChart::sizeHint() const
{
    return QSize(640, 300);
}

QSize TLineChart::minimumSizeHint() const
{
    return QSize(200, 120);
}

// ---- painting ------------------------------------------------------------------------------

void TLineChart::paintChart(QPainter *painter) const
{
    const Layout &l = layout();
    QPainter &p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(QPoint(0, 0), l.size), Qt::white);
    const QRect &plot = l.plot;
    int painted = 0;

    if (plot.width() > 1 && plot.height() > 1) {
        for (const Band &band : m_bands) {
            const double from = std::max(xToPixel(band.from), double(plot.left()));
            const double to = std::min(xToPixel(band.to), double(plot.right() + 1));
            if (to > from)
                p.fillRect(QRectF(from, plot.top(), std::max(1.0, to - from), plot.height()),
                           band.colour);
        }
        p.setPen(m_axes[1].gridPen);
        for (const TChartTick &t : l.yTicks)
            if (t.position > plot.top() && t.position < plot.bottom())
                p.drawLine(plot.left(), t.position, plot.right(), t.position);
        p.setPen(m_axes[0].gridPen);
        for (const TChartTick &t : l.xTicks)
            if (t.position > plot.left() && t.position < plot.right())
                p.drawLine(t.position, plot.top(), t.position, plot.bottom());

        p.save();
        p.setClipRect(plot.adjusted(-MarkerRadius, -MarkerRadius, MarkerRadius, MarkerRadius));
        // One bit per plot pixel: a marker is drawn only where none is yet.
        QBitArray taken(plot.width() * plot.height());
        // Lines first, markers on top: the points are the data, lines only guide the eye.
        for (const bool markers : {false, true})
            for (const Series &s : m_series) {
                int first, last;
                visibleRange(s, l.xFrom, l.xTo, first, last);
                if (!markers && (s.style & Lines)) {
                    // The segments that cross the edges are drawn too.
                    const int from = std::max(0, first - 1);
                    const int to = std::min(int(s.order.size()), last + 1);
                    const ChartAxis::Scale &ys = s.axis == RightAxis ? l.yRightScale : l.yScale;
                    const QVector<double> key{double(from),
                                              double(to),
                                              l.xFrom,
                                              l.xTo,
                                              ys.minimum,
                                              ys.maximum,
                                              double(plot.left()),
                                              double(plot.top()),
                                              double(plot.width()),
                                              double(plot.height())};
                    if (s.drawnFor != key) {
                        // Per pixel column only the first point, the lowest, the highest and the
                        // last are drawn: the same picture from at most four vertices a column.
                        QPolygonF line;
                        int count = 0;
                        QPointF entry, exit, low, high;
                        bool lowFirst = true;
                        const auto flush = [&] {
                            if (count == 0)
                                return;
                            line.append(entry);
                            if (count > 1) {
                                line.append(lowFirst ? low : high);
                                line.append(lowFirst ? high : low);
                                line.append(exit);
                            }
                        };
                        // The mapping to pixels as two multiply-adds, the same as xToPixel and
                        // yToPixel: this loop sees every visible point of every series.
                        const double xa = (plot.width() - 1) / (l.xTo - l.xFrom);
                        const double xb = plot.left() - l.xFrom * xa;
                        const double ya = -(plot.height() - 1) / (ys.maximum - ys.minimum);
                        const double yb = plot.bottom() - ys.minimum * ya;
                        const QPointF *points = s.points.constData();
                        const int *order = s.order.constData();
                        double columnEnd = -std::numeric_limits<double>::infinity();
                        line.reserve(4 * plot.width() + 8);
                        for (int k = from; k < to; ++k) {
                            const QPointF &v = points[order[k]];
                            const QPointF px(v.x() * xa + xb, v.y() * ya + yb);
                            if (px.x() >= columnEnd || count == 0) {
                                flush();
                                columnEnd = std::floor(px.x()) + 1;
                                count = 1;
                                entry = exit = low = high = px;
                                lowFirst = true;
                                continue;
                            }
                            ++count;
                            exit = px;
                            // Screen y grows downwards: the lowest value has the largest y.
                            if (px.y() > low.y()) {
                                low = px;
                                lowFirst = false;
                            } else if (px.y() < high.y()) {
                                high = px;
                                lowFirst = true;
                            }
                        }
                        flush();
                        s.drawnLine = line;
                        s.drawnFor = key;
                    }
                    const QPolygonF &line = s.drawnLine;
                    // Wider than one pixel, a long polyline is stroked as one self-crossing
                    // outline, which takes the raster engine ages; lines of many vertices
                    // are drawn as two one-pixel lines one above the other instead.
                    if (line.size() > 256) {
                        p.setPen(QPen(s.colour, 0, s.penStyle));
                        p.drawPolyline(line);
                        p.translate(0, 1);
                        p.drawPolyline(line);
                        p.translate(0, -1);
                    } else {
                        p.setPen(QPen(s.colour, 2, s.penStyle));
                        p.drawPolyline(line);
                    }
                    painted += int(line.size());
                }
                if (markers && (s.style & Markers)) {
                    p.setPen(Qt::NoPen);
                    p.setBrush(s.colour);
                    for (int k = first; k < last; ++k) {
                        const QPointF &v = s.points.at(s.order.at(k));
                        const QPoint px =
                            QPointF(xToPixel(v.x()), seriesYToPixel(s, v.y())).toPoint();
                        const int bx = px.x() - plot.left(), by = px.y() - plot.top();
                        if (bx >= 0 && by >= 0 && bx < plot.width() && by < plot.height()) {
                            const int bit = by * plot.width() + bx;
                            if (taken.testBit(bit))
                                continue;
                            taken.setBit(bit);
                        }
                        p.drawEllipse(px, MarkerRadius, MarkerRadius);
                        ++painted;
                    }
                    p.setBrush(Qt::NoBrush);
                }
            }
        p.restore();
        if (std::isfinite(m_cursorX)) {
            const double x = xToPixel(m_cursorX);
            if (x >= plot.left() && x <= plot.right()) {
                p.setPen(QPen(QColor(60, 60, 60), 0, Qt::DashLine));
                p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            }
        }
    }
    m_lastPainted = painted;

    // Axes, ticks, labels and titles.
    const int base = plot.bottom() + 1;
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(plot.left() - 1, plot.top(), plot.left() - 1, base);
    p.drawLine(plot.left() - 1, base, plot.right() + 1, base);
    for (const TChartTick &t : l.yTicks)
        p.drawLine(plot.left() - 1 - TickLength, t.position, plot.left() - 1, t.position);
    for (const TChartTick &t : l.xTicks)
        p.drawLine(t.position, base, t.position, base + TickLength);
    p.setFont(m_axes[1].font);
    p.setPen(m_axes[1].labelColour);
    for (const TChartTick &t : l.yTicks)
        if (!t.text.isEmpty())
            p.drawText(t.rect, Qt::AlignVCenter | Qt::AlignRight, t.text);
    p.setFont(m_axes[0].font);
    p.setPen(m_axes[0].labelColour);
    for (const TChartTick &t : l.xTicks)
        if (!t.text.isEmpty())
            p.drawText(t.rect, Qt::AlignCenter, t.text);
    ChartAxis::drawTitle(p, l.yTitle, true, m_axes[1]);
    if (l.hasRight) {
        p.setPen(QPen(Qt::black, 0));
        p.drawLine(plot.right() + 1, plot.top(), plot.right() + 1, base);
        for (const TChartTick &t : l.yRightTicks)
            p.drawLine(plot.right() + 1, t.position, plot.right() + 1 + TickLength, t.position);
        p.setFont(m_rightAxis.font);
        p.setPen(m_rightAxis.labelColour);
        for (const TChartTick &t : l.yRightTicks)
            if (!t.text.isEmpty())
                p.drawText(t.rect, Qt::AlignVCenter | Qt::AlignLeft, t.text);
        ChartAxis::drawTitle(p, l.yRightTitle, false, m_rightAxis);
    }
    if (!l.xTitle.isNull()) {
        p.setPen(m_axes[0].titleColour);
        p.drawText(l.xTitle, Qt::AlignCenter, m_axes[0].title);
    }
    p.restore();
}

// ---- events --------------------------------------------------------------------------------

void TLineChart::paintEvent(QPaintEvent *)
{
    try {
        QPainter painter(this);
        paintChart(&painter);
        const QRect focused = hasFocus() ? pointRect(m_focusSeries, m_focusIndex) : QRect();
        if (!focused.isNull()) {
            painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(focused.adjusted(-3, -3, 3, 3));
            // The focused point's read-out, as the tool tip gives it under the mouse, at the
            // top of the plot.
            const QRect box = focusedReadoutRect();
            painter.fillRect(box, palette().color(QPalette::ToolTipBase));
            painter.setPen(QPen(palette().color(QPalette::ToolTipText), 0));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            painter.drawText(box.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             fontMetrics().elidedText(pointText(m_focusSeries, m_focusIndex),
                                                      Qt::ElideRight, box.width() - 8));
        }
    } catch (...) {
        qWarning("TLineChart: painting failed");
    }
}

void TLineChart::resizeEvent(QResizeEvent *e)
{
    m_layoutValid = false;
    QWidget::resizeEvent(e);
}

void TLineChart::mousePressEvent(QMouseEvent *e)
{
    m_pressed = true;
    m_dragging = false;
    m_pressPos = e->position().toPoint();
    m_pressFrom = layout().xFrom;
    m_pressTo = layout().xTo;
    e->accept();
}

void TLineChart::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_pressed || !(e->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    if (!m_dragging && (pos - m_pressPos).manhattanLength() < DragThreshold)
        return;
    m_dragging = true;
    const double perPixel = (m_pressTo - m_pressFrom) / std::max(1, layout().plot.width() - 1);
    const double shift = (m_pressPos.x() - pos.x()) * perPixel;
    setVisibleXRange(m_pressFrom + shift, m_pressTo + shift);
}

void TLineChart::mouseReleaseEvent(QMouseEvent *e)
{
    const bool click = m_pressed && !m_dragging;
    m_pressed = m_dragging = false;
    int series = -1, index = -1;
    try {
        if (click && pointAt(e->position().toPoint(), &series, &index)) {
            e->accept();
            setFocusedPoint(series, index);
            emit pointClicked(series, index, e->button());
            return;
        }
    } catch (...) {
        qWarning("TLineChart: click handling failed");
    }
    QWidget::mouseReleaseEvent(e);
}

void TLineChart::mouseDoubleClickEvent(QMouseEvent *e)
{
    resetZoom();
    e->accept();
}

void TLineChart::wheelEvent(QWheelEvent *e)
{
    const Layout &l = layout();
    if (l.plot.width() <= 1 || e->angleDelta().y() == 0) {
        QWidget::wheelEvent(e);
        return;
    }
    // Zoomed around the x under the mouse, which stays where it is.
    const double factor = std::pow(0.8, e->angleDelta().y() / 120.0);
    const double at =
        l.xFrom + (e->position().x() - l.plot.left()) / (l.plot.width() - 1) * (l.xTo - l.xFrom);
    const double from = at - (at - l.xFrom) * factor;
    const double to = at + (l.xTo - at) * factor;
    if (to - from > 1e-9 && to - from < 1e9)
        setVisibleXRange(from, to);
    e->accept();
}

bool TLineChart::event(QEvent *e)
{
    if (e->type() == QEvent::ToolTip) {
        try {
            auto *help = static_cast<QHelpEvent *>(e);
            int series = -1, index = -1;
            QString text;
            if (m_toolTip && pointAt(help->pos(), &series, &index))
                text = m_toolTip(series, index);
            if (text.isEmpty()) {
                QToolTip::hideText();
                e->ignore();
                return true;
            }
            const QPoint p = toPixel(m_series.at(series).points.at(index)).toPoint();
            const QRect area(p.x() - HitDistance, p.y() - HitDistance, 2 * HitDistance + 1,
                             2 * HitDistance + 1);
            QToolTip::showText(help->globalPos(), text, this, area);
        } catch (...) {
            qWarning("TLineChart: tool tip failed");
        }
        return true;
    }
    return QWidget::event(e);
}
