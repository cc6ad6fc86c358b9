#include "ChargerLogParts.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace ChargerLog::Parts {

namespace {

bool contains(const QString &text, const char *word)
{
    return text.contains(QLatin1String(word));
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

} // namespace

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

double scaledValue(double value, double scale)
{
    return scale < 1 ? value / std::round(1 / scale) : value * scale;
}

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
    const qsizetype kept =
        std::max<qsizetype>(1, std::count_if(columns.begin(), columns.end(), [](const Column &c) {
                                return c.kind != Kind::Ignore;
                            }));
    while (lines.next(line)) {
        if (line.isBlank())
            continue;
        if ((log.seconds.size() + 1) * kept > MaximumColumnValues) {
            log.error = QCoreApplication::translate("ChargerLog", "%1 holds more than %2 values")
                            .arg(displayName(log.fileName))
                            .arg(MaximumColumnValues);
            return;
        }
        auto bad = [&](const QString &reason) { addBadLine(log, line.number, reason); };
        const int n = split(line.begin, line.end, separator, fields);
        int used = n;
        while (used > columns.size() && fields[used - 1].first == fields[used - 1].second)
            --used; // a separator at the end of the line
        if (used != columns.size()) {
            bad(QCoreApplication::translate("ChargerLog", "has %1 fields, the file %2")
                    .arg(used)
                    .arg(columns.size()));
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
                bad(QCoreApplication::translate("ChargerLog", "\"%1\" in column %2 is not a number")
                        .arg(textOf(fields[c].first, fields[c].second))
                        .arg(c + 1));
                good = false;
            } else if (outcome == NumberOutcome::Empty) {
                row[c] = NaN;
                if (c == timeColumn) {
                    bad(QCoreApplication::translate("ChargerLog", "has no time"));
                    good = false;
                }
            }
        }
        if (!good)
            continue;
        if (timeColumn < columns.size()) {
            if (row[timeColumn] < lastTime) {
                bad(QCoreApplication::translate("ChargerLog", "the time goes back"));
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
        log.error = QCoreApplication::translate("ChargerLog",
                                                "%1 has no column with the time of each sample")
                        .arg(displayName(log.fileName));
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

} // namespace ChargerLog::Parts
