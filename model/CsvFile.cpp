#include "CsvFile.h"

#include "CsvImport.h"
#include "NumberText.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <cmath>
#include <iterator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CsvFile", text);
}

const QDate &epoch()
{
    static const QDate day(1899, 12, 30);
    return day;
}

void appendField(QString &line, const QString &field, QChar delimiter, bool alwaysQuote = false)
{
    const bool quote = alwaysQuote || field.contains(delimiter) ||
                       field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n')) ||
                       field.contains(QLatin1Char('\r'));
    if (!quote) {
        line += field;
        return;
    }
    line += QLatin1Char('"');
    line += QString(field).replace(QLatin1Char('"'), QLatin1String("\"\""));
    line += QLatin1Char('"');
}

// A locale whose only part in use is its decimal separator.
QLocale localeWithPoint(QChar point)
{
    return point == QLatin1Char(',') ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
}

bool isBinary(const QByteArray &bytes)
{
    qsizetype control = 0;
    for (const char c : bytes) {
        if (c == '\0')
            return true;
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            ++control;
    }
    return control * 100 > bytes.size();
}

// A formula start after any number of "'": what MakeInert guards and FromInert restores.
bool needsInertMark(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char('\''))
        ++i;
    return CsvFile::StartsLikeFormula(text.sliced(i));
}

QString notRegularFile(const QString &path)
{
    return QCoreApplication::translate("CsvFile", "%1 is not a regular file").arg(path);
}

QString tooLarge()
{
    return QCoreApplication::translate(
               "CsvFile", "The file is larger than %1 MiB, the most QorLog imports at once")
        .arg(CsvFile::MaxFileSize / (1024 * 1024));
}

QString cannotRead(const QString &path, const QString &reason)
{
    return QCoreApplication::translate("CsvFile", "The file %1 cannot be read: %2")
        .arg(path, reason);
}

} // namespace

void CsvFile::AppendRow(QString &out, const QStringList &fields, QChar delimiter)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += delimiter;
        appendField(out, fields.at(i), delimiter);
    }
    out += QLatin1String("\r\n");
}

namespace CsvFile {

bool StartsLikeFormula(QStringView text)
{
    if (text.isEmpty())
        return false;
    switch (text.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
        return true;
    default:
        return false;
    }
}

QString MakeInert(const QString &text)
{
    return needsInertMark(text) ? QLatin1Char('\'') + text : text;
}

QString FromInert(const QString &text)
{
    if (text.startsWith(QLatin1Char('\'')) && needsInertMark(QStringView(text).sliced(1)))
        return text.mid(1);
    return text;
}

QString DecodeWindows1252(QByteArrayView bytes)
{
    // 0x80 to 0x9F; the codes the code page leaves free keep their Latin-1 meaning.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        *out++ = QChar(u >= 0x80 && u < 0xA0 ? high[u - 0x80] : char16_t(u));
    }
    return text;
}

QStringList exportColumnTitles()
{
    return {QStringLiteral("DateTime"),    QStringLiteral("DayCount"),
            QStringLiteral("PowerSource"), QStringLiteral("Charger"),
            QStringLiteral("Battery"),     QStringLiteral("NominalChargeAmps"),
            QStringLiteral("AmpHours"),    QStringLiteral("Termination"),
            QStringLiteral("Comment"),     QStringLiteral("ChargerLogFileName")};
}

ExportFormat ExportFormat::regional(const QLocale &locale)
{
    ExportFormat format;
    format.Delimiter = QLatin1Char(';');
    const QString point = locale.decimalPoint();
    format.DecimalPoint = point.size() == 1 ? point.at(0) : QLatin1Char('.');
    format.InertFormulas = true;
    return format;
}

void SplitDayCount(double days, QDate &date, QTime &time)
{
    date = QDate();
    time = QTime();
    if (!std::isfinite(days) || std::fabs(days) > 1.0e9)
        return;
    // To the millisecond first, as the table shows it, then the seconds as a clock shows them.
    double whole = std::trunc(days);
    qint64 msecs = std::llround(std::fabs(days - whole) * 86400000.0);
    if (msecs >= 86400000) {
        msecs -= 86400000;
        whole += days >= 0 ? 1 : -1;
    }
    date = epoch().addDays(qint64(whole));
    time = QTime::fromMSecsSinceStartOfDay(int(msecs - msecs % 1000));
}

double JoinDayCount(const QDate &date, int msecsOfDay)
{
    const qint64 days = epoch().daysTo(date);
    const double fraction = double(msecsOfDay) / 86400000.0;
    // Before the epoch the whole days count down while the time of day still counts up.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QString FormatIsoDateTime(double days)
{
    QDate date;
    QTime time;
    SplitDayCount(days, date, time);
    if (!date.isValid())
        return {};
    return QStringLiteral("%1-%2-%3T%4")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(time.toString(QStringLiteral("HH:mm:ss")));
}

void WriteCsv(QIODevice &device, const TChargeLog &log, const ExportFormat &format, bool shownOnly)
{
    const QLocale numbers = localeWithPoint(format.DecimalPoint);
    const auto number = [&](double value) { return NumberText::formatExact(value, numbers); };
    const TChargeList &list = log.ChargeStringList;
    // Oldest first, equal date-times in the order the log holds them.
    std::vector<int> order(size_t(list.count()));
    for (int i = 0; i < list.count(); ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return list.record(a).DateTime < list.record(b).DateTime;
    });

    QString text;
    CsvFile::AppendRow(text, exportColumnTitles(), format.Delimiter);
    const auto flush = [&] {
        const QByteArray bytes = text.toUtf8();
        if (device.write(bytes) != bytes.size())
            throw QorLogError(tr("The CSV file cannot be written: %1").arg(device.errorString()));
        text.clear();
    };
    // The columns holding texts, as against numbers and dates.
    static constexpr bool isText[] = {false, false, true, true, true,
                                      false, false, true, true, true};
    for (const int i : order) {
        const TChargeRecord &r = list.record(i);
        if (shownOnly && !log.isShown(r))
            continue;
        QString logFileName, comment;
        TChargeList::SplitChargeText(list.text(i), logFileName, comment);
        const QString fields[] = {FormatIsoDateTime(r.DateTime),
                                  number(r.DateTime),
                                  log.PowerSourcesStringList.name(r.PowerSourceIndex),
                                  log.ChargersStringList.name(r.ChargerIndex),
                                  log.BatteriesStringList.name(r.BatteryIndex),
                                  number(r.NominalChargeAmps),
                                  number(r.AmpHours),
                                  log.TerminationsStringList.name(r.TerminationIndex),
                                  comment,
                                  logFileName};
        static_assert(std::size(fields) == std::size(isText));
        for (size_t f = 0; f < std::size(fields); ++f) {
            if (f > 0)
                text += format.Delimiter;
            // A text made inert is quoted, which is how the import tells it from one that
            // merely starts with "'". A text that already starts with "'" before a formula
            // start gets one more in the plain export too, or the import would take one off.
            const QString &field = fields[f];
            const bool inert = isText[f] && needsInertMark(field) &&
                               (format.InertFormulas || field.startsWith(QLatin1Char('\'')));
            appendField(text, inert ? MakeInert(field) : field, format.Delimiter, inert);
        }
        text += QLatin1String("\r\n");
        if (text.size() > (1 << 18))
            flush();
    }
    flush();
}

QByteArray ToCsv(const TChargeLog &log, const ExportFormat &format, bool shownOnly)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    WriteCsv(buffer, log, format, shownOnly);
    return bytes;
}

int SaveCsv(const QString &path, const TChargeLog &log, const ExportFormat &format, bool shownOnly)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw QorLogError(
            tr("The CSV file %1 cannot be written: %2").arg(path, file.errorString()));
    WriteCsv(file, log, format, shownOnly);
    if (!file.commit())
        throw QorLogError(
            tr("The CSV file %1 cannot be written: %2").arg(path, file.errorString()));
    return shownOnly ? log.shownCount() : log.ChargeStringList.count();
}

QList<Row> SplitRows(QStringView text, QChar delimiter, int maxRows)
{
    QList<Row> rows;
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    const auto atLineEnd = [&](qsizetype at) {
        return at < n && (text[at] == QLatin1Char('\n') || text[at] == QLatin1Char('\r'));
    };
    const auto skipLineEnd = [&] {
        if (i < n && text[i] == QLatin1Char('\r'))
            ++i;
        if (i < n && text[i] == QLatin1Char('\n'))
            ++i;
        ++line;
    };
    while (i < n && (maxRows < 0 || rows.size() < maxRows)) {
        Row row;
        row.Line = line;
        while (true) {
            QString field;
            if (i < n && text[i] == QLatin1Char('"')) {
                if (row.Fields.size() < 64)
                    row.Quoted |= quint64(1) << row.Fields.size();
                const qsizetype quoteAt = i;
                const int opened = line;
                bool closed = false;
                for (++i; i < n; ++i) {
                    const QChar c = text[i];
                    if (c == QLatin1Char('"')) {
                        if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                            field += c;
                            ++i;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    if (c == QLatin1Char('\n') ||
                        (c == QLatin1Char('\r') &&
                         (i + 1 >= n || text[i + 1] != QLatin1Char('\n'))))
                        ++line;
                    field += c;
                }
                if (!closed) {
                    // Nothing closes it: rather than the rest of the file, the field is the rest
                    // of its line, and the lines after it are records of their own. (Every
                    // quote after it comes in pairs, so no later field runs to the end again.)
                    i = quoteAt + 1;
                    line = opened;
                    const qsizetype start = i;
                    while (i < n && !atLineEnd(i))
                        ++i;
                    field = text.mid(start, i - start).toString();
                    if (row.Error.isEmpty())
                        row.Error =
                            opened == row.Line
                                ? tr("a quote is not closed")
                                : tr("the quote opened in line %1 is not closed").arg(opened);
                }
                if (closed && i < n && text[i] != delimiter && !atLineEnd(i)) {
                    if (row.Error.isEmpty())
                        row.Error = tr("text follows a closing quote");
                    while (i < n && text[i] != delimiter && !atLineEnd(i))
                        field += text[i++];
                }
            } else {
                const qsizetype start = i;
                while (i < n && text[i] != delimiter && !atLineEnd(i))
                    ++i;
                field = text.mid(start, i - start).toString();
            }
            row.Fields.append(field);
            if (i < n && text[i] == delimiter) {
                ++i;
                continue;
            }
            break;
        }
        if (i < n)
            skipLineEnd();
        // A blank line is no record.
        if (row.Fields.size() == 1 && row.Fields.front().isEmpty() && row.Error.isEmpty())
            continue;
        rows.append(row);
    }
    return rows;
}

Document Document::fromBytes(const QByteArray &bytes)
{
    if (bytes.trimmed().isEmpty())
        throw QorLogError(QCoreApplication::translate("CsvFile", "The file is empty"));
    if (bytes.size() > MaxFileSize)
        throw QorLogError(tooLarge());
    if (isBinary(bytes))
        throw QorLogError(QCoreApplication::translate(
            "CsvFile", "The file is not a text file: it holds binary data"));
    Document document;
    document.m_bytes = bytes;
    document.detect();
    return document;
}

Document Document::fromFile(const QString &path)
{
    QFile file;
#ifdef Q_OS_UNIX
    // Opened without waiting (a pipe would wait for a writer), then looked at: what is open is
    // what is read, whatever the name points to a moment later.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw QorLogError(cannotRead(path, qt_error_string(errno)));
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        throw QorLogError(notRegularFile(path));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw QorLogError(cannotRead(path, file.errorString()));
    }
#else
    if (!QFileInfo(path).isFile())
        throw QorLogError(notRegularFile(path));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QorLogError(cannotRead(path, file.errorString()));
#endif
    // The size counts as it is read: the file may grow meanwhile.
    QByteArray bytes;
    bytes.reserve(qsizetype(qBound<qint64>(0, file.size(), MaxFileSize) + 1));
    constexpr qint64 chunk = 1 << 20;
    while (true) {
        const qsizetype had = bytes.size();
        bytes.resize(had + chunk);
        const qint64 got = file.read(bytes.data() + had, chunk);
        if (got < 0)
            throw QorLogError(cannotRead(path, file.errorString()));
        bytes.resize(had + qsizetype(got));
        if (bytes.size() > MaxFileSize)
            throw QorLogError(QStringLiteral("%1: %2").arg(path, tooLarge()));
        if (got == 0)
            break;
    }
    try {
        return fromBytes(bytes);
    } catch (const QorLogError &error) {
        throw QorLogError(QStringLiteral("%1: %2").arg(path, error.message()));
    }
}

QString Document::text(Encoding encoding) const
{
    switch (encoding) {
    case Encoding::Latin1:
        return QString::fromLatin1(m_bytes);
    case Encoding::Windows1252:
        return DecodeWindows1252(m_bytes);
    case Encoding::Utf8:
    case Encoding::Utf8WithBom:
        break;
    }
    QByteArrayView bytes(m_bytes);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    return QString::fromUtf8(bytes);
}

QList<Row> Document::rows(const Settings &settings, int maxRows) const
{
    return SplitRows(text(settings.TextEncoding), settings.Delimiter, maxRows);
}

void Document::detect()
{
    Settings &s = m_detected;
    if (m_bytes.startsWith("\xEF\xBB\xBF")) {
        s.TextEncoding = Encoding::Utf8WithBom;
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString decoded = decoder.decode(m_bytes);
        s.TextEncoding = decoder.hasError() ? Encoding::Windows1252 : Encoding::Utf8;
    }
    const QString all = text(s.TextEncoding);
    // A sample of the first records decides; the whole file is split only once, for the import.
    const QStringView sample = QStringView(all).left(64 * 1024);

    // The delimiter that splits the sample into the most even records of more than one field;
    // between two nearly as even, the one giving more fields.
    // A file QorLog wrote says so in its first line, whatever its texts hold.
    double bestShare = -1;
    int bestFields = 0;
    QList<Row> bestRows;
    bool own = false;
    for (const QChar candidate : {QLatin1Char(','), QLatin1Char(';')}) {
        const QList<Row> first = SplitRows(sample, candidate, 1);
        if (!first.isEmpty() && first.front().Fields == exportColumnTitles()) {
            own = true;
            s.Delimiter = candidate;
            bestRows = SplitRows(sample, candidate, 50);
            break;
        }
    }
    for (const QChar candidate : {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')}) {
        if (own)
            break;
        const QList<Row> rows = SplitRows(sample, candidate, 50);
        QHash<int, int> counts;
        for (const Row &row : rows)
            ++counts[int(row.Fields.size())];
        int fields = 1, most = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.key() > 1 && (it.value() > most || (it.value() == most && it.key() > fields))) {
                fields = it.key();
                most = it.value();
            }
        if (fields < 2 || rows.isEmpty())
            continue;
        const double share = double(most) / double(rows.size());
        if (share > bestShare + 0.2 || (share > bestShare - 0.2 && fields > bestFields)) {
            bestShare = share;
            bestFields = fields;
            s.Delimiter = candidate;
            bestRows = rows;
        }
    }
    if (bestRows.isEmpty())
        bestRows = SplitRows(sample, s.Delimiter, 50);

    // A first row naming a known column is a header; so is a first row without a single
    // number above rows with numbers.
    const auto isNumber = [](const QString &field) {
        double value;
        return NumberText::parseNumber(field, value) ||
               field.contains(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d")));
    };
    s.HasHeader = false;
    if (!bestRows.isEmpty()) {
        bool named = false, numbersInFirst = false, numbersBelow = false;
        for (const QString &field : bestRows.front().Fields) {
            named = named || CsvImport::columnForTitle(field) != CsvImport::Column::Ignore;
            numbersInFirst = numbersInFirst || isNumber(field);
        }
        for (qsizetype r = 1; r < bestRows.size(); ++r)
            for (const QString &field : bestRows.at(r).Fields)
                numbersBelow = numbersBelow || isNumber(field);
        s.HasHeader = named || (!numbersInFirst && numbersBelow);
    }

    // A comma between digits means a decimal comma, unless the comma is the delimiter. Where
    // the titles name the columns of numbers, only those count: texts may hold anything.
    s.DecimalPoint = QLatin1Char('.');
    QList<bool> counted;
    if (s.HasHeader && !bestRows.isEmpty()) {
        bool any = false;
        for (const QString &title : bestRows.front().Fields) {
            const CsvImport::Column column = CsvImport::columnForTitle(title);
            counted.append(column == CsvImport::Column::DayCount ||
                           column == CsvImport::Column::NominalChargeAmps ||
                           column == CsvImport::Column::AmpHours);
            any = any || counted.back();
        }
        if (!any)
            counted.clear();
    }
    if (s.Delimiter != QLatin1Char(',')) {
        static const QRegularExpression comma(QStringLiteral("^[-+]?\\d*,\\d+([eE][-+]?\\d+)?$"));
        static const QRegularExpression point(QStringLiteral("^[-+]?\\d*\\.\\d+([eE][-+]?\\d+)?$"));
        int commas = 0, points = 0;
        for (const Row &row : std::as_const(bestRows))
            for (qsizetype f = 0; f < row.Fields.size(); ++f) {
                if (!counted.isEmpty() && !counted.value(f))
                    continue;
                const QString trimmed = row.Fields.at(f).trimmed();
                commas += comma.match(trimmed).hasMatch() ? 1 : 0;
                points += point.match(trimmed).hasMatch() ? 1 : 0;
            }
        if (commas > points)
            s.DecimalPoint = QLatin1Char(',');
    }
}

} // namespace CsvFile
