#include "BackupStore.h"
#include "ChargeLog.h"
#include "ChargeLogChange.h"
#include "LogFile.h"
#include "ModelTestHelpers.h"
#include "NumberText.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <limits>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using ModelTestHelpers::colours;
using ModelTestHelpers::describeCharges;
using ModelTestHelpers::describeExactly;

namespace {

const QLocale German(QLocale::German, QLocale::Germany);

QByteArray sample(const char *name)
{
    QFile file(QStringLiteral(QORLOG_TEST_DATA "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing sample %s", name);
    return file.readAll();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Sets or clears the immutable flag of a folder; false when the file system or the user's
// capabilities do not allow it.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Reads `xml` into a fresh log; returns the error message, empty when it read.
QString readInto(TChargeLog &log, const QByteArray &xml)
{
    try {
        LogFile::ReadChargeLog(xml, log, QStringLiteral("test.QorLog"));
        return {};
    } catch (const QorLogError &e) {
        return e.message();
    }
}

// A random text of the kinds a user or a client may store: any storable character,
// with astral ones, markup characters, blanks and line breaks well represented.
QString randomText(QRandomGenerator &rng, int maxLength, bool allowStar)
{
    static const QString specials = QStringLiteral(" \t\n\r<>&\"'*]");
    QString text;
    const int length = rng.bounded(maxLength + 1);
    while (text.size() < length) {
        switch (rng.bounded(6)) {
        case 0:
            text += specials.at(rng.bounded(specials.size()));
            break;
        case 1: { // astral
            const char32_t c = char32_t(rng.bounded(0x10000, 0x110000));
            text += QString::fromUcs4(&c, 1);
            break;
        }
        case 2: { // anywhere in the BMP outside surrogates and U+FFFE/U+FFFF
            char16_t c = char16_t(rng.bounded(0x20, 0xFFFE));
            if (QChar::isSurrogate(c))
                c = 0x20AC;
            text += QChar(c);
            break;
        }
        default:
            text += QChar(char16_t(rng.bounded(0x20, 0x7F)));
        }
    }
    if (!allowStar)
        text.remove(QLatin1Char('*'));
    return text;
}

double randomNumber(QRandomGenerator &rng)
{
    static const double extremes[] = {std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::lowest(),
                                      std::numeric_limits<double>::min(),
                                      std::numeric_limits<double>::denorm_min(),
                                      -0.0,
                                      0.0,
                                      1e15,
                                      1e-5,
                                      0.1 + 0.2};
    switch (rng.bounded(4)) {
    case 0:
        return extremes[rng.bounded(int(std::size(extremes)))];
    case 1: {
        double d;
        do {
            const quint64 bits = rng.generate64();
            std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        return d;
    }
    default:
        return (rng.generateDouble() - 0.3) * std::pow(10.0, rng.bounded(-7, 7));
    }
}

// Fills a log through the one way charges enter it, so every record is an accepted one.
void fillRandomLog(TChargeLog &log, QRandomGenerator &rng, int count)
{
    QStringList names; // a small pool, so that names repeat and differ only in case
    for (int i = 0; i < 12; ++i)
        names << randomText(rng, 12, true);
    names << "psu"
          << "MAINS"
          << ""
          << "  padded  "
          // around the length up to which the writer copies a name in one fixed-size move
          << QString(64, u'n') << QString(65, u'o') << QString(20, u'&');
    const auto name = [&] {
        const QString n = names.at(rng.bounded(names.size()));
        return rng.bounded(4) == 0 ? n.toUpper() : n;
    };
    const double sharedTime = 45000.5;
    for (int i = 0; i < count; ++i) {
        const double dateTime = rng.bounded(3) == 0 ? sharedTime : randomNumber(rng);
        log.StoreChargeRecord(-1, dateTime, name(), name(), name(), randomNumber(rng),
                              randomNumber(rng), name(), randomText(rng, 40, true),
                              randomText(rng, 20, false));
    }
    log.CyclesSeriesColour = qint32(rng.generate()) | 1;
    log.ChargeSeriesColour = std::numeric_limits<qint32>::min();
    log.DischargeSeriesColour = std::numeric_limits<qint32>::max();
}

// Every element's path in document order ("QorInsight/Charges/Charge/DateTime").
QStringList elementPaths(const QByteArray &xml, bool &hasAttributes)
{
    QStringList paths;
    QStringList stack;
    hasAttributes = false;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            stack << reader.name().toString();
            paths << stack.join('/');
            hasAttributes = hasAttributes || !reader.attributes().isEmpty();
        } else if (reader.isEndElement()) {
            stack.removeLast();
        }
    }
    return reader.hasError() ? QStringList{"error: " + reader.errorString()} : paths;
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void writtenStructure();
    void roundTripProperty_data();
    void roundTripProperty();
    void roundTripThroughDisk();
    void saveAfterChange_data();
    void saveAfterChange();
    void replacedFilesAreLetGo();
    void placesOfAReadLog_data();
    void placesOfAReadLog();
    void sampleLog();
    void templateReadsAsEmpty();
    void readingRules_data();
    void readingRules();
    void identityReadingRules_data();
    void identityReadingRules();
    void badNumberKeepsEarlierRecords();
    void damagedInput_data();
    void damagedInput();
    void readInTwoHalves_data();
    void readInTwoHalves();
    void writtenChargesReadAsParsed_data();
    void writtenChargesReadAsParsed();
    void readFindsWhereChargesStand_data();
    void readFindsWhereChargesStand();
    void placesTakenFromAReadLog();
    void readTakesWhatStandsUnchanged_data();
    void readTakesWhatStandsUnchanged();
    void entityExpansion_data();
    void entityExpansion();
    void missingFile();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void keepDamagedCopy();
};

void TestLogFile::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestLogFile::writtenStructure()
{
    TChargeLog log;
    log.CyclesSeriesColour = 128 | (0 << 8) | (128 << 16); // purple, red 128 and blue 128
    log.ChargeSeriesColour = qint32(0xFF000000u);
    log.DischargeSeriesColour = 255;
    log.StoreChargeRecord(-1, 2.75, "Pb", "QorA1", "Cell", 1.5, -0.25, "Error", "c*d", "f");
    log.StoreChargeRecord(-1, 1.5, "PSU", "QorB1_1", "Cell", 2, 3, "Normal", "", "");
    log.Deleted.insert(QUuid::createUuid(), 45000.5);
    const QByteArray xml = LogFile::WriteChargeLog(log);

    QVERIFY2(xml.startsWith(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"), xml);
    bool hasAttributes = true;
    const QStringList charge = {
        "QorInsight/Charges/Charge", "QorInsight/Charges/Charge/DateTime",
        "QorInsight/Charges/Charge/PowerSource", "QorInsight/Charges/Charge/Charger",
        "QorInsight/Charges/Charge/Battery", "QorInsight/Charges/Charge/NominalChargeAmps",
        "QorInsight/Charges/Charge/AmpHours", "QorInsight/Charges/Charge/Termination",
        "QorInsight/Charges/Charge/Comment", "QorInsight/Charges/Charge/ChargerLogFileName",
        // the identity after the nine fields, which older readers skip
        "QorInsight/Charges/Charge/Id", "QorInsight/Charges/Charge/Changed"};
    const QStringList deleted = {"QorInsight/Deleted", "QorInsight/Deleted/DeletedCharge",
                                 "QorInsight/Deleted/DeletedCharge/Id",
                                 "QorInsight/Deleted/DeletedCharge/Changed"};
    QCOMPARE(
        elementPaths(xml, hasAttributes),
        QStringList({"QorInsight", "QorInsight/ApplicationData",
                     "QorInsight/ApplicationData/CyclesSeriesColour",
                     "QorInsight/ApplicationData/ChargeSeriesColour",
                     "QorInsight/ApplicationData/DischargeSeriesColour", "QorInsight/Charges"}) +
            charge + charge + deleted);
    QVERIFY(!hasAttributes);
    QVERIFY2(xml.contains("<CyclesSeriesColour>8388736</CyclesSeriesColour>"), xml);
    QVERIFY2(xml.contains("<ChargeSeriesColour>-16777216</ChargeSeriesColour>"), xml);
    // Sorted by date-time on the way out; the "*" splits log file name from comment.
    const qsizetype first = xml.indexOf("<DateTime>1.5</DateTime>");
    const qsizetype second = xml.indexOf("<DateTime>2.75</DateTime>");
    QVERIFY(first > 0 && second > first);
    QVERIFY(xml.contains("<Comment>c*d</Comment>"));
    QVERIFY(xml.contains("<ChargerLogFileName>f</ChargerLogFileName>"));
    QVERIFY(xml.contains("<AmpHours>-0.25</AmpHours>"));

    QLocale::setDefault(German); // the writer uses the user's separator
    const QByteArray german = LogFile::WriteChargeLog(log);
    QVERIFY(german.contains("<DateTime>2,75</DateTime>"));
    QVERIFY(german.contains("<CyclesSeriesColour>8388736</CyclesSeriesColour>"));
}

void TestLogFile::roundTripProperty_data()
{
    QTest::addColumn<QLocale>("writeLocale");
    QTest::addColumn<QLocale>("readLocale");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 4u}) {
        QTest::addRow("C seed %u", seed) << QLocale::c() << QLocale::c() << seed;
        QTest::addRow("de_DE seed %u", seed) << German << German << seed;
    }
    QTest::newRow("written de_DE, read C") << German << QLocale::c() << 5u;
    QTest::newRow("written C, read de_DE") << QLocale::c() << German << 6u;
    const QLocale arabic(QLocale::Arabic, QLocale::Egypt);
    QTest::newRow("written ar_EG, read C") << arabic << QLocale::c() << 7u;
    QTest::newRow("written ar_EG, read ar_EG") << arabic << arabic << 8u;
}

void TestLogFile::roundTripProperty()
{
    QFETCH(QLocale, writeLocale);
    QFETCH(QLocale, readLocale);
    QFETCH(quint32, seed);

    QRandomGenerator rng(seed);
    TChargeLog original;
    fillRandomLog(original, rng, 300);
    for (int i = 0; i < 5; ++i)
        original.Deleted.insert(QUuid::createUuid(), 45000.0 + rng.bounded(1000.0));

    QLocale::setDefault(writeLocale);
    const QByteArray xml = LogFile::WriteChargeLog(original);
    QLocale::setDefault(readLocale);
    TChargeLog copy;
    const QString error = readInto(copy, xml);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QCOMPARE(describeCharges(copy), describeCharges(original));
    QCOMPARE(colours(copy), colours(original));
    QCOMPARE(copy.NextKey, original.ChargeStringList.count() + 1);
    // Every name a record uses is known again, after the defaults in their order.
    QCOMPARE(copy.PowerSourcesStringList.names().mid(0, 3), TChargeLog::defaultPowerSources());
    // Writing what was read gives the very same bytes.
    QLocale::setDefault(writeLocale);
    QCOMPARE(LogFile::WriteChargeLog(copy), xml);
}

void TestLogFile::roundTripThroughDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("qorlog.QorLog");
    QRandomGenerator rng(99);
    TChargeLog original;
    fillRandomLog(original, rng, 50);
    LogFile::SaveChargeLog(path, original);
    QVERIFY(original.ChargeStringList.isSortedByDateTime());

    TChargeLog copy;
    QCOMPARE(LogFile::LoadChargeLog(path, copy), LogFile::LoadOutcome::Loaded);
    QCOMPARE(describeCharges(copy), describeCharges(original));
    QCOMPARE(colours(copy), colours(original));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"qorlog.QorLog"});

    // A second save replaces the first file whole; its deletions, many pieces long, come out
    // as formatting the whole log in one piece gives them.
    copy.ClearChargeList();
    for (int i = 0; i < 3000; ++i)
        copy.Deleted.insert(QUuid::createUuid(), 45000.0 + i % 7);
    LogFile::SaveChargeLog(path, copy);
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), LogFile::WriteChargeLog(copy));
    TChargeLog empty;
    LogFile::LoadChargeLog(path, empty);
    QVERIFY(empty.ChargeStringList.isEmpty());
    QCOMPARE(empty.Deleted, copy.Deleted);
}

// A save copies the bytes of unchanged records from the file the previous save wrote; whatever
// happened in between, the file must hold exactly what formatting the whole log gives.
void TestLogFile::saveAfterChange_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"none", "added last", "added first", "edited", "removed", "new name",
                               "purged", "other separator", "replaced outside", "cut short"})
        QTest::newRow(change) << QString::fromLatin1(change);
}

void TestLogFile::saveAfterChange()
{
    QFETCH(QString, change);
    QTemporaryDir dir;
    const QString path = dir.filePath("qorlog.QorLog");
    QRandomGenerator rng(7);
    TChargeLog log;
    fillRandomLog(log, rng, 200);
    QLocale::setDefault(QLocale::c());
    LogFile::SaveChargeLog(path, log);
    LogFile::SaveChargeLog(path, log); // every record's bytes now come from the first file

    const TChargeList &charges = log.ChargeStringList;
    const qint32 middleKey = charges.record(charges.count() / 2).Key;
    if (change == "added last")
        log.StoreChargeRecord(-1, 99999.5, "Pb", "QorA1", "Cell", 1, 2, "Normal", "last", "");
    else if (change == "added first")
        log.StoreChargeRecord(-1, -5.25, "Pb", "QorA1", "Cell", 1, 2, "Normal", "first", "");
    else if (change == "edited")
        log.StoreChargeRecord(middleKey, 123.5, "Pb", "QorA1", "Cell", 3, 4, "Normal", "<&>", "");
    else if (change == "removed")
        log.ChargeStringList.takeKeys({middleKey, charges.record(0).Key});
    else if (change == "new name")
        log.StoreChargeRecord(-1, 456.5, "Brand-new source", "QorA1", "Fresh", 1, 2, "Normal", "",
                              "");
    else if (change == "purged") {
        log.BatteriesStringList.setMarked(charges.record(0).BatteryIndex, true);
        log.PurgeMarked(TChargeLog::NameKind::Battery);
    } else if (change == "other separator")
        QLocale::setDefault(German);
    else if (change == "replaced outside") {
        TChargeLog other;
        fillRandomLog(other, rng, 200);
        QVERIFY(writeBytes(path, LogFile::WriteChargeLog(other)));
    } else if (change == "cut short") {
        // The file gets shorter while the log still takes it for its own.
        QVERIFY(::truncate(QFile::encodeName(path).constData(), 1000) == 0);
        log.LastWritten.Identity = TLogFileIdentity::ofPath(path);
    }
    LogFile::SaveChargeLog(path, log);
    QCOMPARE(readBytes(path), LogFile::WriteChargeLog(log));
    // And the next save, which copies from this file, too.
    LogFile::SaveChargeLog(path, log);
    QCOMPARE(readBytes(path), LogFile::WriteChargeLog(log));
    QLocale::setDefault(QLocale::c());
}

// A log just read finds where its file holds each charge's bytes, so that its first save copies
// them; whatever is found, every save writes exactly what formatting the log gives.
void TestLogFile::placesOfAReadLog_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("readable"); // the finder can take the file for the one read
    QTest::addColumn<int>("missing");   // charges whose bytes are not found
    QTest::newRow("written by QorLog") << "as written" << true << 0;
    QTest::newRow("charges out of order") << "swapped" << true << 0;
    QTest::newRow("one charge spelt otherwise") << "spaced" << true << 1;
    QTest::newRow("another separator") << "german" << true << -1;
    QTest::newRow("replaced after the read") << "replaced" << false << 0;
}

void TestLogFile::placesOfAReadLog()
{
    QFETCH(QString, file);
    QFETCH(bool, readable);
    QFETCH(int, missing);
    QTemporaryDir dir;
    const QString path = dir.filePath("qorlog.QorLog");
    QRandomGenerator rng(5);
    TChargeLog written;
    fillRandomLog(written, rng, 120);
    QLocale::setDefault(file == "german" ? German : QLocale::c());
    QByteArray bytes = LogFile::WriteChargeLog(written);
    QLocale::setDefault(QLocale::c());
    const QByteArray start("\n    <Charge>"), end("\n    </Charge>");
    const qsizetype first = bytes.indexOf(start);
    const qsizetype firstEnd = bytes.indexOf(end, first) + end.size();
    if (file == "swapped") {
        // The first charge moves to the end of the list.
        const QByteArray charge = bytes.mid(first, firstEnd - first);
        bytes.remove(first, charge.size());
        bytes.insert(bytes.lastIndexOf(end) + end.size(), charge);
    } else if (file == "spaced") {
        bytes.insert(first + start.size(), ' '); // a blank between elements reads the same
    }
    QVERIFY(writeBytes(path, bytes));

    TChargeLog log;
    const TLogFileIdentity identity = TLogFileIdentity::ofPath(path);
    LogFile::LoadChargeLog(path, log);
    log.ChargeStringList.sortByDateTime();
    if (file == "replaced")
        QVERIFY(writeBytes(path, bytes + "\n"));
    LogFile::TFoundPlaces found;
    QCOMPARE(LogFile::FindWrittenPlaces(path, log, identity, found), readable);
    const int count = log.ChargeStringList.count();
    if (!readable) {
        QCOMPARE(found.Found, 0);
    } else if (missing >= 0) {
        QCOMPARE(found.Found, count - missing);
    } else {
        QVERIFY(found.Found < count);
    }
    log.ChargeStringList.noteWrittenPlaces(found.Places);
    if (readable)
        log.LastWritten = found.Written;
    // The first save, and one after a change in the middle, give the formatted bytes.
    LogFile::SaveChargeLog(path, log);
    QCOMPARE(readBytes(path), LogFile::WriteChargeLog(log));
    log.StoreChargeRecord(log.ChargeStringList.record(count / 2).Key, 77.5, "Pb", "QorA1", "Cell",
                          1, 2, "Normal", "edited", "");
    LogFile::SaveChargeLog(path, log);
    QCOMPARE(readBytes(path), LogFile::WriteChargeLog(log));
}

// Each save lets go of the file it replaced, if not at once then soon after.
void TestLogFile::replacedFilesAreLetGo()
{
    const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    QTemporaryDir dir;
    const QString path = dir.filePath("qorlog.QorLog");
    TChargeLog log;
    QRandomGenerator rng(11);
    fillRandomLog(log, rng, 50);
    LogFile::SaveChargeLog(path, log);
    const uint before = openFiles();
    for (int i = 0; i < 30; ++i) {
        log.StoreChargeRecord(-1, 50000.0 + i, "Pb", "QorA1", "Cell", 1, 2, "Normal", "", "");
        LogFile::SaveChargeLog(path, log);
    }
    // Files replaced by earlier tests may still be let go meanwhile: no more than before.
    QTRY_VERIFY(openFiles() <= before);
    QCOMPARE(readBytes(path), LogFile::WriteChargeLog(log));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"qorlog.QorLog"});
}

void TestLogFile::sampleLog()
{
    TChargeLog log;
    QList<int> progress;
    LogFile::ReadChargeLog(sample("basic.xml"), log, "basic.xml",
                           [&](int minimum, int maximum, int position) {
                               QCOMPARE(minimum, 0);
                               QVERIFY(position >= 0 && position <= maximum);
                               progress << position;
                           });
    QCOMPARE(progress.size(), 3);
    QVERIFY(progress[0] < progress[1] && progress[1] < progress[2]);
    QCOMPARE(colours(log), (QList<qint32>{8388736, QorLog::DefaultChargeSeriesColour, 255}));
    QCOMPARE(
        describeCharges(log),
        QStringList(
            {R"(39146.604166666701 "PSU" "QorB1_1" " Cell 1 " 1.5 2.25 "Normal" )"
             "\"first * charge\r\nafter storage\" \"/var/log/qor/cell1.txt\"",
             R"(39146.25 "Mains" "QorC3_2" "Pack & Spare" -0.5 -1.1999999999999999e-06 "Interrupted" "" "")",
             // no Battery: position 0, which by now names the first battery
             R"(0 "Solar ☀" "QorA1" " Cell 1 " 2 1000000000000000 "Error" "🔋 spare" "")"}));
    QCOMPARE(log.PowerSourcesStringList.names(), (QStringList{"PSU", "Pb", "Mains", "Solar ☀"}));
    QCOMPARE(log.BatteriesStringList.names(), (QStringList{" Cell 1 ", "Pack & Spare"}));
    // Written back, the default spelling and the blanks are kept.
    const QByteArray xml = LogFile::WriteChargeLog(log);
    QVERIFY(xml.contains("<PowerSource>PSU</PowerSource>"));
    QVERIFY(!xml.contains("psu"));
    QVERIFY(xml.contains("<Battery> Cell 1 </Battery>"));
    QVERIFY(xml.contains("<ChargeSeriesColour>8421504</ChargeSeriesColour>"));
}

void TestLogFile::templateReadsAsEmpty()
{
    const QByteArray xml = sample("template.xml");
    QVERIFY(xml.contains('\r') && !xml.contains('\n'));
    TChargeLog log;
    QCOMPARE(readInto(log, xml), QString());
    QVERIFY(log.ChargeStringList.isEmpty());
    QCOMPARE(colours(log), colours(TChargeLog()));
    QCOMPARE(log.BatteriesStringList.count(), 0);
}

void TestLogFile::readingRules_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("charges");
    QTest::addColumn<QList<qint32>>("colourValues");

    const QList<qint32> defaults = colours(TChargeLog());
    const auto withCharges = [](const QByteArray &charges) {
        return "<ApplicationData/><Charges>" + charges + "</Charges>";
    };
    QTest::newRow("lower-case field names")
        << withCharges("<charge><datetime>1.5</datetime><BATTERY>b</BATTERY>"
                       "<amphours>2</amphours></charge>")
        << QStringList{R"(1.5 "PSU" "QorA1" "b" 0 2 "Normal" "" "")"} << defaults;
    QTest::newRow("lower-case Charges not found")
        << QByteArray("<charges><Charge><DateTime>1</DateTime></Charge></charges>") << QStringList{}
        << defaults;
    QTest::newRow("lower-case ApplicationData not found")
        << QByteArray("<applicationdata><CyclesSeriesColour>5</CyclesSeriesColour>"
                      "</applicationdata>")
        << QStringList{} << defaults;
    QTest::newRow("colour names in any case")
        << QByteArray("<ApplicationData><cyclesseriescolour>5</cyclesseriescolour>"
                      "<CHARGESERIESCOLOUR>-6</CHARGESERIESCOLOUR></ApplicationData>")
        << QStringList{} << QList<qint32>{5, -6, defaults[2]};
    QTest::newRow("zero colour is absent")
        << QByteArray("<ApplicationData><CyclesSeriesColour>0</CyclesSeriesColour>"
                      "<DischargeSeriesColour>7</DischargeSeriesColour></ApplicationData>")
        << QStringList{} << QList<qint32>{defaults[0], defaults[1], 7};
    QTest::newRow("later colour overrides")
        << QByteArray("<ApplicationData><CyclesSeriesColour>1</CyclesSeriesColour>"
                      "<CyclesSeriesColour>2</CyclesSeriesColour></ApplicationData>")
        << QStringList{} << QList<qint32>{2, defaults[1], defaults[2]};
    QTest::newRow("psu is PSU") << withCharges("<Charge><PowerSource>psu</PowerSource></Charge>")
                                << QStringList{R"(0 "PSU" "QorA1" "" 0 0 "Normal" "" "")"}
                                << defaults;
    QTest::newRow("untrimmed names keep blanks")
        << withCharges("<Charge><Battery> B </Battery><Charger>QorA1 </Charger></Charge>")
        << QStringList{R"(0 "PSU" "QorA1 " " B " 0 0 "Normal" "" "")"} << defaults;
    QTest::newRow("missing fields are zero")
        << withCharges("<Charge><Comment>only</Comment></Charge>")
        << QStringList{R"(0 "PSU" "QorA1" "" 0 0 "Normal" "only" "")"} << defaults;
    QTest::newRow("comma and full stop both read")
        << withCharges("<Charge><DateTime>1,5</DateTime><AmpHours>1.5</AmpHours>"
                       "<NominalChargeAmps>-2,5E-1</NominalChargeAmps></Charge>")
        << QStringList{R"(1.5 "PSU" "QorA1" "" -0.25 1.5 "Normal" "" "")"} << defaults;
    QTest::newRow("any element in Charges is a charge")
        << withCharges("<X><DateTime>2</DateTime></X><Charge/>")
        << QStringList{R"(2 "PSU" "QorA1" "" 0 0 "Normal" "" "")",
                       R"(0 "PSU" "QorA1" "" 0 0 "Normal" "" "")"}
        << defaults;
    QTest::newRow("first Charges only")
        << QByteArray("<Charges><Charge><DateTime>1</DateTime></Charge></Charges>"
                      "<Charges><Charge><DateTime>2</DateTime></Charge></Charges>")
        << QStringList{R"(1 "PSU" "QorA1" "" 0 0 "Normal" "" "")"} << defaults;
    QTest::newRow("missing log file kept")
        << withCharges("<Charge><ChargerLogFileName>/nonexistent/qor/x.txt"
                       "</ChargerLogFileName></Charge>")
        << QStringList{R"(0 "PSU" "QorA1" "" 0 0 "Normal" "" "/nonexistent/qor/x.txt")"}
        << defaults;
    QTest::newRow("star in log file name dropped")
        << withCharges("<Charge><ChargerLogFileName>a*b</ChargerLogFileName>"
                       "<Comment>c*d</Comment></Charge>")
        << QStringList{R"(0 "PSU" "QorA1" "" 0 0 "Normal" "c*d" "ab")"} << defaults;
    QTest::newRow("CR kept by reference, literal CR LF is LF")
        << withCharges("<Charge><Comment>a&#13;\r\nb\rc</Comment></Charge>")
        << QStringList{"0 \"PSU\" \"QorA1\" \"\" 0 0 \"Normal\" \"a\r\nb\nc\" \"\""} << defaults;
    QTest::newRow("numbers on lines of their own")
        << withCharges("<Charge><DateTime>\n      45000.5\n    </DateTime><AmpHours>\r\n\t-1,25 "
                       "\r\n</AmpHours></Charge>")
        << QStringList{R"(45000.5 "PSU" "QorA1" "" 0 -1.25 "Normal" "" "")"} << defaults;
    QTest::newRow("comments, PIs, CDATA, unknown elements")
        << withCharges("<!-- c --><?pi x?><Charge><Unknown>9</Unknown><Battery>"
                       "<![CDATA[<B>]]><!-- c --></Battery><DateTime>1<?pi?>2</DateTime>"
                       "</Charge>")
        << QStringList{R"(12 "PSU" "QorA1" "<B>" 0 0 "Normal" "" "")"} << defaults;
}

void TestLogFile::readingRules()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, charges);
    QFETCH(QList<qint32>, colourValues);

    for (const QByteArray &root : {QByteArray("QorInsight"), QByteArray("AnyRoot")}) {
        TChargeLog log;
        const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                               "\n<" +
                               root + ">" + body + "</" + root + ">";
        QCOMPARE(readInto(log, xml), QString());
        QCOMPARE(describeCharges(log), charges);
        QCOMPARE(colours(log), colourValues);
    }
}

void TestLogFile::identityReadingRules_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("identities"); // per charge: id and last change
    QTest::addColumn<QStringList>("deletions");
    const QByteArray id = "5b0e7c3a-91d2-4f6e-a817-3c64e20b9d51";
    const QString idText = QString::fromLatin1(id);
    const QByteArray charge = "<Charge><DateTime>1</DateTime>";
    QTest::newRow("id and last change") << "<Charges>" + charge + "<Id>" + id +
                                               "</Id><Changed>45000.25</Changed></Charge></Charges>"
                                        << QStringList{idText + " 45000.25"} << QStringList{};
    QTest::newRow("in any case, braces and blanks around the id")
        << "<Charges>" + charge + "<id>\n {" + id.toUpper() + "} </id><CHANGED>45000,5</CHANGED>" +
               "</Charge></Charges>"
        << QStringList{idText + " 45000.5"} << QStringList{};
    QTest::newRow("an id that is none, a time that is none: not known")
        << "<Charges>" + charge + "<Id>charge 7</Id><Changed>soon</Changed></Charge></Charges>"
        << QStringList{"null 0"} << QStringList{};
    QTest::newRow("deletions after the charges, unknown elements after them")
        << "<Charges>" + charge + "</Charge></Charges><Deleted><DeletedCharge><Id>" + id +
               "</Id><Changed>45001</Changed></DeletedCharge><DeletedCharge><Changed>2"
               "</Changed></DeletedCharge></Deleted><Batteries><Battery><Name>B</Name>"
               "</Battery></Batteries>"
        << QStringList{"null 0"} << QStringList{idText + " 45001"};
}

void TestLogFile::identityReadingRules()
{
    QFETCH(QByteArray, body);
    TChargeLog log;
    QCOMPARE(readInto(log, "<QorInsight>" + body + "</QorInsight>"), QString());
    QStringList identities;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeEntry &e = log.ChargeStringList.at(i);
        identities << (e.Id.isNull() ? QStringLiteral("null")
                                     : e.Id.toString(QUuid::WithoutBraces)) +
                          QLatin1Char(' ') + QString::number(e.Changed, 'g', 17);
    }
    QTEST(identities, "identities");
    QStringList deletions;
    for (auto it = log.Deleted.cbegin(); it != log.Deleted.cend(); ++it)
        deletions << it.key().toString(QUuid::WithoutBraces) + QLatin1Char(' ') +
                         QString::number(it.value(), 'g', 17);
    QTEST(deletions, "deletions");
    // The nine fields read as from a file without them.
    QCOMPARE(describeCharges(log).value(0),
             QStringLiteral(R"(1 "PSU" "QorA1" "" 0 0 "Normal" "" "")"));
}

void TestLogFile::badNumberKeepsEarlierRecords()
{
    TChargeLog log;
    QCOMPARE(readInto(log, sample("bad-number.xml")),
             QString("'1.2.3' is not a valid floating point value"));
    QCOMPARE(log.ChargeStringList.count(), 1);
    QCOMPARE(log.ChargeStringList.record(0).DateTime, 1.5);
    QCOMPARE(log.NextKey, 2);

    TChargeLog colour;
    QCOMPARE(readInto(colour, "<Q><ApplicationData><CyclesSeriesColour>abc</CyclesSeriesColour>"
                              "</ApplicationData></Q>"),
             QString("'abc' is not a valid integer value"));
    QCOMPARE(colours(colour), colours(TChargeLog()));
}

void TestLogFile::damagedInput_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("records");

    const QByteArray basic = sample("basic.xml");
    QTest::newRow("empty") << QByteArray() << true << 0;
    QTest::newRow("blank") << QByteArray(" \r\n") << true << 0;
    QTest::newRow("truncated") << sample("truncated.xml") << true << 0;
    QTest::newRow("truncated after the last charge")
        << basic.left(basic.lastIndexOf("</Charges>")) << true << 3;
    QTest::newRow("not XML") << QByteArray("DateTime=1.5;Battery=A\n") << true << 0;
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01garbage", 11) << true << 0;
    QTest::newRow("garbage after the root") << basic + "<QorInsight/>" << true << 3;
    QTest::newRow("mismatched tags")
        << QByteArray("<Q><Charges><Charge><DateTime>1</Battery></Charge></Charges></Q>") << true
        << 0;
    QTest::newRow("undeclared entity")
        << QByteArray("<Q><Charges><Charge><Comment>&nbsp;</Comment></Charge></Charges></Q>")
        << true << 0;
    QTest::newRow("bad encoding declaration")
        << QByteArray("<?xml version=\"1.0\" encoding=\"no-such\"?><Q/>") << true << 0;
    QTest::newRow("invalid UTF-8")
        << QByteArray("<Q><Charges><Charge><Comment>\xc3\x28</Comment></Charge></Charges></Q>")
        << true << 0;
    QTest::newRow("control character reference")
        << QByteArray("<Q><Charges><Charge><Comment>&#1;</Comment></Charge></Charges></Q>") << true
        << 0;
    QTest::newRow("Latin-1 declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Q><Charges><Charge>"
                      "<Battery>\xc4</Battery></Charge></Charges></Q>")
        << false << 1;
    QTest::newRow("single-byte encoding the parser lacks")
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?><Q><Charges><Charge>"
                      "<Battery>\x80</Battery></Charge></Charges></Q>")
        << false << 1;
    QTest::newRow("entity from an external definition")
        << QByteArray("<!DOCTYPE Q SYSTEM \"q.dtd\"><Q><Charges><Charge><Comment>&nbsp;</Comment>"
                      "</Charge></Charges></Q>")
        << true << 0;
    QTest::newRow("mixed nodes sample") << sample("mixed-nodes.xml") << false << 2;
    QTest::newRow("root only") << QByteArray("<QorInsight/>") << false << 0;
    QTest::newRow("deep nesting") << "<Q><Charges><Charge><X>" + QByteArray("<a>").repeated(5000) +
                                         QByteArray("</a>").repeated(5000) +
                                         "</X></Charge></Charges></Q>"
                                  << false << 1;
    QTest::newRow("10 MB in one field")
        << "<Q><Charges><Charge><Comment>" + QByteArray(10 * 1024 * 1024, 'x') +
               "</Comment></Charge></Charges></Q>"
        << false << 1;
}

void TestLogFile::damagedInput()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, fails);
    QFETCH(int, records);

    TChargeLog log;
    const QString error = readInto(log, xml);
    QCOMPARE(!error.isEmpty(), fails);
    if (fails)
        QVERIFY2(error.contains("test.QorLog"), qPrintable(error)); // it names the file
    QCOMPARE(log.ChargeStringList.count(), records);
    // Whatever was read can be written and read back unchanged.
    TChargeLog copy;
    QCOMPARE(readInto(copy, LogFile::WriteChargeLog(log)), QString());
    QCOMPARE(describeCharges(copy), describeCharges(log));
}

void TestLogFile::readInTwoHalves_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("joined"); // whether the halves can be joined: 1, 0, -1 either

    QRandomGenerator rng(11);
    TChargeLog random;
    fillRandomLog(random, rng, 300);
    for (int i = 0; i < 20; ++i) // the deletions after the charges are the second half's
        random.Deleted.insert(QUuid::createUuid(), 45000 + i);
    const QByteArray written = LogFile::WriteChargeLog(random);
    QTest::newRow("written log") << written << 1;
    const auto damagedAt = [&written](double where, const QByteArray &with) {
        QByteArray xml = written;
        const qsizetype at = xml.indexOf("<DateTime>", qsizetype(xml.size() * where)) + 10;
        return xml.insert(at, with);
    };
    QTest::newRow("bad number in the first half") << damagedAt(0.2, "x") << 0;
    QTest::newRow("bad number in the second half") << damagedAt(0.8, "x") << 0;
    QTest::newRow("invalid UTF-8 in the second half") << damagedAt(0.9, "\xc3\x28") << 0;
    QTest::newRow("truncated in the second half") << written.left(written.size() * 3 / 4) << 0;
    QTest::newRow("garbage after the root") << written + "<Q/>" << 0;

    const auto charge = [](int i) {
        return QByteArray("<Charge><DateTime>%1</DateTime><Battery>B%2</Battery></Charge>")
            .replace("%1", QByteArray::number(i))
            .replace("%2", QByteArray::number(i % 7));
    };
    QByteArray charges;
    for (int i = 1; i <= 40; ++i)
        charges += charge(i);
    QTest::newRow("colours after the charges")
        << "<Q><Charges>" + charges +
               "</Charges><ApplicationData><CyclesSeriesColour>5</CyclesSeriesColour>"
               "</ApplicationData></Q>"
        << 1;
    QTest::newRow("a second Charges after the first")
        << "<Q><Charges>" + charges + "</Charges><Charges>" + charge(99) + "</Charges></Q>" << 1;
    QByteArray empties;
    for (int i = 1; i <= 40; ++i)
        empties += i % 2 ? QByteArray("<Charge/>") : charge(i);
    // The hand-over falls on an empty element, which ends before the parse pauses.
    QTest::newRow("empty charges") << "<Q><Charges>" + empties + "</Charges></Q>" << 1;
    QTest::newRow("the head's Charges in a comment")
        << "<Q><!-- <Charges> --><Charges>" + charges + "</Charges></Q>" << 0;
    QByteArray hidden; // the only start tags like the first charge's sit in CDATA sections
    for (int i = 1; i <= 40; ++i)
        hidden += "<Other><Comment><![CDATA[<Charge>]]></Comment></Other>";
    QTest::newRow("the charge tag in CDATA")
        << "<Q><Charges>" + charge(1) + hidden + "</Charges></Q>" << 0;
    for (const char *name : {"basic.xml", "bad-number.xml", "entities.xml", "mixed-nodes.xml",
                             "template.xml", "truncated.xml"})
        QTest::newRow(name) << sample(name) << -1;
}

// A log read in two halves at once is the very log read in one pass, failures included.
void TestLogFile::readInTwoHalves()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, joined);

    const auto read = [&xml](LogFile::ReadMode mode, TChargeLog &log, LogFile::ReadMode &way) {
        try {
            way = LogFile::ReadChargeLog(xml, log, QStringLiteral("test.QorLog"), {}, mode);
            return QString();
        } catch (const QorLogError &e) {
            return e.message();
        }
    };
    TChargeLog once, halves;
    LogFile::ReadMode way = LogFile::ReadMode::Automatic;
    const QString error = read(LogFile::ReadMode::InOnePass, once, way);
    QCOMPARE(read(LogFile::ReadMode::InTwoHalves, halves, way), error);
    QCOMPARE(describeExactly(halves), describeExactly(once));
    if (error.isEmpty() && joined >= 0)
        QCOMPARE(way == LogFile::ReadMode::InTwoHalves, joined == 1);

    // The same from a file, with a progress that only moves forward.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("halves.QorLog"));
    QVERIFY(writeBytes(path, xml));
    TChargeLog fromFile;
    int last = -1;
    bool forward = true;
    try {
        LogFile::LoadChargeLog(
            path, fromFile, [&](int, int, int at) { forward = forward && at >= last, last = at; },
            LogFile::ReadMode::InTwoHalves);
    } catch (const QorLogError &) {
    }
    QCOMPARE(describeExactly(fromFile), describeExactly(once));
    QVERIFY(forward);
}

void TestLogFile::writtenChargesReadAsParsed_data()
{
    QTest::addColumn<QByteArray>("xml");

    QRandomGenerator rng(23);
    TChargeLog random;
    fillRandomLog(random, rng, 400);
    random.Deleted.insert(QUuid::createUuid(), 45000);
    const QByteArray written = LogFile::WriteChargeLog(random);
    // `with` in place of what stands between `tag` and the next "<", after `where` of the file.
    const auto replaced = [&written](double where, const char *tag, const QByteArray &with) {
        QByteArray xml = written;
        const qsizetype at = xml.indexOf(tag, qsizetype(xml.size() * where)) + qstrlen(tag);
        return xml.replace(at, xml.indexOf('<', at) - at, with);
    };
    QTest::newRow("as written") << written;
    QTest::newRow("the references a save writes")
        << replaced(0.3, "<Comment>", "&lt;a&gt; &amp; &quot;b&quot; &apos;c&apos;&#13;");
    QTest::newRow("other references") << replaced(0.7, "<Comment>", "&#65;&#x42;");
    QTest::newRow("an unknown entity") << replaced(0.7, "<Comment>", "&nbsp;");
    QTest::newRow("a bare ampersand") << replaced(0.3, "<Comment>", "a & b");
    QTest::newRow("a stray >") << replaced(0.3, "<Comment>", "a > b");
    QTest::newRow("]]> in a text") << replaced(0.8, "<Comment>", "a ]]> b");
    QTest::newRow("carriage returns") << replaced(0.3, "<Comment>", "a\r\nb\rc");
    QTest::newRow("a control character") << replaced(0.7, "<Comment>", "a\x01");
    QTest::newRow("tab and line feed") << replaced(0.3, "<Battery>", "a\tb\nc");
    QTest::newRow("non-ASCII names")
        << replaced(0.3, "<Charger>", "Ladeger\xc3\xa4t \xe2\x82\xac \xf0\x9f\x94\x8b");
    QTest::newRow("a byte order mark first") << replaced(0.3, "<Battery>",
                                                         "\xef\xbb\xbf"
                                                         "AA");
    QTest::newRow("a byte that is no UTF-8") << replaced(0.7, "<Comment>", "a\xff");
    QTest::newRow("an overlong sequence") << replaced(0.3, "<Comment>", "\xc0\x80");
    QTest::newRow("a surrogate") << replaced(0.3, "<Comment>", "\xed\xa0\x80");
    QTest::newRow("U+FFFE") << replaced(0.7, "<Comment>", "\xef\xbf\xbe");
    QTest::newRow("beyond U+10FFFF") << replaced(0.7, "<Comment>", "\xf4\x90\x80\x80");
    QTest::newRow("a number with blanks") << replaced(0.3, "<AmpHours>", " 1.5\n ");
    QTest::newRow("no number") << replaced(0.8, "<DateTime>", "soon");
    QTest::newRow("an id that is none") << replaced(0.3, "<Id>", "none");
    QTest::newRow("a Changed that is none") << replaced(0.7, "<Changed>", "never");
    QTest::newRow("a star in the log file name") << replaced(0.3, "<ChargerLogFileName>", "a*b");
    QByteArray xml = written;
    QTest::newRow("an empty element") << xml.replace("<Comment></Comment>", "<Comment/>");
    xml = written;
    const qsizetype id = xml.indexOf("\n      <Id>", written.size() / 2);
    QTest::newRow("an id without its time")
        << xml.remove(xml.indexOf("\n      <Changed>", id),
                      xml.indexOf("</Changed>", id) + 10 - xml.indexOf("\n      <Changed>", id));
    xml = written;
    const qsizetype charge = xml.indexOf("\n    <Charge>", written.size() / 3);
    QTest::newRow("without an identity")
        << xml.remove(xml.indexOf("\n      <Id>", charge),
                      xml.indexOf("</Changed>", charge) + 10 - xml.indexOf("\n      <Id>", charge));
    xml = written;
    QTest::newRow("a comment between charges") << xml.insert(charge, "<!-- \n    <Charge> -->");
    xml = written;
    QTest::newRow("a charge's tag in a comment at the middle")
        << xml.insert(xml.indexOf("\n    <Charge>", written.size() / 2), "<!--\n    <Charge>-->");
    xml = written;
    QTest::newRow("indented otherwise") << xml.insert(charge + 1, ' ');
    xml = written;
    QTest::newRow("the head's Charges in a comment")
        << xml.insert(xml.indexOf("\n  </ApplicationData>"), "<!--\n  <Charges>-->");
    QTest::newRow("cut short in a charge") << written.left(written.size() * 3 / 5);
    QTest::newRow("cut short after the charges")
        << written.left(written.indexOf("\n  </Charges>") + 13);
    QTest::newRow("a comment of a megabyte")
        << replaced(0.5, "<Comment>", QByteArray(1 << 20, 'c'));
}

// Charges laid out as a save writes them read as the XML parser reads them, and whatever is
// laid out otherwise, damaged or not, is read as the parser reads it too.
void TestLogFile::writtenChargesReadAsParsed()
{
    QFETCH(QByteArray, xml);

    const auto read = [&xml](LogFile::ReadMode mode, TChargeLog &log) {
        try {
            LogFile::ReadChargeLog(xml, log, QStringLiteral("test.QorLog"), {}, mode);
            return QString();
        } catch (const QorLogError &e) {
            return e.message();
        }
    };
    TChargeLog parsed;
    const QString error = read(LogFile::ReadMode::ParserOnly, parsed);
    for (const LogFile::ReadMode mode :
         {LogFile::ReadMode::InOnePass, LogFile::ReadMode::InTwoHalves}) {
        TChargeLog log;
        QCOMPARE(read(mode, log), error);
        QCOMPARE(describeExactly(log), describeExactly(parsed));
    }
}

void TestLogFile::readFindsWhereChargesStand_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("comma");

    QRandomGenerator rng(31);
    TChargeLog random;
    fillRandomLog(random, rng, 600);
    // A name whose letter case the second half meets first.
    random.StoreChargeRecord(-1, 1e6, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                             QStringLiteral("Pack"), 1, 1, QStringLiteral("Normal"), QString(),
                             QString());
    QByteArray written = LogFile::WriteChargeLog(random);
    QTest::newRow("as written") << written << false;
    // The first half meets "Pack", the second half "PACK" first.
    QByteArray xml = written;
    const qsizetype lastStart = xml.lastIndexOf("\n    <Charge>");
    QByteArray early = xml.mid(lastStart, xml.indexOf("\n  </Charges>") - lastStart);
    const qsizetype id = early.indexOf("<Id>") + 4;
    early.replace(id, 36, QUuid::createUuid().toByteArray(QUuid::WithoutBraces));
    xml.replace(xml.lastIndexOf("<Battery>Pack</Battery>"), 23, "<Battery>PACK</Battery>");
    xml.insert(xml.indexOf("\n    <Charge>"), early);
    QTest::newRow("a name in other letters in each half") << xml << false;
    const auto replaced = [&written](double where, const char *tag, const QByteArray &with) {
        QByteArray out = written;
        const qsizetype at = out.indexOf(tag, qsizetype(out.size() * where)) + qstrlen(tag);
        return out.replace(at, out.indexOf('<', at) - at, with);
    };
    QTest::newRow("a number written otherwise") << replaced(0.3, "<AmpHours>", "1.50") << false;
    QTest::newRow("an id in capitals")
        << replaced(0.7, "<Id>", "3F2504E0-4F89-41D3-9A0C-0305E82C3301") << false;
    QTest::newRow("a quotation mark as it is") << replaced(0.3, "<Comment>", "a \"b\"") << false;
    QTest::newRow("an apostrophe by reference") << replaced(0.7, "<Comment>", "a &apos;b") << false;
    QTest::newRow("a star in the log file name")
        << replaced(0.3, "<ChargerLogFileName>", "a*b") << false;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTest::newRow("with decimal commas") << LogFile::WriteChargeLog(random) << true;
    QLocale::setDefault(QLocale::c());
}

// A log read from its file knows where each charge stands in it, as the search of a file just
// read for each charge's bytes finds it: only bytes that a save writes exactly so count.
void TestLogFile::readFindsWhereChargesStand()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, comma);
    QLocale::setDefault(comma ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("places.QorLog"));
    QVERIFY(writeBytes(path, xml));
    for (const LogFile::ReadMode mode :
         {LogFile::ReadMode::InOnePass, LogFile::ReadMode::InTwoHalves}) {
        TChargeLog log;
        LogFile::LoadChargeLog(path, log, {}, mode);
        QVERIFY(log.LastWritten.Generation != 0);
        QCOMPARE(log.LastWritten.Identity, TLogFileIdentity::ofPath(path));
        LogFile::TFoundPlaces found;
        QVERIFY(LogFile::FindWrittenPlaces(path, log, TLogFileIdentity::ofPath(path), found));
        int placed = 0;
        for (int i = 0; i < log.ChargeStringList.count(); ++i) {
            const TWrittenPlace &mine = log.ChargeStringList.at(i).Written;
            const TWrittenPlace &searched = found.Places.at(size_t(i));
            QCOMPARE(mine.Generation == log.LastWritten.Generation, searched.Generation != 0);
            if (searched.Generation != 0) {
                QCOMPARE(mine.Offset, searched.Offset);
                QCOMPARE(mine.Length, searched.Length);
                ++placed;
            }
        }
        QCOMPARE(placed, found.Found);
        QVERIFY(placed > log.ChargeStringList.count() / 2);
    }
    QLocale::setDefault(QLocale::c());
}

void TestLogFile::readTakesWhatStandsUnchanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("comma");
    QTest::addColumn<int>("leastTaken");
    QTest::newRow("unchanged") << "none" << false << 401;
    // After a gap a few are read before the known charges are looked up by their ids.
    QTest::newRow("edited, removed, added") << "edits" << false << 401 - 160 - 8;
    QTest::newRow("a name in other letters first") << "recased" << false << 400;
    QTest::newRow("a number written otherwise") << "otherwise" << false << 400;
    QTest::newRow("decimal commas now") << "none" << true << 0;
}

// A file another program put in place of the one a log was written to reads as a whole read of
// it does, also where charges are taken unchanged from the log known from the old file.
void TestLogFile::readTakesWhatStandsUnchanged()
{
    QFETCH(QString, change);
    QFETCH(bool, comma);
    QFETCH(int, leastTaken);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("known.QorLog"));
    TChargeLog ours;
    QRandomGenerator rng(47);
    fillRandomLog(ours, rng, 400);
    ours.StoreChargeRecord(-1, 1e6, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                           QStringLiteral("Pack"), 1, 1, QStringLiteral("Normal"), QString(),
                           QString());
    LogFile::SaveChargeLog(path, ours);
    const int n = ours.ChargeStringList.count();
    LogFile::TKnownLog known;
    known.Log = std::make_shared<const TChargeLog>(ours);
    known.File = LogFile::HoldFile(path, TLogFileIdentity::ofPath(path));
    QVERIFY(known.File);

    QByteArray theirs = LogFile::WriteChargeLog(ours);
    if (change == QLatin1String("edits")) {
        TChargeLog other = ours;
        TChargeRecord edited = other.ChargeStringList.record(n / 2);
        edited.AmpHours += 0.5;
        other.ChargeStringList.replace(n / 2, edited, other.ChargeStringList.text(n / 2));
        for (int k = 0; k < 3; ++k)
            other.ChargeStringList.removeAt(n / 4);
        // More removed in one place than the next few charges looked at.
        for (int k = 0; k < 150; ++k)
            other.ChargeStringList.removeAt(n / 3);
        other.StoreChargeRecord(-1, -1e6, QStringLiteral("Solar"), QStringLiteral("QorZ9"),
                                QStringLiteral("New pack"), 2, 2, QStringLiteral("Timer"),
                                QStringLiteral("from elsewhere"), QString());
        theirs = LogFile::WriteChargeLog(other);
    } else if (change == QLatin1String("recased")) {
        // A charge that comes first names "PACK": the known "Pack" then reads in other letters.
        const qsizetype last = theirs.lastIndexOf("\n    <Charge>");
        QByteArray early = theirs.mid(last, theirs.indexOf("\n  </Charges>") - last);
        early.replace(early.indexOf("<Id>") + 4, 36,
                      QUuid::createUuid().toByteArray(QUuid::WithoutBraces));
        early.replace("<Battery>Pack</Battery>", "<Battery>PACK</Battery>");
        theirs.insert(theirs.indexOf("\n    <Charge>"), early);
    } else if (change == QLatin1String("otherwise")) {
        const qsizetype amps = theirs.indexOf("<AmpHours>", theirs.size() / 2) + 10;
        theirs.replace(amps, theirs.indexOf('<', amps) - amps, "1.50");
    }
    QVERIFY(writeBytes(path + QStringLiteral(".new"), theirs));
    QVERIFY(QFile::rename(path + QStringLiteral(".new"), path) ||
            (QFile::remove(path) && QFile::rename(path + QStringLiteral(".new"), path)));

    QLocale::setDefault(comma ? German : QLocale::c());
    TChargeLog whole, taking;
    LogFile::LoadChargeLog(path, whole);
    std::vector<qint32> takenFrom;
    LogFile::LoadChargeLog(path, taking, known, &takenFrom);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(describeExactly(taking), describeExactly(whole));
    QCOMPARE(taking.LastWritten.Generation != 0, whole.LastWritten.Generation != 0);
    int taken = 0;
    for (int i = 0; i < taking.ChargeStringList.count(); ++i) {
        const TWrittenPlace &mine = taking.ChargeStringList.at(i).Written;
        const TWrittenPlace &read = whole.ChargeStringList.at(i).Written;
        QCOMPARE(mine.Generation != 0, read.Generation != 0);
        QCOMPARE(mine.Offset, read.Offset);
        QCOMPARE(mine.Length, read.Length);
        // A charge taken shares its text with the known one.
        for (int k = 0; k < n; ++k)
            if (ours.ChargeStringList.at(k).Id == taking.ChargeStringList.at(i).Id) {
                taken +=
                    taking.ChargeStringList.text(i).isSharedWith(ours.ChargeStringList.text(k));
                break;
            }
    }
    QVERIFY2(comma ? taken == 0 : taken >= leastTaken,
             qPrintable(QStringLiteral("%1 taken").arg(taken)));
    // The read says which it took, and from where.
    QCOMPARE(takenFrom.size(), comma ? size_t(0) : size_t(taking.ChargeStringList.count()));
    int said = 0;
    for (size_t i = 0; i < takenFrom.size(); ++i)
        if (takenFrom[i] >= 0) {
            ++said;
            QCOMPARE(ours.ChargeStringList.at(takenFrom[i]).Id,
                     taking.ChargeStringList.at(int(i)).Id);
        }
    QCOMPARE(said, comma ? 0 : taken);
}

// A log that takes the places of the charges it shares with a log just read from a file writes,
// copying them from that file, exactly what formatting every charge gives.
void TestLogFile::placesTakenFromAReadLog()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("read.QorLog"));
    QRandomGenerator rng(41);
    TChargeLog original;
    fillRandomLog(original, rng, 300);
    LogFile::SaveChargeLog(path, original);
    TChargeLog read;
    LogFile::LoadChargeLog(path, read);
    // Another log with the same charges but for one edited, one removed and one added, its
    // names in another order.
    TChargeLog memory;
    memory.BatteriesStringList.findOrAppend(QStringLiteral("first here"));
    for (int i = 0; i < read.ChargeStringList.count(); ++i) {
        if (i == 7)
            continue;
        TChargeEntry entry = read.ChargeStringList.at(i);
        TChargeRecord &r = entry.Record;
        for (const TChargeLog::NameKind kind :
             {TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger,
              TChargeLog::NameKind::Battery, TChargeLog::NameKind::Termination}) {
            const int index = memory.nameList(kind).findOrAppend(
                read.nameList(kind).name(TChargeLog::recordIndex(r, kind)));
            (kind == TChargeLog::NameKind::PowerSource ? r.PowerSourceIndex
             : kind == TChargeLog::NameKind::Charger   ? r.ChargerIndex
             : kind == TChargeLog::NameKind::Battery   ? r.BatteryIndex
                                                       : r.TerminationIndex) = index;
        }
        r.Key = memory.NextKey++;
        if (i == 3)
            entry.Text += QLatin1Char('x');
        memory.ChargeStringList.append(entry);
    }
    memory.StoreChargeRecord(-1, 45000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                             QStringLiteral("first here"), 1, 1, QStringLiteral("Normal"),
                             QString(), QString());
    memory.CyclesSeriesColour = read.CyclesSeriesColour;
    memory.ChargeSeriesColour = read.ChargeSeriesColour;
    memory.DischargeSeriesColour = read.DischargeSeriesColour;
    QCOMPARE(memory.takePlacesFrom(read), read.ChargeStringList.count() - 2);
    TChargeLog formatted = memory;
    const QByteArray expected = LogFile::WriteChargeLog(formatted);
    LogFile::SaveChargeLog(path, memory);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
}

void TestLogFile::entityExpansion_data()
{
    QTest::addColumn<QByteArray>("xml");

    QTest::newRow("nested sample") << sample("entities.xml");
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE Q [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += QByteArray("<!ENTITY l%1 \"").replace("%1", QByteArray::number(i)) +
                  QByteArray("&l%1;").replace("%1", QByteArray::number(i - 1)).repeated(10) + "\">";
    laughs += "]><Q><Charges><Charge><Comment>&l9;</Comment></Charge></Charges></Q>";
    QTest::newRow("nested ten deep") << laughs;
    // Each reference stays under any per-entity limit; together they would be gigabytes.
    QTest::newRow("wide") << "<!DOCTYPE Q [<!ENTITY e \"" + QByteArray(4000, 'x') +
                                 "\">]><Q><Charges><Charge><Comment>" +
                                 QByteArray("&e;").repeated(2000) +
                                 "</Comment></Charge></Charges></Q>";
    QTest::newRow("in a name") << QByteArray("<!DOCTYPE Q [<!ENTITY e \"B\">]><Q><Charges><Charge>"
                                             "<Battery>&e;</Battery></Charge></Charges></Q>");
}

void TestLogFile::entityExpansion()
{
    QFETCH(QByteArray, xml);
    // A log file never declares entities: such a file is refused before anything is expanded.
    TChargeLog log;
    const QString error = readInto(log, xml);
    QVERIFY(!error.isEmpty());
    QVERIFY(log.ChargeStringList.isEmpty());
    QVERIFY(log.BatteriesStringList.isEmpty());
}

void TestLogFile::missingFile()
{
    QTemporaryDir dir;
    TChargeLog log;
    QCOMPARE(LogFile::LoadChargeLog(dir.filePath("none.QorLog"), log),
             LogFile::LoadOutcome::Missing);
    QCOMPARE(describeCharges(log), QStringList());
    QCOMPARE(log.NextKey, 1);
    QCOMPARE(log.BatteriesStringList.count(), 0);
    // A directory or a named pipe in its place is refused, not taken for missing, and the pipe
    // is not waited on.
    QVERIFY(QDir(dir.path()).mkdir("dir.QorLog"));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.QorLog")).constData(), 0600) == 0);
    for (const char *name : {"dir.QorLog", "pipe.QorLog"}) {
        try {
            LogFile::LoadChargeLog(dir.filePath(name), log);
            QFAIL("read");
        } catch (const QorLogReadError &error) {
            QVERIFY2(error.message().contains("not a regular file"), qPrintable(error.message()));
        }
    }
}

void TestLogFile::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("systemMessage");
    QTest::newRow("read-only directory") << "readonly" << QString(strerror(EACCES));
    QTest::newRow("file size limit (disk full)") << "fsize" << QString(strerror(EFBIG));
    QTest::newRow("directory gone") << "gone" << QString(strerror(ENOENT));
}

void TestLogFile::failedSaveKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(QString, systemMessage);

    QTemporaryDir dir;
    QString logDir = dir.filePath("logs");
    QVERIFY(QDir().mkpath(logDir));
    QString path = logDir + "/qorlog.QorLog";
    const QByteArray old = sample("basic.xml");
    QVERIFY(writeBytes(path, old));

    TChargeLog log;
    QRandomGenerator rng(5);
    fillRandomLog(log, rng, 400);          // far more than the old file holds
    log.ChargeStringList.sortByDateTime(); // as the save does first
    const QStringList before = describeCharges(log);

    struct rlimit oldLimit
    {
    };
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    const auto restore = [&] {
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        setImmutable(logDir, false);
        QFile::setPermissions(logDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const auto guard = qScopeGuard(restore);
    if (how == "readonly") {
        QVERIFY(QFile::setPermissions(logDir, QFile::ReadOwner | QFile::ExeOwner));
        QFile probe(logDir + "/probe");
        if (probe.open(QIODevice::WriteOnly)) {
            // Permissions do not stop this user; an immutable folder stops everyone.
            probe.remove();
            if (!setImmutable(logDir, true))
                QSKIP("no way to make a folder read-only for this user");
            systemMessage = strerror(EPERM);
        }
    } else if (how == "fsize") {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of a signal
        struct rlimit small = oldLimit;
        small.rlim_cur = rlim_t(old.size() + 100);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    } else if (how == "gone") {
        path = dir.filePath("gone/qorlog.QorLog");
    }

    try {
        LogFile::SaveChargeLog(path, log);
        QFAIL("the save reported success");
    } catch (const QorLogError &e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        QVERIFY2(e.message().contains(systemMessage, Qt::CaseInsensitive), qPrintable(e.message()));
    }
    restore(); // the checks below need the limits back

    QCOMPARE(readBytes(logDir + "/qorlog.QorLog"), old);
    QCOMPARE(QDir(logDir).entryList(QDir::Files | QDir::Hidden), QStringList{"qorlog.QorLog"});
    QCOMPARE(describeCharges(log), before); // the log in memory is unchanged
}

void TestLogFile::keepDamagedCopy()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("qorlog.QorLog");
    QByteArray damaged = sample("truncated.xml") + QByteArray("\x00\xff\r\n", 4);
    QVERIFY(writeBytes(path, damaged));

    const QDateTime before = QDateTime::currentDateTime();
    const QString copy = TBackupStore(path, QString()).keepDamagedCopy();
    const QDateTime after = QDateTime::currentDateTime();
    const QRegularExpression pattern(QRegularExpression::escape(path) +
                                     R"(\.damaged-(\d{8}-\d{6})$)");
    const QRegularExpressionMatch match = pattern.match(copy);
    QVERIFY2(match.hasMatch(), qPrintable(copy));
    const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyyMMdd-HHmmss");
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before.addSecs(-1) && stamp <= after);
    QCOMPARE(readBytes(copy), damaged);
    QCOMPARE(readBytes(path), damaged); // the original stays

    // A second copy never overwrites the first.
    QVERIFY(writeBytes(path, "second"));
    const QString second = TBackupStore(path, QString()).keepDamagedCopy();
    QVERIFY(second != copy);
    QVERIFY(second.startsWith(path + ".damaged-"));
    QCOMPARE(readBytes(copy), damaged);
    QCOMPARE(readBytes(second), QByteArray("second"));

    QVERIFY_THROWS_EXCEPTION(QorLogError,
                             TBackupStore(dir.filePath("missing"), QString()).keepDamagedCopy());
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
