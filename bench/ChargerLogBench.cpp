// Figures of the charger logs: reading a generated 1 MiB "$" log, painting the log window's
// chart with 100,000 samples, and the Battery Details of a battery whose 1,000 records each name
// a log of an hour's charge. Prints "figure: value (target ...)" lines.

#include "BatteryDetailsFormUnit.h"
#include "BatteryLogHealthView.h"
#include "ChargeLogDocument.h"
#include "ChargerLog.h"
#include "ChargerLogDollar.h"
#include "ChargerLogFormUnit.h"
#include "ChargerLogHealth.h"
#include "LineChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A storage charge of a six-cell pack, one sample a second, with some noise on every value;
// an internal-resistance line every 1000 samples.
QByteArray generatedLog(int samples, qint64 minimumBytes)
{
    QByteArray bytes = "@Model:Bench; Fireware:V1.0; Hardware:V1.0; SN:1\r\n\r\n";
    quint32 noise = 12345;
    const auto next = [&noise](int range) {
        noise = noise * 1103515245u + 12345u;
        return int((noise >> 16) % quint32(range));
    };
    for (int i = 0; i < samples || bytes.size() < minimumBytes; ++i) {
        const int phase = i < samples * 6 / 10 ? 1 : i < samples * 7 / 10 ? 4 : 2;
        const int current = phase == 1 ? 400 + next(20) : phase == 2 ? -200 - next(10) : 0;
        const int cell = 3700 + (i * 400) / std::max(1, samples) + next(5);
        QByteArray line = "$1;" + QByteArray::number(phase) + ';' +
                          QByteArray::number(qint64(i) * 1000) + ";1;0;" +
                          QByteArray::number(current) + ";23773;" +
                          QByteArray::number(cell * 6 + next(20)) + ';' +
                          QByteArray::number(i / 10) + ";380;" + QByteArray::number(250 + next(30));
        for (int c = 0; c < 6; ++c)
            line += ';' + QByteArray::number(cell + next(4));
        bytes += ChargerLog::TDollarLineParser::withChecksum(line + ";0;0;0;0;0") + "\r\n";
        if (i % 1000 == 999)
            bytes += ChargerLog::TDollarLineParser::withChecksum(
                         "$1;128;" + QByteArray::number(qint64(i) * 1000) +
                         ";42;7;7;7;7;7;7;0;0;0;0;0") +
                     "\r\n";
    }
    return bytes;
}

template <typename F> double bestOf(int runs, F &&f)
{
    double best = 1e300;
    QElapsedTimer timer;
    for (int r = 0; r < runs; ++r) {
        timer.start();
        f();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

// Opens the details of a battery with `logs` records, each naming its own log of `samples`
// samples a second apart, and prints how
// long the window takes to show and how long until every log's point is in its chart.
void benchDetails(int logs, int samples)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("logs"));
    TChargeLogDocument document(dir.filePath(QStringLiteral("bench.QorLog")), dir.path());
    for (int i = 0; i < logs; ++i) {
        QByteArray bytes = generatedLog(samples, 0);
        // Every log its own: the resistance grows with the pack's age.
        bytes += ChargerLog::TDollarLineParser::withChecksum(
                     "$1;128;" + QByteArray::number(samples * 1000) + ";" +
                     QByteArray::number(40 + i / 20) + ";7;7;7;7;7;7;0;0;0;0;0") +
                 "\r\n";
        const QString name = QStringLiteral("logs/%1.txt").arg(i, 4, 10, QLatin1Char('0'));
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::printf("cannot write the bench's logs in %s\n", qPrintable(dir.path()));
            return;
        }
        document.log().StoreChargeRecord(-1, 46000.0 + i, QStringLiteral("PSU"),
                                         QStringLiteral("Charger"), QStringLiteral("Pack"), 2.0,
                                         1.8, QStringLiteral("Normal"), QString(), name);
    }
    const auto open = [&](const char *what) {
        QElapsedTimer timer;
        timer.start();
        auto *form = new TBatteryDetailsForm(&document, nullptr, QStringLiteral("Pack"));
        form->show();
        QCoreApplication::processEvents();
        const double shown = timer.nsecsElapsed() / 1e6;
        while (form->LogHealth->reader()->isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::processEvents();
        const double complete = timer.nsecsElapsed() / 1e6;
        std::printf(
            "Battery Details of a battery with %d logs of %d samples, %s: shown in "
            "%.1f ms (target <= 1000 ms), every log's point in %.1f ms (%d points)\n",
            logs, samples, what, shown, complete,
            form->LogHealth->HealthChart->pointCount(TBatteryLogHealthView::ResistanceSeries));
        delete form;
    };
    ChargerLogHealth::sharedCache().clear();
    open("logs not read before");
    open("logs read before");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QByteArray mebibyte = generatedLog(0, 1 << 20);
    int samples = 0;
    const double readMs = bestOf(
        10, [&] { samples = ChargerLog::read(mebibyte, QStringLiteral("bench")).sampleCount(); });
    std::printf("reading a 1 MiB $-log (%d samples): %.2f ms (target <= 20 ms)\n", samples, readMs);

    const ChargerLog::TChargerLog big =
        ChargerLog::read(generatedLog(100000, 0), QStringLiteral("bench"));
    TChargerLogForm form(QString{});
    form.setLog(big);
    form.resize(1400, 800);
    form.show();
    QCoreApplication::processEvents();
    QImage image(form.Chart->size(), QImage::Format_ARGB32_Premultiplied);
    const auto paint = [&] {
        QPainter painter(&image);
        form.Chart->paintChart(&painter);
    };
    // A new range each frame, as while zooming or dragging: every point is looked at.
    const double span = big.seconds.last();
    int frame = 0;
    const auto paintMoved = [&] {
        form.Chart->setVisibleXRange(-(frame % 2), span + (++frame % 2));
        paint();
    };
    std::printf("painting the chart, %d samples, %d series, all shown, a new range each frame: "
                "%.2f ms a frame (target <= 16 ms)\n",
                big.sampleCount(), form.Chart->seriesCount(), bestOf(10, paintMoved));
    form.CapacityBox->setChecked(true);
    form.TemperatureBox->setChecked(true);
    std::printf("the same with capacity and temperature shown: %.2f ms a frame "
                "(target <= 16 ms)\n",
                bestOf(10, paintMoved));
    form.Chart->setVisibleXRange(span * 0.2, span * 0.6);
    paint();
    std::printf("repainting the same range (the hover line moved): %.2f ms a frame "
                "(target <= 16 ms)\n",
                bestOf(10, [&] {
                    form.Chart->setCursorX(span * (0.2 + 0.1 * (frame++ % 4)));
                    paint();
                }));
    form.close();
    benchDetails(1000, 450);  // as long as the chargers' own sample files
    benchDetails(1000, 3600); // an hour's charge
    return 0;
}
