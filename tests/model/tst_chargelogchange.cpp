// Taking records out by key and putting them back at their places, as undo steps do.

#include "ChargeLogChange.h"

#include <QtTest>

class TestChargeLogChange : public QObject
{
    Q_OBJECT

    // Keys 1..count, in that order.
    static TChargeList listOf(int count)
    {
        TChargeList list;
        for (int key = 1; key <= count; ++key) {
            TChargeRecord record;
            record.Key = key;
            list.append(record, QString::number(key));
        }
        return list;
    }
    static QList<qint32> keys(const TChargeList &list)
    {
        QList<qint32> result;
        for (int i = 0; i < list.count(); ++i)
            result.append(list.record(i).Key);
        return result;
    }

private Q_SLOTS:
    void takeAndPutBack_data()
    {
        QTest::addColumn<QList<qint32>>("taken");
        QTest::addColumn<QList<qint32>>("left");
        QTest::newRow("none") << QList<qint32>{} << QList<qint32>{1, 2, 3, 4, 5, 6};
        QTest::newRow("first and last") << QList<qint32>{1, 6} << QList<qint32>{2, 3, 4, 5};
        QTest::newRow("scattered, unknown key skipped")
            << QList<qint32>{2, 4, 5, 99} << QList<qint32>{1, 3, 6};
        QTest::newRow("all") << QList<qint32>{6, 5, 4, 3, 2, 1} << QList<qint32>{};
        QTest::newRow("keys far apart")
            << QList<qint32>{1, 6, 2000000000} << QList<qint32>{2, 3, 4, 5};
    }
    void takeAndPutBack()
    {
        QFETCH(QList<qint32>, taken);
        QFETCH(QList<qint32>, left);
        TChargeList list = listOf(6);
        const QVector<TPositionedEntry> out =
            list.takeKeys(QSet<qint32>(taken.cbegin(), taken.cend()));
        QCOMPARE(keys(list), left);
        QCOMPARE(list.FindChargeIndex(99), -1);
        for (const TPositionedEntry &e : out)
            QCOMPARE(e.Entry.Record.Key, e.Position + 1); // where it was, text and all
        list.insertAtPositions(out);
        QCOMPARE(keys(list), keys(listOf(6)));
        QCOMPARE(list.text(list.FindChargeIndex(6)), QStringLiteral("6"));
    }

    // Entries put back into a list of its own (in place) land where they land in a shared one
    // (a new list): at their positions, after one another, past the end appended.
    void putBackOwnOrShared_data()
    {
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QList<qint32>>("expected"); // new entries are keys 101, 102, ...
        QTest::newRow("front and middle") << QList<int>{0, 3} << QList<qint32>{101, 1, 2, 102, 3};
        QTest::newRow("the same place twice")
            << QList<int>{1, 1} << QList<qint32>{1, 101, 102, 2, 3};
        QTest::newRow("past the end")
            << QList<int>{2, 9, 40} << QList<qint32>{1, 2, 101, 3, 102, 103};
        QTest::newRow("below zero") << QList<int>{-3} << QList<qint32>{101, 1, 2, 3};
    }
    void putBackOwnOrShared()
    {
        QFETCH(QList<int>, positions);
        QFETCH(QList<qint32>, expected);
        QVector<TPositionedEntry> entries;
        for (int i = 0; i < positions.size(); ++i) {
            TChargeRecord record;
            record.Key = 101 + i;
            entries.append(TPositionedEntry{positions.at(i), TChargeEntry{QString(), record}});
        }
        TChargeList own = listOf(3);
        own.insertAtPositions(entries);
        QCOMPARE(keys(own), expected);
        TChargeList shared = listOf(3);
        const TChargeList copy = shared;
        shared.insertAtPositions(entries);
        QCOMPARE(keys(shared), expected);
        QCOMPARE(keys(copy), (QList<qint32>{1, 2, 3}));
        for (qint32 key : expected)
            QCOMPARE(own.record(own.FindChargeIndex(key)).Key, key);
    }

    void changeUndoesAndRedoesExactly()
    {
        // An edit of key 2 that moved it to the end, plus a new key 7 in front.
        TChargeList list = listOf(4);
        TChargeLogChange change;
        change.Removed = TChargeLogChange::positionsOf(list, {2});
        list.takeKeys({2});
        TChargeRecord moved = change.Removed.first().Entry.Record;
        TChargeRecord added;
        added.Key = 7;
        change.Added = {TPositionedEntry{0, TChargeEntry{QStringLiteral("7"), added}},
                        TPositionedEntry{4, TChargeEntry{QStringLiteral("edited"), moved}}};
        list.insertAtPositions(change.Added);
        const QList<qint32> after{7, 1, 3, 4, 2};
        QCOMPARE(keys(list), after);
        change.undo(list);
        QCOMPARE(keys(list), (QList<qint32>{1, 2, 3, 4}));
        QCOMPARE(list.text(1), QStringLiteral("2"));
        change.redo(list);
        QCOMPARE(keys(list), after);
        QCOMPARE(list.text(4), QStringLiteral("edited"));
    }

    // The log's deletions follow its changes: a deletion is recorded, its undo takes the id
    // back out, and a change that brings a deleted charge back keeps the time it was deleted
    // at for its undo.
    void deletionsFollowUndoAndRedo()
    {
        TChargeLog log;
        log.ChargeStringList = listOf(3);
        for (int i = 0; i < 3; ++i)
            log.ChargeStringList.setIdentity(i, QUuid::createUuid(), 1.0);
        const QUuid first = log.ChargeStringList.at(0).Id;
        TChargeLogChange deletion;
        deletion.Removed = log.ChargeStringList.takeKeys({1});
        deletion.recordDeletions(log.Deleted, {}, 100.0);
        QCOMPARE(log.Deleted, (QHash<QUuid, double>{{first, 100.0}}));
        deletion.undo(log);
        QVERIFY(log.Deleted.isEmpty());
        QCOMPARE(log.ChargeStringList.count(), 3);
        deletion.redo(log);
        QCOMPARE(log.Deleted, (QHash<QUuid, double>{{first, 100.0}}));

        // An edit that keeps the id is no deletion; a charge coming back is deleted no more.
        TChargeLogChange back;
        TChargeEntry returned = deletion.Removed.first().Entry;
        back.Removed = log.ChargeStringList.takeKeys({2});
        TChargeEntry edited = back.Removed.first().Entry;
        edited.Text = QStringLiteral("edited");
        log.ChargeStringList.append(returned);
        log.ChargeStringList.append(edited);
        back.Added = TChargeLogChange::positionsOf(log.ChargeStringList, {1, 2});
        back.recordDeletions(log.Deleted, {}, 200.0);
        QVERIFY(log.Deleted.isEmpty());
        back.undo(log);
        QCOMPARE(log.Deleted, (QHash<QUuid, double>{{first, 100.0}}));
        QCOMPARE(keys(log.ChargeStringList), (QList<qint32>{2, 3}));
    }

    // More deletions at once than the log keeps: recording only those its pruning keeps
    // leaves the log, once pruned, as recording them all would, and the undo as well. Some
    // older deletions are there already; a merge gives times of its own, some equal.
    void deletionsBeyondWhatIsKept_data()
    {
        QTest::addColumn<int>("charges");
        QTest::addColumn<int>("deleting");
        QTest::addColumn<bool>("ownTimes");
        QTest::newRow("all, one time") << 1500 << 1500 << false;
        QTest::newRow("most, times of their own") << 1600 << 1450 << true;
        QTest::newRow("fewer than kept") << 1200 << 800 << false;
    }
    void deletionsBeyondWhatIsKept()
    {
        QFETCH(int, charges);
        QFETCH(int, deleting);
        QFETCH(bool, ownTimes);
        TChargeLog log;
        log.ChargeStringList = listOf(charges);
        for (int i = 0; i < charges; ++i)
            log.ChargeStringList.setIdentity(i, QUuid::createUuid(), 1.0);
        for (int i = 0; i < 300; ++i)
            log.Deleted.insert(QUuid::createUuid(), 50.0 + i % 7);
        const QHash<QUuid, double> before = log.Deleted;
        QSet<qint32> keys;
        QHash<QUuid, double> times;
        for (int i = 0; i < deleting; ++i) {
            keys.insert(i + 1);
            if (ownTimes)
                times.insert(log.ChargeStringList.at(i).Id, 40.0 + i % 30);
        }
        TChargeLog all = log, capped = log;
        TChargeLogChange allStep, cappedStep;
        allStep.Removed = all.ChargeStringList.takeKeys(keys);
        allStep.recordDeletions(all.Deleted, times, 100.0);
        cappedStep.Removed = capped.ChargeStringList.takeKeys(keys);
        cappedStep.recordDeletions(capped.Deleted, times, 100.0, capped.deletionsKept());
        QCOMPARE(capped.Deleted.size(),
                 before.size() + qMin(allStep.DeletionsAdded.size(), capped.deletionsKept()));
        all.PruneDeleted(100.0);
        capped.PruneDeleted(100.0);
        QCOMPARE(capped.Deleted, all.Deleted);
        using Pairs = QSet<QPair<QUuid, double>>;
        const Pairs cappedAdded(cappedStep.DeletionsAdded.cbegin(),
                                cappedStep.DeletionsAdded.cend());
        const Pairs allAdded(allStep.DeletionsAdded.cbegin(), allStep.DeletionsAdded.cend());
        QCOMPARE(cappedAdded, allAdded);
        cappedStep.undo(capped);
        QCOMPARE(capped.ChargeStringList.count(), charges);
        for (auto it = capped.Deleted.cbegin(); it != capped.Deleted.cend(); ++it)
            QCOMPARE(before.value(it.key(), -1.0), it.value());
    }

    void positionsPastTheEndAppend()
    {
        TChargeList list = listOf(2);
        TChargeRecord record;
        record.Key = 9;
        list.insertAtPositions({TPositionedEntry{7, TChargeEntry{QString(), record}}});
        QCOMPARE(keys(list), (QList<qint32>{1, 2, 9}));
    }
};

QTEST_APPLESS_MAIN(TestChargeLogChange)
#include "tst_chargelogchange.moc"
