#include "BarChart.h"
#include "ChartContrast.h"

#include <QAccessible>
#include <QContextMenuEvent>

#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <cmath>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

const QColor CyclesColour(0x80, 0x00, 0x80);
const QColor ChargeColour(0x80, 0x80, 0x80);
const QColor DischargeColour(0xFF, 0x00, 0x80);

// Three series as the main window uses them: one on the left axis, two on the right.
void addThreeSeries(TBarChart &chart)
{
    chart.addSeries(QStringLiteral("Cycles"), TBarChart::LeftAxis, CyclesColour);
    chart.addSeries(QStringLiteral("Charge"), TBarChart::RightAxis, ChargeColour);
    chart.addSeries(QStringLiteral("Discharge"), TBarChart::RightAxis, DischargeColour);
    chart.setAxisTitle(TBarChart::LeftAxis, QStringLiteral("Cycles"));
    chart.setAxisTitle(TBarChart::RightAxis, QStringLiteral("AmpHours"));
}

void fill(TBarChart &chart, const QVector<QVector<double>> &values,
          const QString &prefix = QStringLiteral("Battery "))
{
    for (int s = 0; s < values.size(); ++s) {
        QStringList labels;
        for (int i = 0; i < values.at(s).size(); ++i)
            labels.append(prefix + QString::number(i + 1));
        chart.setPoints(s, values.at(s), labels);
    }
}

QImage renderChart(const TBarChart &chart)
{
    QImage image(chart.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    chart.paintChart(&painter);
    return image;
}

int countColour(const QImage &image, const QRect &area, const QColor &colour)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                ++n;
        }
    }
    return n;
}

// True when some two of the rectangles overlap.
bool anyOverlap(const QVector<QRect> &rects)
{
    for (int i = 0; i < rects.size(); ++i) {
        for (int j = i + 1; j < rects.size(); ++j) {
            if (rects.at(i).intersects(rects.at(j)))
                return true;
        }
    }
    return false;
}

} // namespace

class TestBarChart : public QObject
{
    Q_OBJECT
private slots:
    void defaultFormat_data();
    void defaultFormat();
    void pointApi();
    void hitTest_data();
    void hitTest();
    void pressSignal_data();
    void pressSignal();
    void rightClickStillOpensContextMenu();
    void recolour_data();
    void recolour();
    void gridPen_data();
    void gridPen();
    void alignedAxes_data();
    void alignedAxes();
    void axisScaling_data();
    void axisScaling();
    void manyCategories_data();
    void manyCategories();
    void tinyWidget_data();
    void tinyWidget();
    void toolTip_data();
    void toolTip();
    void batchUpdate();
    void accessibleTree();
    void keyboardMoves_data();
    void keyboardMoves();
    void keyboardContextMenu();
    void everyMarkDrawn_data();
    void everyMarkDrawn();
    void markContrast_data();
    void markContrast();
    void fortyBatteries();
};

void TestBarChart::defaultFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("whole") << 7.0 << "7";
    QTest::newRow("three decimals") << 1.2346 << "1.235";
    QTest::newRow("trailing zeros dropped") << 2.5 << "2.5";
    QTest::newRow("thousands grouped") << 1234567.891 << "1,234,567.891";
    QTest::newRow("rounds to whole") << 2.0004 << "2";
    QTest::newRow("negative zero") << -0.0001 << "0";
    QTest::newRow("negative") << -1234.5 << "-1,234.5";
}

void TestBarChart::defaultFormat()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(TBarChart::defaultFormat(value), text);
}

void TestBarChart::pointApi()
{
    TBarChart chart;
    addThreeSeries(chart);
    QCOMPARE(chart.seriesCount(), 3);
    QCOMPARE(chart.appendPoint(0, 1.5, QStringLiteral("A")), 0);
    QCOMPARE(chart.appendPoint(0, 2.5, QStringLiteral("B")), 1);
    QCOMPARE(chart.appendPoint(1, 9, QStringLiteral("A")), 0);
    QCOMPARE(chart.pointCount(0), 2);
    QCOMPARE(chart.pointCount(1), 1);
    QCOMPARE(chart.pointCount(2), 0);
    QCOMPARE(chart.categoryCount(), 2);
    QCOMPARE(chart.label(0, 1), QStringLiteral("B"));
    QCOMPARE(chart.value(0, 1), 2.5);

    chart.setValue(0, 1, chart.value(0, 1) + 1);
    QCOMPARE(chart.value(0, 1), 3.5);

    // Bad series or indices are ignored, never a crash.
    QCOMPARE(chart.appendPoint(3, 1, QStringLiteral("X")), -1);
    QCOMPARE(chart.appendPoint(-1, 1, QStringLiteral("X")), -1);
    chart.setValue(0, 2, 99);
    chart.setValue(5, 0, 99);
    QCOMPARE(chart.value(0, 2), 0.0);
    QCOMPARE(chart.label(0, -1), QString());
    QVERIFY(chart.barRect(0, 2).isNull());
    QCOMPARE(chart.pointCount(0), 2);

    chart.clearSeries(0);
    QCOMPARE(chart.pointCount(0), 0);
    QCOMPARE(chart.pointCount(1), 1);
    QCOMPARE(chart.categoryCount(), 1);
    QCOMPARE(chart.label(1, 0), QStringLiteral("A"));

    // A bulk replace pads missing labels and drops surplus ones.
    chart.setPoints(1, {4, 5, 6}, {QStringLiteral("x")});
    QCOMPARE(chart.pointCount(1), 3);
    QCOMPARE(chart.value(1, 2), 6.0);
    QCOMPARE(chart.label(1, 0), QStringLiteral("x"));
    QCOMPARE(chart.label(1, 2), QString());
    chart.setPoints(2, {7}, {QStringLiteral("y"), QStringLiteral("z")});
    QCOMPARE(chart.pointCount(2), 1);
    QCOMPARE(chart.categoryCount(), 3);

    chart.clearAllSeries();
    QCOMPARE(chart.categoryCount(), 0);
    QCOMPARE(chart.seriesCount(), 3);
    // Axes only: nothing to hit and nothing to label.
    chart.resize(300, 200);
    QVERIFY(!chart.barAt(chart.plotRect().center(), nullptr, nullptr));
    QVERIFY(chart.categoryLabelRects().isEmpty());
    QVERIFY(chart.axisMaximum(TBarChart::LeftAxis) > 0);
}

enum Probe
{
    Centre,
    JustAboveBaseline,
    BetweenCategories,
    AboveBar,
    LeftOfPlot
};
Q_DECLARE_METATYPE(Probe)

void TestBarChart::hitTest_data()
{
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("index");
    QTest::addColumn<Probe>("probe");
    QTest::addColumn<bool>("hit");

    QTest::newRow("left axis bar") << 0 << 0 << Centre << true;
    QTest::newRow("right axis bar") << 1 << 0 << Centre << true;
    QTest::newRow("right axis, last series") << 2 << 3 << Centre << true;
    QTest::newRow("tallest bar") << 1 << 3 << Centre << true;
    QTest::newRow("zero bar, left axis") << 0 << 1 << JustAboveBaseline << true;
    QTest::newRow("zero bar, right axis") << 2 << 0 << JustAboveBaseline << true;
    QTest::newRow("tiny bar") << 1 << 1 << JustAboveBaseline << true;
    QTest::newRow("between categories 0 and 1") << 0 << 1 << BetweenCategories << false;
    QTest::newRow("between categories 2 and 3") << 0 << 3 << BetweenCategories << false;
    QTest::newRow("above a bar") << 0 << 0 << AboveBar << false;
    QTest::newRow("above a zero bar") << 0 << 1 << AboveBar << false;
    QTest::newRow("over the left axis") << 0 << 0 << LeftOfPlot << false;
}

void TestBarChart::hitTest()
{
    QFETCH(int, series);
    QFETCH(int, index);
    QFETCH(Probe, probe);
    QFETCH(bool, hit);

    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    fill(chart, {{3, 0, 1, 10}, {500, 0.001, 0, 2000}, {0, 100, 0, 1500}});

    const QRect bar = chart.barRect(series, index);
    const int base = chart.plotRect().bottom() + 1;
    QCOMPARE(bar.bottom(), base - 1);
    QVERIFY(bar.width() >= 1);
    QPoint pos;
    switch (probe) {
    case Centre:
        QVERIFY(bar.height() > 4);
        pos = bar.center();
        break;
    case JustAboveBaseline:
        QVERIFY(bar.height() <= 1);
        pos = QPoint(bar.center().x(), base - 2);
        break;
    case BetweenCategories:
        pos = QPoint(chart.barRect(0, index).left() - 2, base - 2);
        QVERIFY(pos.x() > chart.barRect(2, index - 1).right());
        break;
    case AboveBar:
        pos = QPoint(bar.center().x(), std::min(bar.top(), base - 5) - 5);
        break;
    case LeftOfPlot:
        pos = QPoint(chart.plotRect().left() - 3, bar.center().y());
        break;
    }
    int s = -1;
    int i = -1;
    QCOMPARE(chart.barAt(pos, &s, &i), hit);
    if (hit) {
        QCOMPARE(s, series);
        QCOMPARE(i, index);
    }
}

void TestBarChart::pressSignal_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("onBar");
    QTest::newRow("left on bar") << Qt::LeftButton << true;
    QTest::newRow("right on bar") << Qt::RightButton << true;
    QTest::newRow("middle on bar") << Qt::MiddleButton << true;
    QTest::newRow("left outside") << Qt::LeftButton << false;
    QTest::newRow("right outside") << Qt::RightButton << false;
}

void TestBarChart::pressSignal()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, onBar);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    fill(chart, {{2, 4}, {10, 20}, {5, 0}});
    QSignalSpy spy(&chart, &TBarChart::seriesPressed);

    const QPoint pos = onBar ? chart.barRect(2, 0).center()
                             : QPoint(chart.barRect(2, 0).center().x(), chart.plotRect().top());
    QTest::mousePress(&chart, button, Qt::NoModifier, pos);
    QCOMPARE(spy.count(), onBar ? 1 : 0);
    if (onBar) {
        const QList<QVariant> args = spy.takeFirst();
        QCOMPARE(args.at(0).toInt(), 2);
        QCOMPARE(args.at(1).toInt(), 0);
        QCOMPARE(args.at(2).value<Qt::MouseButton>(), button);
        QCOMPARE(args.at(3).toPoint(), pos);
    }
}

void TestBarChart::rightClickStillOpensContextMenu()
{
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    fill(chart, {{2, 4}, {10, 20}, {5, 0}});
    chart.setContextMenuPolicy(Qt::CustomContextMenu);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QSignalSpy pressed(&chart, &TBarChart::seriesPressed);
    QSignalSpy menu(&chart, &QWidget::customContextMenuRequested);

    // Through the window, as a real press arrives, so that Qt makes its context menu event.
    const QPoint pos = chart.barRect(1, 1).center();
    QTest::mousePress(chart.windowHandle(), Qt::RightButton, Qt::NoModifier, pos);
    QTest::mouseRelease(chart.windowHandle(), Qt::RightButton, Qt::NoModifier, pos);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.at(0).at(1).toInt(), 1);
    QTRY_COMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).toPoint(), pos);
}

void TestBarChart::recolour_data()
{
    QTest::addColumn<bool>("mark");
    QTest::addColumn<int>("series");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("left series bars") << false << 0 << QColor(0x12, 0x34, 0x56);
    QTest::newRow("right series bars") << false << 1 << QColor(0x00, 0xC0, 0x40);
    QTest::newRow("last series bars") << false << 2 << QColor(0xFE, 0xDC, 0x01);
    QTest::newRow("left series marks") << true << 0 << QColor(0x00, 0x00, 0xFF);
    // Mark colours that read on white as they are (darker ones are drawn darkened).
    QTest::newRow("right series marks") << true << 1 << QColor(0xC0, 0x00, 0x00);
    QTest::newRow("last series marks") << true << 2 << QColor(0x00, 0x70, 0x00);
}

void TestBarChart::recolour()
{
    QFETCH(bool, mark);
    QFETCH(int, series);
    QFETCH(QColor, colour);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(500, 300);
    fill(chart, {{8, 4}, {1000, 20}, {5, 3000}});
    QCOMPARE(countColour(renderChart(chart), chart.rect(), colour), 0);

    if (mark) {
        chart.setMarkColour(series, colour);
        QCOMPARE(chart.markColour(series), colour);
    } else {
        chart.setSeriesColour(series, colour);
        QCOMPARE(chart.seriesColour(series), colour);
    }
    const QImage image = renderChart(chart);
    // The colour shows exactly where it belongs: all of the series' bars, or in its marks only.
    int elsewhere = countColour(image, chart.rect(), colour);
    for (int i = 0; i < chart.pointCount(series); ++i) {
        const QRect bar = chart.barRect(series, i);
        const QRect markRect = chart.markRect(series, i);
        QVERIFY(!markRect.isNull());
        const int inBar = countColour(image, bar, colour);
        const int inMark = countColour(image, markRect, colour);
        QCOMPARE(inBar, mark ? 0 : bar.width() * bar.height());
        QCOMPARE(inMark > 0, mark);
        elsewhere -= inBar + inMark;
    }
    QCOMPARE(elsewhere, 0);
    QCOMPARE(image.pixelColor(chart.barRect(series, 0).center()).rgb(),
             chart.seriesColour(series).rgb());
}

void TestBarChart::gridPen_data()
{
    QTest::addColumn<int>("axis");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("style");
    QTest::newRow("left solid") << int(TBarChart::LeftAxis) << QColor(0x20, 0x90, 0x20)
                                << int(Qt::SolidLine);
    QTest::newRow("left dash-dot-dot")
        << int(TBarChart::LeftAxis) << QColor(0x30, 0x30, 0xC0) << int(Qt::DashDotDotLine);
}

void TestBarChart::gridPen()
{
    QFETCH(int, axis);
    QFETCH(QColor, colour);
    QFETCH(int, style);
    const auto a = TBarChart::Axis(axis);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    fill(chart, {{3, 1}, {7.5, 20}, {5, 1}}); // low bars: the grid lines stay mostly clear

    chart.setAxisGridPen(a, QPen(colour, 0, Qt::PenStyle(style)));
    QCOMPARE(chart.axisGridPen(a).color(), colour);
    const QImage image = renderChart(chart);
    const QRect plot = chart.plotRect();
    int lines = 0;
    for (double v : chart.axisTickValues(a)) {
        const int y = chart.valueToY(a, v);
        if (v <= 0)
            continue;
        // Look at the pixels of the line that no bar or mark covers.
        int free = 0;
        int coloured = 0;
        for (int x = plot.left(); x <= plot.right(); ++x) {
            const QPoint p(x, y);
            bool covered = false;
            for (int s = 0; s < chart.seriesCount() && !covered; ++s) {
                for (int i = 0; i < chart.pointCount(s) && !covered; ++i)
                    covered = chart.barRect(s, i).contains(p) || chart.markRect(s, i).contains(p);
            }
            if (covered)
                continue;
            ++free;
            coloured += image.pixelColor(p).rgb() == colour.rgb();
        }
        QVERIFY(free > plot.width() / 4);
        if (style == Qt::SolidLine)
            QCOMPARE(coloured, free);
        else
            QVERIFY(coloured > free / 3 && coloured < free);
        ++lines;
    }
    QVERIFY(lines >= 2);
}

// With both axes in use the right axis' ticks fall on the left axis' grid lines, each a round
// step of its own, so one set of lines shows; the right axis' pen draws none of its own.
void TestBarChart::alignedAxes_data()
{
    QTest::addColumn<QVector<double>>("left");
    QTest::addColumn<QVector<double>>("right");
    QTest::newRow("cycles and amp-hours") << QVector<double>{12, 3} << QVector<double>{5.116, 17};
    QTest::newRow("one cycle, many Ah") << QVector<double>{1} << QVector<double>{1234.5};
    QTest::newRow("many cycles, little Ah") << QVector<double>{480, 7} << QVector<double>{0.3, 0};
}

void TestBarChart::alignedAxes()
{
    QFETCH(QVector<double>, left);
    QFETCH(QVector<double>, right);
    TBarChart chart;
    chart.addSeries(QStringLiteral("L"), TBarChart::LeftAxis, CyclesColour);
    chart.addSeries(QStringLiteral("R"), TBarChart::RightAxis, ChargeColour);
    chart.resize(400, 300);
    fill(chart, {left, right});
    const QColor rightGrid(0x30, 0xC0, 0x30);
    chart.setAxisGridPen(TBarChart::RightAxis, QPen(rightGrid, 0, Qt::SolidLine));
    const QVector<double> l = chart.axisTickValues(TBarChart::LeftAxis);
    const QVector<double> r = chart.axisTickValues(TBarChart::RightAxis);
    QCOMPARE(r.size(), l.size());
    for (int i = 0; i < l.size(); ++i)
        QCOMPARE(chart.valueToY(TBarChart::RightAxis, r.at(i)),
                 chart.valueToY(TBarChart::LeftAxis, l.at(i)));
    // A round step: 1, 2, 2.5 or 5 times a power of ten.
    const double step = r.at(1) - r.at(0);
    const double fraction = step / std::pow(10.0, std::floor(std::log10(step)));
    QVERIFY2(QList<double>({1, 2, 2.5, 5}).contains(std::round(fraction * 10) / 10),
             qPrintable(QString::number(step)));
    for (int i = 0; i < right.size(); ++i)
        QVERIFY(right.at(i) <= chart.axisMaximum(TBarChart::RightAxis));
    QCOMPARE(countColour(renderChart(chart), chart.plotRect(), rightGrid), 0);
}

void TestBarChart::axisScaling_data()
{
    QTest::addColumn<QVector<double>>("left");
    QTest::addColumn<QVector<double>>("right");
    QTest::addColumn<int>("height");

    QTest::newRow("all zero") << QVector<double>{0, 0, 0} << QVector<double>{0, 0, 0} << 256;
    QTest::newRow("empty right axis") << QVector<double>{1, 2, 3} << QVector<double>{} << 256;
    QTest::newRow("one cycle") << QVector<double>{1} << QVector<double>{0.5} << 256;
    QTest::newRow("exact round maximum")
        << QVector<double>{10, 5} << QVector<double>{100, 50} << 256;
    QTest::newRow("large amp-hours")
        << QVector<double>{37, 2} << QVector<double>{123456.789, 3} << 256;
    QTest::newRow("tiny values") << QVector<double>{0.0004} << QVector<double>{0.0001, 0.0002}
                                 << 256;
    QTest::newRow("negative value") << QVector<double>{-5, 3} << QVector<double>{-1, 0} << 256;
    QTest::newRow("not a number") << QVector<double>{qQNaN(), 4} << QVector<double>{qInf(), 8}
                                  << 256;
    QTest::newRow("low widget") << QVector<double>{12, 1} << QVector<double>{999, 1000} << 120;
    QTest::newRow("tall widget") << QVector<double>{12, 1} << QVector<double>{999, 1000} << 900;
}

void TestBarChart::axisScaling()
{
    QFETCH(QVector<double>, left);
    QFETCH(QVector<double>, right);
    QFETCH(int, height);
    TBarChart chart;
    chart.addSeries(QStringLiteral("L"), TBarChart::LeftAxis, CyclesColour);
    chart.addSeries(QStringLiteral("R"), TBarChart::RightAxis, ChargeColour);
    chart.resize(400, height);
    fill(chart, {left, right});
    renderChart(chart); // must not crash, whatever the values

    const QRect plot = chart.plotRect();
    QVERIFY(!plot.isEmpty());
    const QVector<double> values[2] = {left, right};
    for (int a = 0; a < 2; ++a) {
        const auto axis = TBarChart::Axis(a);
        const double max = chart.axisMaximum(axis);
        QVERIFY(max > 0 && std::isfinite(max));
        const QVector<double> ticks = chart.axisTickValues(axis);
        QVERIFY(ticks.size() >= 2);
        QCOMPARE(ticks.first(), 0.0);
        QCOMPARE(ticks.last(), max);
        for (int i = 0; i < values[a].size(); ++i) {
            const double v = values[a].at(i);
            if (std::isfinite(v))
                QVERIFY(v <= max);
            const QRect bar = chart.barRect(a, i);
            QVERIFY(bar.width() >= 1);
            QCOMPARE(bar.bottom(), plot.bottom());
            QVERIFY(bar.top() >= plot.top());
            // A positive value shows, whatever its size.
            QCOMPARE(bar.height() > 0, std::isfinite(v) && v > 0);
            // The mark sits markDistance above its bar (or higher, clear of its neighbour's)
            // and inside the widget.
            const QRect mark = chart.markRect(a, i);
            QVERIFY2(!mark.isNull(), "every mark fits with few categories");
            QVERIFY(chart.rect().contains(mark));
            QVERIFY(mark.bottom() + 1 <= bar.top() - chart.markDistance());
        }
    }
}

void TestBarChart::manyCategories_data()
{
    QTest::addColumn<int>("categories");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("12 long names") << 12 << 640 << "A battery with a long name ";
    QTest::newRow("60 short names") << 60 << 640 << "B";
    QTest::newRow("500 in 640 px") << 500 << 640 << "Battery ";
    QTest::newRow("500 in 200 px") << 500 << 200 << "Battery ";
    QTest::newRow("3000 in 640 px") << 3000 << 640 << "Cell ";
}

void TestBarChart::manyCategories()
{
    QFETCH(int, categories);
    QFETCH(int, width);
    QFETCH(QString, prefix);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(width, 256);
    QVector<QVector<double>> values(3);
    for (int i = 0; i < categories; ++i) {
        values[0].append(i % 13);
        values[1].append(1000 + i * 3.25);
        values[2].append((i * 7) % 900 / 3.0);
    }
    fill(chart, values, prefix);
    renderChart(chart);

    // Categories keep a readable width: the plot scrolls when they do not fit.
    QCOMPARE(chart.isScrollable(),
             categories * chart.readableCategoryWidth() > chart.plotRect().width());
    const QVector<QRect> labels = chart.categoryLabelRects();
    QVERIFY(!labels.isEmpty());
    for (int i = 0; i < labels.size(); ++i) {
        QVERIFY(chart.rect().contains(labels.at(i)));
        // Left to right, clear of each other.
        if (i > 0)
            QVERIFY(labels.at(i).left() > labels.at(i - 1).right());
    }
    // Every category in view has its label.
    QVERIFY(labels.size() >= chart.plotRect().width() / chart.readableCategoryWidth() - 1 ||
            labels.size() == categories);
    const QVector<QRect> marks = chart.markRects();
    QVERIFY(!marks.isEmpty());
    QVERIFY(!anyOverlap(marks));
    for (const QRect &m : marks)
        QVERIFY(chart.rect().contains(m));

    // Every bar is at least a pixel wide, and a press on it finds the bar drawn there (crowded
    // bars may overlap their neighbours).
    for (int i = 0; i < categories; ++i) {
        chart.scrollToCategory(i);
        for (int s = 0; s < 3; ++s) {
            const QRect bar = chart.barRect(s, i);
            QVERIFY(bar.width() >= 1);
            if (bar.isEmpty())
                continue; // a zero bar: only its hit area above the baseline is pressed
            int hitSeries = -1;
            int hitIndex = -1;
            QVERIFY(chart.barAt(bar.center(), &hitSeries, &hitIndex));
            QVERIFY(chart.barRect(hitSeries, hitIndex).contains(bar.center()));
        }
    }
}

void TestBarChart::tinyWidget_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("nothing") << QSize(0, 0);
    QTest::newRow("a few pixels") << QSize(20, 15);
    QTest::newRow("narrow and tall") << QSize(30, 400);
    QTest::newRow("wide and flat") << QSize(600, 40);
}

void TestBarChart::tinyWidget()
{
    QFETCH(QSize, size);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(size);
    fill(chart, {{1, 2, 3}, {100, 0, 5}, {7, 8, 0}});
    if (!size.isEmpty())
        renderChart(chart);
    // Whatever does not fit is left out; what is drawn stays inside the widget.
    for (const QRect &r : chart.markRects() + chart.categoryLabelRects())
        QVERIFY(chart.rect().contains(r));
    int s = -1;
    int i = -1;
    if (chart.barAt(chart.rect().center(), &s, &i))
        QVERIFY(s >= 0 && s < 3 && i >= 0 && i < 3);
    QVERIFY(chart.axisMaximum(TBarChart::RightAxis) >= 100);
}

void TestBarChart::toolTip_data()
{
    QTest::addColumn<bool>("customFormat");
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("text");
    QTest::newRow("default format") << false << 1
                                    << "Cell <2>\nCycles: 4\nCharge: 1,500.25\n"
                                       "Discharge: 0";
    QTest::newRow("owner's format") << true << 0
                                    << "Cell 1\nCycles: [2]\nCharge: [10]\n"
                                       "Discharge: [5]";
    QTest::newRow("series shorter than others") << false << 2 << "Cell 3\nCycles: 1\nCharge: 7";
}

void TestBarChart::toolTip()
{
    QFETCH(bool, customFormat);
    QFETCH(int, category);
    QFETCH(QString, text);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    const QStringList labels{"Cell 1", "Cell <2>", "Cell 3"};
    chart.setPoints(0, {2, 4, 1}, labels);
    chart.setPoints(1, {10, 1500.25, 7}, labels);
    chart.setPoints(2, {5, 0}, labels);
    if (customFormat)
        chart.setValueFormatter([](double v) { return QStringLiteral("[%1]").arg(v); });

    // Anywhere over the category, from the top of the plot down to its label.
    const QRect plot = chart.plotRect();
    const int x = chart.barRect(1, category).center().x();
    QCOMPARE(chart.categoryAt(QPoint(x, plot.top() + 1)), category);
    QCOMPARE(chart.categoryAt(QPoint(x, chart.height() - 2)), category);
    QCOMPARE(chart.categoryAt(QPoint(plot.left() - 5, plot.center().y())), -1);
    QCOMPARE(chart.toolTipText(category), text);
}

void TestBarChart::batchUpdate()
{
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));

    int paints = 0;
    struct PaintCounter : QObject
    {
        int *count;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                ++*count;
            return false;
        }
    } counter;
    counter.count = &paints;
    chart.installEventFilter(&counter);
    QCoreApplication::processEvents();
    paints = 0;
    const int layouts = chart.layoutCount();

    chart.beginUpdate();
    chart.beginUpdate();
    // As many categories as fit: a plot that starts to scroll shows its scroll bar too.
    for (int i = 0; i < 8; ++i)
        for (int s = 0; s < 3; ++s)
            chart.appendPoint(s, i, QStringLiteral("B%1").arg(i));
    for (int i = 0; i < 8; ++i)
        chart.setValue(1, i, chart.value(1, i) * 2);
    chart.endUpdate();
    QCoreApplication::processEvents();
    QCOMPARE(paints, 0);
    QCOMPARE(chart.layoutCount(), layouts);
    QVERIFY(chart.isUpdating());

    chart.endUpdate();
    QVERIFY(!chart.isUpdating());
    QCOMPARE(chart.layoutCount(), layouts + 1);
    QTRY_COMPARE(paints, 1);
    QCOMPARE(chart.layoutCount(), layouts + 1); // the paint used the cached layout
    QCOMPARE(chart.value(1, 7), 14.0);

    // An unbalanced endUpdate is harmless.
    chart.endUpdate();
    QVERIFY(!chart.isUpdating());
}

void TestBarChart::accessibleTree()
{
    TBarChart chart;
    addThreeSeries(chart);
    chart.setAccessibleName(QStringLiteral("Cycles and amp-hours"));
    chart.setValueSuffix(1, QStringLiteral(" Ah"));
    chart.setCategoryCountText([](int n) { return QStringLiteral("%1 batteries").arg(n); });
    chart.resize(400, 300);
    chart.setPoints(0, {40, 3}, {QStringLiteral("Pack Fade"), QStringLiteral("AA")});
    chart.setPoints(1, {1042.5, 7}, {QStringLiteral("Pack Fade"), QStringLiteral("AA")});
    chart.setPoints(2, {0, 1}, {QStringLiteral("Pack Fade"), QStringLiteral("AA")});

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&chart);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Chart);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Cycles and amp-hours"));
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("3 series, 2 batteries"));
    QCOMPARE(iface->childCount(), 6);
    // Category by category, the series side by side as drawn.
    const QStringList names = {"Pack Fade, Cycles 40",   "Pack Fade, Charge 1,042.5 Ah",
                               "Pack Fade, Discharge 0", "AA, Cycles 3",
                               "AA, Charge 7 Ah",        "AA, Discharge 1"};
    for (int i = 0; i < names.size(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        QVERIFY(child);
        QCOMPARE(child->text(QAccessible::Name), names.at(i));
        QCOMPARE(iface->indexOfChild(child), i);
        QCOMPARE(child->parent(), iface);
    }
    QCOMPARE(iface->child(4)->text(QAccessible::Value), QStringLiteral("7 Ah"));
    const QRect bar = chart.barFocusRect(1, 1);
    QVERIFY(bar.contains(chart.barRect(1, 1)));
    QCOMPARE(iface->child(4)->rect(), QRect(chart.mapToGlobal(bar.topLeft()), bar.size()));

    // The focused bar is the focused child.
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setFocus();
    QTRY_VERIFY(chart.hasFocus());
    chart.setFocusedBar(2, 1);
    QCOMPARE(iface->focusChild(), iface->child(5));
    QVERIFY(iface->child(5)->state().focused);
    QVERIFY(!iface->child(4)->state().focused);

    // New data: the children follow, the focus stays on a bar that exists.
    chart.setPoints(0, {5}, {QStringLiteral("C")});
    chart.setPoints(1, {6}, {QStringLiteral("C")});
    chart.setPoints(2, {8}, {QStringLiteral("C")});
    QCOMPARE(iface->childCount(), 3);
    QCOMPARE(iface->child(1)->text(QAccessible::Name), QStringLiteral("C, Charge 6 Ah"));
    QCOMPARE(iface->child(3), nullptr);
    QCOMPARE(chart.focusedSeries(), 2);
    QCOMPARE(chart.focusedIndex(), 0);
}

void TestBarChart::keyboardMoves_data()
{
    QTest::addColumn<QString>("keys"); // from the first bar on
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("index");
    QTest::newRow("none") << "" << 0 << 0;
    QTest::newRow("right") << "R" << 0 << 1;
    QTest::newRow("right stops at the end") << "RRRRR" << 0 << 3;
    QTest::newRow("left stops at the start") << "L" << 0 << 0;
    QTest::newRow("down to the next series") << "RD" << 1 << 1;
    QTest::newRow("down stops at the last series") << "DDD" << 2 << 0;
    QTest::newRow("up") << "DDU" << 1 << 0;
    QTest::newRow("end keeps the series") << "DDE" << 2 << 3;
    QTest::newRow("home") << "DDEH" << 2 << 0;
    QTest::newRow("series too short is skipped") << "DDEU" << 0 << 3;
    QTest::newRow("right past a short series") << "DRRR" << 2 << 3;
}

void TestBarChart::keyboardMoves()
{
    QFETCH(QString, keys);
    QFETCH(int, series);
    QFETCH(int, index);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    // The middle series is one short: its last category has no bar.
    fill(chart, {{1, 2, 3, 4}, {5, 6, 7}, {8, 9, 10, 11}});
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCOMPARE(chart.focusPolicy(), Qt::StrongFocus);
    chart.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(chart.hasFocus());
    QCOMPARE(chart.focusedSeries(), 0);
    QCOMPARE(chart.focusedIndex(), 0);

    const QHash<QChar, Qt::Key> key = {{'L', Qt::Key_Left}, {'R', Qt::Key_Right},
                                       {'U', Qt::Key_Up},   {'D', Qt::Key_Down},
                                       {'H', Qt::Key_Home}, {'E', Qt::Key_End}};
    for (const QChar c : keys)
        QTest::keyClick(&chart, key.value(c));
    QCOMPARE(chart.focusedSeries(), series);
    QCOMPARE(chart.focusedIndex(), index);

    QSignalSpy pressed(&chart, &TBarChart::seriesPressed);
    QSignalSpy doubled(&chart, &TBarChart::seriesDoubleClicked);
    QTest::keyClick(&chart, Qt::Key_Return);
    QTest::keyClick(&chart, Qt::Key_Space);
    QTest::keyClick(&chart, Qt::Key_Enter, Qt::ShiftModifier);
    QCOMPARE(pressed.count(), 2);
    for (const QList<QVariant> &args : pressed) {
        QCOMPARE(args.at(0).toInt(), series);
        QCOMPARE(args.at(1).toInt(), index);
        QCOMPARE(args.at(2).value<Qt::MouseButton>(), Qt::LeftButton);
        // Where a press would land: on the bar.
        int hitSeries = -1, hitIndex = -1;
        QVERIFY(chart.barAt(args.at(3).toPoint(), &hitSeries, &hitIndex));
        QCOMPARE(QPair(hitSeries, hitIndex), QPair(series, index));
    }
    QCOMPARE(doubled.count(), 1);
    QCOMPARE(doubled.at(0).at(0).toInt(), series);
    QCOMPARE(doubled.at(0).at(1).toInt(), index);

    // The focused bar shows: its frame changes pixels around the bar when the focus leaves.
    QImage focused = chart.grab().toImage();
    chart.clearFocus();
    QTRY_VERIFY(!chart.hasFocus());
    QVERIFY(focused != chart.grab().toImage());
}

void TestBarChart::keyboardContextMenu()
{
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(400, 300);
    fill(chart, {{2, 4}, {10, 20}, {5, 0}});
    chart.setContextMenuPolicy(Qt::CustomContextMenu);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setFocus();
    QTRY_VERIFY(chart.hasFocus());
    chart.setFocusedBar(1, 1);
    const QPoint centre = chart.barFocusRect(1, 1).center();
    QSignalSpy menu(&chart, &QWidget::customContextMenuRequested);

    QTest::keyClick(&chart, Qt::Key_F10, Qt::ShiftModifier);
    // The menu key's event as the window system makes it: at the widget's middle.
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, chart.rect().center());
    QApplication::sendEvent(&chart, &fromKey);
    QCOMPARE(menu.count(), 2);
    QCOMPARE(menu.at(0).at(0).toPoint(), centre);
    QCOMPARE(menu.at(1).at(0).toPoint(), centre);
}

void TestBarChart::everyMarkDrawn_data()
{
    QTest::addColumn<int>("categories");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("leastDrawn");
    QTest::newRow("neighbours of equal height") << 10 << 400 << 0.0 << 1.0;
    QTest::newRow("wide figures, 12 categories") << 12 << 640 << 1000.0 << 1.0;
    QTest::newRow("25 categories") << 25 << 640 << 10.0 << 1.0;
    QTest::newRow("narrow widget") << 3 << 200 << 1000.0 << 1.0;
    QTest::newRow("figures wider than the plot") << 1 << 150 << 1000.0 << 1.0;
    // Too tall for its marks: some show on demand only.
    QTest::newRow("a flat widget") << 20 << 640 << 1000.0 << 0.6;
}

void TestBarChart::everyMarkDrawn()
{
    QFETCH(int, categories);
    QFETCH(int, width);
    QFETCH(double, scale);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(width, QTest::currentDataTag() == QLatin1String("a flat widget") ? 110 : 256);
    QVector<QVector<double>> values(3);
    for (int i = 0; i < categories; ++i) {
        values[0].append(10 + i % 3);
        values[1].append(scale * (50 + (i * 37) % 50) + 0.125);
        values[2].append(scale * (40 + (i * 11) % 60) + 0.5);
    }
    fill(chart, values);

    // Each mark stands above its bar, clear of every bar and mark, with nothing drawn between
    // them (no leader line to be taken for a bar); a mark without room shows when its bar is
    // under the mouse.
    int drawn = 0;
    for (int i = 0; i < categories; ++i) {
        chart.scrollToCategory(i);
        const QImage image = renderChart(chart);
        QVERIFY(!anyOverlap(chart.markRects()));
        QVector<QRect> marks;
        for (int t = 0; t < 3; ++t)
            for (int j = 0; j < categories; ++j)
                marks << chart.markRect(t, j);
        for (int s = 0; s < 3; ++s) {
            const QRect mark = chart.markRect(s, i);
            const QRect bar = chart.barRect(s, i);
            if (mark.isNull()) {
                QMouseEvent move(QEvent::MouseMove, QPointF(bar.center()), QPointF(bar.center()),
                                 Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(&chart, &move);
                const QRect shown = chart.onDemandMarkRect(s, i);
                QVERIFY2(!shown.isNull(), qPrintable(QStringLiteral("bar %1/%2").arg(s).arg(i)));
                QVERIFY(countColour(renderChart(chart), shown, chart.visibleMarkColour(s)) > 0);
                QEvent leave(QEvent::Leave);
                QCoreApplication::sendEvent(&chart, &leave);
                QVERIFY(chart.onDemandMarkRect(s, i).isNull());
                continue;
            }
            ++drawn;
            QVERIFY(chart.rect().contains(mark));
            QVERIFY(mark.bottom() < bar.top());
            for (int t = 0; t < 3; ++t) {
                for (int j = 0; j < categories; ++j)
                    QVERIFY(!mark.intersects(chart.barRect(t, j)));
            }
            const QColor colour = chart.visibleMarkColour(s);
            const int x = bar.center().x();
            for (int y = mark.bottom() + 1; y < bar.top(); ++y) {
                bool inMark = false;
                for (const QRect &other : marks)
                    inMark = inMark || other.contains(x, y);
                if (!inMark)
                    QVERIFY2(image.pixelColor(x, y).rgb() != colour.rgb(),
                             qPrintable(QStringLiteral("a line below mark %1/%2").arg(s).arg(i)));
            }
        }
    }
    // At least this share of the marks has its place (the others show on demand).
    QFETCH(double, leastDrawn);
    QVERIFY2(drawn >= leastDrawn * categories * 3, qPrintable(QString::number(drawn)));
}

void TestBarChart::markContrast_data()
{
    QTest::addColumn<QColor>("mark");
    QTest::addColumn<bool>("kept");
    QTest::newRow("purple") << QColor(0x80, 0x00, 0x80) << true;
    QTest::newRow("fuchsia") << QColor(0xFF, 0x00, 0xFF) << false;
    QTest::newRow("grey") << QColor(0x80, 0x80, 0x80) << false;
    QTest::newRow("yellow") << QColor(0xFF, 0xFF, 0x00) << false;
    QTest::newRow("white") << QColor(Qt::white) << false;
}

// Marks read against the white chart (4.5:1, measured on the pixels drawn), while the bars
// keep the colour chosen.
void TestBarChart::markContrast()
{
    QFETCH(QColor, mark);
    QFETCH(bool, kept);
    TBarChart chart;
    addThreeSeries(chart);
    chart.resize(300, 200);
    fill(chart, {{2}, {3}, {4}});
    chart.setMarkColour(0, mark);
    chart.setSeriesColour(0, mark);
    QCOMPARE(chart.markColour(0), mark); // the colour set reads back as set
    const QColor drawn = chart.visibleMarkColour(0);
    QCOMPARE(drawn == mark, kept);
    const QImage image = renderChart(chart);
    const QRect area = chart.markRect(0, 0);
    QVERIFY(!area.isNull());
    // The darkest pixel of the mark is its text; against the background beside it.
    QColor text = Qt::white;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (ChartContrast::luminance(image.pixelColor(x, y)) < ChartContrast::luminance(text))
                text = image.pixelColor(x, y);
    QVERIFY2(ChartContrast::contrast(text, image.pixelColor(area.left(), area.top())) >= 4.5,
             qPrintable(text.name()));
    QVERIFY(countColour(image, chart.barRect(0, 0), mark) > 0);
}

// Forty batteries with real names, as the main window shows them: categories keep a readable
// width and scroll, the labels are whole (turned), the legend names the three series in their
// colours, and keys, the wheel and a drag scroll the plot while the axes stay.
void TestBarChart::fortyBatteries()
{
    TBarChart chart;
    addThreeSeries(chart);
    chart.setLegendVisible(true);
    chart.resize(641, 256);
    QVector<QVector<double>> values(3);
    QStringList labels;
    for (int i = 0; i < 40; ++i) {
        values[0].append(3 + i % 17);
        values[1].append(5.116 + i * 1.7);
        values[2].append(i % 3 ? 0.464 * i : 0);
        labels << QStringLiteral("AA Eneloop Pro %1").arg(i + 1, 2, 10, QLatin1Char('0'));
    }
    for (int s = 0; s < 3; ++s)
        chart.setPoints(s, values.at(s), labels);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QVERIFY(chart.isScrollable());
    QVERIFY(chart.horizontalScrollBar()->isVisible());
    QVERIFY(chart.labelsTurned());
    const QImage image = renderChart(chart);

    // The legend: a patch of each series' colour, above the plot.
    QVERIFY(chart.legendRect().bottom() < chart.plotRect().top());
    const QColor colours[] = {CyclesColour, ChargeColour, DischargeColour};
    for (int s = 0; s < 3; ++s) {
        const QRect swatch = chart.legendSwatchRect(s);
        QVERIFY(!swatch.isEmpty());
        QVERIFY(countColour(image, swatch, colours[s]) > swatch.width() * swatch.height() / 3);
    }
    // Whole labels, each under its own bars, in order.
    const QFontMetrics fm(chart.categoryFont());
    const QVector<QRect> shown = chart.categoryLabelRects();
    QVERIFY(shown.size() >= 8);
    for (const QRect &label : shown)
        QVERIFY(label.height() >= fm.horizontalAdvance(labels.first()));
    // Bars of a readable width, and most of their marks on the chart.
    QVERIFY(chart.barRect(0, 0).width() >= 5);
    QVERIFY(chart.markRects().size() >= shown.size() * 2);

    // End scrolls to the last battery, the axes in place; the wheel and a drag scroll back.
    const QRect plot = chart.plotRect();
    chart.setFocus();
    QTest::keyClick(&chart, Qt::Key_End);
    QCOMPARE(chart.focusedIndex(), 39);
    QVERIFY(chart.plotRect().contains(chart.barRect(chart.focusedSeries(), 39).center()));
    QCOMPARE(chart.plotRect(), plot);
    const int end = chart.scrollOffset();
    QVERIFY(end > 0);
    QWheelEvent wheel(QPointF(plot.center()), chart.mapToGlobal(QPointF(plot.center())), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&chart, &wheel);
    QVERIFY(chart.scrollOffset() < end);
    const int afterWheel = chart.scrollOffset();
    const QPoint empty(plot.left() + 2, plot.top() + 2); // above the bars
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, empty);
    QMouseEvent drag(QEvent::MouseMove, QPointF(empty + QPoint(100, 0)),
                     QPointF(chart.mapToGlobal(empty + QPoint(100, 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &drag);
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, empty + QPoint(100, 0));
    QCOMPARE(chart.scrollOffset(), std::max(0, afterWheel - 100));
    QTest::keyClick(&chart, Qt::Key_Home);
    QCOMPARE(chart.scrollOffset(), 0);
    QTest::keyClick(&chart, Qt::Key_PageDown);
    QVERIFY(chart.focusedIndex() >= shown.size() - 2);
}

QTEST_MAIN(TestBarChart)
#include "test_barchart.moc"
