#include "ChargerLogParts.h"

#include <algorithm>
#include <cmath>

namespace ChargerLog {

namespace Parts {

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

} // namespace Parts

using namespace Parts;

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

} // namespace ChargerLog
