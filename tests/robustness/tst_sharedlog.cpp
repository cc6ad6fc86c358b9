// Several processes save one log at the same time, each through its own log file guard, as two
// QorLogs in two sessions on a log in a shared folder do. Every charge each of them stored must
// be in the file afterwards, exactly once.

#include "ChargeLog.h"
#include "LogFile.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

class TestSharedLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyChargeOfEveryProcessIsKept_data();
    void everyChargeOfEveryProcessIsKept();
};

void TestSharedLog::everyChargeOfEveryProcessIsKept_data()
{
    QTest::addColumn<int>("processes");
    QTest::addColumn<int>("charges"); // each stores and saves this many, one at a time
    QTest::addColumn<int>("startCharges");
    QTest::newRow("two on a new log") << 2 << 120 << 0;
    QTest::newRow("three on a long log") << 3 << 40 << 2000;
}

void TestSharedLog::everyChargeOfEveryProcessIsKept()
{
    QFETCH(int, processes);
    QFETCH(int, charges);
    QFETCH(int, startCharges);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shared.QorLog"));
    if (startCharges > 0) {
        TChargeLog log;
        for (int i = 0; i < startCharges; ++i)
            log.StoreChargeRecord(-1, 30000.0 + i, QStringLiteral("Mains"), QStringLiteral("C"),
                                  QStringLiteral("P"), 1.0, 1.0, QStringLiteral("Normal"),
                                  QStringLiteral("old %1").arg(i), QString());
        LogFile::SaveChargeLog(path, log);
    }
    const QString helper = QStringLiteral(QORLOG_ROBUST_HELPERS "/qorlog_saveloop");
    std::vector<std::unique_ptr<QProcess>> running;
    for (int p = 0; p < processes; ++p) {
        running.push_back(std::make_unique<QProcess>());
        running.back()->start(helper, {QStringLiteral("guard"), path, QString::number(charges),
                                       QStringLiteral("p%1").arg(p)});
    }
    for (const auto &process : running) {
        QVERIFY(process->waitForFinished(120000));
        QVERIFY2(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0,
                 process->readAllStandardError().constData());
    }
    TChargeLog log;
    LogFile::LoadChargeLog(path, log);
    QCOMPARE(log.ChargeStringList.count(), startCharges + processes * charges);
    // Each process's charges 1..N, each once.
    QHash<QString, int> seen;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        QString fileName, comment;
        TChargeList::SplitChargeText(log.ChargeStringList.text(i), fileName, comment);
        ++seen[comment];
    }
    for (int p = 0; p < processes; ++p)
        for (int i = 1; i <= charges; ++i)
            QCOMPARE(seen.value(QStringLiteral("p%1 charge %2").arg(p).arg(i)), 1);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".lock")));
}

QTEST_GUILESS_MAIN(TestSharedLog)
#include "tst_sharedlog.moc"
