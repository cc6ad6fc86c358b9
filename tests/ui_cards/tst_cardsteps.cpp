// The document's battery card steps: each one step and one save, undone and made again whole.

#include "ChargeLogDocument.h"
#include "LogFile.h"

#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <memory>
#include <utility>

namespace {

const double Day0 = 46000.0;

QStringList batteriesOfRecords(const TChargeLog &log)
{
    QStringList names;
    for (int i = 0; i < log.ChargeStringList.count(); ++i)
        names << log.BatteriesStringList.name(log.ChargeStringList.record(i).BatteryIndex);
    return names;
}

TChargeLog onDisk(const QString &path)
{
    TChargeLog log;
    LogFile::LoadChargeLog(path, log);
    return log;
}

} // namespace

class TestCardSteps : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TChargeLogDocument> m_doc;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_doc = std::make_unique<TChargeLogDocument>(m_dir->filePath(QStringLiteral("t.QorLog")),
                                                     m_dir->path());
        m_doc->load();
        const QString names[] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A"),
                                 QStringLiteral("C")};
        for (int i = 0; i < 4; ++i)
            m_doc->storeCharge(-1, Day0 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                               names[i], 1, 1, QStringLiteral("Normal"), QString(), QString());
        m_doc->undoStack()->clear();
    }
    void cleanup() { m_doc.reset(); }

    void editIsOneStepAndSaved()
    {
        TBatteryCard card;
        card.Name = QStringLiteral("A");
        card.RatedCapacity = 2.5;
        card.Chemistry = TChemistry::LiPo;
        m_doc->storeCard(QStringLiteral("A"), card);
        QCOMPARE(m_doc->undoStack()->count(), 1);
        QCOMPARE(m_doc->undoStack()->undoText(), QStringLiteral("Edit Battery Card"));
        QCOMPARE(*onDisk(m_doc->path()).Cards.find(QStringLiteral("A")), card);
        // The same card again is no step.
        m_doc->storeCard(QStringLiteral("A"), card);
        QCOMPARE(m_doc->undoStack()->count(), 1);
        m_doc->undoStack()->undo();
        QVERIFY(onDisk(m_doc->path()).Cards.isEmpty());
        m_doc->undoStack()->redo();
        QCOMPARE(m_doc->log().Cards.find(QStringLiteral("a"))->RatedCapacity, 2.5);
        // A card that cannot be stored changes nothing.
        card.Note = QString(QChar(1));
        QVERIFY_THROWS_EXCEPTION(QorLogError, m_doc->storeCard(QStringLiteral("A"), card));
        QCOMPARE(m_doc->undoStack()->count(), 1);
    }

    void renameAndMerge_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("chart");
        QTest::newRow("new name") << QStringLiteral("Pack 1") << QStringLiteral("Rename Battery")
                                  << QStringList{"Pack 1", "B", "Pack 1", "C"}
                                  << QStringList{"Pack 1", "B", "C"};
        QTest::newRow("letter case")
            << QStringLiteral("a") << QStringLiteral("Rename Battery")
            << QStringList{"a", "B", "a", "C"} << QStringList{"a", "B", "C"};
        QTest::newRow("into another")
            << QStringLiteral("c") << QStringLiteral("Merge Batteries")
            << QStringList{"C", "B", "C", "C"} << QStringList{"A", "B", "C"};
    }
    void renameAndMerge()
    {
        QFETCH(QString, to);
        QFETCH(QString, step);
        QFETCH(QStringList, records);
        QFETCH(QStringList, chart);
        TBatteryCard target;
        target.Name = QStringLiteral("C");
        target.Cells = 4;
        m_doc->storeCard(QStringLiteral("C"), target);
        TBatteryCard card;
        card.Name = QStringLiteral("A");
        card.Cells = 2;
        m_doc->storeCard(QStringLiteral("A"), card);
        const QStringList before = batteriesOfRecords(m_doc->log());
        const QByteArray fileBefore = [this] {
            QFile f(m_doc->path());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();

        m_doc->renameBattery(QStringLiteral("A"), to);
        QCOMPARE(m_doc->undoStack()->undoText(), step);
        QCOMPARE(batteriesOfRecords(m_doc->log()), records);
        QCOMPARE(batteriesOfRecords(onDisk(m_doc->path())), records);
        QCOMPARE(m_doc->log().BatteriesStringList.names(), chart);
        // The card goes with the name; into another battery, that one's card stays.
        const TBatteryCards &cards = onDisk(m_doc->path()).Cards;
        QCOMPARE(cards.find(to)->Cells, step == QLatin1String("Merge Batteries") ? 4 : 2);
        QCOMPARE(cards.cards().size(), 2 - (step == QLatin1String("Merge Batteries")));

        m_doc->undoStack()->undo();
        QCOMPARE(batteriesOfRecords(m_doc->log()), before);
        QCOMPARE(m_doc->log().Cards.find(QStringLiteral("A"))->Cells, 2);
        QFile f(m_doc->path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        // The file is again exactly what it was, the times of the charges' edits included.
        QCOMPARE(f.readAll(), fileBefore);
        m_doc->undoStack()->redo();
        QCOMPARE(batteriesOfRecords(m_doc->log()), records);
    }

    void cardChangedByAnotherProgram()
    {
        TBatteryCard mine;
        mine.Name = QStringLiteral("A");
        mine.Cells = 1;
        m_doc->storeCard(QStringLiteral("A"), mine);
        // Another program adds a card for B and changes A's before this QorLog changes A's.
        TChargeLog other = onDisk(m_doc->path());
        TBatteryCard theirs = mine;
        theirs.Cells = 2;
        other.Cards.set(theirs);
        TBatteryCard b;
        b.Name = QStringLiteral("B");
        b.Note = QStringLiteral("from elsewhere");
        other.Cards.set(b);
        LogFile::SaveChargeLog(m_doc->path(), other);
        QSignalSpy notices(m_doc.get(), &TChargeLogDocument::notice);
        mine.Cells = 3;
        m_doc->storeCard(QStringLiteral("A"), mine);
        QCOMPARE(notices.last().at(1).toString(),
                 QStringLiteral("2 battery cards changed by another program"));
        QCOMPARE(m_doc->undoStack()->text(m_doc->undoStack()->count() - 2),
                 QStringLiteral("Change by Another Program"));

        // Now it changes A again while this QorLog saves its own change of A: this one's stays.
        bool changedAgain = false;
        m_doc->guard()->setBeforeCommitHook([&] {
            if (std::exchange(changedAgain, true))
                return;
            TChargeLog again = onDisk(m_doc->path());
            theirs.Cells = 4;
            again.Cards.set(theirs);
            LogFile::SaveChargeLog(m_doc->path(), again);
        });
        mine.Cells = 5;
        m_doc->storeCard(QStringLiteral("A"), mine);
        const TBatteryCards cards = onDisk(m_doc->path()).Cards;
        QCOMPARE(cards.find(QStringLiteral("A"))->Cells, 5);
        QCOMPARE(cards.find(QStringLiteral("B"))->Note, QStringLiteral("from elsewhere"));
        QVERIFY2(notices.last().at(1).toString().contains(
                     QLatin1String("Battery card A: changed on another desktop too")),
                 qPrintable(notices.last().at(1).toString()));
    }
};

QTEST_MAIN(TestCardSteps)
#include "tst_cardsteps.moc"
