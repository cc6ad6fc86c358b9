// The battery cards in the log file, against the rating, and the due rules.

#include "BatteryCards.h"
#include "BatteryCardsMerge.h"
#include "BatteryDue.h"
#include "BatteryHealth.h"
#include "ChargeLog.h"
#include "LogFile.h"
#include "LogMerge.h"
#include "ModelTestHelpers.h"

#include <QtTest>

namespace {

const double Day0 = 46000.0; // 2025-12-09
const double Now = Day0 + 400.0;

struct Rec
{
    double Day; // days before Now
    double Amps;
    double AmpHours;
};

void store(TChargeLog &log, const QString &battery, const QVector<Rec> &recs)
{
    for (const Rec &r : recs)
        log.StoreChargeRecord(-1, Now - r.Day, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              battery, r.Amps, r.AmpHours, QStringLiteral("Normal"), QString(),
                              QString());
}

TBatteryCard fullCard()
{
    TBatteryCard card;
    card.Name = QStringLiteral("Pack <1> & \"2\"");
    card.RatedCapacity = 2.2;
    card.Cells = 3;
    card.Chemistry = TChemistry::LiIon;
    card.RatedCycles = 300;
    card.Bought = Day0 + 0.5;
    card.Label = QStringLiteral("SN-0042\r\nline two");
    card.State = TBatteryState::Stored;
    card.Note = QStringLiteral("Grün, ø 18 mm");
    return card;
}

TChargeLog readBack(const QByteArray &xml, LogFile::ReadMode mode = LogFile::ReadMode::InOnePass)
{
    TChargeLog log;
    LogFile::ReadChargeLog(xml, log, QStringLiteral("test"), {}, mode);
    return log;
}

// Cards from "A:1 B:2": each a name and its number of cells.
TBatteryCards cardsOf(const QString &text)
{
    TBatteryCards cards;
    for (const QString &item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        TBatteryCard card;
        card.Name = item.section(QLatin1Char(':'), 0, 0);
        card.Cells = item.section(QLatin1Char(':'), 1).toInt();
        cards.set(card);
    }
    return cards;
}

QString textOf(const TBatteryCards &cards)
{
    QStringList items;
    for (const TBatteryCard &card : cards.cards())
        items << QStringLiteral("%1:%2").arg(card.Name).arg(card.Cells);
    items.sort();
    return items.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(QVector<Rec>)

class TestBatteryCards : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void logWithoutCardsIsUnchanged();
    void cardsDoNotDisturbCharges_data();
    void cardsDoNotDisturbCharges();
    void badCardNumberIsDamage();
    void againstRating();
    void dueRules_data();
    void dueRules();
    void finalVoltage_data();
    void finalVoltage();
    void threeWayMerge_data();
    void threeWayMerge();
    void copyMerge();
    void mergeOfLogsCarriesCards();
};

void TestBatteryCards::roundTrip_data()
{
    QTest::addColumn<bool>("manyCharges");
    QTest::addColumn<int>("mode");
    QTest::newRow("small") << false << int(LogFile::ReadMode::InOnePass);
    // Big enough to be read in two halves: the cards are in the second one.
    QTest::newRow("two halves") << true << int(LogFile::ReadMode::InTwoHalves);
}

void TestBatteryCards::roundTrip()
{
    QFETCH(bool, manyCharges);
    QFETCH(int, mode);
    TChargeLog log;
    store(log, QStringLiteral("A"), {{10, 1, 2}});
    if (manyCharges)
        for (int i = 0; i < 3000; ++i)
            store(log, QStringLiteral("B"), {{double(i) / 10, 1, 1.5}});
    TBatteryCard bare;
    bare.Name = QStringLiteral("Bare");
    bare.State = TBatteryState::Retired;
    log.Cards.set(fullCard());
    log.Cards.set(bare);
    log.Cards.Due.UnusedDays = 60;
    log.Cards.Due.TestCycles = 0;
    const QByteArray xml = LogFile::WriteChargeLog(log);
    QVERIFY(xml.indexOf("</Charges>") < xml.indexOf("<Batteries"));

    const TChargeLog back = readBack(xml, LogFile::ReadMode(mode));
    QCOMPARE(back.Cards, log.Cards);
    QCOMPARE(ModelTestHelpers::describeCharges(back), ModelTestHelpers::describeCharges(log));
    QCOMPARE(back.Cards.find(QStringLiteral("bare"))->State, TBatteryState::Retired);
    TChargeLog again = back;
    QCOMPARE(LogFile::WriteChargeLog(again), xml);
}

void TestBatteryCards::logWithoutCardsIsUnchanged()
{
    TChargeLog log;
    store(log, QStringLiteral("A"), {{10, 1, 2}});
    const QByteArray before = LogFile::WriteChargeLog(log);
    QVERIFY(!before.contains("Batteries"));
    // A card made and taken away again leaves the file as it was.
    TBatteryCard card = fullCard();
    log.Cards.set(card);
    QVERIFY(LogFile::WriteChargeLog(log).contains("<Batteries"));
    log.Cards.remove(card.Name);
    QCOMPARE(LogFile::WriteChargeLog(log), before);
    // Only settings that differ from the defaults still make the element, empty.
    log.Cards.Due.LeftFullDays = 5;
    const QByteArray settings = LogFile::WriteChargeLog(log);
    QVERIFY(settings.contains("LeftFullDays=\"5\""));
    QVERIFY(settings.contains("/>"));
    QCOMPARE(readBack(settings).Cards.Due.LeftFullDays, 5);
}

void TestBatteryCards::cardsDoNotDisturbCharges_data()
{
    QTest::addColumn<QByteArray>("batteries");
    const QByteArray element =
        "<Batteries UnusedDays=\"7\"><Battery><Name>A</Name><Cells>2</Cells>"
        "<Chemistry>LiFePO4</Chemistry><Colour>red</Colour></Battery>"
        "<Battery><Name>  </Name><Cells>4</Cells></Battery>"
        "<Battery><Name>B</Name><Chemistry>Unobtainium</Chemistry><State>Lost</State>"
        "</Battery></Batteries>";
    QTest::newRow("none") << QByteArray();
    QTest::newRow("after the charges") << element;
    QTest::newRow("before the charges") << element;
}

void TestBatteryCards::cardsDoNotDisturbCharges()
{
    QFETCH(QByteArray, batteries);
    const QByteArray charges =
        "<Charges><Charge><DateTime>46000.5</DateTime><Battery>A</Battery>"
        "<NominalChargeAmps>1</NominalChargeAmps><AmpHours>2</AmpHours></Charge></Charges>";
    const bool before = QByteArray(QTest::currentDataTag()) == "before the charges";
    const QByteArray xml = "<?xml version=\"1.0\"?><Log><ApplicationData/>" +
                           (before ? batteries + charges : charges + batteries) + "</Log>";
    const TChargeLog log = readBack(xml);
    QCOMPARE(log.ChargeStringList.count(), 1);
    QCOMPARE(log.ChargeStringList.record(0).AmpHours, 2.0);
    if (batteries.isEmpty()) {
        QVERIFY(log.Cards.isEmpty());
        return;
    }
    // A card without a name is no card; unknown values and fields do no harm.
    QCOMPARE(log.Cards.cards().size(), 2);
    QCOMPARE(log.Cards.find(QStringLiteral("a"))->Chemistry, TChemistry::LiFePO4);
    QCOMPARE(log.Cards.find(QStringLiteral("a"))->Cells, 2);
    QCOMPARE(log.Cards.find(QStringLiteral("B"))->Chemistry, TChemistry::Other);
    QCOMPARE(log.Cards.find(QStringLiteral("B"))->State, TBatteryState::InUse);
    QCOMPARE(log.Cards.Due.UnusedDays, 7);
    QCOMPARE(log.Cards.Due.TestDays, TDueSettings().TestDays);
}

void TestBatteryCards::badCardNumberIsDamage()
{
    const QByteArray xml = "<Log><Charges/><Batteries><Battery><Name>A</Name>"
                           "<RatedCapacity>two</RatedCapacity></Battery></Batteries></Log>";
    TChargeLog log;
    QVERIFY_THROWS_EXCEPTION(QorLogError, LogFile::ReadChargeLog(xml, log, QStringLiteral("test")));
    QVERIFY(log.Cards.isEmpty());
}

void TestBatteryCards::againstRating()
{
    // Six discharges over 60 days, from 1.8 Ah down to 1.3 Ah: weak from the start.
    TChargeLog log;
    QVector<Rec> recs;
    for (int i = 0; i < 6; ++i)
        recs.append({100.0 - 12 * i, -1, -(1.8 - 0.1 * i)});
    store(log, QStringLiteral("P"), recs);
    const auto figures = [&log] { return *BatteryHealth::battery(log, QStringLiteral("P"), Now); };
    const BatteryHealth::TBatteryFigures own = figures();
    QVERIFY(!own.AgainstRating());
    QCOMPARE(qRound(*own.RetentionPercent), 82); // 1.4 of 1.7

    TBatteryCard card;
    card.Name = QStringLiteral("p");
    card.RatedCapacity = 2.0;
    log.Cards.set(card);
    const BatteryHealth::TBatteryFigures rated = figures();
    QVERIFY(rated.AgainstRating());
    QCOMPARE(*rated.Reference, 2.0);
    QCOMPARE(qRound(*rated.RetentionPercent), 70); // 1.4 of 2.0
    // The end of life is where the trend reaches 80% of the rating: behind already.
    QVERIFY(*rated.EndOfLife < *own.EndOfLife);
    QVERIFY(*rated.EndOfLife < Now);
    QVERIFY(rated.Due.contains(QStringLiteral("end of life near")));
}

void TestBatteryCards::dueRules_data()
{
    QTest::addColumn<int>("chemistry");
    QTest::addColumn<int>("ratedCycles");
    QTest::addColumn<int>("state");
    QTest::addColumn<QVector<Rec>>("records");
    QTest::addColumn<QStringList>("due");
    const int lipo = int(TChemistry::LiPo), nimh = int(TChemistry::NiMH);
    const int none = int(TChemistry::Unknown);
    const int inUse = int(TBatteryState::InUse), retired = int(TBatteryState::Retired);
    const QString test = QStringLiteral("capacity test due");
    const QString eol = QStringLiteral("end of life near");

    QTest::newRow("lithium left full 5 days")
        << lipo << 0 << inUse << QVector<Rec>{{20, -1, -1}, {5.2, 1, 1}}
        << QStringList{QStringLiteral("left full for 5 days: charge to storage")};
    QTest::newRow("lithium full 3 days is fine")
        << lipo << 0 << inUse << QVector<Rec>{{20, -1, -1}, {3, 1, 1}} << QStringList();
    QTest::newRow("discharged after the charge")
        << lipo << 0 << inUse << QVector<Rec>{{10, 1, 1}, {9, -1, -1}} << QStringList();
    QTest::newRow("nickel left full")
        << nimh << 0 << inUse << QVector<Rec>{{20, -1, -1}, {10, 1, 1}} << QStringList();
    QTest::newRow("no chemistry left full")
        << none << 0 << inUse << QVector<Rec>{{20, -1, -1}, {10, 1, 1}} << QStringList();
    QTest::newRow("unused 91 days") << nimh << 0 << inUse << QVector<Rec>{{100, 1, 1}, {91, -1, -1}}
                                    << QStringList{QStringLiteral("unused since 2026-10-14")};
    QTest::newRow("unused 90 days is fine")
        << nimh << 0 << inUse << QVector<Rec>{{100, 1, 1}, {90, -1, -1}} << QStringList();
    QTest::newRow("lithium full and unused")
        << lipo << 0 << inUse << QVector<Rec>{{150, -1, -1}, {100, 1, 1}}
        << QStringList{QStringLiteral("left full for 100 days: charge to storage"),
                       QStringLiteral("unused since 2026-10-05")};
    QVector<Rec> cycles;
    for (int i = 0; i < 120; ++i)
        cycles.append({60.0 - i * 0.4, i % 2 ? -1.0 : 1.0, i % 2 ? -1.0 : 1.0});
    QTest::newRow("80% of rated cycles") << nimh << 150 << inUse << cycles << QStringList{eol};
    QTest::newRow("below 80% of rated cycles") << nimh << 151 << inUse << cycles << QStringList();
    QVector<Rec> charges;
    for (int i = 0; i < 50; ++i)
        charges.append({60.0 - i, 1, 1});
    QTest::newRow("50 cycles without a discharge")
        << nimh << 0 << inUse << charges << QStringList{test};
    charges.removeFirst();
    QTest::newRow("49 cycles without a discharge")
        << nimh << 0 << inUse << charges << QStringList();
    QTest::newRow("no discharge for 181 days")
        << nimh << 0 << inUse << QVector<Rec>{{181, -1, -1}, {10, 1, 1}} << QStringList{test};
    QTest::newRow("never discharged, first 181 days ago")
        << nimh << 0 << inUse << QVector<Rec>{{181, 1, 1}, {10, 1, 1}} << QStringList{test};
    QTest::newRow("retired needs nothing")
        << lipo << 10 << retired << QVector<Rec>{{300, -1, -1}, {200, 1, 1}} << QStringList();
}

void TestBatteryCards::dueRules()
{
    QFETCH(int, chemistry);
    QFETCH(int, ratedCycles);
    QFETCH(int, state);
    QFETCH(QVector<Rec>, records);
    QFETCH(QStringList, due);
    TChargeLog log;
    store(log, QStringLiteral("P"), records);
    TBatteryCard card;
    card.Name = QStringLiteral("P");
    card.Chemistry = TChemistry(chemistry);
    card.RatedCycles = ratedCycles;
    card.State = TBatteryState(state);
    log.Cards.set(card);
    QCOMPARE(BatteryHealth::battery(log, QStringLiteral("P"), Now)->Due, due);
}

void TestBatteryCards::finalVoltage_data()
{
    QTest::addColumn<int>("chemistry");
    QTest::addColumn<int>("cells");
    QTest::addColumn<double>("volts");
    QTest::addColumn<QString>("check");
    const int lipo = int(TChemistry::LiPo);
    QTest::newRow("full") << lipo << 3 << 12.6 << QStringLiteral("4.20 V per cell: full");
    QTest::newRow("over") << lipo << 3 << 12.93
                          << QStringLiteral("4.31 V per cell: above full (4.20 V)");
    QTest::newRow("storage") << lipo << 2 << 7.62 << QStringLiteral("3.81 V per cell: storage");
    QTest::newRow("low") << int(TChemistry::LiFePO4) << 4 << 12.4
                         << QStringLiteral("3.10 V per cell: below storage (3.30 V)");
    QTest::newRow("no cells") << lipo << 0 << 12.6 << QString();
    QTest::newRow("other chemistry") << int(TChemistry::Other) << 3 << 12.6 << QString();
}

void TestBatteryCards::finalVoltage()
{
    QFETCH(int, chemistry);
    QFETCH(int, cells);
    QFETCH(double, volts);
    QFETCH(QString, check);
    TBatteryCard card;
    card.Name = QStringLiteral("P");
    card.Chemistry = TChemistry(chemistry);
    card.Cells = cells;
    QCOMPARE(BatteryCards::finalVoltageCheck(card, volts), check);
}

void TestBatteryCards::threeWayMerge_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("memory");
    QTest::addColumn<QString>("merged");
    QTest::addColumn<int>("changed");
    QTest::addColumn<int>("conflicts");
    QTest::newRow("nothing changed") << "A:1"
                                     << "A:1"
                                     << "A:1"
                                     << "A:1" << 0 << 0;
    QTest::newRow("edited there") << "A:1"
                                  << "A:2"
                                  << "A:1"
                                  << "A:2" << 1 << 0;
    QTest::newRow("edited here") << "A:1"
                                 << "A:1"
                                 << "A:3"
                                 << "A:3" << 0 << 0;
    QTest::newRow("added on both sides") << ""
                                         << "B:1"
                                         << "C:1"
                                         << "B:1 C:1" << 1 << 0;
    QTest::newRow("removed there") << "A:1 B:1"
                                   << "B:1"
                                   << "A:1 B:1"
                                   << "B:1" << 1 << 0;
    QTest::newRow("removed here, edited there") << "A:1"
                                                << "A:2"
                                                << ""
                                                << "" << 0 << 1;
    QTest::newRow("same edit on both") << "A:1"
                                       << "A:2"
                                       << "A:2"
                                       << "A:2" << 0 << 0;
    QTest::newRow("edited on both sides") << "A:1"
                                          << "A:2"
                                          << "A:3"
                                          << "A:3" << 0 << 1;
    QTest::newRow("names match in any case") << "A:1"
                                             << "a:2"
                                             << "A:1"
                                             << "a:2" << 1 << 0;
}

void TestBatteryCards::threeWayMerge()
{
    QFETCH(QString, base);
    QFETCH(QString, disk);
    QFETCH(QString, memory);
    QFETCH(QString, merged);
    QFETCH(int, changed);
    QFETCH(int, conflicts);
    const TBatteryCards mine = cardsOf(memory);
    const BatteryCardsMerge::TResult result =
        BatteryCardsMerge::threeWay(cardsOf(base), cardsOf(disk), mine);
    QCOMPARE(textOf(result.Cards.value_or(mine)), merged);
    QCOMPARE(result.Changed, changed);
    QCOMPARE(result.Conflicts.size(), conflicts);
    QCOMPARE(result.Cards.has_value(), changed > 0);
}

void TestBatteryCards::copyMerge()
{
    // With no base: what only the copy has comes in, what differs stays as here, said so.
    const BatteryCardsMerge::TResult result = BatteryCardsMerge::copy(
        cardsOf(QStringLiteral("A:2 B:1 C:5")), cardsOf(QStringLiteral("A:1 C:5 D:1")));
    QCOMPARE(textOf(*result.Cards), QStringLiteral("A:1 B:1 C:5 D:1"));
    QCOMPARE(result.Changed, 1);
    QCOMPARE(result.Conflicts.size(), 1);
    QVERIFY(result.Conflicts.first().contains(QLatin1String("A")));
}

void TestBatteryCards::mergeOfLogsCarriesCards()
{
    TChargeLog base;
    store(base, QStringLiteral("A"), {{5, 1, 1}});
    base.Cards = cardsOf(QStringLiteral("A:1"));
    TChargeLog disk = base, memory = base;
    disk.Cards = cardsOf(QStringLiteral("A:2"));
    disk.Cards.Due.TestDays = 10;
    memory.Cards.ShowRetired = true;
    const TLogMerge merge = LogMerge::MergeOutsideChange(base, disk, memory);
    QVERIFY(!merge.isEmpty());
    QCOMPARE(merge.CardsChanged, 1);
    LogMerge::ApplyMerge(memory, merge);
    QCOMPARE(textOf(memory.Cards), QStringLiteral("A:2"));
    QCOMPARE(memory.Cards.Due.TestDays, 10);
    QVERIFY(memory.Cards.ShowRetired); // a view setting, not the file's

    // A backup restored brings its cards back.
    const TLogMerge restore = LogMerge::ReplaceBy(base, memory);
    LogMerge::ApplyMerge(memory, restore);
    QCOMPARE(memory.Cards, base.Cards);
}

QTEST_GUILESS_MAIN(TestBatteryCards)
#include "tst_batterycards.moc"
