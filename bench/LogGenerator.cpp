#include "LogGenerator.h"

#include "LogFile.h"

#include <cmath>
#include <random>

namespace {

struct BatteryKind
{
    const char *prefix;
    int count;
    double capacityAh;
};

// 16 + 8 + 4 + 4 + 2 + 3 + 3 = 40 batteries.
constexpr BatteryKind BatteryKinds[] = {
    {"AA #", 16, 2.4}, {"AAA #", 8, 0.9},       {"C #", 4, 4.5},       {"D #", 4, 9.0},
    {"9V #", 2, 0.2},  {"Pack 7.2V #", 3, 3.0}, {"LiPo 3S #", 3, 2.2},
};

const char *const Chargers[] = {"QorA1", "QorB1_1", "QorC2_1", "QorC3_2", "QorD3_2", "Bench load"};
const char *const PowerSources[] = {"PSU", "Mains", "Pb", "Solar 12V"};

const char *const Comments[] = {
    "",
    "",
    "",
    "Room temperature",
    "Warm after charge",
    "First charge after storage",
    "Capacity check",
    "Cell 2 lower * check again",
    "Balanced * all cells within 10 mV",
    "Temperatur 23 \xc2\xb0"
    "C, Spannung 1,41 V",
    "Left on the charger overnight",
    "Runs the camera flash",
};

// Uniform integer in [0, bound) from raw generator output, the same on every platform.
quint32 below(std::mt19937 &random, quint32 bound)
{
    return quint32(random() % bound);
}

// Uniform double in [low, high), rounded to `decimals` places as a person would note it.
double between(std::mt19937 &random, double low, double high, int decimals)
{
    const double unit = double(random()) / 4294967296.0;
    const double scale = std::pow(10.0, decimals);
    return std::round((low + unit * (high - low)) * scale) / scale;
}

} // namespace

namespace LogGenerator {

QStringList batteryNames()
{
    QStringList names;
    for (const BatteryKind &kind : BatteryKinds)
        for (int i = 1; i <= kind.count; ++i)
            names.append(QString::fromLatin1(kind.prefix) +
                         QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
    return names;
}

void generateChargeLog(TChargeLog &log, int count, quint32 seed)
{
    std::mt19937 random(seed);
    const QStringList batteries = batteryNames();
    QVector<double> capacities;
    for (const BatteryKind &kind : BatteryKinds)
        for (int i = 0; i < kind.count; ++i)
            capacities.append(kind.capacityAh);

    // Six years from 2019-01-01, whatever the count: a small log is sparse, a big one dense.
    constexpr double FirstDay = 43466.0;
    constexpr double SpanSeconds = 6.0 * 365.0 * 86400.0;
    const double meanStep = count > 0 ? SpanSeconds / count : 0.0;
    double seconds = 0.0;

    log.ChargeStringList.reserve(log.ChargeStringList.count() + count);
    for (int i = 0; i < count; ++i) {
        // Every 40th charge or so is logged at the same second as the one before it.
        if (i == 0 || below(random, 40) != 0)
            seconds += std::floor(double(random()) / 4294967296.0 * 2.0 * meanStep) + 1.0;
        double when = seconds;
        // Now and then a charge is entered late, so the list is not in order as added.
        if (below(random, 100) == 0)
            when = std::max(0.0, seconds - std::floor(meanStep * (1 + below(random, 20))));
        const double dateTime = FirstDay + when / 86400.0;

        const int battery =
            i < batteries.size() ? i : int(below(random, quint32(batteries.size())));
        const double capacity = capacities.at(battery);
        const bool discharge = below(random, 10) < 3;
        const quint32 ending = below(random, 100);
        QString termination = QStringLiteral("Normal");
        if (ending >= 97)
            termination = QStringLiteral("Error");
        else if (ending >= 87)
            termination = QStringLiteral("Interrupted");
        else if (ending >= 82)
            termination = QStringLiteral("Delta-V cut-off");
        else if (ending >= 80)
            termination = QStringLiteral("Timer");

        double amps = between(random, 0.1, 1.0, 1) * capacity;
        amps = std::round(amps * 100.0) / 100.0;
        double ampHours = termination == QStringLiteral("Error")
                              ? 0.0
                              : between(random, 0.3 * capacity, 1.1 * capacity, 3);
        QString charger = QString::fromLatin1(
            Chargers[below(random, quint32(std::size(Chargers) - (discharge ? 0 : 1)))]);
        if (discharge) {
            amps = -amps;
            ampHours = -ampHours;
        }
        const QString powerSource =
            QString::fromLatin1(PowerSources[below(random, quint32(std::size(PowerSources)))]);
        const QString comment =
            QString::fromUtf8(Comments[below(random, quint32(std::size(Comments)))]);
        QString chargerLogFileName;
        if (below(random, 4) == 0)
            chargerLogFileName = QStringLiteral("/home/lab/charger-logs/%1/charge-%2.csv")
                                     .arg(2019 + int(when / (365.0 * 86400.0)))
                                     .arg(i + 1, 6, 10, QLatin1Char('0'));
        log.StoreChargeRecord(-1, dateTime, powerSource, charger, batteries.at(battery), amps,
                              ampHours, termination, comment, chargerLogFileName);
        // An identity from the same seed, entered a little after the charge, as a log written
        // by the program holds.
        QUuid id;
        id.data1 = random();
        id.data2 = ushort(random());
        id.data3 = ushort((random() & 0x0FFF) | 0x4000);
        const quint32 low = random(), high = random();
        for (int k = 0; k < 4; ++k) {
            id.data4[k] = uchar(low >> (8 * k));
            id.data4[4 + k] = uchar(high >> (8 * k));
        }
        id.data4[0] = uchar((id.data4[0] & 0x3F) | 0x80);
        log.ChargeStringList.setIdentity(log.ChargeStringList.count() - 1, id,
                                         dateTime + 1.0 / 24.0);
    }
}

void writeGeneratedLog(const QString &path, int count, quint32 seed)
{
    TChargeLog log;
    generateChargeLog(log, count, seed);
    LogFile::SaveChargeLog(path, log);
}

} // namespace LogGenerator
