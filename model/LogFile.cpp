#include "LogFile.h"

#include "NumberText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <functional>
#include <iterator>
#include <limits>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LogFile", text);
}

bool nameIs(QStringView name, QLatin1StringView expected)
{
    return name.compare(expected, Qt::CaseInsensitive) == 0;
}

// Reads the colour elements of ApplicationData; a zero colour counts as absent.
void readApplicationData(QXmlStreamReader &xml, TChargeLog &log)
{
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        qint32 *target = nullptr;
        if (nameIs(name, QLatin1StringView("CyclesSeriesColour")))
            target = &log.CyclesSeriesColour;
        else if (nameIs(name, QLatin1StringView("ChargeSeriesColour")))
            target = &log.ChargeSeriesColour;
        else if (nameIs(name, QLatin1StringView("DischargeSeriesColour")))
            target = &log.DischargeSeriesColour;
        if (!target) {
            xml.skipCurrentElement();
            continue;
        }
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml.hasError())
            return;
        const qint32 colour = NumberText::toInteger(text);
        if (colour != 0)
            *target = colour;
    }
}

enum class ChargeField
{
    DateTime,
    PowerSource,
    Charger,
    Battery,
    NominalChargeAmps,
    AmpHours,
    Termination,
    ChargerLogFileName,
    Comment,
    Other
};

// Which field an element inside a charge holds, tested in the order the fields are written.
ChargeField chargeFieldOf(QStringView name)
{
    static const QLatin1StringView names[] = {QLatin1StringView("DateTime"),
                                              QLatin1StringView("PowerSource"),
                                              QLatin1StringView("Charger"),
                                              QLatin1StringView("Battery"),
                                              QLatin1StringView("NominalChargeAmps"),
                                              QLatin1StringView("AmpHours"),
                                              QLatin1StringView("Termination"),
                                              QLatin1StringView("ChargerLogFileName"),
                                              QLatin1StringView("Comment")};
    for (int i = 0; i < int(std::size(names)); ++i)
        if (name.size() == names[i].size() && nameIs(name, names[i]))
            return ChargeField(i);
    return ChargeField::Other;
}

void readCharge(QXmlStreamReader &xml, TChargeLog &log)
{
    TChargeRecord record;
    QString comment;
    QString chargerLogFileName;
    while (xml.readNextStartElement()) {
        // The name is looked at before the text is read, while the reader still holds it.
        const ChargeField field = chargeFieldOf(xml.name());
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml.hasError())
            return; // reported by the caller; a half-read charge is not appended
        switch (field) {
        case ChargeField::DateTime:
            record.DateTime = NumberText::toFloat(text);
            break;
        case ChargeField::PowerSource:
            record.PowerSourceIndex = log.PowerSourcesStringList.findOrAppend(text);
            break;
        case ChargeField::Charger:
            record.ChargerIndex = log.ChargersStringList.findOrAppend(text);
            break;
        case ChargeField::Battery:
            record.BatteryIndex = log.BatteriesStringList.findOrAppend(text);
            break;
        case ChargeField::NominalChargeAmps:
            record.NominalChargeAmps = NumberText::toFloat(text);
            break;
        case ChargeField::AmpHours:
            record.AmpHours = NumberText::toFloat(text);
            break;
        case ChargeField::Termination:
            record.TerminationIndex = log.TerminationsStringList.findOrAppend(text);
            break;
        case ChargeField::ChargerLogFileName:
            // Kept even when the file it names is missing: a drive that is not mounted must
            // not erase it. A "*" would split the entry text in the wrong place.
            chargerLogFileName = QString(text).remove(QLatin1Char('*'));
            break;
        case ChargeField::Comment:
            comment = text;
            break;
        case ChargeField::Other:
            break;
        }
    }
    if (!xml.hasError())
        log.AppendChargeRecord(record, comment, chargerLogFileName);
}

// How far the reading has come, in the same unit as the total given with it.
using PositionFn = std::function<qint64()>;

void readCharges(QXmlStreamReader &xml, TChargeLog &log, qint64 total, const PositionFn &position,
                 const LogFile::ProgressFn &progress)
{
    const int maximum =
        int(qBound<qint64>(qint64(1), total, qint64(std::numeric_limits<int>::max())));
    while (xml.readNextStartElement()) {
        // Every element inside Charges is one charge, whatever its name.
        readCharge(xml, log);
        if (progress)
            progress(0, maximum, int(qBound<qint64>(0, position(), qint64(maximum))));
    }
}

// Writes a leaf element. A carriage return is written as a character reference, since a
// parser turns a literal one (and CR LF) into a line feed and the text would not read back.
void writeText(QXmlStreamWriter &xml, const QString &name, const QString &text)
{
    if (!text.contains(QLatin1Char('\r'))) {
        xml.writeTextElement(name, text);
        return;
    }
    xml.writeStartElement(name);
    const QStringList parts = text.split(QLatin1Char('\r'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            xml.writeEntityReference(QStringLiteral("#13"));
        if (!parts.at(i).isEmpty())
            xml.writeCharacters(parts.at(i));
    }
    xml.writeEndElement();
}

void readChargeLog(QXmlStreamReader &xml, TChargeLog &log, const QString &sourceName, qint64 total,
                   const PositionFn &position, const LogFile::ProgressFn &progress)
{
    bool seenApplicationData = false;
    bool seenCharges = false;
    // Step to the root element. A log file never declares entities, and a document that
    // does is refused before any is expanded: a few kilobytes of references to a long entity
    // would otherwise grow into gigabytes of text.
    while (!xml.atEnd() && !xml.isStartElement()) {
        xml.readNext();
        if (xml.isDTD() && !xml.entityDeclarations().isEmpty())
            throw QorLogError(tr("The log file %1 is damaged: it declares entities, which a "
                                 "log file never holds")
                                  .arg(sourceName));
    }
    if (xml.isStartElement()) {
        // The root's own name is not looked at; ApplicationData and Charges are found by
        // their exact names, and only the first of each counts.
        while (xml.readNextStartElement()) {
            if (!seenApplicationData && xml.name() == QLatin1StringView("ApplicationData")) {
                seenApplicationData = true;
                readApplicationData(xml, log);
            } else if (!seenCharges && xml.name() == QLatin1StringView("Charges")) {
                seenCharges = true;
                readCharges(xml, log, total, position, progress);
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // Read to the end, so that a document broken after its last charge is noticed too.
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError())
        throw QorLogError(tr("The log file %1 is damaged: %2 (line %3, column %4)")
                              .arg(sourceName, xml.errorString())
                              .arg(xml.lineNumber())
                              .arg(xml.columnNumber()));
}

} // namespace

namespace LogFile {

void ReadChargeLog(const QByteArray &bytes, TChargeLog &log, const QString &sourceName,
                   const ProgressFn &progress)
{
    QXmlStreamReader xml(bytes);
    readChargeLog(
        xml, log, sourceName, bytes.size(), [&xml] { return xml.characterOffset(); }, progress);
}

LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const ProgressFn &progress)
{
    QFile file(path);
    if (!file.exists())
        return LoadOutcome::Missing;
    if (!file.open(QIODevice::ReadOnly))
        throw QorLogError(tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    // The reader pulls the file in small pieces: neither the whole file nor its text ever
    // sits in memory at once, which for a big log is several times the file's size.
    QXmlStreamReader xml(&file);
    try {
        readChargeLog(
            xml, log, path, file.size(), [&file] { return file.pos(); }, progress);
    } catch (const QorLogError &) {
        // A read failure shows to the parser as a document that ends early: name the cause.
        if (file.error() != QFileDevice::NoError)
            throw QorLogError(
                tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
        throw;
    }
    if (file.error() != QFileDevice::NoError)
        throw QorLogError(tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    return LoadOutcome::Loaded;
}

} // namespace LogFile

namespace {

// Passes what the writer produces on to a file in large pieces. A write may stop short
// without an error (a full disk, a file size limit); writing on then fails and says why, so
// each piece is written until all of it is written or a write fails.
class FileSink : public QIODevice
{
public:
    explicit FileSink(QFileDevice &file) : m_file(file) { open(QIODevice::WriteOnly); }

    // Writes out what is pending; false when a write failed (the file says why).
    bool drain()
    {
        qint64 written = 0;
        while (!m_failed && written < m_pending.size()) {
            const qint64 n =
                m_file.write(m_pending.constData() + written, m_pending.size() - written);
            if (n <= 0)
                m_failed = true;
            else
                written += n;
        }
        m_pending.resize(0);
        return !m_failed;
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_pending.append(data, size);
        if (m_pending.size() >= PieceSize && !drain())
            return -1;
        return m_failed ? -1 : size;
    }

private:
    static constexpr qsizetype PieceSize = 1 << 20;
    QFileDevice &m_file;
    QByteArray m_pending;
    bool m_failed = false;
};

// The whole document, sorted first.
void writeChargeLog(QXmlStreamWriter &xml, TChargeLog &log)
{
    log.ChargeStringList.sortByDateTime();
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeStartElement(QStringLiteral("QorInsight"));
    xml.writeStartElement(QStringLiteral("ApplicationData"));
    xml.writeTextElement(QStringLiteral("CyclesSeriesColour"),
                         QString::number(log.CyclesSeriesColour));
    xml.writeTextElement(QStringLiteral("ChargeSeriesColour"),
                         QString::number(log.ChargeSeriesColour));
    xml.writeTextElement(QStringLiteral("DischargeSeriesColour"),
                         QString::number(log.DischargeSeriesColour));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("Charges"));
    // Numbers carry the user's decimal separator when it is one that every reader takes (a
    // full stop or a comma); a locale with another one (Arabic, Persian) writes a full stop,
    // so that the log still reads back after a change of regional settings.
    const QLocale user;
    const QLocale locale = user.decimalPoint() == QLatin1String(",") ? user : QLocale::c();
    const TChargeList &charges = log.ChargeStringList;
    QString chargerLogFileName;
    QString comment;
    for (int i = 0; i < charges.count(); ++i) {
        const TChargeRecord &r = charges.record(i);
        TChargeList::SplitChargeText(charges.text(i), chargerLogFileName, comment);
        xml.writeStartElement(QStringLiteral("Charge"));
        writeText(xml, QStringLiteral("DateTime"), NumberText::formatExact(r.DateTime, locale));
        writeText(xml, QStringLiteral("PowerSource"),
                  log.PowerSourcesStringList.name(r.PowerSourceIndex));
        writeText(xml, QStringLiteral("Charger"), log.ChargersStringList.name(r.ChargerIndex));
        writeText(xml, QStringLiteral("Battery"), log.BatteriesStringList.name(r.BatteryIndex));
        writeText(xml, QStringLiteral("NominalChargeAmps"),
                  NumberText::formatExact(r.NominalChargeAmps, locale));
        writeText(xml, QStringLiteral("AmpHours"), NumberText::formatExact(r.AmpHours, locale));
        writeText(xml, QStringLiteral("Termination"),
                  log.TerminationsStringList.name(r.TerminationIndex));
        writeText(xml, QStringLiteral("Comment"), comment);
        writeText(xml, QStringLiteral("ChargerLogFileName"), chargerLogFileName);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
}

} // namespace

namespace LogFile {

QByteArray WriteChargeLog(TChargeLog &log)
{
    QByteArray bytes;
    bytes.reserve(log.ChargeStringList.count() * 400 + 512);
    QXmlStreamWriter xml(&bytes);
    writeChargeLog(xml, log);
    return bytes;
}

void SaveChargeLog(const QString &path, TChargeLog &log)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw QorLogError(
            tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
    // The document goes to the file piece by piece, never whole in memory.
    FileSink sink(file);
    QXmlStreamWriter xml(&sink);
    writeChargeLog(xml, log);
    if (xml.hasError() || !sink.drain() || !file.commit())
        throw QorLogError(
            tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
}

QString KeepDamagedCopy(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::copy(path, copy))
        throw QorLogError(tr("A copy of the damaged log file %1 could not be made").arg(path));
    return copy;
}

} // namespace LogFile
