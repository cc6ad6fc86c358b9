#include "ChargeLog.h"
#include "CsvFile.h"
#include "CsvImport.h"
#include "LogFile.h"
#include "ModelTestHelpers.h"

#include <QtTest>

#include <ctime>
#include <limits>

#include <sys/stat.h>

using CsvImport::Column;
using ModelTestHelpers::describeCharges;

namespace {

const QLocale German(QLocale::German, QLocale::Germany);

double at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return CsvFile::JoinDayCount(QDate(y, mo, d), ((h * 60 + mi) * 60 + s) * 1000 + ms);
}

void add(TChargeLog &log, double when, const QString &battery, double amps, double ah,
         const QString &comment = {}, const QString &logFile = {},
         const QString &source = QStringLiteral("PSU"))
{
    log.StoreChargeRecord(-1, when, source, QStringLiteral("QorA1"), battery, amps, ah,
                          QStringLiteral("Normal"), comment, logFile);
}

// Records whose texts and numbers test every rule of the format.
TChargeLog awkwardLog()
{
    TChargeLog log;
    add(log, at(2023, 3, 26, 2, 30), QStringLiteral("Cell 1"), 2, 1.5, QStringLiteral("plain"));
    add(log, at(2021, 1, 2, 3, 4, 5, 678), QStringLiteral("Pack, \"big\""), -0.25, -1.0 / 3,
        QStringLiteral("line one\r\nline two; \"quoted\", a*star"),
        QStringLiteral("/logs/a b.txt"));
    add(log, at(1899, 12, 29, 18), QStringLiteral("Zelle \u00e4\u00f6\u00fc \U0001F50B"), 1e-7,
        123456789.125, QStringLiteral("\ttab\tand\nnewline"), {}, QStringLiteral("Solar"));
    add(log, at(2030, 12, 31, 23, 59, 59), QStringLiteral("Cell 1"), 0, 0, {},
        QStringLiteral("C:\\x;y.log"));
    return log;
}

struct Imported
{
    CsvImport::Plan plan;
    TChargeLog log;
};

// Reads CSV bytes with the detected settings and suggested mapping, and adds the good rows.
Imported importBytes(const QByteArray &bytes, TChargeLog log = TChargeLog())
{
    Imported result;
    result.plan = CsvImport::MakeDetectedPlan(CsvFile::Document::fromBytes(bytes), log);
    for (const TChargeEntry &e : CsvImport::MakeEntries(log, result.plan.Charges))
        log.ChargeStringList.append(e.Record, e.Text);
    log.ChargeStringList.sortByDateTime();
    result.log = std::move(log);
    return result;
}

QString fileError(const QByteArray &bytes)
{
    try {
        CsvFile::Document::fromBytes(bytes);
        return {};
    } catch (const QorLogError &error) {
        return error.message();
    }
}

} // namespace

class TestCsv : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // A zone with a daylight-saving gap at 2023-03-26 02:00: the export's wall-clock time
        // must not move through it.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void roundTrip_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("regional");
        QTest::newRow("C, comma and point") << QLocale::c() << false;
        QTest::newRow("German, comma and point") << German << false;
        QTest::newRow("German, semicolon and comma") << German << true;
    }
    void roundTrip()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, regional);
        QLocale::setDefault(locale);
        TChargeLog log = awkwardLog();
        log.ChargeStringList.sortByDateTime();
        const CsvFile::ExportFormat format =
            regional ? CsvFile::ExportFormat::regional() : CsvFile::ExportFormat();
        const QByteArray csv = CsvFile::ToCsv(log, format, false);
        const Imported back = importBytes(csv);
        QVERIFY2(back.plan.Errors.isEmpty(), qPrintable(CsvImport::Summary(back.plan, false)));
        QCOMPARE(describeCharges(back.log), describeCharges(log));
        // Importing it again adds nothing: every row is already there.
        const Imported again = importBytes(csv, back.log);
        QCOMPARE(again.plan.Charges.size(), 0);
        QCOMPARE(again.plan.Duplicates, log.ChargeStringList.count());
    }

    void writtenBytes()
    {
        TChargeLog log = awkwardLog();
        log.BatteriesStringList.setMarked(log.BatteriesStringList.indexOf(QStringLiteral("Cell 1")),
                                          true);
        const QByteArray all = CsvFile::ToCsv(log, CsvFile::ExportFormat(), false);
        QVERIFY(all.startsWith("DateTime,DayCount,PowerSource,Charger,Battery,NominalChargeAmps,"
                               "AmpHours,Termination,Comment,ChargerLogFileName\r\n"));
        QVERIFY(all.contains("\r\n1899-12-29T18:00:00,-1.75,Solar,"));
        QVERIFY(all.contains("\r\n2021-01-02T03:04:05,"));
        QVERIFY(all.contains(",\"Pack, \"\"big\"\"\",-0.25,-0.3333333333333333,Normal,"
                             "\"line one\r\nline two; \"\"quoted\"\", a*star\",/logs/a b.txt\r\n"));
        QVERIFY(all.contains("\r\n2023-03-26T02:30:00,"));
        QVERIFY(all.endsWith(",0,0,Normal,,C:\\x;y.log\r\n"));
        // The shown records only: both of the marked battery go.
        const QByteArray shown = CsvFile::ToCsv(log, CsvFile::ExportFormat(), true);
        QCOMPARE(shown.count("\r\n") - 1, 3);
        QVERIFY(!shown.contains("Cell 1"));
        // ";" and the decimal comma quote the texts holding a ";" instead.
        const QByteArray regional =
            CsvFile::ToCsv(log, CsvFile::ExportFormat::regional(German), false);
        QVERIFY(regional.contains(";-0,25;-0,3333333333333333;Normal;"));
        QVERIFY(regional.contains(";\"C:\\x;y.log\"\r\n"));
        QVERIFY(regional.contains(";Pack, \"\"big\"\";") == false);
    }

    void detection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<bool>("header");
        QTest::addColumn<QString>("point");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("charges");
        const int utf8 = int(CsvFile::Encoding::Utf8), bom = int(CsvFile::Encoding::Utf8WithBom),
                  cp1252 = int(CsvFile::Encoding::Windows1252);
        QTest::newRow("export") << CsvFile::ToCsv(awkwardLog(), CsvFile::ExportFormat(), false)
                                << "," << true << "." << utf8 << 4;
        QTest::newRow("semicolon, decimal comma, BOM")
            << QByteArray("\xEF\xBB\xBF"
                          "date;time;battery;amps;ah\r\n2024-01-05;14:30;A;1,5;2,25\r\n"
                          "2024-01-06;8:00:10;B;2;0,5\r\n")
            << ";" << true << "," << bom << 2;
        QTest::newRow("tab, no header, log field order")
            << QByteArray("2024-01-05 14:30\tPSU\tQorA1\tA\t1.5\t2.25\tNormal\tok\t\n"
                          "45000.5\tPb\tQorA1\tB\t1\t1\tError\t\t\n")
            << "\t" << false << "." << utf8 << 2;
        QTest::newRow("not UTF-8, unknown titles")
            << QByteArray("Datum;Akku;Strom\n05.01.2024;Zelle \xE4;1,5\n") << ";" << true << ","
            << cp1252 << 0;
    }
    void detection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, delimiter);
        QFETCH(bool, header);
        QFETCH(QString, point);
        QFETCH(int, encoding);
        QFETCH(int, charges);
        const CsvFile::Settings s = CsvFile::Document::fromBytes(bytes).detected();
        QCOMPARE(QString(s.Delimiter), delimiter);
        QCOMPARE(s.HasHeader, header);
        QCOMPARE(QString(s.DecimalPoint), point);
        QCOMPARE(int(s.TextEncoding), encoding);
        if (charges == 0) {
            // No known title: nothing mapped, so nothing gives the date.
            QVERIFY_THROWS_EXCEPTION(QorLogError, importBytes(bytes));
            return;
        }
        const Imported result = importBytes(bytes);
        QVERIFY2(result.plan.Errors.isEmpty(), qPrintable(CsvImport::Summary(result.plan, false)));
        QCOMPARE(result.plan.Charges.size(), charges);
    }

    void dateJoinAndWindows1252Text()
    {
        const Imported r = importBytes(
            QByteArray("Date,Time,Battery,Amps,Ah,Comment\n"
                       "2024-01-05,14:30,A,1.5,2.25,caf\xE9 5\x80 \x84x\x93 \x81\x9F\n"));
        QCOMPARE(r.plan.Charges.size(), 1);
        QCOMPARE(r.plan.Charges.front().DateTime, at(2024, 1, 5, 14, 30));
        QCOMPARE(r.plan.Charges.front().Comment,
                 QStringLiteral("caf\u00e9 5\u20ac \u201ex\u201c \u0081\u0178"));
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<double>("days"); // NaN: not a date
        const double no = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("ISO") << "2023-03-26T02:30:00" << QLocale::c() << at(2023, 3, 26, 2, 30);
        QTest::newRow("ISO with ms")
            << "2021-01-02T03:04:05.678" << QLocale::c() << at(2021, 1, 2, 3, 4, 5, 678);
        QTest::newRow("blank, no seconds")
            << " 2024-02-29 7:05 " << QLocale::c() << at(2024, 2, 29, 7, 5);
        QTest::newRow("date only") << "1899-12-29" << QLocale::c() << -1.0;
        QTest::newRow("German short") << "26.03.23 14:30" << German << at(2023, 3, 26, 14, 30);
        QTest::newRow("US short") << "3/26/23 2:30 PM"
                                  << QLocale(QLocale::English, QLocale::UnitedStates)
                                  << at(2023, 3, 26, 14, 30);
        QTest::newRow("day count, comma") << "45000,75" << German << 45000.75;
        QTest::newRow("no such day") << "2023-02-30" << QLocale::c() << no;
        QTest::newRow("no such hour") << "2023-02-03 24:00" << QLocale::c() << no;
        QTest::newRow("words") << "yesterday" << QLocale::c() << no;
        QTest::newRow("nan") << "nan" << QLocale::c() << no;
        // Numbers with a four-digit year, whatever the locale's short format says.
        QTest::newRow("dotted, German") << "09.12.2025" << German << at(2025, 12, 9);
        QTest::newRow("dotted with time, C")
            << "9.12.2025 18:00" << QLocale::c() << at(2025, 12, 9, 18);
        QTest::newRow("dashed with seconds")
            << "31-12-2025 7:05:09" << German << at(2025, 12, 31, 7, 5, 9);
        QTest::newRow("slash, day above 12") << "31/01/2025" << QLocale::c() << at(2025, 1, 31);
        QTest::newRow("slash, month first, PM")
            << "01/31/2025 6:30 PM" << German << at(2025, 1, 31, 18, 30);
        QTest::newRow("slash, 12 AM") << "01/31/2025 12:00 am" << QLocale::c() << at(2025, 1, 31);
        QTest::newRow("slash, same either way") << "05/05/2025" << QLocale::c() << at(2025, 5, 5);
        QTest::newRow("slash, either way round") << "05/04/2025" << QLocale::c() << no;
        QTest::newRow("dotted, no such day") << "31.02.2025" << German << no;
        QTest::newRow("dotted, 13 PM") << "01.02.2025 13:00 PM" << German << no;
    }
    void dates()
    {
        QFETCH(QString, text);
        QFETCH(QLocale, locale);
        QFETCH(double, days);
        double parsed = 0;
        const QChar point = locale.decimalPoint().at(0);
        const bool ok = CsvImport::ParseDateTime(text, point, locale, parsed);
        QCOMPARE(ok, !std::isnan(days));
        if (ok)
            QCOMPARE(parsed, days);
    }

    // Dates with "/" read in the order the file's dates show, or as chosen.
    void fileDateOrder_data()
    {
        QTest::addColumn<QStringList>("dates");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("read"); // the dates as read, or the refusal's words
        const int detect = int(CsvFile::DateOrder::Detect), day = int(CsvFile::DateOrder::DayFirst),
                  month = int(CsvFile::DateOrder::MonthFirst);
        QTest::newRow("dotted") << QStringList{"09.12.2025", "10.12.2025"} << detect
                                << "2025-12-09 2025-12-10";
        QTest::newRow("a day above 12 first")
            << QStringList{"05/04/2025", "13/01/2025"} << detect << "2025-04-05 2025-01-13";
        QTest::newRow("a day above 12 second")
            << QStringList{"05/04/2025", "01/13/2025 18:00"} << detect << "2025-05-04 2025-01-13";
        QTest::newRow("either way") << QStringList{"05/04/2025", "06/07/2025"} << detect
                                    << "'05/04/2025' is 2025-04-05 or 2025-05-04";
        QTest::newRow("either way, day first chosen")
            << QStringList{"05/04/2025", "06/07/2025"} << day << "2025-04-05 2025-07-06";
        QTest::newRow("either way, month first chosen")
            << QStringList{"05/04/2025", "06/07/2025"} << month << "2025-05-04 2025-06-07";
        QTest::newRow("the same either way")
            << QStringList{"05/05/2025", "2025-06-07"} << detect << "2025-05-05 2025-06-07";
        QTest::newRow("month first chosen, a day above 12 first")
            << QStringList{"13/01/2025"} << month << "'13/01/2025' is not a date";
    }
    void fileDateOrder()
    {
        QFETCH(QStringList, dates);
        QFETCH(int, order);
        QFETCH(QString, read);
        QList<CsvFile::Row> rows{{1, {"Date", "Battery"}, {}}};
        for (const QString &date : dates)
            rows.append({int(rows.size()) + 1, {date, QStringLiteral("A")}, {}});
        CsvFile::Settings settings;
        settings.Dates = CsvFile::DateOrder(order);
        // Whatever the locale: the German short format has a two-digit year.
        for (const QLocale &locale : {QLocale::c(), German}) {
            QString got;
            try {
                const CsvImport::Plan plan = CsvImport::MakePlan(
                    rows, settings, CsvImport::guessMapping(rows, true), TChargeLog(), locale);
                QStringList days;
                for (const CsvImport::Charge &c : plan.Charges)
                    days << CsvFile::FormatIsoDateTime(c.DateTime).left(10);
                for (const CsvImport::RowError &e : plan.Errors)
                    days << e.Reason;
                got = days.join(QLatin1Char(' '));
            } catch (const QorLogError &error) {
                got = error.message();
            }
            QVERIFY2(got.contains(read), qPrintable(got));
        }
    }

    void germanSpreadsheetFile()
    {
        for (const QLocale &locale : {QLocale::c(), German}) {
            QLocale::setDefault(locale);
            const CsvFile::Document document =
                CsvFile::Document::fromFile(QStringLiteral(QORLOG_TEST_DATA "/spreadsheet-de.csv"));
            QCOMPARE(document.detected().Delimiter, QLatin1Char(';'));
            QCOMPARE(document.detected().DecimalPoint, QLatin1Char(','));
            const CsvImport::Plan plan = CsvImport::MakeDetectedPlan(document, TChargeLog());
            QVERIFY2(plan.Errors.isEmpty(), qPrintable(CsvImport::Summary(plan, false)));
            QCOMPARE(plan.Charges.size(), 2);
            const CsvImport::Charge &first = plan.Charges.at(0), &second = plan.Charges.at(1);
            QCOMPARE(first.DateTime, at(2025, 12, 9, 18));
            QCOMPARE(first.NominalChargeAmps, 1.5);
            QCOMPARE(first.AmpHours, 2.25);
            QCOMPARE(first.Comment, QStringLiteral("Preis 3,50 \u20ac; \"g\u00fcnstig\""));
            QCOMPARE(second.DateTime, at(2025, 12, 10, 7, 5, 30));
            QCOMPARE(second.NominalChargeAmps, -0.5);
            QCOMPARE(second.Battery, QStringLiteral("Zelle 2"));
        }
    }

    void repeatedRows()
    {
        TChargeLog log;
        add(log, at(2024, 1, 1, 10), QStringLiteral("A"), 1, 1);
        const QByteArray row2 = "2024-01-02T10:00:00,B,1,2,first\r\n";
        const Imported r = importBytes("DateTime,Battery,Amps,Ah,Comment\r\n"
                                       "2024-01-01T10:00:00,A,1,1,in the log\r\n" +
                                           row2 + row2 + row2 +
                                           "2024-01-02T10:00:00,b,1,2,same charge other text\r\n",
                                       log);
        QCOMPARE(r.plan.Charges.size(), 1);
        QCOMPARE(r.plan.Duplicates, 1);
        QCOMPARE(r.plan.Repeated, 3);
        QCOMPARE(r.log.ChargeStringList.count(), 2);
        QCOMPARE(CsvImport::Summary(r.plan, true),
                 QStringLiteral("Imported 1 charge, skipped 1 already in the log and 3 repeated "
                                "in the file."));
    }

    void formulasInExports_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("inert"); // the field in the export for spreadsheets
        QTest::newRow("equals") << "=SUM(A1:A9)" << QByteArray("\"'=SUM(A1:A9)\"");
        QTest::newRow("plus") << "+1" << QByteArray("\"'+1\"");
        QTest::newRow("minus") << "-5 V" << QByteArray("\"'-5 V\"");
        QTest::newRow("at") << "@cell" << QByteArray("\"'@cell\"");
        QTest::newRow("tab") << "\tx" << QByteArray("\"'\tx\"");
        QTest::newRow("carriage return") << "\rx" << QByteArray("\"'\rx\"");
        QTest::newRow("quote in it") << "=\"a\";b" << QByteArray("\"'=\"\"a\"\";b\"");
        QTest::newRow("apostrophe before a formula") << "'=x, y" << QByteArray("\"''=x, y\"");
        QTest::newRow("apostrophe alone") << "'plain" << QByteArray(";'plain;");
        QTest::newRow("formula inside") << "a=b" << QByteArray(";a=b;");
    }
    void formulasInExports()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, inert);
        TChargeLog log;
        // The battery name too, where the name list keeps it (names lose blanks at the ends).
        const QString battery = TNameList::trimmedName(text).isEmpty() ? QStringLiteral("B") : text;
        add(log, at(2025, 1, 1), battery, -1.5, -0.25, text, text.contains('*') ? QString() : text);
        const QByteArray spreadsheet =
            CsvFile::ToCsv(log, CsvFile::ExportFormat::regional(German), false);
        QVERIFY2(spreadsheet.contains(inert), spreadsheet.constData());
        // Numbers are not texts: a negative one stays a number.
        QVERIFY2(spreadsheet.contains(";-1,5;-0,25;"), spreadsheet.constData());
        const QByteArray plain = CsvFile::ToCsv(log, CsvFile::ExportFormat(), false);
        // The plain export writes every text as it is.
        if (!text.contains(QLatin1Char('\'')))
            QVERIFY(!plain.contains('\''));
        for (const QByteArray &bytes : {spreadsheet, plain}) {
            const Imported back = importBytes(bytes);
            QVERIFY2(back.plan.Errors.isEmpty(), qPrintable(CsvImport::Summary(back.plan, false)));
            QCOMPARE(describeCharges(back.log), describeCharges(log));
        }
    }

    void notRegularFiles()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.csv"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // Nobody writes to the pipe, nobody ends /dev/zero: neither is opened for reading.
        for (const QString &path : {QStringLiteral("/dev/zero"), fifo, dir.path()}) {
            QElapsedTimer timer;
            timer.start();
            QString error;
            try {
                CsvFile::Document::fromFile(path);
            } catch (const QorLogError &e) {
                error = e.message();
            }
            QCOMPARE(error, path + QStringLiteral(" is not a regular file"));
            QVERIFY(timer.elapsed() < 5000);
        }
        // A sparse file one byte above the limit: the bytes read count, not a size asked first.
        QFile large(dir.filePath(QStringLiteral("large.csv")));
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(CsvFile::MaxFileSize + 1));
        large.close();
        QVERIFY_THROWS_EXCEPTION(QorLogError, CsvFile::Document::fromFile(large.fileName()));
    }

    void badRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("errors"); // "line: part of the reason"
        QTest::addColumn<int>("good");
        const QByteArray head = "DateTime,Battery,NominalChargeAmps,AmpHours,Comment\r\n";
        QTest::newRow("ragged") << head +
                                       "2024-01-01T10:00:00,A,1,1,x\r\n2024-01-02T10:00:00,A,1\r\n"
                                       "2024-01-03T10:00:00,A,1,1,x,extra\r\n"
                                << QStringList{"3: 3 fields where the file has 5", "4: 6 fields"}
                                << 1;
        QTest::newRow("quote never closed")
            << head + "2024-01-01T10:00:00,A,1,1,x\r\n2024-01-02T10:00:00,A,1,1,\"open\r\n"
                      "2024-01-03T10:00:00,A,1,1,x\r\n"
            << QStringList{"3: a quote is not closed"} << 2;
        // The rows after it are read, and a closed quote over two lines is no fault.
        QTest::newRow("quote not closed in line 7")
            << head + "2024-01-01T10:00:00,A,1,1,\"two\r\nlines\"\r\n"
                      "2024-01-02T10:00:00,A,1,1,\"\"\"quoted\"\"\"\r\n"
                      "2024-01-03T10:00:00,A,1,1,x\r\n2024-01-04T10:00:00,A,1,1,x\r\n"
                      "2024-01-05T10:00:00,\"A,1,1,x\r\n"
                      "2024-01-06T10:00:00,A,1,1,\"\"\r\n2024-01-07T10:00:00,A,1,1,y\"\"z\r\n"
            << QStringList{"7: a quote is not closed"} << 6;
        QTest::newRow("comment above the length limit")
            << head + "2024-01-01T10:00:00,A,1,1,x\r\n2024-01-02T10:00:00,A,1,1," +
                   QByteArray(QorLog::MaxTextLength + 1, 'c') + "\r\n"
            << QStringList{"3: Comment is longer than"} << 1;
        QTest::newRow("text after quote") << head + "2024-01-01T10:00:00,\"A\"B,1,1,x\r\n"
                                          << QStringList{"2: text follows"} << 0;
        QTest::newRow("NaN, infinity, thousands")
            << head + "2024-01-01T10:00:00,A,nan,1,\r\n2024-01-01T11:00:00,A,1,inf,\r\n"
                      "2024-01-01T12:00:00,A,1,1e999,\r\n2024-01-01T13:00:00,A,1,\"1,5\",\r\n"
            << QStringList{"2: NominalChargeAmps 'nan' is not a number",
                           "3: AmpHours 'inf' is not a number", "4: '1e999'", "5: '1,5'"}
            << 0;
        QTest::newRow("control character, bad date, no date")
            << head + "2024-01-01T10:00:00,A\x01"
                      "B,1,1,\r\n2024-13-01T10:00:00,A,1,1,\r\n"
                      ",A,1,1,\r\n2024-01-01T11:00:00,A,1,1,fine\r\n"
            << QStringList{"2: Battery contains a control character",
                           "3: '2024-13-01T10:00:00' is not a date", "4: no date"}
            << 1;
    }
    void badRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, errors);
        QFETCH(int, good);
        const Imported r = importBytes(bytes);
        QStringList got;
        for (const CsvImport::RowError &e : r.plan.Errors)
            got << QStringLiteral("%1: %2").arg(e.Line).arg(e.Reason);
        QCOMPARE(got.size(), errors.size());
        for (int i = 0; i < errors.size(); ++i)
            QVERIFY2(got.at(i).startsWith(errors.at(i).section(QLatin1Char(':'), 0, 0) + ':') &&
                         got.at(i).contains(errors.at(i).section(QLatin1Char(':'), 1).trimmed()),
                     qPrintable(got.at(i)));
        QCOMPARE(r.plan.Charges.size(), good);
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("blank lines") << QByteArray(" \r\n\r\n") << "empty";
        QTest::newRow("binary") << QByteArray("PK\x03\x04\x00\x01stuff", 11) << "binary";
        QTest::newRow("too large") << QByteArray(CsvFile::MaxFileSize + 1, 'a') << "larger than";
    }
    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QVERIFY2(fileError(bytes).contains(error), qPrintable(fileError(bytes)));
    }

    void importIntoLogFile()
    {
        QTemporaryDir dir;
        const QString logPath = dir.filePath(QStringLiteral("log.QorLog"));
        const QString csvPath = dir.filePath(QStringLiteral("in.csv"));
        TChargeLog start;
        add(start, at(2020, 1, 1, 12), QStringLiteral("Cell 1"), 2, 1.5);
        LogFile::SaveChargeLog(logPath, start);
        const auto writeCsv = [&](const QByteArray &bytes) {
            QFile file(csvPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        // One row is in the log already (the battery in another letter case, blanks around).
        writeCsv("DateTime,Battery,Amps,Ah\n2020-01-01T12:00:00, CELL 1 ,2,1.5\n"
                 "2020-01-02T12:00:00,Cell 2,1,1\n");
        CsvImport::Plan plan = CsvImport::ImportIntoLogFile(csvPath, logPath);
        QCOMPARE(plan.Charges.size(), 1);
        QCOMPARE(plan.Duplicates, 1);
        QCOMPARE(CsvImport::Summary(plan, true),
                 QStringLiteral("Imported 1 charge, skipped 1 already in the log."));
        TChargeLog after;
        LogFile::LoadChargeLog(logPath, after);
        QCOMPARE(after.ChargeStringList.count(), 2);
        // Twice adds nothing.
        plan = CsvImport::ImportIntoLogFile(csvPath, logPath);
        QCOMPARE(plan.Charges.size(), 0);
        QCOMPARE(plan.Duplicates, 2);
        // A bad row: nothing is written.
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray before = log.readAll();
        log.close();
        writeCsv("DateTime,Battery,Amps,Ah\n2021-01-01T12:00:00,Cell 3,1,1\nnot a date,X,1,1\n");
        plan = CsvImport::ImportIntoLogFile(csvPath, logPath);
        QCOMPARE(plan.Errors.size(), 1);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_csv.moc"
