#include "BarChart.h"
#include "BatteryDetailsFormUnit.h"
#include "BatteryLogHealthView.h"
#include "BatteryOverviewFormUnit.h"
#include "ChargeLogTableModel.h"
#include "ChargerLogDollar.h"
#include "LineChart.h"
#include "QorLogMainFormUnit.h"

#include <QAction>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const double Day0 = 46000.0;

void add(TQorLogMainForm *form, double when, const QString &battery, double amps, double ampHours)
{
    form->AddChargeRecord(-1, when, QStringLiteral("PSU"), QStringLiteral("QorA1"), battery, amps,
                          ampHours, QStringLiteral("Normal"), QStringLiteral("note"), QString());
}

// A charge of 2 Ah in the morning and a discharge at noon giving back `capacity(k)`, every
// `step` days (trends need discharges over a month at least).
template <typename Capacity>
void cycles(TQorLogMainForm *form, const QString &battery, int n, Capacity capacity,
            double step = 1.0)
{
    for (int k = 0; k < n; ++k) {
        add(form, Day0 + k * step, battery, 1.0, 2.0);
        add(form, Day0 + k * step + 0.5, battery, -1.0, -capacity(k));
    }
}

QStringList column(QTableView *view, int c)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts.append(view->model()->index(row, c).data().toString());
    return texts;
}

} // namespace

class TestBatteryWindows : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;

    TQorLogMainForm *openForm()
    {
        m_form = std::make_unique<TQorLogMainForm>(m_dir->filePath(QStringLiteral("t.QorLog")));
        m_form->FormCreate();
        return m_form.get();
    }

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        m_dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup() { m_form.reset(); }

    void menuEntries()
    {
        TQorLogMainForm *form = openForm();
        const QList<QAction *> popup = form->ChartPopupMenu->actions();
        QCOMPARE(popup.at(0), form->CyclesColourAction);
        QCOMPARE(popup.at(1), form->ChargeColourAction);
        QCOMPARE(popup.at(2), form->DischargeColourAction);
        QStringList later;
        for (QAction *a : popup.mid(3))
            later.append(a->objectName());
        QVERIFY(later.contains(QStringLiteral("BatteryDetailsAction")));
        QVERIFY(form->ViewMenu->actions().contains(
            form->findChild<QAction *>(QStringLiteral("BatteryOverviewAction"))));
    }

    void overviewSortsAndFollows()
    {
        TQorLogMainForm *form = openForm();
        cycles(
            form, QStringLiteral("A"), 5, [](int) { return 2.0; }, 8.0); // 10 cycles
        cycles(
            form, QStringLiteral("B"), 4, [](int k) { return 2.0 - 0.1 * k; }, 10.0); // + 1 = 9
        add(form, Day0 + 40, QStringLiteral("B"), -1.0, -1.5);
        add(form, Day0, QStringLiteral("C"), 1.0, 2.0); // charges only: no retention
        form->findChild<QAction *>(QStringLiteral("BatteryOverviewAction"))->trigger();
        auto *overview = form->findChild<TBatteryOverviewForm *>();
        QVERIFY(overview && overview->isVisible());
        QTableView *view = overview->BatteryTableView;
        QCOMPARE(column(view, 0), (QStringList{"A", "B", "C"}));
        QCOMPARE(column(view, 1), (QStringList{"10", "9", "1"}));

        // Numbers sort as numbers; absent figures come last both ways.
        view->sortByColumn(1, Qt::AscendingOrder);
        QCOMPARE(column(view, 0), (QStringList{"C", "B", "A"}));
        const int retention =
            int(TBatteryOverviewModel::columns().indexOf(BatteryReport::RetentionColumn));
        view->sortByColumn(retention, Qt::AscendingOrder);
        QCOMPARE(column(view, 0), (QStringList{"B", "A", "C"}));
        QCOMPARE(column(view, retention).last(), QString());
        view->sortByColumn(retention, Qt::DescendingOrder);
        QCOMPARE(column(view, 0), (QStringList{"A", "B", "C"}));

        // A new battery and a filtered one show at once; the same window opens again.
        add(form, Day0 + 50, QStringLiteral("D"), -1.0, -1.0);
        QCOMPARE(view->model()->rowCount(), 4);
        form->log().BatteriesStringList.setMarked(1, true);
        form->RefreshDisplay();
        QCOMPARE(view->model()->rowCount(), 3);
        QCOMPARE(form->showBatteryOverview(), overview);
    }

    void detailsChart()
    {
        TQorLogMainForm *form = openForm();
        cycles(
            form, QStringLiteral("Pack"), 6, [](int k) { return 2.0 - 0.1 * k; }, 7.0);
        cycles(form, QStringLiteral("Other"), 2, [](int) { return 1.0; });
        QPointer<TBatteryDetailsForm> details = form->showBatteryDetails("pack");
        QVERIFY(details);
        QCOMPARE(details->figureText(TBatteryDetailsForm::tr("Discharges")), QStringLiteral("6"));
        QCOMPARE(details->figureText(TBatteryDetailsForm::tr("Reference capacity")),
                 QStringLiteral("1.9 Ah (3 discharges)"));

        // A double click on one of its bars brings up the same window.
        form->resize(800, 600);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        const QRect bar = form->Chart1->barRect(0, 0);
        QTest::mouseDClick(form->Chart1, Qt::LeftButton, {}, bar.center());
        QCOMPARE(form->findChildren<TBatteryDetailsForm *>().size(), 1);

        TLineChart *chart = details->CapacityChart;
        chart->resize(600, 300);
        QImage image(chart->size(), QImage::Format_RGB32);
        {
            QPainter painter(&image);
            chart->paintChart(&painter);
        }
        const auto colourAt = [&](const QPointF &value) {
            return QColor(image.pixel(chart->toPixel(value).toPoint()));
        };
        const QColor charge = TChargeLogDocument::toQColor(form->ChargeSeriesColour());
        const QColor discharge = TChargeLogDocument::toQColor(form->DischargeSeriesColour());
        const QColor trend = TChargeLogDocument::toQColor(form->CyclesSeriesColour());
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(colourAt(QPointF(Day0 + 7 * k + 0.5, 2.0 - 0.1 * k)), discharge);
            QCOMPARE(colourAt(QPointF(Day0 + 7 * k, 2.0)), charge);
        }
        // The trend runs through the discharges (2.0 falling 0.1 a week from noon of day 0).
        QCOMPARE(colourAt(QPointF(Day0 + 0.5 + 7 * 2.25, 2.0 - 0.1 * 2.25)), trend);
        QVERIFY(colourAt(QPointF(Day0 + 0.5 + 7 * 2.25, 1.95)) != trend);
        // The 80% line of the 1.9 Ah reference, dashed: some of its pixels are drawn.
        int dashes = 0;
        for (double x = Day0; x < Day0 + 35; x += 0.35)
            dashes += colourAt(QPointF(x, 0.8 * 1.9)) == QColor(Qt::darkRed);
        QVERIFY(dashes > 10);

        // A point answers the mouse with its record; a click selects its row in the table.
        int series = -1, index = -1;
        const QPoint third = chart->toPixel(QPointF(Day0 + 14.5, 1.8)).toPoint();
        QVERIFY(chart->pointAt(third + QPoint(2, 1), &series, &index));
        QCOMPARE(series, int(TBatteryDetailsForm::CapacitySeries));
        QCOMPARE(index, 2);
        const qint32 key = details->keyOf(series, index);
        QVERIFY(details->recordText(key).startsWith(QStringLiteral("2025-12-23 12:00:00")));
        QTest::mouseClick(chart, Qt::LeftButton, {}, third);
        const QModelIndexList rows = form->ChargeLogStringGrid->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(form->tableModel()->keyAt(rows.first().row()), key);

        // Purging the battery closes its window.
        form->log().BatteriesStringList.setMarked(
            form->log().BatteriesStringList.indexOf(QStringLiteral("Pack")), true);
        form->DeleteBatteriesActionExecute();
        QTRY_VERIFY(details.isNull());
    }

    // Figures that would rest on too little are a dash with the reason; a battery never
    // discharged has no efficiency; an end of life behind is "reached on"; Escape closes.
    void detailsFiguresAreHonest()
    {
        TQorLogMainForm *form = openForm();
        cycles(form, QStringLiteral("Few"), 4, [](int k) { return 2.0 - 0.5 * k; });
        add(form, Day0, QStringLiteral("Fresh"), 1.0, 2.0);
        // Falling fast over two months: its end of life lies behind.
        cycles(
            form, QStringLiteral("Old"), 6, [](int k) { return 2.0 - 0.3 * k; }, 12.0);
        TBatteryDetailsForm *few = form->showBatteryDetails(QStringLiteral("Few"));
        for (const char *caption :
             {"Retention", "Trend per 100 cycles", "Trend per year", "End of life"}) {
            QLabel *label = few->findChildren<QLabel *>().value(0);
            for (QLabel *l : few->findChildren<QLabel *>())
                if (l->accessibleName() == TBatteryDetailsForm::tr(caption))
                    label = l;
            QCOMPARE(label->text(), QStringLiteral("\u2014"));
            QVERIFY2(label->toolTip().contains(QStringLiteral("4 over 3 days")),
                     qPrintable(label->toolTip()));
        }
        QVERIFY(few->LegendLabel->text().contains(QStringLiteral("Capacity")));
        TBatteryDetailsForm *fresh = form->showBatteryDetails(QStringLiteral("Fresh"));
        QCOMPARE(fresh->figureText(TBatteryDetailsForm::tr("Efficiency")),
                 QStringLiteral("\u2014"));
        TBatteryDetailsForm *old = form->showBatteryDetails(QStringLiteral("Old"));
        QVERIFY2(old->figureText(TBatteryDetailsForm::tr("End of life")).startsWith("reached on "),
                 qPrintable(old->figureText(TBatteryDetailsForm::tr("End of life"))));
        QPointer<TBatteryDetailsForm> closing(old);
        old->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(old));
        QTest::keyClick(old, Qt::Key_Escape);
        QTRY_VERIFY(closing.isNull() || !closing->isVisible());
    }

    // Logs that give no cell spread or resistance: the sentence stands in the chart's place.
    void logHealthWithoutFigures()
    {
        TQorLogMainForm *form = openForm();
        form->AddChargeRecord(-1, Day0, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Plain"), 1.0, 2.0, QStringLiteral("Normal"),
                              QString(),
                              QStringLiteral(QORLOG_TEST_DATA "/charger-logs/untitled-logger.csv"));
        TBatteryLogHealthView *health =
            form->showBatteryDetails(QStringLiteral("Plain"))->LogHealth;
        QTRY_VERIFY(!health->reader()->isRunning());
        auto *note = health->findChild<QLabel *>(QStringLiteral("HealthNote"));
        QTRY_VERIFY(note->isVisibleTo(health));
        QVERIFY(!health->HealthChart->isVisibleTo(health));
    }

    // The charger logs the records name: cell spread and resistance in the details and the
    // overview, read once, again only when the records naming them change.
    void logHealth()
    {
        TQorLogMainForm *form = openForm();
        QFile ch1(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/dollar-storage-ch1.txt"));
        QFile ch2(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/dollar-storage-ch2.txt"));
        QVERIFY(ch1.open(QIODevice::ReadOnly) && ch2.open(QIODevice::ReadOnly));
        // The logs with a resistance reading of their channel at the end.
        const auto write = [&](const QString &name, QByteArray bytes, int resistance) {
            bytes += ChargerLog::TDollarLineParser::withChecksum(
                         bytes.left(bytes.indexOf(';')) + ";128;900000;" +
                         QByteArray::number(resistance) + ";7;7;7;7;7;7;0;0;0;0;0") +
                     "\n";
            QFile f(m_dir->filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        };
        write(QStringLiteral("a.txt"), ch1.readAll(), 40); // 1 mV spread
        write(QStringLiteral("b.txt"), ch2.readAll(), 48); // 9 mV
        const auto addLogged = [&](double when, const QString &battery, const QString &file) {
            form->AddChargeRecord(-1, when, QStringLiteral("PSU"), QStringLiteral("QorA1"), battery,
                                  1.0, 0.5, QStringLiteral("Normal"), QString(), file);
        };
        addLogged(Day0 + 2, QStringLiteral("Pack"), QStringLiteral("b.txt"));
        addLogged(Day0, QStringLiteral("Pack"), QStringLiteral("a.txt"));
        addLogged(Day0 + 3, QStringLiteral("Pack"), QStringLiteral("missing.txt"));
        add(form, Day0, QStringLiteral("Other"), 1.0, 1.0);

        TBatteryDetailsForm *details = form->showBatteryDetails(QStringLiteral("Pack"));
        TBatteryLogHealthView *health = details->LogHealth;
        QVERIFY(health->isVisible());
        QTRY_VERIFY(!health->reader()->isRunning());
        QCOMPARE(health->reader()->done(), 3);
        QVERIFY(health->HealthProgress->isHidden());
        TLineChart *chart = health->HealthChart;
        QCOMPARE(chart->points(TBatteryLogHealthView::CellSpreadSeries),
                 (QVector<QPointF>{{Day0, 1}, {Day0 + 2, 9}}));
        QCOMPARE(chart->points(TBatteryLogHealthView::ResistanceSeries),
                 (QVector<QPointF>{{Day0, 40}, {Day0 + 2, 48}}));
        QVERIFY(chart->pointText(TBatteryLogHealthView::ResistanceSeries, 1)
                    .contains(QStringLiteral("48 mΩ")));
        const qint32 second = health->keyOf(TBatteryLogHealthView::CellSpreadSeries, 1);
        Q_EMIT chart->pointClicked(TBatteryLogHealthView::CellSpreadSeries, 1, Qt::LeftButton);
        const QModelIndexList rows = form->ChargeLogStringGrid->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(form->tableModel()->keyAt(rows.first().row()), second);
        QVERIFY(form->showBatteryDetails(QStringLiteral("Other"))->LogHealth->isHidden());

        TBatteryOverviewForm *overview = form->showBatteryOverview();
        QTableView *view = overview->BatteryTableView;
        QTRY_VERIFY(!overview->logReader()->isRunning());
        QCOMPARE(column(view, TBatteryOverviewModel::cellSpreadColumn()),
                 (QStringList{"", "9 mV"}));
        QCOMPARE(column(view, TBatteryOverviewModel::resistanceColumn()),
                 (QStringList{"", "48 mΩ"}));
        QCOMPARE(
            view->model()->headerData(TBatteryOverviewModel::resistanceColumn(), Qt::Horizontal),
            QVariant(QStringLiteral("Resistance")));

        // A refresh that leaves the records as they were reads nothing.
        QSignalSpy detailsRead(health->reader(), &TChargerLogHealthReader::progress);
        QSignalSpy overviewRead(overview->logReader(), &TChargerLogHealthReader::progress);
        form->RefreshDisplay();
        add(form, Day0 + 5, QStringLiteral("Other"), 1.0, 1.0);
        QCOMPARE(detailsRead.size() + overviewRead.size(), 0);
        // A record naming another log is read again: b's newer record now names a.
        form->AddChargeRecord(second, Day0 + 2, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Pack"), 1.0, 0.5, QStringLiteral("Normal"), QString(),
                              QStringLiteral("a.txt"));
        QTRY_VERIFY(!health->reader()->isRunning() && !overview->logReader()->isRunning());
        QCOMPARE(chart->points(TBatteryLogHealthView::ResistanceSeries),
                 (QVector<QPointF>{{Day0, 40}, {Day0 + 2, 40}}));
        QCOMPARE(column(view, TBatteryOverviewModel::resistanceColumn()),
                 (QStringList{"", "40 mΩ"}));
    }

    // Many points draw only once per pixel, and only those in the visible range.
    void lineChartDrawsWhatIsVisible()
    {
        TLineChart chart;
        chart.addSeries(QStringLiteral("Points"), Qt::red, TLineChart::Markers);
        QVector<QPointF> points;
        for (int i = 0; i < 10000; ++i)
            points.append(QPointF(i, i % 7));
        chart.setPoints(0, points);
        chart.resize(500, 300);
        QImage image(chart.size(), QImage::Format_RGB32);
        QPainter painter(&image);
        chart.paintChart(&painter);
        QVERIFY(chart.lastPaintedCount() < 500 * 7);
        chart.setVisibleXRange(100, 149);
        chart.paintChart(&painter);
        QCOMPARE(chart.lastPaintedCount(), 50);
    }
};

QTEST_MAIN(TestBatteryWindows)
#include "tst_batterywindows.moc"
