// Figures of the battery cards: the Battery Overview with its due column refreshing for a log of
// 100,000 charges of 500 batteries, each with a card, and the due rules alone over the same
// log. Prints "figure: value (target ...)" lines.

#include "BatteryHealth.h"
#include "BatteryOverviewFormUnit.h"
#include "ChargeLogDocument.h"
#include "NumberText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Charges = 100000;
constexpr int Batteries = 500;

// The median of `runs` timings in milliseconds.
template <typename F> double medianOf(int runs, F &&f)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int r = 0; r < runs; ++r) {
        timer.start();
        f();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Charges and discharges of every battery in turn over the last four years, and a card for
// each: chemistries in turn, ratings and rated cycles, one battery in fifty retired.
void fill(TChargeLog &log, double now)
{
    const TChemistry chemistries[] = {TChemistry::LiPo, TChemistry::LiIon, TChemistry::NiMH,
                                      TChemistry::LiFePO4, TChemistry::Lead};
    QVector<TChargeEntry> entries;
    for (int i = 0; i < Charges; ++i) {
        const int battery = i % Batteries;
        const bool discharge = (i / Batteries) % 3 == 2;
        const double when = now - 1461.0 + 1461.0 * i / Charges;
        const double ampHours = discharge ? -(2.0 - 0.0001 * (i / Batteries)) : 2.1;
        log.StoreChargeRecord(-1, when, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Pack %1").arg(battery, 3, 10, QLatin1Char('0')),
                              discharge ? -1.0 : 1.0, ampHours, QStringLiteral("Normal"), QString(),
                              QString());
    }
    for (int b = 0; b < Batteries; ++b) {
        TBatteryCard card;
        card.Name = QStringLiteral("Pack %1").arg(b, 3, 10, QLatin1Char('0'));
        card.Chemistry = chemistries[b % 5];
        card.Cells = 1 + b % 6;
        card.RatedCapacity = b % 4 == 0 ? 0.0 : 2.2;
        card.RatedCycles = 150 + b;
        card.State = b % 50 == 7 ? TBatteryState::Retired : TBatteryState::InUse;
        log.Cards.set(card);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TChargeLogDocument document(dir.filePath(QStringLiteral("bench.QorLog")), dir.path());
    const double now = DateTimeText::now();
    fill(document.log(), now);
    document.log().ChargeStringList.sortByDateTime();

    int due = 0;
    const double figuresMs = medianOf(9, [&] {
        due = 0;
        for (const BatteryHealth::TBatteryFigures &f : BatteryHealth::overview(document.log(), now))
            due += int(f.Due.size());
    });
    TBatteryOverviewForm overview(&document, nullptr);
    overview.show();
    QApplication::processEvents();
    const double refreshMs = medianOf(9, [&] { overview.refresh(); });
    std::printf("battery figures with what is due, %d charges, %d batteries (%d things due): "
                "%.2f ms\n",
                Charges, Batteries, due, figuresMs);
    std::printf("Battery Overview refresh with the due column, %d charges, %d batteries: %.2f ms "
                "(target <= 20 ms)\n",
                Charges, Batteries, refreshMs);
    return 0;
}
