#include "LogFile.h"

#include "LogReadParts.h"

#include "BatteryCards.h"
#include "HugePages.h"
#include "NumberText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace {

using LogReadParts::nextGeneration;
using LogReadParts::numberDecimalPoint;

QString tr(const char *text)
{
    return QCoreApplication::translate("LogFile", text);
}

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

// Each name of a list as element content, made once per save instead of once per record: all
// in one buffer with `padding` bytes after the last, so that a short name can be read whole.
class NameContents
{
public:
    NameContents(const TNameList &list, qsizetype padding)
    {
        m_spans.reserve(size_t(list.count()));
        for (int i = 0; i < list.count(); ++i) {
            const QByteArray content = contentOf(list.name(i));
            m_spans.emplace_back(qsizetype(m_bytes.size()), content.size());
            m_bytes.insert(m_bytes.end(), content.cbegin(), content.cend());
        }
        m_bytes.resize(m_bytes.size() + size_t(padding));
    }
    // The content of name `index` (none for an index out of range) and its size.
    const char *data(int index) const
    {
        return has(index) ? m_bytes.data() + m_spans[size_t(index)].first : m_bytes.data();
    }
    qsizetype size(int index) const { return has(index) ? m_spans[size_t(index)].second : 0; }

private:
    bool has(int index) const { return index >= 0 && size_t(index) < m_spans.size(); }
    std::vector<char> m_bytes;
    std::vector<std::pair<qsizetype, qsizetype>> m_spans; // offset and size of each name
};

// An id as 36 characters "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
char *writeId(char *to, const QUuid &id)
{
    static const char digits[] = "0123456789abcdef";
    const auto hex = [&to](quint64 value, int count) {
        for (int i = count - 1; i >= 0; --i)
            *to++ = digits[(value >> (4 * i)) & 0xF];
    };
    hex(id.data1, 8);
    *to++ = '-';
    hex(id.data2, 4);
    *to++ = '-';
    hex(id.data3, 4);
    *to++ = '-';
    hex(quint64(id.data4[0]) << 8 | id.data4[1], 4);
    *to++ = '-';
    for (int i = 2; i < 8; ++i)
        hex(id.data4[i], 2);
    return to;
}

// Formats charges as a save writes them: each record's bytes from "\n    <Charge>" to its end
// tag, through a plain pointer into room reserved for its largest possible size. The names'
// contents and the tags are made once.
//
// Between two values stand an end tag, a line break, the indentation and the next start tag:
// each such run is one piece of at most TagRoom bytes, copied whole (a fixed-size copy, which
// the compiler turns into a few moves) and the pointer then set back to its true end. So is a
// name of up to TagRoom bytes. The room reserved for a record leaves TagRoom bytes beyond its
// end for those copies.
class EntryWriter
{
public:
    EntryWriter(const TChargeLog &log, char decimalPoint)
        : m_decimalPoint(decimalPoint), m_powerSources(log.PowerSourcesStringList, TagRoom),
          m_chargers(log.ChargersStringList, TagRoom),
          m_batteries(log.BatteriesStringList, TagRoom),
          m_terminations(log.TerminationsStringList, TagRoom)
    {
        const LeafTags dateTime{3, "DateTime"}, powerSource{3, "PowerSource"},
            charger{3, "Charger"}, battery{3, "Battery"}, amps{3, "NominalChargeAmps"},
            ampHours{3, "AmpHours"}, termination{3, "Termination"}, comment{3, "Comment"},
            logFile{3, "ChargerLogFileName"}, id{3, "Id"}, changed{3, "Changed"};
        const QByteArray chargeStart("\n    <Charge>"), chargeEnd("\n    </Charge>");
        m_toDateTime = Piece(chargeStart + dateTime.Start);
        m_toPowerSource = Piece(dateTime.End + powerSource.Start);
        m_toCharger = Piece(powerSource.End + charger.Start);
        m_toBattery = Piece(charger.End + battery.Start);
        m_toAmps = Piece(battery.End + amps.Start);
        m_toAmpHours = Piece(amps.End + ampHours.Start);
        m_toTermination = Piece(ampHours.End + termination.Start);
        m_toComment = Piece(termination.End + comment.Start);
        m_toLogFile = Piece(comment.End + logFile.Start);
        m_toId = Piece(logFile.End + id.Start);
        m_toChanged = Piece(id.End + changed.Start);
        m_changedToEnd = Piece(changed.End + chargeEnd);
        m_logFileToEnd = Piece(logFile.End + chargeEnd);
        for (const Piece *piece :
             {&m_toDateTime, &m_toPowerSource, &m_toCharger, &m_toBattery, &m_toAmps, &m_toAmpHours,
              &m_toTermination, &m_toComment, &m_toLogFile, &m_toId, &m_toChanged, &m_changedToEnd})
            m_fixedRoom += piece->Size;
        m_fixedRoom += IdRoom + 4 * NumberRoom + TagRoom;
    }

    // The most bytes write() can take for `entry`, the room its whole copies need included.
    qsizetype room(const TChargeEntry &entry) const
    {
        const TChargeRecord &r = entry.Record;
        return m_fixedRoom + m_powerSources.size(r.PowerSourceIndex) +
               m_chargers.size(r.ChargerIndex) + m_batteries.size(r.BatteryIndex) +
               m_terminations.size(r.TerminationIndex) + 6 * entry.Text.size();
    }

    // Writes `entry` at `to` and returns the end.
    char *write(char *to, const TChargeEntry &entry) const
    {
        const TChargeRecord &r = entry.Record;
        // Split at the first "*": the charger log file name before it, the comment after.
        const QStringView text = entry.Text;
        const qsizetype star = text.indexOf(QLatin1Char('*'));
        const QStringView chargerLogFileName = star < 0 ? QStringView() : text.left(star);
        const QStringView comment = star < 0 ? text : text.mid(star + 1);
        to = copy(to, m_toDateTime);
        to = number(to, r.DateTime);
        to = name(copy(to, m_toPowerSource), m_powerSources, r.PowerSourceIndex);
        to = name(copy(to, m_toCharger), m_chargers, r.ChargerIndex);
        to = name(copy(to, m_toBattery), m_batteries, r.BatteryIndex);
        to = number(copy(to, m_toAmps), r.NominalChargeAmps);
        to = number(copy(to, m_toAmpHours), r.AmpHours);
        to = name(copy(to, m_toTermination), m_terminations, r.TerminationIndex);
        to = writeText(copy(to, m_toComment), comment);
        to = writeText(copy(to, m_toLogFile), chargerLogFileName);
        if (entry.Id.isNull())
            return copy(to, m_logFileToEnd);
        to = writeId(copy(to, m_toId), entry.Id);
        to = number(copy(to, m_toChanged), entry.Changed);
        return copy(to, m_changedToEnd);
    }

private:
    static constexpr qsizetype NumberRoom = 48;
    static constexpr qsizetype IdRoom = 40;
    static constexpr qsizetype TagRoom = 64;

    struct Piece
    {
        Piece() = default;
        explicit Piece(const QByteArray &bytes) : Size(bytes.size())
        {
            Q_ASSERT(Size <= TagRoom);
            std::memcpy(Bytes, bytes.constData(), size_t(Size));
        }
        char Bytes[TagRoom] = {};
        qsizetype Size = 0;
    };

    static char *copy(char *to, const Piece &piece)
    {
        std::memcpy(to, piece.Bytes, TagRoom);
        return to + piece.Size;
    }
    static char *name(char *to, const NameContents &names, int index)
    {
        const qsizetype size = names.size(index);
        std::memcpy(to, names.data(index), size <= TagRoom ? size_t(TagRoom) : size_t(size));
        return to + size;
    }
    char *number(char *to, double value) const
    {
        return to + NumberText::formatExact(value, m_decimalPoint, to);
    }

    char m_decimalPoint;
    NameContents m_powerSources, m_chargers, m_batteries, m_terminations;
    Piece m_toDateTime, m_toPowerSource, m_toCharger, m_toBattery, m_toAmps, m_toAmpHours,
        m_toTermination, m_toComment, m_toLogFile, m_toId, m_toChanged, m_changedToEnd,
        m_logFileToEnd;
    qsizetype m_fixedRoom = 0;
};

// The deletions after the charges, oldest first, each as its id and the time of its deletion.
// `flush` (if given) takes the text whenever `pieceSize` bytes are made: after a Delete
// Selection of a million charges the deletions alone are over 100 MB. False: `flush` said stop.
bool appendDeleted(QByteArray &out, const TChargeLog &log, char decimalPoint,
                   const std::function<bool(QByteArray &)> &flush, qsizetype pieceSize)
{
    if (log.Deleted.isEmpty())
        return true;
    // The ids by address: the log does not change while it is written.
    std::vector<std::pair<double, const QUuid *>> deletions;
    deletions.reserve(size_t(log.Deleted.size()));
    for (auto it = log.Deleted.cbegin(); it != log.Deleted.cend(); ++it)
        deletions.emplace_back(it.value(), &it.key());
    std::sort(deletions.begin(), deletions.end(), [](const auto &a, const auto &b) {
        return a.first < b.first || (a.first == b.first && *a.second < *b.second);
    });
    const LeafTags idTags(3, "Id"), changedTags(3, "Changed");
    const QByteArray start("\n    <DeletedCharge>"), end("\n    </DeletedCharge>");
    out.append("\n  <Deleted>");
    char number[48];
    for (const auto &[when, id] : deletions) {
        char text[40];
        out.append(start).append(idTags.Start).append(text, writeId(text, *id) - text);
        out.append(idTags.End).append(changedTags.Start);
        out.append(number, NumberText::formatExact(when, decimalPoint, number));
        out.append(changedTags.End).append(end);
        if (flush && out.size() >= pieceSize) {
            if (!flush(out))
                return false;
            out.truncate(0);
        }
    }
    out.append("\n  </Deleted>");
    return true;
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

// `log` is sorted by date-time already.
void writeChargeLog(QByteArray &out, const TChargeLog &log, char decimalPoint,
                    const std::function<bool(QByteArray &)> &flush = {},
                    const Reuse *reuse = nullptr, Placement *placement = nullptr)
{
    // A sixteenth of the document between 64 KiB and 1 MiB goes to `flush` at a time (a
    // written charge takes about 400 bytes): big pieces write a big log faster, small ones keep
    // a small log's buffer small.
    const qsizetype PieceSize = qBound(
        qsizetype(64 * 1024), (qsizetype(log.ChargeStringList.count()) + log.Deleted.size()) * 25,
        qsizetype(1 << 20));
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
        out.append("\n  <Charges/>");
        out.append(BatteryCards::writeElement(log.Cards, decimalPoint));
        if (appendDeleted(out, log, decimalPoint, flush, PieceSize))
            out.append("\n</QorInsight>\n");
        return;
    }
    out.append("\n  <Charges>");
    const EntryWriter writer(log, decimalPoint);
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
    if (placement) {
        ReserveWithHugePages(placement->Places, size_t(charges.count()));
        placement->Places.assign(size_t(charges.count()), TWrittenPlace());
    }
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
        const qsizetype room = writer.room(entry);
        if (used + room > out.size())
            out.resize(qMax(used + room, qMax(PieceSize + room, 2 * out.size())));
        char *to = writer.write(out.data() + used, entry);
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
    out.append("\n  </Charges>");
    out.append(BatteryCards::writeElement(log.Cards, decimalPoint));
    if (appendDeleted(out, log, decimalPoint, flush, PieceSize))
        out.append("\n</QorInsight>\n");
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

// Letting go of a replaced file frees its pages and blocks, which for a big log takes as long
// as a quarter of the save (10 ms at 40 MB). The last reference to it is dropped on a thread
// of its own, so the caller does not wait for that.
void releaseInBackground(QFile &replaced)
{
    const int last = ::fcntl(replaced.handle(), F_DUPFD_CLOEXEC, 0);
    replaced.close();
    if (last < 0)
        return;
    try {
        std::thread([last] { ::close(last); }).detach();
    } catch (const std::system_error &) {
        ::close(last); // no thread to spare: the caller waits instead
    }
}

// Writes `log` (sorted) to `path` atomically; the file as written, or nothing when
// `beforeCommit` said no. `places` learns where each charge went.
std::optional<TWrittenLog> writeLogFile(const QString &path, const TChargeLog &log,
                                        char decimalPoint,
                                        const LogFile::BeforeCommitFn &beforeCommit,
                                        std::vector<TWrittenPlace> &places)
{
    QSaveFile file(path);
    // Unbuffered: the document comes in large pieces anyway, and a buffered write that stops
    // short reports success, leaving the rest to a flush whose failure the commit ignores -
    // the log would be replaced by a file cut short. Unbuffered, the write itself fails.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw QorLogError(
            QCoreApplication::translate("LogFile", "The log file %1 cannot be written: %2")
                .arg(path, file.errorString()));
    const auto failed = [&] {
        return QorLogError(
            QCoreApplication::translate("LogFile", "The log file %1 cannot be written: %2")
                .arg(path, file.errorString()));
    };
    // The file this save replaces, held open until the end (see releaseInBackground). When it
    // is still exactly the file the previous save wrote, the entries that have not changed
    // since are copied from it rather than formatted again.
    QFile previous(path);
    const bool previousOpen = previous.open(QIODevice::ReadOnly);
    Reuse reuse;
    if (previousOpen && canReuse(log, path, decimalPoint) &&
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
        return std::nullopt;
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
    places = std::move(placement.Places);
    if (previousOpen)
        releaseInBackground(previous);
    return now;
}

} // namespace

namespace LogFile {

QByteArray WriteChargeLog(TChargeLog &log)
{
    QByteArray bytes;
    bytes.reserve(log.ChargeStringList.count() * 400 + 512);
    log.ChargeStringList.sortByDateTime();
    writeChargeLog(bytes, log, numberDecimalPoint());
    return bytes;
}

void SaveChargeLog(const QString &path, TChargeLog &log)
{
    SaveChargeLog(path, log, {});
}

bool SaveChargeLog(const QString &path, TChargeLog &log, const BeforeCommitFn &beforeCommit)
{
    return SaveChargeLog(path, log, beforeCommit, {});
}

bool SaveChargeLog(const QString &path, TChargeLog &log, const BeforeCommitFn &beforeCommit,
                   const WriteRunner &runner)
{
    // Everything that changes the log happens here, on the caller's thread; the writing only
    // reads it.
    log.ChargeStringList.sortByDateTime();
    const char decimalPoint = numberDecimalPoint();
    std::optional<TWrittenLog> now;
    std::vector<TWrittenPlace> places;
    const auto write = [&] { now = writeLogFile(path, log, decimalPoint, beforeCommit, places); };
    if (runner)
        runner(write);
    else
        write();
    if (!now)
        return false;
    log.LastWritten = std::move(*now);
    log.ChargeStringList.setWrittenPlaces(places);
    return true;
}

bool FindWrittenPlaces(const QString &path, const TChargeLog &log, const TLogFileIdentity &identity,
                       TFoundPlaces &found)
{
    found = TFoundPlaces();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || TLogFileIdentity::ofOpenFile(file) != identity)
        return false;
    const char decimalPoint = numberDecimalPoint();
    const EntryWriter writer(log, decimalPoint);
    const TChargeList &charges = log.ChargeStringList;
    const quint32 generation = nextGeneration();
    std::vector<TWrittenPlace> places(size_t(charges.count()));
    // The file's charges come in the order of the list when QorLog wrote it; any other order
    // finds each charge by its id.
    QHash<QUuid, int> byId;
    bool indexed = false;
    int next = 0;
    const QByteArrayView startTag("\n    <Charge>"), endTag("\n    </Charge>"),
        idTag("\n      <Id>");
    constexpr qsizetype PieceSize = 4 << 20;
    constexpr qsizetype IdLength = 36;
    QByteArray buffer, formatted;
    qint64 bufferOffset = 0; // where buffer[0] lies in the file
    qsizetype at = 0;
    bool atEnd = false;
    // memmem(3) rather than QByteArray's search, which takes several times longer over
    // hundreds of megabytes.
    const auto find = [&buffer](QByteArrayView what, qsizetype from) -> qsizetype {
        if (from >= buffer.size())
            return -1;
        const void *found = ::memmem(buffer.constData() + from, size_t(buffer.size() - from),
                                     what.data(), size_t(what.size()));
        return found ? static_cast<const char *>(found) - buffer.constData() : -1;
    };
    for (;;) {
        // In a file QorLog wrote, each charge starts where the one before it ends.
        const qsizetype start = at + startTag.size() <= buffer.size() &&
                                        std::memcmp(buffer.constData() + at, startTag.data(),
                                                    size_t(startTag.size())) == 0
                                    ? at
                                    : find(startTag, at);
        qsizetype end = start < 0 ? -1 : find(endTag, start + startTag.size());
        if (end < 0) {
            if (atEnd)
                break;
            // The piece ends inside a charge (or a start tag): it is read on with the next.
            const qsizetype keep =
                start >= 0 ? start : qMax(at, buffer.size() - startTag.size() + 1);
            bufferOffset += keep;
            buffer.remove(0, keep);
            at = 0;
            if (buffer.size() > 64 * PieceSize)
                return false; // no log QorLog writes has a charge this long
            const qsizetype old = buffer.size();
            buffer.resize(old + PieceSize);
            const ssize_t n =
                ::pread(file.handle(), buffer.data() + old, size_t(PieceSize), bufferOffset + old);
            if (n < 0 && errno == EINTR) {
                buffer.truncate(old);
                continue;
            }
            if (n < 0)
                return false;
            buffer.truncate(old + n);
            atEnd = n == 0;
            continue;
        }
        end += endTag.size();
        at = end;
        const QByteArrayView element(buffer.constData() + start, end - start);
        const void *idFound =
            ::memmem(element.data(), size_t(element.size()), idTag.data(), size_t(idTag.size()));
        const qsizetype idAt =
            idFound ? static_cast<const char *>(idFound) - element.data() : qsizetype(-1);
        if (idAt < 0 || idAt + idTag.size() + IdLength > element.size())
            continue;
        const char *idText = element.data() + idAt + idTag.size();
        int index = -1;
        char expected[IdLength + 4];
        if (next < charges.count() && !charges.at(next).Id.isNull() &&
            std::memcmp(writeId(expected, charges.at(next).Id) - IdLength, idText,
                        size_t(IdLength)) == 0) {
            index = next; // the next charge of the list, as in a file QorLog wrote
        } else {
            const QUuid id = QUuid::fromString(QLatin1StringView(idText, IdLength));
            if (id.isNull())
                continue;
            if (!indexed) {
                byId.reserve(charges.count());
                for (int i = 0; i < charges.count(); ++i)
                    byId.insert(charges.at(i).Id, i);
                indexed = true;
            }
            index = byId.value(id, -1);
        }
        if (index < 0 || places[size_t(index)].Generation != 0)
            continue;
        next = index + 1;
        const TChargeEntry &entry = charges.at(index);
        formatted.resize(writer.room(entry));
        const qsizetype length = writer.write(formatted.data(), entry) - formatted.constData();
        if (length != element.size() || length > std::numeric_limits<qint32>::max() ||
            std::memcmp(formatted.constData(), element.data(), size_t(length)) != 0)
            continue;
        places[size_t(index)] = {bufferOffset + start, generation, qint32(length)};
        ++found.Found;
    }
    // Read whole from the file the log was read from: what it holds is still under that name
    // only while its identity stays, which the save checks again.
    if (TLogFileIdentity::ofOpenFile(file) != identity)
        return false;
    found.Written.Generation = generation;
    found.Written.Path = path;
    found.Written.Identity = identity;
    found.Written.DecimalPoint = decimalPoint;
    found.Written.Names[0] = log.PowerSourcesStringList.names();
    found.Written.Names[1] = log.ChargersStringList.names();
    found.Written.Names[2] = log.BatteriesStringList.names();
    found.Written.Names[3] = log.TerminationsStringList.names();
    found.Places = std::move(places);
    return true;
}

std::shared_ptr<QFile> HoldFile(const QString &path, const TLogFileIdentity &identity)
{
    if (!identity.Exists)
        return nullptr;
    std::shared_ptr<QFile> file(new QFile(path), [](QFile *held) {
        if (held->isOpen())
            releaseInBackground(*held);
        delete held;
    });
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
        TLogFileIdentity::ofOpenFile(*file) != identity)
        return nullptr;
    return file;
}

} // namespace LogFile
