#include "BatteryHealth.h"
#include "ChargeLog.h"

#include <QtTest>

#include <cmath>

using namespace BatteryHealth;

namespace {

const double Day0 = 46000.0; // 2025-12-09
const double Now = Day0 + 100.0;

struct Rec
{
    double DateTime;
    double Amps;
    double AmpHours;
    QString Termination = QStringLiteral("Normal");
};
using Recs = QVector<Rec>;

void store(TChargeLog &log, const QString &battery, const Recs &recs)
{
    for (const Rec &r : recs)
        log.StoreChargeRecord(-1, r.DateTime, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              battery, r.Amps, r.AmpHours, r.Termination, QString(), QString());
}

// A charge of 2 Ah each morning, and a discharge at noon that gives `capacity(k)` back.
template <typename Capacity> Recs cycles(int n, Capacity capacity, double step = 1.0)
{
    Recs recs;
    for (int k = 0; k < n; ++k) {
        recs.append({Day0 + k * step, 1.0, 2.0});
        recs.append({Day0 + k * step + 0.5, -1.0, -capacity(k)});
    }
    return recs;
}

QVariant v(const Figure &f)
{
    return f ? QVariant(*f) : QVariant();
}

bool allFinite(const TBatteryFigures &f)
{
    for (const Figure &x : {f.AhCharged, f.AhDischarged, f.Efficiency, f.FirstDateTime,
                            f.LastDateTime, f.DaysSinceLast, f.Reference, f.Latest,
                            f.RetentionPercent, f.TrendPer100Cycles, f.TrendPerYear, f.EndOfLife})
        if (x && !std::isfinite(*x))
            return false;
    return true;
}

void compareFigure(const QVariant &actual, const QVariant &expected, const char *name)
{
    if (!expected.isValid()) {
        QVERIFY2(!actual.isValid(), qPrintable(QStringLiteral("%1 should be absent, is %2")
                                                   .arg(QLatin1String(name))
                                                   .arg(actual.toDouble(), 0, 'g', 17)));
        return;
    }
    QVERIFY2(actual.isValid(), qPrintable(QStringLiteral("%1 is absent").arg(QLatin1String(name))));
    QVERIFY2(std::fabs(actual.toDouble() - expected.toDouble()) <=
                 1e-9 * std::max(1.0, std::fabs(expected.toDouble())),
             qPrintable(QStringLiteral("%1: %2, expected %3")
                            .arg(QLatin1String(name))
                            .arg(actual.toDouble(), 0, 'g', 17)
                            .arg(expected.toDouble(), 0, 'g', 17)));
}

} // namespace

class TestBatteryHealth : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void figures_data();
    void figures();
    void terminationsAndFilters();
    void orderAndLookup();
    void fitLine();
};

void TestBatteryHealth::figures_data()
{
    QTest::addColumn<Recs>("recs");
    // Cycles, charges, discharges, then the figures in the order of `names` below.
    QTest::addColumn<QVector<int>>("counts");
    QTest::addColumn<QVariantList>("expected");
    const QVariant none;

    // Each discharge gives 0.02 Ah (1% of the first) less than the one before, a week apart.
    {
        const Recs recs = cycles(
            10, [](int k) { return 2.0 * (1 - 0.01 * k); }, 7.0);
        const double reference = (2.0 + 1.98 + 1.96) / 3, latest = (1.86 + 1.84 + 1.82) / 3;
        // The line is 2 - 0.02 (t - first discharge) / 7; it reaches 80% of the reference then.
        const double endOfLife = Day0 + 0.5 + (2.0 - 0.8 * reference) / 0.02 * 7;
        QTest::newRow("losing 1% per cycle") << recs << QVector<int>{20, 10, 10, 3, 3, 10}
                                             << QVariantList{20.0,
                                                             19.1,
                                                             19.1 / 20.0,
                                                             Day0,
                                                             Day0 + 63.5,
                                                             Now - Day0 - 63.5,
                                                             reference,
                                                             latest,
                                                             latest / reference * 100,
                                                             -0.02 * 100 / reference * 100,
                                                             -0.02 / 7 * 365.25 / reference * 100,
                                                             endOfLife};
    }
    QTest::newRow("steady pack") << cycles(
                                        6, [](int) { return 1.5; }, 7.0)
                                 << QVector<int>{12, 6, 6, 3, 3, 6}
                                 << QVariantList{
                                        12.0, 9.0, 0.75,  Day0, Day0 + 35.5, Now - Day0 - 35.5,
                                        1.5,  1.5, 100.0, 0.0,  0.0,         none};
    QTest::newRow("rising capacity has no end of life")
        << cycles(
               5, [](int k) { return 1.0 + 0.1 * k; }, 8.0)
        << QVector<int>{10, 5, 5, 3, 3, 5}
        << QVariantList{10.0,
                        6.0,
                        0.6,
                        Day0,
                        Day0 + 32.5,
                        Now - Day0 - 32.5,
                        1.1,
                        1.3,
                        1.3 / 1.1 * 100,
                        0.1 * 100 / 1.1 * 100,
                        0.1 / 8 * 365.25 / 1.1 * 100,
                        none};
    // Too few discharges, or too close together, for retention, trends and an end of life: four
    // discharges in a few days made "827.5% per 100 cycles".
    QTest::newRow("three discharges are too few for trends")
        << cycles(
               3, [](int k) { return 2.0 - 0.1 * k; }, 20.0)
        << QVector<int>{6, 3, 3, 3, 3, 0}
        << QVariantList{6.0, 5.7, 0.95, Day0, Day0 + 40.5, Now - Day0 - 40.5,
                        1.9, 1.9, none, none, none,        none};
    QTest::newRow("six discharges within a week are too close")
        << cycles(6, [](int k) { return 2.0 - 0.1 * k; }) << QVector<int>{12, 6, 6, 3, 3, 0}
        << QVariantList{12.0, 10.5, 10.5 / 12.0, Day0, Day0 + 5.5, Now - Day0 - 5.5,
                        1.9,  1.6,  none,        none, none,       none};
    QTest::newRow("one discharge only")
        << Recs{{Day0, -0.5, -1.25}} << QVector<int>{1, 0, 1, 1, 1, 0}
        << QVariantList{0.0,  1.25, none, Day0, Day0, Now - Day0,
                        1.25, 1.25, none, none, none, none};
    QTest::newRow("charges only") << Recs{{Day0, 1, 2}, {Day0 + 1, 1, 3}}
                                  << QVector<int>{2, 2, 0, 0, 0, 0}
                                  // Never discharged: no efficiency (not 0%).
                                  << QVariantList{5.0,  0.0,  none, Day0, Day0 + 1, Now - Day0 - 1,
                                                  none, none, none, none, none,     none};
    QTest::newRow("all amp-hours zero")
        << Recs{{Day0, 1, 0}, {Day0 + 2, -1, 0}} << QVector<int>{0, 0, 0, 0, 0, 0}
        << QVariantList{0.0,  0.0,  none, Day0, Day0 + 2, Now - Day0 - 2,
                        none, none, none, none, none,     none};
    // Positive amp-hours at 0 amps count as a discharge, as the chart counts them.
    QTest::newRow("equal date-times")
        << Recs{{Day0, 0, 2.0}, {Day0, -1, -1.8}, {Day0, -1, -1.6}, {Day0, -1, -1.4}}
        << QVector<int>{4, 0, 4, 3, 3, 0}
        << QVariantList{0.0, 6.8, none, Day0, Day0, Now - Day0, 1.8, 1.6, none, none, none, none};
    QTest::newRow("no records") << Recs{} << QVector<int>{0, 0, 0, 0, 0, 0}
                                << QVariantList{0.0,  0.0,  none, none, none, none,
                                                none, none, none, none, none, none};
    // Sums too large for a double are absent, not infinite.
    QTest::newRow("overflowing sums")
        << Recs{{Day0, 1, 1e308}, {Day0, 1, 1e308}, {Day0 + 1, -1, -1e308}, {Day0 + 1, -1, -1e308}}
        << QVector<int>{4, 2, 2, 2, 2, 0}
        << QVariantList{none,  none,  none, Day0, Day0 + 1, Now - Day0 - 1,
                        1e308, 1e308, none, none, none,     none};
}

void TestBatteryHealth::figures()
{
    QFETCH(Recs, recs);
    QFETCH(QVector<int>, counts);
    QFETCH(QVariantList, expected);
    TChargeLog log;
    store(log, QStringLiteral("Pack"), recs);
    const QVector<TBatteryFigures> all = overview(log, Now);
    QCOMPARE(all.size(), recs.isEmpty() ? 0 : 1);
    if (recs.isEmpty()) {
        // A battery name without records still gets its row of figures.
        log.BatteriesStringList.append(QStringLiteral("Pack"));
    }
    const std::optional<TBatteryFigures> one = battery(log, QStringLiteral("pack"), Now);
    QVERIFY(one);
    const TBatteryFigures &f = *one;
    QVERIFY(allFinite(f));
    QCOMPARE(f.Battery, QStringLiteral("Pack"));
    QCOMPARE((QVector<int>{f.Cycles, f.Charges, f.Discharges, f.ReferenceCount, f.LatestCount,
                           f.TrendCount}),
             counts);
    const QVariantList actual{v(f.AhCharged),         v(f.AhDischarged), v(f.Efficiency),
                              v(f.FirstDateTime),     v(f.LastDateTime), v(f.DaysSinceLast),
                              v(f.Reference),         v(f.Latest),       v(f.RetentionPercent),
                              v(f.TrendPer100Cycles), v(f.TrendPerYear), v(f.EndOfLife)};
    const char *const names[] = {"AhCharged",         "AhDischarged", "Efficiency",
                                 "FirstDateTime",     "LastDateTime", "DaysSinceLast",
                                 "Reference",         "Latest",       "RetentionPercent",
                                 "TrendPer100Cycles", "TrendPerYear", "EndOfLife"};
    for (int i = 0; i < actual.size(); ++i) {
        compareFigure(actual.at(i), expected.at(i), names[i]);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(f.Capacity.size(), f.Discharges);
    QCOMPARE(f.ChargesAh.size(), f.Charges);
    if (!all.isEmpty()) {
        QCOMPARE(all.first().Capacity.size(), f.Capacity.size());
        compareFigure(v(all.first().EndOfLife), v(f.EndOfLife), "overview EndOfLife");
    }
}

void TestBatteryHealth::terminationsAndFilters()
{
    TChargeLog log;
    store(log, QStringLiteral("A"),
          {{Day0, 1, 2, QStringLiteral("Interrupted")},
           {Day0 + 1, 1, 2, QStringLiteral("Error")},
           {Day0 + 2, 1, 2, QStringLiteral("interrupted")},
           {Day0 + 3, -1, -1.5, QStringLiteral("Normal")}});
    store(log, QStringLiteral("B"), {{Day0, 1, 1, QStringLiteral("Custom")}});
    store(log, QStringLiteral("C"), {{Day0, 1, 1}});
    QVector<TBatteryFigures> all = overview(log, Now);
    QCOMPARE(all.size(), 3);
    const QVector<QPair<QString, int>> expected{{QStringLiteral("Normal"), 1},
                                                {QStringLiteral("Interrupted"), 2},
                                                {QStringLiteral("Error"), 1},
                                                {QStringLiteral("Custom"), 0}};
    QCOMPARE(all.at(0).Terminations, expected);
    QCOMPARE(all.at(1).Terminations.last(), qMakePair(QStringLiteral("Custom"), 1));

    // A marked termination hides its records; a marked battery leaves the list.
    log.TerminationsStringList.setMarked(
        log.TerminationsStringList.indexOf(QStringLiteral("Error")), true);
    log.BatteriesStringList.setMarked(log.BatteriesStringList.indexOf(QStringLiteral("B")), true);
    all = overview(log, Now);
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.at(0).Battery, QStringLiteral("A"));
    QCOMPARE(all.at(1).Battery, QStringLiteral("C"));
    QCOMPARE(all.at(0).Charges, 2);
    QCOMPARE(*all.at(0).AhCharged, 4.0);
    QVERIFY(!battery(log, QStringLiteral("B"), Now));
    QVERIFY(!battery(log, QStringLiteral("nobody"), Now));
}

void TestBatteryHealth::orderAndLookup()
{
    // Records added out of date order are taken in date order, equal date-times as listed.
    TChargeLog log;
    store(log, QStringLiteral("A"),
          {{Day0 + 50, -1, -1.0},
           {Day0, -1, -2.0},
           {Day0 + 50, -1, -0.5},
           {Day0 + 10, -1, -1.5},
           {Day0 + 60, -1, -0.25}});
    QVERIFY(!log.ChargeStringList.isSortedByDateTime());
    const TBatteryFigures f = *battery(log, QStringLiteral("a"), Now);
    QVector<double> capacity;
    for (const TRecordPoint &p : f.Capacity)
        capacity.append(p.AmpHours);
    QCOMPARE(capacity, (QVector<double>{2.0, 1.5, 1.0, 0.5, 0.25}));
    QCOMPARE(f.Capacity.first().Key, 2);
    QCOMPARE(*f.FirstDateTime, Day0);
    QCOMPARE(*f.LastDateTime, Day0 + 60);
    QVERIFY(f.EndOfLife);
}

void TestBatteryHealth::fitLine()
{
    QVERIFY(!BatteryHealth::fitLine({1}, {2}));
    QVERIFY(!BatteryHealth::fitLine({3, 3, 3}, {1, 2, 3}));
    const auto line = BatteryHealth::fitLine({46000, 46001, 46002, 46003}, {4, 3.5, 3.1, 2.4});
    QVERIFY(line);
    QVERIFY(std::fabs(line->Slope - (-0.52)) < 1e-9);
    QVERIFY(std::fabs(line->at(46001.5) - 3.25) < 1e-9);
}

QTEST_GUILESS_MAIN(TestBatteryHealth)
#include "tst_batteryhealth.moc"
