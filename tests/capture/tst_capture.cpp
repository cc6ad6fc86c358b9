// The capture of a charger's serial port, on pseudo-terminals: replayed device logs become
// files holding exactly the lines sent, channels and phases their own files, the port going
// away and coming back, a kill mid-charge, and no CPU spent on a port that is gone.

#include "ChannelCapture.h"
#include "ChargerLog.h"
#include "ChargerLogDollar.h"
#include "PtyPair.h"
#include "SerialCapture.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace ChargerLog;

namespace {

QByteArray sampleLog(const char *name)
{
    QFile f(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The "$" lines of a file or stream, without their line ends.
QList<QByteArray> dollarLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    for (QByteArray line : bytes.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('$'))
            lines << line;
    }
    return lines;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray sampleLine(int channel, int state, qint64 ms, int current, int mAh)
{
    return TDollarLineParser::withChecksum(
               "$" + QByteArray::number(channel) + ';' + QByteArray::number(state) + ';' +
               QByteArray::number(ms) + ";1;0;" + QByteArray::number(current) + ";12000;" +
               QByteArray::number(8200 + ms / 10000) + ';' + QByteArray::number(mAh) +
               ";250;0;4100;4100;0;0;0;0;0") +
           "\r\n";
}

double cpuSeconds()
{
    rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A capture of one pseudo-terminal that keeps the files of the charges that ended.
struct Session
{
    QTemporaryDir dir;
    std::unique_ptr<TSerialCapture> capture;
    QStringList files;
    QList<int> channels;

    void start(const QString &device, int idleSeconds = 30)
    {
        TCaptureOptions options;
        options.device = device;
        options.idleSeconds = idleSeconds;
        capture = std::make_unique<TSerialCapture>(options, dir.path(), 0600);
        QObject::connect(capture.get(), &TSerialCapture::channelEnded, [this](TChannelCapture *c) {
            if (!c->filePath().isEmpty()) {
                files << c->filePath();
                channels << c->channel();
            }
        });
        QString error;
        QVERIFY2(capture->start(&error), qPrintable(error));
    }
};

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Replayed device logs: each channel's charge one file holding every line sent, in order,
    // which reads as the device's own file reads.
    void replay_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("files");
        QTest::newRow("one channel") << sampleLog("dollar-storage-ch1.txt") << 1;
        // Two channels on one port, their lines interleaved by time.
        const QList<QByteArray> a = dollarLines(sampleLog("dollar-storage-ch1.txt"));
        const QList<QByteArray> b = dollarLines(sampleLog("dollar-storage-ch2.txt"));
        QByteArray both;
        for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
            if (i < a.size())
                both += a[i] + "\r\n";
            if (i < b.size())
                both += b[i] + "\r\n";
        }
        QTest::newRow("two channels") << both << 2;
        // What serial adapters do: repeated lines, garbage and NUL bytes between lines.
        QByteArray noisy;
        for (const QByteArray &line : a.mid(0, 100))
            noisy += line + "\r\n\0" + line + "\r\n" + "\x13\xff" + "\r\n";
        QTest::newRow("noisy") << noisy << 1;
        // The device's own line goes first into the file, once.
        QByteArray header("@Model:X6; SN:123\0\r\n\r\n", 22);
        for (const QByteArray &line : a.mid(0, 20))
            header += line + "\r\n";
        QTest::newRow("device line") << header << 1;
    }
    void replay()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, files);
        TPtyPair pty;
        QVERIFY(pty.isOpen());
        Session session;
        session.start(pty.slaveName());
        QVERIFY(pty.send(stream));
        QList<QByteArray> sent = dollarLines(stream);
        sent.erase(std::unique(sent.begin(), sent.end()), sent.end());
        // Every line in before the capture is stopped, however busy the machine.
        const auto captured = [&] {
            int samples = 0;
            for (const TChannelCapture *c : session.capture->channels())
                samples += c->sampleCount();
            return samples;
        };
        QTRY_COMPARE_WITH_TIMEOUT(captured(), int(sent.size()), 20000);
        QCOMPARE(session.capture->channels().size(), files);
        session.capture->stop();
        QCOMPARE(session.files.size(), files);
        for (int i = 0; i < files; ++i) {
            const QString path = session.files[i];
            QVERIFY(QFileInfo(path).fileName().endsWith(
                QStringLiteral("-ch%1.txt").arg(session.channels[i])));
            QList<QByteArray> ofChannel;
            for (const QByteArray &line : sent)
                if (line.startsWith("$" + QByteArray::number(session.channels[i]) + ';'))
                    ofChannel << line;
            const QByteArray written = fileBytes(path);
            QCOMPARE(dollarLines(written), ofChannel);
            QVERIFY(written.endsWith("\r\n"));
            QCOMPARE(written.startsWith("@Model:X6; SN:123\r\n$"), stream.startsWith('@'));
            QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFileDevice::Permissions());
            const TChargerLog log = readFile(path);
            QVERIFY2(log.ok(), qPrintable(log.error));
            QCOMPARE(log.sampleCount(), int(ofChannel.size()));
            QVERIFY(draftRecord(log, QDateTime::currentDateTime()).valid);
        }
    }

    // A charge, a rest and a discharge: two files, the rest with the charge. A charge whose
    // rest outlasts the silence time ends with the rest.
    void phases()
    {
        TPtyPair pty;
        Session session;
        session.start(pty.slaveName(), 5);
        QByteArray stream;
        for (int i = 0; i < 20; ++i)
            stream += sampleLine(1, 1, i * 1000, 100, i);
        for (int i = 20; i < 24; ++i)
            stream += sampleLine(1, 4, i * 1000, 0, 19);
        for (int i = 24; i < 40; ++i)
            stream += sampleLine(1, 2, i * 1000, -100, -(i - 24));
        // A rest of 10 s, longer than the silence time: the discharge ended with it.
        for (int i = 40; i < 52; ++i)
            stream += sampleLine(1, 4, i * 1000, 0, -15);
        QVERIFY(pty.send(stream));
        QTRY_COMPARE(session.files.size(), 2);
        QCOMPARE(dollarLines(fileBytes(session.files[0])).size(), 24);
        const TChargerLog discharge = readFile(session.files[1]);
        QVERIFY(discharge.ok());
        QCOMPARE(discharge.phases.first(), Phase::Discharge);
        QVERIFY(discharge.sampleCount() >= 16 + 6 && discharge.sampleCount() <= 16 + 12);
        QVERIFY(draftRecord(discharge, QDateTime::currentDateTime()).discharge);
        QVERIFY(session.capture->channels().isEmpty());
    }

    // The port goes away and comes back (as an adapter reset does, its by-id link pointing at
    // the new device): the charge goes on in its file. Gone for good, it costs no CPU.
    void portGoesAwayAndComesBack()
    {
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("charger"));
        auto first = std::make_unique<TPtyPair>();
        QVERIFY(QFile::link(first->slaveName(), link));
        Session session;
        session.start(link, 20);
        QByteArray before, after;
        for (int i = 0; i < 10; ++i)
            before += sampleLine(1, 1, i * 1000, 100, i);
        for (int i = 10; i < 20; ++i)
            after += sampleLine(1, 1, i * 1000, 100, i);
        QVERIFY(first->send(before));
        QTRY_COMPARE(session.capture->channels().size(), 1);
        QTRY_COMPARE(session.capture->channels().first()->sampleCount(), 10);
        // Unplugged, the by-id link goes too; the closed terminal's number may soon belong to
        // another program's terminal, which the capture must not take for the charger.
        first->close();
        QFile::remove(link);
        QTRY_COMPARE(session.capture->state(), TSerialCapture::State::Waiting);

        // Gone: the capture waits without spinning.
        const double cpu = cpuSeconds();
        QTest::qWait(3000);
        QVERIFY2(cpuSeconds() - cpu < 0.3, qPrintable(QString::number(cpuSeconds() - cpu)));
        QCOMPARE(session.capture->state(), TSerialCapture::State::Waiting);

        TPtyPair second;
        QVERIFY(QFile::link(second.slaveName(), link));
        QTRY_COMPARE_WITH_TIMEOUT(session.capture->state(), TSerialCapture::State::Open, 5000);
        QVERIFY(second.send(after));
        QTRY_COMPARE(session.capture->channels().first()->sampleCount(), 20);
        session.capture->stop();
        QCOMPARE(session.files.size(), 1);
        QCOMPARE(dollarLines(fileBytes(session.files[0])), dollarLines(before + after));
    }

    // A kill mid-charge: the file reads back with every line but the one being received.
    void killWhileCapturing()
    {
        TPtyPair pty;
        QTemporaryDir dir;
        const pid_t child = ::fork();
        if (child == 0) {
            TCaptureOptions options;
            options.device = pty.slaveName();
            TSerialCapture capture(options, dir.path(), 0600);
            QString error;
            if (!capture.start(&error))
                ::_exit(3);
            QEventLoop().exec();
            ::_exit(0);
        }
        QVERIFY(child > 0);
        QByteArray stream;
        for (int i = 0; i < 30; ++i)
            stream += sampleLine(1, 1, i * 1000, 100, i);
        const QByteArray last = sampleLine(1, 1, 30000, 100, 30);
        QVERIFY(pty.send(stream + last.left(20)));
        QString path;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QStringList found = QDir(dir.path()).entryList({QStringLiteral("*.txt")});
                path = found.isEmpty() ? QString() : dir.filePath(found.first());
                return !path.isEmpty() && dollarLines(fileBytes(path)).size() == 30;
            }(),
            10000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const TChargerLog log = readFile(path);
        QVERIFY2(log.ok(), qPrintable(log.error));
        QCOMPARE(log.sampleCount(), 30);
        QCOMPARE(log.badLineCount, 0);
    }

    // Bytes that are no charger's: a flood without line ends is refused, not buffered.
    void floodRefused()
    {
        TPtyPair pty;
        Session session;
        session.start(pty.slaveName());
        QSignalSpy ended(session.capture.get(), &TSerialCapture::ended);
        pty.send(QByteArray(TSerialCapture::FloodBytes + 4096, 'x'));
        QTRY_COMPARE(ended.size(), 1);
        QVERIFY(session.capture->message().contains(QLatin1String("without a line end")));
        QVERIFY(session.files.isEmpty());
        QVERIFY(QDir(session.dir.path()).isEmpty());
    }

    void openFailures()
    {
        Session session;
        TCaptureOptions options;
        options.device = QStringLiteral("/dev/no-such-charger");
        TSerialCapture capture(options, session.dir.path(), 0600);
        QString error;
        QVERIFY(!capture.start(&error));
        QVERIFY2(error.contains(QLatin1String("/dev/no-such-charger does not exist")),
                 qPrintable(error));
        // A port another capture holds is in use.
        TPtyPair pty;
        session.start(pty.slaveName());
        options.device = pty.slaveName();
        TSerialCapture again(options, session.dir.path(), 0600);
        QVERIFY(!again.start(&error));
        QVERIFY2(error.contains(QLatin1String("in use by another program")), qPrintable(error));
        QCOMPARE(TSerialCapture::printable("ab\x01\xff"), QStringLiteral("ab··"));
    }
};

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
