#include "LogFile.h"

#include "NumberText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>

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

// Writes a piece of the document to the file. A write may stop short without an error (a full
// disk, a file size limit); writing on then fails and says why, so the piece is written until
// all of it is written or a write fails.
bool writePiece(QFileDevice &file, QByteArray &piece)
{
    qint64 written = 0;
    while (written < piece.size()) {
        const qint64 n = file.write(piece.constData() + written, piece.size() - written);
        if (n <= 0)
            return false;
        written += n;
    }
    piece.resize(0);
    return true;
}

// Appends a text as element content in UTF-8. "<", ">", "&" and '"' become references; so
// does a carriage return, since a parser turns a literal one (and CR LF) into a line feed and
// the text would not read back. Characters XML cannot hold (other control characters,
// U+FFFE, U+FFFF) are left out; the model never stores them.
// A run of text without references, in UTF-8; ASCII (nearly every text in a log) is copied
// across without a temporary array.
void appendPlain(QByteArray &out, QStringView run)
{
    const char16_t *from = run.utf16();
    const qsizetype size = run.size();
    char16_t any = 0;
    for (qsizetype i = 0; i < size; ++i)
        any |= from[i];
    if (any >= 0x80) {
        out.append(run.toUtf8());
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + size);
    char *to = out.data() + start;
    for (qsizetype i = 0; i < size; ++i)
        to[i] = char(from[i]);
}

void appendText(QByteArray &out, QStringView text)
{
    qsizetype plainFrom = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        const char *replacement;
        if (c >= 0x20 && c != u'<' && c != u'>' && c != u'&' && c != u'"' && c < 0xFFFE)
            continue;
        if (c == u'<')
            replacement = "&lt;";
        else if (c == u'>')
            replacement = "&gt;";
        else if (c == u'&')
            replacement = "&amp;";
        else if (c == u'"')
            replacement = "&quot;";
        else if (c == u'\r')
            replacement = "&#13;";
        else if (c == u'\t' || c == u'\n')
            continue;
        else
            replacement = "";
        appendPlain(out, text.mid(plainFrom, i - plainFrom));
        out.append(replacement);
        plainFrom = i + 1;
    }
    appendPlain(out, text.mid(plainFrom));
}

// The tags of a leaf element: a line break and the indentation of `depth` before the start
// tag, then the end tag. Made once per save.
struct LeafTags
{
    LeafTags(int depth, const char *name)
        : Start('\n' + QByteArray(2 * depth, ' ') + '<' + name + '>'),
          End(QByteArray("</") + name + '>')
    {
    }
    QByteArray Start;
    QByteArray End;
};

void appendElement(QByteArray &out, const LeafTags &tags, QStringView text)
{
    out.append(tags.Start);
    appendText(out, text);
    out.append(tags.End);
}

// Each name of a list as element content, made once per save instead of once per record.
QList<QByteArray> contentOfNames(const TNameList &list)
{
    QList<QByteArray> names;
    names.reserve(list.count());
    for (int i = 0; i < list.count(); ++i) {
        QByteArray name;
        appendText(name, list.name(i));
        names.append(name);
    }
    return names;
}

// The whole document, sorted first, indented by two blanks per level. The text is made
// here rather than through a general XML writer: at 100,000 charges the general writer's cost
// per call made a save many times slower than copying the file. `flush` (if given) takes the
// text made so far whenever a piece is complete and returns false to stop.
void writeChargeLog(QByteArray &out, TChargeLog &log,
                    const std::function<bool(QByteArray &)> &flush = {})
{
    constexpr qsizetype PieceSize = 1 << 20;
    log.ChargeStringList.sortByDateTime();
    out.append(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
               "\n<QorInsight>\n  <ApplicationData>");
    appendElement(out, LeafTags(2, "CyclesSeriesColour"), QString::number(log.CyclesSeriesColour));
    appendElement(out, LeafTags(2, "ChargeSeriesColour"), QString::number(log.ChargeSeriesColour));
    appendElement(out, LeafTags(2, "DischargeSeriesColour"),
                  QString::number(log.DischargeSeriesColour));
    out.append("\n  </ApplicationData>");

    const TChargeList &charges = log.ChargeStringList;
    if (charges.isEmpty()) {
        out.append("\n  <Charges/>\n</QorInsight>\n");
        return;
    }
    out.append("\n  <Charges>");
    // Numbers carry the user's decimal separator when it is one that every reader takes (a
    // full stop or a comma); a locale with another one (Arabic, Persian) writes a full stop,
    // so that the log still reads back after a change of regional settings.
    const QLocale user;
    const QLocale locale = user.decimalPoint() == QLatin1String(",") ? user : QLocale::c();
    const QList<QByteArray> powerSources = contentOfNames(log.PowerSourcesStringList);
    const QList<QByteArray> chargers = contentOfNames(log.ChargersStringList);
    const QList<QByteArray> batteries = contentOfNames(log.BatteriesStringList);
    const QList<QByteArray> terminations = contentOfNames(log.TerminationsStringList);
    const LeafTags dateTimeTags(3, "DateTime"), powerSourceTags(3, "PowerSource"),
        chargerTags(3, "Charger"), batteryTags(3, "Battery"), ampsTags(3, "NominalChargeAmps"),
        ampHoursTags(3, "AmpHours"), terminationTags(3, "Termination"), commentTags(3, "Comment"),
        logFileTags(3, "ChargerLogFileName");
    const auto appendName = [&out](const LeafTags &tags, const QList<QByteArray> &names,
                                   int index) {
        out.append(tags.Start);
        if (index >= 0 && index < names.size())
            out.append(names.at(index));
        out.append(tags.End);
    };

    for (int i = 0; i < charges.count(); ++i) {
        const TChargeRecord &r = charges.record(i);
        // Split at the first "*": the charger log file name before it, the comment after.
        const QStringView text = charges.text(i);
        const qsizetype star = text.indexOf(QLatin1Char('*'));
        const QStringView chargerLogFileName = star < 0 ? QStringView() : text.left(star);
        const QStringView comment = star < 0 ? text : text.mid(star + 1);

        out.append("\n    <Charge>");
        appendElement(out, dateTimeTags, NumberText::formatExact(r.DateTime, locale));
        appendName(powerSourceTags, powerSources, r.PowerSourceIndex);
        appendName(chargerTags, chargers, r.ChargerIndex);
        appendName(batteryTags, batteries, r.BatteryIndex);
        appendElement(out, ampsTags, NumberText::formatExact(r.NominalChargeAmps, locale));
        appendElement(out, ampHoursTags, NumberText::formatExact(r.AmpHours, locale));
        appendName(terminationTags, terminations, r.TerminationIndex);
        appendElement(out, commentTags, comment);
        appendElement(out, logFileTags, chargerLogFileName);
        out.append("\n    </Charge>");
        if (flush && out.size() >= PieceSize && !flush(out))
            return;
    }
    out.append("\n  </Charges>\n</QorInsight>\n");
}

} // namespace

namespace LogFile {

QByteArray WriteChargeLog(TChargeLog &log)
{
    QByteArray bytes;
    bytes.reserve(log.ChargeStringList.count() * 400 + 512);
    writeChargeLog(bytes, log);
    return bytes;
}

void SaveChargeLog(const QString &path, TChargeLog &log)
{
    QSaveFile file(path);
    // Unbuffered: the document comes in large pieces anyway, and a buffered write that stops
    // short reports success, leaving the rest to a flush whose failure the commit ignores -
    // the log would be replaced by a file cut short. Unbuffered, the write itself fails.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw QorLogError(
            tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
    // The document goes to the file piece by piece, never whole in memory.
    QByteArray piece;
    bool written = true;
    writeChargeLog(piece, log, [&](QByteArray &text) { return written = writePiece(file, text); });
    // The end of the document may still sit in the device's buffer. A failure to write it
    // while committing goes unnoticed (the file is committed cut short), so it is flushed and
    // checked here first.
    if (!written || !writePiece(file, piece) || !file.flush() || !file.commit())
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
