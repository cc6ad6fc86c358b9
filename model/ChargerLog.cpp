#include "ChargerLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace ChargerLog {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Below this current (A) a sample is taken as a rest.
constexpr double RestCurrent = 0.005;

QString tr(const char *text)
{
    return QCoreApplication::translate("ChargerLog", text);
}

QString displayName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

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

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

void trim(const char *&b, const char *&e)
{
    while (b < e && isSpace(*b))
        ++b;
    while (e > b && isSpace(e[-1]))
        --e;
}

// A whole number with an optional minus sign; false for anything else.
bool parseInteger(const char *b, const char *e, qint64 &value)
{
    trim(b, e);
    bool negative = false;
    if (b < e && (*b == '-' || *b == '+')) {
        negative = *b == '-';
        ++b;
    }
    if (b == e || e - b > 15)
        return false;
    qint64 v = 0;
    for (; b < e; ++b) {
        if (*b < '0' || *b > '9')
            return false;
        v = v * 10 + (*b - '0');
    }
    value = negative ? -v : v;
    return true;
}

enum class NumberOutcome
{
    Number,
    Empty,
    Invalid
};

// A decimal number, with "," taken as the decimal point when `comma` is set; "h:mm:ss" as
// seconds when `clock` is set.
NumberOutcome parseNumber(const char *b, const char *e, bool comma, bool clock, double &value)
{
    trim(b, e);
    if (b == e)
        return NumberOutcome::Empty;
    if (*b == '+')
        ++b;
    if (e - b > 63 || b == e)
        return NumberOutcome::Invalid;
    char buffer[64];
    int n = 0;
    int colons = 0;
    for (const char *p = b; p < e; ++p) {
        char c = *p;
        if (c == ',' && comma)
            c = '.';
        if (c == ':')
            ++colons;
        buffer[n++] = c;
    }
    if (colons > 0) {
        if (!clock || colons > 2)
            return NumberOutcome::Invalid;
        double total = 0;
        const char *p = buffer;
        const char *end = buffer + n;
        for (int part = 0; part <= colons; ++part) {
            const char *stop = std::find(p, end, ':');
            double v = 0;
            const auto result = std::from_chars(p, stop, v);
            if (result.ec != std::errc() || result.ptr != stop || v < 0)
                return NumberOutcome::Invalid;
            total = total * 60 + v;
            p = stop + 1;
        }
        value = total;
        return NumberOutcome::Number;
    }
    const auto result = std::from_chars(buffer, buffer + n, value);
    if (result.ec != std::errc() || result.ptr != buffer + n || !std::isfinite(value))
        return NumberOutcome::Invalid;
    return NumberOutcome::Number;
}

QString textOf(const char *b, const char *e, int limit = 40)
{
    QString text = QString::fromUtf8(b, qMin<qsizetype>(e - b, limit));
    return e - b > limit ? text + QStringLiteral("…") : text;
}

// Bytes that no text log holds: control characters other than tab, CR and LF, and NUL
// except right before a line break (where some chargers put one).
bool looksBinary(const QByteArray &bytes, QString *what)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size >= 4 && data[0] == 'P' && data[1] == 'K' && data[2] < 9 && data[3] < 9) {
        *what = tr("is a ZIP container (a charger program's own project file?), not a text log");
        return true;
    }
    const qsizetype scanned = qMin<qsizetype>(size, 65536);
    qsizetype controls = 0;
    for (qsizetype i = 0; i < scanned; ++i) {
        const unsigned char c = data[i];
        if (c >= 0x20 || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == 0 && i + 1 < size && (data[i + 1] == '\r' || data[i + 1] == '\n'))
            continue;
        if (c == 0 && i + 1 == size)
            continue;
        ++controls;
    }
    if (controls >= 8 || controls * 100 > scanned) {
        *what = tr("holds binary data, not a text log");
        return true;
    }
    return false;
}

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

Column columnForRole(ColumnRole role)
{
    Column c;
    switch (role) {
    case ColumnRole::Ignore:
        break;
    case ColumnRole::Seconds:
        c.kind = Kind::Time;
        break;
    case ColumnRole::Milliseconds:
        c.kind = Kind::Time;
        c.scale = 0.001;
        break;
    case ColumnRole::UnixTime:
        c.kind = Kind::UnixTime;
        break;
    case ColumnRole::Volts:
        c.kind = Kind::Voltage;
        break;
    case ColumnRole::Millivolts:
        c.kind = Kind::Voltage;
        c.scale = 0.001;
        break;
    case ColumnRole::Amps:
        c.kind = Kind::Current;
        break;
    case ColumnRole::Milliamps:
        c.kind = Kind::Current;
        c.scale = 0.001;
        break;
    case ColumnRole::AmpHours:
        c.kind = Kind::Capacity;
        break;
    case ColumnRole::MilliampHours:
        c.kind = Kind::Capacity;
        c.scale = 0.001;
        break;
    case ColumnRole::Celsius:
        c.kind = Kind::Temperature;
        break;
    case ColumnRole::CellVolts:
        c.kind = Kind::Cell;
        break;
    case ColumnRole::Extra:
        c.kind = Kind::Extra;
        break;
    }
    return c;
}

bool contains(const QString &text, const char *word)
{
    return text.contains(QLatin1String(word));
}

// The column a title names: "Spannung [V]", "Current [mA]", "millis", "Zelle 3 [mV]".
Column columnForTitle(const QString &rawTitle)
{
    Column c;
    c.title = rawTitle.trimmed();
    if (c.title.size() >= 2 && c.title.front() == QLatin1Char('"') &&
        c.title.back() == QLatin1Char('"'))
        c.title = c.title.mid(1, c.title.size() - 2).trimmed();
    QString name = c.title.toLower();
    QString unit;
    const qsizetype bracket = name.indexOf(QLatin1Char('['));
    const qsizetype parenthesis = name.indexOf(QLatin1Char('('));
    const qsizetype open = bracket < 0       ? parenthesis
                           : parenthesis < 0 ? bracket
                                             : std::min(bracket, parenthesis);
    if (open >= 0) {
        const qsizetype close = name.indexOf(
            name.at(open) == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char(')'), open + 1);
        unit = name.mid(open + 1, close < 0 ? -1 : close - open - 1).trimmed();
        name = name.left(open).trimmed();
    }
    unit.remove(QLatin1Char(' '));
    unit.replace(QChar(0x00B0), QString()); // °C, °F
    unit.replace(QChar(0x00B5), QLatin1Char('u'));

    struct UnitKind
    {
        const char *unit;
        Kind kind;
        double scale;
    };
    static const UnitKind units[] = {
        {"s", Kind::Time, 1},        {"sec", Kind::Time, 1},
        {"sek", Kind::Time, 1},      {"ms", Kind::Time, 0.001},
        {"min", Kind::Time, 60},     {"h", Kind::Time, 3600},
        {"v", Kind::Voltage, 1},     {"mv", Kind::Voltage, 0.001},
        {"a", Kind::Current, 1},     {"ma", Kind::Current, 0.001},
        {"ah", Kind::Capacity, 1},   {"mah", Kind::Capacity, 0.001},
        {"c", Kind::Temperature, 1}, {"degc", Kind::Temperature, 1},
        {"w", Kind::Extra, 1},       {"mw", Kind::Extra, 1},
        {"wh", Kind::Extra, 1},      {"mwh", Kind::Extra, 1},
    };
    const UnitKind *unitKind = nullptr;
    for (const auto &u : units)
        if (unit == QLatin1String(u.unit))
            unitKind = &u;

    Kind byName = Kind::Extra;
    const bool isCell = contains(name, "cell") || contains(name, "zelle");
    const bool isSupply = contains(name, "input") || contains(name, "eingang") ||
                          contains(name, "supply") || contains(name, "versorgung");
    if (isCell)
        byName = Kind::Cell;
    else if (contains(name, "time") || contains(name, "zeit") || contains(name, "millis") ||
             contains(name, "dauer") || name == QLatin1String("t") ||
             name == QLatin1String("sec") || name == QLatin1String("seconds") ||
             name == QLatin1String("ms"))
        byName = Kind::Time;
    else if (contains(name, "temp"))
        byName = Kind::Temperature;
    else if (contains(name, "capacity") || contains(name, "kapazit") || contains(name, "ladung") ||
             name == QLatin1String("charge") || name == QLatin1String("cap") ||
             name == QLatin1String("mah") || name == QLatin1String("ah"))
        byName = Kind::Capacity;
    else if (!isSupply && (contains(name, "volt") || contains(name, "spannung") ||
                           name == QLatin1String("u") || name == QLatin1String("v")))
        byName = Kind::Voltage;
    else if (contains(name, "current") || contains(name, "strom") || name == QLatin1String("i") ||
             name == QLatin1String("amps"))
        byName = Kind::Current;

    if (unitKind) {
        // The unit decides; the name only tells a cell from the pack and a supply from both.
        c.kind = unitKind->kind;
        c.scale = unitKind->scale;
        if (c.kind == Kind::Voltage && (isCell || isSupply))
            c.kind = isCell ? Kind::Cell : Kind::Extra;
        if (c.kind == Kind::Extra)
            c.scale = 1; // kept as the file gives it
        if (c.kind != Kind::Cell && c.kind != Kind::Voltage && c.kind != Kind::Extra &&
            byName != Kind::Extra && byName != c.kind)
            c.kind = Kind::Extra; // "Strom [V]": the title contradicts itself
        return c;
    }
    c.kind = byName;
    if (byName == Kind::Time) {
        if (contains(name, "millis") || name == QLatin1String("ms"))
            c.scale = 0.001;
    } else if (byName == Kind::Voltage || byName == Kind::Current || byName == Kind::Capacity ||
               byName == Kind::Cell) {
        c.scaleFromValues = true;
    }
    return c;
}

double maxAbs(const QVector<double> &values)
{
    double m = 0;
    for (double v : values)
        if (std::isfinite(v))
            m = std::max(m, std::fabs(v));
    return m;
}

// Milli-units are divided by 1000 rather than multiplied by 0.001, so that 15402 ms come out
// as 15.402 s exactly as written.
double scaledValue(double value, double scale)
{
    return scale < 1 ? value / std::round(1 / scale) : value * scale;
}

QVector<double> scaled(const QVector<double> &values, double scale)
{
    QVector<double> out(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        out[i] = scaledValue(values[i], scale);
    return out;
}

bool anyFinite(const QVector<double> &values)
{
    return std::any_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Reports the file unreadable when bad lines are all there is or outnumber the good ones
// by more than one to four; a few bad lines amid good ones are only listed.
void judgeBadLines(TChargerLog &log)
{
    const qsizetype good = log.seconds.size();
    if (log.badLines.isEmpty() || (good > 0 && log.badLines.size() * 4 <= good))
        return;
    const TBadLine &first = log.badLines.first();
    log.error =
        tr("%1, line %2: %3").arg(displayName(log.fileName)).arg(first.line).arg(first.reason);
}

// Phases from the current where the file has none: a flow above RestCurrent either way, and
// when the current never turns negative, a falling voltage tells a discharge (analysers
// write the current they draw as a positive number).
void phasesFromCurrent(TChargerLog &log)
{
    const qsizetype n = log.seconds.size();
    log.phases.fill(Phase::Unknown, n);
    if (log.current.isEmpty())
        return;
    bool negative = false;
    QVector<qsizetype> active;
    for (qsizetype i = 0; i < n; ++i) {
        const double a = log.current[i];
        if (a < -RestCurrent)
            negative = true;
        if (std::isfinite(a) && std::fabs(a) > RestCurrent)
            active.append(i);
    }
    if (!negative && active.size() >= 4 && !log.voltage.isEmpty()) {
        const qsizetype tenth = std::max<qsizetype>(1, active.size() / 10);
        double head = 0, tail = 0;
        int headCount = 0, tailCount = 0;
        for (qsizetype k = 0; k < tenth; ++k) {
            const double h = log.voltage[active[k]];
            const double t = log.voltage[active[active.size() - 1 - k]];
            if (std::isfinite(h))
                head += h, ++headCount;
            if (std::isfinite(t))
                tail += t, ++tailCount;
        }
        if (headCount && tailCount && tail / tailCount < head / headCount)
            for (double &a : log.current)
                a = -a;
    }
    for (qsizetype i = 0; i < n; ++i) {
        const double a = log.current[i];
        if (!std::isfinite(a))
            continue;
        log.phases[i] = a > RestCurrent    ? Phase::Charge
                        : a < -RestCurrent ? Phase::Discharge
                                           : Phase::Rest;
    }
}

// A pause far longer than the usual step between samples: nothing is integrated across it.
double gapLimit(const QVector<double> &seconds)
{
    QVector<double> steps;
    const qsizetype n = seconds.size();
    const qsizetype stride = std::max<qsizetype>(1, n / 1000);
    for (qsizetype i = stride; i < n; i += stride)
        steps.append(seconds[i] - seconds[i - 1]);
    if (steps.isEmpty())
        return 60;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return std::max(60.0, 20 * steps[steps.size() / 2]);
}

bool isActive(Phase p)
{
    return p == Phase::Charge || p == Phase::Discharge;
}

// The counter where the file has none: the current integrated, restarting when another
// active phase begins, held during rests, negative while discharging.
void integrateCapacity(TChargerLog &log)
{
    const qsizetype n = log.seconds.size();
    if (log.current.isEmpty() || n == 0)
        return;
    const double limit = gapLimit(log.seconds);
    log.capacity.fill(0, n);
    log.capacityIntegrated = true;
    double sum = 0;
    Phase lastActive = Phase::Unknown;
    for (qsizetype i = 1; i < n; ++i) {
        const Phase p = log.phases[i];
        if (isActive(p)) {
            if (p != lastActive)
                sum = 0;
            lastActive = p;
            const double dt = log.seconds[i] - log.seconds[i - 1];
            const double a = (log.current[i] + log.current[i - 1]) / 2;
            if (dt <= limit && std::isfinite(a))
                sum += std::fabs(a) * dt / 3600;
        }
        log.capacity[i] = lastActive == Phase::Discharge ? -sum : sum;
    }
}

// ---- "$" lines ---------------------------------------------------------------------------

void readDevice(TChargerLog &log, const char *b, const char *e)
{
    const QString text = QString::fromLatin1(b + 1, e - b - 1);
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype colon = part.indexOf(QLatin1Char(':'));
        if (colon < 0)
            log.device.append({part.trimmed(), QString()});
        else
            log.device.append({part.left(colon).trimmed(), part.mid(colon + 1).trimmed()});
    }
}

void readDollar(TChargerLog &log, const QByteArray &bytes)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    Line line;
    constexpr int MaxFields = 24;
    qint64 f[MaxFields];
    int channel = 0;
    int cellColumns = 0;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
    bool seenContent = false;
    QVector<QVector<double>> cellColumnsValues;
    QVector<double> inner, outer;
    struct RawResistance
    {
        qint64 ms;
        qint64 total;
        QVector<qint64> cells;
    };
    QVector<RawResistance> resistances;
    // Room for a sample a line, filled in place and cut to the samples found at the end: the
    // series neither grow nor move while a large file is read.
    qsizetype lineCount = 1;
    for (const char *p = bytes.constBegin(), *end = bytes.constEnd();
         (p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)))); ++p)
        ++lineCount;
    QVector<QVector<double> *> series{&log.seconds,  &log.current, &log.voltage,
                                      &log.capacity, &inner,       &outer};
    for (QVector<double> *s : series)
        s->resize(lineCount);
    log.phases.resize(lineCount);
    double *seconds = log.seconds.data(), *current = log.current.data(),
           *voltage = log.voltage.data(), *capacity = log.capacity.data(), *innerAt = inner.data(),
           *outerAt = outer.data();
    Phase *phases = log.phases.data();
    QVector<double *> cellAt;
    qsizetype samples = 0;
    while (lines.next(line)) {
        if (line.isBlank())
            continue;
        const bool first = !seenContent;
        seenContent = true;
        if (*line.begin == '@' && first) {
            readDevice(log, line.begin, line.end);
            continue;
        }
        auto bad = [&](const QString &reason) { log.badLines.append({line.number, reason}); };
        if (*line.begin != '$') {
            bad(tr("\"%1\" is not a sample line (they begin with $)")
                    .arg(textOf(line.begin, line.end)));
            continue;
        }
        int n = 0;
        bool numbers = true;
        for (const char *p = line.begin + 1;; ++n) {
            const char *stop =
                static_cast<const char *>(std::memchr(p, ';', std::size_t(line.end - p)));
            if (!stop)
                stop = line.end;
            if (n >= MaxFields || !parseInteger(p, stop, f[n])) {
                numbers = false;
                break;
            }
            if (stop == line.end) {
                ++n;
                break;
            }
            p = stop + 1;
        }
        if (!numbers) {
            bad(n >= MaxFields ? tr("has more than %1 fields").arg(MaxFields)
                               : tr("field %1 is not a whole number").arg(n + 1));
            continue;
        }
        if (n < 3 || (f[0] != 1 && f[0] != 2)) {
            bad(tr("the channel is not 1 or 2"));
            continue;
        }
        if (channel != 0 && f[0] != channel) {
            bad(tr("belongs to channel %1, the log to channel %2").arg(f[0]).arg(channel));
            continue;
        }
        if (f[1] == 128) {
            const int cells = n - 5;
            if (cells < 1 || cells > 10) {
                bad(tr("a resistance line with %1 fields").arg(n));
                continue;
            }
            resistances.append({f[2], f[3], QVector<qint64>(f + 4, f + 4 + cells)});
            continue;
        }
        const int cells = n - 12;
        if (cells < 6 || cells > 10) {
            bad(tr("has %1 fields; a sample has 18 to 22").arg(n));
            continue;
        }
        if (channel == 0) {
            channel = int(f[0]);
            cellColumns = cells;
            cellColumnsValues.resize(cells);
            for (QVector<double> &values : cellColumnsValues) {
                values.resize(lineCount);
                cellAt.append(values.data());
                series.append(&values);
            }
            firstMs = lastMs = f[2];
        } else if (cells != cellColumns) {
            bad(tr("has %1 cell columns, the lines before %2").arg(cells).arg(cellColumns));
            continue;
        }
        if (f[2] < lastMs) {
            bad(tr("the time goes back"));
            continue;
        }
        lastMs = f[2];
        seconds[samples] = double(f[2] - firstMs) / 1000;
        phases[samples] = f[1] == 1   ? Phase::Charge
                          : f[1] == 2 ? Phase::Discharge
                          : f[1] == 4 ? Phase::Rest
                                      : Phase::Unknown;
        current[samples] = double(f[5]) / 100;
        voltage[samples] = double(f[7]) / 1000;
        capacity[samples] = double(f[8]) / 1000;
        innerAt[samples] = double(f[9]) / 10;
        outerAt[samples] = double(f[10]) / 10;
        for (int c = 0; c < cells; ++c)
            cellAt[c][samples] = double(f[11 + c]) / 1000;
        ++samples;
    }
    for (QVector<double> *s : series)
        s->resize(samples);
    log.phases.resize(samples);
    const auto nonZero = [](const QVector<double> &v) {
        return std::any_of(v.begin(), v.end(), [](double x) { return x != 0; });
    };
    if (nonZero(outer))
        log.temperature = outer;
    else if (nonZero(inner))
        log.temperature = inner;
    QVector<int> inUse;
    for (int c = 0; c < cellColumnsValues.size(); ++c)
        if (nonZero(cellColumnsValues[c])) {
            inUse.append(c);
            log.cells.append(cellColumnsValues[c]);
        }
    for (const auto &r : resistances) {
        TResistanceReading reading;
        reading.seconds = double(r.ms - firstMs) / 1000;
        reading.total = double(r.total);
        for (int c : inUse)
            if (c < r.cells.size())
                reading.cells.append(double(r.cells[c]));
        log.resistances.append(reading);
    }
}

// ---- columns -----------------------------------------------------------------------------

char separatorOf(const char *b, const char *e)
{
    int tabs = 0, semicolons = 0, commas = 0;
    for (const char *p = b; p < e; ++p) {
        tabs += *p == '\t';
        semicolons += *p == ';';
        commas += *p == ',';
    }
    if (tabs > 0 && tabs >= semicolons)
        return '\t';
    if (semicolons > 0)
        return ';';
    if (commas > 0)
        return ',';
    return 0;
}

// Splits at `separator` into at most `limit` ranges; returns the count found (may be more).
int split(const char *b, const char *e, char separator,
          QVector<QPair<const char *, const char *>> &out)
{
    out.clear();
    const char *p = b;
    for (;;) {
        const char *stop = static_cast<const char *>(std::memchr(p, separator, std::size_t(e - p)));
        if (!stop) {
            out.append(qMakePair(p, e));
            break;
        }
        out.append(qMakePair(p, stop));
        p = stop + 1;
    }
    return int(out.size());
}

// Reads the rows after `from` into `columns`; the caller has set up their kinds.
void readRows(TChargerLog &log, LineScanner &lines, char separator, QVector<Column> &columns)
{
    const bool comma = separator != ',';
    QVector<QPair<const char *, const char *>> fields;
    QVector<double> row(columns.size());
    const int timeColumn =
        int(std::find_if(
                columns.begin(), columns.end(),
                [](const Column &c) { return c.kind == Kind::Time || c.kind == Kind::UnixTime; }) -
            columns.begin());
    double lastTime = -std::numeric_limits<double>::infinity();
    Line line;
    while (lines.next(line)) {
        if (line.isBlank())
            continue;
        auto bad = [&](const QString &reason) { log.badLines.append({line.number, reason}); };
        const int n = split(line.begin, line.end, separator, fields);
        int used = n;
        while (used > columns.size() && fields[used - 1].first == fields[used - 1].second)
            --used; // a separator at the end of the line
        if (used != columns.size()) {
            bad(tr("has %1 fields, the file %2").arg(used).arg(columns.size()));
            continue;
        }
        bool good = true;
        for (int c = 0; c < columns.size() && good; ++c) {
            const Column &column = columns[c];
            if (column.kind == Kind::Ignore) {
                row[c] = NaN;
                continue;
            }
            const auto outcome = parseNumber(fields[c].first, fields[c].second, comma,
                                             column.kind == Kind::Time, row[c]);
            if (outcome == NumberOutcome::Invalid) {
                bad(tr("\"%1\" in column %2 is not a number")
                        .arg(textOf(fields[c].first, fields[c].second))
                        .arg(c + 1));
                good = false;
            } else if (outcome == NumberOutcome::Empty) {
                row[c] = NaN;
                if (c == timeColumn) {
                    bad(tr("has no time"));
                    good = false;
                }
            }
        }
        if (!good)
            continue;
        if (timeColumn < columns.size()) {
            if (row[timeColumn] < lastTime) {
                bad(tr("the time goes back"));
                continue;
            }
            lastTime = row[timeColumn];
        }
        for (int c = 0; c < columns.size(); ++c)
            columns[c].values.append(row[c]);
        log.seconds.append(0); // filled in below
    }
}

// Moves the columns' values into the log's series.
void takeColumns(TChargerLog &log, QVector<Column> &columns)
{
    // Units that follow from the values of plainly named columns.
    const Column *currentColumn = nullptr;
    for (Column &c : columns) {
        if (!c.scaleFromValues)
            continue;
        const double m = maxAbs(c.values);
        if (c.kind == Kind::Voltage || c.kind == Kind::Cell)
            c.scale = m > 100 ? 0.001 : 1;
        else if (c.kind == Kind::Current)
            c.scale = m > 50 ? 0.001 : 1;
        if (c.kind == Kind::Current)
            currentColumn = &c;
    }
    for (Column &c : columns)
        if (c.scaleFromValues && c.kind == Kind::Capacity)
            c.scale = currentColumn ? currentColumn->scale : (maxAbs(c.values) > 100 ? 0.001 : 1);

    bool haveTime = false;
    for (Column &c : columns) {
        switch (c.kind) {
        case Kind::Ignore:
            break;
        case Kind::Time:
        case Kind::UnixTime:
            if (haveTime) {
                log.extras.append({c.title, c.values});
                break;
            }
            haveTime = true;
            if (!c.values.isEmpty()) {
                const double first = c.values.first();
                // Seconds of this century are Unix time, whatever the title says.
                if (c.kind == Kind::Time && c.scale == 1 && first > 946684800 &&
                    first < 4102444800.0)
                    c.kind = Kind::UnixTime;
                if (c.kind == Kind::UnixTime)
                    log.start = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(first * 1000)));
                for (qsizetype i = 0; i < c.values.size(); ++i)
                    log.seconds[i] = scaledValue(c.values[i] - first, c.scale);
            }
            break;
        case Kind::Voltage:
        case Kind::Current:
        case Kind::Capacity:
        case Kind::Temperature: {
            QVector<double> &target = c.kind == Kind::Voltage    ? log.voltage
                                      : c.kind == Kind::Current  ? log.current
                                      : c.kind == Kind::Capacity ? log.capacity
                                                                 : log.temperature;
            if (target.isEmpty() && anyFinite(c.values))
                target = scaled(c.values, c.scale);
            else
                log.extras.append({c.title, c.values});
            break;
        }
        case Kind::Cell:
            if (std::any_of(c.values.begin(), c.values.end(), [](double v) { return v != 0; }))
                log.cells.append(scaled(c.values, c.scale));
            break;
        case Kind::Extra:
            log.extras.append({c.title, c.values});
            break;
        }
    }
    if (!haveTime && log.error.isEmpty())
        log.error =
            tr("%1 has no column with the time of each sample").arg(displayName(log.fileName));
    if (!log.capacity.isEmpty())
        for (double &v : log.capacity)
            if (!std::isfinite(v))
                v = NaN;
}

// The columns a row of titles names, and how many of them a charger log has.
int titleColumns(const Line &title, char separator, QVector<Column> &columns)
{
    QVector<QPair<const char *, const char *>> fields;
    split(title.begin, title.end, separator, fields);
    while (fields.size() > 1 && fields.last().first == fields.last().second)
        fields.removeLast();
    columns.clear();
    int known = 0;
    for (const auto &f : fields) {
        columns.append(columnForTitle(QString::fromUtf8(f.first, f.second - f.first)));
        known += columns.last().kind != Kind::Extra;
    }
    return known;
}

void readTitled(TChargerLog &log, const QByteArray &bytes)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    Line first, title;
    do {
        lines.next(first);
    } while (first.isBlank());
    char separator = separatorOf(first.begin, first.end);
    QVector<Column> columns;
    if (separator == 0 || titleColumns(first, separator, columns) == 0) {
        // A line that only names the device (in a few words, or with a comma), then the titles.
        log.device.append({tr("Device"), textOf(first.begin, first.end, 200).trimmed()});
        do {
            if (!lines.next(title)) {
                log.error = separator == 0
                                ? tr("%1 has no column titles").arg(displayName(log.fileName))
                                : tr("%1, line %2: none of the column titles is one a charger "
                                     "log has")
                                      .arg(displayName(log.fileName))
                                      .arg(first.number);
                return;
            }
        } while (title.isBlank());
        separator = separatorOf(title.begin, title.end);
        if (separator == 0) {
            log.error = tr("%1, line %2: not a row of column titles")
                            .arg(displayName(log.fileName))
                            .arg(title.number);
            return;
        }
        if (titleColumns(title, separator, columns) == 0) {
            log.error = tr("%1, line %2: none of the column titles is one a charger log has")
                            .arg(displayName(log.fileName))
                            .arg(title.number);
            return;
        }
    }
    readRows(log, lines, separator, columns);
    takeColumns(log, columns);
}

// The roles that can be told from the values alone: a rising first column is the time, in
// Unix seconds when it lies in this century. The others are left to the caller (Ignore).
QVector<ColumnRole> guessRoles(const QVector<QVector<double>> &values)
{
    QVector<ColumnRole> roles(values.size(), ColumnRole::Ignore);
    if (values.isEmpty() || values[0].size() < 2)
        return roles;
    const QVector<double> &t = values[0];
    int rising = 0;
    for (qsizetype i = 1; i < t.size(); ++i)
        rising += t[i] >= t[i - 1];
    if (rising * 10 >= (t.size() - 1) * 9 && *std::max_element(t.begin(), t.end()) > t.first()) {
        const bool unix = t.first() > 946684800 && t.first() < 4102444800.0;
        roles[0] = unix ? ColumnRole::UnixTime : ColumnRole::Seconds;
    }
    return roles;
}

void readUntitled(TChargerLog &log, const QByteArray &bytes, const QVector<ColumnRole> &chosen)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    Line first;
    do {
        lines.next(first);
    } while (first.isBlank());
    const char separator = separatorOf(first.begin, first.end);
    if (separator == 0) {
        log.error =
            tr("%1, line %2: only one column").arg(displayName(log.fileName)).arg(first.number);
        return;
    }
    QVector<QPair<const char *, const char *>> fields;
    const int count = split(first.begin, first.end, separator, fields);

    // First every column as an extra, to guess from the values.
    QVector<Column> columns(count);
    for (int c = 0; c < count; ++c) {
        columns[c].kind = Kind::Extra;
        columns[c].title = tr("Column %1").arg(c + 1);
    }
    const auto probe = [&](QVector<Column> &cols) {
        LineScanner again(bytes.constBegin(), bytes.constEnd());
        log.seconds.clear();
        log.badLines.clear();
        readRows(log, again, separator, cols);
    };
    probe(columns);
    QVector<QVector<double>> values;
    for (const Column &c : columns)
        values.append(c.values);
    QVector<ColumnRole> roles = guessRoles(values);
    for (int c = 0; c < count && c < chosen.size(); ++c)
        roles[c] = chosen[c];
    log.columnRoles = roles;
    log.rolesNeeded =
        std::any_of(roles.begin() + std::min<qsizetype>(chosen.size(), count), roles.end(),
                    [](ColumnRole r) { return r == ColumnRole::Ignore; });
    QVector<Column> typed(count);
    for (int c = 0; c < count; ++c) {
        typed[c] = columnForRole(roles[c]);
        typed[c].title = columns[c].title;
    }
    probe(typed);
    takeColumns(log, typed);
}

Format detectFormat(const QByteArray &bytes, Line &first)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    while (lines.next(first)) {
        if (first.isBlank())
            continue;
        const char *p = first.begin;
        while (p < first.end && isSpace(*p))
            ++p;
        if (*p == '$' || *p == '@')
            return Format::Dollar;
        if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.')
            return Format::Untitled;
        return Format::Titled;
    }
    return Format::None;
}

} // namespace

QString roleName(ColumnRole role)
{
    switch (role) {
    case ColumnRole::Ignore:
        return tr("(not used)");
    case ColumnRole::Seconds:
        return tr("Time [s]");
    case ColumnRole::Milliseconds:
        return tr("Time [ms]");
    case ColumnRole::UnixTime:
        return tr("Date-time (Unix seconds)");
    case ColumnRole::Volts:
        return tr("Voltage [V]");
    case ColumnRole::Millivolts:
        return tr("Voltage [mV]");
    case ColumnRole::Amps:
        return tr("Current [A]");
    case ColumnRole::Milliamps:
        return tr("Current [mA]");
    case ColumnRole::AmpHours:
        return tr("Capacity [Ah]");
    case ColumnRole::MilliampHours:
        return tr("Capacity [mAh]");
    case ColumnRole::Celsius:
        return tr("Temperature [°C]");
    case ColumnRole::CellVolts:
        return tr("Cell voltage [V]");
    case ColumnRole::Extra:
        return tr("Other");
    }
    return QString();
}

QString formatName(Format format)
{
    switch (format) {
    case Format::None:
        return QString();
    case Format::Dollar:
        return tr("$ lines");
    case Format::Titled:
        return tr("titled columns");
    case Format::Untitled:
        return tr("untitled columns");
    }
    return QString();
}

TChargerLog read(const QByteArray &input, const QString &fileName, const QVector<ColumnRole> &roles)
{
    TChargerLog log;
    log.fileName = fileName;
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = QByteArray::fromRawData(input.constData() + 3, input.size() - 3);
    QString what;
    Line first;
    if (looksBinary(bytes, &what)) {
        log.error = tr("%1 %2").arg(displayName(fileName), what);
        return log;
    }
    log.format = detectFormat(bytes, first);
    switch (log.format) {
    case Format::None:
        log.error = tr("%1 is empty").arg(displayName(fileName));
        return log;
    case Format::Dollar:
        readDollar(log, bytes);
        break;
    case Format::Titled:
        readTitled(log, bytes);
        break;
    case Format::Untitled:
        readUntitled(log, bytes, roles);
        break;
    }
    if (log.error.isEmpty())
        judgeBadLines(log);
    if (log.error.isEmpty() && log.seconds.isEmpty())
        log.error = tr("%1 holds no samples").arg(displayName(fileName));
    if (log.format != Format::Dollar) {
        phasesFromCurrent(log);
        if (log.capacity.isEmpty())
            integrateCapacity(log);
    }
    if (!log.error.isEmpty() && log.format != Format::Untitled)
        log.format = Format::None;
    return log;
}

TChargerLog readFile(const QString &path, const QVector<ColumnRole> &roles)
{
    TChargerLog log;
    log.fileName = path;
    const QFileInfo info(path);
    if (!info.exists()) {
        log.error = tr("%1 does not exist").arg(displayName(path));
        return log;
    }
    if (!info.isFile()) {
        log.error = tr("%1 is not a regular file").arg(displayName(path));
        return log;
    }
    if (info.size() > MaximumFileSize) {
        log.error =
            tr("%1 is larger than %2 MiB").arg(displayName(path)).arg(MaximumFileSize >> 20);
        return log;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        log.error = tr("%1 cannot be read: %2").arg(displayName(path), file.errorString());
        return log;
    }
    // A buffer of the file's size (one of the largest allowed would be mapped and unmapped for
    // every file); the size is checked again while reading, as the file may grow meanwhile.
    QByteArray bytes = file.read(info.size() + 1);
    if (bytes.size() > info.size() && file.error() == QFileDevice::NoError)
        bytes += file.read(MaximumFileSize + 1 - bytes.size());
    if (bytes.size() > MaximumFileSize) {
        log.error =
            tr("%1 is larger than %2 MiB").arg(displayName(path)).arg(MaximumFileSize >> 20);
        return log;
    }
    if (file.error() != QFileDevice::NoError) {
        log.error = tr("%1 cannot be read: %2").arg(displayName(path), file.errorString());
        return log;
    }
    return read(bytes, path, roles);
}

TChargerLogFigures figures(const TChargerLog &log)
{
    TChargerLogFigures f;
    f.format = log.format;
    const qsizetype n = log.seconds.size();
    f.samples = int(n);
    if (!log.ok() || n == 0)
        return f;
    if (log.start.isValid())
        f.start = log.start;
    f.duration = log.seconds.last() - log.seconds.first();

    const bool haveCurrent = !log.current.isEmpty();
    const bool haveVoltage = !log.voltage.isEmpty();
    const bool counter = !log.capacity.isEmpty() && !log.capacityIntegrated;
    const double limit = gapLimit(log.seconds);
    TPhaseFigures phase[2];
    bool seen[2] = {false, false};
    double counterSum[2] = {0, 0}, integrated[2] = {0, 0}, energy[2] = {0, 0};
    for (qsizetype i = 0; i < n; ++i) {
        const Phase p = log.phases[i];
        if (!isActive(p))
            continue;
        const int k = p == Phase::Charge ? 0 : 1;
        seen[k] = true;
        if (i == 0)
            continue;
        const double dt = log.seconds[i] - log.seconds[i - 1];
        if (dt <= limit) {
            phase[k].seconds += dt;
            if (haveCurrent) {
                const double a = (log.current[i] + log.current[i - 1]) / 2;
                if (std::isfinite(a)) {
                    integrated[k] += std::fabs(a) * dt / 3600;
                    if (haveVoltage) {
                        const double v = (log.voltage[i] + log.voltage[i - 1]) / 2;
                        if (std::isfinite(v))
                            energy[k] += std::fabs(a * v) * dt / 3600;
                    }
                }
            }
        }
        if (counter) {
            const double now = std::fabs(log.capacity[i]);
            const double before = std::fabs(log.capacity[i - 1]);
            if (std::isfinite(now) && std::isfinite(before)) {
                // A counter that falls has started again from zero with a new phase.
                counterSum[k] += now >= before ? now - before : now;
            }
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (!seen[k])
            continue;
        if (counter)
            phase[k].counterAmpHours = counterSum[k];
        if (haveCurrent)
            phase[k].integratedAmpHours = integrated[k];
        if (haveCurrent && haveVoltage)
            phase[k].energy = energy[k];
        (k == 0 ? f.charge : f.discharge) = phase[k];
    }
    const double charged = f.charge ? f.charge->ampHours() : 0;
    const double discharged = f.discharge ? f.discharge->ampHours() : 0;
    if (charged > 0 || discharged > 0)
        f.mainPhase = charged >= discharged ? Phase::Charge : Phase::Discharge;

    const auto highest = [](const QVector<double> &values) -> std::optional<double> {
        std::optional<double> m;
        for (double v : values)
            if (std::isfinite(v) && (!m || v > *m))
                m = v;
        return m;
    };
    f.highestVoltage = highest(log.voltage);
    f.highestTemperature = highest(log.temperature);
    for (qsizetype i = log.voltage.size() - 1; i >= 0; --i)
        if (std::isfinite(log.voltage[i])) {
            f.finalVoltage = log.voltage[i];
            break;
        }
    f.cells = int(log.cells.size());
    if (f.cells >= 2) {
        qsizetype at = n - 1;
        if (f.charge)
            for (at = n - 1; at > 0 && log.phases[at] != Phase::Charge; --at) {
            }
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (const auto &cell : log.cells)
            if (std::isfinite(cell[at])) {
                lo = std::min(lo, cell[at]);
                hi = std::max(hi, cell[at]);
            }
        if (hi >= lo)
            f.cellSpread = std::round((hi - lo) * 1000 * 10) / 10;
    }
    if (!log.resistances.isEmpty())
        f.lastResistance = log.resistances.last();
    return f;
}

namespace {

QString fixed(double value, int decimals)
{
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0; // no "-0.000"
    return QString::number(value, 'f', decimals);
}

// One decimal, or none when it would be ".0".
QString compact(double value)
{
    const QString text = fixed(value, 1);
    return text.endsWith(QLatin1String(".0")) ? text.chopped(2) : text;
}

} // namespace

QString figuresText(const TChargerLogFigures &f)
{
    // The names stay English here (the command line prints them); they are marked for
    // translation so that a window can show them in the user's language.
    QString text;
    const auto line = [&text](const char *name, const QString &value) {
        text += QLatin1String(name) + QLatin1String(": ") + value + QLatin1Char('\n');
    };
    line(QT_TRANSLATE_NOOP("ChargerLog", "Format"), formatName(f.format));
    line(QT_TRANSLATE_NOOP("ChargerLog", "Samples"), QString::number(f.samples));
    if (f.start)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Start"),
             f.start->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    line(QT_TRANSLATE_NOOP("ChargerLog", "Duration"), compact(f.duration) + QLatin1String(" s"));
    if (f.charge)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Charged"),
             fixed(f.charge->ampHours(), 3) + QLatin1String(" Ah"));
    if (f.discharge)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Discharged"),
             fixed(f.discharge->ampHours(), 3) + QLatin1String(" Ah"));
    const std::optional<TPhaseFigures> &main =
        f.mainPhase == Phase::Discharge ? f.discharge : f.charge;
    if (main && main->energy)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Energy"),
             fixed(*main->energy, 3) + QLatin1String(" Wh"));
    if (f.highestVoltage)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Highest voltage"),
             fixed(*f.highestVoltage, 3) + QLatin1String(" V"));
    if (f.finalVoltage)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Final voltage"),
             fixed(*f.finalVoltage, 3) + QLatin1String(" V"));
    if (f.highestTemperature)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Highest temperature"),
             fixed(*f.highestTemperature, 1) + QStringLiteral(" °C"));
    if (f.cells > 0)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Cells"), QString::number(f.cells));
    if (f.cellSpread)
        line(QT_TRANSLATE_NOOP("ChargerLog", "Cell spread"),
             compact(*f.cellSpread) + QLatin1String(" mV"));
    if (f.lastResistance) {
        QString value = compact(f.lastResistance->total) + QStringLiteral(" mΩ");
        if (!f.lastResistance->cells.isEmpty()) {
            QStringList cells;
            for (double c : f.lastResistance->cells)
                cells << compact(c);
            value += QStringLiteral(" (cells %1 mΩ)").arg(cells.join(QLatin1String(", ")));
        }
        line(QT_TRANSLATE_NOOP("ChargerLog", "Internal resistance"), value);
    }
    return text;
}

QByteArray samplesCsv(const TChargerLog &log)
{
    QByteArray out = "Seconds,Phase,Voltage,Current,Capacity,Temperature";
    for (int c = 1; c <= log.cells.size(); ++c)
        out += ",Cell" + QByteArray::number(c);
    out += "\r\n";
    const qsizetype n = log.seconds.size();
    out.reserve(out.size() + n * (40 + 8 * log.cells.size()));
    // Twelve significant digits: more than any device measures, and no 0.49960000000000004
    // from a value converted from milliamps.
    const auto number = [&](const QVector<double> &series, qsizetype i) {
        out += ',';
        if (i < series.size() && std::isfinite(series[i]))
            out += QByteArray::number(series[i], 'g', 12);
    };
    for (qsizetype i = 0; i < n; ++i) {
        out += QByteArray::number(log.seconds[i], 'g', 12);
        switch (log.phases.value(i)) {
        case Phase::Charge:
            out += ",charge";
            break;
        case Phase::Discharge:
            out += ",discharge";
            break;
        case Phase::Rest:
            out += ",rest";
            break;
        case Phase::Unknown:
            out += ',';
            break;
        }
        number(log.voltage, i);
        number(log.current, i);
        number(log.capacity, i);
        number(log.temperature, i);
        for (const auto &cell : log.cells)
            number(cell, i);
        out += "\r\n";
    }
    return out;
}

TDraftRecord draftRecord(const TChargerLog &log, const QDateTime &fileModified)
{
    TDraftRecord draft;
    const TChargerLogFigures f = figures(log);
    if (f.mainPhase == Phase::Unknown)
        return draft;
    draft.valid = true;
    draft.discharge = f.mainPhase == Phase::Discharge;
    const TPhaseFigures &phase = draft.discharge ? *f.discharge : *f.charge;
    draft.ampHours = draft.discharge ? -phase.ampHours() : phase.ampHours();
    // A log's time column may run for ages; the milliseconds are kept within what a number of
    // them can hold (some 30,000 years).
    const double durationMs = std::clamp(f.duration * 1000, 0.0, 1e15);
    draft.dateTime = f.start ? *f.start : fileModified.addMSecs(-qint64(durationMs));
    QVector<double> amps;
    for (qsizetype i = 0; i < log.current.size(); ++i)
        if (log.phases[i] == f.mainPhase && std::isfinite(log.current[i]))
            amps.append(std::fabs(log.current[i]));
    if (!amps.isEmpty()) {
        std::nth_element(amps.begin(), amps.begin() + amps.size() / 2, amps.end());
        draft.nominalAmps = std::round(amps[amps.size() / 2] * 10) / 10;
    }
    return draft;
}

std::optional<TChargerLogFigures> TFiguresCache::figuresFor(const QString &path)
{
    const QFileInfo info(path);
    const QString key = info.absoluteFilePath();
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    {
        QMutexLocker locker(&m_mutex);
        const auto it = m_entries.constFind(key);
        if (it != m_entries.constEnd() && it->size == size && it->modified == modified)
            return it->figures;
    }
    // Read without the lock, so that other threads reading other files need not wait.
    const TChargerLog log = readFile(key);
    Entry entry;
    entry.size = size;
    entry.modified = modified;
    if (log.ok())
        entry.figures = figures(log);
    QMutexLocker locker(&m_mutex);
    m_entries.insert(key, entry);
    return entry.figures;
}

void TFiguresCache::clear()
{
    QMutexLocker locker(&m_mutex);
    m_entries.clear();
}

int TFiguresCache::size() const
{
    QMutexLocker locker(&m_mutex);
    return int(m_entries.size());
}

} // namespace ChargerLog
