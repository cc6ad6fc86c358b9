#pragma once

#include "ChargeLog.h"
#include "CsvFile.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QVector>

// Charges read from a CSV file: which column holds which field, the rows read into charges
// by the same rules as a charge entered by hand, and the rows that cannot be read.
namespace CsvImport {

// What a column of the file holds. A charge's date comes from DayCount, DateTime, or Date
// (joined with Time when there is one), in that order of preference.
enum class Column
{
    Ignore,
    DateTime,
    DayCount,
    Date,
    Time,
    PowerSource,
    Charger,
    Battery,
    NominalChargeAmps,
    AmpHours,
    Termination,
    Comment,
    ChargerLogFileName
};
constexpr int ColumnKinds = int(Column::ChargerLogFileName) + 1;

// The name of a kind as the dialog offers it ("(ignore)" for Ignore).
QString columnCaption(Column column);
// The kind a header title names: the export's titles in any letter case (blanks, "_" and
// "-" left out), and Date, Time, Amps, Ah. Ignore for any other title.
Column columnForTitle(const QString &title);
// The mapping a file suggests: from its header row, or for a file without one, by position
// when it has the export's ten columns or the log file's nine fields.
QList<Column> guessMapping(const QList<CsvFile::Row> &rows, bool hasHeader);

// One charge read from a row, its values as the store takes them.
struct Charge
{
    int Line = 0;
    double DateTime = 0;
    QString PowerSource, Charger, Battery;
    double NominalChargeAmps = 0;
    double AmpHours = 0;
    QString Termination, Comment, ChargerLogFileName;
};

struct RowError
{
    int Line = 0;
    QString Reason;
};

// What an import would do: the charges it adds, the rows it cannot read, and how many rows
// equal a charge already in the log (same date-time to the second, battery, amps and
// amp-hours) and are left out; a row equal in that way to an earlier row of the same file is
// left out as well, counted in Repeated.
struct Plan
{
    QVector<Charge> Charges;
    QVector<RowError> Errors;
    int Duplicates = 0;
    int Rows = 0;     // data rows looked at
    int Repeated = 0; // rows left out as repeats of an earlier row of the file
};

// The order the dates of the data rows are read in: `settings.Dates` unless that is Detect;
// else from the dates with "/" that the rows are dated by: DayFirst when one of them has a
// first number above 12 (or none has a "/"), MonthFirst when one has a second number above 12,
// Detect when each could be read either way (the file does not say).
CsvFile::DateOrder DateOrderOf(const QList<CsvFile::Row> &rows, const CsvFile::Settings &settings,
                               const QList<Column> &mapping);

// Reads every data row. Throws QorLogError when no column gives the date, or when the order
// of the dates is Detect and DateOrderOf cannot tell it.
Plan MakePlan(const QList<CsvFile::Row> &rows, const CsvFile::Settings &settings,
              const QList<Column> &mapping, const TChargeLog &log,
              const QLocale &locale = QLocale());

// MakePlan with the settings detected in the document and the mapping its rows suggest.
Plan MakeDetectedPlan(const CsvFile::Document &document, const TChargeLog &log);

// Parses a date (with or without time) the way the import reads it: ISO 8601,
// "yyyy-mm-dd hh:mm[:ss]", numbers with a four-digit year ("dd.mm.yyyy", "dd-mm-yyyy", and
// "dd/mm/yyyy" or "mm/dd/yyyy" as `order` says) with an optional time "hh:mm[:ss]" (AM/PM
// taken), the locale's short date and time, or a day count. False when none. With Detect, a
// date with "/" whose day and month could be swapped is not read.
bool ParseDateTime(const QString &text, QChar decimalPoint, const QLocale &locale, double &days,
                   CsvFile::DateOrder order);
bool ParseDateTime(const QString &text, QChar decimalPoint, const QLocale &locale, double &days);
// A time of day: "hh:mm[:ss]", the locale's short time, or a fraction of a day.
bool ParseTime(const QString &text, QChar decimalPoint, const QLocale &locale, int &msecs);
// A number with `decimalPoint` as the one separator taken; finite values only.
bool ParseNumber(const QString &text, QChar decimalPoint, double &value);

// The plan's charges as log entries: names trimmed and resolved in the log's name lists (new
// names are appended to them), keys from NextKey. The charges are not added to the list.
QVector<TChargeEntry> MakeEntries(TChargeLog &log, const QVector<Charge> &charges);

// The whole import from the command line: reads `csvPath` with the detected settings and the
// suggested mapping, and when every row can be read, adds the new charges to the log and
// writes it as the window does: holding the log's lock from the look at the log to the
// rename, with the day's backup (beside the log, else under `fallbackBackupParent`). Returns
// the plan; throws QorLogError when the file cannot be used or the log cannot be read or
// written. When the plan has errors, nothing is added or written.
Plan ImportIntoLogFile(const QString &csvPath, const QString &logPath,
                       const QString &fallbackBackupParent = QString());

// A summary for the user: "Imported 3 charges, skipped 1 already in the log." (and "1 row
// repeated in the file" when there are such rows) with the rows that could not be read, one a
// line.
QString Summary(const Plan &plan, bool imported);

} // namespace CsvImport
