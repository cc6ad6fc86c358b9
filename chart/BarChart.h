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

// A painted bar chart: one category per point index along the bottom, bars of every series side
// by side within a category, each series bound to a left or a right value axis that is scaled on
// its own. Each bar carries a value mark above it. Pressing any mouse button on a bar emits
// seriesPressed. Layout is computed lazily and cached until data, size or a look setting changes.
//
// Every bar carries its mark: a mark that would overlap another mark or cover a bar is lifted
// just as far as needed, a leader line joining it to its bar, and marks are kept inside the
// widget (the bars give up height for lifted marks). Only a chart too crowded for all of its
// marks however they are stacked (more marks over a spot than the plot has rows for, as with
// dozens of categories in a few hundred pixels) shows the marks that fit and leaves the others
// to the tool tip and to assistive technology.
//
// Keyboard: the chart takes the focus by Tab or click; Left and Right move the focused bar from
// category to category, Up and Down from series to series, Home and End go to the first and the
// last category. Enter, Return and Space emit seriesPressed for the focused bar as a left press
// on its centre would; Shift+Enter emits seriesDoubleClicked. The context menu key and Shift+F10
// ask for the context menu at the focused bar's centre. The focused bar is drawn with a dashed
// frame, and assistive technology sees each bar as a child of the chart (ChartAccessibility).
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

    // Layout read-outs, mainly for checks: everything in widget coordinates.
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
    // Where a lifted mark's leader line runs (null when the mark sits right above its bar).
    QLine markLeader(int series, int index) const;

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
        QRect rect;
        QString text;
        int series = -1;
        int index = -1;
    };
    struct AxisLayout
    {
        double maximum = 1;
        QVector<Tick> ticks;
        QRect titleRect; // unrotated band the rotated title is centred in
    };
    struct Layout
    {
        QSize size;
        QRect plot;
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
    QString categoryLabel(int category) const;
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
    std::function<QString(int)> m_categoryCountText;

    mutable Layout m_layout;
    mutable bool m_layoutValid = false;
    mutable int m_layoutCount = 0;
};
