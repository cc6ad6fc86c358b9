// qorlog --report: the real program reads a log it is given and prints the battery overview.

#include "BatteryReport.h"
#include "ChargeLog.h"
#include "CsvFile.h"
#include "LogFile.h"
#include "NumberText.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The report read back by the log's own CSV reader: every record whole, CRLF line ends.
QVector<QStringList> parseCsv(const QString &text, bool *wellFormed)
{
    QVector<QStringList> records;
    *wellFormed = text.endsWith(QLatin1String("\r\n")) &&
                  text.count(QLatin1Char('\n')) == text.count(QLatin1String("\r\n"));
    for (const CsvFile::Row &row : CsvFile::SplitRows(text, QLatin1Char(','))) {
        *wellFormed = *wellFormed && row.Error.isEmpty();
        records.append(row.Fields);
    }
    return records;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList &arguments)
{
    QProcess process;
    // No display and no bus: the report needs neither.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(name));
    // German numbers (a "," separator), English words: the report's texts are translated,
    // the CSV is not.
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LANGUAGE"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LC_NUMERIC"), QStringLiteral("de_DE.UTF-8"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QORLOG_PROGRAM), arguments);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void csvParsedBack();
    void plainText();
    void due();
    void failures_data();
    void failures();

private:
    QTemporaryDir m_dir;
    QString m_log;
};

void TestReport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_log = m_dir.filePath(QStringLiteral("report.QorLog"));
    TChargeLog log;
    const auto add = [&log](const QString &battery, double day, double amps, double ampHours) {
        log.StoreChargeRecord(-1, 46000 + day, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              battery, amps, ampHours, QStringLiteral("Normal"), QString(),
                              QString());
    };
    // "Pack, \"A\"" loses 0.1 Ah per discharge, eight days apart; "Steady" has charges only.
    for (int k = 0; k < 5; ++k) {
        add(QStringLiteral("Pack, \"A\""), 8 * k, 1.0, 2.0);
        add(QStringLiteral("Pack, \"A\""), 8 * k + 0.5, -1.0, -(2.0 - 0.1 * k));
    }
    add(QStringLiteral("Steady"), 1.25, 0.5, 1.5);
    LogFile::SaveChargeLog(m_log, log);
}

void TestReport::csvParsedBack()
{
    const Run run = runProgram(
        {QStringLiteral("--report"), QStringLiteral("--csv"), QStringLiteral("--log-file"), m_log});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    bool wellFormed = false;
    const QVector<QStringList> records = parseCsv(run.out, &wellFormed);
    QVERIFY2(wellFormed, qPrintable(run.out));
    QCOMPARE(records.size(), 3);
    QCOMPARE(records.at(0).join(QLatin1Char(',')),
             QStringLiteral("Battery,Cycles,Charges,Discharges,AhCharged,AhDischarged,Efficiency,"
                            "RetentionPercent,TrendPer100Cycles,EndOfLife,LastUsed,RatedCapacity,"
                            "RatedCycles,Chemistry,Cells,State,Due"));
    const QStringList pack = records.at(1);
    QCOMPARE(pack.size(), 17);
    QCOMPARE(pack.at(0), QStringLiteral("Pack, \"A\""));
    QCOMPARE(pack.mid(1, 5), (QStringList{"10", "5", "5", "10", "9"}));
    // "." decimals whatever the locale, read back as numbers.
    QCOMPARE(pack.at(6), QStringLiteral("0.9"));
    // Reference (2 + 1.9 + 1.8) / 3 = 1.9, latest 1.7; the trend -0.1 Ah per discharge.
    QVERIFY(qAbs(pack.at(7).toDouble() - 1.7 / 1.9 * 100) < 1e-9);
    QVERIFY(qAbs(pack.at(8).toDouble() - (-0.1 * 100 / 1.9 * 100)) < 1e-9);
    // 2 - 0.1 (t - 0.5) / 8 reaches 0.8 * 1.9 = 1.52 after 38.4 days: 2026-01-16 21:36.
    QCOMPARE(pack.at(9), QStringLiteral("2026-01-16"));
    QCOMPARE(pack.at(10), QStringLiteral("2026-01-10 12:00:00"));
    // Absent figures are empty fields, never "nan" or "inf"; never discharged, no efficiency.
    QCOMPARE(records.at(2), (QStringList{"Steady", "1", "1", "0", "1.5", "0", "", "", "", "",
                                         "2025-12-10 06:00:00", "", "", "", "", "",
                                         "unused since 2025-12-10; capacity test due"}));
}

void TestReport::plainText()
{
    const Run run = runProgram({QStringLiteral("--report"), QStringLiteral("--log-file"), m_log});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith(QStringLiteral("Battery")));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("Pack, \"A\"")));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("Steady")));
    // The columns line up: every line as long as the header, absent figures shown as "-".
    QVERIFY(lines.at(2).contains(QStringLiteral(" - ")));
    QVERIFY(!run.out.contains(QStringLiteral("nan"), Qt::CaseInsensitive));
}

void TestReport::due()
{
    // Days before now, as the program's clock has it.
    const QDateTime now = QDateTime::currentDateTime();
    const double today = DateTimeText::fromWallClock(now.date(), now.time());
    TChargeLog log;
    const auto add = [&](const QString &battery, double daysAgo, double ampHours) {
        log.StoreChargeRecord(-1, today - daysAgo, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              battery, ampHours, ampHours, QStringLiteral("Normal"), QString(),
                              QString());
    };
    add(QStringLiteral("Full"), 12, -1);
    add(QStringLiteral("Full"), 10.5, 1);
    add(QStringLiteral("Fine"), 2, -1);
    add(QStringLiteral("Gone"), 400, 1);
    const auto card = [&log](const QString &name, TChemistry chemistry, TBatteryState state) {
        TBatteryCard c;
        c.Name = name;
        c.Chemistry = chemistry;
        c.State = state;
        c.RatedCapacity = 1.25;
        log.Cards.set(c);
    };
    card(QStringLiteral("Full"), TChemistry::LiPo, TBatteryState::InUse);
    card(QStringLiteral("Gone"), TChemistry::LiPo, TBatteryState::Retired);
    const QString path = m_dir.filePath(QStringLiteral("due.QorLog"));
    LogFile::SaveChargeLog(path, log);

    const Run run = runProgram({QStringLiteral("--due"), QStringLiteral("--log-file"), path});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, QStringLiteral("Full: left full for 10 days: charge to storage\n"));
    // The report lists the retired battery too, with the rating from its card.
    const Run report = runProgram(
        {QStringLiteral("--report"), QStringLiteral("--csv"), QStringLiteral("--log-file"), path});
    QVERIFY2(report.exitCode == 0, qPrintable(report.err));
    QVERIFY2(report.out.contains(QStringLiteral("\r\nGone,1,1,0,")), qPrintable(report.out));
    QVERIFY(report.out.contains(QStringLiteral(",1.25,,LiPo,,Retired,\r\n")));
}

void TestReport::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing log") << QStringList{"--report", "--log-file", "/nonexistent/x.QorLog"}
                                 << 1 << "There is no log file";
    QTest::newRow("due, missing log") << QStringList{"--due", "--log-file", "/nonexistent/x.QorLog"}
                                      << 1 << "There is no log file";
    QTest::newRow("csv alone") << QStringList{"--csv"} << 2 << "--csv goes with --report";
    // Without a display a start with windows says so before Qt would abort, and points at the
    // runs that need none; an unknown option is refused before anything starts.
    QTest::newRow("no display") << QStringList{"--log-file", "/nonexistent/x.QorLog"} << 1
                                << "qorlog: cannot open a window: no display\n"
                                   "Without a display QorLog still reads and writes its log";
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << 2 << "qorlog: unrecognised option '--bogus'";
}

void TestReport::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const Run run = runProgram(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
