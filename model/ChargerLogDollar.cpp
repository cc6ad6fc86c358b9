#include "ChargerLogParts.h"

#include <algorithm>

namespace ChargerLog::Parts {

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

} // namespace ChargerLog::Parts
