// Reading the XML log file with the expat parser.

#include "LogFile.h"

#include "BatteryCards.h"
#include "HugePages.h"
#include "LogFileIdentity.h"
#include "LogReadParts.h"
#include "NumberText.h"
#include "WrittenChargeScanner.h"
#include "XmlNames.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <expat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <future>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace LogReadParts;

QString tr(const char *text)
{
    return QCoreApplication::translate("LogFile", text);
}

using XmlNames::nameIs;

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
    Id,
    Changed,
    CyclesSeriesColour,
    ChargeSeriesColour,
    DischargeSeriesColour,
    CardValue, // a field of a battery card, by the name kept aside
    None
};

Field chargeFieldOf(const char *name, Field previous)
{
    static const char *const names[] = {
        "DateTime",          "PowerSource", "Charger",     "Battery",
        "NominalChargeAmps", "AmpHours",    "Termination", "ChargerLogFileName",
        "Comment",           "Id",          "Changed"};
    // The field that follows `previous` in a written log, tried first by its exact name.
    static const Field next[] = {
        Field::PowerSource,        Field::Charger,     Field::Battery, Field::NominalChargeAmps,
        Field::AmpHours,           Field::Termination, Field::Comment, Field::Id,
        Field::ChargerLogFileName, Field::Changed,     Field::None};
    const Field expected = previous == Field::None ? Field::DateTime : next[int(previous)];
    if (expected != Field::None && std::strcmp(name, names[int(expected)]) == 0)
        return expected;
    for (int i = 0; i < int(std::size(names)); ++i)
        if (nameIs(name, names[i]))
            return Field(i);
    return Field::None;
}

// The fields of a deletion: the charge's id and when it was deleted.
Field deletionFieldOf(const char *name)
{
    if (nameIs(name, "Id"))
        return Field::Id;
    if (nameIs(name, "Changed"))
        return Field::Changed;
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
    // Parses the piece; false when the parse paused at the hand-over point (see handOverAt).
    bool parse(int size, bool last)
    {
        const XML_Status status = XML_ParseBuffer(m_parser, size, last);
        if (status == XML_STATUS_ERROR)
            fail();
        return status != XML_STATUS_SUSPENDED;
    }
    // Goes on after a pause at the hand-over point, as if there had been none.
    void resume()
    {
        m_paused = false;
        if (m_heldCharge) {
            m_heldCharge = false;
            appendCharge();
        }
        const XML_Status status = XML_ResumeParser(m_parser);
        if (status == XML_STATUS_ERROR)
            fail();
    }

    // Where another reader may take over: the first Charges element's start tag ends at
    // `headEnd`, and a charge's start tag begins at `offset`. The parse pauses there when both
    // hold, charges complete before it are in the log, and nothing after it is.
    void handOverAt(qint64 headEnd, qint64 offset)
    {
        m_headEnd = headEnd;
        m_handOver = offset;
    }
    // A charge without a name field gets -1 there instead of the first name: the second half's
    // names are not yet in their places.
    void markUnnamed() { m_marksUnnamed = true; }
    bool mayHandOver() const { return m_handOver >= 0; }
    // Whether the parse stands just inside the first Charges element, whose start tag ended at
    // `offset`, between its children.
    bool insideChargesOpenedAt(qint64 offset) const
    {
        return m_section == Section::Charges && m_depth == 2 && m_field == Field::None &&
               m_chargesOpenedAt == offset;
    }
    // Bytes read elsewhere, added to this reader's position in the progress it reports.
    void addToProgress(const std::atomic<qint64> *bytes) { m_progressElsewhere = bytes; }

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

    static void XMLCALL onStart(void *user, const XML_Char *name, const XML_Char **attributes)
    {
        static_cast<LogReader *>(user)->start(name, attributes);
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

    void start(const char *name, const char **attributes)
    {
        ++m_depth;
        if (m_field != Field::None)
            return; // inside a field: its text includes that of elements within it
        switch (m_depth) {
        case 2:
            // The root's own name is not looked at; its children are found by their exact
            // names, only the first of each counts, and others are skipped.
            m_section = sectionOf(name);
            if (m_seen[int(m_section)]) {
                m_section = Section::None;
            } else if (m_section != Section::None) {
                m_seen[int(m_section)] = true;
                if (m_section == Section::Charges)
                    m_chargesOpenedAt =
                        XML_GetCurrentByteIndex(m_parser) + XML_GetCurrentByteCount(m_parser);
                if (m_section == Section::Charges && m_handOver >= 0 &&
                    XML_GetCurrentByteIndex(m_parser) + XML_GetCurrentByteCount(m_parser) !=
                        m_headEnd)
                    m_handOver = -1; // the other reader's head is not this document's
                if (m_section == Section::Batteries)
                    BatteryCards::readSettings(m_log.Cards.Due, attributes);
            }
            break;
        case 3:
            if (m_section == Section::ApplicationData) {
                beginField(colourFieldOf(name));
            } else if (m_section == Section::Charges) {
                if (m_handOver >= 0 && XML_GetCurrentByteIndex(m_parser) >= m_handOver) {
                    if (XML_GetCurrentByteIndex(m_parser) == m_handOver) {
                        m_paused = true;
                        XML_StopParser(m_parser, XML_TRUE);
                    }
                    m_handOver = -1;
                }
                // Every element inside Charges is one charge, whatever its name.
                m_record = TChargeRecord();
                if (m_marksUnnamed)
                    m_record.PowerSourceIndex = m_record.ChargerIndex = m_record.BatteryIndex =
                        m_record.TerminationIndex = -1;
                m_comment.clear();
                m_chargerLogFileName.clear();
                m_id = QUuid();
                m_changed = 0;
                m_inCharge = true;
                m_lastChargeField = Field::None;
            } else if (m_section == Section::Deleted) {
                // Every element inside Deleted is one deletion.
                m_id = QUuid();
                m_changed = 0;
                m_inDeletion = true;
            } else if (m_section == Section::Batteries) {
                // Every element inside Batteries is one card.
                m_card = TBatteryCard();
                m_inCard = true;
            }
            break;
        case 4:
            if (m_inCharge) {
                m_lastChargeField = chargeFieldOf(name, m_lastChargeField);
                beginField(m_lastChargeField);
            } else if (m_inDeletion) {
                beginField(deletionFieldOf(name));
            } else if (m_inCard) {
                m_cardField.assign(name);
                beginField(Field::CardValue);
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
            // An empty element at the hand-over point ends while the parse pauses: it belongs
            // to what comes after.
            if (m_paused)
                m_heldCharge = true;
            else
                appendCharge();
        } else if (m_depth == 3 && m_inDeletion) {
            m_inDeletion = false;
            if (!m_id.isNull())
                m_log.Deleted.insert(m_id, m_changed);
        } else if (m_depth == 3 && m_inCard) {
            m_inCard = false;
            if (!TNameList::trimmedName(m_card.Name).isEmpty())
                m_log.Cards.set(m_card);
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
        case Field::Id:
            // An id that is none is taken as missing: the charge gets one as it enters a log.
            m_id = readId(m_text);
            break;
        case Field::Changed:
            // Bookkeeping only: a time that is none counts as not known.
            try {
                m_changed = readFloat(m_text);
            } catch (const QorLogError &) {
                m_changed = 0;
            }
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
        case Field::CardValue:
            BatteryCards::readField(m_card, m_cardField.c_str(), m_text);
            break;
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
        TChargeEntry entry;
        entry.Record = m_record;
        entry.Record.Key = m_log.NextKey++;
        entry.Text = textOfUtf8(m_joined.data(), qsizetype(m_joined.size()));
        entry.Id = m_id;
        entry.Changed = m_changed;
        m_log.ChargeStringList.append(std::move(entry));
        if (m_progress) {
            qint64 position = XML_GetCurrentByteIndex(m_parser);
            if (m_progressElsewhere)
                position += m_progressElsewhere->load(std::memory_order_relaxed);
            m_progress(0, m_maximum, int(qBound(qint64(0), position, qint64(m_maximum))));
        }
    }

    enum class Section
    {
        None,
        ApplicationData,
        Charges,
        Deleted,
        Batteries,
        Count
    };
    static Section sectionOf(const char *name)
    {
        static const struct
        {
            const char *Name;
            Section Kind;
        } sections[] = {{"ApplicationData", Section::ApplicationData},
                        {"Charges", Section::Charges},
                        {"Deleted", Section::Deleted},
                        {"Batteries", Section::Batteries}};
        for (const auto &section : sections)
            if (std::strcmp(name, section.Name) == 0)
                return section.Kind;
        return Section::None;
    }

    XML_Parser m_parser = nullptr;
    TChargeLog &m_log;
    const QString m_sourceName;
    const LogFile::ProgressFn m_progress;
    const int m_maximum;
    NameCache m_powerSources, m_chargers, m_batteries, m_terminations;
    QString m_error;

    int m_depth = 0;
    Section m_section = Section::None;
    bool m_seen[int(Section::Count)] = {}; // None is never marked seen
    bool m_inCharge = false;
    bool m_inDeletion = false;
    bool m_inCard = false;
    TBatteryCard m_card;
    std::string m_cardField;
    Field m_field = Field::None;
    Field m_lastChargeField = Field::None; // the charge's field before, for the guess
    int m_fieldDepth = 0;
    std::string m_text;
    TChargeRecord m_record;
    std::string m_comment, m_chargerLogFileName, m_joined;
    QUuid m_id;
    double m_changed = 0;

    qint64 m_headEnd = -1, m_handOver = -1, m_chargesOpenedAt = -1;
    bool m_paused = false, m_heldCharge = false, m_marksUnnamed = false;
    const std::atomic<qint64> *m_progressElsewhere = nullptr;
};

// Where the bytes of a log come from: a file or memory. Reads at any offset, from any thread.
class LogSource
{
public:
    virtual ~LogSource() = default;
    virtual qint64 size() const = 0;
    // Reads up to `size` bytes at `offset` into `to`; returns how many (0 at the end), or
    // minus the system's error number. Both readers call it at once, so it keeps no state.
    virtual qint64 readAt(char *to, qint64 offset, qint64 size) const = 0;
};

class MemorySource : public LogSource
{
public:
    explicit MemorySource(const QByteArray &bytes) : m_bytes(bytes) {}
    qint64 size() const override { return m_bytes.size(); }
    qint64 readAt(char *to, qint64 offset, qint64 size) const override
    {
        const qint64 n = qBound(qint64(0), qint64(m_bytes.size()) - offset, size);
        std::memcpy(to, m_bytes.constData() + offset, size_t(n));
        return n;
    }

private:
    const QByteArray &m_bytes;
};

std::atomic<LogFile::PreadFn> readFunction{nullptr};

class FileSource : public LogSource
{
public:
    explicit FileSource(QFile &file) : m_file(file), m_size(file.size()) {}
    qint64 size() const override { return m_size; }
    qint64 readAt(char *to, qint64 offset, qint64 size) const override
    {
        const LogFile::PreadFn read = readFunction.load(std::memory_order_relaxed);
        for (;;) {
            const ssize_t n = read ? read(m_file.handle(), to, size_t(size), off_t(offset))
                                   : ::pread(m_file.handle(), to, size_t(size), off_t(offset));
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return -qint64(errno);
        }
    }

private:
    QFile &m_file;
    const qint64 m_size;
};

// The log goes to the parser in pieces straight into its buffer: the whole of a big file never
// sits in memory at once. Pieces of a sixteenth of the file between 64 KiB and 1 MiB: big pieces
// read a big log a little faster, small ones keep a small log's reading buffer small.
int pieceFor(qint64 size)
{
    return int(qBound(qint64(64 * 1024), size / 16, qint64(1 << 20)));
}

// A big log is read in two halves at once, one per core: the second half by a reader of its
// own that first reads the document's head (everything up to the first charge) and then goes
// on from a charge's start tag near the middle. The first reader checks on its way that the
// head and that start tag are what they seemed, and pauses there; the charges and names of the
// second half then join the log as if read in one go. Whenever the second half fails (damage,
// a read error), or the guess was wrong, the first reader simply reads on: every error is
// found, and reported with its line and column, the way a single reader finds it.
struct HandOver
{
    qint64 HeadEnd = -1; // just after the first "<Charges>"
    qint64 Offset = -1;  // where a charge's start tag begins
};

constexpr qint64 LeastBytesToHalve = 256 << 10;

HandOver findHandOver(const LogSource &source)
{
    // A written log has its first charge within a few hundred bytes of the start, and one
    // charge after another: a short look at the start and at the middle finds both places.
    constexpr qint64 Look = 64 * 1024;
    const qint64 size = source.size();
    QByteArray head(int(qMin(Look, size)), Qt::Uninitialized);
    if (source.readAt(head.data(), 0, head.size()) != head.size())
        return {};
    const char *const chargesTag = "<Charges>";
    const qsizetype charges = head.indexOf(chargesTag);
    if (charges < 0)
        return {};
    const qsizetype headEnd = charges + qsizetype(std::strlen(chargesTag));
    const qsizetype tagStart = head.indexOf('<', headEnd);
    const qsizetype tagEnd = tagStart < 0 ? -1 : head.indexOf('>', tagStart);
    if (tagEnd < 0 || tagEnd - tagStart > 255 || std::strchr("/!?", head.at(tagStart + 1)))
        return {};
    const QByteArray chargeTag = head.mid(tagStart, tagEnd + 1 - tagStart);

    const qint64 middle = qMax(qint64(headEnd), size / 2);
    QByteArray around(int(qMin(Look, size - middle)), Qt::Uninitialized);
    if (source.readAt(around.data(), middle, around.size()) != around.size())
        return {};
    const qsizetype found = around.indexOf(chargeTag);
    if (found < 0)
        return {};
    return {headEnd, middle + found};
}

// Reads the second half into `tail`; false when that failed or was called off.
bool readSecondHalf(const LogSource &source, const HandOver &handOver, TChargeLog &tail,
                    std::atomic<qint64> &bytesRead, const std::atomic<bool> &callOff)
{
    try {
        LogReader reader(tail, QString(), source.size(), {});
        reader.markUnnamed();
        const int headSize = int(handOver.HeadEnd);
        if (source.readAt(reader.buffer(headSize), 0, headSize) != headSize)
            return false;
        reader.parse(headSize, false);
        const int piece = pieceFor(source.size());
        for (qint64 offset = handOver.Offset;;) {
            if (callOff.load(std::memory_order_relaxed))
                return false;
            const qint64 n = source.readAt(reader.buffer(piece), offset, piece);
            if (n < 0)
                return false;
            offset += n;
            reader.parse(int(n), n == 0);
            bytesRead.store(offset - handOver.Offset, std::memory_order_relaxed);
            if (n == 0)
                return true;
        }
    } catch (...) {
        return false; // the first reader reads on and finds what went wrong
    }
}

// Appends the charges of the second half with their names and keys as the first reader would
// have given them, and takes its colours (it read the head as well).
void joinSecondHalf(TChargeLog &log, TChargeLog &tail, const int (&namesBefore)[4])
{
    TNameList *const lists[4] = {&log.PowerSourcesStringList, &log.ChargersStringList,
                                 &log.BatteriesStringList, &log.TerminationsStringList};
    const TNameList *const tailLists[4] = {&tail.PowerSourcesStringList, &tail.ChargersStringList,
                                           &tail.BatteriesStringList, &tail.TerminationsStringList};
    // Names known before the read have the same place in both; the second half's own names
    // follow the first half's in the order they came.
    std::vector<int> mapped[4];
    for (int l = 0; l < 4; ++l) {
        mapped[l].resize(size_t(tailLists[l]->count()));
        for (int i = 0; i < tailLists[l]->count(); ++i)
            mapped[l][size_t(i)] =
                i < namesBefore[l] ? i : lists[l]->findOrAppend(tailLists[l]->name(i));
    }
    // A charge without a name field has the first place, as it would have had in one pass.
    const auto map = [&mapped](int list, qint32 index) {
        return index < 0 ? 0 : mapped[list][size_t(index)];
    };
    const TChargeList &charges = tail.ChargeStringList;
    for (int i = 0; i < charges.count(); ++i) {
        TChargeRecord record = charges.record(i);
        record.PowerSourceIndex = map(0, record.PowerSourceIndex);
        record.ChargerIndex = map(1, record.ChargerIndex);
        record.BatteryIndex = map(2, record.BatteryIndex);
        record.TerminationIndex = map(3, record.TerminationIndex);
        record.Key = log.NextKey++;
        TChargeEntry entry = charges.at(i);
        entry.Record = record;
        log.ChargeStringList.append(std::move(entry));
    }
    log.Deleted.insert(tail.Deleted);
    if (!tail.Cards.isEmpty() || tail.Cards.Due != TDueSettings())
        log.Cards = tail.Cards;
    log.CyclesSeriesColour = tail.CyclesSeriesColour;
    log.ChargeSeriesColour = tail.ChargeSeriesColour;
    log.DischargeSeriesColour = tail.DischargeSeriesColour;
}

// Calls off a second reader and waits until it is done, when the first one is done with it
// (at the end of the scope, also by an exception).
template <typename Result> struct CallOff
{
    std::atomic<bool> &Flag;
    std::future<Result> &Reader;
    ~CallOff()
    {
        Flag = true;
        if (Reader.valid())
            Reader.wait();
    }
};

// A log with lists of their own holding the names of `log` (not shared copies: readers add to
// theirs at once) and its colours.
TChargeLog withNamesOf(const TChargeLog &log)
{
    TChargeLog other;
    other.PowerSourcesStringList = TNameList(log.PowerSourcesStringList.names());
    other.ChargersStringList = TNameList(log.ChargersStringList.names());
    other.BatteriesStringList = TNameList(log.BatteriesStringList.names());
    other.TerminationsStringList = TNameList(log.TerminationsStringList.names());
    other.CyclesSeriesColour = log.CyclesSeriesColour;
    other.ChargeSeriesColour = log.ChargeSeriesColour;
    other.DischargeSeriesColour = log.DischargeSeriesColour;
    return other;
}

// Scans the written charges of `source` from `from` into `log`, a piece at a time. Returns
// where the charges' end tag starts, or `stopAt` (if not -1) once the charges reach it; -1
// when bytes come that the scanner leaves to the parser, or a read fails.
// Where each charge stands goes to `places` (one per charge appended; none where its bytes are
// not what a save writes for it), with `generation`.
struct PlacesOut
{
    quint32 Generation = 0;
    char DecimalPoint = '.';
    std::vector<TWrittenPlace> Places;
};

// The charges of a log known as it stands in a file held open (see LogFile::TKnownLog), met
// again in the file being read: a charge whose bytes there are the very bytes the next known
// charge has in its file is taken as it is, the way the scanner would read it, but without
// reading it. The known charges are followed in their order; after a charge that differs they
// go on after the known one with its id.
class KnownCharges
{
public:
    KnownCharges(const LogFile::TKnownLog &known, TChargeLog &log)
        : m_known(*known.Log), m_charges(known.Log->ChargeStringList),
          m_generation(known.Log->LastWritten.Generation), m_old(*known.File), m_log(log)
    {
    }
    // Whether `known` can be taken from: its places are in its file, written as now.
    static bool usable(const LogFile::TKnownLog *known, char decimalPoint)
    {
        if (!known || !known->Log || !known->File || !known->File->isOpen())
            return false;
        const TWrittenLog &written = known->Log->LastWritten;
        return written.Generation != 0 && written.DecimalPoint == decimalPoint &&
               TLogFileIdentity::ofOpenFile(*known->File) == written.Identity;
    }
    // The charge starting at `p` (at `at` in the file), taken when it is the next known one:
    // appended to the log with its place, and its length returned. 0 when it is to be read;
    // -1 when more bytes are needed to tell (never once `atEnd`).
    qint64 take(const char *p, const char *end, bool atEnd, qint64 at, PlacesOut &places)
    {
        if (m_next >= m_charges.count())
            return 0;
        const TChargeEntry &entry = m_charges.at(m_next);
        const qint64 length = entry.Written.Length;
        if (entry.Written.Generation != m_generation || length <= 0)
            return 0;
        if (end - p < length)
            return atEnd ? 0 : -1;
        const char *old = nullptr;
        if (!oldBytes(entry.Written.Offset, length, old) ||
            std::memcmp(p, old, size_t(length)) != 0)
            return 0;
        TChargeRecord record = entry.Record;
        bool exact = true;
        qint32 *const indexes[4] = {&record.PowerSourceIndex, &record.ChargerIndex,
                                    &record.BatteryIndex, &record.TerminationIndex};
        for (int l = 0; l < 4; ++l)
            if (!mapName(l, *indexes[l], exact))
                return 0;
        record.Key = m_log.NextKey++;
        m_log.ChargeStringList.append(
            TChargeEntry{entry.Text, record, {}, entry.Id, entry.Changed});
        // As the scanner does: a name that took another letter case is not written as it stands.
        places.Places.push_back(exact ? TWrittenPlace{at, places.Generation, qint32(length)}
                                      : TWrittenPlace());
        m_takenFrom.push_back(m_next);
        ++m_next;
        m_readInARow = 0;
        return length;
    }
    // After a charge was read: the known charges go on after the one with its id, if any.
    void follow(const QUuid &id)
    {
        m_takenFrom.push_back(-1);
        if (id.isNull())
            return;
        constexpr int Near = 64;
        for (int k = m_next; k < m_charges.count() && k < m_next + Near; ++k)
            if (m_charges.at(k).Id == id) {
                m_next = k + 1;
                m_readInARow = 0;
                return;
            }
        // A charge added (or one moved far) is not worth an index of all: only when several
        // in a row are not near are the known charges looked up by their ids.
        constexpr int ReadBeforeIndex = 8;
        if (!m_indexed && ++m_readInARow < ReadBeforeIndex)
            return;
        if (!m_indexed) {
            m_indexed = true;
            m_byId.reserve(m_charges.count());
            for (int k = 0; k < m_charges.count(); ++k)
                if (!m_charges.at(k).Id.isNull())
                    m_byId.insert(m_charges.at(k).Id, k);
        }
        const auto found = m_byId.constFind(id);
        if (found != m_byId.constEnd() && *found >= m_next)
            m_next = *found + 1;
    }
    // For each charge met so far, the position of the known charge it was taken from, or -1.
    std::vector<qint32> takeTakenFrom() { return std::move(m_takenFrom); }
    int count() const { return int(m_takenFrom.size()); }

private:
    // The `length` bytes at `offset` of the known file, from a window read ahead.
    bool oldBytes(qint64 offset, qint64 length, const char *&bytes)
    {
        if (offset < m_windowAt || offset + length > m_windowAt + qint64(m_held)) {
            constexpr qint64 Window = 4 << 20;
            m_window.resize(size_t(std::max(Window, length)));
            m_windowAt = offset;
            m_held = 0;
            while (m_held < m_window.size()) {
                const qint64 n = m_old.readAt(m_window.data() + m_held, offset + qint64(m_held),
                                              qint64(m_window.size() - m_held));
                if (n <= 0)
                    break;
                m_held += size_t(n);
            }
            if (qint64(m_held) < length)
                return false;
        }
        bytes = m_window.data() + (offset - m_windowAt);
        return true;
    }
    // The known charge's name `index` (in the names it was written with) as the log being read
    // has it; `exact` false when that took another letter case.
    bool mapName(int list, qint32 &index, bool &exact)
    {
        const QStringList &written = m_known.LastWritten.Names[list];
        if (index < 0 || index >= written.size())
            return false;
        std::vector<qint32> &mapped = m_mapped[list];
        if (mapped.empty())
            mapped.assign(size_t(written.size()), -1);
        if (mapped[size_t(index)] < 0) {
            TNameList &names = m_log.nameList(Kinds[list]);
            const QString &name = written.at(index);
            const int at = names.findOrAppend(name);
            mapped[size_t(index)] = at;
            if (names.name(at) != name)
                m_recased[list].insert(at);
        }
        if (m_recased[list].contains(mapped[size_t(index)]))
            exact = false;
        index = mapped[size_t(index)];
        return true;
    }

    static constexpr TChargeLog::NameKind Kinds[4] = {
        TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger,
        TChargeLog::NameKind::Battery, TChargeLog::NameKind::Termination};
    const TChargeLog &m_known;
    const TChargeList &m_charges;
    const quint32 m_generation;
    FileSource m_old;
    TChargeLog &m_log;
    int m_next = 0;
    std::vector<qint32> m_mapped[4];
    QSet<qint32> m_recased[4];
    bool m_indexed = false;
    int m_readInARow = 0; // charges read, not found near, since the last one taken or found
    QHash<QUuid, int> m_byId;
    std::vector<qint32> m_takenFrom;
    std::vector<char> m_window;
    qint64 m_windowAt = 0;
    size_t m_held = 0;
};

qint64 scanWritten(const LogSource &source, qint64 from, qint64 stopAt, TChargeLog &log,
                   PlacesOut &places, std::atomic<qint64> &scanned,
                   const std::atomic<bool> &callOff, const std::function<void()> &eachPiece = {},
                   KnownCharges *known = nullptr)
{
    // Room for two pieces; a charge longer than that (a comment of megabytes) makes it grow.
    constexpr size_t MostRoom = size_t(256) << 20;
    const size_t piece = size_t(pieceFor(source.size()));
    std::vector<char> buffer(2 * piece);
    TWrittenChargeScanner scanner(log, places.DecimalPoint);
    qint64 bufferAt = from; // where buffer[0] lies in the file
    size_t held = 0;
    for (;;) {
        if (callOff.load(std::memory_order_relaxed))
            return -1;
        if (held == buffer.size()) {
            if (buffer.size() >= MostRoom)
                return -1;
            buffer.resize(2 * buffer.size());
        }
        const qint64 n = source.readAt(buffer.data() + held, bufferAt + qint64(held),
                                       qint64(std::min(piece, buffer.size() - held)));
        if (n < 0)
            return -1;
        held += size_t(n);
        const char *p = buffer.data();
        const char *const end = p + held;
        for (;;) {
            const qint64 at = bufferAt + (p - buffer.data());
            if (stopAt >= 0 && at >= stopAt)
                return at == stopAt ? at : -1;
            if (known) {
                const qint64 taken = known->take(p, end, n == 0, at, places);
                if (taken > 0) {
                    p += taken;
                    continue;
                }
                if (taken < 0)
                    break;
            }
            const char *next = p;
            const TWrittenChargeScanner::Result result = scanner.next(next, end);
            if (result == TWrittenChargeScanner::Result::Charge) {
                places.Places.push_back(scanner.lastAsSaved() ? TWrittenPlace{at, places.Generation,
                                                                              scanner.lastLength()}
                                                              : TWrittenPlace());
                if (known)
                    known->follow(log.ChargeStringList.at(log.ChargeStringList.count() - 1).Id);
                p = next;
                continue;
            }
            if (result == TWrittenChargeScanner::Result::ChargesEnd)
                return at;
            if (result == TWrittenChargeScanner::Result::Other || n == 0)
                return -1;
            break; // the rest of a charge is still to be read
        }
        const size_t used = size_t(p - buffer.data());
        std::memmove(buffer.data(), p, held - used);
        held -= used;
        bufferAt += qint64(used);
        scanned.store(bufferAt - from, std::memory_order_relaxed);
        if (eachPiece)
            eachPiece();
    }
}

// Gives the charges just read their places in the file (`first`'s for those read into `log`,
// then `second`'s for those of `tail`, the second half) and says in `written` which file holds
// them. A charge of the second half whose name took the letter case of one the first half met
// first does not stand in the file as a save would write it.
void notePlaces(TChargeLog &log, const TChargeLog &tail, const int (&namesBefore)[4],
                PlacesOut &first, PlacesOut &second, TWrittenLog &written)
{
    constexpr TChargeLog::NameKind kinds[4] = {
        TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger,
        TChargeLog::NameKind::Battery, TChargeLog::NameKind::Termination};
    std::vector<bool> recased[4];
    for (int l = 0; l < 4; ++l) {
        const TNameList &theirs = tail.nameList(kinds[l]), &ours = log.nameList(kinds[l]);
        recased[l].resize(size_t(theirs.count()));
        for (int i = namesBefore[l]; i < theirs.count(); ++i) {
            const int at = ours.indexOf(theirs.name(i));
            recased[l][size_t(i)] = at < 0 || ours.name(at) != theirs.name(i);
        }
    }
    for (int k = 0; k < tail.ChargeStringList.count() && size_t(k) < second.Places.size(); ++k) {
        const TChargeRecord &record = tail.ChargeStringList.record(k);
        for (int l = 0; l < 4; ++l) {
            const int index = TChargeLog::recordIndex(record, kinds[l]);
            if (index >= 0 && size_t(index) < recased[l].size() && recased[l][size_t(index)])
                second.Places[size_t(k)] = TWrittenPlace();
        }
    }
    std::vector<TWrittenPlace> places = std::move(first.Places);
    places.insert(places.end(), second.Places.begin(), second.Places.end());
    if (places.size() != size_t(log.ChargeStringList.count()))
        return;
    log.ChargeStringList.setWrittenPlaces(places);
    written.Generation = first.Generation;
    written.DecimalPoint = first.DecimalPoint;
    for (int l = 0; l < 4; ++l)
        written.Names[l] = log.nameList(kinds[l]).names();
}

// A log as QorLog writes it is read without the parser where it can be: the head (up to the
// charges) and whatever follows the charges go through the parser, the charges between go
// through the scanner, on two cores in two halves where `halve` says so. True when the log was
// read that way; false, with `log` as it was, when anything in it is left to the parser (a
// log written otherwise, damage, a read error), which then reads it all as before, finding
// every error where it finds it.
// `written` (if given, and the log holds no charges yet) learns where the charges stand in the
// file, each whose bytes are exactly what a save writes for it with its place: the next save then
// copies them.
bool readWritten(const LogSource &source, TChargeLog &log, const QString &sourceName,
                 const LogFile::ProgressFn &progress, bool halve, LogFile::ReadMode &way,
                 TWrittenLog *written, const LogFile::TKnownLog *knownLog,
                 std::vector<qint32> *takenFrom)
{
    constexpr char Prolog[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
    constexpr char ChargesStart[] = "\n  <Charges>";
    constexpr qint64 Look = 64 * 1024;
    const qint64 size = source.size();
    QByteArray head(int(qMin(Look, size)), Qt::Uninitialized);
    if (source.readAt(head.data(), 0, head.size()) != head.size() || !head.startsWith(Prolog))
        return false;
    const qsizetype charges = head.indexOf(ChargesStart);
    if (charges < 0)
        return false;
    const qint64 headEnd = charges + qsizetype(sizeof ChargesStart - 1);

    TChargeLog outer = withNamesOf(log);
    LogReader outerReader(outer, sourceName, size, {});
    try {
        std::memcpy(outerReader.buffer(int(headEnd)), head.constData(), size_t(headEnd));
        outerReader.parse(int(headEnd), false);
    } catch (const QorLogError &) {
        return false;
    }
    if (!outerReader.insideChargesOpenedAt(headEnd))
        return false; // "<Charges>" stood somewhere else (in a comment, say)

    // A known log is followed in one pass: comparing bytes goes faster than reading them.
    const char decimalPoint = LogReadParts::numberDecimalPoint();
    std::optional<KnownCharges> known;
    if (KnownCharges::usable(knownLog, decimalPoint))
        known.emplace(*knownLog, log);
    // The second half starts at a charge near the middle.
    qint64 split = -1;
    if (halve && !known) {
        const qint64 middle = qMax(headEnd, size / 2);
        QByteArray around(int(qMin(Look, size - middle)), Qt::Uninitialized);
        if (source.readAt(around.data(), middle, around.size()) == around.size()) {
            const qsizetype found = around.indexOf(TWrittenChargeScanner::ChargeStart);
            if (found >= 0)
                split = middle + found;
        }
    }

    const int namesBefore[4] = {log.PowerSourcesStringList.count(), log.ChargersStringList.count(),
                                log.BatteriesStringList.count(),
                                log.TerminationsStringList.count()};
    const TNameList listsAsWere[4] = {log.PowerSourcesStringList, log.ChargersStringList,
                                      log.BatteriesStringList, log.TerminationsStringList};
    const qint32 keyBefore = log.NextKey;
    const bool placesWanted = written && log.ChargeStringList.isEmpty();
    PlacesOut firstPlaces, secondPlaces;
    firstPlaces.Generation = secondPlaces.Generation = LogReadParts::nextGeneration();
    firstPlaces.DecimalPoint = secondPlaces.DecimalPoint = decimalPoint;
    // A place for each charge: as many as the known log has, else as many as fit (a written
    // charge takes at least 300 bytes).
    const size_t room = knownLog && knownLog->Log
                            ? size_t(knownLog->Log->ChargeStringList.count()) + 64
                            : size_t((size - headEnd) / 300) + 1;
    ReserveWithHugePages(firstPlaces.Places, split > 0 ? room / 2 + 1 : room);
    if (split > 0)
        ReserveWithHugePages(secondPlaces.Places, room / 2 + 1);

    TChargeLog tail = withNamesOf(log);
    std::atomic<qint64> firstBytes{0}, secondBytes{0};
    std::atomic<bool> callOff{false};
    std::future<qint64> secondHalf;
    if (split > 0) {
        tail.ChargeStringList.reserve(int((size - split) / 300));
        secondHalf = std::async(std::launch::async, [&] {
            return scanWritten(source, split, -1, tail, secondPlaces, secondBytes, callOff);
        });
    }
    const CallOff<qint64> callOffAtExit{callOff, secondHalf};

    const int maximum = int(qMin<qint64>(size, std::numeric_limits<int>::max()));
    const auto report = [&] {
        if (progress)
            progress(0, maximum,
                     int(qMin<qint64>(headEnd + firstBytes.load() + secondBytes.load(), maximum)));
    };
    const qint64 firstEnd = scanWritten(source, headEnd, split, log, firstPlaces, firstBytes,
                                        callOff, report, known ? &*known : nullptr);
    qint64 chargesEnd = split > 0 && firstEnd != split ? -1 : firstEnd;
    if (chargesEnd < 0) {
        callOff = true;
    } else if (split > 0) {
        while (progress &&
               secondHalf.wait_for(std::chrono::milliseconds(16)) != std::future_status::ready)
            report();
        chargesEnd = secondHalf.get();
    }
    // What follows the charges (the cards, the deletions, the end) goes through the parser,
    // which also finds whether the document is whole.
    bool whole = chargesEnd >= 0;
    try {
        const int piece = pieceFor(size);
        for (qint64 offset = chargesEnd; whole;) {
            const qint64 n = source.readAt(outerReader.buffer(piece), offset, piece);
            if (n < 0) {
                whole = false;
                break;
            }
            offset += n;
            outerReader.parse(int(n), n == 0);
            if (n == 0)
                break;
        }
    } catch (const QorLogError &) {
        whole = false;
    }
    if (!whole) {
        log.ChargeStringList.removeIf(
            [keyBefore](const TChargeEntry &entry) { return entry.Record.Key >= keyBefore; });
        log.PowerSourcesStringList = listsAsWere[0];
        log.ChargersStringList = listsAsWere[1];
        log.BatteriesStringList = listsAsWere[2];
        log.TerminationsStringList = listsAsWere[3];
        log.NextKey = keyBefore;
        return false;
    }
    if (split > 0)
        joinSecondHalf(log, tail, namesBefore);
    joinSecondHalf(log, outer, namesBefore);
    way = split > 0 ? LogFile::ReadMode::InTwoHalves : LogFile::ReadMode::InOnePass;
    if (placesWanted)
        notePlaces(log, tail, namesBefore, firstPlaces, secondPlaces, *written);
    if (known && takenFrom && log.ChargeStringList.count() == known->count())
        *takenFrom = known->takeTakenFrom();
    return true;
}

LogFile::ReadMode readLog(const LogSource &source, TChargeLog &log, const QString &sourceName,
                          const LogFile::ProgressFn &givenProgress, LogFile::ReadMode mode,
                          TWrittenLog *written = nullptr, const LogFile::TKnownLog *known = nullptr,
                          std::vector<qint32> *takenFrom = nullptr)
{
    // When the parser reads again what the scanner left, the progress stays where it was until
    // the parser passes it: it only ever moves forward.
    int reached = 0;
    LogFile::ProgressFn progress;
    if (givenProgress)
        progress = [&reached, &givenProgress](int minimum, int maximum, int at) {
            reached = qMax(reached, at);
            givenProgress(minimum, maximum, reached);
        };
    const qint64 size = source.size();
    // Room for the charges at once instead of growing the list step by step: a written charge
    // takes at least 300 bytes of the file, so this is enough for any log QorLog wrote.
    // A file read again after a change of it mostly holds the charges it held, and a list
    // about their size can take over the memory of one let go (see TChargeList).
    constexpr qint64 LeastChargeBytes = 300;
    const qint64 knownCount =
        known && known->Log ? qint64(known->Log->ChargeStringList.count()) : qint64(0);
    const qint64 expected =
        knownCount > 0 ? knownCount + knownCount / 64 + 64 : size / LeastChargeBytes;
    log.ChargeStringList.reserve(int(qMin<qint64>(log.ChargeStringList.count() + expected,
                                                  std::numeric_limits<int>::max() / 2)));
    const bool halve = mode == LogFile::ReadMode::InTwoHalves ||
                       (mode == LogFile::ReadMode::Automatic && size >= LeastBytesToHalve &&
                        std::thread::hardware_concurrency() > 1);
    if (mode != LogFile::ReadMode::ParserOnly) {
        LogFile::ReadMode way = LogFile::ReadMode::InOnePass;
        if (readWritten(source, log, sourceName, progress, halve, way, written, known, takenFrom))
            return way;
    }
    const HandOver handOver = halve ? findHandOver(source) : HandOver();

    TChargeLog tail;
    std::atomic<qint64> tailBytes{0};
    std::atomic<bool> callOff{false};
    std::future<bool> secondHalf;
    const int namesBefore[4] = {log.PowerSourcesStringList.count(), log.ChargersStringList.count(),
                                log.BatteriesStringList.count(),
                                log.TerminationsStringList.count()};
    LogReader reader(log, sourceName, size, progress);
    if (handOver.Offset > 0) {
        tail = withNamesOf(log);
        tail.ChargeStringList.reserve(int((size - handOver.Offset) / LeastChargeBytes));
        secondHalf = std::async(std::launch::async, [&] {
            return readSecondHalf(source, handOver, tail, tailBytes, callOff);
        });
        reader.handOverAt(handOver.HeadEnd, handOver.Offset);
        reader.addToProgress(&tailBytes);
    }
    // The second reader must be done with everything here before it goes out of scope.
    const CallOff<bool> callOffAtExit{callOff, secondHalf};

    const int piece = pieceFor(size);
    for (qint64 offset = 0;;) {
        const qint64 n = source.readAt(reader.buffer(piece), offset, piece);
        if (n < 0)
            throw QorLogReadError(
                tr("The log file %1 cannot be read: %2").arg(sourceName, qt_error_string(int(-n))));
        offset += n;
        const bool paused = !reader.parse(int(n), n == 0);
        if (paused) {
            // The splash follows both readers while the second one finishes.
            if (progress)
                while (secondHalf.wait_for(std::chrono::milliseconds(16)) !=
                       std::future_status::ready)
                    progress(0, int(qMin<qint64>(size, std::numeric_limits<int>::max())),
                             int(qMin<qint64>(handOver.Offset + tailBytes.load(),
                                              std::numeric_limits<int>::max())));
            if (secondHalf.get()) {
                joinSecondHalf(log, tail, namesBefore);
                return LogFile::ReadMode::InTwoHalves;
            }
            reader.resume();
        } else if (secondHalf.valid() && !reader.mayHandOver()) {
            callOff = true; // passed the place without pausing: the guess was wrong
        }
        if (n == 0)
            return LogFile::ReadMode::InOnePass;
    }
}

// Opens `path` and reads it into `log`, taking from `known` (if given) what stands unchanged.
LogFile::LoadOutcome loadChargeLog(const QString &path, TChargeLog &log,
                                   const LogFile::ProgressFn &progress, LogFile::ReadMode mode,
                                   const LogFile::TKnownLog *known, std::vector<qint32> *takenFrom);

} // namespace

namespace LogFile {

void SetPreadForTesting(PreadFn read)
{
    readFunction.store(read);
}

ReadMode ReadChargeLog(const QByteArray &bytes, TChargeLog &log, const QString &sourceName,
                       const ProgressFn &progress, ReadMode mode)
{
    MemorySource source(bytes);
    return readLog(source, log, sourceName, progress, mode);
}

LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const ProgressFn &progress,
                          ReadMode mode)
{
    return loadChargeLog(path, log, progress, mode, nullptr, nullptr);
}

LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const TKnownLog &known,
                          std::vector<qint32> *takenFrom)
{
    if (takenFrom)
        takenFrom->clear();
    return loadChargeLog(path, log, {}, ReadMode::Automatic, &known, takenFrom);
}

} // namespace LogFile

namespace {

LogFile::LoadOutcome loadChargeLog(const QString &path, TChargeLog &log,
                                   const LogFile::ProgressFn &progress, LogFile::ReadMode mode,
                                   const LogFile::TKnownLog *known, std::vector<qint32> *takenFrom)
{
    using namespace LogFile;
    QFile file;
    // Only a file that is not there is missing: a folder that cannot be looked into (a network
    // folder gone, no permission) is a read error, not a first start. Opened without waiting (a
    // named pipe would wait for a writer), then looked at: what is open is what is read.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return LoadOutcome::Missing;
        throw QorLogReadError(
            tr("The log file %1 cannot be read: %2").arg(path, qt_error_string(errno)));
    }
    struct stat st;
    const bool looked = ::fstat(fd, &st) == 0;
    if (!looked || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        throw QorLogReadError(
            looked ? tr("The log file %1 cannot be read: it is not a regular file").arg(path)
                   : tr("The log file %1 cannot be read: %2").arg(path, qt_error_string(error)));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw QorLogReadError(
            tr("The log file %1 cannot be read: %2").arg(path, file.errorString()));
    }
    // The file's identity before and after the read: only a file that stayed as it was holds
    // the charges where the read found them.
    TWrittenLog written;
    written.Path = path;
    written.Identity = TLogFileIdentity::ofOpenFile(file);
    FileSource source(file);
    readLog(source, log, path, progress, mode, &written, known, takenFrom);
    if (written.Generation != 0 && TLogFileIdentity::ofOpenFile(file) == written.Identity)
        log.LastWritten = std::move(written);
    return LoadOutcome::Loaded;
}

} // namespace
