// Bad input through the bus: numbers that are no numbers, text XML cannot hold, texts above
// the length limit and empty ones, extreme date-times, wrong argument types. Each call is
// answered with a clear error or stored as given; the program keeps answering and its log keeps
// reading back.

#include "RobustSupport.h"

#include <QTemporaryDir>

#include <cmath>
#include <limits>

using namespace Robust;

namespace {

QVariantList withArgument(QVariantList arguments, int index, const QVariant &value)
{
    arguments[index] = value;
    return arguments;
}

enum Argument
{
    DateTime = 0,
    PowerSource = 1,
    Charger = 3,
    Battery = 4,
    Amps = 5,
    AmpHours = 6,
    Termination = 7,
    Comment = 8,
    LogFileName = 9,
    Confirm = 10
};

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void answeredOrStored_data();
    void answeredOrStored();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    QString m_path;
    Robust::ProgramUnderTest m_program;
    int m_stored = 0;
};

void TestBadInput::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("qorlog.QorLog"));
    QVERIFY(m_program.start(m_path));
}

void TestBadInput::answeredOrStored_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("errorName");      // empty: the call succeeds
    QTest::addColumn<QStringList>("errorParts"); // texts the error message names
    QTest::addColumn<QString>("storedComment");  // the comment the stored charge reads back with

    const QString failed = QString::fromLatin1(QorLogAutomation::FailedErrorName);
    const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
    const QVariantList good = chargeArguments(QStringLiteral("good"));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("NaN date-time") << withArgument(good, DateTime, nan) << failed
                                   << QStringList{"ChargeDateTime", "NaN"} << QString();
    QTest::newRow("infinite amps") << withArgument(good, Amps, inf) << failed
                                   << QStringList{"NominalChargeAmps", "infinity"} << QString();
    QTest::newRow("minus infinite amp-hours") << withArgument(good, AmpHours, -inf) << failed
                                              << QStringList{"AmpHours", "-infinity"} << QString();
    QTest::newRow("control character in a battery name")
        << withArgument(good, Battery,
                        QStringLiteral("Pa\x01"
                                       "ck"))
        << failed << QStringList{"Battery", "control character"} << QString();
    QTest::newRow("escape character in a comment")
        << withArgument(good, Comment, QStringLiteral("colour \x1b[31m")) << failed
        << QStringList{"Comment"} << QString();
    QTest::newRow("U+FFFF in a termination")
        << withArgument(good, Termination, QString(QChar(0xFFFF))) << failed
        << QStringList{"Termination"} << QString();
    QTest::newRow("star in a charger log file name")
        << withArgument(good, LogFileName, QStringLiteral("a*b.csv")) << failed
        << QStringList{"ChargerLogFileName", "*"} << QString();

    // Bus strings are UTF-8, which cannot hold a lone surrogate: the sending side replaces
    // it as its UTF-8 encoder does, and the program stores what arrives.
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("lone");
    QTest::newRow("lone surrogate in a comment")
        << withArgument(good, Comment, lone) << QString() << QStringList()
        << QString::fromUtf8(lone.toUtf8());
    QTest::newRow("tab, line feed and carriage return in a comment")
        << withArgument(good, Comment, QStringLiteral("a\tb\nc\rd\r\ne")) << QString()
        << QStringList() << QStringLiteral("a\tb\nc\rd\r\ne");

    const QString huge = QString(10 * 1024 * 1024, QLatin1Char('x')) + QStringLiteral("<&>\"end");

    QVariantList empty = good;
    for (int index : {PowerSource, Charger, Battery, Termination, Comment, LogFileName})
        empty[index] = QString();
    QTest::newRow("every text empty") << empty << QString() << QStringList() << QString();

    QTest::newRow("date-time 0") << withArgument(chargeArguments(QStringLiteral("day zero")),
                                                 DateTime, 0.0)
                                 << QString() << QStringList() << QStringLiteral("day zero");
    QTest::newRow("date-time a million days ahead")
        << withArgument(chargeArguments(QStringLiteral("far future")), DateTime, 1e6) << QString()
        << QStringList() << QStringLiteral("far future");
    QTest::newRow("date-time a million days back")
        << withArgument(chargeArguments(QStringLiteral("far past")), DateTime, -1e6) << QString()
        << QStringList() << QStringLiteral("far past");
    QTest::newRow("largest finite amps") << withArgument(chargeArguments(QStringLiteral("largest")),
                                                         Amps, std::numeric_limits<double>::max())
                                         << QString() << QStringList() << QStringLiteral("largest");
    QTest::newRow("smallest subnormal amp-hours")
        << withArgument(chargeArguments(QStringLiteral("subnormal")), AmpHours,
                        std::numeric_limits<double>::denorm_min())
        << QString() << QStringList() << QStringLiteral("subnormal");

    QTest::newRow("integer for the date-time")
        << withArgument(good, DateTime, 45000) << unknownMethod << QStringList{"AddCharge"}
        << QString();
    QTest::newRow("string for a number") << withArgument(good, Amps, QStringLiteral("1.5"))
                                         << unknownMethod << QStringList{"AddCharge"} << QString();
    QTest::newRow("integer for a flag")
        << withArgument(good, Confirm, 1) << unknownMethod << QStringList{"AddCharge"} << QString();
    QTest::newRow("ten arguments")
        << good.mid(0, 10) << unknownMethod << QStringList{"AddCharge"} << QString();
    QTest::newRow("twelve arguments") << (QVariantList(good) << QStringLiteral("extra"))
                                      << unknownMethod << QStringList{"AddCharge"} << QString();
    QTest::newRow("no arguments") << QVariantList() << unknownMethod << QStringList{"AddCharge"}
                                  << QString();

    // Texts above the length limit are refused whole, never cut.
    QTest::newRow("10 MB charger log file name")
        << withArgument(chargeArguments(QStringLiteral("long file name")), LogFileName, huge)
        << failed << QStringList{"ChargerLogFileName", "is longer than"} << QString();
    QTest::newRow("10 MB comment") << withArgument(good, Comment, huge) << failed
                                   << QStringList{"Comment", "is longer than"} << QString();
    QTest::newRow("battery name one over the limit")
        << withArgument(good, Battery, QString(QorLog::MaxTextLength + 1, QLatin1Char('b')))
        << failed << QStringList{"Battery", "is longer than"} << QString();
    // Last, since every later refresh of the table lays out the whole text again.
    const QString longest = QString(QorLog::MaxTextLength - 3, QLatin1Char('y')) + "<&>";
    QTest::newRow("comment at the limit")
        << withArgument(good, Comment, longest) << QString() << QStringList() << longest;
}

void TestBadInput::answeredOrStored()
{
    QFETCH(QVariantList, arguments);
    QFETCH(QString, errorName);
    QFETCH(QStringList, errorParts);
    QFETCH(QString, storedComment);

    const int before = int(readLog(m_path).size());
    const QDBusMessage reply = callAddCharge(arguments, 120000);
    if (errorName.isEmpty()) {
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        ++m_stored;
    } else {
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), errorName);
        for (const QString &part : errorParts)
            QVERIFY2(reply.errorMessage().contains(part), qPrintable(reply.errorMessage()));
    }

    // The file reads back whole and holds the charge exactly when the call succeeded.
    QList<StoredCharge> charges;
    try {
        charges = readLog(m_path);
    } catch (const QorLogError &error) {
        QFAIL(qPrintable(error.message()));
    }
    QCOMPARE(charges.size(), before + (errorName.isEmpty() ? 1 : 0));
    if (errorName.isEmpty()) {
        // Every comment a row stores is its own.
        const StoredCharge *stored = nullptr;
        QStringList comments;
        for (const StoredCharge &c : charges) {
            comments.append(c.comment.left(40));
            if (c.comment == storedComment) {
                QVERIFY2(!stored, "the charge is in the file twice");
                stored = &c;
            }
        }
        QVERIFY2(stored, qPrintable(QStringLiteral("the charge is not in the file: ") +
                                    comments.join(QLatin1String(" | "))));
        QCOMPARE(stored->record.DateTime, arguments.at(DateTime).toDouble());
        QCOMPARE(stored->record.NominalChargeAmps, arguments.at(Amps).toDouble());
        QCOMPARE(stored->record.AmpHours, arguments.at(AmpHours).toDouble());
        QCOMPARE(stored->powerSource, arguments.at(PowerSource).toString());
        QCOMPARE(stored->charger, arguments.at(Charger).toString());
        QCOMPARE(stored->battery, arguments.at(Battery).toString());
        QCOMPARE(stored->termination, arguments.at(Termination).toString());
        QCOMPARE(stored->chargerLogFileName, arguments.at(LogFileName).toString());
    }

    // And the program still answers an ordinary call.
    QVERIFY(m_program.isRunning());
    const QDBusMessage alive = callAddCharge(chargeArguments(QStringLiteral("still answering")));
    QVERIFY2(alive.type() == QDBusMessage::ReplyMessage, qPrintable(alive.errorMessage()));
    ++m_stored;
}

void TestBadInput::cleanupTestCase()
{
    QStringList comments;
    QString failure;
    QVERIFY2(readComments(m_path, comments, failure), qPrintable(failure));
    QCOMPARE(int(comments.size()), m_stored);
}

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"
