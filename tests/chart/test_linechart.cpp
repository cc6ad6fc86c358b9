#include "LineChart.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

class TestLineChart : public QObject
{
    Q_OBJECT
private slots:
    void keyboardMoves_data();
    void keyboardMoves();
    void pagesAndReadOut();
    void accessibleTree();
};

namespace {

// Two series; the first given out of x order, so that moves follow x rather than indices.
void fill(TLineChart &chart)
{
    chart.addSeries(QStringLiteral("Capacity"), Qt::blue, TLineChart::MarkersAndLines);
    chart.addSeries(QStringLiteral("Fade"), Qt::red, TLineChart::Markers);
    chart.setPoints(0, {{30, 1}, {10, 2}, {20, 3}, {40, 4}});
    chart.setPoints(1, {{12, 5}, {35, 6}});
    chart.resize(400, 300);
}

} // namespace

void TestLineChart::keyboardMoves_data()
{
    QTest::addColumn<QString>("keys"); // from the first point by x on
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("index");
    QTest::newRow("first by x") << "" << 0 << 1;
    QTest::newRow("right follows x") << "R" << 0 << 2;
    QTest::newRow("right twice") << "RR" << 0 << 0;
    QTest::newRow("left stops") << "L" << 0 << 1;
    QTest::newRow("end") << "E" << 0 << 3;
    QTest::newRow("down to the nearest x") << "RRD" << 1 << 1;
    QTest::newRow("down stops") << "DD" << 1 << 0;
    QTest::newRow("up, the earlier x on a tie") << "EDU" << 0 << 0;
    QTest::newRow("home in the other series") << "DEH" << 1 << 0;
    // A tenth of four points is less than one: a point at a time.
    QTest::newRow("page down") << "P" << 0 << 2;
    QTest::newRow("page up stops") << "Pp" << 0 << 1;
}

void TestLineChart::keyboardMoves()
{
    QFETCH(QString, keys);
    QFETCH(int, series);
    QFETCH(int, index);
    TLineChart chart;
    fill(chart);
    chart.setToolTipProvider([](int s, int i) { return QStringLiteral("s%1 p%2").arg(s).arg(i); });
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(chart.hasFocus());
    QSignalSpy focused(&chart, &TLineChart::pointFocused);

    QTest::keyClick(&chart, Qt::Key_Right); // the first move lands on the first point
    const QHash<QChar, Qt::Key> key = {
        {'L', Qt::Key_Left}, {'R', Qt::Key_Right}, {'U', Qt::Key_Up},       {'D', Qt::Key_Down},
        {'H', Qt::Key_Home}, {'E', Qt::Key_End},   {'P', Qt::Key_PageDown}, {'p', Qt::Key_PageUp}};
    for (const QChar c : keys)
        QTest::keyClick(&chart, key.value(c));
    QCOMPARE(chart.focusedSeries(), series);
    QCOMPARE(chart.focusedIndex(), index);
    QVERIFY(!focused.isEmpty());
    QCOMPARE(focused.last().at(0).toInt(), series);
    QCOMPARE(focused.last().at(1).toInt(), index);

    QSignalSpy clicked(&chart, &TLineChart::pointClicked);
    QTest::keyClick(&chart, Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), series);
    QCOMPARE(clicked.at(0).at(1).toInt(), index);
}

// Page Up and Page Down move by a tenth of the points; the focused point's read-out stands in
// the plot while the chart has the focus.
void TestLineChart::pagesAndReadOut()
{
    TLineChart chart;
    chart.addSeries(QStringLiteral("Volts"), Qt::blue, TLineChart::Lines);
    QVector<QPointF> points;
    for (int i = 0; i < 50; ++i)
        points.append(QPointF(i, i % 7));
    chart.setPoints(0, points);
    chart.setToolTipProvider([](int, int i) { return QStringLiteral("point %1").arg(i); });
    chart.resize(400, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QVERIFY(chart.focusedReadoutRect().isNull());
    chart.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(chart.hasFocus());
    QTest::keyClick(&chart, Qt::Key_Home);
    QTest::keyClick(&chart, Qt::Key_PageDown);
    QCOMPARE(chart.focusedIndex(), 5);
    QTest::keyClick(&chart, Qt::Key_PageDown);
    QTest::keyClick(&chart, Qt::Key_PageUp);
    QCOMPARE(chart.focusedIndex(), 5);
    const QRect readOut = chart.focusedReadoutRect();
    QVERIFY(chart.plotRect().contains(readOut));
    QVERIFY(readOut.width() > chart.fontMetrics().horizontalAdvance(QStringLiteral("point 5")));
    QTest::keyClick(&chart, Qt::Key_End);
    QCOMPARE(chart.focusedIndex(), 49);
}

void TestLineChart::accessibleTree()
{
    TLineChart chart;
    fill(chart);
    chart.setAccessibleName(QStringLiteral("Capacity over time"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&chart);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Chart);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Capacity over time"));
    QCOMPARE(iface->childCount(), 6);
    // Series by series, points as given; the tool tip text when there is one.
    QCOMPARE(iface->child(4)->text(QAccessible::Name), QStringLiteral("Fade, 12, 5"));
    chart.setToolTipProvider(
        [](int s, int i) { return QStringLiteral("Series %1\nPoint %2").arg(s).arg(i); });
    QCOMPARE(iface->child(1)->text(QAccessible::Name), QStringLiteral("Series 0, Point 1"));
    chart.setPoints(1, {});
    QCOMPARE(iface->childCount(), 4);
}

QTEST_MAIN(TestLineChart)
#include "test_linechart.moc"
