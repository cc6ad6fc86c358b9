#include "BenchSupport.h"
#include "LogFile.h"
#include "LogGenerator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using BenchSupport::Options;

class TestBench : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseOptions_data();
    void parseOptions();
    void formatFigure_data();
    void formatFigure();
    void median_data();
    void median();
    void peakResident_data();
    void peakResident();
    void targetLines_data();
    void targetLines();
    void boundedTargets_data();
    void boundedTargets();
    void growthLines();
    void generatedLogReadsBack_data();
    void generatedLogReadsBack();
    void generatedLogLooksReal();
    void generationIsRepeatable();
    void programPrintsEveryFigure();
};

void TestBench::parseOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("refused");

    const int measure = int(Options::Mode::Measure);
    const QList<int> all{1000, 10000, 100000};
    QTest::newRow("no arguments: every size")
        << QStringList() << measure << all << 0 << QString() << false;
    QTest::newRow("records") << QStringList{"--records", "2500"} << measure << QList<int>{2500} << 0
                             << QString() << false;
    QTest::newRow("records twice: both sizes")
        << QStringList{"--records", "100000", "--records", "1000000"} << measure
        << QList<int>{100000, 1000000} << 0 << QString() << false;
    QTest::newRow("quick") << QStringList{"--quick"} << measure << QList<int>{1000} << 0
                           << QString() << false;
    QTest::newRow("generate") << QStringList{"--generate", "100000", "/tmp/x.QorLog"}
                              << int(Options::Mode::Generate) << all << 100000
                              << QString("/tmp/x.QorLog") << false;
    QTest::newRow("generate an empty log")
        << QStringList{"--generate", "0", "e.QorLog"} << int(Options::Mode::Generate) << all << 0
        << QString("e.QorLog") << false;
    QTest::newRow("measure one file")
        << QStringList{"--measure-file", "a.QorLog"} << int(Options::Mode::MeasureFile) << all << 0
        << QString("a.QorLog") << false;
    QTest::newRow("help") << QStringList{"--help"} << int(Options::Mode::Help) << all << 0
                          << QString() << false;
    QTest::newRow("records without a number")
        << QStringList{"--records"} << measure << all << 0 << QString() << true;
    QTest::newRow("records zero") << QStringList{"--records", "0"} << measure << all << 0
                                  << QString() << true;
    QTest::newRow("records not a number")
        << QStringList{"--records", "many"} << measure << all << 0 << QString() << true;
    QTest::newRow("negative count")
        << QStringList{"--generate", "-5", "f"} << measure << all << 0 << QString() << true;
    QTest::newRow("generate without a file")
        << QStringList{"--generate", "10"} << measure << all << 0 << QString() << true;
    QTest::newRow("unknown switch")
        << QStringList{"--fast"} << measure << all << 0 << QString() << true;
}

void TestBench::parseOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, mode);
    QFETCH(QList<int>, sizes);
    QFETCH(int, count);
    QFETCH(QString, file);
    QFETCH(bool, refused);

    const Options options = BenchSupport::parseOptions(arguments);
    QCOMPARE(!options.error.isEmpty(), refused);
    if (refused)
        return;
    QCOMPARE(int(options.mode), mode);
    QCOMPARE(options.sizes, sizes);
    QCOMPARE(options.count, count);
    QCOMPARE(options.file, file);
}

void TestBench::formatFigure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("line");

    QTest::newRow("small: two decimals") << "refresh_ms" << 3.14159 << "ms"
                                         << "refresh_ms 3.14 ms";
    QTest::newRow("tens: one decimal") << "add_ms" << 42.06 << "ms"
                                       << "add_ms 42.1 ms";
    QTest::newRow("hundreds: whole") << "load_ms" << 1234.5 << "ms"
                                     << "load_ms 1235 ms";
    QTest::newRow("no grouping") << "open_ms" << 123456.0 << "ms"
                                 << "open_ms 123456 ms";
    QTest::newRow("zero") << "copy_ms" << 0.0 << "ms"
                          << "copy_ms 0.00 ms";
    QTest::newRow("tiny negative shows no sign") << "x" << -0.001 << "ms"
                                                 << "x 0.00 ms";
}

void TestBench::formatFigure()
{
    QFETCH(QString, name);
    QFETCH(double, value);
    QFETCH(QString, unit);
    QFETCH(QString, line);
    // Whatever the user's locale, the figures keep a full stop.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = BenchSupport::formatFigure({name, value, unit});
    QLocale::setDefault(saved);
    QCOMPARE(text, line);
}

void TestBench::median_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("expected");

    QTest::newRow("none") << QVector<double>{} << 0.0;
    QTest::newRow("one") << QVector<double>{7.5} << 7.5;
    QTest::newRow("odd count, unsorted") << QVector<double>{9, 1, 5} << 5.0;
    QTest::newRow("even count: mean of the middle two") << QVector<double>{4, 1, 3, 10} << 3.5;
    QTest::newRow("one outlier does not move it") << QVector<double>{2, 2, 900, 2, 3} << 2.0;
}

void TestBench::median()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, expected);
    QCOMPARE(BenchSupport::median(values), expected);
}

void TestBench::peakResident_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<double>("mib");

    QTest::newRow("usual layout") << QByteArray("Name:\tqorlog_bench\nVmPeak:\t  900000 kB\n"
                                                "VmHWM:\t  153600 kB\nVmRSS:\t  100000 kB\n")
                                  << 150.0;
    QTest::newRow("last line without newline")
        << QByteArray("VmRSS:\t1 kB\nVmHWM:\t2048 kB") << 2.0;
    QTest::newRow("missing") << QByteArray("Name:\tx\nVmRSS:\t1024 kB\n") << -1.0;
    QTest::newRow("not a number") << QByteArray("VmHWM:\tlots kB\n") << -1.0;
    QTest::newRow("empty") << QByteArray() << -1.0;
}

void TestBench::peakResident()
{
    QFETCH(QByteArray, status);
    QFETCH(double, mib);
    QCOMPARE(BenchSupport::peakResidentMiB(status), mib);
}

void TestBench::targetLines_data()
{
    QTest::addColumn<QList<double>>("values"); // load, xmllint, copy, refresh, add
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("met, at the limit and missed")
        << QList<double>{250, 500, 20, 12, 52}
        << QStringList{"target load_ms 250 <= 250 ms (0.5 x xmllint_ms) met",
                       "target add_ms 52.0 <= 52.0 ms (2 x copy_ms + 1 x refresh_ms) met",
                       "target refresh_ms 12.0 <= 10.0 ms (10 ms) MISSED"};
    QTest::newRow("missing baseline leaves its targets out")
        << QList<double>{250, -1, 20, 9.5, 60}
        << QStringList{"target add_ms 60.0 <= 49.5 ms (2 x copy_ms + 1 x refresh_ms) MISSED",
                       "target refresh_ms 9.50 <= 10.0 ms (10 ms) met"};
}

void TestBench::targetLines()
{
    QFETCH(QList<double>, values);
    QFETCH(QStringList, expected);
    const QStringList names{"load_ms", "xmllint_ms", "copy_ms", "refresh_ms", "add_ms"};
    QList<BenchSupport::Figure> figures;
    for (int i = 0; i < names.size(); ++i)
        if (values.at(i) >= 0)
            figures.append({names.at(i), values.at(i), QStringLiteral("ms")});
    QCOMPARE(BenchSupport::targetLines(figures), expected);
}

void TestBench::boundedTargets_data()
{
    QTest::addColumn<int>("charges");
    QTest::addColumn<QStringList>("expected");
    const QString bus = QStringLiteral("target bus_add_ms 90.0 <= 100 ms (100 ms) met");
    const QString change =
        QStringLiteral("target change_add_ms 700 <= 600 ms (1.5 x copy_sync_ms) MISSED");
    QTest::newRow("unknown size: none") << -1 << QStringList{};
    QTest::newRow("100,000: the bus") << 100000 << QStringList{bus};
    QTest::newRow("a million: the change") << 1000000 << QStringList{change};
}

void TestBench::boundedTargets()
{
    QFETCH(int, charges);
    QFETCH(QStringList, expected);
    const QList<BenchSupport::Figure> figures{
        {"copy_sync_ms", 400, "ms"}, {"change_add_ms", 700, "ms"}, {"bus_add_ms", 90, "ms"}};
    QCOMPARE(BenchSupport::targetLines(figures, charges), expected);
}

void TestBench::growthLines()
{
    const QList<BenchSupport::SizeFigures> sizes{
        {1000, {{"open_ms", 0.5, "ms"}, {"save_ms", 2, "ms"}}},
        {10000, {{"open_ms", 9, "ms"}, {"save_ms", 30, "ms"}}},
        {100000, {{"save_ms", 200, "ms"}}}};
    // Below 1 ms at the smaller size says nothing, a figure measured at one size only has no
    // growth, and 1,000 to 100,000 is no step of ten.
    QCOMPARE(BenchSupport::growthLines(sizes),
             (QStringList{"target growth_save_ms 15.0 <= 11 x (1000 to 10000 charges) MISSED",
                          "target growth_save_ms 6.67 <= 11 x (10000 to 100000 charges) met"}));
}

void TestBench::generatedLogReadsBack_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("fewer than the batteries") << 25;
    QTest::newRow("a thousand") << 1000;
}

void TestBench::generatedLogReadsBack()
{
    QFETCH(int, count);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("generated.QorLog");
    LogGenerator::writeGeneratedLog(path, count);

    TChargeLog written;
    LogGenerator::generateChargeLog(written, count);
    written.ChargeStringList.sortByDateTime();
    TChargeLog read;
    QCOMPARE(LogFile::LoadChargeLog(path, read), LogFile::LoadOutcome::Loaded);
    QCOMPARE(read.ChargeStringList.count(), count);
    for (int i = 0; i < count; ++i) {
        const TChargeRecord &a = written.ChargeStringList.record(i);
        const TChargeRecord &b = read.ChargeStringList.record(i);
        QCOMPARE(b.DateTime, a.DateTime);
        QCOMPARE(b.AmpHours, a.AmpHours);
        QCOMPARE(b.NominalChargeAmps, a.NominalChargeAmps);
        QCOMPARE(read.BatteriesStringList.name(b.BatteryIndex),
                 written.BatteriesStringList.name(a.BatteryIndex));
        QCOMPARE(read.ChargeStringList.text(i), written.ChargeStringList.text(i));
    }
}

void TestBench::generatedLogLooksReal()
{
    TChargeLog log;
    LogGenerator::generateChargeLog(log, 2000);
    const TChargeList &charges = log.ChargeStringList;
    QCOMPARE(charges.count(), 2000);

    QSet<int> batteries, chargers, sources;
    int discharges = 0, sameMoment = 0, starComments = 0, logFiles = 0, outOfOrder = 0;
    double first = charges.record(0).DateTime, last = first;
    for (int i = 0; i < charges.count(); ++i) {
        const TChargeRecord &r = charges.record(i);
        batteries.insert(r.BatteryIndex);
        chargers.insert(r.ChargerIndex);
        sources.insert(r.PowerSourceIndex);
        discharges += r.AmpHours < 0 ? 1 : 0;
        first = qMin(first, r.DateTime);
        last = qMax(last, r.DateTime);
        if (i > 0) {
            sameMoment += r.DateTime == charges.record(i - 1).DateTime ? 1 : 0;
            outOfOrder += r.DateTime < charges.record(i - 1).DateTime ? 1 : 0;
        }
        QString logFile, comment;
        TChargeList::SplitChargeText(charges.text(i), logFile, comment);
        starComments += comment.contains('*') ? 1 : 0;
        logFiles += logFile.isEmpty() ? 0 : 1;
    }
    QCOMPARE(batteries.size(), 40);
    QCOMPARE(log.BatteriesStringList.count(), 40);
    QVERIFY2(chargers.size() >= 4 && chargers.size() <= 8,
             qPrintable(QString::number(chargers.size())));
    QVERIFY(sources.size() >= 3 && sources.size() <= 6);
    QVERIFY2(discharges > 400 && discharges < 800, qPrintable(QString::number(discharges)));
    QVERIFY(sameMoment > 10);
    QVERIFY(outOfOrder > 0); // entered late: the program has to sort
    QVERIFY(starComments > 50);
    QVERIFY(logFiles > 300 && logFiles < 700);
    QVERIFY2(last - first > 4 * 365, "spread over years");
}

void TestBench::generationIsRepeatable()
{
    TChargeLog a, b, other;
    LogGenerator::generateChargeLog(a, 500);
    LogGenerator::generateChargeLog(b, 500);
    LogGenerator::generateChargeLog(other, 500, LogGenerator::DefaultSeed + 1);
    const QByteArray first = LogFile::WriteChargeLog(a);
    QCOMPARE(LogFile::WriteChargeLog(b), first);
    QVERIFY(LogFile::WriteChargeLog(other) != first);
}

void TestBench::programPrintsEveryFigure()
{
    QProcess bench;
    bench.start(QStringLiteral(QORLOG_BENCH_PROGRAM), {"--records", "300"});
    QVERIFY(bench.waitForFinished(120000));
    QCOMPARE(bench.exitStatus(), QProcess::NormalExit);
    QVERIFY2(bench.exitCode() == 0, bench.readAllStandardError().constData());

    const QStringList lines =
        QString::fromUtf8(bench.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QStringLiteral("records 300"));
    const QRegularExpression figure(QStringLiteral("^([a-z0-9_]+) (\\d+(\\.\\d+)?) (ms|MB)$"));
    const QRegularExpression target(QStringLiteral(
        "^target ([a-z0-9_]+) \\d+(\\.\\d+)? <= \\d+(\\.\\d+)? (ms|MB) \\(.+\\) (met|MISSED)$"));
    QStringList names, targeted;
    for (const QString &line : lines.mid(1)) {
        if (line.startsWith(QLatin1String("target "))) {
            const QRegularExpressionMatch match = target.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QVERIFY2(names.contains(match.captured(1)), qPrintable(line)); // after its figure
            targeted.append(match.captured(1));
            continue;
        }
        QVERIFY2(targeted.isEmpty(), qPrintable(line)); // the targets come last
        const QRegularExpressionMatch match = figure.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        names.append(match.captured(1));
    }
    QStringList expected{"load_ms",
                         "save_ms",
                         "save_first_ms",
                         "merge_10_changes_ms",
                         "guard_save_first_of_day_ms",
                         "guard_save_ms",
                         "save_lock_ms",
                         "open_ms",
                         "refresh_ms",
                         "copy_sync_first_ms",
                         "add_ms",
                         "change_first_ms",
                         "delete_1000_ms",
                         "delete_all_ms",
                         "undo_delete_all_ms",
                         "change_add_ms",
                         "change_edit_ms",
                         "change_delete_one_ms",
                         "change_delete_10000_ms",
                         "change_undo_ms",
                         "change_merge_ms",
                         "longest_frame_in_change_ms",
                         "overview_refresh_500_ms",
                         "purge_all_ms",
                         "import_csv_ms",
                         "chart_500_ms",
                         "file_mb",
                         "copy_ms",
                         "copy_sync_ms",
                         "bus_add_first_ms",
                         "bus_add_ms",
                         "peak_rss_mb",
                         "log_memory_mb"};
    if (!QStandardPaths::findExecutable("xmllint").isEmpty())
        expected.insert(expected.indexOf("copy_ms"), "xmllint_ms");
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
        expected.removeAll("bus_add_first_ms");
        expected.removeAll("bus_add_ms");
    }
    QCOMPARE(names, expected);
    for (const char *name : {"load_ms", "save_ms", "refresh_ms", "chart_500_ms", "log_memory_mb"})
        QVERIFY2(targeted.contains(name), name);
    // A small log is held to the targets of its size only.
    QVERIFY(!targeted.contains("change_add_ms"));
    if (names.contains("bus_add_ms"))
        QVERIFY(targeted.contains("bus_add_ms"));
}

QTEST_GUILESS_MAIN(TestBench)
#include "tst_bench.moc"
