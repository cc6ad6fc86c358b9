// Figures of the live capture: a ten-hour charge at two lines a second (72,000 samples) with
// its charger log window open, the time each line takes (parsed, written to its file, added to
// the window) and a frame of the grown window; and a replay at 1,000 lines a second through a
// pseudo-terminal, which the capture must keep up with. Prints "figure: value (target ...)".

#include "ChannelCapture.h"
#include "ChargerLogDollar.h"
#include "ChargerLogFormUnit.h"
#include "LineChart.h"
#include "SerialCapture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace ChargerLog;

namespace {

QByteArray line(qint64 ms, int i)
{
    const int cell = 3700 + i / 200 + (i * 7) % 5;
    QByteArray text = "$1;1;" + QByteArray::number(ms) + ";1;0;" + QByteArray::number(200 + i % 7) +
                      ";23773;" + QByteArray::number(cell * 6) + ';' + QByteArray::number(i / 100) +
                      ";380;" + QByteArray::number(250 + i % 30);
    for (int c = 0; c < 6; ++c)
        text += ';' + QByteArray::number(cell + c % 3);
    return TDollarLineParser::withChecksum(text + ";0;0;0;0;0") + "\r\n";
}

double paintMs(TLineChart *chart)
{
    QImage image(chart->size(), QImage::Format_RGB32);
    QElapsedTimer timer;
    timer.start();
    QPainter painter(&image);
    chart->paintChart(&painter);
    painter.end();
    return double(timer.nsecsElapsed()) / 1e6;
}

void tenHours()
{
    constexpr int Samples = 72000; // ten hours at two lines a second
    QTemporaryDir dir;
    TChargerLogForm window{QString()};
    window.beginLive(QStringLiteral("bench"));
    window.resize(1000, 560);
    window.show();
    TChannelCapture capture(1, dir.path(), 0600, 30, QByteArray());
    QObject::connect(&capture, &TChannelCapture::sampleAdded, &window,
                     &TChargerLogForm::appendLiveSample);
    TDollarLineParser parser([&](const TDollarLine &l) { capture.take(l); });
    QElapsedTimer timer;
    double worstBlock = 0, frame = 0, worstFrame = 0;
    qint64 total = 0;
    constexpr int Block = 1000;
    for (int i = 0; i < Samples; i += Block) {
        QByteArray bytes;
        for (int k = i; k < i + Block; ++k)
            bytes += line(qint64(k) * 500, k);
        timer.start();
        parser.feed(bytes);
        const qint64 ns = timer.nsecsElapsed();
        total += ns;
        worstBlock = std::max(worstBlock, double(ns) / Block / 1e6);
        // The figures follow twice a second: their refresh is part of each line's share.
        QApplication::processEvents();
        if (i % 12000 == 0 || i + Block >= Samples) {
            frame = paintMs(window.Chart);
            worstFrame = std::max(worstFrame, frame);
        }
    }
    QElapsedTimer figures;
    figures.start();
    const TChargerLogFigures f = ChargerLog::figures(window.log());
    const double figuresMs = double(figures.nsecsElapsed()) / 1e6;
    // The figures are worked out once every interval, for the lines that came in it.
    const int interval = TChargerLogForm::liveFiguresIntervalMs(f.samples);
    const double figuresShare = figuresMs / (2.0 * interval / 1000);
    std::printf("ten-hour capture, %d samples with its window open: %.3f ms a line with its "
                "share of the figures (%.3f ms the line itself, %.3f ms in the slowest thousand; "
                "%.2f ms the figures every %d ms) (target <= 1 ms)\n",
                window.log().sampleCount(), double(total) / Samples / 1e6 + figuresShare,
                double(total) / Samples / 1e6, worstBlock, figuresMs, interval);
    std::printf("a frame of the growing window at %d samples: %.2f ms, the slowest %.2f ms "
                "(target <= 16 ms)\n",
                window.log().sampleCount(), frame, worstFrame);
    capture.end(TChannelCapture::EndReason::Stopped);
}

void replay()
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("replay: no pseudo-terminal\n");
        return;
    }
    termios t;
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    QTemporaryDir dir;
    TCaptureOptions options;
    options.device = QString::fromLocal8Bit(name);
    TSerialCapture capture(options, dir.path(), 0600);
    TChargerLogForm window{QString()};
    window.beginLive(QStringLiteral("replay"));
    window.show();
    QObject::connect(&capture, &TSerialCapture::channelStarted, &window, [&](TChannelCapture *c) {
        QObject::connect(c, &TChannelCapture::sampleAdded, &window,
                         &TChargerLogForm::appendLiveSample);
    });
    QString error;
    if (!capture.start(&error)) {
        std::printf("replay: %s\n", qPrintable(error));
        return;
    }
    // Eight seconds at 1,000 lines a second: below what the capture refuses as a flood.
    constexpr int Lines = 8000;
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    double worstLag = 0;
    while (sent < Lines) {
        const int due = std::min<int>(Lines, int(clock.elapsed()) + 1);
        QByteArray bytes;
        for (; sent < due; ++sent)
            bytes += line(qint64(sent) * 10, sent);
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t w = ::write(master, bytes.constData() + done, bytes.size() - done);
            if (w > 0)
                done += w;
            else if (errno != EINTR && errno != EAGAIN)
                break;
            QApplication::processEvents();
        }
        QApplication::processEvents();
        const auto channels = capture.channels();
        const int captured = channels.isEmpty() ? 0 : channels.first()->sampleCount();
        worstLag = std::max(worstLag, double(sent - captured));
        QThread::usleep(200);
    }
    QElapsedTimer drain;
    drain.start();
    const auto captured = [&] {
        const auto channels = capture.channels();
        return channels.isEmpty() ? 0 : channels.first()->sampleCount();
    };
    while (captured() < Lines && drain.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::printf("a replay at 1,000 lines a second for 8 s: %d of %d lines captured, the last "
                "%lld ms after it was sent, at most %.0f lines behind (target: keeps up, "
                "under 100 ms behind)\n",
                captured(), Lines, static_cast<long long>(drain.elapsed()), worstLag);
    capture.stop();
    ::close(master);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tenHours();
    replay();
    return 0;
}
