// The bar chart and its user: keys, mouse, wheel, focus, hover, tool tips and the sideways
// scrolling of a plot too wide for the widget.

#include "BarChart.h"

#include "ChartAccessibility.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

QRect TBarChart::barFocusRect(int series, int index) const
{
    if (!validPoint(series, index))
        return QRect();
    const Layout &l = layout();
    return toWidget(hitRect(l.bars.at(l.seriesOffset.at(series) + index)));
}

void TBarChart::setFocusedBar(int series, int index)
{
    if (!validPoint(series, index))
        series = index = -1;
    if (series == m_focusSeries && index == m_focusIndex)
        return;
    m_focusSeries = series;
    m_focusIndex = index;
    if (index >= 0)
        scrollToCategory(index);
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
    static const QSet<int> moves = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,     Qt::Key_Down,
                                    Qt::Key_Home, Qt::Key_End,   Qt::Key_PageUp, Qt::Key_PageDown};
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
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // A screenful of categories at a time.
        const Layout &l = layout();
        const int page = std::max(1, int(l.plot.width() / std::max(l.categoryWidth, 1.0)));
        index =
            std::clamp(index + (e->key() == Qt::Key_PageDown ? page : -page), 0, categories - 1);
        return moveTo(seriesWith(series, -1, index) >= 0 ? seriesWith(series, -1, index)
                                                         : seriesWith(series, 1, index),
                      index);
    }
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
        // Elsewhere a left press on a scrolling plot grabs it, to drag it sideways.
        if (e->button() == Qt::LeftButton && isScrollable()) {
            m_dragging = true;
            m_dragFrom = pos;
            m_dragScroll = m_scroll;
            setCursor(Qt::ClosedHandCursor);
            e->accept();
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

void TBarChart::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    if (m_dragging) {
        setScrollOffset(m_dragScroll - (pos.x() - m_dragFrom.x()));
        e->accept();
        return;
    }
    int series = -1;
    int index = -1;
    if (!barAt(pos, &series, &index))
        series = index = -1;
    setHoveredBar(series, index);
    QWidget::mouseMoveEvent(e);
}

void TBarChart::mouseReleaseEvent(QMouseEvent *e)
{
    if (m_dragging && e->button() == Qt::LeftButton) {
        m_dragging = false;
        unsetCursor();
        e->accept();
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void TBarChart::wheelEvent(QWheelEvent *e)
{
    if (!isScrollable()) {
        QWidget::wheelEvent(e);
        return;
    }
    // Either wheel scrolls sideways, a notch a category.
    const QPoint delta = e->angleDelta();
    const int notches = delta.x() != 0 ? delta.x() : delta.y();
    const double step = std::max(layout().categoryWidth, 8.0);
    setScrollOffset(m_scroll - int(std::lround(notches / 120.0 * step)));
    e->accept();
}

void TBarChart::leaveEvent(QEvent *e)
{
    setHoveredBar(-1, -1);
    QWidget::leaveEvent(e);
}

void TBarChart::setHoveredBar(int series, int index)
{
    if (series == m_hoverSeries && index == m_hoverIndex)
        return;
    m_hoverSeries = series;
    m_hoverIndex = index;
    update();
}

void TBarChart::setScrollOffset(int pixels)
{
    layout();
    const int offset = clampedScroll(pixels);
    if (offset == m_scroll)
        return;
    m_scroll = offset;
    updateScrollBar();
    update();
}

void TBarChart::scrollToCategory(int category)
{
    const Layout &l = layout();
    if (!l.scrollable || category < 0 || category >= l.categories)
        return;
    const int left = int(std::floor(category * l.categoryWidth));
    const int right = int(std::ceil((category + 1) * l.categoryWidth));
    if (left < m_scroll)
        setScrollOffset(left);
    else if (right > m_scroll + l.plot.width())
        setScrollOffset(right - l.plot.width());
}

void TBarChart::updateScrollBar() const
{
    if (!m_scrollBar)
        return;
    const Layout &l = m_layout;
    const QSignalBlocker quiet(m_scrollBar);
    if (!l.scrollable) {
        m_scrollBar->hide();
        return;
    }
    const int extent =
        m_scrollBar->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar);
    m_scrollBar->setGeometry(l.plot.left(), l.size.height() - extent, l.plot.width(), extent);
    m_scrollBar->setRange(0, std::max(0, l.content.width() - l.plot.width()));
    m_scrollBar->setPageStep(std::max(1, l.plot.width()));
    m_scrollBar->setSingleStep(std::max(1, int(l.categoryWidth)));
    m_scrollBar->setValue(m_scroll);
    m_scrollBar->show();
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
            const int left =
                std::max(l.plot.left(),
                         int(std::lround(l.plot.left() + category * l.categoryWidth)) - m_scroll);
            const int right = std::min(
                l.plot.right() + 1,
                int(std::lround(l.plot.left() + (category + 1) * l.categoryWidth)) - m_scroll);
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
