#include "CommandLine.h"

#include <QtTest>

Q_DECLARE_METATYPE(StartMode)

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void startMode_data();
    void startMode();
    void options_data();
    void options();
    void csvOptions();
    void chargerLogOptions_data();
    void chargerLogOptions();
};

void TestCommandLine::startMode_data()
{
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<StartMode>("expected");

    QTest::newRow("none") << QStringList{} << StartMode::Standalone;
    QTest::newRow("/REGSERVER") << QStringList{"/REGSERVER"} << StartMode::Register;
    QTest::newRow("/regserver") << QStringList{"/regserver"} << StartMode::Register;
    QTest::newRow("-RegServer") << QStringList{"-RegServer"} << StartMode::Register;
    QTest::newRow("no prefix") << QStringList{"RegServer"} << StartMode::Standalone;
    QTest::newRow("suffix") << QStringList{"/RegServer:1"} << StartMode::Standalone;
    QTest::newRow("double dash") << QStringList{"--RegServer"} << StartMode::Standalone;
    QTest::newRow("prefix only") << QStringList{"-", "/"} << StartMode::Standalone;
    QTest::newRow("-unregserver") << QStringList{"-unregserver"} << StartMode::Unregister;
    QTest::newRow("/Automation") << QStringList{"/Automation"} << StartMode::Automation;
    QTest::newRow("-EMBEDDING") << QStringList{"-EMBEDDING"} << StartMode::Automation;
    QTest::newRow("reg before unreg")
        << QStringList{"/UnregServer", "/RegServer"} << StartMode::Register;
    QTest::newRow("automation over reg")
        << QStringList{"/RegServer", "/Automation"} << StartMode::Automation;
    QTest::newRow("among others") << QStringList{"--log-file", "x.QorLog", "-embedding"}
                                  << StartMode::Automation;
}

void TestCommandLine::startMode()
{
    QFETCH(QStringList, parameters);
    QFETCH(StartMode, expected);
    QCOMPARE(parseStartMode(QStringList{"/usr/bin/qorlog"} + parameters), expected);
    QCOMPARE(parseCommandLine(QStringList{"/usr/bin/qorlog"} + parameters).startMode, expected);
}

void TestCommandLine::options_data()
{
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<QString>("logFile");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::addColumn<bool>("error");

    QTest::newRow("none") << QStringList{} << QString() << false << false << false;
    QTest::newRow("log file") << QStringList{"--log-file", "/tmp/a b.QorLog"} << "/tmp/a b.QorLog"
                              << false << false << false;
    QTest::newRow("log file =") << QStringList{"--log-file=/tmp/x=y.QorLog", "-Automation"}
                                << "/tmp/x=y.QorLog" << false << false << false;
    QTest::newRow("log file missing")
        << QStringList{"--log-file"} << QString() << false << false << true;
    QTest::newRow("log file = empty")
        << QStringList{"--log-file="} << QString() << false << false << true;
    QTest::newRow("help version") << QStringList{"--version", "--help"} << QString() << true << true
                                  << false;
    QTest::newRow("export and import together")
        << QStringList{"--export-csv", "-", "--import-csv=a.csv"} << QString() << false << false
        << true;
    QTest::newRow("export without file")
        << QStringList{"--export-csv"} << QString() << false << false << true;
    // Anything that looks like an option and is none is refused, rather than starting the
    // window as if it had not been given; Qt's own options and the start switches pass.
    QTest::newRow("single dash help refused")
        << QStringList{"-help"} << QString() << false << false << true;
    QTest::newRow("unknown option")
        << QStringList{"--bogus", "--log-file", "a"} << "a" << false << false << true;
    QTest::newRow("unknown with value")
        << QStringList{"--log-file=a", "--bogus=1"} << "a" << false << false << true;
    QTest::newRow("Qt's options and a start switch")
        << QStringList{"-platform", "offscreen", "-style=fusion", "--reverse", "/Automation"}
        << QString() << false << false << false;
    QTest::newRow("a plain argument")
        << QStringList{"notes.txt", "-"} << QString() << false << false << false;
}

void TestCommandLine::options()
{
    QFETCH(QStringList, parameters);
    const CommandLineOptions options = parseCommandLine(QStringList{"qorlog"} + parameters);
    QTEST(options.logFile, "logFile");
    QTEST(options.help, "help");
    QTEST(options.version, "version");
    QTEST(!options.error.isEmpty(), "error");
}

void TestCommandLine::csvOptions()
{
    const CommandLineOptions a =
        parseCommandLine({"qorlog", "--export-csv", "-", "--log-file=/tmp/l.QorLog"});
    QCOMPARE(a.exportCsv, QStringLiteral("-"));
    QCOMPARE(a.logFile, QStringLiteral("/tmp/l.QorLog"));
    const CommandLineOptions b = parseCommandLine({"qorlog", "--import-csv=/tmp/a b.csv"});
    QCOMPARE(b.importCsv, QStringLiteral("/tmp/a b.csv"));
    QVERIFY(b.error.isEmpty());
}

void TestCommandLine::chargerLogOptions_data()
{
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<QString>("chargerLog");
    QTest::addColumn<bool>("csv");
    QTest::addColumn<bool>("error");
    QTest::newRow("figures") << QStringList{"--charger-log", "a b.txt"} << "a b.txt" << false
                             << false;
    QTest::newRow("= and csv") << QStringList{"--charger-log=x=1.csv", "--csv"} << "x=1.csv" << true
                               << false;
    QTest::newRow("slash, upper case")
        << QStringList{"/CHARGER-LOG", "c.txt", "/Csv"} << "c.txt" << true << false;
    QTest::newRow("single dash") << QStringList{"-Charger-Log=d.txt"} << "d.txt" << false << false;
    QTest::newRow("no file") << QStringList{"--charger-log"} << QString() << false << true;
    QTest::newRow("csv alone") << QStringList{"--csv"} << QString() << true << true;
}

void TestCommandLine::chargerLogOptions()
{
    QFETCH(QStringList, parameters);
    const CommandLineOptions options = parseCommandLine(QStringList{"qorlog"} + parameters);
    QTEST(options.chargerLog, "chargerLog");
    QTEST(options.csv, "csv");
    QTEST(!options.error.isEmpty(), "error");
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
