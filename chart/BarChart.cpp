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
#include <QSet>
#include <QToolTip>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using ChartAxis::Gap;
using ChartAxis::TickLength;
const int MarkSpacing = 2;  // least free space between two marks
const int LabelSpacing = 6; // least free space between two category labels
const int MinHitHeight = 5; // a low bar answers to presses this high above the baseline

// The height a bar is drawn at: only finite, positive values stand above the baseline.
double drawableValue(double v)
{
    return std::isfinite(v) && v > 0 ? v : 0;
}

// A number's width as the sum of its characters' advances, each measured once: shaping every
// mark's text took most of the layout with hundreds of batteries. Numbers have no ligatures,
// and kerning between digits would only make them narrower. Any other text (a formatter may
// return words) is shaped as usual.
class TMarkWidths
{
public:
    explicit TMarkWidths(const QFontMetrics &fm) : m_fm(fm) {}
    int operator()(const QString &text)
    {
        int width = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            const bool numeric = c.isDigit() || u == u'.' || u == u',' || u == u'-' || u == u'+' ||
                                 u == u'\'' || u == 0x00A0 || u == 0x2019 || u == 0x202F ||
                                 u == 0x2212 || u == 0x066B || u == 0x066C;
            if (!numeric)
                return m_fm.horizontalAdvance(text);
            auto it = m_advances.find(u);
            if (it == m_advances.end())
                it = m_advances.insert(u, m_fm.horizontalAdvance(c));
            width += *it;
        }
        return width;
    }

private:
    const QFontMetrics &m_fm;
    QHash<char16_t, int> m_advances;
};

} // namespace

TBarChart::TBarChart(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_markFont.setPointSize(8);
    m_markFont.setBold(true);
    m_categoryFont.setPixelSize(11);
    setFocusPolicy(Qt::StrongFocus);
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

// ---- layout --------------------------------------------------------------------------------

int TBarChart::categoryCount() const
{
    int n = 0;
    for (const Series &s : m_series)
        n = std::max(n, int(s.values.size()));
    return n;
}

QString TBarChart::categoryLabel(int category) const
{
    for (const Series &s : m_series) {
        if (category < s.labels.size())
            return s.labels.at(category);
    }
    return QString();
}

const TBarChart::Layout &TBarChart::layout() const
{
    if (!m_layoutValid || m_layout.size != size()) {
        // Marks lifted clear of each other may reach above the widget: the bars then give up
        // as much height as the marks need, as far as the axes allow. Trial layouts keep the
        // marks that stick out, so that the next trial knows how much room they all need.
        buildLayout(0, true);
        int extra = 0;
        for (int pass = 0; pass < 6 && m_layout.markOverflow > 0; ++pass) {
            // Beyond this the bars keep their least height and nothing changes any more.
            if (extra >= m_layout.plot.height() * 3 / 4)
                break;
            extra += m_layout.markOverflow;
            buildLayout(extra, true);
        }
        if (m_layout.markOverflow > 0)
            buildLayout(extra, false);
        m_layoutValid = true;
        ++m_layoutCount;
    }
    return m_layout;
}

void TBarChart::layoutAxis(Axis a, int plotHeight, int markRoom) const
{
    AxisLayout &axis = m_layout.axes[a];
    double highest = 0;
    for (const Series &s : m_series) {
        if (s.axis != a)
            continue;
        for (double v : s.values)
            highest = std::max(highest, drawableValue(v));
    }
    // The tallest bar must leave room for its mark above it.
    const double usable = std::max(plotHeight - markRoom, plotHeight / 4);
    const double room = plotHeight > 0 ? plotHeight / std::max(usable, 1.0) : 1.0;
    double needed = highest > 0 ? highest * std::max(room, 1.0) : 1.0;
    if (!std::isfinite(needed))
        needed = std::numeric_limits<double>::max() / 16;
    const int wanted = std::clamp(int(plotHeight / ChartAxis::PixelsPerTick), 2, 10);
    const ChartAxis::Scale scale = ChartAxis::niceScale(0, needed, wanted);
    axis.maximum = scale.maximum;
    axis.ticks = ChartAxis::ticks(
        scale, m_axes[a].font, [this](double v) { return formatValue(v); },
        [this, a](double v) { return yFor(a, v); }, true);
}

int TBarChart::valueToY(Axis a, double value) const
{
    layout();
    return yFor(a == RightAxis ? RightAxis : LeftAxis, value);
}

int TBarChart::yFor(Axis a, double value) const
{
    const Layout &l = m_layout;
    const int base = l.plot.bottom() + 1;
    const double max = l.axes[a].maximum;
    const double v = std::min(drawableValue(value), max);
    int h = int(std::lround(v / max * l.plot.height()));
    if (v > 0 && h == 0)
        h = 1; // anything above zero shows
    return base - h;
}

void TBarChart::buildLayout(int extraMarkRoom, bool trial) const
{
    Layout &l = m_layout;
    l.size = size();
    const int w = l.size.width();
    const int h = l.size.height();
    const QFontMetrics fmLeft(m_axes[LeftAxis].font);
    const QFontMetrics fmRight(m_axes[RightAxis].font);
    const QFontMetrics fmMark(m_markFont);
    const QFontMetrics fmCategory(m_categoryFont);

    // Vertical extent first: the axis scale depends on the plot height only.
    const int top = std::max(fmLeft.height(), fmRight.height()) / 2 + 2;
    const int bottomBand = TickLength + 2 + fmCategory.height() + 2;
    const int plotHeight = std::max(0, h - top - bottomBand - 1);
    l.plot = QRect(0, top, 0, plotHeight);
    const int markRoom = m_markDistance + fmMark.height() + extraMarkRoom;
    layoutAxis(LeftAxis, plotHeight, markRoom);
    layoutAxis(RightAxis, plotHeight, markRoom);

    // Horizontal extent: room for each axis' widest label and its title.
    int sideWidth[2] = {0, 0};
    for (int a = 0; a < 2; ++a) {
        const QFontMetrics fm(m_axes[a].font);
        int widest = 0;
        for (const Tick &t : l.axes[a].ticks)
            widest = std::max(widest, t.rect.width());
        sideWidth[a] = 1 + TickLength + Gap + widest + Gap;
        if (!m_axes[a].title.isEmpty())
            sideWidth[a] += fm.height() + Gap;
    }
    const int plotWidth = std::max(0, w - sideWidth[0] - sideWidth[1]);
    l.plot = QRect(sideWidth[0], top, plotWidth, plotHeight);

    for (int a = 0; a < 2; ++a) {
        const QFontMetrics fm(m_axes[a].font);
        for (Tick &t : l.axes[a].ticks) {
            if (t.text.isEmpty())
                continue;
            const int tw = t.rect.width();
            const int x = a == LeftAxis ? l.plot.left() - 1 - TickLength - Gap - tw
                                        : l.plot.right() + 2 + TickLength + Gap;
            t.rect = QRect(x, t.rect.top(), tw, t.rect.height());
        }
        const int tx = a == LeftAxis ? Gap : w - Gap - fm.height();
        l.axes[a].titleRect = m_axes[a].title.isEmpty()
                                  ? QRect()
                                  : QRect(tx, l.plot.top(), fm.height(), l.plot.height());
    }

    l.categories = categoryCount();
    l.categoryWidth = l.categories > 0 ? double(plotWidth) / l.categories : 0;
    layoutBars();
    layoutMarks(trial);
    layoutLabels();
}

void TBarChart::layoutBars() const
{
    Layout &l = m_layout;
    l.bars.clear();
    l.seriesOffset.clear();
    const int seriesTotal = int(m_series.size());
    const double group = l.categoryWidth * m_barWidthPercent / 100.0;
    const double barWidth = seriesTotal > 0 ? group / seriesTotal : 0;
    const int base = l.plot.bottom() + 1;
    for (int s = 0; s < seriesTotal; ++s) {
        const Series &series = m_series.at(s);
        l.seriesOffset.append(int(l.bars.size()));
        for (int i = 0; i < series.values.size(); ++i) {
            const double x =
                l.plot.left() + i * l.categoryWidth + (l.categoryWidth - group) / 2 + s * barWidth;
            const int left = int(std::lround(x));
            const int right = std::max(left + 1, int(std::lround(x + barWidth)));
            const int top = yFor(series.axis, series.values.at(i));
            l.bars.append(QRect(left, top, right - left, base - top));
        }
    }
}

void TBarChart::layoutMarks(bool trial) const
{
    Layout &l = m_layout;
    l.marks.clear();
    l.markOfBar.fill(-1, l.bars.size());
    l.markOverflow = 0;
    if (l.plot.isEmpty())
        return;
    const QFontMetrics fm(m_markFont);
    const int height = fm.height();
    const int widgetRight = l.size.width() - 1;
    int widest = 0;

    // Can every mark find a place at all? In a column of the plot stand about as many marks as
    // the widest mark spans bars; the marks need as many rows, while the plot has room for
    // about three quarters of its height in rows (the bars keep at least a quarter).
    if (l.categoryWidth > 0 && !m_series.isEmpty()) {
        double largest = 0;
        for (const Series &s : m_series) {
            for (double v : s.values)
                largest = std::max(largest, std::isfinite(v) ? std::abs(v) : 0.0);
        }
        const int typical = fm.horizontalAdvance(formatValue(-largest)) + 2;
        const double rowsNeeded = m_series.size() * (typical + MarkSpacing) / l.categoryWidth;
        const double rowsFree =
            (l.plot.height() * 3.0 / 4 - m_markDistance) / (height + MarkSpacing);
        if (rowsNeeded > std::max(rowsFree, 1.0) + m_series.size()) {
            layoutCrowdedMarks();
            return;
        }
    }

    TMarkWidths textWidth(fm);

    // Where each placed mark's bar stands: marks are placed in that order, so a mark can only
    // meet the marks of bars less than the widest mark to its left.
    QVector<double> placedCentre;
    // The top of the lowest obstacle r runs into (a placed mark, kept MarkSpacing apart, or a
    // bar), or INT_MAX when r is free.
    const auto lowestObstacle = [&](const QRect &r) {
        int top = std::numeric_limits<int>::max();
        const QRect padded = r.adjusted(-MarkSpacing, -MarkSpacing, MarkSpacing, MarkSpacing);
        for (qsizetype j = l.marks.size() - 1; j >= 0; --j) {
            if (placedCentre.at(j) + widest + MarkSpacing < r.left())
                break;
            const QRect &other = l.marks.at(j).rect;
            if (padded.intersects(other))
                top = std::min(top, other.top());
        }
        // A crowded bar may stand a pixel outside its category's span.
        const int first =
            std::max(0, int(std::floor((r.left() - 2 - l.plot.left()) / l.categoryWidth)) - 1);
        const int last =
            std::min(l.categories - 1,
                     int(std::floor((r.right() + 2 - l.plot.left()) / l.categoryWidth)) + 1);
        for (int i = first; i <= last; ++i) {
            for (int s = 0; s < m_series.size(); ++s) {
                if (i < m_series.at(s).values.size()) {
                    const QRect &bar = l.bars.at(l.seriesOffset.at(s) + i);
                    if (!bar.isEmpty() && bar.intersects(r))
                        top = std::min(top, bar.top());
                }
            }
        }
        return top;
    };

    for (int i = 0; i < l.categories; ++i) {
        for (int s = 0; s < m_series.size(); ++s) {
            if (i >= m_series.at(s).values.size())
                continue;
            const int bar = l.seriesOffset.at(s) + i;
            const QRect &b = l.bars.at(bar);
            const double centre = b.left() + b.width() / 2.0;
            TextItem mark;
            mark.text = formatValue(m_series.at(s).values.at(i));
            const int width = std::min(textWidth(mark.text) + 2, std::max(1, l.size.width()));
            mark.rect = QRect(int(std::lround(centre - width / 2.0)),
                              b.top() - m_markDistance - height, width, height);
            // Over the plot, clear of the axis labels, where it fits; else inside the widget.
            const int left = width <= l.plot.width() ? l.plot.left() : 0;
            const int right = width <= l.plot.width() ? l.plot.right() : widgetRight;
            if (mark.rect.right() > right)
                mark.rect.moveRight(right);
            if (mark.rect.left() < left)
                mark.rect.moveLeft(left);
            // Lifted above whatever it would run into, just as far as needed.
            widest = std::max(widest, width);
            for (int top = lowestObstacle(mark.rect);
                 top != std::numeric_limits<int>::max() && mark.rect.top() >= -l.plot.height();
                 top = lowestObstacle(mark.rect))
                mark.rect.moveBottom(top - 1 - MarkSpacing);
            if (mark.rect.top() < 0) {
                // No room left above: the bars will give up height for it, or where they
                // cannot, the mark stays away.
                l.markOverflow = std::max(l.markOverflow, -mark.rect.top());
                if (!trial || mark.rect.top() < -l.plot.height())
                    continue;
            }
            mark.series = s;
            mark.index = i;
            l.markOfBar[bar] = int(l.marks.size());
            l.marks.append(mark);
            placedCentre.append(centre);
        }
    }
}

// The marks of a chart too crowded for all of them, however lifted: each mark that finds room
// above its bar (lifted over a taller neighbour at most) is drawn, the others stay away.
void TBarChart::layoutCrowdedMarks() const
{
    Layout &l = m_layout;
    const QFontMetrics fm(m_markFont);
    const int height = fm.height();
    const int digit = fm.horizontalAdvance(QLatin1Char('0'));
    int widest = digit;

    TMarkWidths textWidth(fm);

    // Does r collide with a mark already placed? Marks are placed from left to right, so only
    // the last few can reach r.
    const auto hitsMark = [&](const QRect &r) {
        const QRect padded = r.adjusted(-MarkSpacing, 0, MarkSpacing, 0);
        for (qsizetype j = l.marks.size() - 1; j >= 0; --j) {
            const QRect &other = l.marks.at(j).rect;
            if (other.center().x() + widest < r.left())
                break;
            if (padded.intersects(other))
                return true;
        }
        return false;
    };
    // Does r cover a bar? A mark drawn over its neighbours' bars is unreadable.
    const auto hitsBar = [&](const QRect &r) {
        // A crowded bar may stand a pixel outside its category's span.
        const int first =
            std::max(0, int(std::floor((r.left() - 2 - l.plot.left()) / l.categoryWidth)) - 1);
        const int last =
            std::min(l.categories - 1,
                     int(std::floor((r.right() + 2 - l.plot.left()) / l.categoryWidth)) + 1);
        for (int i = first; i <= last; ++i) {
            for (int s = 0; s < m_series.size(); ++s) {
                if (i < m_series.at(s).values.size() &&
                    l.bars.at(l.seriesOffset.at(s) + i).intersects(r))
                    return true;
            }
        }
        return false;
    };

    for (int i = 0; i < l.categories; ++i) {
        for (int s = 0; s < m_series.size(); ++s) {
            if (i >= m_series.at(s).values.size())
                continue;
            const int bar = l.seriesOffset.at(s) + i;
            const QRect &b = l.bars.at(bar);
            const int top = b.top() - m_markDistance - height;
            if (top < 0)
                continue;
            const double centre = b.left() + b.width() / 2.0;
            // Cheap test with the narrowest possible text before formatting the value.
            const QRect narrowest(int(centre - digit / 2.0), top, digit, height);
            if (hitsMark(narrowest))
                continue;
            TextItem mark;
            mark.text = formatValue(m_series.at(s).values.at(i));
            const int width = textWidth(mark.text) + 2;
            if (width > l.plot.width())
                continue;
            mark.rect = QRect(int(std::lround(centre - width / 2.0)), top, width, height);
            // Kept over the plot, clear of the axis labels.
            if (mark.rect.left() < l.plot.left())
                mark.rect.moveLeft(l.plot.left());
            if (mark.rect.right() > l.plot.right())
                mark.rect.moveRight(l.plot.right());
            // A mark that would cover a taller neighbouring bar is lifted just above it.
            for (int lift = 0; lift < 3 && hitsBar(mark.rect); ++lift) {
                int highest = mark.rect.top();
                const QRect &r = mark.rect;
                const int first = std::max(
                    0, int(std::floor((r.left() - 2 - l.plot.left()) / l.categoryWidth)) - 1);
                const int last = std::min(
                    l.categories - 1,
                    int(std::floor((r.right() + 2 - l.plot.left()) / l.categoryWidth)) + 1);
                for (int c = first; c <= last; ++c)
                    for (int t = 0; t < m_series.size(); ++t) {
                        if (c >= m_series.at(t).values.size())
                            continue;
                        const QRect &other = l.bars.at(l.seriesOffset.at(t) + c);
                        if (other.left() <= r.right() && other.right() >= r.left())
                            highest = std::min(highest, other.top());
                    }
                mark.rect.moveTop(highest - 2 - height);
            }
            if (mark.rect.top() < 0 || hitsMark(mark.rect) || hitsBar(mark.rect))
                continue;
            mark.series = s;
            mark.index = i;
            widest = std::max(widest, width);
            l.markOfBar[bar] = int(l.marks.size());
            l.marks.append(mark);
        }
    }
}

void TBarChart::layoutLabels() const
{
    Layout &l = m_layout;
    l.labels.clear();
    if (l.categories == 0 || l.plot.width() <= 0)
        return;
    const QFontMetrics fm(m_categoryFont);
    const int y = l.plot.bottom() + 2 + TickLength + 1;
    const int height = fm.height();
    const int least = fm.averageCharWidth() * 3; // narrower than this an elided label says nothing
    const double slot = l.categoryWidth - LabelSpacing;
    const int widgetRight = l.size.width() - 1;

    if (slot >= least) {
        // Every category has room for its label, shortened to the category width.
        for (int i = 0; i < l.categories; ++i) {
            QString text = categoryLabel(i);
            if (text.isEmpty())
                continue;
            int width = fm.horizontalAdvance(text);
            if (width > slot) {
                text = fm.elidedText(text, Qt::ElideRight, int(slot));
                width = fm.horizontalAdvance(text);
            }
            const double centre = l.plot.left() + (i + 0.5) * l.categoryWidth;
            l.labels.append(
                {QRect(int(std::lround(centre - width / 2.0)), y, width, height), text, -1, i});
        }
        return;
    }

    // Too many categories: label those that fit from left to right and skip the rest.
    const int longest = std::max(least, std::min(l.plot.width(), fm.averageCharWidth() * 14));
    int freeFrom = 0; // first x a new label may use
    for (int i = 0; i < l.categories; ++i) {
        const double centre = l.plot.left() + (i + 0.5) * l.categoryWidth;
        if (centre - least / 2.0 < freeFrom)
            continue;
        QString text = categoryLabel(i);
        if (text.isEmpty())
            continue;
        // Shown whole (or cut to the common longest width) or not at all: a label squeezed into
        // whatever room is left says nothing.
        int width = fm.horizontalAdvance(text);
        if (width > longest) {
            text = fm.elidedText(text, Qt::ElideRight, longest);
            width = fm.horizontalAdvance(text);
        }
        QRect r(int(std::lround(centre - width / 2.0)), y, width, height);
        if (r.right() > widgetRight)
            r.moveRight(widgetRight);
        if (r.left() < freeFrom)
            continue;
        l.labels.append({r, text, -1, i});
        freeFrom = r.right() + 1 + LabelSpacing;
    }
}

// ---- read-outs -----------------------------------------------------------------------------

QRect TBarChart::barRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    return l.bars.at(l.seriesOffset.at(series) + index);
}

QRect TBarChart::hitRect(const QRect &bar) const
{
    if (bar.height() >= MinHitHeight)
        return bar;
    const int base = m_layout.plot.bottom() + 1;
    return QRect(bar.left(), base - MinHitHeight, bar.width(), MinHitHeight);
}

bool TBarChart::barAt(const QPoint &pos, int *series, int *index) const
{
    const Layout &l = layout();
    if (l.categories == 0 || l.categoryWidth <= 0)
        return false;
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
    const int i = int((pos.x() - l.plot.left()) / l.categoryWidth);
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
            lines.append(s.title + QStringLiteral(": ") + formatValue(s.values.at(category)));
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
    for (const TextItem &item : layout().labels)
        rects.append(item.rect);
    return rects;
}

QRect TBarChart::markRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    const int mark = l.markOfBar.at(l.seriesOffset.at(series) + index);
    return mark < 0 ? QRect() : l.marks.at(mark).rect;
}

QVector<QRect> TBarChart::markRects() const
{
    QVector<QRect> rects;
    for (const TextItem &item : layout().marks)
        rects.append(item.rect);
    return rects;
}

QSize TBarChart::sizeHint() const
{
    return QSize(640, 256);
}

QSize TBarChart::minimumSizeHint() const
{
    return QSize(160, 100);
}

// ---- painting ------------------------------------------------------------------------------

void TBarChart::paintChart(QPainter *painter) const
{
    const Layout &l = layout();
    QPainter &p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(QPoint(0, 0), l.size), Qt::white);
    const QRect &plot = l.plot;
    const int base = plot.bottom() + 1;

    if (plot.width() > 0 && plot.height() > 0) {
        for (int a = 0; a < 2; ++a) {
            p.setPen(m_axes[a].gridPen);
            for (const Tick &t : l.axes[a].ticks) {
                if (t.value > 0)
                    p.drawLine(plot.left(), t.position, plot.right(), t.position);
            }
        }
        // Category by category so that a crowded bar overlaps its left neighbour, as hit tests
        // assume.
        for (int i = 0; i < l.categories; ++i) {
            for (int s = 0; s < m_series.size(); ++s) {
                if (i < m_series.at(s).values.size())
                    p.fillRect(l.bars.at(l.seriesOffset.at(s) + i), m_series.at(s).colour);
            }
        }
    }

    // Axis lines and ticks.
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(plot.left() - 1, plot.top(), plot.left() - 1, base);
    p.drawLine(plot.right() + 1, plot.top(), plot.right() + 1, base);
    p.drawLine(plot.left() - 1, base, plot.right() + 1, base);
    for (int a = 0; a < 2; ++a) {
        const int x0 = a == LeftAxis ? plot.left() - 1 - TickLength : plot.right() + 1;
        for (const Tick &t : l.axes[a].ticks)
            p.drawLine(x0, t.position, x0 + TickLength, t.position);
    }

    for (int a = 0; a < 2; ++a) {
        const AxisStyle &style = m_axes[a];
        p.setFont(style.font);
        p.setPen(style.labelColour);
        for (const Tick &t : l.axes[a].ticks) {
            if (!t.text.isEmpty())
                p.drawText(t.rect, Qt::AlignVCenter | Qt::AlignRight, t.text);
        }
        ChartAxis::drawTitle(p, l.axes[a].titleRect, a == LeftAxis, style);
    }

    p.setFont(m_categoryFont);
    p.setPen(m_categoryLabelColour);
    for (const TextItem &item : l.labels)
        p.drawText(item.rect, Qt::AlignCenter, item.text);

    p.setFont(m_markFont);
    QVector<QColor> markColours;
    for (int s = 0; s < m_series.size(); ++s)
        markColours.append(visibleMarkColour(s));
    for (const TextItem &item : l.marks) {
        p.setPen(QPen(markColours.at(item.series), 0));
        const QLine leader = markLeader(item.series, item.index);
        if (!leader.isNull())
            p.drawLine(leader);
        p.drawText(item.rect, Qt::AlignCenter, item.text);
    }
    p.restore();
}

// ---- keyboard and assistive technology -------------------------------------------------------

namespace {

// Relative luminance and contrast ratio as used for text legibility.
double luminance(const QColor &c)
{
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Below this the marks' figures are hard to read on the chart's background.
const double LeastMarkContrast = 3.0;

} // namespace

QColor TBarChart::visibleMarkColour(int series) const
{
    if (!validSeries(series))
        return QColor();
    const QColor own = m_series.at(series).markColour;
    const QColor background = Qt::white; // paintChart's background
    if (contrast(own, background) >= LeastMarkContrast)
        return own;
    const QColor text = palette().color(QPalette::Text);
    return contrast(text, background) >= LeastMarkContrast ? text : QColor(Qt::black);
}

QLine TBarChart::markLeader(int series, int index) const
{
    if (!validPoint(series, index))
        return QLine();
    const Layout &l = layout();
    const int bar = l.seriesOffset.at(series) + index;
    const int mark = l.markOfBar.at(bar);
    if (mark < 0)
        return QLine();
    const QRect &b = l.bars.at(bar);
    const QRect &r = l.marks.at(mark).rect;
    if (r.bottom() + 1 >= b.top() - m_markDistance)
        return QLine(); // right above its bar, as placed
    // From the middle of the bar's top to the mark's bottom edge, above the bar where the mark
    // allows it.
    const int x = b.left() + b.width() / 2;
    const int markX = std::clamp(x, r.left(), r.right());
    return QLine(x, b.top() - 1, markX, r.bottom() + 1);
}

QRect TBarChart::barFocusRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    return hitRect(l.bars.at(l.seriesOffset.at(series) + index));
}

void TBarChart::setFocusedBar(int series, int index)
{
    if (!validPoint(series, index))
        series = index = -1;
    if (series == m_focusSeries && index == m_focusIndex)
        return;
    m_focusSeries = series;
    m_focusIndex = index;
    update();
    if (series >= 0) {
        if (hasFocus())
            ChartAccessibility::notifyFocus(this,
                                            ChartAccessibility::barChild(this, series, index));
        emit focusedBarChanged(series, index);
    }
}

void TBarChart::setValueSuffix(int series, const QString &suffix)
{
    if (!validSeries(series))
        return;
    m_series[series].suffix = suffix;
    ChartAccessibility::notifyDataChanged(this);
}

QString TBarChart::valueSuffix(int series) const
{
    return validSeries(series) ? m_series.at(series).suffix : QString();
}

QString TBarChart::barText(int series, int index) const
{
    if (!validPoint(series, index))
        return QString();
    const Series &s = m_series.at(series);
    return tr("%1, %2 %3")
        .arg(s.labels.at(index).trimmed(), s.title, formatValue(s.values.at(index)) + s.suffix);
}

void TBarChart::setCategoryCountText(std::function<QString(int)> f)
{
    m_categoryCountText = std::move(f);
    ChartAccessibility::notifyDataChanged(this);
}

QString TBarChart::summaryText() const
{
    const int categories = categoryCount();
    return tr("%n series", nullptr, seriesCount()) + QStringLiteral(", ") +
           (m_categoryCountText ? m_categoryCountText(categories)
                                : tr("%n categories", nullptr, categories));
}

void TBarChart::keyPressEvent(QKeyEvent *e)
{
    const int categories = categoryCount();
    if (categories == 0 || m_series.isEmpty()) {
        QWidget::keyPressEvent(e);
        return;
    }
    int series = validSeries(m_focusSeries) ? m_focusSeries : 0;
    int index = std::max(m_focusIndex, 0);
    // The nearest series from `from` on in direction `step` that has a point at `at`.
    const auto seriesWith = [this](int from, int step, int at) {
        for (int s = from; s >= 0 && s < m_series.size(); s += step) {
            if (at < m_series.at(s).values.size())
                return s;
        }
        return -1;
    };
    const auto moveTo = [&](int s, int i) {
        if (s >= 0 && validPoint(s, i))
            setFocusedBar(s, i);
        e->accept();
    };
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    static const QSet<int> moves = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                                    Qt::Key_Down, Qt::Key_Home,  Qt::Key_End};
    if (!validPoint(m_focusSeries, m_focusIndex) && moves.contains(e->key())) {
        // Nothing focused yet (the bars came after the focus): any move starts at the first bar.
        return moveTo(seriesWith(0, 1, 0), 0);
    }
    switch (e->key()) {
    case Qt::Key_Left:
        if (index > 0)
            --index;
        return moveTo(seriesWith(std::min(series, int(m_series.size()) - 1), -1, index), index);
    case Qt::Key_Right:
        if (index + 1 < categories)
            ++index;
        return moveTo(seriesWith(series, 1, index) >= 0 ? seriesWith(series, 1, index)
                                                        : seriesWith(series, -1, index),
                      index);
    case Qt::Key_Up:
        return moveTo(series > 0 ? seriesWith(series - 1, -1, index) : series, index);
    case Qt::Key_Down:
        return moveTo(seriesWith(series + 1, 1, index) >= 0 ? seriesWith(series + 1, 1, index)
                                                            : series,
                      index);
    case Qt::Key_Home:
        return moveTo(
            seriesWith(series, 1, 0) >= 0 ? seriesWith(series, 1, 0) : seriesWith(0, 1, 0), 0);
    case Qt::Key_End: {
        const int last = categories - 1;
        return moveTo(seriesWith(series, -1, last) >= 0 ? seriesWith(series, -1, last)
                                                        : seriesWith(series, 1, last),
                      last);
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (validPoint(m_focusSeries, m_focusIndex)) {
            e->accept();
            if (shift && e->key() != Qt::Key_Space)
                emit seriesDoubleClicked(m_focusSeries, m_focusIndex);
            else
                emit seriesPressed(m_focusSeries, m_focusIndex, Qt::LeftButton,
                                   barFocusRect(m_focusSeries, m_focusIndex).center());
            return;
        }
        break;
    case Qt::Key_F10:
        if (shift) {
            // The usual other key for the context menu; the menu key itself comes as a context
            // menu event from the window system.
            const QPoint centre = validPoint(m_focusSeries, m_focusIndex)
                                      ? barFocusRect(m_focusSeries, m_focusIndex).center()
                                      : rect().center();
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, centre, mapToGlobal(centre),
                                   e->modifiers());
            QWidget::event(&menu);
            e->accept();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(e);
}

void TBarChart::focusInEvent(QFocusEvent *e)
{
    if (!validPoint(m_focusSeries, m_focusIndex)) {
        for (int s = 0; s < m_series.size() && m_focusSeries < 0; ++s) {
            if (!m_series.at(s).values.isEmpty())
                setFocusedBar(s, 0);
        }
    } else {
        ChartAccessibility::notifyFocus(
            this, ChartAccessibility::barChild(this, m_focusSeries, m_focusIndex));
    }
    update();
    QWidget::focusInEvent(e);
}

void TBarChart::focusOutEvent(QFocusEvent *e)
{
    update();
    QWidget::focusOutEvent(e);
}

// ---- events --------------------------------------------------------------------------------

void TBarChart::paintEvent(QPaintEvent *)
{
    try {
        QPainter painter(this);
        paintChart(&painter);
        if (hasFocus() && validPoint(m_focusSeries, m_focusIndex)) {
            // The focused bar's frame: dashed, in the text colour, a little off the bar.
            QPen pen(palette().color(QPalette::Text), 1, Qt::DashLine);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(barFocusRect(m_focusSeries, m_focusIndex).adjusted(-2, -2, 1, 1));
        }
    } catch (const std::exception &e) {
        qWarning("TBarChart: painting failed: %s", e.what());
    } catch (...) {
        qWarning("TBarChart: painting failed");
    }
}

void TBarChart::mousePressEvent(QMouseEvent *e)
{
    // Only report the press: a right click goes on to become a context menu event as usual.
    try {
        const QPoint pos = e->position().toPoint();
        int series = -1;
        int index = -1;
        if (barAt(pos, &series, &index)) {
            e->accept();
            setFocusedBar(series, index);
            emit seriesPressed(series, index, e->button(), pos);
            return;
        }
    } catch (const std::exception &ex) {
        qWarning("TBarChart: press handling failed: %s", ex.what());
    } catch (...) {
        qWarning("TBarChart: press handling failed");
    }
    QWidget::mousePressEvent(e);
}

void TBarChart::mouseDoubleClickEvent(QMouseEvent *e)
{
    int series = -1;
    int index = -1;
    if (e->button() == Qt::LeftButton && barAt(e->position().toPoint(), &series, &index)) {
        e->accept();
        emit seriesDoubleClicked(series, index);
        return;
    }
    QWidget::mouseDoubleClickEvent(e);
}

bool TBarChart::event(QEvent *e)
{
    if (e->type() == QEvent::ContextMenu) {
        // Asked for by keyboard: the menu belongs to the focused bar, so it opens there.
        auto *menu = static_cast<QContextMenuEvent *>(e);
        if (menu->reason() == QContextMenuEvent::Keyboard &&
            validPoint(m_focusSeries, m_focusIndex)) {
            const QPoint centre = barFocusRect(m_focusSeries, m_focusIndex).center();
            if (menu->pos() != centre) {
                QContextMenuEvent atBar(QContextMenuEvent::Keyboard, centre, mapToGlobal(centre),
                                        menu->modifiers());
                const bool done = QWidget::event(&atBar);
                e->setAccepted(atBar.isAccepted());
                return done;
            }
        }
    }
    if (e->type() == QEvent::ToolTip) {
        try {
            auto *help = static_cast<QHelpEvent *>(e);
            const int category = categoryAt(help->pos());
            if (category < 0) {
                QToolTip::hideText();
                e->ignore();
                return true;
            }
            const Layout &l = layout();
            const int left = int(std::lround(l.plot.left() + category * l.categoryWidth));
            const int right = int(std::lround(l.plot.left() + (category + 1) * l.categoryWidth));
            const QRect area(left, l.plot.top(), std::max(1, right - left),
                             l.size.height() - l.plot.top());
            // As rich text so that a label looking like markup shows as typed.
            const QString html = QStringLiteral("<p style='white-space:pre'>") +
                                 toolTipText(category).toHtmlEscaped().replace(
                                     QLatin1Char('\n'), QStringLiteral("<br>")) +
                                 QStringLiteral("</p>");
            QToolTip::showText(help->globalPos(), html, this, area);
        } catch (...) {
            qWarning("TBarChart: tool tip failed");
        }
        return true;
    }
    return QWidget::event(e);
}

void TBarChart::resizeEvent(QResizeEvent *e)
{
    m_layoutValid = false;
    QWidget::resizeEvent(e);
}
