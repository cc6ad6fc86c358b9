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
    // Texts a spreadsheet would take for a formula are written with a leading "'" (see
    // MakeInert); without it every text is written exactly as it is, but for one that starts
    // with "'" before a formula start: it gets one more, so that it reads back as itself.
    bool InertFormulas = false;
    // ";" and the decimal separator of `locale`, for spreadsheets set up that way: with inert
    // formulas, since this is the file made to be opened in one.
    static ExportFormat regional(const QLocale &locale = QLocale());
};

// A text that a spreadsheet opening the file would take for a formula: one starting with "=",
// "+", "-", "@", a tab or a carriage return.
bool StartsLikeFormula(QStringView text);
// Such a text (or one that is a "'" before such a text, so that it reads back as itself) with
// a "'" put before it, as spreadsheets take it for plain text; any other text as it is.
QString MakeInert(const QString &text);
// The reverse: one leading "'" taken off a text whose rest is a formula, or starts with "'"
// before one.
QString FromInert(const QString &text);

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
    Latin1,
    Windows1252 // what a file that is not UTF-8 is taken for
};

// Bytes as Windows code page 1252: Latin-1 but for 0x80 to 0x9F, which hold "€", quotes,
// dashes and a few letters (the five codes it leaves free stay U+0081, U+008D, ...).
QString DecodeWindows1252(QByteArrayView bytes);

// How a date of numbers only with a four-digit year is read when "/" separates them: day
// first (31/12/2025) or month first (12/31/2025). With "." or "-" the day always comes first.
enum class DateOrder
{
    Detect, // from the file's dates, when one of them has a day above 12
    DayFirst,
    MonthFirst
};

struct Settings
{
    QChar Delimiter = QLatin1Char(',');
    bool HasHeader = true;
    QChar DecimalPoint = QLatin1Char('.');
    Encoding TextEncoding = Encoding::Utf8;
    DateOrder Dates = DateOrder::Detect;
};

// One record of the file: its fields and the line it starts on (from 1). A record that cannot
// be split cleanly (a quote not closed, text after a closing quote) carries the reason.
struct Row
{
    int Line = 0;
    QStringList Fields;
    QString Error;
    quint64 Quoted = 0; // bit i set: field i (of the first 64) was written in quotes

    bool isQuoted(qsizetype field) const { return field < 64 && (Quoted >> field & 1); }
};

// Files above this size are refused rather than read (about a million charges).
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// A CSV file in memory, refused when empty, binary or too large (QorLogError). Only a regular
// file is read, never a device, a pipe or a socket, and its size counts as it is read: a file
// that grows past MaxFileSize meanwhile is refused as well.
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

// Splits CSV text into records; at most `maxRows` when not negative. A quote that is not
// closed by the end of the text makes its record end with its line, the rest of that line its
// field, and the records after it are read as if it were not there.
QList<Row> SplitRows(QStringView text, QChar delimiter, int maxRows = -1);

} // namespace CsvFile
