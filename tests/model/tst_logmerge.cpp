// The merge by the charges' ids: base, this side and the other side in, the log after.

#include "ChargeIdentity.h"
#include "ChargeLog.h"
#include "HugePages.h"
#include "LogMerge.h"

#include <QtTest>

namespace {

constexpr double Day = 46000.0; // the times in the descriptions count from here

QUuid idOf(QChar letter)
{
    return QUuid(0x51000000u + letter.unicode(), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 1);
}

QString letterOf(const QUuid &id)
{
    const uint code = id.data1 - 0x51000000u;
    if (code > 0xffff) // a random id, not one of the descriptions'
        return QStringLiteral("?");
    return id == idOf(QChar(code)) ? QString(QChar(code)) : QStringLiteral("?");
}

// A log from a description: "A=b3@5" is charge A of battery "b" with 3 amp-hours, last changed
// at day 5; "?=b3" the same charge without an id; "-A@7" charge A deleted at day 7.
TChargeLog sideOf(const QString &words)
{
    TChargeLog log;
    for (const QString &word : words.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype at = word.indexOf(QLatin1Char('@'));
        const double when = at < 0 ? 0.0 : Day + word.mid(at + 1).toDouble();
        if (word.startsWith(QLatin1Char('-'))) {
            log.Deleted.insert(idOf(word.at(1)), when);
            continue;
        }
        const QString charge = word.mid(2, at < 0 ? -1 : at - 2);
        log.StoreChargeRecord(-1, Day, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              charge.left(1), 1.0, charge.mid(1).toDouble(),
                              QStringLiteral("Normal"), QString(), QString());
        log.ChargeStringList.setIdentity(
            log.ChargeStringList.count() - 1,
            word.at(0) == QLatin1Char('?') ? QUuid() : idOf(word.at(0)), when);
    }
    return log;
}

// The charges as "A=b3" (an id the descriptions do not name as "?") and the deletions as "-A",
// sorted.
QString describe(const TChargeLog &log)
{
    QStringList words;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeEntry &e = log.ChargeStringList.at(i);
        words << letterOf(e.Id) + QLatin1Char('=') +
                     log.BatteriesStringList.name(e.Record.BatteryIndex) +
                     QString::number(e.Record.AmpHours);
    }
    for (auto it = log.Deleted.cbegin(); it != log.Deleted.cend(); ++it)
        words << QLatin1Char('-') + letterOf(it.key());
    words.sort();
    return words.join(QLatin1Char(' '));
}

// Every charge (id, key, battery, amp-hours, time of change) and deletion of a log, sorted.
QString entries(const TChargeLog &log)
{
    QStringList lines;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeEntry &e = log.ChargeStringList.at(i);
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(e.Id.toString())
                     .arg(e.Record.Key)
                     .arg(log.BatteriesStringList.name(e.Record.BatteryIndex))
                     .arg(e.Record.AmpHours)
                     .arg(e.Changed, 0, 'f', 6);
    }
    for (auto it = log.Deleted.cbegin(); it != log.Deleted.cend(); ++it)
        lines << QStringLiteral("-%1 %2").arg(it.key().toString()).arg(it.value(), 0, 'f', 6);
    lines.sort();
    return lines.join(QLatin1Char('\n'));
}

} // namespace

class TestLogMerge : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void merge_data();
    void merge();
    void mergeOfWhatDiffers_data();
    void mergeOfWhatDiffers();
    void restoreMatchesByIdThenByFields();
    void purgedChargesStayDeleted();
    void deletionsArePruned_data();
    void deletionsArePruned();
    void firstOfAnIdKeepsIt_data();
    void firstOfAnIdKeepsIt();
    void zeroedTables_data();
    void zeroedTables();
};

void TestLogMerge::merge_data()
{
    QTest::addColumn<QString>("base"); // "copy": a conflict copy, merged without a base
    QTest::addColumn<QString>("ours");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("conflicts");
    QTest::addColumn<QString>("dropped"); // whose version a backup must keep

    QTest::newRow("nothing changed") << "A=a1@1"
                                     << "A=a1@1"
                                     << "A=a1@1"
                                     << "A=a1" << 0 << "";
    QTest::newRow("edited there") << "A=a1@1"
                                  << "A=a1@1"
                                  << "A=a2@2"
                                  << "A=a2" << 0 << "";
    QTest::newRow("edited here") << "A=a1@1"
                                 << "A=a2@2"
                                 << "A=a1@1"
                                 << "A=a2" << 0 << "";
    QTest::newRow("edited on both, there later") << "A=a1@1"
                                                 << "A=a2@2"
                                                 << "A=a3@3"
                                                 << "A=a3" << 1 << "ours";
    QTest::newRow("edited on both, here later") << "A=a1@1"
                                                << "A=a2@3"
                                                << "A=a3@2"
                                                << "A=a2" << 1 << "theirs";
    QTest::newRow("edited on both at once: this side's") << "A=a1@1"
                                                         << "A=a2@2"
                                                         << "A=a3@2"
                                                         << "A=a2" << 1 << "theirs";
    QTest::newRow("an undone edit there is taken") << "A=a2@2"
                                                   << "A=a2@2"
                                                   << "A=a1@1"
                                                   << "A=a1" << 0 << "";
    QTest::newRow("deleted here, unchanged there") << "A=a1@1 B=b1@1"
                                                   << "B=b1@1 -A@2"
                                                   << "A=a1@1 B=b1@1"
                                                   << "-A B=b1" << 0 << "";
    QTest::newRow("deleted here, edited there afterwards") << "A=a1@1"
                                                           << "-A@2"
                                                           << "A=a2@3"
                                                           << "A=a2" << 1 << "";
    QTest::newRow("edited there, deleted here afterwards") << "A=a1@1"
                                                           << "-A@3"
                                                           << "A=a2@2"
                                                           << "-A" << 1 << "theirs";
    QTest::newRow("deleted there, unchanged here") << "A=a1@1 B=b1@1"
                                                   << "A=a1@1 B=b1@1"
                                                   << "B=b1@1 -A@2"
                                                   << "-A B=b1" << 0 << "";
    QTest::newRow("edited here, deleted there afterwards") << "A=a1@1"
                                                           << "A=a2@2"
                                                           << "-A@3"
                                                           << "-A" << 1 << "ours";
    QTest::newRow("deleted there, edited here afterwards") << "A=a1@1"
                                                           << "A=a2@3"
                                                           << "-A@2"
                                                           << "A=a2" << 1 << "";
    QTest::newRow("removed by a program keeping no deletions, edited here") << "A=a1@1"
                                                                            << "A=a2@2"
                                                                            << ""
                                                                            << "A=a2" << 0 << "";
    QTest::newRow("a deletion taken back there") << "-A@2"
                                                 << "-A@2"
                                                 << "A=a1@1"
                                                 << "A=a1" << 0 << "";
    QTest::newRow("a deletion taken back here") << "-A@2"
                                                << "A=a1@1"
                                                << "-A@2"
                                                << "A=a1" << 0 << "";
    QTest::newRow("added on both sides") << ""
                                         << "A=a1@1"
                                         << "B=b1@1"
                                         << "A=a1 B=b1" << 0 << "";
    QTest::newRow("a deletion of a charge never held travels on") << ""
                                                                  << ""
                                                                  << "-A@2"
                                                                  << "-A" << 0 << "";
    QTest::newRow("without ids: matched by the fields") << "A=a1@1 B=b1@1"
                                                        << "A=a1@1 B=b1@1"
                                                        << "?=a1 ?=b2"
                                                        << "-B ?=b2 A=a1" << 0 << "";
    QTest::newRow("an id twice there: the second charge gets one of its own")
        << "A=a1@1"
        << "A=a1@1"
        << "A=a1@1 A=b2@2"
        << "?=b2 A=a1" << 0 << "";
    QTest::newRow("without ids: an edit on both keeps both") << "A=a1@1"
                                                             << "A=a2@2"
                                                             << "?=a3"
                                                             << "?=a3 A=a2" << 0 << "";
    // A sync tool's copy of the log from the other desktop, made while the two were apart.
    QTest::newRow("copy from a side that changed nothing") << "copy"
                                                           << "A=a2@5 C=c1@1 -B@6"
                                                           << "A=a1@1 B=b1@1 C=c1@1"
                                                           << "-B A=a2 C=c1" << 0 << "";
    QTest::newRow("copy from a side that changed nothing, its latest edited here")
        << "copy"
        << "A=a2@5 -B@6"
        << "A=a1@1 B=b1@1"
        << "-B A=a2" << 0 << "";
    QTest::newRow("copy that added") << "copy"
                                     << "C=c1@1"
                                     << "C=c1@1 D=d1@3"
                                     << "C=c1 D=d1" << 0 << "";
    QTest::newRow("copy that edited") << "copy"
                                      << "C=c1@1 E=e1@1"
                                      << "C=c2@3 E=e1@1"
                                      << "C=c2 E=e1" << 0 << "";
    QTest::newRow("copy that deleted") << "copy"
                                       << "C=c1@1 E=e1@1"
                                       << "E=e1@1 -C@3"
                                       << "-C E=e1" << 0 << "";
    QTest::newRow("copy edited after a deletion here") << "copy"
                                                       << "E=e1@1 -C@2"
                                                       << "C=c2@3 E=e1@1"
                                                       << "C=c2 E=e1" << 1 << "";
    QTest::newRow("copy edited too, later") << "copy"
                                            << "C=c2@2 E=e1@1"
                                            << "C=c3@3 E=e1@1"
                                            << "C=c3 E=e1" << 1 << "ours";
    QTest::newRow("copy without ids adds what it lacks") << "copy"
                                                         << "C=c1@1"
                                                         << "?=c1 ?=d1"
                                                         << "?=d1 C=c1" << 0 << "";
}

void TestLogMerge::merge()
{
    QFETCH(QString, base);
    QFETCH(QString, ours);
    QFETCH(QString, theirs);
    TChargeLog memory = sideOf(ours);
    const TLogMerge change =
        base == QLatin1String("copy")
            ? LogMerge::MergeCopy(sideOf(theirs), memory)
            : LogMerge::MergeOutsideChange(sideOf(base), sideOf(theirs), memory);
    LogMerge::ApplyMerge(memory, change);
    QTEST(describe(memory), "expected");
    QTEST(int(change.Conflicts.size()), "conflicts");
    QFETCH(QString, dropped);
    QCOMPARE(change.DroppedOurs, dropped == QLatin1String("ours"));
    QCOMPARE(change.DroppedTheirs, dropped == QLatin1String("theirs"));
    // An edit keeps the charge's key: an open dialog on it still finds it.
    const TChargeLog before = sideOf(ours);
    for (const TChargeEntry &entry : change.Added)
        for (int i = 0; i < before.ChargeStringList.count(); ++i)
            if (before.ChargeStringList.at(i).Id == entry.Id)
                QCOMPARE(entry.Record.Key, before.ChargeStringList.at(i).Record.Key);
}

void TestLogMerge::mergeOfWhatDiffers_data()
{
    QTest::addColumn<QString>("change"); // what the other side did, and what went wrong
    QTest::addColumn<bool>("alone");     // merged from the charges that differ alone
    QTest::newRow("unchanged") << "" << true;
    QTest::newRow("edited, removed, added") << "edit remove add" << true;
    QTest::newRow("removed with a deletion, added under a new name") << "delete addnew" << true;
    QTest::newRow("a deletion taken back") << "undelete" << true;
    QTest::newRow("an added charge with an id the log holds") << "reuse" << false;
    QTest::newRow("a charge said unchanged that was edited") << "edit lie" << false;
    QTest::newRow("memory changed since") << "edit ours" << false;
}

void TestLogMerge::mergeOfWhatDiffers()
{
    QFETCH(QString, change);
    const QStringList words = change.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const auto add = [](TChargeLog &log, const QString &battery, double day) {
        log.StoreChargeRecord(-1, Day + day, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              battery, 2.0, 1.0, QStringLiteral("Normal"), QString(), QString());
    };
    TChargeLog base;
    for (int i = 0; i < 40; ++i)
        add(base, QString(QChar(u'a' + i % 4)), i);
    const QUuid undeleted = QUuid::createUuid();
    base.Deleted.insert(undeleted, Day + 1);
    TChargeLog disk = base;
    TChargeList &list = disk.ChargeStringList;
    for (const QString &word : words) {
        if (word == QLatin1String("edit")) {
            TChargeRecord record = list.record(3);
            record.AmpHours += 0.5;
            list.replace(3, record, list.text(3));
            list.setIdentity(3, list.at(3).Id, Day + 50);
        } else if (word == QLatin1String("remove") || word == QLatin1String("delete")) {
            if (word == QLatin1String("delete"))
                disk.Deleted.insert(list.at(7).Id, Day + 60);
            list.removeAt(7);
        } else if (word.startsWith(QLatin1String("add"))) {
            add(disk, word == QLatin1String("add") ? QStringLiteral("a") : QStringLiteral("new"),
                99);
        } else if (word == QLatin1String("undelete") || word == QLatin1String("reuse")) {
            add(disk, QStringLiteral("b"), 98);
            const bool undelete = word == QLatin1String("undelete");
            if (undelete)
                disk.Deleted.remove(undeleted);
            list.setIdentity(list.count() - 1,
                             undelete ? undeleted : base.ChargeStringList.at(10).Id, Day + 70);
        }
    }
    // Where each of the file's charges stands unchanged in the base, as a read finds it.
    std::vector<qint32> fromBase;
    for (int t = 0; t < list.count(); ++t) {
        qint32 found = -1;
        for (int b = 0; b < base.ChargeStringList.count(); ++b) {
            const TChargeEntry &known = base.ChargeStringList.at(b);
            if (known.Id == list.at(t).Id && known.Changed == list.at(t).Changed &&
                known.Record.AmpHours == list.record(t).AmpHours)
                found = b;
        }
        fromBase.push_back(found);
    }
    if (words.contains(QLatin1String("lie")))
        fromBase[3] = 3;
    TChargeLog memory = base;
    if (words.contains(QLatin1String("ours"))) {
        TChargeRecord record = memory.ChargeStringList.record(20);
        record.AmpHours = 7;
        memory.ChargeStringList.replace(20, record, QString());
    }

    const TChargeLog before = memory;
    TChargeLog whole = memory;
    const TLogMerge expected = LogMerge::MergeOutsideChange(base, disk, whole);
    const std::optional<TLogMerge> alone = LogMerge::MergeChangedOnly(base, disk, memory, fromBase);
    QTEST(alone.has_value(), "alone");
    if (!alone) {
        QCOMPARE(entries(memory), entries(before)); // left for the whole merge
        QCOMPARE(memory.NextKey, before.NextKey);
        return;
    }
    LogMerge::ApplyMerge(whole, expected);
    LogMerge::ApplyMerge(memory, *alone);
    QCOMPARE(entries(memory), entries(whole));
    QCOMPARE(alone->Removed.size(), expected.Removed.size());
    QCOMPARE(alone->Conflicts, expected.Conflicts);
    QCOMPARE(memory.NextKey, whole.NextKey);
    QCOMPARE(memory.BatteriesStringList.count(), whole.BatteriesStringList.count());
    QVERIFY(!words.contains(QLatin1String("addnew")) ||
            memory.BatteriesStringList.indexOf(QStringLiteral("new")) >= 0);
}

void TestLogMerge::restoreMatchesByIdThenByFields()
{
    // Memory: A as edited since the backup, B deleted since, C added since, D unchanged.
    TChargeLog memory = sideOf(QStringLiteral("A=a2@5 C=c1@6 D=d1@1 -B@5"));
    const qint32 keyOfA = memory.ChargeStringList.at(0).Record.Key;
    const qint32 keyOfD = memory.ChargeStringList.at(2).Record.Key;
    const TLogMerge restore =
        LogMerge::ReplaceBy(sideOf(QStringLiteral("A=a1@1 B=b1@1 ?=d1")), memory);
    LogMerge::ApplyMerge(memory, restore);
    // B comes back as a new charge with an id of its own; its old id stays deleted.
    QCOMPARE(describe(memory), QStringLiteral("-B -C ?=b1 A=a1 D=d1"));
    QCOMPARE(memory.ChargeStringList.at(memory.FindChargeIndex(keyOfA)).Record.AmpHours, 1.0);
    QVERIFY(memory.ChargeStringList.at(memory.FindChargeIndex(keyOfA)).Changed > Day + 5);
    QVERIFY(memory.FindChargeIndex(keyOfD) >= 0); // unchanged: kept as it was
    QCOMPARE(memory.ChargeStringList.at(memory.FindChargeIndex(keyOfD)).Changed, Day + 1);
}

// The purge at close deletes for good: a copy of the log from before it brings nothing back.
void TestLogMerge::purgedChargesStayDeleted()
{
    TChargeLog log = sideOf(QStringLiteral("A=a1@1 B=b1@1"));
    const TChargeLog before = log;
    log.BatteriesStringList.setMarked(log.BatteriesStringList.indexOf(QStringLiteral("a")), true);
    QCOMPARE(log.PurgeMarked(TChargeLog::NameKind::Battery), 1);
    QCOMPARE(describe(log), QStringLiteral("-A B=b1"));
    LogMerge::ApplyMerge(log, LogMerge::MergeCopy(before, log));
    QCOMPARE(describe(log), QStringLiteral("-A B=b1"));

    // More purged than the log keeps deletions of: those the save's pruning would keep.
    TChargeLog big;
    for (int i = 0; i < 2 * TChargeLog::DeletedKeptAtLeast; ++i)
        big.StoreChargeRecord(-1, Day + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("a"), 1.0, 1.0, QStringLiteral("Normal"), QString(),
                              QString());
    big.BatteriesStringList.setMarked(0, true);
    TChargeLog pruned = big;
    const double now = ChargeIdentity::nowUtc();
    for (int i = 0; i < pruned.ChargeStringList.count(); ++i)
        pruned.Deleted.insert(pruned.ChargeStringList.at(i).Id, now);
    pruned.ChargeStringList.clear();
    pruned.PruneDeleted(now);
    QCOMPARE(big.PurgeMarked(TChargeLog::NameKind::Battery), 2 * TChargeLog::DeletedKeptAtLeast);
    QCOMPARE(QSet<QUuid>(big.Deleted.keyBegin(), big.Deleted.keyEnd()),
             QSet<QUuid>(pruned.Deleted.keyBegin(), pruned.Deleted.keyEnd()));
}

void TestLogMerge::deletionsArePruned_data()
{
    QTest::addColumn<int>("charges");
    QTest::addColumn<int>("deletions");  // one a day back from now, the newest first
    QTest::addColumn<double>("spacing"); // days between them
    QTest::addColumn<int>("kept");
    QTest::newRow("a few, recent") << 10 << 3 << 1.0 << 3;
    QTest::newRow("older than 400 days go") << 10 << 500 << 1.0 << 400;
    QTest::newRow("never more than the floor for a small log") << 0 << 1200 << 0.1 << 1000;
    QTest::newRow("twice the charges of a large log") << 700 << 1500 << 0.1 << 1400;
}

void TestLogMerge::deletionsArePruned()
{
    QFETCH(int, charges);
    QFETCH(int, deletions);
    QFETCH(double, spacing);
    TChargeLog log;
    for (int i = 0; i < charges; ++i)
        log.StoreChargeRecord(-1, Day, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("b"), 1.0, 1.0, QStringLiteral("Normal"), QString(),
                              QString());
    const double now = Day + 1000;
    QUuid newest;
    for (int i = 0; i < deletions; ++i) {
        const QUuid id = QUuid::createUuid();
        log.Deleted.insert(id, now - 0.5 - i * spacing);
        if (i == 0)
            newest = id;
    }
    log.PruneDeleted(now);
    QTEST(int(log.Deleted.size()), "kept");
    QVERIFY(log.Deleted.contains(newest));
    for (const double when : std::as_const(log.Deleted))
        QVERIFY(when >= now - TChargeLog::DeletedKeptDays);
}

// Of charges that share an id, the first in the list keeps it and the others get ids of their
// own, in small logs and in logs whose id table is sorted in several passes.
void TestLogMerge::firstOfAnIdKeepsIt_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("small") << 12;
    QTest::newRow("large") << 5000;
}

void TestLogMerge::firstOfAnIdKeepsIt()
{
    QFETCH(int, count);
    TChargeLog log;
    for (int i = 0; i < count; ++i)
        log.StoreChargeRecord(-1, Day + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Cell"), 1.0, 1.0 + i, QStringLiteral("Normal"),
                              QString(), QString());
    TChargeList &list = log.ChargeStringList;
    const int first = 1, second = count / 2, third = count - 1;
    list.setIdentity(second, list.at(first).Id, Day);
    list.setIdentity(third, list.at(first).Id, Day);
    const QUuid shared = list.at(first).Id;
    LogMerge::IdentifyCharges(log, TChargeLog(), nullptr);
    QCOMPARE(list.at(first).Id, shared);
    QSet<QUuid> ids;
    for (int i = 0; i < list.count(); ++i) {
        QVERIFY(!list.at(i).Id.isNull());
        ids.insert(list.at(i).Id);
    }
    QCOMPARE(ids.size(), count);
}

// The merge's id tables: zeroed, whole, and handed on by moving, small ones from the heap and
// big ones (a mapping of their own) alike.
void TestLogMerge::zeroedTables_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("none") << 0;
    QTest::newRow("small") << 16;
    QTest::newRow("big, mapped") << (1 << 18) + 3;
}

void TestLogMerge::zeroedTables()
{
    QFETCH(int, count);
    TZeroedWords table{size_t(count)};
    QCOMPARE(table.size(), size_t(count));
    QVERIFY(std::all_of(table.begin(), table.end(), [](quint64 w) { return w == 0; }));
    for (int i = 0; i < count; i += 4093)
        table[size_t(i)] = quint64(i) + 1;
    if (count > 0)
        table[size_t(count - 1)] = 7;
    TZeroedWords moved(std::move(table));
    QVERIFY(table.empty());
    TZeroedWords assigned{size_t(5)};
    assigned = std::move(moved);
    QVERIFY(moved.empty());
    QCOMPARE(assigned.size(), size_t(count));
    for (int i = 0; i + 1 < count; i += 4093)
        QCOMPARE(assigned[size_t(i)], quint64(i) + 1);
    if (count > 0)
        QCOMPARE(assigned[size_t(count - 1)], quint64(7));
}

QTEST_GUILESS_MAIN(TestLogMerge)
#include "tst_logmerge.moc"
