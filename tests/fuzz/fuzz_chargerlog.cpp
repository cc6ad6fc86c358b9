// Fuzz target for the charger log reader: whatever a file holds, reading it must neither crash
// nor hang, and nothing that comes out (figures, their text, the CSV, the draft record) may be
// NaN or infinite. Untitled files are read a second time with roles taken from the input's
// last bytes, so that every role meets every kind of column.

#include "ChargerLog.h"
#include "ChargerLogDollar.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const char *what, const QByteArray &detail)
{
    std::fprintf(stderr, "FINDING: %s\n%s\n", what, detail.constData());
    std::abort();
}

void checkFinite(const std::optional<double> &value, const char *what)
{
    if (value && !std::isfinite(*value))
        finding(what, QByteArray::number(*value));
}

bool mentionsNonFinite(const QByteArray &text)
{
    const QByteArray lower = text.toLower();
    return lower.contains("nan") || lower.contains("inf");
}

void check(const ChargerLog::TChargerLog &log)
{
    using namespace ChargerLog;
    if (!log.ok() && log.error.isEmpty())
        finding("not read, but no message", QByteArray());
    const qsizetype n = log.seconds.size();
    for (const QVector<double> *series :
         {&log.voltage, &log.current, &log.capacity, &log.temperature})
        if (!series->isEmpty() && series->size() != n)
            finding("a series of another length", QByteArray::number(series->size()));
    const TChargerLogFigures f = figures(log);
    if (!std::isfinite(f.duration) || f.duration < 0)
        finding("duration", QByteArray::number(f.duration));
    for (const auto *phase : {&f.charge, &f.discharge})
        if (*phase) {
            checkFinite((*phase)->counterAmpHours, "counter amp-hours");
            checkFinite((*phase)->integratedAmpHours, "integrated amp-hours");
            checkFinite((*phase)->energy, "energy");
        }
    checkFinite(f.highestVoltage, "highest voltage");
    checkFinite(f.finalVoltage, "final voltage");
    checkFinite(f.highestTemperature, "highest temperature");
    checkFinite(f.cellSpread, "cell spread");
    const QByteArray text = figuresText(f).toUtf8();
    if (mentionsNonFinite(text))
        finding("figures text", text);
    if (log.ok()) {
        // The header names "Temperature": only the rows are checked.
        const QByteArray csv = samplesCsv(log);
        const QByteArray rows = csv.mid(csv.indexOf('\n') + 1);
        if (mentionsNonFinite(rows))
            finding("CSV", rows.left(2000));
    }
    const TDraftRecord draft = draftRecord(log, QDateTime::fromSecsSinceEpoch(1700000000));
    if (!std::isfinite(draft.ampHours) || !std::isfinite(draft.nominalAmps))
        finding("draft record", QByteArray::number(draft.ampHours));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace ChargerLog;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const TChargerLog log = read(bytes, QStringLiteral("fuzz input"));
    check(log);
    if (log.format == Format::Dollar && size >= 2) {
        // The same bytes as a serial port hands them over, in pieces cut where the input's
        // first byte says: the lines that come out are those of the whole.
        const auto linesOf = [&](qsizetype piece) {
            QList<QByteArray> lines;
            TDollarLineParser parser(
                [&](const TDollarLine &line) { lines << line.text.toByteArray(); },
                [&](qint64, const QString &) { lines << QByteArray("bad"); });
            for (qsizetype at = 0; at < bytes.size(); at += piece)
                parser.feed(
                    QByteArrayView(bytes.constData() + at, std::min(piece, bytes.size() - at)));
            parser.finish();
            return lines;
        };
        if (linesOf(bytes.size()) != linesOf(1 + data[0] % 7))
            finding("the parser in pieces differs from the whole", bytes.left(2000));
    }
    if (log.format == Format::Untitled && size >= 8) {
        QVector<ColumnRole> roles;
        for (std::size_t i = size - 8; i < size; ++i)
            roles.append(ColumnRole(data[i] % ColumnRoleCount));
        check(read(bytes, QStringLiteral("fuzz input"), roles));
    }
    return 0;
}
