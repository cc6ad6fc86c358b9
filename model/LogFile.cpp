#include "LogFile.h"

#include "NumberText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

#include <expat.h>

#include <cerrno>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <string>

namespace {

// UTF-8 text as it stands in an element. QString::fromUtf8 drops a byte order mark at the start
// of what it converts, but here U+FEFF is the first character of a name or a comment.
QString textOfUtf8(const char *data, qsizetype size)
{
    if (size >= 3 && uchar(data[0]) == 0xEF && uchar(data[1]) == 0xBB && uchar(data[2]) == 0xBF) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        return decoder(QByteArrayView(data, size));
    }
    return QString::fromUtf8(data, size);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("LogFile", text);
}

// Element names match in any letter case, ASCII letters only.
bool nameIs(const char *name, const char *expected)
{
    for (; *name && *expected; ++name, ++expected) {
        char a = *name, b = *expected;
        if (a >= 'A' && a <= 'Z')
            a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = char(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return *name == *expected;
}

// What an element at the level of colours or of a charge's fields holds. The charge fields are
// tested in the order they are written; the colours only inside ApplicationData.
enum class Field
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
    CyclesSeriesColour,
    ChargeSeriesColour,
    DischargeSeriesColour,
    None
};

Field chargeFieldOf(const char *name, Field previous)
{
    static const char *const names[] = {"DateTime",    "PowerSource",        "Charger",
                                        "Battery",     "NominalChargeAmps",  "AmpHours",
                                        "Termination", "ChargerLogFileName", "Comment"};
    // The field that follows `previous` in a written log, tried first by its exact name.
    static const Field next[] = {
        Field::PowerSource,       Field::Charger,  Field::Battery,
        Field::NominalChargeAmps, Field::AmpHours, Field::Termination,
        Field::Comment,           Field::None,     Field::ChargerLogFileName};
    const Field expected = previous == Field::None ? Field::DateTime : next[int(previous)];
    if (expected != Field::None && std::strcmp(name, names[int(expected)]) == 0)
        return expected;
    for (int i = 0; i < int(std::size(names)); ++i)
        if (nameIs(name, names[i]))
            return Field(i);
    return Field::None;
}

Field colourFieldOf(const char *name)
{
    if (nameIs(name, "CyclesSeriesColour"))
        return Field::CyclesSeriesColour;
    if (nameIs(name, "ChargeSeriesColour"))
        return Field::ChargeSeriesColour;
    if (nameIs(name, "DischargeSeriesColour"))
        return Field::DischargeSeriesColour;
    return Field::None;
}

bool isXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A number text as stored: blanks and line breaks around it do not count, so a number that a
// hand-edited file puts on a line of its own reads as on one line. Plain ASCII numbers (all a
// written log holds) are read here directly; anything else goes the general way, which also
// names the text in its error.
double readFloat(const std::string &text)
{
    size_t from = 0, to = text.size();
    while (from < to && isXmlBlank(text[from]))
        ++from;
    while (to > from && isXmlBlank(text[to - 1]))
        --to;
    char plain[64];
    size_t n = 0;
    size_t i = from;
    bool simple = to - from < sizeof plain;
    if (simple && i < to && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            plain[n++] = '-';
        ++i;
    }
    int digits = 0;
    for (; simple && i < to && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        plain[n++] = text[i];
    if (simple && i < to && (text[i] == '.' || text[i] == ',')) {
        plain[n++] = '.';
        for (++i; i < to && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
            plain[n++] = text[i];
    }
    if (simple && digits > 0 && i < to && (text[i] == 'e' || text[i] == 'E')) {
        plain[n++] = 'e';
        ++i;
        if (i < to && (text[i] == '+' || text[i] == '-'))
            plain[n++] = text[i++];
        int exponentDigits = 0;
        for (; i < to && text[i] >= '0' && text[i] <= '9'; ++i, ++exponentDigits)
            plain[n++] = text[i];
        simple = exponentDigits > 0;
    }
    if (simple && digits > 0 && i == to) {
        double value = 0;
        const auto [end, error] = std::from_chars(plain, plain + n, value);
        // Zero, tiny and huge values take the general way, which decides on under- and
        // overflow.
        if (error == std::errc() && end == plain + n && std::fabs(value) >= 1e-300 &&
            std::isfinite(value))
            return value;
    }
    return NumberText::toFloat(QString::fromUtf8(text.data() + from, qsizetype(to - from)));
}

// Looks names up by their bytes as they stand in the file: a log names the same few power
// sources, chargers, batteries and terminations over and over.
class NameCache
{
public:
    explicit NameCache(TNameList &list) : m_list(list) {}
    int indexOf(const std::string &text)
    {
        const QByteArray key = QByteArray::fromRawData(text.data(), qsizetype(text.size()));
        const auto found = m_indexes.constFind(key);
        if (found != m_indexes.constEnd())
            return *found;
        const int index = m_list.findOrAppend(textOfUtf8(key.constData(), key.size()));
        m_indexes.insert(QByteArray(key.constData(), key.size()), index); // the text is reused
        return index;
    }

private:
    TNameList &m_list;
    QHash<QByteArray, int> m_indexes;
};

// The log reader on top of the expat parser. The document is parsed as it comes in pieces;
// what a charge holds is gathered while its elements pass and appended at its end tag.
class LogReader
{
public:
    LogReader(TChargeLog &log, const QString &sourceName, qint64 total,
              const LogFile::ProgressFn &progress)
        : m_log(log), m_sourceName(sourceName), m_progress(progress),
          m_maximum(int(qBound(qint64(1), total, qint64(std::numeric_limits<int>::max())))),
          m_powerSources(log.PowerSourcesStringList), m_chargers(log.ChargersStringList),
          m_batteries(log.BatteriesStringList), m_terminations(log.TerminationsStringList)
    {
        m_parser = XML_ParserCreate(nullptr);
        if (!m_parser)
            throw QorLogError(QCoreApplication::translate(
                                  "LogFile", "The log file %1 cannot be read: out of memory")
                                  .arg(sourceName));
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &LogReader::onStart, &LogReader::onEnd);
        XML_SetCharacterDataHandler(m_parser, &LogReader::onText);
        XML_SetEntityDeclHandler(m_parser, &LogReader::onEntityDeclaration);
        XML_SetSkippedEntityHandler(m_parser, &LogReader::onSkippedEntity);
        XML_SetUnknownEncodingHandler(m_parser, &LogReader::onUnknownEncoding, nullptr);
    }
    ~LogReader() { XML_ParserFree(m_parser); }
    LogReader(const LogReader &) = delete;
    LogReader &operator=(const LogReader &) = delete;

    // A buffer for the next piece, filled by the caller and handed to parse().
    char *buffer(int size)
    {
        char *to = static_cast<char *>(XML_GetBuffer(m_parser, size));
        if (!to)
            fail();
        return to;
    }
    void parse(int size, bool last)
    {
        if (XML_ParseBuffer(m_parser, size, last) != XML_STATUS_OK)
            fail();
    }
    void parse(const QByteArray &bytes)
    {
        // Pieces of a few megabytes keep the parser's own buffer small for a big document.
        constexpr qsizetype Piece = 4 << 20;
        for (qsizetype from = 0;; from += Piece) {
            const qsizetype size = qMin(Piece, bytes.size() - from);
            const bool last = from + size >= bytes.size();
            if (XML_Parse(m_parser, bytes.constData() + from, int(size), last) != XML_STATUS_OK)
                fail();
            if (last)
                return;
        }
    }

private:
    [[noreturn]] void fail()
    {
        if (!m_error.isEmpty())
            throw QorLogError(m_error);
        throw QorLogError(
            QCoreApplication::translate("LogFile",
                                        "The log file %1 is damaged: %2 (line %3, column %4)")
                .arg(m_sourceName, QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser))))
                .arg(XML_GetCurrentLineNumber(m_parser))
                .arg(XML_GetCurrentColumnNumber(m_parser)));
    }
    // Ends the parse from inside a handler: exceptions must not pass through the parser.
    void stop(const QString &message)
    {
        if (m_error.isEmpty())
            m_error = message;
        XML_StopParser(m_parser, XML_FALSE);
    }

    static void XMLCALL onStart(void *user, const XML_Char *name, const XML_Char **)
    {
        static_cast<LogReader *>(user)->start(name);
    }
    static void XMLCALL onEnd(void *user, const XML_Char *)
    {
        static_cast<LogReader *>(user)->end();
    }
    static void XMLCALL onText(void *user, const XML_Char *text, int size)
    {
        LogReader *reader = static_cast<LogReader *>(user);
        if (reader->m_field != Field::None)
            reader->m_text.append(text, size_t(size));
    }
    // A log file never declares entities, and a document that does is refused before any is
    // expanded: a few kilobytes of references to a long entity would otherwise grow into
    // gigabytes of text.
    static void XMLCALL onEntityDeclaration(void *user, const XML_Char *, int, const XML_Char *,
                                            int, const XML_Char *, const XML_Char *,
                                            const XML_Char *, const XML_Char *)
    {
        LogReader *reader = static_cast<LogReader *>(user);
        reader->stop(QCoreApplication::translate(
                         "LogFile", "The log file %1 is damaged: it declares entities, which a "
                                    "log file never holds")
                         .arg(reader->m_sourceName));
    }
    // A reference to an entity the parser cannot see (one from an external definition).
    static void XMLCALL onSkippedEntity(void *user, const XML_Char *name, int)
    {
        LogReader *reader = static_cast<LogReader *>(user);
        reader->stop(QCoreApplication::translate(
                         "LogFile",
                         "The log file %1 is damaged: the entity %2 is not declared (line %3, "
                         "column %4)")
                         .arg(reader->m_sourceName, QString::fromUtf8(name))
                         .arg(XML_GetCurrentLineNumber(reader->m_parser))
                         .arg(XML_GetCurrentColumnNumber(reader->m_parser)));
    }
    // Single-byte encodings beyond the parser's own (windows-1252 and the like), byte by byte.
    static int XMLCALL onUnknownEncoding(void *, const XML_Char *name, XML_Encoding *info)
    {
        for (int byte = 0; byte < 256; ++byte) {
            QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
            if (!decoder.isValid())
                return XML_STATUS_ERROR;
            const char c = char(byte);
            const QString text = decoder.decode(QByteArrayView(&c, 1));
            if (decoder.hasError() || text.size() != 1 || text.at(0).isSurrogate())
                return XML_STATUS_ERROR;
            info->map[byte] = text.at(0).unicode();
        }
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return XML_STATUS_OK;
    }

    void start(const char *name)
    {
        ++m_depth;
        if (m_field != Field::None)
            return; // inside a field: its text includes that of elements within it
        switch (m_depth) {
        case 2:
            // The root's own name is not looked at; ApplicationData and Charges are found by
            // their exact names, and only the first of each counts.
            if (!m_seenApplicationData && std::strcmp(name, "ApplicationData") == 0) {
                m_seenApplicationData = true;
                m_section = Section::ApplicationData;
            } else if (!m_seenCharges && std::strcmp(name, "Charges") == 0) {
                m_seenCharges = true;
                m_section = Section::Charges;
            }
            break;
        case 3:
            if (m_section == Section::ApplicationData) {
                beginField(colourFieldOf(name));
            } else if (m_section == Section::Charges) {
                // Every element inside Charges is one charge, whatever its name.
                m_record = TChargeRecord();
                m_comment.clear();
                m_chargerLogFileName.clear();
                m_inCharge = true;
                m_lastChargeField = Field::None;
            }
            break;
        case 4:
            if (m_inCharge) {
                m_lastChargeField = chargeFieldOf(name, m_lastChargeField);
                beginField(m_lastChargeField);
            }
            break;
        default:
            break;
        }
    }
    void beginField(Field field)
    {
        m_field = field;
        m_fieldDepth = m_depth;
        m_text.clear();
    }

    void end()
    {
        if (m_field != Field::None && m_depth == m_fieldDepth) {
            try {
                endField();
            } catch (const QorLogError &error) {
                stop(error.message()); // a half-read charge is not appended
            }
            m_field = Field::None;
        } else if (m_depth == 3 && m_inCharge) {
            m_inCharge = false;
            appendCharge();
        } else if (m_depth == 2) {
            m_section = Section::None;
        }
        --m_depth;
    }

    void endField()
    {
        switch (m_field) {
        case Field::DateTime:
            m_record.DateTime = readFloat(m_text);
            break;
        case Field::PowerSource:
            m_record.PowerSourceIndex = m_powerSources.indexOf(m_text);
            break;
        case Field::Charger:
            m_record.ChargerIndex = m_chargers.indexOf(m_text);
            break;
        case Field::Battery:
            m_record.BatteryIndex = m_batteries.indexOf(m_text);
            break;
        case Field::NominalChargeAmps:
            m_record.NominalChargeAmps = readFloat(m_text);
            break;
        case Field::AmpHours:
            m_record.AmpHours = readFloat(m_text);
            break;
        case Field::Termination:
            m_record.TerminationIndex = m_terminations.indexOf(m_text);
            break;
        case Field::ChargerLogFileName:
            // Kept even when the file it names is missing: a drive that is not mounted must
            // not erase it. A "*" would split the entry text in the wrong place.
            m_chargerLogFileName = m_text;
            m_chargerLogFileName.erase(
                std::remove(m_chargerLogFileName.begin(), m_chargerLogFileName.end(), '*'),
                m_chargerLogFileName.end());
            break;
        case Field::Comment:
            m_comment = m_text;
            break;
        case Field::CyclesSeriesColour:
        case Field::ChargeSeriesColour:
        case Field::DischargeSeriesColour: {
            // A zero colour counts as absent.
            const qint32 colour = NumberText::toInteger(QString::fromStdString(m_text));
            qint32 &target = m_field == Field::CyclesSeriesColour   ? m_log.CyclesSeriesColour
                             : m_field == Field::ChargeSeriesColour ? m_log.ChargeSeriesColour
                                                                    : m_log.DischargeSeriesColour;
            if (colour != 0)
                target = colour;
            break;
        }
        case Field::None:
            break;
        }
    }

    void appendCharge()
    {
        // The entry text "chargerlogfile*comment" made in one piece.
        m_joined.assign(m_chargerLogFileName);
        m_joined += '*';
        m_joined += m_comment;
        TChargeRecord record = m_record;
        record.Key = m_log.NextKey++;
        m_log.ChargeStringList.append(record,
                                      textOfUtf8(m_joined.data(), qsizetype(m_joined.size())));
        if (m_progress)
            m_progress(0, m_maximum,
                       int(qBound(qint64(0), qint64(XML_GetCurrentByteIndex(m_parser)),
                                  qint64(m_maximum))));
    }

    enum class Section
    {
        None,
        ApplicationData,
        Charges
    };

    XML_Parser m_parser = nullptr;
    TChargeLog &m_log;
    const QString m_sourceName;
    const LogFile::ProgressFn &m_progress;
    const int m_maximum;
    NameCache m_powerSources, m_chargers, m_batteries, m_terminations;
    QString m_error;

    int m_depth = 0;
    Section m_section = Section::None;
    bool m_seenApplicationData = false;
    bool m_seenCharges = false;
    bool m_inCharge = false;
    Field m_field = Field::None;
    Field m_lastChargeField = Field::None; // the charge's field before, for the guess
    int m_fieldDepth = 0;
    std::string m_text;
    TChargeRecord m_record;
    std::string m_comment, m_chargerLogFileName, m_joined;
};

} // namespace

namespace LogFile {

void ReadChargeLog(const QByteArray &bytes, TChargeLog &log, const QString &sourceName,
                   const ProgressFn &progress)
{
    LogReader reader(log, sourceName, bytes.size(), progress);
    reader.parse(bytes);
}

LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const ProgressFn &progress)
{
    QFile file(path);
    if (!file.exists())
        return LoadOutcome::Missing;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw QorLogError(tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    const auto readFailure = [&] {
        return QorLogError(tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    };
    // The file goes to the parser in pieces straight into its buffer: the whole file never
    // sits in memory at once.
    constexpr int Piece = 1 << 20;
    // Room for the charges at once instead of growing the list step by step: a written charge
    // takes at least 300 bytes of the file, so this is enough for any log QorLog wrote.
    constexpr qint64 LeastChargeBytes = 300;
    log.ChargeStringList.reserve(
        int(qMin<qint64>(log.ChargeStringList.count() + file.size() / LeastChargeBytes,
                         std::numeric_limits<int>::max() / 2)));
    LogReader reader(log, path, file.size(), progress);
    for (;;) {
        char *buffer = reader.buffer(Piece);
        const qint64 n = file.read(buffer, Piece);
        if (n < 0)
            throw readFailure();
        reader.parse(int(n), n == 0);
        if (n == 0)
            break;
    }
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

// Writes a text as element content in UTF-8 to `to`, which has room for six bytes per UTF-16
// unit, and returns the end. "<", ">", "&" and '"' become references; so does a carriage
// return, since a parser turns a literal one (and CR LF) into a line feed and the text would not
// read back. Characters XML cannot hold (other control characters, U+FFFE, U+FFFF) are left
// out; the model never stores them. ASCII (nearly every text in a log) is copied byte by byte.
char *writeText(char *to, QStringView text)
{
    const char16_t *from = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const char16_t c = from[i];
        if (c >= 0x80) {
            // A run of other characters, up to the next ASCII one, through Qt's encoder.
            qsizetype end = i + 1;
            while (end < size && from[end] >= 0x80)
                ++end;
            for (qsizetype k = i; k < end; ++k)
                if (from[k] >= 0xFFFE) {
                    end = k; // stops before a character XML cannot hold
                    break;
                }
            if (end > i) {
                const QByteArray utf8 = text.mid(i, end - i).toUtf8();
                std::memcpy(to, utf8.constData(), size_t(utf8.size()));
                to += utf8.size();
                i = end;
            } else {
                ++i;
            }
            continue;
        }
        ++i;
        if (c >= 0x20 && c != u'<' && c != u'>' && c != u'&' && c != u'"') {
            *to++ = char(c);
            continue;
        }
        const char *replacement;
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
        else if (c == u'\t' || c == u'\n') {
            *to++ = char(c);
            continue;
        } else
            continue;
        const size_t length = std::strlen(replacement);
        std::memcpy(to, replacement, length);
        to += length;
    }
    return to;
}

QByteArray contentOf(QStringView text)
{
    QByteArray content(6 * text.size(), Qt::Uninitialized);
    content.truncate(writeText(content.data(), text) - content.constData());
    return content;
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
    qsizetype size() const { return Start.size() + End.size(); }
    QByteArray Start;
    QByteArray End;
};

char *writeBytes(char *to, const QByteArray &bytes)
{
    std::memcpy(to, bytes.constData(), size_t(bytes.size()));
    return to + bytes.size();
}

// Each name of a list as element content, made once per save instead of once per record.
QList<QByteArray> contentOfNames(const TNameList &list)
{
    QList<QByteArray> names;
    names.reserve(list.count());
    for (int i = 0; i < list.count(); ++i)
        names.append(contentOf(list.name(i)));
    return names;
}

// The whole document, sorted first, indented by two blanks per level, made piece by piece in
// `out`. The text is made here rather than through a general XML writer: at 100,000 charges the
// general writer's cost per call made a save many times slower than copying the file. Each
// record is written through a plain pointer into room reserved once for its largest possible
// size. `flush` (if given) takes the text made so far whenever a piece is complete and returns
// false to stop.
// Copies the bytes of unchanged entries from the file the previous save wrote.
struct Reuse
{
    quint32 Generation = 0; // entries written by this save are copied
    // Puts `length` bytes from `offset` of that file after the output so far; false when the
    // file no longer gives them.
    std::function<bool(qint64 offset, qint64 length)> Copy;
};

// Thrown when a copy fails half-way; the save then starts again formatting every entry.
struct ReuseFailed
{
};

// Where each entry went in the output, and the generation that stands for the output.
struct Placement
{
    quint32 Generation = 0;
    std::vector<TWrittenPlace> Places;
};

void writeChargeLog(QByteArray &out, TChargeLog &log, char decimalPoint,
                    const std::function<bool(QByteArray &)> &flush = {},
                    const Reuse *reuse = nullptr, Placement *placement = nullptr)
{
    constexpr qsizetype PieceSize = 1 << 20;
    log.ChargeStringList.sortByDateTime();
    const auto appendColour = [&out](const char *name, qint32 colour) {
        const LeafTags tags(2, name);
        out.append(tags.Start).append(QByteArray::number(colour)).append(tags.End);
    };
    out.append(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
               "\n<QorInsight>\n  <ApplicationData>");
    appendColour("CyclesSeriesColour", log.CyclesSeriesColour);
    appendColour("ChargeSeriesColour", log.ChargeSeriesColour);
    appendColour("DischargeSeriesColour", log.DischargeSeriesColour);
    out.append("\n  </ApplicationData>");

    const TChargeList &charges = log.ChargeStringList;
    if (charges.isEmpty()) {
        out.append("\n  <Charges/>\n</QorInsight>\n");
        return;
    }
    out.append("\n  <Charges>");
    const QList<QByteArray> powerSources = contentOfNames(log.PowerSourcesStringList);
    const QList<QByteArray> chargers = contentOfNames(log.ChargersStringList);
    const QList<QByteArray> batteries = contentOfNames(log.BatteriesStringList);
    const QList<QByteArray> terminations = contentOfNames(log.TerminationsStringList);
    const LeafTags dateTimeTags(3, "DateTime"), powerSourceTags(3, "PowerSource"),
        chargerTags(3, "Charger"), batteryTags(3, "Battery"), ampsTags(3, "NominalChargeAmps"),
        ampHoursTags(3, "AmpHours"), terminationTags(3, "Termination"), commentTags(3, "Comment"),
        logFileTags(3, "ChargerLogFileName");
    const QByteArray chargeStart("\n    <Charge>"), chargeEnd("\n    </Charge>");
    constexpr qsizetype NumberRoom = 48;
    const qsizetype fixedRoom = chargeStart.size() + chargeEnd.size() + dateTimeTags.size() +
                                powerSourceTags.size() + chargerTags.size() + batteryTags.size() +
                                ampsTags.size() + ampHoursTags.size() + terminationTags.size() +
                                commentTags.size() + logFileTags.size() + 3 * NumberRoom;
    const auto nameOf = [](const QList<QByteArray> &names, int index) -> const QByteArray & {
        static const QByteArray none;
        return index >= 0 && index < names.size() ? names.at(index) : none;
    };
    const auto writeName = [](char *to, const LeafTags &tags, const QByteArray &name) {
        return writeBytes(writeBytes(writeBytes(to, tags.Start), name), tags.End);
    };
    const auto writeNumber = [decimalPoint](char *to, const LeafTags &tags, double value) {
        to = writeBytes(to, tags.Start);
        to += NumberText::formatExact(value, decimalPoint, to);
        return writeBytes(to, tags.End);
    };
    const auto writeElement = [](char *to, const LeafTags &tags, QStringView text) {
        return writeBytes(writeText(writeBytes(to, tags.Start), text), tags.End);
    };

    qsizetype used = out.size();
    qint64 flushed = 0; // bytes handed on before `out`
    // A run of entries whose bytes lie one after the other in the previous file, not yet copied.
    qint64 runOffset = 0, runLength = 0;
    const auto endRun = [&] {
        if (runLength == 0)
            return true;
        out.truncate(used);
        flushed += used;
        if (!flush(out))
            return false;
        used = 0;
        if (!reuse->Copy(runOffset, runLength))
            throw ReuseFailed();
        flushed += runLength;
        runLength = 0;
        return true;
    };
    if (placement)
        placement->Places.assign(size_t(charges.count()), TWrittenPlace());
    // A record too long to note (over 2 GiB) is simply formatted again next time.
    const auto place = [placement](qint64 offset, qint64 length) {
        return length > std::numeric_limits<qint32>::max()
                   ? TWrittenPlace()
                   : TWrittenPlace{offset, placement->Generation, qint32(length)};
    };
    for (int i = 0; i < charges.count(); ++i) {
        const TChargeEntry &entry = charges.at(i);
        if (reuse && entry.Written.Generation == reuse->Generation) {
            if (runLength > 0 && runOffset + runLength != entry.Written.Offset && !endRun())
                return;
            if (runLength == 0)
                runOffset = entry.Written.Offset;
            if (placement)
                placement->Places[size_t(i)] = {flushed + used + runLength, placement->Generation,
                                                entry.Written.Length};
            runLength += entry.Written.Length;
            continue;
        }
        if (reuse && !endRun())
            return;
        const TChargeRecord &r = entry.Record;
        // Split at the first "*": the charger log file name before it, the comment after.
        const QStringView text = charges.text(i);
        const qsizetype star = text.indexOf(QLatin1Char('*'));
        const QStringView chargerLogFileName = star < 0 ? QStringView() : text.left(star);
        const QStringView comment = star < 0 ? text : text.mid(star + 1);
        const QByteArray &powerSource = nameOf(powerSources, r.PowerSourceIndex);
        const QByteArray &charger = nameOf(chargers, r.ChargerIndex);
        const QByteArray &battery = nameOf(batteries, r.BatteryIndex);
        const QByteArray &termination = nameOf(terminations, r.TerminationIndex);

        const qsizetype room = fixedRoom + powerSource.size() + charger.size() + battery.size() +
                               termination.size() + 6 * text.size();
        if (used + room > out.size())
            out.resize(qMax(used + room, qMax(PieceSize + room, 2 * out.size())));
        char *to = out.data() + used;
        to = writeBytes(to, chargeStart);
        to = writeNumber(to, dateTimeTags, r.DateTime);
        to = writeName(to, powerSourceTags, powerSource);
        to = writeName(to, chargerTags, charger);
        to = writeName(to, batteryTags, battery);
        to = writeNumber(to, ampsTags, r.NominalChargeAmps);
        to = writeNumber(to, ampHoursTags, r.AmpHours);
        to = writeName(to, terminationTags, termination);
        to = writeElement(to, commentTags, comment);
        to = writeElement(to, logFileTags, chargerLogFileName);
        to = writeBytes(to, chargeEnd);
        const qsizetype start = used;
        used = to - out.constData();
        if (placement)
            placement->Places[size_t(i)] = place(flushed + start, used - start);
        if (flush && used >= PieceSize) {
            out.truncate(used);
            flushed += used;
            if (!flush(out))
                return;
            used = 0;
        }
    }
    if (reuse && !endRun())
        return;
    out.truncate(used);
    out.append("\n  </Charges>\n</QorInsight>\n");
}

// Numbers carry the user's decimal separator when it is one that every reader takes (a full
// stop or a comma); a locale with another one (Arabic, Persian) writes a full stop, so that the
// log still reads back after a change of regional settings.
char numberDecimalPoint()
{
    return QLocale().decimalPoint() == QLatin1String(",") ? ',' : '.';
}

quint32 nextGeneration()
{
    static std::atomic<quint32> last{0};
    quint32 generation = ++last;
    while (generation == 0) // 0 stands for "never written"
        generation = ++last;
    return generation;
}

// Whether the bytes the last save wrote for an entry are still what formatting it would give:
// the same file, the same separator, and every name it may refer to unchanged (names are only
// ever appended, or renamed when purged).
bool canReuse(const TChargeLog &log, const QString &path, char decimalPoint)
{
    const TWrittenLog &last = log.LastWritten;
    if (last.Generation == 0 || last.Path != path || last.DecimalPoint != decimalPoint)
        return false;
    const TNameList *lists[4] = {&log.PowerSourcesStringList, &log.ChargersStringList,
                                 &log.BatteriesStringList, &log.TerminationsStringList};
    for (int k = 0; k < 4; ++k) {
        const QStringList &names = last.Names[k];
        if (lists[k]->count() < names.size())
            return false;
        for (int i = 0; i < names.size(); ++i)
            if (lists[k]->name(i) != names.at(i))
                return false;
    }
    return true;
}

// Copies `length` bytes from `offset` of `from` to the end of what `to` holds so far, inside
// the kernel where the file system allows it. False when `from` gives fewer bytes or a write
// fails.
bool copyBytes(QFile &from, qint64 offset, qint64 length, QFileDevice &to)
{
    qint64 at = to.pos();
    bool inKernel = true;
    QByteArray buffer;
    while (length > 0) {
        if (inKernel) {
            loff_t in = offset, out = at;
            const ssize_t n =
                ::copy_file_range(from.handle(), &in, to.handle(), &out, size_t(length), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                          errno == EINVAL || errno == EPERM)) {
                inKernel = false;
                continue;
            }
            if (n <= 0)
                return false;
            offset += n;
            at += n;
            length -= n;
            continue;
        }
        if (!to.seek(at))
            return false;
        buffer.resize(qsizetype(qMin<qint64>(length, 1 << 20)));
        const ssize_t n = ::pread(from.handle(), buffer.data(), size_t(buffer.size()), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.truncate(n);
        if (!writePiece(to, buffer))
            return false;
        offset += n;
        at += n;
        length -= n;
    }
    return to.seek(at);
}

} // namespace

namespace LogFile {

QByteArray WriteChargeLog(TChargeLog &log)
{
    QByteArray bytes;
    bytes.reserve(log.ChargeStringList.count() * 400 + 512);
    writeChargeLog(bytes, log, numberDecimalPoint());
    return bytes;
}

void SaveChargeLog(const QString &path, TChargeLog &log)
{
    SaveChargeLog(path, log, {});
}

bool SaveChargeLog(const QString &path, TChargeLog &log, const BeforeCommitFn &beforeCommit)
{
    QSaveFile file(path);
    // Unbuffered: the document comes in large pieces anyway, and a buffered write that stops
    // short reports success, leaving the rest to a flush whose failure the commit ignores -
    // the log would be replaced by a file cut short. Unbuffered, the write itself fails.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw QorLogError(
            tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
    const auto failed = [&] {
        return QorLogError(
            tr("The log file %1 cannot be written: %2").arg(path, file.errorString()));
    };
    const char decimalPoint = numberDecimalPoint();

    // The file the previous save wrote, when it is still exactly that file: the entries that
    // have not changed since are copied from it rather than formatted again.
    QFile previous(path);
    Reuse reuse;
    if (canReuse(log, path, decimalPoint) && previous.open(QIODevice::ReadOnly) &&
        TLogFileIdentity::ofOpenFile(previous) == log.LastWritten.Identity) {
        reuse.Generation = log.LastWritten.Generation;
        reuse.Copy = [&](qint64 offset, qint64 length) {
            return copyBytes(previous, offset, length, file);
        };
    }
    Placement placement;
    placement.Generation = nextGeneration();

    // The document goes to the file piece by piece, never whole in memory.
    QByteArray piece;
    bool written = true;
    const auto flush = [&](QByteArray &text) { return written = writePiece(file, text); };
    try {
        writeChargeLog(piece, log, decimalPoint, flush, reuse.Copy ? &reuse : nullptr, &placement);
    } catch (const ReuseFailed &) {
        // The previous file did not give the bytes it should hold: everything is formatted.
        piece.clear();
        written = file.seek(0) && file.resize(0);
        if (written)
            writeChargeLog(piece, log, decimalPoint, flush, nullptr, &placement);
    }
    // The end of the document may still sit in the device's buffer. A failure to write it
    // while committing goes unnoticed (the file is committed cut short), so it is flushed and
    // checked here first.
    if (!written || !writePiece(file, piece) || !file.flush())
        throw failed();
    if (beforeCommit && !beforeCommit(file)) {
        file.cancelWriting();
        return false;
    }
    // Renaming keeps the file's identity, so it is taken from the temporary file, which no
    // other program knows yet.
    TWrittenLog now;
    now.Generation = placement.Generation;
    now.Path = path;
    now.Identity = TLogFileIdentity::ofOpenFile(file);
    now.DecimalPoint = decimalPoint;
    now.Names[0] = log.PowerSourcesStringList.names();
    now.Names[1] = log.ChargersStringList.names();
    now.Names[2] = log.BatteriesStringList.names();
    now.Names[3] = log.TerminationsStringList.names();
    if (!file.commit())
        throw failed();
    log.LastWritten = std::move(now);
    log.ChargeStringList.setWrittenPlaces(placement.Places);
    return true;
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
