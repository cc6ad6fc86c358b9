#pragma once

#include "ChartAxis.h"

#include <QPointF>
#include <QPolygonF>
#include <QVector>
#include <QWidget>

#include <functional>
#include <limits>

// A painted line and scatter chart: series of (x, y) points on a horizontal value axis (dates
// in day counts, for instance) and a left value axis, drawn as markers, as lines or both. It
// shares the bar chart's axes, grid pens and number format. Only what lies in the visible range
// is drawn, and points falling on a pixel already drawn are skipped, so that many thousands of
// points repaint quickly. The wheel zooms the horizontal axis around the mouse, dragging moves
// it, a double click shows everything again. Hovering a point shows its tool tip; a press and
// release on a point emits pointClicked.
//
// Keyboard: the chart takes the focus by Tab or click; Left and Right move the focused point
// along its series by ascending x, Up and Down to the nearest point of the previous or next
// series, Home and End to a series' first and last point. The focused point is framed, its tool
// tip shows beside it and pointFocused is emitted; Enter, Return and Space emit pointClicked
// with the left button. Assistive technology sees each point as a child (ChartAccessibility).
class TLineChart : public QWidget
{
    Q_OBJECT
public:
    enum Style
    {
        Markers = 1,
        Lines = 2,
        MarkersAndLines = Markers | Lines
    };

    explicit TLineChart(QWidget *parent = nullptr);
    ~TLineChart() override;

    // Points are expected in ascending x; a series given out of order is sorted for drawing
    // (indices always name the points as given).
    int addSeries(const QString &title, const QColor &colour, Style style,
                  Qt::PenStyle penStyle = Qt::SolidLine);
    int seriesCount() const { return int(m_series.size()); }
    void setPoints(int series, const QVector<QPointF> &points);
    // Adds one point to each of the series named (a live log's new sample), at the price of
    // the new points only: nothing of what is there is worked out again.
    void appendPoints(const QVector<QPair<int, QPointF>> &points);
    QVector<QPointF> points(int series) const;
    void clearAllSeries();
    void setSeriesColour(int series, const QColor &colour);
    QColor seriesColour(int series) const;

    TChartAxisStyle &xAxis() { return m_axes[0]; }
    TChartAxisStyle &yAxis() { return m_axes[1]; }
    void setXFormatter(std::function<QString(double)> f);
    void setYFormatter(std::function<QString(double)> f);
    // Text of the tool tip over a point (series, index); none by default.
    void setToolTipProvider(std::function<QString(int, int)> f);
    void styleChanged(); // call after changing xAxis()/yAxis()

    // The range of x shown; by default (and after resetZoom) all points.
    void setVisibleXRange(double from, double to);
    void resetZoom();
    bool isZoomed() const { return m_zoomed; }
    double visibleXFrom() const;
    double visibleXTo() const;

    // Layout read-outs for checks, in widget coordinates.
    QRect plotRect() const;
    QPointF toPixel(const QPointF &value) const;
    double yMinimum() const;
    double yMaximum() const;
    // The nearest point within a few pixels of pos: true with its series and index.
    bool pointAt(const QPoint &pos, int *series, int *index) const;
    // Markers drawn and line vertices used by the last paint.
    int lastPaintedCount() const { return m_lastPainted; }

    // A second value axis on the right, drawn when a series is bound to it; the series bound
    // to it are scaled by it, the others by the left axis.
    enum ValueAxis
    {
        LeftAxis = 0,
        RightAxis = 1
    };
    void setSeriesAxis(int series, ValueAxis axis);
    TChartAxisStyle &rightAxis() { return m_rightAxis; }
    void setRightFormatter(std::function<QString(double)> f);
    bool hasRightAxis() const { return layout().hasRight; }
    // The axis' range reaches zero even when every value lies on one side of it.
    void setAxisIncludesZero(ValueAxis axis, bool include);
    double rightMinimum() const { return layout().yRightScale.minimum; }
    double rightMaximum() const { return layout().yRightScale.maximum; }
    // Pixel of a value on the axis a series is bound to.
    QPointF seriesPixel(int series, const QPointF &value) const;
    // Bands across the plot's height from x to x, painted behind the grid (phases, say).
    // A band touching the last one in the same colour lengthens it (a live log's phase).
    void addBand(double from, double to, const QColor &colour);
    void clearBands();
    int bandCount() const { return int(m_bands.size()); }
    // A thin vertical line at x, for a read-out that follows the mouse; NaN for none.
    void setCursorX(double x);
    // The x shown at a horizontal pixel of the widget.
    double xAtPixel(double pixel) const;

    void paintChart(QPainter *painter) const;

    QString seriesTitle(int series) const;
    int pointCount(int series) const;
    double pointX(int series, int index) const; // 0 for a point that is not there
    // What a point is read out as: its tool tip text on one line, or "title, x, y".
    QString pointText(int series, int index) const;
    QString pointValueText(int series, int index) const; // its y as the axis shows it
    QRect pointRect(int series, int index) const;        // its marker; null when not shown
    // The point with the keyboard focus; -1, -1 when none.
    int focusedSeries() const { return m_focusSeries; }
    int focusedIndex() const { return m_focusIndex; }
    void setFocusedPoint(int series, int index);
    // Where the focused point's read-out is drawn while the chart has the focus (else null).
    // Left and Right move from point to point, Page Up and Page Down by a tenth of the
    // points, Home and End to the ends, Up and Down to the nearest point of the next series.
    QRect focusedReadoutRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void pointClicked(int series, int index, Qt::MouseButton button);
    void pointFocused(int series, int index);

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    struct Series
    {
        QString title;
        QColor colour;
        Style style = Markers;
        Qt::PenStyle penStyle = Qt::SolidLine;
        QVector<QPointF> points;
        QVector<int> order; // indices by ascending x
        int axis = LeftAxis;
        // The pixels of the line as last drawn and what they were worked out for, so that a
        // repaint over the same range (a cursor moving, a window uncovered) skips the points.
        mutable QPolygonF drawnLine;
        mutable QVector<double> drawnFor;
    };
    struct Layout
    {
        QSize size;
        QRect plot;
        double xFrom = 0, xTo = 1;
        ChartAxis::Scale yScale;
        QVector<TChartTick> xTicks, yTicks;
        QRect yTitle, xTitle;
        bool hasRight = false;
        ChartAxis::Scale yRightScale;
        QVector<TChartTick> yRightTicks;
        QRect yRightTitle;
    };
    struct Band
    {
        double from = 0, to = 0;
        QColor colour;
    };

    bool validSeries(int s) const { return s >= 0 && s < m_series.size(); }
    void changed();
    const Layout &layout() const;
    void buildLayout() const;
    void dataRange(double &xMin, double &xMax) const;
    // First and past-the-last position in `order` of points with x in [from, to].
    void visibleRange(const Series &s, double from, double to, int &first, int &last) const;
    double xToPixel(double x) const;
    double yToPixel(double y) const;
    double yRightToPixel(double y) const;
    double seriesYToPixel(const Series &s, double y) const;

    QVector<Series> m_series;
    TChartAxisStyle m_axes[2];
    std::function<QString(double)> m_xFormat, m_yFormat;
    std::function<QString(int, int)> m_toolTip;
    bool m_zoomed = false;
    double m_zoomFrom = 0, m_zoomTo = 1;
    QPoint m_pressPos;
    double m_pressFrom = 0, m_pressTo = 0;
    bool m_dragging = false;
    bool m_pressed = false;
    int m_focusSeries = -1;
    int m_focusIndex = -1;
    void showFocusedPoint();
    mutable Layout m_layout;
    mutable bool m_layoutValid = false;
    mutable int m_lastPainted = 0;
    TChartAxisStyle m_rightAxis;
    std::function<QString(double)> m_yRightFormat;
    QVector<Band> m_bands;
    bool m_includesZero[2] = {false, false};
    double m_cursorX = std::numeric_limits<double>::quiet_NaN();
};
