#include "CsvFile.h"

#include "CsvImport.h"
#include "NumberText.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <cmath>

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

void appendField(QString &line, const QString &field, QChar delimiter)
{
    const bool quote = field.contains(delimiter) || field.contains(QLatin1Char('"')) ||
                       field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'));
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
    for (const int i : order) {
        const TChargeRecord &r = list.record(i);
        if (shownOnly && !log.isShown(r))
            continue;
        QString logFileName, comment;
        TChargeList::SplitChargeText(list.text(i), logFileName, comment);
        CsvFile::AppendRow(text,
                           {FormatIsoDateTime(r.DateTime), number(r.DateTime),
                            log.PowerSourcesStringList.name(r.PowerSourceIndex),
                            log.ChargersStringList.name(r.ChargerIndex),
                            log.BatteriesStringList.name(r.BatteryIndex),
                            number(r.NominalChargeAmps), number(r.AmpHours),
                            log.TerminationsStringList.name(r.TerminationIndex), comment,
                            logFileName},
                           format.Delimiter);
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
                if (!closed && row.Error.isEmpty())
                    row.Error = tr("the quote opened in line %1 is never closed").arg(opened);
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
        throw QorLogError(
            QCoreApplication::translate(
                "CsvFile", "The file is larger than %1 MiB, the most QorLog imports at once")
                .arg(MaxFileSize / (1024 * 1024)));
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QorLogError(QCoreApplication::translate("CsvFile", "The file %1 cannot be read: %2")
                              .arg(path, file.errorString()));
    if (file.size() > MaxFileSize)
        throw QorLogError(
            QCoreApplication::translate(
                "CsvFile", "The file is larger than %1 MiB, the most QorLog imports at once")
                .arg(MaxFileSize / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw QorLogError(QCoreApplication::translate("CsvFile", "The file %1 cannot be read: %2")
                              .arg(path, file.errorString()));
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
        s.TextEncoding = decoder.hasError() ? Encoding::Latin1 : Encoding::Utf8;
    }
    const QString all = text(s.TextEncoding);
    // A sample of the first records decides; the whole file is split only once, for the import.
    const QStringView sample = QStringView(all).left(64 * 1024);

    // The delimiter that splits the sample into the most even records of more than one field;
    // between two nearly as even, the one giving more fields.
    double bestShare = -1;
    int bestFields = 0;
    QList<Row> bestRows;
    for (const QChar candidate : {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')}) {
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

    // A comma between digits means a decimal comma, unless the comma is the delimiter.
    s.DecimalPoint = QLatin1Char('.');
    if (s.Delimiter != QLatin1Char(',')) {
        static const QRegularExpression comma(QStringLiteral("^[-+]?\\d*,\\d+([eE][-+]?\\d+)?$"));
        static const QRegularExpression point(QStringLiteral("^[-+]?\\d*\\.\\d+([eE][-+]?\\d+)?$"));
        int commas = 0, points = 0;
        for (const Row &row : std::as_const(bestRows))
            for (const QString &field : row.Fields) {
                const QString trimmed = field.trimmed();
                commas += comma.match(trimmed).hasMatch() ? 1 : 0;
                points += point.match(trimmed).hasMatch() ? 1 : 0;
            }
        if (commas > points)
            s.DecimalPoint = QLatin1Char(',');
    }
}

} // namespace CsvFile
