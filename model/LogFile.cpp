#include "LogFile.h"

#include "NumberText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

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

void readCharge(QXmlStreamReader &xml, TChargeLog &log)
{
    TChargeRecord record;
    QString comment;
    QString chargerLogFileName;
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml.hasError())
            return; // reported by the caller; a half-read charge is not appended
        if (nameIs(name, QLatin1StringView("DateTime")))
            record.DateTime = NumberText::toFloat(text);
        else if (nameIs(name, QLatin1StringView("PowerSource")))
            record.PowerSourceIndex = log.PowerSourcesStringList.findOrAppend(text);
        else if (nameIs(name, QLatin1StringView("Charger")))
            record.ChargerIndex = log.ChargersStringList.findOrAppend(text);
        else if (nameIs(name, QLatin1StringView("Battery")))
            record.BatteryIndex = log.BatteriesStringList.findOrAppend(text);
        else if (nameIs(name, QLatin1StringView("NominalChargeAmps")))
            record.NominalChargeAmps = NumberText::toFloat(text);
        else if (nameIs(name, QLatin1StringView("AmpHours")))
            record.AmpHours = NumberText::toFloat(text);
        else if (nameIs(name, QLatin1StringView("Termination")))
            record.TerminationIndex = log.TerminationsStringList.findOrAppend(text);
        else if (nameIs(name, QLatin1StringView("ChargerLogFileName")))
            // Kept even when the file it names is missing: a drive that is not mounted must
            // not erase it. A "*" would split the entry text in the wrong place.
            chargerLogFileName = QString(text).remove(QLatin1Char('*'));
        else if (nameIs(name, QLatin1StringView("Comment")))
            comment = text;
    }
    if (!xml.hasError())
        log.AppendChargeRecord(record, comment, chargerLogFileName);
}

void readCharges(QXmlStreamReader &xml, TChargeLog &log, qint64 totalBytes,
                 const LogFile::ProgressFn &progress)
{
    const int maximum =
        int(qBound<qint64>(qint64(1), totalBytes, qint64(std::numeric_limits<int>::max())));
    while (xml.readNextStartElement()) {
        // Every element inside Charges is one charge, whatever its name.
        readCharge(xml, log);
        if (progress)
            progress(0, maximum, int(qMin<qint64>(xml.characterOffset(), maximum)));
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

} // namespace

namespace LogFile {

void ReadChargeLog(const QByteArray &bytes, TChargeLog &log, const QString &sourceName,
                   const ProgressFn &progress)
{
    QXmlStreamReader xml(bytes);
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
                readCharges(xml, log, bytes.size(), progress);
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

LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const ProgressFn &progress)
{
    QFile file(path);
    if (!file.exists())
        return LoadOutcome::Missing;
    if (!file.open(QIODevice::ReadOnly))
        throw QorLogError(tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw QorLogError(tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    file.close();
    ReadChargeLog(bytes, log, path, progress);
    return LoadOutcome::Loaded;
}

QByteArray WriteChargeLog(TChargeLog &log)
{
    log.ChargeStringList.sortByDateTime();
    QByteArray bytes;
    bytes.reserve(log.ChargeStringList.count() * 400 + 512);
    QXmlStreamWriter xml(&bytes);
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
    return bytes;
}

void SaveChargeLog(const QString &path, TChargeLog &log)
{
    const QByteArray bytes = WriteChargeLog(log);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw QorLogError(
            tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
    // A write may stop short without an error (a full disk, a file size limit); writing on
    // then fails and says why, so keep writing until all is written or a write fails.
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            throw QorLogError(
                tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
        written += n;
    }
    if (!file.commit())
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
