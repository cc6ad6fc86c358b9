// Four automation clients call AddCharge at the same time, 2,500 calls each, on the real
// program. Afterwards the log holds every charge exactly once and the program still answers.

#include "RobustSupport.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>

#include <memory>
#include <vector>

using namespace Robust;

class TestBusLoad : public QObject
{
    Q_OBJECT
private slots:
    void everyCallReachesTheFileOnce_data();
    void everyCallReachesTheFileOnce();
};

void TestBusLoad::everyCallReachesTheFileOnce_data()
{
    QTest::addColumn<int>("clients");
    QTest::addColumn<int>("callsEach");
    QTest::addColumn<int>("chargesBefore"); // charges in the log when the program starts

    // Every call rewrites the whole log, so the time grows with the square of the calls: the
    // full run of 4 x 2,500 calls takes far longer than a test run may. QORLOG_LOAD_CALLS sets
    // the calls of each client for the first row; the ctest entry tst_robust_busload_full
    // (configured with -DQORLOG_FULL_LOAD=ON) runs it with 2,500.
    const int calls = qEnvironmentVariableIsSet("QORLOG_LOAD_CALLS")
                          ? qEnvironmentVariableIntValue("QORLOG_LOAD_CALLS")
                          : 250;
    QTest::newRow("four clients on a short log") << 4 << calls << 25;
    QTest::newRow("four clients on a long log") << 4 << 25 << 5000;
}

void TestBusLoad::everyCallReachesTheFileOnce()
{
    QFETCH(int, clients);
    QFETCH(int, callsEach);
    QFETCH(int, chargesBefore);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("qorlog.QorLog"));
    QProcess filler;
    filler.start(helperPath("qorlog_saveloop"),
                 {QStringLiteral("add"), path, QString::number(chargesBefore)});
    QVERIFY(filler.waitForFinished(60000));
    QCOMPARE(filler.exitCode(), 0);

    ProgramUnderTest program;
    QVERIFY(program.start(path));

    std::vector<std::unique_ptr<QProcess>> senders;
    QElapsedTimer clock;
    clock.start();
    for (int c = 0; c < clients; ++c) {
        auto sender = std::make_unique<QProcess>();
        sender->setProcessChannelMode(QProcess::SeparateChannels);
        sender->start(helperPath("qorlog_loadclient"),
                      {QStringLiteral("client-%1").arg(c), QString::number(callsEach)});
        senders.push_back(std::move(sender));
    }
    for (auto &sender : senders) {
        QVERIFY(sender->waitForFinished(600000));
        const QByteArray out = sender->readAllStandardOutput().trimmed();
        QVERIFY2(sender->exitCode() == 0, (out + ' ' + sender->readAllStandardError()).constData());
        QCOMPARE(out, "ok " + QByteArray::number(callsEach) + " failed 0");
    }
    const qint64 elapsed = qMax<qint64>(1, clock.elapsed());
    const int calls = clients * callsEach;
    qInfo("%d calls from %d clients in %.1f s: %.0f calls per second", calls, clients,
          elapsed / 1000.0, calls * 1000.0 / elapsed);

    QVERIFY(program.isRunning());
    QStringList comments;
    QString failure;
    QVERIFY2(readComments(path, comments, failure), qPrintable(failure));
    QCOMPARE(comments.size(), chargesBefore + calls);
    const QSet<QString> distinct(comments.cbegin(), comments.cend());
    QCOMPARE(distinct.size(), comments.size());
    for (int c = 0; c < clients; ++c)
        for (int i = 0; i < callsEach; ++i)
            QVERIFY2(distinct.contains(QStringLiteral("client-%1 %2").arg(c).arg(i)),
                     qPrintable(QStringLiteral("client-%1 %2 is missing").arg(c).arg(i)));
    qInfo("%d new charges counted in the log, each once", int(comments.size()) - chargesBefore);

    // Still answering, and the answer reaches the file.
    const QDBusMessage reply = callAddCharge(chargeArguments(QStringLiteral("after the load")));
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    QVERIFY2(readComments(path, comments, failure), qPrintable(failure));
    QCOMPARE(comments.size(), chargesBefore + calls + 1);
    QCOMPARE(comments.count(QStringLiteral("after the load")), 1);
}

QTEST_GUILESS_MAIN(TestBusLoad)
#include "tst_busload.moc"
