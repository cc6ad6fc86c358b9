// Figures of the real program serving AddCharge: calls per second from one client on a log of
// 1,000 charges, and the time of one call on a log of 100,000 charges. Printed, not judged.

#include "LogGenerator.h"
#include "ProgramRunner.h"

#include <QtDBus>
#include <QtTest>

using namespace E2e;

class TestFigures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void callsPerSecond_data();
    void callsPerSecond();
};

void TestFigures::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside tests/run-with-bus.sh");
}

void TestFigures::callsPerSecond_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("calls");
    QTest::newRow("1,000 charges") << 1000 << 200;
    QTest::newRow("100,000 charges") << 100000 << 5;
}

void TestFigures::callsPerSecond()
{
    QFETCH(int, records);
    QFETCH(int, calls);

    ProgramRun run;
    LogGenerator::writeGeneratedLog(run.logPath(), records);
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(run.startServing({}, 240000), qPrintable(run.stateText()));
    qInfo("%d charges: the program serves the bus %lld ms after its start", records,
          qint64(clock.elapsed()));

    QDBusConnection bus = QDBusConnection::sessionBus();
    QList<qint64> times;
    clock.start();
    for (int i = 0; i < calls; ++i) {
        Charge charge;
        charge.dateTime += i / 1440.0; // one a minute
        charge.comment = QStringLiteral("call %1").arg(i);
        QElapsedTimer one;
        one.start();
        const QDBusMessage reply = bus.call(addChargeMessage(charge), QDBus::Block, 240000);
        times << one.nsecsElapsed() / 1000;
        QVERIFY2(replyErrorName(reply).isEmpty(), qPrintable(reply.errorMessage()));
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::sort(times.begin(), times.end());
    qInfo("%d charges: %d AddCharge calls in %.3f s = %.1f calls/s; one call: fastest %.1f ms, "
          "median %.1f ms, slowest %.1f ms",
          records, calls, seconds, calls / seconds, times.first() / 1000.0,
          times.at(times.size() / 2) / 1000.0, times.last() / 1000.0);

    // Every call went into the file.
    QCOMPARE(readLog(run.logPath())->ChargeStringList.count(), records + calls);
}

QTEST_GUILESS_MAIN(TestFigures)
#include "tst_figures.moc"
