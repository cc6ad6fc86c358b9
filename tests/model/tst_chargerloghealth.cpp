#include "ChargeLog.h"
#include "ChargerLogDollar.h"
#include "ChargerLogHealth.h"

#include <QtTest>

using namespace ChargerLogHealth;

namespace {

const QString Data = QStringLiteral(QORLOG_TEST_DATA "/charger-logs");

// ch1 with one internal-resistance reading of `total` mΩ at its end.
QByteArray withResistance(int total)
{
    QFile f(Data + QStringLiteral("/dollar-storage-ch1.txt"));
    f.open(QIODevice::ReadOnly);
    QByteArray bytes = f.readAll();
    bytes += ChargerLog::TDollarLineParser::withChecksum(
                 "$1;128;600000;" + QByteArray::number(total) + ";7;7;7;7;7;7;0;0;0;0;1") +
             "\r\n";
    return bytes;
}

} // namespace

class TestChargerLogHealth : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void logsOfRecords();
    void pointsAndLatest();
    void readerDeliversEveryLogOnce();
};

// Which records count, in which order, and where a relative name points.
void TestChargerLogHealth::logsOfRecords()
{
    TChargeLog log;
    const auto store = [&](double at, const QString &battery, const QString &file) {
        return log.StoreChargeRecord(-1, at, QStringLiteral("PSU"), QStringLiteral("C1"), battery,
                                     1, 1, QStringLiteral("Normal"), QStringLiteral("c"), file);
    };
    const qint32 late = store(46010, QStringLiteral("Pack"), QStringLiteral("b.txt"));
    store(46005, QStringLiteral("Pack"), QString()); // names no log
    const qint32 early = store(46001, QStringLiteral("pack"), QStringLiteral("/abs/a.txt"));
    const qint32 other = store(46003, QStringLiteral("Other"), QStringLiteral("sub/c.txt"));
    const QString logPath = QStringLiteral("/home/u/log/charges.xml");

    const QVector<TLogRef> pack = logsOf(log, logPath, QStringLiteral("PACK"));
    QCOMPARE(pack.size(), 2);
    QCOMPARE(pack.at(0).Key, early); // date-time order, and "pack" counts for "Pack"
    QCOMPARE(pack.at(0).Battery, QStringLiteral("Pack"));
    QCOMPARE(pack.at(0).Path, QStringLiteral("/abs/a.txt"));
    QCOMPARE(pack.at(1).Key, late);
    QCOMPARE(pack.at(1).Path, QStringLiteral("/home/u/log/b.txt"));

    QCOMPARE(logsOf(log, logPath).size(), 3);
    QCOMPARE(logsOf(log, logPath, QStringLiteral("Nobody")).size(), 0);
    // A battery hidden by the filter gives nothing, as its figures give nothing.
    log.BatteriesStringList.setMarked(log.BatteriesStringList.indexOf(QStringLiteral("Other")),
                                      true);
    const QVector<TLogRef> shown = logsOf(log, logPath);
    QCOMPARE(shown.size(), 2);
    for (const TLogRef &ref : shown)
        QVERIFY(ref.Key != other);
}

void TestChargerLogHealth::pointsAndLatest()
{
    const TLogRef ref{QStringLiteral("Pack"), 46000, 7, QString()};
    ChargerLog::TChargerLogFigures charged =
        ChargerLog::figures(ChargerLog::read(withResistance(42), QStringLiteral("ch1")));
    TPoint point = pointOf(ref, charged);
    QCOMPARE(point.Key, 7);
    QVERIFY(point.CellSpread);
    QCOMPARE(*point.CellSpread, 1.0);
    QVERIFY(point.Resistance);
    QCOMPARE(*point.Resistance, 42.0);

    // A discharge's log has no spread at the end of a charge.
    QFile f(Data + QStringLiteral("/titled-analyser-aa.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const TPoint discharged =
        pointOf(ref, ChargerLog::figures(ChargerLog::read(f.readAll(), QStringLiteral("aa"))));
    QVERIFY(!discharged.hasFigures());

    TPoint older = point, newer = point, spreadOnly = point;
    older.DateTime = 45000;
    older.Resistance = 30.0;
    newer.DateTime = 47000;
    newer.Resistance.reset();
    newer.CellSpread = 12.5;
    const TLatest last = latest({newer, older, point});
    QCOMPARE(*last.CellSpread, 12.5);
    QCOMPARE(*last.Resistance, 42.0); // the newest record that has a resistance
    QVERIFY(!latest({}).CellSpread);
}

// Every log's point comes once, a missing file gives an empty point, a restart drops the old
// run, and the second reading comes from the cache.
void TestChargerLogHealth::readerDeliversEveryLogOnce()
{
    QTemporaryDir dir;
    QVector<TLogRef> refs;
    for (int i = 0; i < 40; ++i) {
        const QString path = dir.filePath(QStringLiteral("log%1.txt").arg(i));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(withResistance(40 + i));
        f.close();
        refs.append({QStringLiteral("Pack"), 46000.0 + i, qint32(i + 1), path});
    }
    refs.append({QStringLiteral("Pack"), 46100, 99, dir.filePath(QStringLiteral("gone.txt"))});

    ChargerLog::TFiguresCache cache;
    TChargerLogHealthReader reader(nullptr, &cache);
    QMap<qint32, TPoint> seen;
    int deliveries = 0;
    connect(&reader, &TChargerLogHealthReader::pointsRead, this,
            [&](const QVector<TPoint> &points) {
                ++deliveries;
                for (const TPoint &p : points) {
                    QVERIFY(!seen.contains(p.Key));
                    seen.insert(p.Key, p);
                }
            });
    QSignalSpy finished(&reader, &TChargerLogHealthReader::finished);
    reader.start(refs.mid(0, 10));
    reader.start(refs); // before the first run handed anything over
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(seen.size(), refs.size());
    QCOMPARE(reader.done(), int(refs.size()));
    QVERIFY(!reader.isRunning());
    QVERIFY(deliveries >= 1);
    QCOMPARE(*seen.value(5).Resistance, 44.0);
    QVERIFY(!seen.value(99).hasFigures());
    QCOMPARE(cache.size(), int(refs.size()));

    seen.clear();
    reader.start(refs);
    QVERIFY(finished.wait(10000));
    QCOMPARE(seen.size(), refs.size());
    QCOMPARE(cache.size(), int(refs.size()));
}

QTEST_GUILESS_MAIN(TestChargerLogHealth)
#include "tst_chargerloghealth.moc"
