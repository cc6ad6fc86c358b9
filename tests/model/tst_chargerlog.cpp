// The charger log reader: the shared device files, small constructed files of every variant,
// refused files, the figures, the text and CSV forms, the draft record and the cache.

#include "ChargerLog.h"
#include "ChargerLogDollar.h"

#include <QtTest>

#include <cmath>
#include <sys/stat.h>

using namespace ChargerLog;

namespace {

QString sample(const char *name)
{
    return QStringLiteral(QORLOG_TEST_DATA "/charger-logs/") + QLatin1String(name);
}

const QVector<ColumnRole> UntitledRoles = {
    ColumnRole::UnixTime, ColumnRole::Volts,   ColumnRole::Amps,  ColumnRole::AmpHours,
    ColumnRole::Extra,    ColumnRole::Celsius, ColumnRole::Ignore};

template <std::size_t N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

// The "$" lines of a made-up log with their checksums filled in.
QByteArray signedLines(const QByteArray &bytes)
{
    QByteArray out;
    for (const QByteArray &line : bytes.split('\n')) {
        QByteArray body = line;
        QByteArray end;
        while (body.endsWith('\r'))
            body.chop(1), end += '\r';
        out += (body.startsWith('$') ? TDollarLineParser::withChecksum(body) : body) + end + '\n';
    }
    out.chop(1);
    return out;
}

double last(const QVector<double> &v)
{
    return v.isEmpty() ? -999 : v.last();
}

} // namespace

class TestChargerLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void deviceFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withRoles");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("mainPhase");
        QTest::addColumn<double>("ampHours");
        QTest::addColumn<double>("nominalAmps");
        QTest::addColumn<int>("badLines");
        QTest::newRow("ch1") << sample("dollar-storage-ch1.txt") << false << 447 << 6
                             << int(Phase::Charge) << 0.464 << 4.0 << 0;
        QTest::newRow("ch2") << sample("dollar-storage-ch2.txt") << false << 629 << 6
                             << int(Phase::Charge) << 0.582 << 4.0 << 0;
        QTest::newRow("analyser") << sample("titled-analyser-aa.csv") << false << 1563 << 0
                                  << int(Phase::Discharge) << 3.468 << 0.5 << 0;
        // The last line goes back in time: listed, the rest read.
        QTest::newRow("untitled") << sample("untitled-logger.csv") << true << 1082 << 0
                                  << int(Phase::Charge) << 0.176 << 0.1 << 1;
    }
    void deviceFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, withRoles);
        QFETCH(int, samples);
        QFETCH(int, cells);
        QFETCH(int, mainPhase);
        QFETCH(double, ampHours);
        QFETCH(double, nominalAmps);
        QFETCH(int, badLines);
        const TChargerLog log = readFile(file, withRoles ? UntitledRoles : QVector<ColumnRole>());
        QVERIFY2(log.ok(), qPrintable(log.error));
        QCOMPARE(log.sampleCount(), samples);
        QCOMPARE(log.badLines.size(), badLines);
        const TChargerLogFigures f = figures(log);
        QCOMPARE(f.cells, cells);
        QCOMPARE(int(f.mainPhase), mainPhase);
        const TPhaseFigures &main = f.mainPhase == Phase::Charge ? *f.charge : *f.discharge;
        QVERIFY2(std::fabs(main.ampHours() - ampHours) < 0.0005, qPrintable(figuresText(f)));
        // The counter and the integrated current agree within a few mAh.
        QVERIFY(std::fabs(*main.counterAmpHours - *main.integratedAmpHours) < 0.005);
        QVERIFY(*main.energy > 0);
        const TDraftRecord draft = draftRecord(log, QDateTime::currentDateTime());
        QVERIFY(draft.valid);
        QCOMPARE(draft.nominalAmps, nominalAmps);
        QCOMPARE(draft.discharge, f.mainPhase == Phase::Discharge);
        QCOMPARE(draft.ampHours, draft.discharge ? -main.ampHours() : main.ampHours());
        if (cells) {
            QVERIFY(f.cellSpread && *f.cellSpread >= 0 && *f.cellSpread < 20);
            QCOMPARE(log.cells.first().size(), log.seconds.size());
        }
    }

    void untitledGuessesTheTime()
    {
        const TChargerLog log = readFile(sample("untitled-logger.csv"));
        QVERIFY2(log.ok(), qPrintable(log.error));
        QCOMPARE(log.columnRoles.size(), 7);
        QCOMPARE(log.columnRoles.first(), ColumnRole::UnixTime);
        QVERIFY(log.rolesNeeded);
        QCOMPARE(log.start, QDateTime::fromSecsSinceEpoch(1744448167));
        // Five days lie between the first and the last sample.
        QVERIFY(log.seconds.last() > 5 * 86400.0 && log.seconds.last() < 6 * 86400.0);
        QVERIFY(readFile(sample("untitled-logger.csv"), UntitledRoles).start.isValid());
        // A titled time column in Unix seconds gives the start as well.
        const TChargerLog titled = read(
            "Timestamp [s];Voltage [V]\n1700000000;1.2\n1700000060;1.3\n", QStringLiteral("x"));
        QCOMPARE(titled.start, QDateTime::fromSecsSinceEpoch(1700000000));
        QCOMPARE(titled.seconds.last(), 60.0);
    }

    // Each variant as a small file: what its last sample holds.
    void variants_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("samples");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("voltage");
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("capacity");
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("badLines");
        const int dollar = int(Format::Dollar), titled = int(Format::Titled);
        QTest::newRow("$ device line, NUL, 8 cell columns, discharge")
            << raw("@Model:X6; Fireware:V1.1; Hardware:V2; SN:42\0\r\n\r\n"
                   "$1;2;0;1;0;-50;12000;8200;0;250;0;4100;4100;0;0;0;0;0;0;7\r\n"
                   "$1;2;1000;1;0;-50;12000;8100;-1;251;0;4050;4050;0;0;0;0;0;0;7\r\n")
            << dollar << 2 << 1.0 << 8.1 << -0.5 << -0.001 << int(Phase::Discharge) << 2 << 0;
        QTest::newRow("$ rest, channel 2, resistance line")
            << QByteArray("$2;4;0;1;0;0;12000;8200;10;250;0;4100;4100;0;0;0;0;1\n"
                          "$2;128;500;40;20;20;0;0;0;0;1\n"
                          "$2;4;2000;1;0;0;12000;8190;10;250;0;4095;4095;0;0;0;0;1\n")
            << dollar << 2 << 2.0 << 8.19 << 0.0 << 0.01 << int(Phase::Rest) << 2 << 0;
        QTest::newRow("$ bad line amid good")
            << QByteArray("$1;1;0;1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;1\n"
                          "$1;1;1000;1;0;100;12000;8210;0;250;0;4105;4105;0;0;0;0;1\n"
                          "$1;1;2000;1;x;100;12000;8220;1;250;0;4110;4110;0;0;0;0;1\n"
                          "$1;1;3000;1;0;100;12000;8230;1;250;0;4115;4115;0;0;0;0;1\n"
                          "$1;1;4000;1;0;100;12000;8240;1;250;0;4120;4120;0;0;0;0;1\n")
            << dollar << 4 << 4.0 << 8.24 << 1.0 << 0.001 << int(Phase::Charge) << 2 << 1;
        QTest::newRow("German ; decimal comma, padded, device line")
            << QByteArray("Lader 3000\r\nZeit [s];Spannung [V];Strom [A];Ladung [mAh];"
                          "Leistung [W]\r\n 0 ; 1,20 ; 1,5 ;   0 ; 1,8\r\n 60 ; 1,35 ; 1,5 ; "
                          "25,5 ; 2\r\n")
            << titled << 2 << 60.0 << 1.35 << 1.5 << 0.0255 << int(Phase::Charge) << 0 << 0;
        QTest::newRow("tab, milli-units, cells in mV, minutes")
            << QByteArray("Time [min]\tVoltage [mV]\tCurrent [mA]\tCapacity [Ah]\tTemp [°C]"
                          "\tZelle 1 [mV]\tZelle 2 [mV]\n0\t8200\t-1000\t0\t21\t4100\t4100\n"
                          "1,5\t8000\t-1000\t-0,025\t22\t4000\t4000\n")
            << titled << 2 << 90.0 << 8.0 << -1.0 << -0.025 << int(Phase::Discharge) << 2 << 0;
        QTest::newRow("device line with a comma")
            << QByteArray("Analyser 2, firmware 1.2\nTime [sec],Voltage [V],Current [A]\n"
                          "0,1.4,-0.25\n10,1.38,-0.25\n")
            << titled << 2 << 10.0 << 1.38 << -0.25 << -0.25 * 10 / 3600 << int(Phase::Discharge)
            << 0 << 0;
        QTest::newRow("plain names: ms, V, mA, mAh")
            << QByteArray("millis,voltage,current,power,capacity,energy\n0, 1.40, 0.00, 0, 0, 0\n"
                          "1000, 1.41, 1000.00, 1410, 0.28, 0.39\n")
            << titled << 2 << 1.0 << 1.41 << 1.0 << 0.00028 << int(Phase::Charge) << 0 << 0;
        QTest::newRow("no counter: integrated, a rest holds it")
            << QByteArray("t [h];U [V];I [A]\n0;1.2;2\n0.5;1.3;2\n1;1.3;0\n") << titled << 3
            << 3600.0 << 1.3 << 0.0 << 1.0 << int(Phase::Rest) << 0 << 0;
    }
    void variants()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, format);
        QFETCH(int, samples);
        const TChargerLog log = read(signedLines(bytes), QStringLiteral("mem.log"));
        QVERIFY2(log.ok(), qPrintable(log.error));
        QCOMPARE(int(log.format), format);
        QCOMPARE(log.sampleCount(), samples);
        QTEST(log.seconds.last(), "seconds");
        QTEST(last(log.voltage), "voltage");
        QTEST(last(log.current), "current");
        QFETCH(double, capacity);
        QVERIFY2(std::fabs(last(log.capacity) - capacity) < 1e-9,
                 qPrintable(QString::number(last(log.capacity))));
        QTEST(int(log.phases.last()), "phase");
        QTEST(int(log.cells.size()), "cells");
        QTEST(int(log.badLines.size()), "badLines");
    }

    void deviceAndResistance()
    {
        const TChargerLog log =
            read(signedLines(raw("@Model:X6; Fireware:V1.1\0\r\n\r\n"
                                 "$1;1;0;1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;1\r\n"
                                 "$1;128;500;40;21;19;0;0;0;0;1\r\n")),
                 QStringLiteral("x"));
        QVERIFY2(log.ok(), qPrintable(log.error));
        QCOMPARE(log.device.size(), 2);
        QCOMPARE(log.device.at(1).first, QStringLiteral("Fireware"));
        QCOMPARE(log.device.at(1).second, QStringLiteral("V1.1"));
        const auto r = figures(log).lastResistance;
        QVERIFY(r);
        QCOMPARE(r->total, 40.0);
        QCOMPARE(r->cells, (QVector<double>{21, 19}));
        QCOMPARE(r->seconds, 0.5);
    }

    // A charge and then a discharge whose counter starts again from zero.
    void counterRestarts()
    {
        QByteArray bytes = "Time [s];Voltage [V];Current [A];Capacity [Ah]\n";
        bytes += "0;4.0;1;0.1\n3600;4.2;1;1.1\n3601;4.2;0;1.1\n3602;4.1;-1;0.0\n"
                 "5402;3.5;-1;0.5\n";
        const TChargerLogFigures f = figures(read(bytes, QStringLiteral("x")));
        QVERIFY(f.charge && f.discharge);
        // The counter started at 0.1 Ah carried over from before.
        QCOMPARE(*f.charge->counterAmpHours, 1.0);
        QCOMPARE(*f.discharge->counterAmpHours, 0.5);
        QVERIFY(std::fabs(*f.discharge->integratedAmpHours - 0.5) < 0.001);
        QCOMPARE(f.mainPhase, Phase::Charge);
        QCOMPARE(*f.highestVoltage, 4.2);
        QCOMPARE(*f.finalVoltage, 3.5);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray() << "mem.log is empty";
        QTest::newRow("blank lines") << QByteArray("\r\n \n") << "mem.log is empty";
        QTest::newRow("zip") << QByteArray("PK\x03\x04\x14\0\0\0", 8) << "ZIP";
        QTest::newRow("binary stream")
            << QByteArray("LOGv2\x01\x02\x00\x05\x00\x00\x07\x08\x00\x01\x0e", 16) << "binary";
        QTest::newRow("XML") << QByteArray("<?xml version=\"1.0\"?>\n<log/>\n")
                             << "line 2: not a row of column titles";
        QTest::newRow("other CSV") << QByteArray("Name,Street\nAda,Main\nBob,High\n")
                                   << "line 2: none of the column titles";
        QTest::newRow("damaged $ line")
            << QByteArray("$1;1;0;1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;1\n$1;1;10")
            << "mem.log, line 2: has 3 fields";
        QTest::newRow("text, not $") << QByteArray("$1;1;0;1;0;1;1;1;0;1;0;1;1;1;1;1;1;1\nhello\n")
                                     << "line 2: \"hello\" is not a sample line";
        QTest::newRow("titles only") << QByteArray("Time [s];Voltage [V]\n") << "holds no samples";
        QTest::newRow("no time column")
            << QByteArray("Voltage [V];Current [A]\n1;2\n") << "no column with the time";
        // Non-finite times are no numbers (they once gave "Duration: nan s").
        QTest::newRow("nan and inf clock")
            << QByteArray("Time [s];Voltage [V]\nnan:00;1\ninf:00;2\n0:inf;3\n") << "not a number";
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const TChargerLog log = read(signedLines(bytes), QStringLiteral("mem.log"));
        QVERIFY(!log.ok());
        QVERIFY2(log.error.contains(message), qPrintable(log.error));
        QVERIFY(log.error.contains(QLatin1String("mem.log")));
        const TChargerLogFigures f = figures(log);
        QVERIFY(!f.charge && !f.discharge && !f.highestVoltage);
        QVERIFY(!draftRecord(log, QDateTime::currentDateTime()).valid);
    }

    // Every shared "$" log fed to the parser in random pieces gives the file reader's samples.
    void parserInFragments()
    {
        for (const char *name : {"dollar-storage-ch1.txt", "dollar-storage-ch2.txt"}) {
            QFile file(sample(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            const TChargerLog whole = readFile(sample(name));
            QVERIFY(whole.ok());
            QRandomGenerator random(42);
            for (int round = 0; round < 5; ++round) {
                TChargerLog pieces;
                TDollarLogBuilder builder(pieces);
                QString reason;
                TDollarLineParser parser([&](const TDollarLine &line) {
                    QVERIFY2(builder.add(line, &reason), qPrintable(reason));
                });
                for (qsizetype at = 0; at < bytes.size();) {
                    const qsizetype size = 1 + random.bounded(round == 0 ? 3 : 200);
                    parser.feed(
                        QByteArrayView(bytes.constData() + at, std::min(size, bytes.size() - at)));
                    at += size;
                }
                parser.finish();
                builder.finish();
                QCOMPARE(parser.badLines(), 0);
                QCOMPARE(pieces.seconds, whole.seconds);
                QCOMPARE(pieces.voltage, whole.voltage);
                QCOMPARE(pieces.current, whole.current);
                QCOMPARE(pieces.capacity, whole.capacity);
                QCOMPARE(pieces.temperature, whole.temperature);
                QCOMPARE(pieces.cells, whole.cells);
                QCOMPARE(pieces.phases, whole.phases);
            }
        }
    }

    // What a serial line does to the stream: each case's bytes, the lines that come out good,
    // those dropped as bad, and the repeats dropped.
    void parserStream_data()
    {
        const QByteArray a = TDollarLineParser::withChecksum(
            "$1;1;0;1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;0");
        const QByteArray b = TDollarLineParser::withChecksum(
            "$1;1;1000;1;0;100;12000;8210;0;250;0;4105;4105;0;0;0;0;0");
        QByteArray wrong = b;
        wrong[10] = '9'; // a byte changed on the way: the checksum no longer holds
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("good");
        QTest::addColumn<int>("bad");
        QTest::addColumn<int>("duplicates");
        QTest::newRow("CR LF NUL") << a + "\r\n\0" + b + "\r\n\0" << 2 << 0 << 0;
        QTest::newRow("CR only") << a + "\r" + b + "\r" << 2 << 0 << 0;
        QTest::newRow("repeat") << a + "\r\n" + a + "\r\n" + b + "\r\n" << 2 << 0 << 1;
        QTest::newRow("checksum fails") << a + "\n" + wrong + "\n" << 1 << 1 << 0;
        QTest::newRow("garbage between") << a + "\n\x7f\x13junk\n" + b + "\n" << 2 << 1 << 0;
        // Bytes lost: the next "$" begins a line, the torn one before it is bad.
        QTest::newRow("torn line") << a.left(20) + b + "\n" << 1 << 1 << 0;
        QTest::newRow("no line end at the end") << a + "\n" + b << 2 << 0 << 0;
        QTest::newRow("overlong") << QByteArray(10000, 'x') + "\n" + a + "\n" << 1 << 1 << 0;
        QTest::newRow("header") << QByteArray("@Model:X; SN:1\0\r\n\r\n") + a + "\r\n"
                                << 2 << 0 << 0;
        // A device whose last field is no checksum of this kind: after the trial lines its
        // lines are taken as they are; one whose checksums held once stays checked.
        QByteArray unsummed, checkedOnce = a + "\n";
        for (int i = 0; i < TDollarLineParser::ChecksumTrialLines + 4; ++i) {
            const QByteArray line = "$1;1;" + QByteArray::number(i * 1000) +
                                    ";1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;7\n";
            unsummed += line;
            checkedOnce += line;
        }
        QTest::newRow("no checksums")
            << unsummed << 4 << TDollarLineParser::ChecksumTrialLines << 0;
        QTest::newRow("checksums held once")
            << checkedOnce << 1 << TDollarLineParser::ChecksumTrialLines + 4 << 0;
    }
    void parserStream()
    {
        QFETCH(QByteArray, bytes);
        int good = 0;
        TDollarLineParser parser([&](const TDollarLine &) { ++good; });
        // Fed a byte at a time, as a slow serial port would.
        for (qsizetype i = 0; i < bytes.size(); ++i)
            parser.feed(QByteArrayView(bytes.constData() + i, 1));
        parser.finish();
        QTEST(good, "good");
        QTEST(int(parser.goodLines()), "good");
        QTEST(int(parser.badLines()), "bad");
        QTEST(int(parser.duplicates()), "duplicates");
    }

    // A file none of whose lines carries a checksum of this kind is read whole, from its first
    // line; in a file whose checksums hold, a line whose checksum fails is dropped.
    void fileChecksums()
    {
        QByteArray unsummed, summed;
        for (int i = 0; i < 5; ++i) {
            const QByteArray body = "$1;1;" + QByteArray::number(i * 1000) +
                                    ";1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;";
            unsummed += body + "7\r\n";
            summed += (i == 2 ? body + "7" : TDollarLineParser::withChecksum(body + "0")) + "\r\n";
        }
        const TChargerLog all = read(unsummed, QStringLiteral("unsummed.txt"));
        QVERIFY2(all.ok(), qPrintable(all.error));
        QCOMPARE(all.sampleCount(), 5);
        QCOMPARE(all.badLineCount, 0);
        const TChargerLog checked = read(summed, QStringLiteral("summed.txt"));
        QCOMPARE(checked.sampleCount(), 4);
        QCOMPARE(checked.badLineCount, 1);
    }

    // Memory grows with the samples, not with the lines: a sample and millions of blank lines
    // once reserved room for a sample a line. A large file read in pieces gives what it gives
    // read whole.
    void largeFiles()
    {
        QTemporaryDir dir;
        const QByteArray a = TDollarLineParser::withChecksum(
            "$1;1;0;1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;0");
        const QString blankPath = dir.filePath(QStringLiteral("blank.txt"));
        QFile blank(blankPath);
        QVERIFY(blank.open(QIODevice::WriteOnly));
        blank.write(a + "\r\n" + QByteArray(6 * 1024 * 1024, '\n'));
        blank.close();
        const TChargerLog sparse = readFile(blankPath);
        QCOMPARE(sparse.sampleCount(), 1);
        QVERIFY(sparse.seconds.capacity() < 1000);

        QByteArray bytes;
        for (int i = 0; bytes.size() < 5 * 1024 * 1024; ++i) {
            bytes += TDollarLineParser::withChecksum(
                         "$1;" + QByteArray::number(i % 3000 < 2000 ? 1 : 4) + ';' +
                         QByteArray::number(qint64(i) * 1000) + ";1;0;100;12000;" +
                         QByteArray::number(8200 + i % 100) +
                         ";1;250;0;4100;4100;4100;4100;4100;4100;0") +
                     "\r\n";
            if (i % 500 == 0)
                bytes += "garbage\r\n";
        }
        const QString bigPath = dir.filePath(QStringLiteral("big.txt"));
        QFile big(bigPath);
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(bytes);
        big.close();
        const TChargerLog streamed = readFile(bigPath);
        const TChargerLog inMemory = read(bytes, bigPath);
        QVERIFY2(streamed.ok(), qPrintable(streamed.error));
        QVERIFY(streamed.sampleCount() > 50000);
        QCOMPARE(streamed.seconds, inMemory.seconds);
        QCOMPARE(streamed.voltage, inMemory.voltage);
        QCOMPARE(streamed.cells, inMemory.cells);
        QCOMPARE(streamed.badLineCount, inMemory.badLineCount);
        QVERIFY(streamed.badLineCount > MaximumBadLinesKept);
        QCOMPARE(streamed.badLines.size(), MaximumBadLinesKept);
    }

    void notRegularFiles()
    {
        QVERIFY(readFile(QStringLiteral("/dev/zero")).error.contains(QLatin1String("regular")));
        QTemporaryDir dir;
        QVERIFY(readFile(dir.path()).error.contains(QLatin1String("regular")));
        // A FIFO nobody writes to is refused at once rather than waited on.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(readFile(fifo).error.contains(QLatin1String("regular")));
        QVERIFY(readFile(dir.filePath(QStringLiteral("none")))
                    .error.contains(QLatin1String("does not exist")));
    }

    void textAndCsv()
    {
        const QByteArray bytes = "$1;1;0;1;0;100;12000;8200;0;250;0;4100;4100;0;0;0;0;1\n"
                                 "$1;1;3600000;1;0;100;12000;8400;1000;300;0;4200;4190;0;0;0;0;1\n"
                                 "$1;128;3600500;40;21;19;0;0;0;0;1\n";
        const TChargerLog log = read(signedLines(bytes), QStringLiteral("x"));
        QCOMPARE(figuresText(figures(log)), QStringLiteral("Format: $ lines\n"
                                                           "Samples: 2\n"
                                                           "Duration: 3600 s\n"
                                                           "Charged: 1.000 Ah\n"
                                                           "Energy: 8.300 Wh\n"
                                                           "Highest voltage: 8.400 V\n"
                                                           "Final voltage: 8.400 V\n"
                                                           "Highest temperature: 30.0 °C\n"
                                                           "Cells: 2\n"
                                                           "Cell spread: 10 mV\n"
                                                           "Internal resistance: 40 mΩ (cells "
                                                           "21, 19 mΩ)\n"));
        QCOMPARE(samplesCsv(log), QByteArray("Seconds,Phase,Voltage,Current,Capacity,Temperature,"
                                             "Cell1,Cell2\r\n"
                                             "0,charge,8.2,1,0,25,4.1,4.1\r\n"
                                             "3600,charge,8.4,1,1,30,4.2,4.19\r\n"));
        // Empty fields stay empty; the phase is empty where there is no current.
        const TChargerLog gaps =
            read("Time [s];Voltage [V];Temp [°C]\n0;1.2;\n1;;20\n", QStringLiteral("x"));
        QCOMPARE(samplesCsv(gaps), QByteArray("Seconds,Phase,Voltage,Current,Capacity,Temperature"
                                              "\r\n0,,1.2,,,\r\n1,,,,,20\r\n"));
    }

    void draftWithoutStart()
    {
        const TChargerLog log =
            read("Time [s];Current [A]\n0;-0.24\n1800;-0.26\n3600;-0.26\n", QStringLiteral("x"));
        const QDateTime modified(QDate(2024, 5, 1), QTime(12, 0));
        const TDraftRecord draft = draftRecord(log, modified);
        QVERIFY(draft.valid && draft.discharge);
        QCOMPARE(draft.dateTime, modified.addSecs(-3600));
        QCOMPARE(draft.nominalAmps, 0.3);
        QVERIFY(std::fabs(draft.ampHours + 0.255) < 1e-9);
    }

    void cacheFollowsTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("c.csv"));
        const auto write = [&](const QByteArray &bytes) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        write("Time [s];Current [A]\n0;1\n3600;1\n");
        TFiguresCache cache;
        QList<double> found;
        QMutex mutex;
        QThreadPool pool;
        for (int i = 0; i < 8; ++i)
            pool.start([&] {
                const auto f = cache.figuresFor(path);
                QMutexLocker locker(&mutex);
                found << (f && f->charge ? f->charge->ampHours() : -1);
            });
        pool.waitForDone();
        QCOMPARE(found, QList<double>(8, 1.0));
        QCOMPARE(cache.size(), 1);
        write("Time [s];Current [A]\n0;2\n3600;2\n3601;2\n");
        QCOMPARE(cache.figuresFor(path)->charge->ampHours(), 2.0 + 2.0 / 3600);
        write("garbage\x01\x02\x03\x04\x05\x06\x07\x08");
        QVERIFY(!cache.figuresFor(path));
    }
};

QTEST_GUILESS_MAIN(TestChargerLog)
#include "tst_chargerlog.moc"
