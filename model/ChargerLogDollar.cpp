#include "ChargerLogDollar.h"
#include "ChargerLogParts.h"

#include <QCoreApplication>

#include <algorithm>

namespace ChargerLog {

using namespace Parts;

TDollarLineParser::TDollarLineParser(LineHandler onLine, BadLineHandler onBadLine)
    : m_onLine(std::move(onLine)), m_onBadLine(std::move(onBadLine))
{
}

template <typename Reason> void TDollarLineParser::bad(const Reason &reason)
{
    // Past the first lines the reason is not worth its words: a flood of bad lines costs little.
    if (m_onBadLine)
        m_onBadLine(m_lineNumber, m_bad < MaximumBadLinesKept ? reason() : QString());
    ++m_bad;
}

void TDollarLineParser::feed(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    const char *lineStart = p;
    while (p < end) {
        const char c = *p;
        if (c != '\n' && c != '\r' && c != '$') {
            ++p;
            continue;
        }
        if (c == '$' && p == lineStart && m_pending.isEmpty() && !m_overlong) {
            ++p; // a "$" that begins its line
            continue;
        }
        endLine(lineStart, p);
        if (c == '$') {
            lineStart = p++;
            m_sinceLineEnd = 1;
            continue;
        }
        if (c == '\n')
            ++m_lineNumber;
        m_sinceLineEnd = 0;
        lineStart = ++p;
    }
    // The unfinished line waits for the next bytes; past the longest line it is dropped.
    m_sinceLineEnd += end - lineStart;
    if (!m_overlong) {
        m_pending.append(lineStart, end - lineStart);
        if (m_pending.size() > MaxLineLength) {
            m_overlong = true;
            m_pending.clear();
            m_pending.squeeze();
        }
    }
}

void TDollarLineParser::finish()
{
    endLine(nullptr, nullptr);
    m_sinceLineEnd = 0;
}

// The line that ends here: the bytes kept from earlier feeds, then [b, e).
void TDollarLineParser::endLine(const char *b, const char *e)
{
    if (m_overlong) {
        m_overlong = false;
        bad([&] {
            return QCoreApplication::translate("ChargerLog", "is longer than %1 bytes")
                .arg(MaxLineLength);
        });
        return;
    }
    if (!m_pending.isEmpty()) {
        m_pending.append(b, e - b);
        if (m_pending.size() > MaxLineLength) {
            m_pending.clear();
            bad([&] {
                return QCoreApplication::translate("ChargerLog", "is longer than %1 bytes")
                    .arg(MaxLineLength);
            });
            return;
        }
        takeLine(m_pending.constBegin(), m_pending.constEnd());
        m_pending.clear();
        return;
    }
    takeLine(b, e);
}

void TDollarLineParser::takeLine(const char *b, const char *e)
{
    while (b < e && (*b == '\0' || isSpace(*b)))
        ++b;
    while (e > b && (e[-1] == '\0' || isSpace(e[-1])))
        --e;
    if (b == e)
        return;
    TDollarLine line;
    line.text = QByteArrayView(b, e - b);
    line.lineNumber = m_lineNumber;
    if (*b == '@') {
        line.kind = TDollarLine::Kind::Header;
        ++m_good;
        m_onLine(line);
        return;
    }
    if (*b != '$') {
        bad([&] {
            return QCoreApplication::translate("ChargerLog",
                                               "\"%1\" is not a sample line (they begin with $)")
                .arg(textOf(b, e));
        });
        return;
    }
    if (std::size_t(e - b) == m_previous.size() && std::equal(b, e, m_previous.begin())) {
        ++m_duplicates;
        return;
    }
    qint64 *f = m_fields;
    int n = 0;
    const char *lastSemicolon = nullptr;
    for (const char *p = b + 1;; ++n) {
        const char *stop = static_cast<const char *>(std::memchr(p, ';', std::size_t(e - p)));
        if (!stop)
            stop = e;
        if (n >= MaxFields || !parseInteger(p, stop, f[n])) {
            bad([&] {
                return n >= MaxFields
                           ? QCoreApplication::translate("ChargerLog", "has more than %1 fields")
                                 .arg(MaxFields)
                           : QCoreApplication::translate("ChargerLog",
                                                         "field %1 is not a whole number")
                                 .arg(n + 1);
            });
            return;
        }
        if (stop == e) {
            ++n;
            break;
        }
        lastSemicolon = stop;
        p = stop + 1;
    }
    if (n < 3 || (f[0] != 1 && f[0] != 2)) {
        bad([&] { return QCoreApplication::translate("ChargerLog", "the channel is not 1 or 2"); });
        return;
    }
    line.kind = f[1] == 128 ? TDollarLine::Kind::Resistance : TDollarLine::Kind::Sample;
    line.fields = f;
    line.fieldCount = n;
    const int cells = line.cellCount();
    if (line.kind == TDollarLine::Kind::Resistance && (cells < 1 || cells > 10)) {
        bad([&] {
            return QCoreApplication::translate("ChargerLog", "a resistance line with %1 fields")
                .arg(n);
        });
        return;
    }
    if (line.kind == TDollarLine::Kind::Sample && (cells < 6 || cells > 10)) {
        bad([&] {
            return QCoreApplication::translate("ChargerLog", "has %1 fields; a sample has 18 to 22")
                .arg(n);
        });
        return;
    }
    const int sum = checksum(QByteArrayView(b, lastSemicolon + 1 - b));
    if (f[n - 1] == sum) {
        ++m_checksumsPassed;
    } else if (m_checksums != Checksums::Unchecked) {
        ++m_checksumFailures;
        if (m_checksums == Checksums::Automatic && m_checksumsPassed == 0 &&
            m_checksumFailures >= ChecksumTrialLines)
            m_checksums = Checksums::Unchecked;
        bad([&] {
            return QCoreApplication::translate("ChargerLog",
                                               "its checksum is %1, its bytes give %2")
                .arg(f[n - 1])
                .arg(sum);
        });
        return;
    }
    line.channel = int(f[0]);
    line.state = int(f[1]);
    line.ms = f[2];
    m_previous.assign(b, e);
    ++m_good;
    m_onLine(line);
}

int TDollarLineParser::checksum(QByteArrayView line)
{
    int sum = 0;
    for (const char c : line)
        sum ^= static_cast<unsigned char>(c);
    return sum;
}

QByteArray TDollarLineParser::withChecksum(QByteArrayView line)
{
    QByteArray body(line.data(), line.size());
    const qsizetype last = body.lastIndexOf(';');
    body.truncate(last + 1);
    return body + QByteArray::number(checksum(body));
}

Phase phaseOfState(int state)
{
    switch (state) {
    case 1:
        return Phase::Charge;
    case 2:
        return Phase::Discharge;
    case 4:
        return Phase::Rest;
    default:
        return Phase::Unknown;
    }
}

TDollarSample dollarSample(const TDollarLine &line)
{
    TDollarSample s;
    const qint64 *f = line.fields;
    s.channel = line.channel;
    s.phase = phaseOfState(line.state);
    s.ms = line.ms;
    s.current = double(f[5]) / 100;
    s.voltage = double(f[7]) / 1000;
    s.capacity = double(f[8]) / 1000;
    s.inner = double(f[9]) / 10;
    s.outer = double(f[10]) / 10;
    s.cellCount = line.cellCount();
    for (int c = 0; c < s.cellCount; ++c)
        s.cells[c] = double(f[11 + c]) / 1000;
    return s;
}

TDollarLogBuilder::TDollarLogBuilder(TChargerLog &log) : m_log(log)
{
    m_log.format = Format::Dollar;
}

void TDollarLogBuilder::reserve(qsizetype samples)
{
    for (QVector<double> *s :
         {&m_log.seconds, &m_log.current, &m_log.voltage, &m_log.capacity, &m_inner, &m_outer})
        s->reserve(samples);
    m_log.phases.reserve(samples);
    m_reserve = samples;
}

bool TDollarLogBuilder::add(const TDollarLine &line, QString *reason)
{
    if (line.kind == TDollarLine::Kind::Header) {
        if (!m_log.device.isEmpty())
            return true; // sent again: the device is known
        const QString text = QString::fromLatin1(line.text.data() + 1, line.text.size() - 1);
        for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const qsizetype colon = part.indexOf(QLatin1Char(':'));
            if (colon < 0)
                m_log.device.append({part.trimmed(), QString()});
            else
                m_log.device.append({part.left(colon).trimmed(), part.mid(colon + 1).trimmed()});
        }
        return true;
    }
    if (m_channel != 0 && line.channel != m_channel) {
        *reason = QCoreApplication::translate("ChargerLog",
                                              "belongs to channel %1, the log to channel %2")
                      .arg(line.channel)
                      .arg(m_channel);
        return false;
    }
    const qint64 *f = line.fields;
    const int cells = line.cellCount();
    if (line.kind == TDollarLine::Kind::Resistance) {
        // Chargers measure now and then; a flood of readings keeps the first ones and the last.
        RawResistance reading{line.ms, f[3], QVector<qint64>(f + 4, f + 4 + cells)};
        if (m_resistances.size() < MaximumResistanceReadings)
            m_resistances.append(std::move(reading));
        else
            m_resistances.last() = std::move(reading);
        return true;
    }
    if (m_channel == 0) {
        m_channel = line.channel;
        m_cellColumns = cells;
        m_cellValues.resize(cells);
        for (QVector<double> &values : m_cellValues)
            values.reserve(m_reserve);
        m_firstMs = m_lastMs = line.ms;
    } else if (cells != m_cellColumns) {
        *reason =
            QCoreApplication::translate("ChargerLog", "has %1 cell columns, the lines before %2")
                .arg(cells)
                .arg(m_cellColumns);
        return false;
    }
    if (line.ms < m_lastMs) {
        *reason = QCoreApplication::translate("ChargerLog", "the time goes back");
        return false;
    }
    m_lastMs = line.ms;
    const TDollarSample s = dollarSample(line);
    m_log.seconds.append(double(s.ms - m_firstMs) / 1000);
    m_log.phases.append(s.phase);
    m_log.current.append(s.current);
    m_log.voltage.append(s.voltage);
    m_log.capacity.append(s.capacity);
    m_inner.append(s.inner);
    m_outer.append(s.outer);
    for (int c = 0; c < cells; ++c)
        m_cellValues[c].append(s.cells[c]);
    return true;
}

void TDollarLogBuilder::finish()
{
    const auto nonZero = [](const QVector<double> &v) {
        return std::any_of(v.begin(), v.end(), [](double x) { return x != 0; });
    };
    if (nonZero(m_outer))
        m_log.temperature = m_outer;
    else if (nonZero(m_inner))
        m_log.temperature = m_inner;
    QVector<int> inUse;
    for (int c = 0; c < m_cellValues.size(); ++c)
        if (nonZero(m_cellValues[c])) {
            inUse.append(c);
            m_log.cells.append(m_cellValues[c]);
        }
    for (const auto &r : std::as_const(m_resistances)) {
        TResistanceReading reading;
        reading.seconds = double(r.ms - m_firstMs) / 1000;
        reading.total = double(r.total);
        for (int c : inUse)
            if (c < r.cells.size())
                reading.cells.append(double(r.cells[c]));
        m_log.resistances.append(reading);
    }
    m_inner = m_outer = {};
    m_cellValues.clear();
    m_resistances.clear();
}

namespace Parts {

void readDollar(TChargerLog &log, const DollarSource &source)
{
    TDollarLogBuilder builder(log);
    // A first pass counts the samples and tells whether the file's lines carry checksums of
    // this kind: a file none of whose lines passes, but whose lines are whole otherwise, comes
    // from a device that writes none, and is read unchecked from its first line on.
    qsizetype samples = 0;
    TDollarLineParser counter(
        [&](const TDollarLine &line) { samples += line.kind == TDollarLine::Kind::Sample; });
    counter.setChecksums(TDollarLineParser::Checksums::Checked);
    if (!source(counter))
        return;
    counter.finish();
    builder.reserve(samples);
    const bool unchecked = counter.checksumsPassed() == 0 && counter.checksumFailures() > 0;
    bool seenContent = false;
    TDollarLineParser parser(
        [&](const TDollarLine &line) {
            const bool first = !seenContent;
            seenContent = true;
            QString reason;
            if (line.kind == TDollarLine::Kind::Header && !first)
                reason = QCoreApplication::translate(
                             "ChargerLog", "\"%1\" is not a sample line (they begin with $)")
                             .arg(textOf(line.text.begin(), line.text.end()));
            else
                builder.add(line, &reason);
            if (!reason.isEmpty())
                addBadLine(log, line.lineNumber, reason);
        },
        [&](qint64 number, const QString &reason) {
            seenContent = true;
            addBadLine(log, number, reason);
        });
    parser.setChecksums(unchecked ? TDollarLineParser::Checksums::Unchecked
                                  : TDollarLineParser::Checksums::Checked);
    if (!source(parser))
        return;
    parser.finish();
    builder.finish();
}

} // namespace Parts

} // namespace ChargerLog
