#include "LogFile.h"

#include "BatteryCards.h"
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
#include <string>
#include <system_error>
#include <thread>

namespace {

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

// The deletions after the charges, oldest first, each as its id and the time of its deletion.
void appendDeleted(QByteArray &out, const TChargeLog &log, char decimalPoint)
{
    if (log.Deleted.isEmpty())
        return;
    std::vector<std::pair<double, QUuid>> deletions;
    deletions.reserve(size_t(log.Deleted.size()));
    for (auto it = log.Deleted.cbegin(); it != log.Deleted.cend(); ++it)
        deletions.emplace_back(it.value(), it.key());
    std::sort(deletions.begin(), deletions.end());
    const LeafTags idTags(3, "Id"), changedTags(3, "Changed");
    const QByteArray start("\n    <DeletedCharge>"), end("\n    </DeletedCharge>");
    out.append("\n  <Deleted>");
    char number[48];
    for (const auto &[when, id] : deletions) {
        char text[40];
        out.append(start).append(idTags.Start).append(text, writeId(text, id) - text);
        out.append(idTags.End).append(changedTags.Start);
        out.append(number, NumberText::formatExact(when, decimalPoint, number));
        out.append(changedTags.End).append(end);
    }
    out.append("\n  </Deleted>");
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
    // A sixteenth of the document between 64 KiB and 1 MiB goes to `flush` at a time (a
    // written charge takes about 400 bytes): big pieces write a big log faster, small ones keep
    // a small log's buffer small.
    const qsizetype PieceSize = qBound(
        qsizetype(64 * 1024), qsizetype(log.ChargeStringList.count()) * 25, qsizetype(1 << 20));
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
        out.append("\n  <Charges/>");
        out.append(BatteryCards::writeElement(log.Cards, decimalPoint));
        appendDeleted(out, log, decimalPoint);
        out.append("\n</QorInsight>\n");
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
        logFileTags(3, "ChargerLogFileName"), idTags(3, "Id"), changedTags(3, "Changed");
    const QByteArray chargeStart("\n    <Charge>"), chargeEnd("\n    </Charge>");
    constexpr qsizetype NumberRoom = 48;
    constexpr qsizetype IdRoom = 40;
    const qsizetype fixedRoom = chargeStart.size() + chargeEnd.size() + dateTimeTags.size() +
                                powerSourceTags.size() + chargerTags.size() + batteryTags.size() +
                                ampsTags.size() + ampHoursTags.size() + terminationTags.size() +
                                commentTags.size() + logFileTags.size() + idTags.size() + IdRoom +
                                changedTags.size() + 4 * NumberRoom;
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
        if (!entry.Id.isNull()) {
            to = writeBytes(to, idTags.Start);
            to = writeId(to, entry.Id);
            to = writeBytes(to, idTags.End);
            to = writeNumber(to, changedTags, entry.Changed);
        }
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
    out.append("\n  </Charges>");
    out.append(BatteryCards::writeElement(log.Cards, decimalPoint));
    appendDeleted(out, log, decimalPoint);
    out.append("\n</QorInsight>\n");
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
    if (previousOpen)
        releaseInBackground(previous);
    return true;
}

} // namespace LogFile
