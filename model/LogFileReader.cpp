// Reading the XML log file with the expat parser.

#include "LogFile.h"

#include "NumberText.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <expat.h>

#include <algorithm>
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
