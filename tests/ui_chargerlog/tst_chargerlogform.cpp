// The charger log window offscreen: the chart drawn from a device file, the check against a
// record and its button, the column choosers of an untitled file, a refused file.

#include "ChargerLogDollar.h"
#include "ChargerLogFormUnit.h"
#include "LineChart.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QString sample(const char *name)
{
    return QStringLiteral(QORLOG_TEST_DATA "/charger-logs/") + QLatin1String(name);
}

int countColour(const QImage &image, const QRect &area, const QColor &colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == colour;
    return count;
}

} // namespace

class TestChargerLogForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A log that grows sample by sample draws what the finished file draws, and keeps a zoom
    // the user chose while it grows.
    void followsALiveLog()
    {
        TChargerLogForm file(sample("dollar-storage-ch1.txt"));
        TChargerLogForm live{QString()};
        live.beginLive(QStringLiteral("/dev/ttyUSB0, channel 1"));
        live.resize(1000, 560);
        live.show();
        QVERIFY(live.isLive());
        QFile f(sample("dollar-storage-ch1.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        ChargerLog::TDollarLineParser parser([&](const ChargerLog::TDollarLine &line) {
            if (line.kind == ChargerLog::TDollarLine::Kind::Sample)
                live.appendLiveSample(ChargerLog::dollarSample(line));
        });
        const qsizetype half = bytes.indexOf("\n$1;1;200000;") + 1;
        parser.feed(bytes.left(half));
        live.Chart->setVisibleXRange(10, 50);
        parser.feed(bytes.mid(half));
        parser.finish();
        QVERIFY(live.Chart->isZoomed());
        for (int s : {int(TChargerLogForm::VoltageSeries), int(TChargerLogForm::CurrentSeries),
                      int(TChargerLogForm::FirstCellSeries) + 5})
            QCOMPARE(live.Chart->points(s), file.Chart->points(s));
        QVERIFY(live.readoutAt(100).contains(QLatin1String("cells")));
        QTRY_VERIFY(live.figures().charge.has_value());
        QCOMPARE(live.figures().charge->ampHours(), file.figures().charge->ampHours());
        live.endLive(sample("dollar-storage-ch1.txt"));
        QVERIFY(!live.isLive());
        QCOMPARE(live.filePath(), sample("dollar-storage-ch1.txt"));
    }

    void drawsCurvesAndPhases()
    {
        TChargerLogForm form(sample("dollar-storage-ch1.txt"));
        form.resize(1000, 560);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.log().ok());
        QImage image(form.Chart->size(), QImage::Format_RGB32);
        QPainter painter(&image);
        form.Chart->paintChart(&painter);
        painter.end();
        const QRect plot = form.Chart->plotRect();
        QVERIFY(plot.width() > 300);
        QVERIFY(form.Chart->hasRightAxis());
        // The pack voltage, the current and the first cell are drawn; the charge is shaded.
        QVERIFY(countColour(image, plot, QColor(31, 119, 180)) > 100);
        QVERIFY(countColour(image, plot, QColor(214, 39, 40)) > 100);
        // The cells lie on each other; the last drawn shows.
        QVERIFY(countColour(image, plot, QColor(23, 190, 207)) > 50);
        QVERIFY(countColour(image, plot, QColor(255, 236, 214)) > plot.width() * plot.height() / 4);
        // Capacity appears on request only.
        QCOMPARE(countColour(image, plot, QColor(44, 160, 44)), 0);
        form.CapacityBox->setChecked(true);
        QCOMPARE(form.Chart->points(TChargerLogForm::CapacitySeries).size(), 447);
        // A read-out names the sample's values.
        QVERIFY(form.readoutAt(100).contains(QLatin1String("cells")));
    }

    // The line chart's additions: a one-sample spike amid 100,000 samples still shows, the
    // right axis scales its own series, a band shades its range only.
    void chartKeepsExtremes()
    {
        TLineChart chart;
        chart.resize(600, 300);
        const int left = chart.addSeries(QStringLiteral("flat"), Qt::blue, TLineChart::Lines);
        const int right = chart.addSeries(QStringLiteral("spike"), Qt::red, TLineChart::Lines);
        chart.setSeriesAxis(right, TLineChart::RightAxis);
        QVector<QPointF> flat, spike;
        for (int i = 0; i < 100000; ++i) {
            flat.append(QPointF(i, 10));
            spike.append(QPointF(i, i == 50001 ? 1000 : 0));
        }
        chart.setPoints(left, flat);
        chart.setPoints(right, spike);
        chart.addBand(0, 25000, QColor(255, 236, 214));
        QImage image(chart.size(), QImage::Format_RGB32);
        QPainter painter(&image);
        chart.paintChart(&painter);
        painter.end();
        QVERIFY(chart.yMaximum() < 20);
        QVERIFY(chart.rightMaximum() >= 1000);
        const QPoint top = chart.seriesPixel(right, QPointF(50001, 1000)).toPoint();
        QCOMPARE(image.pixelColor(top + QPoint(0, 1)), QColor(Qt::red));
        const QRect plot = chart.plotRect();
        const int bandEnd = int(chart.toPixel(QPointF(25000, 0)).x());
        const int inBand = int(chart.toPixel(QPointF(1000, 0)).x());
        QCOMPARE(image.pixelColor(inBand, plot.top() + 5), QColor(255, 236, 214));
        QCOMPARE(image.pixelColor(plot.left() + 1, plot.top() + 5), QColor(Qt::white));
        QCOMPARE(image.pixelColor(bandEnd + 10, plot.top() + 5), QColor(Qt::white));
        // Few vertices per pixel column, not one per point.
        QVERIFY(chart.lastPaintedCount() < 2 * 4 * plot.width() + 16);
    }

    void checksTheRecord_data()
    {
        QTest::addColumn<double>("ampHours");
        QTest::addColumn<double>("amps");
        QTest::addColumn<bool>("button");
        QTest::addColumn<QString>("message");
        QTest::newRow("too little") << 0.4 << 4.0 << true << "charge moved 0.464 Ah";
        QTest::newRow("within 3%") << 0.47 << 4.0 << false << "agree";
        QTest::newRow("discharge") << -0.4 << -1.0 << false << "discharge; the log has none";
    }
    void checksTheRecord()
    {
        QFETCH(double, ampHours);
        QFETCH(double, amps);
        QFETCH(bool, button);
        QFETCH(QString, message);
        TChargerLogForm form(sample("dollar-storage-ch1.txt"));
        QSignalSpy spy(&form, &TChargerLogForm::useLogAmpHours);
        form.setRecord(17, ampHours, amps);
        QVERIFY2(form.CheckLabel->text().contains(message), qPrintable(form.CheckLabel->text()));
        QCOMPARE(form.UseLogButton->isVisibleTo(&form), button);
        if (button) {
            QTest::mouseClick(form.UseLogButton, Qt::LeftButton);
            QCOMPARE(spy.size(), 1);
            QCOMPARE(spy.first().at(0).toInt(), 17);
            QCOMPARE(spy.first().at(1).toDouble(), 0.464);
        }
    }

    void untitledColumns()
    {
        TChargerLogForm form(sample("untitled-logger.csv"));
        QVERIFY(form.RolesRow->isVisibleTo(&form));
        QCOMPARE(form.RoleBoxes.size(), 7);
        // Tab goes through the choosers in their order, then on to the button beside them.
        // (Each chooser's sample values below it take no focus.)
        const auto nextTaker = [](QWidget *w) {
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus)
                w = w->nextInFocusChain();
            return w;
        };
        QCOMPARE(nextTaker(form.RoleBoxes[0]), form.RoleBoxes[1]);
        QCOMPARE(nextTaker(form.RoleBoxes[6]), form.ReadRolesButton);
        const ChargerLog::ColumnRole roles[] = {ChargerLog::ColumnRole::Volts,
                                                ChargerLog::ColumnRole::Amps,
                                                ChargerLog::ColumnRole::AmpHours};
        for (int c = 0; c < 3; ++c)
            form.RoleBoxes[c + 1]->setCurrentIndex(form.RoleBoxes[c + 1]->findData(int(roles[c])));
        QTest::mouseClick(form.ReadRolesButton, Qt::LeftButton);
        QVERIFY(form.figures().charge);
        QCOMPARE(form.RoleBoxes[3]->currentData().toInt(), int(ChargerLog::ColumnRole::AmpHours));
        form.CopyButton->click();
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(
            QLatin1String("Seconds,Phase,Voltage,Current,Capacity,Temperature\r\n0,rest,0,0,0,")));
    }

    void largeFileReadInTheBackground()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 lines = TChargerLogForm::ForegroundLimit / 60 + 1000;
        for (qint64 i = 0; i < lines; ++i)
            file.write(ChargerLog::TDollarLineParser::withChecksum(
                           "$1;1;" + QByteArray::number(i * 1000) +
                           ";1;0;100;12000;8200;1;250;0;4100;4100;0;0;0;0;1") +
                       "\r\n");
        file.close();
        TChargerLogForm form(path);
        QVERIFY(form.isReading());
        QSignalSpy shown(&form, &TChargerLogForm::logShown);
        QVERIFY(shown.wait(20000));
        QCOMPARE(qint64(form.log().sampleCount()), lines);
    }

    void dropReadsTheFile()
    {
        TChargerLogForm form(sample("dollar-storage-ch1.txt"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(sample("dollar-storage-ch2.txt"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &drop);
        QCOMPARE(form.filePath(), sample("dollar-storage-ch2.txt"));
        QCOMPARE(form.log().sampleCount(), 629);
    }

    void refusedFileAndOneWindowPerFile()
    {
        TChargerLogForm *form = TChargerLogForm::showFor(QStringLiteral("/dev/zero"), nullptr);
        QVERIFY(form->ErrorLabel->isVisibleTo(form));
        QVERIFY(form->ErrorLabel->text().contains(QLatin1String("/dev/zero")));
        QVERIFY(!form->CopyButton->isEnabled());
        QCOMPARE(TChargerLogForm::showFor(QStringLiteral("/dev/zero"), nullptr), form);
        form->setFilePath(sample("titled-analyser-aa.csv"));
        QVERIFY(form->ErrorLabel->isHidden());
        QCOMPARE(TChargerLogForm::showFor(sample("titled-analyser-aa.csv"), nullptr), form);
        form->close(); // deletes itself
    }
};

QTEST_MAIN(TestChargerLogForm)
#include "tst_chargerlogform.moc"
