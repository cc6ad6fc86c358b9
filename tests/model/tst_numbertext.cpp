#include "ConstantsAndTypes.h"
#include "NumberText.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

const QLocale German(QLocale::German, QLocale::Germany);

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A double from random bits, redrawn until it is finite.
double randomFiniteDouble(QRandomGenerator &rng)
{
    for (;;) {
        const quint64 bits = rng.generate64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d))
            return d;
    }
}

} // namespace

class TestNumberText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void formatGeneral_data();
    void formatGeneral();
    void formatGeneralFollowsTheDefaultLocale();
    void formatExactRoundTrips_data();
    void formatExactRoundTrips();
    void formatExactMatchesGeneralUpTo15Digits();
    void parseNumber_data();
    void parseNumber();
    void parseNumberUserSeparator_data();
    void parseNumberUserSeparator();
    void conversionMessages();
    void toInteger_data();
    void toInteger();
    void formatGrouped_data();
    void formatGrouped();

    void dateTimeFixedPoints_data();
    void dateTimeFixedPoints();
    void dateTimeRoundTrip();
    void wallClockInEveryZone_data();
    void wallClockInEveryZone();
    void formatTable_data();
    void formatTable();
    void absurdDateTimes_data();
    void absurdDateTimes();
    void timeSeparator_data();
    void timeSeparator();
};

namespace {

// Sets the process' time zone as a user's session would have it.
void useZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

double days(int year, int month, int day, int hour, int minute)
{
    return DateTimeText::fromWallClock(QDate(year, month, day), QTime(hour, minute));
}

} // namespace

static QString asciiExact(double value, char decimalPoint)
{
    char text[48];
    return QString::fromLatin1(text, NumberText::formatExact(value, decimalPoint, text));
}

void TestNumberText::initTestCase()
{
    // A zone with summer time makes the local date-time round trip meaningful.
    useZone("Europe/Berlin");
}

void TestNumberText::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestNumberText::formatGeneral_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("c");
    QTest::addColumn<QString>("german");

    QTest::newRow("zero") << 0.0 << "0"
                          << "0";
    QTest::newRow("negative zero") << -0.0 << "0"
                                   << "0";
    QTest::newRow("whole") << 2.0 << "2"
                           << "2";
    QTest::newRow("hundred") << 100.0 << "100"
                             << "100";
    QTest::newRow("no grouping") << 1234.5 << "1234.5"
                                 << "1234,5";
    QTest::newRow("fraction") << 1.25 << "1.25"
                              << "1,25";
    QTest::newRow("negative fraction") << -0.8 << "-0.8"
                                       << "-0,8";
    QTest::newRow("1e-5 still fixed") << 1e-5 << "0.00001"
                                      << "0,00001";
    QTest::newRow("small fixed digits") << 0.000012345 << "0.000012345"
                                        << "0,000012345";
    QTest::newRow("below 1e-5 exponent") << 1.5e-6 << "1.5E-6"
                                         << "1,5E-6";
    QTest::newRow("negative tiny") << -1e-7 << "-1E-7"
                                   << "-1E-7";
    QTest::newRow("15 digits fixed") << 123456789012345.0 << "123456789012345"
                                     << "123456789012345";
    QTest::newRow("1e15 exponent") << 1e15 << "1E15"
                                   << "1E15";
    QTest::newRow("rounds up to 1e15") << 999999999999999.9 << "1E15"
                                       << "1E15";
    QTest::newRow("huge") << 1.5e300 << "1.5E300"
                          << "1,5E300";
    QTest::newRow("0.1 + 0.2") << 0.1 + 0.2 << "0.3"
                               << "0,3";
    QTest::newRow("15 significant digits") << 1.23456789012345678 << "1.23456789012346"
                                           << "1,23456789012346";
    QTest::newRow("rounding carries") << 9.9999999999999999e-3 << "0.01"
                                      << "0,01";
    QTest::newRow("mixed") << 123456789.123456789 << "123456789.123457"
                           << "123456789,123457";
    QTest::newRow("date-time") << 39146.6041666667 << "39146.6041666667"
                               << "39146,6041666667";
}

void TestNumberText::formatGeneral()
{
    QFETCH(double, value);
    QFETCH(QString, c);
    QFETCH(QString, german);
    QCOMPARE(NumberText::formatGeneral(value, QLocale::c()), c);
    QCOMPARE(NumberText::formatGeneral(value, German), german);
    // What is shown reads back to the shown value under either separator.
    double back = 0;
    QVERIFY(NumberText::parseNumber(german, back));
    QCOMPARE(NumberText::formatGeneral(back, QLocale::c()), c);
}

void TestNumberText::formatGeneralFollowsTheDefaultLocale()
{
    QLocale::setDefault(German);
    QCOMPARE(NumberText::formatGeneral(1.5), QString("1,5"));
    QCOMPARE(NumberText::formatExact(0.1), QString("0,1"));
    QLocale::setDefault(QLocale::c());
    QCOMPARE(NumberText::formatGeneral(1.5), QString("1.5"));
}

void TestNumberText::formatExactRoundTrips_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("de_DE") << German;
}

void TestNumberText::formatExactRoundTrips()
{
    QFETCH(QLocale, locale);
    QRandomGenerator rng(42);
    QList<double> values = {std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::min(),
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min(),
                            0.1,
                            1.0 / 3.0,
                            1e15,
                            1e-5,
                            9.999999999999999e14,
                            39146.60416666666};
    for (int i = 0; i < 20000; ++i)
        values << randomFiniteDouble(rng);
    for (int i = 0; i < 5000; ++i) // everyday magnitudes too, not only the extremes
        values << (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(-8, 9));
    for (double value : values) {
        const QString text = NumberText::formatExact(value, locale);
        double back = std::numeric_limits<double>::quiet_NaN();
        QVERIFY2(NumberText::parseNumber(text, back), qPrintable(text));
        QVERIFY2(
            back == value,
            qPrintable(QString("%1 read back as %2").arg(value, 0, 'g', 17).arg(back, 0, 'g', 17)));
        QVERIFY2(sameBits(back, value) || value == 0.0, qPrintable(text));
        QVERIFY2(!text.contains(locale == German ? '.' : ','), qPrintable(text));
    }
}

void TestNumberText::formatExactMatchesGeneralUpTo15Digits()
{
    QRandomGenerator rng(7);
    for (int i = 0; i < 20000; ++i) {
        // A random decimal of 1 to 15 significant digits with a random exponent.
        const int digits = rng.bounded(1, 16);
        QString mantissa;
        for (int d = 0; d < digits; ++d)
            mantissa += QChar('0' + (d == 0 ? rng.bounded(1, 10) : rng.bounded(10)));
        const QString text = QString("%1%2e%3")
                                 .arg(rng.bounded(2) ? "-" : "")
                                 .arg(mantissa)
                                 .arg(rng.bounded(-40, 40));
        double value = 0;
        QVERIFY(NumberText::parseNumber(text, value));
        QCOMPARE(NumberText::formatExact(value, QLocale::c()),
                 NumberText::formatGeneral(value, QLocale::c()));
        QCOMPARE(asciiExact(value, ','), NumberText::formatExact(value, German));
    }
    // The writer's own formatting gives the same text for any double, the short decimals it
    // handles itself and their neighbours included.
    const double edges[] = {1e-5,
                            0.1 + 0.2,
                            999999999999999.0,
                            1e15,
                            9.999999999999999e14,
                            1234567890123456.0,
                            43466.02326388889,
                            0.000123,
                            5e-324};
    for (double value : edges)
        QCOMPARE(asciiExact(value, '.'), NumberText::formatExact(value, QLocale::c()));
    for (int i = 0; i < 20000; ++i) {
        const quint64 bits = rng.generate64();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) {
            QCOMPARE(asciiExact(value, '.'), NumberText::formatExact(value, QLocale::c()));
            const double neighbour = std::nextafter(std::round(value * 1000) / 1000, 0.0);
            QCOMPARE(asciiExact(neighbour, '.'), NumberText::formatExact(neighbour, QLocale::c()));
        }
    }
}

void TestNumberText::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("blanks around") << " 1.5 " << true << 1.5;
    QTest::newRow("tabs around") << "\t1.5\t" << true << 1.5;
    QTest::newRow("plus") << "+3" << true << 3.0;
    QTest::newRow("minus") << "-3" << true << -3.0;
    QTest::newRow("comma") << "1,5" << true << 1.5;
    QTest::newRow("leading dot") << ".5" << true << 0.5;
    QTest::newRow("leading comma") << ",5" << true << 0.5;
    QTest::newRow("trailing dot") << "1." << true << 1.0;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("upper exponent negative") << "1E-3" << true << 0.001;
    QTest::newRow("exponent plus") << "2,5E+2" << true << 250.0;
    QTest::newRow("leading zeros") << "007" << true << 7.0;
    QTest::newRow("largest") << "1.7976931348623157E308" << true
                             << std::numeric_limits<double>::max();
    QTest::newRow("denormal") << "5E-324" << true << std::numeric_limits<double>::denorm_min();

    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << "  " << false << 0.0;
    QTest::newRow("two dots") << "1.5.5" << false << 0.0;
    QTest::newRow("thousands and dot") << "1,000.5" << false << 0.0;
    QTest::newRow("thousands and comma") << "1.000,5" << false << 0.0;
    QTest::newRow("blank inside") << "1 000" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("INF") << "INF" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("exponent without digits") << "1e" << false << 0.0;
    QTest::newRow("exponent sign only") << "1e+" << false << 0.0;
    QTest::newRow("exponent only") << "e5" << false << 0.0;
    QTest::newRow("double sign") << "--1" << false << 0.0;
    QTest::newRow("mixed signs") << "+-1" << false << 0.0;
    QTest::newRow("dot only") << "." << false << 0.0;
    QTest::newRow("sign only") << "-" << false << 0.0;
    QTest::newRow("hex") << "0x10" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
    QTest::newRow("negative overflow") << "-1e999" << false << 0.0;
    QTest::newRow("trailing text") << "1.5V" << false << 0.0;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0661") << false << 0.0;
    QTest::newRow("full-width digit") << QString::fromUtf8("\uff11") << false << 0.0;
}

void TestNumberText::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);

    double parsed = -42.0;
    QCOMPARE(NumberText::parseNumber(text, parsed), ok);
    if (ok) {
        QCOMPARE(parsed, value);
        QCOMPARE(NumberText::toFloat(text), value);
    } else {
        QCOMPARE(parsed, -42.0); // a failed parse leaves the variable alone
        QVERIFY_THROWS_EXCEPTION(QorLogError, NumberText::toFloat(text));
    }
}

void TestNumberText::parseNumberUserSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");

    const QLocale arabic(QLocale::Arabic, QLocale::SaudiArabia);
    const QLocale persian(QLocale::Persian, QLocale::Iran);
    QTest::newRow("Arabic separator in Arabic") << arabic << "1\u066B5" << true;
    QTest::newRow("full stop in Arabic") << arabic << "1.5" << true;
    QTest::newRow("comma in Arabic") << arabic << "1,5" << true;
    QTest::newRow("Arabic separator in C") << QLocale::c() << "1\u066B5" << false;
    QTest::newRow("Persian shown value")
        << persian << NumberText::formatGeneral(1.5, persian) << true;
    QTest::newRow("two separators") << arabic << "1\u066B5.5" << false;
}

void TestNumberText::parseNumberUserSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(bool, ok);

    QLocale::setDefault(locale);
    double value = 0;
    QCOMPARE(NumberText::parseNumber(text, value), ok);
    if (ok)
        QCOMPARE(value, 1.5);
}

void TestNumberText::conversionMessages()
{
    try {
        NumberText::toFloat("abc");
        QFAIL("no exception");
    } catch (const QorLogError &e) {
        QCOMPARE(e.message(), QString("'abc' is not a valid floating point value"));
        QCOMPARE(QString::fromUtf8(e.what()), e.message());
    }
    try {
        NumberText::toInteger("abc");
        QFAIL("no exception");
    } catch (const QorLogError &e) {
        QCOMPARE(e.message(), QString("'abc' is not a valid integer value"));
    }
}

void TestNumberText::toInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("purple") << "8388736" << true << 8388736;
    QTest::newRow("negative") << "-16777216" << true << -16777216;
    QTest::newRow("plus and blanks") << " +5 " << true << 5;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("too large") << "2147483648" << false << 0;
    QTest::newRow("fraction") << "1.5" << false << 0;
    QTest::newRow("hex") << "0xFF" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
}

void TestNumberText::toInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    if (ok)
        QCOMPARE(NumberText::toInteger(text), value);
    else
        QVERIFY_THROWS_EXCEPTION(QorLogError, NumberText::toInteger(text));
}

void TestNumberText::formatGrouped_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("c");
    QTest::addColumn<QString>("german");

    QTest::newRow("grouped fraction") << 1234.5 << "1,234.5"
                                      << "1.234,5";
    QTest::newRow("rounds to zero") << 0.0004 << "0"
                                    << "0";
    QTest::newRow("negative rounds to zero") << -0.0004 << "0"
                                             << "0";
    QTest::newRow("negative zero") << -0.0 << "0"
                                   << "0";
    QTest::newRow("three decimals at most") << 1234567.891234 << "1,234,567.891"
                                            << "1.234.567,891";
    QTest::newRow("whole") << 2.0 << "2"
                           << "2";
    QTest::newRow("thousand whole") << 1000.0 << "1,000"
                                    << "1.000";
    QTest::newRow("rounds into next group") << 999.9996 << "1,000"
                                            << "1.000";
    QTest::newRow("negative") << -1234.5 << "-1,234.5"
                              << "-1.234,5";
    QTest::newRow("small") << 0.25 << "0.25"
                           << "0,25";
}

void TestNumberText::formatGrouped()
{
    QFETCH(double, value);
    QFETCH(QString, c);
    QFETCH(QString, german);
    QCOMPARE(NumberText::formatGrouped(value, QLocale::c()), c);
    QCOMPARE(NumberText::formatGrouped(value, German), german);
}

void TestNumberText::dateTimeFixedPoints_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");

    QTest::newRow("epoch") << 0.0 << QDate(1899, 12, 30) << QTime(0, 0);
    QTest::newRow("noon 31 Dec 1899") << 1.5 << QDate(1899, 12, 31) << QTime(12, 0);
    QTest::newRow("evening 1 Jan 1900") << 2.75 << QDate(1900, 1, 1) << QTime(18, 0);
    QTest::newRow("before the epoch") << -1.5 << QDate(1899, 12, 29) << QTime(12, 0);
    QTest::newRow("morning before the epoch") << -2.25 << QDate(1899, 12, 28) << QTime(6, 0);
    QTest::newRow("year 100") << -657434.0 << QDate(100, 1, 1) << QTime(0, 0);
    QTest::newRow("2000") << 36526.25 << QDate(2000, 1, 1) << QTime(6, 0);
    QTest::newRow("summer") << 45122.5 << QDate(2023, 7, 15) << QTime(12, 0);
}

void TestNumberText::dateTimeFixedPoints()
{
    QFETCH(double, days);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QCOMPARE(DateTimeText::fromWallClock(date, time), days);
    const DateTimeText::WallClock wall = DateTimeText::toWallClock(days);
    QCOMPARE(wall.date, date);
    QCOMPARE(wall.time, time);
}

void TestNumberText::dateTimeRoundTrip()
{
    QRandomGenerator rng(1899);
    for (int i = 0; i < 20000; ++i) {
        const QDate date = QDate(100, 1, 1).addDays(rng.bounded(3600000));
        const QTime time = QTime::fromMSecsSinceStartOfDay(rng.bounded(86400000));
        const DateTimeText::WallClock back =
            DateTimeText::toWallClock(DateTimeText::fromWallClock(date, time));
        QVERIFY2(back.date == date && back.time == time,
                 qPrintable(date.toString(Qt::ISODate) + ' ' + time.toString(Qt::ISODateWithMs) +
                            " came back as " + back.date.toString(Qt::ISODate) + ' ' +
                            back.time.toString(Qt::ISODateWithMs)));
    }
}

// Times that the local clock skips or repeats read as given, whatever the process' zone.
void TestNumberText::wallClockInEveryZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("text");

    for (const char *zone :
         {"Europe/Berlin", "America/New_York", "America/Sao_Paulo", "UTC", "Asia/Kolkata"}) {
        QTest::addRow("%s Berlin spring gap", zone)
            << QByteArray(zone) << 45011.1041666667 << "2023-03-26 02:30:00";
        QTest::addRow("%s Berlin autumn repeat", zone)
            << QByteArray(zone) << days(2023, 10, 29, 2, 30) << "2023-10-29 02:30:00";
        QTest::addRow("%s New York spring gap", zone)
            << QByteArray(zone) << days(2023, 3, 12, 2, 30) << "2023-03-12 02:30:00";
        QTest::addRow("%s New York autumn repeat", zone)
            << QByteArray(zone) << days(2023, 11, 5, 1, 30) << "2023-11-05 01:30:00";
        // The clock once went from midnight to one o'clock here: the day has no midnight.
        QTest::addRow("%s Sao Paulo midnight gap", zone)
            << QByteArray(zone) << days(2018, 11, 4, 0, 0) << "2018-11-04 00:00:00";
        QTest::addRow("%s just before the epoch rounds up", zone)
            << QByteArray(zone) << -1.9999999999 << "1899-12-30 00:00:00";
        QTest::addRow("%s evening before the epoch", zone)
            << QByteArray(zone) << -1.75 << "1899-12-29 18:00:00";
    }
}

void TestNumberText::wallClockInEveryZone()
{
    QFETCH(QByteArray, zone);
    QFETCH(double, days);
    QFETCH(QString, text);
    useZone(zone);
    QCOMPARE(DateTimeText::formatTable(days, QLocale::c()), text);
    const DateTimeText::WallClock wall = DateTimeText::toWallClock(days);
    QCOMPARE(wall.date.toString(Qt::ISODate) + ' ' + wall.time.toString(Qt::ISODate), text);
    const DateTimeText::WallClock again =
        DateTimeText::toWallClock(DateTimeText::fromWallClock(wall.date, wall.time));
    QCOMPARE(again.date, wall.date);
    QCOMPARE(again.time, wall.time);
    useZone("Europe/Berlin");
}

void TestNumberText::formatTable_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");

    QTest::newRow("C") << 39146.6041666667 << QLocale::c() << "2007-03-05 14:30:00";
    QTest::newRow("de_DE") << 39146.6041666667 << German << "2007-03-05 14:30:00";
    QTest::newRow("Finnish time separator")
        << 39146.6041666667 << QLocale(QLocale::Finnish, QLocale::Finland) << "2007-03-05 14.30.00";
    QTest::newRow("epoch") << 0.0 << QLocale::c() << "1899-12-30 00:00:00";
    QTest::newRow("just before midnight rounds up")
        << 2.99999999999 << QLocale::c() << "1900-01-02 00:00:00";
    QTest::newRow("last second") << 2.0 + 86399.0 / 86400.0 << QLocale::c()
                                 << "1900-01-01 23:59:59";
}

void TestNumberText::formatTable()
{
    QFETCH(double, days);
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QCOMPARE(DateTimeText::formatTable(days, locale), text);
}

void TestNumberText::absurdDateTimes_data()
{
    QTest::addColumn<double>("days");
    QTest::newRow("1e300") << 1e300;
    QTest::newRow("-1e300") << -1e300;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("inf") << std::numeric_limits<double>::infinity();
    QTest::newRow("largest") << std::numeric_limits<double>::max();
    QTest::newRow("far future") << 3e8;
    QTest::newRow("far past") << -3e8;
}

void TestNumberText::absurdDateTimes()
{
    QFETCH(double, days);
    const DateTimeText::WallClock wall = DateTimeText::toWallClock(days);
    const QString text = DateTimeText::formatTable(days, QLocale::c());
    QVERIFY(!text.isEmpty());
    if (wall.isValid()) // whatever is given back must be the same day count again
        QVERIFY(std::fabs(DateTimeText::fromWallClock(wall.date, wall.time) - days) < 1e-3);
}

void TestNumberText::timeSeparator_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("separator");
    QTest::newRow("de_DE") << "de_DE"
                           << ":";
    QTest::newRow("fi_FI") << "fi_FI"
                           << ".";
    QTest::newRow("en_US, hour first") << "en_US"
                                       << ":";
    QTest::newRow("nds, quoted text before the hour") << "nds"
                                                      << ".";
    QTest::newRow("fr_CA, quoted text between") << "fr_CA"
                                                << ":";
    QTest::newRow("ee_GH, quoted text before") << "ee_GH"
                                               << ":";
    QTest::newRow("brx_IN, a word before the hour") << "brx_IN"
                                                    << ":";
    QTest::newRow("dz_BT, words between") << "dz_BT"
                                          << ":";
}

void TestNumberText::timeSeparator()
{
    QFETCH(QString, locale);
    QFETCH(QString, separator);
    const QLocale l(locale);
    QCOMPARE(DateTimeText::timeSeparator(l), separator);
    QCOMPARE(DateTimeText::formatTable(39146.6041666667, l),
             "2007-03-05 14" + separator + "30" + separator + "00");
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
