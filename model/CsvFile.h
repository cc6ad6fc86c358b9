#pragma once

#include "ChargeLog.h"

#include <QByteArray>
#include <QChar>
#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

class QIODevice;

// Comma-separated files: the log written as one row per charge, and CSV text read back into
// rows, with what can be told about a file from its bytes (delimiter, header, decimal
// separator, encoding).
namespace CsvFile {

// The columns a written file has, in this order; their titles are the header row.
QStringList exportColumnTitles();

struct ExportFormat
{
    QChar Delimiter = QLatin1Char(',');
    QChar DecimalPoint = QLatin1Char('.');
    // ";" and the decimal separator of `locale`, for spreadsheets set up that way.
    static ExportFormat regional(const QLocale &locale = QLocale());
};

// Writes the header and one row per charge (the shown ones, or all), oldest first: RFC 4180
// quoting, CRLF line ends, UTF-8 without a byte order mark. Throws QorLogError when the device
// cannot be written.
void WriteCsv(QIODevice &device, const TChargeLog &log, const ExportFormat &format, bool shownOnly);
QByteArray ToCsv(const TChargeLog &log, const ExportFormat &format, bool shownOnly);
// The same into a file, atomically. Returns the number of rows written.
int SaveCsv(const QString &path, const TChargeLog &log, const ExportFormat &format, bool shownOnly);

// Appends one record: fields quoted as RFC 4180 asks (a delimiter, a quote or a line break in
// them), then CRLF.
void AppendRow(QString &out, const QStringList &fields, QChar delimiter = QLatin1Char(','));

// The wall-clock date and time a day count stands for, to the second, without any time zone:
// the whole days count from 1899-12-30, the fraction is the time of day.
void SplitDayCount(double days, QDate &date, QTime &time);
double JoinDayCount(const QDate &date, int msecsOfDay);
QString FormatIsoDateTime(double days);

enum class Encoding
{
    Utf8,
    Utf8WithBom,
    Latin1
};

struct Settings
{
    QChar Delimiter = QLatin1Char(',');
    bool HasHeader = true;
    QChar DecimalPoint = QLatin1Char('.');
    Encoding TextEncoding = Encoding::Utf8;
};

// One record of the file: its fields and the line it starts on (from 1). A record that cannot
// be split cleanly (a quote not closed, text after a closing quote) carries the reason.
struct Row
{
    int Line = 0;
    QStringList Fields;
    QString Error;
};

// Files above this size are refused rather than read (about a million charges).
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// A CSV file in memory, refused when empty, binary or too large (QorLogError).
class Document
{
public:
    static Document fromBytes(const QByteArray &bytes);
    static Document fromFile(const QString &path);

    const Settings &detected() const { return m_detected; }
    // The text under `encoding`, without a byte order mark.
    QString text(Encoding encoding) const;
    // All records under `settings` (the header row included), blank lines left out.
    QList<Row> rows(const Settings &settings, int maxRows = -1) const;

private:
    void detect();

    QByteArray m_bytes;
    Settings m_detected;
};

// Splits CSV text into records; at most `maxRows` when not negative.
QList<Row> SplitRows(QStringView text, QChar delimiter, int maxRows = -1);

} // namespace CsvFile
