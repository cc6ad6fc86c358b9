#pragma once

#include "ChartAxis.h"

#include <QColor>
#include <QFont>
#include <QLine>
#include <QPen>
#include <QRect>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <functional>

class QPainter;
class QScrollBar;

// A painted bar chart: one category per point index along the bottom, bars of every series side
// by side within a category, each series bound to a left or a right value axis that is scaled on
// its own. Each bar carries a value mark above it. Pressing any mouse button on a bar emits
// seriesPressed. Layout is computed lazily and cached until data, size or a look setting changes.
//
// Categories keep a readable width: when they do not all fit, the plot scrolls sideways (the
// wheel, a drag, the scroll bar below it, and the keyboard, which brings the focused bar into
// view) while both axes stay in place. Category labels stay whole; where they are wider than
// their category they are turned to read upwards.
//
// Every bar carries its mark where there is room: a mark that would overlap another mark or
// cover a bar is lifted straight up, just as far as needed, and kept inside the widget (the bars
// give up height for lifted marks). A mark with no room left is not drawn; it shows while its
// bar is under the mouse or has the keyboard focus, and the tool tip and assistive technology
// give every value. No line joins a mark to its bar, so nothing but a bar looks like one.
//
// With both axes in use the right axis takes as many steps as the left one, each a round
// number, so that its ticks fall on the left axis' grid lines: one set of lines is drawn, in the
// left axis' pen. A legend of the series (their colour and title) can stand above the plot.
//
// Keyboard: the chart takes the focus by Tab or click; Left and Right move the focused bar from
// category to category, Page Up and Page Down by a screenful, Up and Down from series to
// series, Home and End go to the first and the last category. Enter, Return and Space emit
// seriesPressed for the focused bar as a left press on its centre would; Shift+Enter emits
// seriesDoubleClicked. The context menu key and Shift+F10 ask for the context menu at the
// focused bar's centre. The focused bar is drawn with a dashed frame, and assistive technology
// sees each bar as a child of the chart (ChartAccessibility).
class TBarChart : public QWidget
{
    Q_OBJECT
public:
    enum Axis
    {
        LeftAxis = 0,
        RightAxis = 1
    };

    explicit TBarChart(QWidget *parent = nullptr);
    ~TBarChart() override;

    int addSeries(const QString &title, Axis axis, const QColor &colour);
    int seriesCount() const;
    QString seriesTitle(int series) const;
    Axis seriesAxis(int series) const;

    // Between beginUpdate and endUpdate nothing is laid out or repainted; the outermost endUpdate
    // lays out and schedules one repaint. Calls may nest.
    void beginUpdate();
    void endUpdate();
    bool isUpdating() const { return m_updateDepth > 0; }

    void clearSeries(int series);
    void clearAllSeries();
    int appendPoint(int series, double value, const QString &label);
    int pointCount(int series) const;
    double value(int series, int index) const;
    void setValue(int series, int index, double value);
    QString label(int series, int index) const;
    // Replaces every point of a series; missing labels are empty, surplus labels are ignored.
    void setPoints(int series, const QVector<double> &values, const QStringList &labels);

    void setSeriesColour(int series, const QColor &c);
    QColor seriesColour(int series) const;
    void setMarkColour(int series, const QColor &c);
    QColor markColour(int series) const;
    void setMarkFont(const QFont &f);
    QFont markFont() const { return m_markFont; }
    void setMarkDistance(int pixels);
    int markDistance() const { return m_markDistance; }
    void setBarWidthPercent(int percent);
    int barWidthPercent() const { return m_barWidthPercent; }

    void setAxisTitle(Axis a, const QString &t);
    QString axisTitle(Axis a) const;
    void setAxisFont(Axis a, const QFont &f);
    QFont axisFont(Axis a) const;
    void setAxisLabelColour(Axis a, const QColor &c);
    QColor axisLabelColour(Axis a) const;
    void setAxisTitleColour(Axis a, const QColor &c);
    QColor axisTitleColour(Axis a) const;
    void setAxisGridPen(Axis a, const QPen &p);
    QPen axisGridPen(Axis a) const;

    // Font and colour of the category labels along the bottom.
    void setCategoryFont(const QFont &f);
    QFont categoryFont() const { return m_categoryFont; }
    void setCategoryLabelColour(const QColor &c);
    QColor categoryLabelColour() const { return m_categoryLabelColour; }

    // Turns values into text for the marks, the axis labels and the tool tip. The default gives
    // grouped thousands and at most three decimals in the user's locale ("#,##0.###").
    void setValueFormatter(std::function<QString(double)> f);
    QString formatValue(double value) const;
    static QString defaultFormat(double value);

    // Number of categories: the largest point count of any series.
    int categoryCount() const;

    // True with the series and point index when pos lies on a bar. A bar too low to be hit
    // comfortably still answers a few pixels above the baseline.
    bool barAt(const QPoint &pos, int *series, int *index) const;
    QRect barRect(int series, int index) const;
    // The category under pos (over the plot or its label band), or -1.
    int categoryAt(const QPoint &pos) const;
    // Plain text shown as the tool tip over a category: its label and every series' value.
    QString toolTipText(int category) const;

    // Layout read-outs, mainly for checks: everything in widget coordinates, as scrolled now.
    // The lists hold what is in view.
    QRect plotRect() const;
    double axisMaximum(Axis a) const;
    QVector<double> axisTickValues(Axis a) const;
    int valueToY(Axis a, double value) const;
    QVector<QRect> categoryLabelRects() const;
    QRect markRect(int series, int index) const; // null when the mark is not drawn
    QVector<QRect> markRects() const;
    int layoutCount() const { return m_layoutCount; }

    // Draws the whole chart at the widget's size onto any painter.
    void paintChart(QPainter *painter) const;

    // The bar that has the keyboard focus within the chart; -1, -1 when there is none.
    int focusedSeries() const { return m_focusSeries; }
    int focusedIndex() const { return m_focusIndex; }
    void setFocusedBar(int series, int index);
    // The area the focused bar's frame is drawn around: the bar, at least a few pixels high.
    QRect barFocusRect(int series, int index) const;
    // Unit read out after a series' values, including any blank (" Ah"); none by default.
    void setValueSuffix(int series, const QString &suffix);
    QString valueSuffix(int series) const;
    // What a bar is read out as: "Pack Fade, Charged 42 Ah".
    QString barText(int series, int index) const;
    // Turns the category count into words for the summary ("10 batteries"); by default
    // "10 categories".
    void setCategoryCountText(std::function<QString(int)> f);
    // Short account of what the chart shows: "3 series, 10 batteries".
    QString summaryText() const;
    // The colour a series' marks are drawn in: their own colour, or the palette's text colour
    // where their own would hardly stand out from the white background.
    QColor visibleMarkColour(int series) const;

    // Scrolling when the categories do not fit at a readable width.
    bool isScrollable() const;
    int scrollOffset() const { return m_scroll; }
    void setScrollOffset(int pixels);
    // Scrolls just far enough for the category to be in view.
    void scrollToCategory(int category);
    QScrollBar *horizontalScrollBar() const { return m_scrollBar; }
    // The least width a category is given before the plot scrolls.
    int readableCategoryWidth() const;
    // True when the category labels are turned to read upwards.
    bool labelsTurned() const;

    // The legend above the plot: off by default.
    void setLegendVisible(bool visible);
    bool isLegendVisible() const { return m_legendVisible; }
    QRect legendRect() const;
    QRect legendSwatchRect(int series) const; // the colour patch of a series' entry

    // The bar under the mouse, whose mark shows even where it had no room; -1, -1 for none.
    int hoveredSeries() const { return m_hoverSeries; }
    int hoveredIndex() const { return m_hoverIndex; }
    // The mark drawn for a bar on hover or focus when its own place had no room (null when it
    // has its place, or the bar is neither hovered nor focused).
    QRect onDemandMarkRect(int series, int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void seriesPressed(int series, int index, Qt::MouseButton button, const QPoint &pos);
    void seriesDoubleClicked(int series, int index);
    // The keyboard focus moved to another bar.
    void focusedBarChanged(int series, int index);

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    struct Series
    {
        QString title;
        Axis axis = LeftAxis;
        QColor colour;
        QColor markColour;
        QVector<double> values;
        QStringList labels;
        QString suffix;
    };
    using AxisStyle = TChartAxisStyle;
    using Tick = TChartTick; // position is the tick's y
    struct TextItem
    {
        QRect rect; // content coordinates (see Layout)
        QString text;
        int series = -1;
        int index = -1;
    };
    struct AxisLayout
    {
        double maximum = 1;
        ChartAxis::Scale scale;
        QVector<Tick> ticks;
        QRect titleRect; // unrotated band the rotated title is centred in
    };
    // Bars, marks and category labels are laid out along the whole content, which is wider
    // than the plot when it scrolls: content x = widget x + scroll offset.
    struct Layout
    {
        QSize size;
        QRect plot;    // the visible plot, in widget coordinates
        QRect content; // the plot's whole width, in content coordinates
        bool scrollable = false;
        bool turnedLabels = false;
        bool aligned = false; // the right axis' ticks fall on the left axis' grid lines
        QRect legend;
        QVector<QRect> legendSwatches;
        QVector<QRect> legendTexts;
        double categoryWidth = 0;
        int categories = 0;
        AxisLayout axes[2];
        QVector<int> seriesOffset; // start of each series in bars
        QVector<QRect> bars;
        QVector<int> markOfBar; // index into marks or -1
        QVector<TextItem> marks;
        QVector<TextItem> labels;
        int markOverflow = 0; // how far the highest mark would reach above the widget
    };

    bool validSeries(int series) const { return series >= 0 && series < m_series.size(); }
    bool validPoint(int series, int index) const;
    void changed(bool relayout = true);
    const Layout &layout() const;
    // A trial layout keeps marks that reach above the widget, to find how far they reach.
    void buildLayout(int extraMarkRoom = 0, bool trial = false) const;
    void layoutAxis(Axis a, int plotHeight, int markRoom) const;
    void layoutBars() const;
    void layoutMarks(bool trial) const;
    void layoutCrowdedMarks() const;
    void layoutLabels() const;
    void layoutLegend(int top) const;
    // Height of the band of category labels for the widest label, turned or not.
    int labelBandHeight(double categoryWidth, bool *turned) const;
    QString categoryLabel(int category) const;
    // Widget and content coordinates.
    QRect toWidget(const QRect &content) const { return content.translated(-m_scroll, 0); }
    int clampedScroll(int pixels) const;
    void updateScrollBar() const;
    void paintMark(QPainter &p, const TextItem &item, const QColor &colour, bool onDemand) const;
    // The mark of a bar placed as it would stand if it had room (content coordinates).
    TextItem naturalMark(int series, int index) const;
    void setHoveredBar(int series, int index);
    QRect hitRect(const QRect &bar) const;
    int yFor(Axis a, double value) const; // top of a bar of that value; layout must be current

    QVector<Series> m_series;
    AxisStyle m_axes[2];
    QFont m_markFont;
    QFont m_categoryFont;
    QColor m_categoryLabelColour = Qt::black;
    int m_markDistance = 20;
    int m_barWidthPercent = 70;
    std::function<QString(double)> m_formatter;
    int m_updateDepth = 0;
    bool m_pendingRepaint = false;

    int m_focusSeries = -1;
    int m_focusIndex = -1;
    int m_hoverSeries = -1;
    int m_hoverIndex = -1;
    bool m_legendVisible = false;
    mutable int m_scroll = 0; // kept within the content as the layout changes
    QScrollBar *m_scrollBar = nullptr;
    // A drag of the plot: where it started and the scroll offset then.
    bool m_dragging = false;
    QPoint m_dragFrom;
    int m_dragScroll = 0;
    std::function<QString(int)> m_categoryCountText;

    mutable Layout m_layout;
    mutable bool m_layoutValid = false;
    mutable int m_layoutCount = 0;
};
