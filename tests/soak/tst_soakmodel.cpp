// The soak's checker: each kind of difference is found, and what a step may change is not
// taken for one.

#include "SoakModel.h"

#include <QtTest>

using namespace Soak;

namespace {

// Tags a..e made in that order, each with its expectation: P present, A absent (never stored),
// D present once and deleted since, M maybe (no certain answer).
void prepare(Model &model, const QString &expectations)
{
    for (const QChar c : expectations) {
        const QString tag = model.newTag();
        if (c == QLatin1Char('D')) {
            model.expect(tag, Expect::Present);
            FileState state;
            state.readable = true;
            state.counts[tag] = 1;
            model.check(state, {});
            model.expect(tag, Expect::Absent);
        } else {
            model.expect(tag, c == QLatin1Char('P')   ? Expect::Present
                              : c == QLatin1Char('M') ? Expect::Maybe
                                                      : Expect::Absent);
        }
    }
}

} // namespace

class TestSoakModel : public QObject
{
    Q_OBJECT
private slots:
    void check_data()
    {
        QTest::addColumn<QString>("expectations");
        QTest::addColumn<QString>("counts"); // how often each tag is in the file
        QTest::addColumn<bool>("newRun");    // the program started again before the look
        QTest::addColumn<bool>("flip");      // the step was an undo or redo
        QTest::addColumn<int>("deletions");
        QTest::addColumn<QString>("found"); // a word of the difference, empty for none

        QTest::newRow("as confirmed") << "PPA"
                                      << "110" << false << false << 0 << "";
        QTest::newRow("lost") << "PPA"
                              << "010" << false << false << 0 << "gone";
        QTest::newRow("duplicated") << "PPA"
                                    << "120" << false << false << 0 << "2 times";
        QTest::newRow("refused but there") << "PPA"
                                           << "111" << false << false << 0 << "refused";
        QTest::newRow("deleted comes back") << "PD"
                                            << "11" << false << false << 0 << "came back";
        QTest::newRow("maybe either way") << "PMM"
                                          << "110" << false << false << 0 << "";
        QTest::newRow("undo takes back a charge of this run") << "PP"
                                                              << "10" << false << true << 0 << "";
        QTest::newRow("undo after a restart has nothing to take back")
            << "PP"
            << "10" << true << true << 0 << "gone";
        QTest::newRow("undo brings back a deletion of this run")
            << "PD"
            << "11" << false << true << 0 << "";
        QTest::newRow("delete of two rows") << "PPP"
                                            << "100" << false << false << 2 << "";
        QTest::newRow("delete of one row takes two") << "PPP"
                                                     << "100" << false << false << 1 << "gone";
    }
    void check()
    {
        QFETCH(QString, expectations);
        QFETCH(QString, counts);
        QFETCH(bool, newRun);
        QFETCH(bool, flip);
        QFETCH(int, deletions);
        QFETCH(QString, found);

        Model model;
        prepare(model, expectations);
        if (newRun)
            model.newRun();
        FileState file;
        file.readable = true;
        for (int i = 0; i < counts.size(); ++i)
            if (counts.at(i) != QLatin1Char('0'))
                file.counts[QStringLiteral("soak-%1").arg(i + 1)] = counts.at(i).digitValue();
        Allowance allowance;
        allowance.flip = flip;
        allowance.deletions = deletions;
        const QStringList differences = model.check(file, allowance);
        if (found.isEmpty())
            QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
        else
            QVERIFY2(differences.join(QLatin1Char('\n')).contains(found),
                     qPrintable(differences.join(QLatin1Char('\n'))));
        // What the step was allowed to change is the model from now on: the same file again
        // is no difference.
        if (found.isEmpty())
            QVERIFY(model.check(file, {}).isEmpty());
    }

    void unreadableAndStrangeFiles()
    {
        Model model;
        FileState damaged;
        damaged.error = QStringLiteral("line 3: not well-formed");
        QVERIFY(model.check(damaged, {}).join(QString()).contains(QLatin1String("read whole")));
        FileState stranger;
        stranger.readable = true;
        stranger.strangers = {QStringLiteral("hand-typed")};
        stranger.duplicateIds = {QStringLiteral("5b0e7c3a-91d2-4f6e-a817-3c64e20b9d51")};
        QCOMPARE(model.check(stranger, {}).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSoakModel)
#include "tst_soakmodel.moc"
