// The bar chart's layout: axes and their scales, the plot and its scrolled content, bars,
// marks, category labels and the legend. Everything is computed when first needed after a
// change and kept until the next one.

#include "BarChart.h"

#include <QFontMetrics>
#include <QHash>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using ChartAxis::Gap;
using ChartAxis::TickLength;
const int MarkSpacing = 2;  // least free space between two marks
const int LabelSpacing = 6; // least free space between two category labels
// The rows of marks a category is given room for (one above the bars, the others lifted).
const int MarkRows = 4;

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
        m_scroll = clampedScroll(m_scroll);
        updateScrollBar();
    }
    return m_layout;
}

int TBarChart::clampedScroll(int pixels) const
{
    const Layout &l = m_layout;
    const int most = l.scrollable ? std::max(0, l.content.width() - l.plot.width()) : 0;
    return std::clamp(pixels, 0, most);
}

int TBarChart::readableCategoryWidth() const
{
    // Room for the marks of a category's bars in a few rows, for a turned label, and for bars
    // of a few pixels.
    const QFontMetrics fmMark(m_markFont);
    const QFontMetrics fmCategory(m_categoryFont);
    double largest = 0;
    for (const Series &s : m_series)
        for (double v : s.values)
            largest = std::max(largest, std::isfinite(v) ? std::abs(v) : 0.0);
    const int series = std::max(1, int(m_series.size()));
    const int mark = fmMark.horizontalAdvance(formatValue(largest)) + 2 + MarkSpacing;
    const double forMarks = double(mark) * series / (m_barWidthPercent / 100.0) / MarkRows;
    const int forLabel = fmCategory.height() + LabelSpacing;
    return std::clamp(int(std::ceil(std::max({forMarks, double(forLabel), 4.0 * series}))), 8, 240);
}

int TBarChart::labelBandHeight(double categoryWidth, bool *turned) const
{
    const QFontMetrics fm(m_categoryFont);
    int widest = 0;
    const int categories = categoryCount();
    for (int i = 0; i < categories; ++i)
        widest = std::max(widest, fm.horizontalAdvance(categoryLabel(i)));
    *turned = widest > categoryWidth - LabelSpacing && widest > 0;
    if (!*turned)
        return fm.height();
    // Turned labels read upwards from the axis; a label longer than two fifths of the chart's
    // height is shortened, so that the bars keep most of it.
    return std::clamp(widest, fm.height(), std::max(fm.height(), height() * 2 / 5));
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
    ChartAxis::Scale scale = ChartAxis::niceScale(0, needed, wanted);
    // The right axis takes the left one's steps, each a round number of its own, so that both
    // share their grid lines.
    const auto inUse = [this](Axis which) {
        return std::any_of(m_series.begin(), m_series.end(), [which](const Series &s) {
            return s.axis == which && !s.values.isEmpty();
        });
    };
    if (a == LeftAxis)
        m_layout.aligned = false;
    if (a == RightAxis && inUse(LeftAxis) && inUse(RightAxis)) {
        const ChartAxis::Scale &left = m_layout.axes[LeftAxis].scale;
        scale.minimum = 0;
        scale.count = std::max(1, left.count);
        scale.step = ChartAxis::niceStep(needed / scale.count);
        scale.maximum = scale.step * scale.count;
        m_layout.aligned = true;
    }
    axis.scale = scale;
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
    l.categories = categoryCount();

    const int legendHeight = m_legendVisible && !m_series.isEmpty() ? fmCategory.height() + 4 : 0;
    const int top = legendHeight + std::max(fmLeft.height(), fmRight.height()) / 2 + 2;
    const int markRoom = m_markDistance + fmMark.height() + extraMarkRoom;
    const int scrollBarHeight =
        m_scrollBar
            ? m_scrollBar->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar)
            : 12;
    const int readable = l.categories > 0 ? readableCategoryWidth() : 0;

    // The axes' scale depends on the plot's height, the room for their labels on the scale, the
    // plot's width on that room, and whether the plot scrolls or its labels turn on the width,
    // which in turn takes height: laid out once as if labels lay flat and nothing scrolled, and
    // again when that was not so.
    const auto layOut = [&](int labelBand, bool scrolls) {
        const int bottomBand = TickLength + 2 + labelBand + 2 + (scrolls ? scrollBarHeight + 1 : 0);
        const int plotHeight = std::max(0, h - top - bottomBand - 1);
        l.plot = QRect(0, top, 0, plotHeight);
        layoutAxis(LeftAxis, plotHeight, markRoom);
        layoutAxis(RightAxis, plotHeight, markRoom);
        // Room for each axis' widest label and its title.
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
    };
    const int flat = fmCategory.height();
    layOut(flat, false);
    double categoryWidth = l.categories > 0 ? double(l.plot.width()) / l.categories : 0;
    l.scrollable = l.categories > 1 && categoryWidth < readable && l.plot.width() > 0;
    if (l.scrollable)
        categoryWidth = readable;
    const int band = l.categories > 0 ? labelBandHeight(categoryWidth, &l.turnedLabels) : flat;
    if (!l.categories)
        l.turnedLabels = false;
    if (band != flat || l.scrollable) {
        layOut(band, l.scrollable);
        if (!l.scrollable && l.categories > 0)
            categoryWidth = double(l.plot.width()) / l.categories;
    }
    l.categoryWidth = categoryWidth;
    l.content = QRect(l.plot.left(), l.plot.top(),
                      l.scrollable ? int(std::ceil(categoryWidth * l.categories)) : l.plot.width(),
                      l.plot.height());

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

    layoutLegend(2);
    layoutBars();
    layoutMarks(trial);
    layoutLabels();
}

void TBarChart::layoutLegend(int top) const
{
    Layout &l = m_layout;
    l.legend = QRect();
    l.legendSwatches.clear();
    l.legendTexts.clear();
    if (!m_legendVisible || m_series.isEmpty())
        return;
    // One line above the plot, from its left edge: a colour patch and the title per series.
    const QFontMetrics fm(m_categoryFont);
    const int swatch = std::max(6, fm.height() - 4);
    int x = l.plot.left();
    for (const Series &s : m_series) {
        l.legendSwatches.append(QRect(x, top + (fm.height() - swatch) / 2, swatch, swatch));
        x += swatch + Gap;
        const int width = fm.horizontalAdvance(s.title);
        l.legendTexts.append(QRect(x, top, width, fm.height()));
        x += width + 3 * Gap;
    }
    l.legend = QRect(l.plot.left(), top, x - 3 * Gap - l.plot.left(), fm.height());
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
    const int ceiling = l.legend.isNull() ? 0 : l.legend.bottom() + 2; // below the legend
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
    // Each placed mark with the free column below it down to its bar (its "stem"): no mark of
    // another category may stand in that gap, or the mark could be taken for another bar's.
    QVector<QRect> placedStem;
    // The top of the lowest obstacle r runs into (a placed mark or its stem, kept MarkSpacing
    // apart, or a bar), or INT_MAX when r is free.
    int currentCategory = -1;
    const auto lowestObstacle = [&](const QRect &r) {
        int top = std::numeric_limits<int>::max();
        const QRect padded = r.adjusted(-MarkSpacing, -MarkSpacing, MarkSpacing, MarkSpacing);
        for (qsizetype j = l.marks.size() - 1; j >= 0; --j) {
            if (placedCentre.at(j) + widest + MarkSpacing < r.left())
                break;
            const QRect &other = l.marks.at(j).rect;
            if (padded.intersects(other) ||
                (l.marks.at(j).index != currentCategory && padded.intersects(placedStem.at(j))))
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
            currentCategory = i;
            TextItem mark;
            mark.text = formatValue(m_series.at(s).values.at(i));
            const int width = std::min(textWidth(mark.text) + 2, std::max(1, l.size.width()));
            mark.rect = QRect(int(std::lround(centre - width / 2.0)),
                              b.top() - m_markDistance - height, width, height);
            // Over the plot, clear of the axis labels, where it fits; else inside the widget.
            const int left = width <= l.content.width() ? l.content.left() : 0;
            const int right = width <= l.content.width() ? l.content.right() : widgetRight;
            if (mark.rect.right() > right)
                mark.rect.moveRight(right);
            if (mark.rect.left() < left)
                mark.rect.moveLeft(left);
            // Lifted straight up above whatever it would run into, just as far as needed; one
            // that would have another category's mark in the gap down to its bar shows on hover
            // and focus only.
            widest = std::max(widest, width);
            for (int top = lowestObstacle(mark.rect);
                 top != std::numeric_limits<int>::max() && mark.rect.top() >= -l.plot.height();
                 top = lowestObstacle(mark.rect))
                mark.rect.moveBottom(top - 1 - MarkSpacing);
            const int stemX = int(std::lround(centre));
            const QRect stem(stemX, mark.rect.bottom() + 1, 1,
                             std::max(0, b.top() - mark.rect.bottom() - 1));
            bool blocked = false;
            for (qsizetype j = l.marks.size() - 1; j >= 0 && !blocked; --j) {
                if (placedCentre.at(j) + widest + MarkSpacing < mark.rect.left())
                    break;
                // Within its own category the marks' order and colours tell them apart.
                blocked = stem.height() > 0 && l.marks.at(j).index != i &&
                          stem.intersects(l.marks.at(j).rect);
            }
            if (blocked)
                continue;
            if (mark.rect.top() < ceiling) {
                // No room left above: the bars will give up height for it, or where they
                // cannot, the mark stays away.
                l.markOverflow = std::max(l.markOverflow, ceiling - mark.rect.top());
                if (!trial || mark.rect.top() < -l.plot.height())
                    continue;
            }
            mark.series = s;
            mark.index = i;
            l.markOfBar[bar] = int(l.marks.size());
            l.marks.append(mark);
            placedCentre.append(centre);
            placedStem.append(QRect(stemX, mark.rect.bottom() + 1, 1,
                                    std::max(0, b.top() - mark.rect.bottom() - 1)));
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
    const int ceiling = l.legend.isNull() ? 0 : l.legend.bottom() + 2;
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
            if (top < ceiling)
                continue;
            const double centre = b.left() + b.width() / 2.0;
            // Cheap test with the narrowest possible text before formatting the value.
            const QRect narrowest(int(centre - digit / 2.0), top, digit, height);
            if (hitsMark(narrowest))
                continue;
            TextItem mark;
            mark.text = formatValue(m_series.at(s).values.at(i));
            const int width = textWidth(mark.text) + 2;
            if (width > l.content.width())
                continue;
            mark.rect = QRect(int(std::lround(centre - width / 2.0)), top, width, height);
            // Kept over the plot, clear of the axis labels.
            if (mark.rect.left() < l.content.left())
                mark.rect.moveLeft(l.content.left());
            if (mark.rect.right() > l.content.right())
                mark.rect.moveRight(l.content.right());
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
            if (mark.rect.top() < ceiling || hitsMark(mark.rect) || hitsBar(mark.rect))
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
    if (l.turnedLabels) {
        // Turned to read upwards, hanging from the axis: as long as the band, each in its
        // category's middle.
        const bool scrolls = l.scrollable;
        const int band =
            std::max(height, l.size.height() - y - 2 -
                                 (scrolls && m_scrollBar
                                      ? m_scrollBar->style()->pixelMetric(
                                            QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar) +
                                            1
                                      : 0));
        for (int i = 0; i < l.categories; ++i) {
            QString text = categoryLabel(i);
            if (text.isEmpty())
                continue;
            int width = fm.horizontalAdvance(text);
            if (width > band) {
                text = fm.elidedText(text, Qt::ElideRight, band);
                width = fm.horizontalAdvance(text);
            }
            const double centre = l.content.left() + (i + 0.5) * l.categoryWidth;
            l.labels.append(
                {QRect(int(std::lround(centre - height / 2.0)), y, height, width), text, -1, i});
        }
        return;
    }
    // Flat: every label fits its category whole (else they would have been turned).
    for (int i = 0; i < l.categories; ++i) {
        const QString text = categoryLabel(i);
        if (text.isEmpty())
            continue;
        const int width = fm.horizontalAdvance(text);
        const double centre = l.content.left() + (i + 0.5) * l.categoryWidth;
        l.labels.append(
            {QRect(int(std::lround(centre - width / 2.0)), y, width, height), text, -1, i});
    }
}
