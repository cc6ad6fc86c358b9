#include "ChargeLog.h"
#include "ChargeLogChange.h"
#include "LogFile.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(TChargeLog::NameKind)

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

// The nine stored values of one charge, in the order StoreChargeRecord takes them.
struct ChargeInput
{
    double DateTime = 39146.6041666667;
    QString PowerSource = QStringLiteral("PSU");
    QString Charger = QStringLiteral("QorA1");
    QString Battery = QStringLiteral("Cell 1");
    double NominalChargeAmps = 1.5;
    double AmpHours = 2.25;
    QString Termination = QStringLiteral("Normal");
    QString Comment = QStringLiteral("first charge");
    QString ChargerLogFileName = QStringLiteral("/var/log/cell1.txt");

    qint32 store(TChargeLog &log, qint32 key = -1) const
    {
        return log.StoreChargeRecord(key, DateTime, PowerSource, Charger, Battery,
                                     NominalChargeAmps, AmpHours, Termination, Comment,
                                     ChargerLogFileName);
    }
};

// Field numbers used by the data-driven cases below.
enum Field
{
    FDateTime,
    FPowerSource,
    FCharger,
    FBattery,
    FAmps,
    FAmpHours,
    FTermination,
    FComment,
    FLogFileName,
    FieldCount
};
const char *const FieldNames[] = {"DateTime", "PowerSource", "Charger", "Battery",    "Amps",
                                  "AmpHours", "Termination", "Comment", "LogFileName"};

bool isNumberField(int f)
{
    return f == FDateTime || f == FAmps || f == FAmpHours;
}

void setField(ChargeInput &in, int field, const QString &text, double number)
{
    switch (field) {
    case FDateTime:
        in.DateTime = number;
        break;
    case FPowerSource:
        in.PowerSource = text;
        break;
    case FCharger:
        in.Charger = text;
        break;
    case FBattery:
        in.Battery = text;
        break;
    case FAmps:
        in.NominalChargeAmps = number;
        break;
    case FAmpHours:
        in.AmpHours = number;
        break;
    case FTermination:
        in.Termination = text;
        break;
    case FComment:
        in.Comment = text;
        break;
    case FLogFileName:
        in.ChargerLogFileName = text;
        break;
    }
}

// Everything observable about a log, to prove that a refused change left no trace.
QString snapshot(const TChargeLog &log)
{
    QStringList parts;
    for (const TNameList *list : {&log.PowerSourcesStringList, &log.ChargersStringList,
                                  &log.BatteriesStringList, &log.TerminationsStringList})
        parts << list->names().join(QLatin1Char('|'));
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeRecord &r = log.ChargeStringList.record(i);
        parts << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                     .arg(r.Key)
                     .arg(r.DateTime, 0, 'g', 17)
                     .arg(r.PowerSourceIndex)
                     .arg(r.ChargerIndex)
                     .arg(r.BatteryIndex)
                     .arg(r.NominalChargeAmps, 0, 'g', 17)
                     .arg(r.AmpHours, 0, 'g', 17)
                     .arg(r.TerminationIndex)
                     .arg(log.ChargeStringList.text(i));
    }
    parts << QString::number(log.NextKey);
    return parts.join(QLatin1Char('\n'));
}

QList<qint32> keysInOrder(const TChargeList &list)
{
    QList<qint32> keys;
    for (int i = 0; i < list.count(); ++i)
        keys << list.record(i).Key;
    return keys;
}

} // namespace

// A record of only a key and a date-time, as the list's order needs.
static TChargeRecord keyedAt(qint32 key, double dateTime)
{
    TChargeRecord record;
    record.Key = key;
    record.DateTime = dateTime;
    return record;
}

class TestChargeLog : public QObject
{
    Q_OBJECT
private slots:
    void defaults();
    void resolveNameIndex_data();
    void resolveNameIndex();
    void findOrAppendIsUntrimmed();
    void renameKeepsLookUpsRight();
    void marks();

    void keysAndFind();
    void nextKeyAfterRead();
    void indexAndOrderFollowChanges_data();
    void indexAndOrderFollowChanges();
    void splitChargeText_data();
    void splitChargeText();
    void stableSortOfEqualDateTimes();
    void sortGivesTheStableOrder_data();
    void sortGivesTheStableOrder();
    void replaceKeepsKeyAndPosition();
    void storeWithVanishedKey();
    void storeTrimsNamesNotTexts();
    void refusesUnstorable_data();
    void refusesUnstorable();
    void acceptsStorable_data();
    void acceptsStorable();
    void purgeMarked_data();
    void purgeMarked();
    void copiesChangeApart_data();
    void copiesChangeApart();
    void bigListLetGoIsTakenAgain_data();
    void bigListLetGoIsTakenAgain();
};

void TestChargeLog::defaults()
{
    const TChargeLog log;
    QCOMPARE(log.PowerSourcesStringList.names(), (QStringList{"PSU", "Pb", "Mains"}));
    QCOMPARE(log.ChargersStringList.names(),
             (QStringList{"QorA1", "QorB1_1", "QorB1_2", "QorC1_1", "QorC1_2", "QorC2_1", "QorC2_2",
                          "QorC3_1", "QorC3_2", "QorD1_1", "QorD1_2", "QorD3_1", "QorD3_2"}));
    QVERIFY(log.BatteriesStringList.isEmpty());
    QCOMPARE(log.TerminationsStringList.names(), (QStringList{"Normal", "Interrupted", "Error"}));
    QVERIFY(log.ChargeStringList.isEmpty());
    QCOMPARE(log.NextKey, 1);
    QCOMPARE(log.CyclesSeriesColour, 8388736);
    for (auto kind : {TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger,
                      TChargeLog::NameKind::Battery, TChargeLog::NameKind::Termination})
        QVERIFY(HasNoFilterMarks(&log.nameList(kind)));
}

void TestChargeLog::resolveNameIndex_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QStringList>("after");

    const QString ctl = QString(QChar(0)) + QChar(1) + QChar(31) + QChar(32) + QChar('\t');
    QTest::newRow("blanks both ends")
        << QStringList{} << "  Cell 1  " << 0 << QStringList{"Cell 1"};
    QTest::newRow("codes 0..32 both ends")
        << QStringList{"A"} << ctl + "B" + ctl << 1 << QStringList{"A", "B"};
    QTest::newRow("inner blanks stay") << QStringList{} << " a \t b " << 0 << QStringList{"a \t b"};
    QTest::newRow("no-break space is not trimmed") << QStringList{} << QString(QChar(0xA0)) + "x"
                                                   << 0 << QStringList{QString(QChar(0xA0)) + "x"};
    QTest::newRow("case reuse keeps first form")
        << QStringList{"x", "Cell"} << "CELL" << 1 << QStringList{"x", "Cell"};
    QTest::newRow("trim then case") << QStringList{"Cell"} << "\t cell \n"
                                    << 0 << QStringList{"Cell"};
    QTest::newRow("non-ASCII case upper finds lower")
        << QStringList{"ärger"} << "ÄRGER" << 0 << QStringList{"ärger"};
    QTest::newRow("non-ASCII case lower finds upper")
        << QStringList{"Ä"} << "ä" << 0 << QStringList{"Ä"};
    QTest::newRow("Greek case") << QStringList{"Σ"} << "σ" << 0 << QStringList{"Σ"};
    QTest::newRow("accents differ") << QStringList{"e"} << "é" << 1 << QStringList{"e", "é"};
    QTest::newRow("empty appended") << QStringList{"A"} << "" << 1 << QStringList{"A", ""};
    QTest::newRow("empty reused") << QStringList{"", "A"} << "" << 0 << QStringList{"", "A"};
    QTest::newRow("blanks only are the empty name")
        << QStringList{"A", ""} << " \t " << 1 << QStringList{"A", ""};
    QTest::newRow("astral") << QStringList{"a"} << " \U0001F50B " << 1
                            << QStringList{"a", "\U0001F50B"};
}

void TestChargeLog::resolveNameIndex()
{
    QFETCH(QStringList, before);
    QFETCH(QString, name);
    QFETCH(int, expected);
    QFETCH(QStringList, after);

    TNameList list(before);
    QCOMPARE(list.ResolveNameIndex(name), expected);
    QCOMPARE(list.names(), after);
    // A second time it is found, not appended again.
    QCOMPARE(list.ResolveNameIndex(name), expected);
    QCOMPARE(list.names(), after);
    QVERIFY(!list.isMarked(expected));
}

void TestChargeLog::findOrAppendIsUntrimmed()
{
    TNameList list({" A "});
    QCOMPARE(list.findOrAppend(" a "), 0);
    QCOMPARE(list.findOrAppend("A"), 1);
    QCOMPARE(list.findOrAppend("a"), 1);
    QCOMPARE(list.ResolveNameIndex(" a "), 1);
    QCOMPARE(list.names(), (QStringList{" A ", "A"}));
}

void TestChargeLog::renameKeepsLookUpsRight()
{
    TNameList list({"A", "B", "C"});
    list.append("b"); // a second spelling; only reachable by position
    QCOMPARE(list.indexOf("B"), 1);
    list.rename(1, "Deleted");
    QCOMPARE(list.indexOf("b"), 3); // the other spelling is now the first
    QCOMPARE(list.indexOf("DELETED"), 1);
    list.rename(2, "a"); // equal to an earlier name: the earlier stays the one found
    QCOMPARE(list.indexOf("A"), 0);
    list.rename(0, "Z");
    QCOMPARE(list.indexOf("a"), 2);
    QCOMPARE(list.indexOf("z"), 0);
    list.rename(7, "out of range");
    QCOMPARE(list.names(), (QStringList{"Z", "Deleted", "a", "b"}));
    QCOMPARE(list.ResolveNameIndex("b"), 3);
}

void TestChargeLog::marks()
{
    TNameList list({"A", "B", "C"});
    QVERIFY(HasNoFilterMarks(nullptr));
    QVERIFY(HasNoFilterMarks(&list));
    list.setMarked(2, true);
    list.setMarked(5, true);  // ignored
    list.setMarked(-1, true); // ignored
    QVERIFY(!HasNoFilterMarks(&list));
    QCOMPARE(list.markedCount(), 1);
    QVERIFY(list.isMarked(2));
    QVERIFY(!list.isMarked(1));
    QVERIFY(!list.isMarked(-1));
    QVERIFY(!list.isMarked(3));
    list.rename(2, "X"); // renaming keeps the mark
    QVERIFY(list.isMarked(2));
    list.setMarked(2, false);
    QVERIFY(HasNoFilterMarks(&list));

    TChargeLog log;
    ChargeInput in;
    const qint32 key = in.store(log);
    const TChargeRecord r = log.ChargeStringList.record(log.FindChargeIndex(key));
    QVERIFY(log.isShown(r));
    log.BatteriesStringList.setMarked(r.BatteryIndex, true);
    QVERIFY(!log.isShown(r));
}

void TestChargeLog::keysAndFind()
{
    TChargeLog log;
    QCOMPARE(log.FindChargeIndex(1), -1);
    QCOMPARE(log.FindChargeIndex(0), -1);
    QCOMPARE(log.FindChargeIndex(-1), -1);

    ChargeInput in;
    const double times[] = {5, 3, 4, 1, 2, 3};
    QList<qint32> keys;
    for (double t : times) {
        in.DateTime = t;
        keys << in.store(log);
    }
    QCOMPARE(keys, (QList<qint32>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(log.NextKey, 7);
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(log.FindChargeIndex(keys[i]), i);

    log.ChargeStringList.sortByDateTime();
    QCOMPARE(keysInOrder(log.ChargeStringList), (QList<qint32>{4, 5, 2, 6, 3, 1}));
    for (qint32 key : keys)
        QCOMPARE(log.ChargeStringList.record(log.FindChargeIndex(key)).Key, key);

    log.ChargeStringList.removeAt(0); // key 4
    log.ChargeStringList.removeAt(2); // key 6
    QCOMPARE(log.FindChargeIndex(4), -1);
    QCOMPARE(log.FindChargeIndex(6), -1);
    QCOMPARE(log.FindChargeIndex(5), 0);
    QCOMPARE(log.FindChargeIndex(1), 3);
    QCOMPARE(log.FindChargeIndex(0), -1);

    // Keys are never handed out twice, not even after removals.
    in.DateTime = 0;
    QCOMPARE(in.store(log), 7);
    QCOMPARE(log.FindChargeIndex(7), 4);
    log.ClearChargeList();
    QCOMPARE(log.FindChargeIndex(7), -1);
    QCOMPARE(log.FindChargeIndex(5), -1);
}

void TestChargeLog::indexAndOrderFollowChanges_data()
{
    QTest::addColumn<QList<qint32>>("keys");
    QTest::newRow("one after the other") << QList<qint32>{1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("far apart") << QList<qint32>{7, 3000000, 12, 2147483647, 40, 5, 999999, 8};
    QTest::newRow("below zero") << QList<qint32>{-5, 3, -2147483647, 9, 0, 2, 1, 4};
}

// Whatever the keys, every look-up and the order of the list agree with the entries as they
// stand after each kind of change.
void TestChargeLog::indexAndOrderFollowChanges()
{
    QFETCH(QList<qint32>, keys);
    TChargeList list;
    const auto check = [&list](const QList<qint32> &all) {
        bool sorted = true;
        for (int i = 1; i < list.count(); ++i)
            sorted = sorted && list.record(i - 1).DateTime <= list.record(i).DateTime;
        QCOMPARE(list.isSortedByDateTime(), sorted);
        for (qint32 key : all) {
            int at = -1;
            for (int i = 0; i < list.count(); ++i)
                at = list.record(i).Key == key ? i : at;
            QCOMPARE(list.FindChargeIndex(key), at);
        }
    };
    QList<qint32> all = keys;
    all << 77 << -77 << 1500000;
    for (int i = 0; i < keys.size(); ++i) {
        TChargeRecord record;
        record.Key = keys.at(i);
        record.DateTime = 100 + i;
        list.append(record, QString());
        check(all); // the index grows with every append once it is made
    }
    TChargeRecord moved = list.record(2);
    moved.DateTime = 500;
    list.replace(2, moved, QString());
    check(all);
    list.sortByDateTime();
    check(all);
    list.takeKeys({keys.at(0), keys.at(5)});
    check(all);
    TChargeRecord early;
    early.Key = 1500000;
    early.DateTime = 1;
    list.append(early, QString());
    check(all);
    list.sortByDateTime();
    list.removeAt(1);
    check(all);
}

void TestChargeLog::nextKeyAfterRead()
{
    const QByteArray xml = "<QorInsight><Charges>"
                           "<Charge><DateTime>3</DateTime></Charge>"
                           "<Charge><DateTime>1</DateTime></Charge>"
                           "<Charge><DateTime>2</DateTime></Charge>"
                           "</Charges></QorInsight>";
    TChargeLog log;
    LogFile::ReadChargeLog(xml, log, "three");
    QCOMPARE(keysInOrder(log.ChargeStringList), (QList<qint32>{1, 2, 3}));
    QCOMPARE(log.ChargeStringList.record(0).DateTime, 3.0); // file order until sorted
    QCOMPARE(ChargeInput().store(log), 4);

    TChargeLog again; // a new run gives the same records the same keys
    LogFile::ReadChargeLog(xml, again, "three");
    QCOMPARE(keysInOrder(again.ChargeStringList), (QList<qint32>{1, 2, 3}));
    QCOMPARE(again.ChargeStringList.record(0).DateTime, 3.0);
}

void TestChargeLog::splitChargeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("logFileName");
    QTest::addColumn<QString>("comment");

    QTest::newRow("first star splits") << "a*b*c"
                                       << "a"
                                       << "b*c";
    QTest::newRow("leading star") << "*x"
                                  << ""
                                  << "x";
    QTest::newRow("trailing star") << "f.txt*"
                                   << "f.txt"
                                   << "";
    QTest::newRow("star only") << "*"
                               << ""
                               << "";
    QTest::newRow("no star") << "no star"
                             << ""
                             << "no star";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("stars in comment") << "*a**b*"
                                      << ""
                                      << "a**b*";
}

void TestChargeLog::splitChargeText()
{
    QFETCH(QString, text);
    QFETCH(QString, logFileName);
    QFETCH(QString, comment);

    QString name = "stale";
    QString rest = "stale";
    TChargeList::SplitChargeText(text, name, rest);
    QCOMPARE(name, logFileName);
    QCOMPARE(rest, comment);
    if (text.contains('*'))
        QCOMPARE(TChargeList::JoinChargeText(name, rest), text);
}

void TestChargeLog::stableSortOfEqualDateTimes()
{
    TChargeLog log;
    ChargeInput in;
    QRandomGenerator rng(20070305);
    for (int i = 0; i < 300; ++i) {
        in.DateTime = double(rng.bounded(5)) + (rng.bounded(2) ? 0.5 : 0.0);
        in.store(log);
    }
    log.ChargeStringList.sortByDateTime();
    QVERIFY(log.ChargeStringList.isSortedByDateTime());
    const QList<qint32> once = keysInOrder(log.ChargeStringList);
    // Appending out of order and sorting again keeps the earlier relative order.
    in.DateTime = 0;
    in.store(log);
    log.ChargeStringList.sortByDateTime();
    QList<qint32> twice = keysInOrder(log.ChargeStringList);
    twice.removeOne(301);
    QCOMPARE(twice, once);
    for (int i = 1; i < log.ChargeStringList.count(); ++i) {
        const TChargeRecord &a = log.ChargeStringList.record(i - 1);
        const TChargeRecord &b = log.ChargeStringList.record(i);
        if (a.DateTime == b.DateTime && b.Key != 301 && a.Key != 301)
            QVERIFY2(a.Key < b.Key, qPrintable(QString("keys %1, %2").arg(a.Key).arg(b.Key)));
    }
}

void TestChargeLog::sortGivesTheStableOrder_data()
{
    QTest::addColumn<int>("sorted");   // entries in order first, with ties
    QTest::addColumn<int>("appended"); // then entries anywhere in time
    QTest::newRow("one appended") << 400 << 1;
    QTest::newRow("a few appended") << 400 << 7;
    QTest::newRow("as many as the list holds") << 200 << 200;
    QTest::newRow("nothing in order") << 0 << 300;
}

void TestChargeLog::sortGivesTheStableOrder()
{
    QFETCH(int, sorted);
    QFETCH(int, appended);
    QRandomGenerator rng(quint32(sorted * 1000 + appended));
    TChargeList list;
    QVector<std::pair<double, qint32>> expected;
    for (int i = 0; i < sorted + appended; ++i) {
        // Ties in both parts, so that a sort that is not stable shows.
        const double at = i < sorted ? double(i / 3) : double(rng.bounded(sorted / 3 + 2));
        list.append(keyedAt(i + 1, at), QString());
        expected.append({at, i + 1});
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    list.sortByDateTime();
    QList<qint32> keys;
    for (const auto &e : expected)
        keys.append(e.second);
    QCOMPARE(keysInOrder(list), keys);
    QVERIFY(list.isSortedByDateTime());
}

void TestChargeLog::replaceKeepsKeyAndPosition()
{
    TChargeLog log;
    ChargeInput in;
    for (double t : {1.0, 2.0, 3.0}) {
        in.DateTime = t;
        in.store(log);
    }
    ChargeInput edit;
    edit.DateTime = 0.25; // would sort first, but stays put until the next sort
    edit.Battery = "Cell 9";
    edit.Comment = "a*b";
    edit.ChargerLogFileName = "";
    QCOMPARE(edit.store(log, 2), 2);
    QCOMPARE(log.NextKey, 4);
    QCOMPARE(log.FindChargeIndex(2), 1);
    const TChargeRecord &r = log.ChargeStringList.record(1);
    QCOMPARE(r.Key, 2);
    QCOMPARE(r.DateTime, 0.25);
    QCOMPARE(log.BatteriesStringList.name(r.BatteryIndex), QString("Cell 9"));
    QCOMPARE(log.ChargeStringList.text(1), QString("*a*b"));

    TChargeRecord plain = r;
    plain.Key = 77; // the key given in the record does not matter, the argument does
    QVERIFY(log.ReplaceChargeRecord(3, plain, "c", "f"));
    QCOMPARE(log.ChargeStringList.record(2).Key, 3);
    QCOMPARE(log.FindChargeIndex(77), -1);
    QCOMPARE(log.ChargeStringList.text(2), QString("f*c"));
    QVERIFY(!log.ReplaceChargeRecord(77, plain, "c", "f"));
}

void TestChargeLog::storeWithVanishedKey()
{
    TChargeLog log;
    ChargeInput in;
    in.store(log);
    in.store(log);
    log.ChargeStringList.removeAt(log.FindChargeIndex(2));
    const QString before = snapshot(log);

    ChargeInput edit;
    edit.Battery = "  Brand New ";
    edit.Termination = "Exploded";
    QCOMPARE(edit.store(log, 2), 0);
    // The records are untouched, but the names were resolved as for any store.
    QCOMPARE(log.ChargeStringList.count(), 1);
    QCOMPARE(log.ChargeStringList.record(0).Key, 1);
    QCOMPARE(log.NextKey, 3);
    QCOMPARE(log.BatteriesStringList.indexOf("Brand New"), 1);
    QCOMPARE(log.TerminationsStringList.indexOf("Exploded"), 3);
    QVERIFY(snapshot(log) != before);
}

void TestChargeLog::storeTrimsNamesNotTexts()
{
    TChargeLog log;
    ChargeInput in;
    in.PowerSource = "";
    in.Battery = "\t Cell 1 \n";
    in.Comment = "  spaced  ";
    in.ChargerLogFileName = " /tmp/x y ";
    const qint32 first = in.store(log);
    in.PowerSource = "  ";
    in.Battery = "CELL 1";
    const qint32 second = in.store(log);
    const TChargeRecord &a = log.ChargeStringList.record(log.FindChargeIndex(first));
    const TChargeRecord &b = log.ChargeStringList.record(log.FindChargeIndex(second));
    QCOMPARE(log.BatteriesStringList.names(), QStringList{"Cell 1"});
    QCOMPARE(a.BatteryIndex, b.BatteryIndex);
    QCOMPARE(log.PowerSourcesStringList.names(), (QStringList{"PSU", "Pb", "Mains", ""}));
    QCOMPARE(a.PowerSourceIndex, 3);
    QCOMPARE(b.PowerSourceIndex, 3);
    QCOMPARE(log.ChargeStringList.text(0), QString(" /tmp/x y *  spaced  "));
    QCOMPARE(a.NominalChargeAmps, 1.5);
    QCOMPARE(a.AmpHours, 2.25);
}

void TestChargeLog::refusesUnstorable_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("wording"); // what the message calls the fault

    const QString control = QStringLiteral("contains a control character");
    const QString character = QStringLiteral("contains a character that cannot be stored");
    const QList<QPair<const char *, double>> numbers = {
        {"NaN", NaN}, {"+inf", Inf}, {"-inf", -Inf}};
    struct Text
    {
        const char *name;
        QString text;
        QString wording;
    };
    // Control characters inside: names are trimmed of codes 0 to 32 only at their ends.
    const QList<Text> texts = {
        {"NUL", QString("a") + QChar(0) + "b", control},
        {"x01",
         QString("a\x01"
                 "b"),
         control},
        {"x1F",
         QString("\x1f"
                 "b\x1f"
                 "c"),
         control},
        {"x0B",
         QString("a\x0b"
                 "b"),
         control},
        {"x0C",
         QString("a\x0c"
                 "b"),
         control},
        {"lone high surrogate", QString("a") + QChar(0xD83D), character},
        {"lone high surrogate mid", QString("a") + QChar(0xD83D) + "b", character},
        {"lone low surrogate", QString(QChar(0xDC0B)) + "b", character},
        {"swapped surrogates", QString(QChar(0xDD0B)) + QChar(0xD83D), character},
        {"U+FFFE", QString("x") + QChar(0xFFFE), character},
        {"U+FFFF", QString(QChar(0xFFFF)), character},
        {"one over the length limit", QString(QorLog::MaxTextLength + 1, QLatin1Char('x')),
         QStringLiteral("is longer than")},
    };
    for (int f = 0; f < FieldCount; ++f) {
        if (isNumberField(f)) {
            for (const auto &n : numbers)
                QTest::addRow("%s %s", FieldNames[f], n.first)
                    << f << QString() << n.second << QStringLiteral("finite number");
        } else {
            for (const auto &t : texts)
                QTest::addRow("%s %s", FieldNames[f], t.name) << f << t.text << 0.0 << t.wording;
        }
    }
    // The two free texts are stored untrimmed: a control character at an end is refused.
    QTest::newRow("Comment x01 at the end") << int(FComment) << "a\x01" << 0.0 << control;
    QTest::newRow("ChargerLogFileName x1F first") << int(FLogFileName)
                                                  << "\x1f"
                                                     "a"
                                                  << 0.0 << control;
    QTest::newRow("star in log file name") << int(FLogFileName) << "a*b" << 0.0 << "\"*\"";
    QTest::newRow("leading star in log file name") << int(FLogFileName) << "*" << 0.0 << "\"*\"";
}

void TestChargeLog::refusesUnstorable()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(double, number);
    QFETCH(QString, wording);

    TChargeLog log;
    ChargeInput good;
    const qint32 existing = good.store(log);
    const QString before = snapshot(log);

    ChargeInput bad;
    bad.PowerSource = "New source"; // would be appended if the store went ahead
    bad.Battery = "New battery";
    setField(bad, field, text, number);
    for (qint32 key : {qint32(-1), existing}) {
        try {
            bad.store(log, key);
            QFAIL("an unstorable value was accepted");
        } catch (const QorLogError &e) {
            QVERIFY2(e.message().contains(wording), qPrintable(e.message()));
        }
        QCOMPARE(snapshot(log), before);
    }
    QVERIFY_THROWS_EXCEPTION(QorLogError,
                             TChargeLog::CheckStorable(bad.DateTime, bad.PowerSource, bad.Charger,
                                                       bad.Battery, bad.NominalChargeAmps,
                                                       bad.AmpHours, bad.Termination, bad.Comment,
                                                       bad.ChargerLogFileName));
}

void TestChargeLog::acceptsStorable_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");

    const QList<QPair<const char *, double>> numbers = {
        {"max", std::numeric_limits<double>::max()},
        {"lowest", std::numeric_limits<double>::lowest()},
        {"denormal", std::numeric_limits<double>::denorm_min()},
        {"negative zero", -0.0},
        {"negative", -12.5}};
    const QList<QPair<const char *, QString>> texts = {
        {"tab LF CR inside", QString("a\tb\nc\rd\r\ne")},
        {"astral", QString("\U0001F50B\U00010348")},
        {"U+FFFD and U+E000", QString(QChar(0xFFFD)) + QChar(0xE000)},
        {"markup", QString("<a>&amp;]]>\"'")},
        {"at the length limit", QString(QorLog::MaxTextLength, QLatin1Char('x'))},
    };
    // Names lose codes 0 to 32 at both ends before they are stored, control characters too.
    const QList<QPair<const char *, QString>> trimmedNames = {
        {"x01 at the end", QString("Cell\x01")},
        {"NUL and x1F around", QString(QChar(0)) + "Cell \x1f"},
        {"at the length limit once trimmed",
         QStringLiteral("  ") + QString(QorLog::MaxTextLength, QLatin1Char('n')) + "\t"},
    };
    for (int f = 0; f < FieldCount; ++f) {
        if (isNumberField(f)) {
            for (const auto &n : numbers)
                QTest::addRow("%s %s", FieldNames[f], n.first) << f << QString() << n.second;
        } else {
            for (const auto &t : texts)
                QTest::addRow("%s %s", FieldNames[f], t.first) << f << t.second << 0.0;
        }
    }
    for (int f : {FPowerSource, FCharger, FBattery, FTermination})
        for (const auto &t : trimmedNames)
            QTest::addRow("%s %s", FieldNames[f], t.first) << f << t.second << 0.0;
    QTest::newRow("star in comment") << int(FComment) << "**a*" << 0.0;
}

void TestChargeLog::acceptsStorable()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(double, number);

    TChargeLog log;
    ChargeInput in;
    setField(in, field, text, number);
    const qint32 key = in.store(log);
    QCOMPARE(key, 1);
    const TChargeRecord &r = log.ChargeStringList.record(0);
    QString logFileName, comment;
    TChargeList::SplitChargeText(log.ChargeStringList.text(0), logFileName, comment);
    switch (field) {
    case FDateTime:
        QCOMPARE(r.DateTime, number);
        break;
    case FAmps:
        QCOMPARE(r.NominalChargeAmps, number);
        break;
    case FAmpHours:
        QCOMPARE(r.AmpHours, number);
        break;
    case FPowerSource:
        QCOMPARE(log.PowerSourcesStringList.name(r.PowerSourceIndex), TNameList::trimmedName(text));
        break;
    case FCharger:
        QCOMPARE(log.ChargersStringList.name(r.ChargerIndex), TNameList::trimmedName(text));
        break;
    case FBattery:
        QCOMPARE(log.BatteriesStringList.name(r.BatteryIndex), TNameList::trimmedName(text));
        break;
    case FTermination:
        QCOMPARE(log.TerminationsStringList.name(r.TerminationIndex), TNameList::trimmedName(text));
        break;
    case FComment:
        QCOMPARE(comment, text);
        break;
    case FLogFileName:
        QCOMPARE(logFileName, text);
        break;
    }
}

void TestChargeLog::purgeMarked_data()
{
    QTest::addColumn<TChargeLog::NameKind>("kind");
    QTest::newRow("power sources") << TChargeLog::NameKind::PowerSource;
    QTest::newRow("chargers") << TChargeLog::NameKind::Charger;
    QTest::newRow("batteries") << TChargeLog::NameKind::Battery;
    QTest::newRow("terminations") << TChargeLog::NameKind::Termination;
}

void TestChargeLog::purgeMarked()
{
    QFETCH(TChargeLog::NameKind, kind);

    TChargeLog log;
    QRandomGenerator rng(1234);
    const QStringList pool = {"n0", "n1", "n2", "n3", "n4"};
    for (int i = 0; i < 60; ++i) {
        ChargeInput in;
        in.DateTime = double(60 - i);
        const QString name = pool.at(rng.bounded(pool.size()));
        switch (kind) {
        case TChargeLog::NameKind::PowerSource:
            in.PowerSource = name;
            break;
        case TChargeLog::NameKind::Charger:
            in.Charger = name;
            break;
        case TChargeLog::NameKind::Battery:
            in.Battery = name;
            break;
        case TChargeLog::NameKind::Termination:
            in.Termination = name;
            break;
        }
        in.store(log);
    }
    TNameList &list = log.nameList(kind);
    const QStringList namesBefore = list.names();
    const int first = list.indexOf("n1");
    const int second = list.indexOf("n3");
    list.setMarked(first, true);
    list.setMarked(second, true);

    QList<qint32> kept, gone;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeRecord &r = log.ChargeStringList.record(i);
        const int index = TChargeLog::recordIndex(r, kind);
        (index == first || index == second ? gone : kept) << r.Key;
    }
    QVERIFY(!gone.isEmpty());
    QVERIFY(!kept.isEmpty());

    QCOMPARE(log.PurgeMarked(kind), gone.size());
    QCOMPARE(keysInOrder(log.ChargeStringList), kept); // the rest keep their order
    for (int i = 0; i < kept.size(); ++i)
        QCOMPARE(log.FindChargeIndex(kept[i]), i);
    for (qint32 key : gone)
        QCOMPARE(log.FindChargeIndex(key), -1);

    QStringList expectedNames = namesBefore;
    expectedNames[first] = "Deleted";
    expectedNames[second] = "Deleted";
    QCOMPARE(list.names(), expectedNames);
    QVERIFY(list.isMarked(first));
    QVERIFY(list.isMarked(second));
    QCOMPARE(list.markedCount(), 2);
    // The old names are gone; using one again appends it anew.
    QCOMPARE(list.indexOf("n1"), -1);
    QCOMPARE(list.ResolveNameIndex("n1"), namesBefore.size());
    // Nothing else is touched: a second purge removes nothing.
    QCOMPARE(log.PurgeMarked(kind), 0);
    QCOMPARE(log.ChargeStringList.count(), kept.size());
}

// Copies share their entries until one changes; a change to either leaves the other as it was.
void TestChargeLog::copiesChangeApart_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"append", "replace", "removeAt", "removeIf", "takeKeys",
                               "insertAtPositions", "setWrittenPlaces", "sort", "clear"})
        QTest::newRow(change) << QString::fromLatin1(change);
}

void TestChargeLog::copiesChangeApart()
{
    QFETCH(QString, change);
    const auto describe = [](const TChargeList &list) {
        QStringList lines;
        for (int i = 0; i < list.count(); ++i) {
            const TChargeEntry &e = list.at(i);
            lines << QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(e.Record.Key)
                         .arg(e.Record.DateTime)
                         .arg(e.Written.Offset)
                         .arg(list.FindChargeIndex(e.Record.Key))
                         .arg(e.Text);
        }
        return lines;
    };
    const auto makeChange = [&change](TChargeList &list) {
        if (change == "append")
            list.append(keyedAt(90, 1.0), QStringLiteral("new"));
        else if (change == "replace")
            list.replace(1, keyedAt(list.record(1).Key, 7.5), QStringLiteral("edited"));
        else if (change == "removeAt")
            list.removeAt(0);
        else if (change == "removeIf")
            list.removeIf([](const TChargeEntry &e) { return e.Record.Key == 2; });
        else if (change == "takeKeys")
            list.takeKeys({1, 3});
        else if (change == "insertAtPositions")
            list.insertAtPositions(
                {TPositionedEntry{1, TChargeEntry{QStringLiteral("back"), keyedAt(91, 2.5)}}});
        else if (change == "setWrittenPlaces")
            list.setWrittenPlaces({{10, 1, 5}, {20, 1, 5}, {30, 1, 5}});
        else if (change == "sort")
            list.sortByDateTime();
        else
            list.clear();
    };
    TChargeList original;
    original.append(keyedAt(1, 30.0), QStringLiteral("a"));
    original.append(keyedAt(2, 10.0), QStringLiteral("b"));
    original.append(keyedAt(3, 20.0), QStringLiteral("c"));
    QCOMPARE(original.FindChargeIndex(2), 1);
    const QStringList before = describe(original);

    TChargeList changed = original;
    makeChange(changed);
    QVERIFY(describe(changed) != before);
    QCOMPARE(describe(original), before);

    // The other way round: the original changes, the copy stays.
    TChargeList copy = original;
    makeChange(original);
    QCOMPARE(describe(original), describe(changed));
    QCOMPARE(describe(copy), before);
}

QTEST_GUILESS_MAIN(TestChargeLog)
void TestChargeLog::bigListLetGoIsTakenAgain_data()
{
    QTest::addColumn<int>("room");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("keptAfter");
    constexpr int Big = 100000; // over the few MiB from which a list is kept
    QTest::newRow("the same size") << Big << true << 0;
    QTest::newRow("a few more") << Big + 40 << true << 0;
    QTest::newRow("twice as many") << 2 * Big << false << 0; // and the unfit one let go
    QTest::newRow("a small list") << 100 << false << 1;
}

// A big list let go lends its memory, emptied, to the next list of about its size.
void TestChargeLog::bigListLetGoIsTakenAgain()
{
    QFETCH(int, room);
    QFETCH(bool, taken);
    QFETCH(int, keptAfter);
    TChargeList::letGoOfSpares();
    const auto record = [](double at) {
        TChargeRecord r;
        r.DateTime = at;
        return r;
    };
    const TChargeEntry *before = nullptr;
    {
        TChargeList old;
        old.reserve(100000);
        old.append(record(1.0), QStringLiteral("old"));
        old.append(record(2.0), QStringLiteral("old too"));
        const TChargeList copy = old; // the last holder lets go
        before = &old.at(0);
    }
    QCOMPARE(TChargeList::sparesHeld(), 1);
    TChargeList next;
    next.reserve(room);
    next.append(record(3.0), QStringLiteral("new"));
    QCOMPARE(next.count(), 1);
    QCOMPARE(next.text(0), QStringLiteral("new"));
    if (taken)
        QCOMPARE(&next.at(0), before);
    QCOMPARE(TChargeList::sparesHeld(), keptAfter);
    TChargeList::letGoOfSpares();
    QCOMPARE(TChargeList::sparesHeld(), 0);
}

#include "tst_chargelog.moc"
