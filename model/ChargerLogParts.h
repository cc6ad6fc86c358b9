#pragma once

// What the units reading charger logs share: the line scanner, number parsing, the columns of
// the two column formats, and the steps every format goes through.

#include "ChargerLog.h"
#include "ChargerLogDollar.h"

#include <cstring>
#include <limits>

namespace ChargerLog::Parts {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Below this current (A) a sample is taken as a rest.
constexpr double RestCurrent = 0.005;

QString displayName(const QString &fileName);

// One line of the file: [begin, end) without the line break, and its 1-based number.
struct Line
{
    const char *begin = nullptr;
    const char *end = nullptr;
    qint64 number = 0;
    bool isBlank() const
    {
        for (const char *p = begin; p < end; ++p)
            if (*p != ' ' && *p != '\t')
                return false;
        return true;
    }
};

// Walks the lines of a buffer; CR before LF and NUL bytes at a line's end are dropped.
class LineScanner
{
public:
    LineScanner(const char *begin, const char *end) : m_p(begin), m_end(end) {}
    bool next(Line &line)
    {
        if (m_p >= m_end)
            return false;
        const char *lineEnd =
            static_cast<const char *>(std::memchr(m_p, '\n', std::size_t(m_end - m_p)));
        const char *next = lineEnd ? lineEnd + 1 : m_end;
        if (!lineEnd)
            lineEnd = m_end;
        line.begin = m_p;
        line.end = lineEnd;
        while (line.end > line.begin && (line.end[-1] == '\r' || line.end[-1] == '\0'))
            --line.end;
        line.number = ++m_number;
        m_p = next;
        return true;
    }

private:
    const char *m_p;
    const char *m_end;
    qint64 m_number = 0;
};

bool isSpace(char c);
void trim(const char *&b, const char *&e);
// A whole number with an optional minus sign; false for anything else.
bool parseInteger(const char *b, const char *e, qint64 &value);

enum class NumberOutcome
{
    Number,
    Empty,
    Invalid
};

// A decimal number, with "," taken as the decimal point when `comma` is set; "h:mm:ss" as

// A decimal number, with "," taken as the decimal point when `comma` is set; "h:mm:ss" as
// seconds when `clock` is set.
NumberOutcome parseNumber(const char *b, const char *e, bool comma, bool clock, double &value);
QString textOf(const char *b, const char *e, int limit = 40);
// Bytes that no text log holds: control characters other than tab, CR and LF, and NUL
// except right before a line break (where some chargers put one).
bool looksBinary(const QByteArray &bytes, QString *what);

// What a column holds once its title or role is known; values are multiplied by `scale`.
enum class Kind
{
    Ignore,
    Time,
    UnixTime,
    Voltage,
    Current,
    Capacity,
    Temperature,
    Cell,
    Extra
};

struct Column
{
    Kind kind = Kind::Ignore;
    double scale = 1;
    bool scaleFromValues = false; // plain title: the unit follows from the values
    QString title;
    QVector<double> values;
};

// The values a column file may hold: memory grows with them, some 40 bytes each at the most.
constexpr qsizetype MaximumColumnValues = 3'000'000;

Column columnForRole(ColumnRole role);
// The column a title names: "Spannung [V]", "Current [mA]", "millis", "Zelle 3 [mV]".
Column columnForTitle(const QString &rawTitle);
// Milli-units are divided by 1000 rather than multiplied by 0.001, so that 15402 ms come out
// as 15.402 s exactly as written.
double scaledValue(double value, double scale);
char separatorOf(const char *b, const char *e);
// Splits at `separator`; returns the count of fields.
int split(const char *b, const char *e, char separator,
          QVector<QPair<const char *, const char *>> &out);
// Reads the rows after `from` into `columns`; the caller has set up their kinds.
void readRows(TChargerLog &log, LineScanner &lines, char separator, QVector<Column> &columns);
// Moves the columns' values into the log's series.
void takeColumns(TChargerLog &log, QVector<Column> &columns);
// The columns a row of titles names, and how many of them a charger log has.
int titleColumns(const Line &title, char separator, QVector<Column> &columns);

// Lists a line that could not be read (the first MaximumBadLinesKept) and counts it.
void addBadLine(TChargerLog &log, qint64 line, const QString &reason);

// Feeds the whole input to the parser; false when it could not be read (the log's error says
// why).
using DollarSource = std::function<bool(TDollarLineParser &)>;
// Reads "$" lines. The input is gone through twice: first to count the samples, so that the
// series take exactly their room, and to see whether its lines carry checksums.
void readDollar(TChargerLog &log, const DollarSource &source);
void readTitled(TChargerLog &log, const QByteArray &bytes);
void readUntitled(TChargerLog &log, const QByteArray &bytes, const QVector<ColumnRole> &chosen);

bool isActive(Phase p);
// A pause far longer than the usual step between samples: nothing is integrated across it.
double gapLimit(const QVector<double> &seconds);
// The counter where the file has none: the current integrated, restarting when another
// active phase begins, held during rests, negative while discharging.
void integrateCapacity(TChargerLog &log);

} // namespace ChargerLog::Parts
