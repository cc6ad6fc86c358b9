// Drawing the bar chart: the grid, the scrolled bars, marks and labels clipped to the plot, the
// fixed axes, the legend, and the marks shown on hover and focus.

#include "BarChart.h"

#include "ChartContrast.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace {

using ChartAxis::TickLength;

const QColor Background = Qt::white; // the chart's panel

} // namespace

QColor TBarChart::visibleMarkColour(int series) const
{
    if (!validSeries(series))
        return QColor();
    // The series' own colour where it reads on the background, else the same hue darkened
    // until it does: the bars keep the colour the user chose.
    return ChartContrast::readableOn(m_series.at(series).markColour, Background);
}

TBarChart::TextItem TBarChart::naturalMark(int series, int index) const
{
    const Layout &l = layout();
    const QRect &b = l.bars.at(l.seriesOffset.at(series) + index);
    const QFontMetrics fm(m_markFont);
    TextItem mark;
    mark.series = series;
    mark.index = index;
    mark.text = formatValue(m_series.at(series).values.at(index)) + m_series.at(series).suffix;
    const int width = fm.horizontalAdvance(mark.text) + 6;
    const int top = std::max(0, b.top() - m_markDistance - fm.height());
    mark.rect = QRect(b.left() + b.width() / 2 - width / 2, top, width, fm.height());
    // Kept inside the visible plot.
    const QRect view = l.plot.translated(m_scroll, 0);
    if (mark.rect.right() > view.right())
        mark.rect.moveRight(view.right());
    if (mark.rect.left() < view.left())
        mark.rect.moveLeft(view.left());
    return mark;
}

QRect TBarChart::onDemandMarkRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    if (l.markOfBar.at(l.seriesOffset.at(series) + index) >= 0)
        return QRect();
    const bool hovered = series == m_hoverSeries && index == m_hoverIndex;
    const bool focused = hasFocus() && series == m_focusSeries && index == m_focusIndex;
    return hovered || focused ? toWidget(naturalMark(series, index).rect) : QRect();
}

void TBarChart::paintMark(QPainter &p, const TextItem &item, const QColor &colour,
                          bool onDemand) const
{
    if (onDemand) {
        // Over whatever stands there: on its own white patch, framed in its colour.
        p.fillRect(item.rect, Background);
        p.setPen(QPen(colour, 0));
        p.drawRect(item.rect.adjusted(0, 0, -1, -1));
    }
    p.setPen(QPen(colour, 0));
    p.drawText(item.rect, Qt::AlignCenter, item.text);
}

void TBarChart::paintChart(QPainter *painter) const
{
    const Layout &l = layout();
    QPainter &p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(QPoint(0, 0), l.size), Background);
    const QRect &plot = l.plot;
    const int base = plot.bottom() + 1;
    QVector<QColor> markColours;
    for (int s = 0; s < m_series.size(); ++s)
        markColours.append(visibleMarkColour(s));

    // The legend: a patch of each series' own colour and its title.
    p.setFont(m_categoryFont);
    for (int s = 0; s < l.legendSwatches.size() && s < m_series.size(); ++s) {
        p.fillRect(l.legendSwatches.at(s), m_series.at(s).colour);
        p.setPen(QPen(Qt::black, 0));
        p.drawRect(l.legendSwatches.at(s).adjusted(0, 0, -1, -1));
        p.setPen(m_categoryLabelColour);
        p.drawText(l.legendTexts.at(s), Qt::AlignLeft | Qt::AlignVCenter, m_series.at(s).title);
    }

    if (plot.width() > 0 && plot.height() > 0) {
        // With aligned axes the right axis' lines are the left one's: drawn once.
        for (int a = 0; a < (l.aligned ? 1 : 2); ++a) {
            p.setPen(m_axes[a].gridPen);
            for (const Tick &t : l.axes[a].ticks) {
                if (t.value > 0)
                    p.drawLine(plot.left(), t.position, plot.right(), t.position);
            }
        }
        // The scrolled content: bars and marks, clipped to the plot's width.
        p.save();
        p.setClipRect(QRect(plot.left(), 0, plot.width(), base));
        p.translate(-m_scroll, 0);
        // Category by category so that a crowded bar overlaps its left neighbour, as hit tests
        // assume.
        const int firstShown = std::max(0, int((m_scroll) / std::max(l.categoryWidth, 1e-9)) - 1);
        const int lastShown = std::min(
            l.categories - 1, int((m_scroll + plot.width()) / std::max(l.categoryWidth, 1e-9)) + 1);
        for (int i = firstShown; i <= lastShown; ++i) {
            for (int s = 0; s < m_series.size(); ++s) {
                if (i < m_series.at(s).values.size())
                    p.fillRect(l.bars.at(l.seriesOffset.at(s) + i), m_series.at(s).colour);
            }
        }
        // Marks may reach beside the plot where it does not scroll (a figure wider than it).
        if (l.scrollable)
            p.setClipRect(QRect(plot.left() + m_scroll, 0, plot.width(), base));
        else
            p.setClipping(false);
        p.setFont(m_markFont);
        for (const TextItem &item : l.marks)
            if (!l.scrollable || (item.index >= firstShown - 1 && item.index <= lastShown + 1))
                paintMark(p, item, markColours.at(item.series), false);
        p.restore();
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

    // Category labels, scrolled with their bars.
    p.save();
    p.setClipRect(QRect(plot.left(), base, plot.width(), l.size.height() - base));
    p.translate(-m_scroll, 0);
    p.setFont(m_categoryFont);
    p.setPen(m_categoryLabelColour);
    // Only those in view: drawing text is what takes the time with hundreds of batteries.
    const double width = std::max(l.categoryWidth, 1e-9);
    const int firstLabel = std::max(0, int(m_scroll / width) - 1);
    const int lastLabel = int((m_scroll + plot.width()) / width) + 1;
    for (const TextItem &item : l.labels) {
        if (item.index < firstLabel || item.index > lastLabel)
            continue;
        if (!l.turnedLabels) {
            p.drawText(item.rect, Qt::AlignCenter, item.text);
            continue;
        }
        // Reading upwards, ending at the axis.
        p.save();
        p.translate(item.rect.left(), item.rect.bottom() + 1);
        p.rotate(-90);
        p.drawText(QRect(0, 0, item.rect.height(), item.rect.width()),
                   Qt::AlignRight | Qt::AlignVCenter, item.text);
        p.restore();
    }
    p.restore();

    // The marks without a place of their own, for the bar under the mouse and the focused one.
    p.setFont(m_markFont);
    for (const auto &[series, index] :
         {std::pair(m_hoverSeries, m_hoverIndex), std::pair(m_focusSeries, m_focusIndex)}) {
        const QRect r = onDemandMarkRect(series, index);
        if (r.isNull())
            continue;
        TextItem item = naturalMark(series, index);
        item.rect = r;
        paintMark(p, item, markColours.at(series), true);
    }
    p.restore();
}
