#include "BatteryDue.h"

#include "NumberText.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace BatteryDue {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BatteryDue", text);
}

QString dateText(double days)
{
    return DateTimeText::formatTable(days, QLocale::c()).left(10);
}

} // namespace

QVector<TDueItem> dueItems(const BatteryHealth::TBatteryFigures &f, const TBatteryCard *card,
                           const TDueSettings &settings, double now)
{
    QVector<TDueItem> items;
    if ((card && card->State == TBatteryState::Retired) || !f.LastDateTime)
        return items;
    const double last = *f.LastDateTime;
    const double lastDischarge = f.Capacity.isEmpty() ? -HUGE_VAL : f.Capacity.last().DateTime;

    // Left full: the latest record is a charge, with no discharge at or after it.
    if (settings.LeftFullDays > 0 && card && BatteryCards::isLithium(card->Chemistry) &&
        !f.ChargesAh.isEmpty()) {
        const double charged = f.ChargesAh.last().DateTime;
        const double days = now - charged;
        if (charged >= last && lastDischarge < charged && days > settings.LeftFullDays) {
            const int n = int(std::floor(days));
            items.append({Kind::LeftFull,
                          n == 1 ? tr("left full for 1 day: charge to storage")
                                 : QCoreApplication::translate(
                                       "BatteryDue", "left full for %n days: charge to storage",
                                       nullptr, n)});
        }
    }
    if (settings.UnusedDays > 0 && now - last > settings.UnusedDays)
        items.append({Kind::Unused, tr("unused since %1").arg(dateText(last))});

    const bool cyclesUsed =
        settings.EndOfLifeCyclePercent > 0 && card && card->RatedCycles > 0 &&
        f.Cycles * 100.0 >= double(card->RatedCycles) * settings.EndOfLifeCyclePercent;
    // An end of life already behind counts as near as well.
    const bool trendNear = settings.EndOfLifeWithinDays > 0 && f.EndOfLife &&
                           *f.EndOfLife <= now + settings.EndOfLifeWithinDays;
    if (cyclesUsed || trendNear)
        items.append({Kind::EndOfLife, tr("end of life near")});

    if (settings.TestCycles > 0 || settings.TestDays > 0) {
        // Charges after the last discharge (all of them when there was none) are the cycles
        // without a measurement.
        const auto after = std::upper_bound(
            f.ChargesAh.cbegin(), f.ChargesAh.cend(), lastDischarge,
            [](double when, const BatteryHealth::TRecordPoint &p) { return when < p.DateTime; });
        const qsizetype cyclesSince = f.ChargesAh.cend() - after;
        const double since = f.Capacity.isEmpty() ? *f.FirstDateTime : lastDischarge;
        if ((settings.TestCycles > 0 && cyclesSince >= settings.TestCycles) ||
            (settings.TestDays > 0 && now - since > settings.TestDays))
            items.append({Kind::CapacityTest, tr("capacity test due")});
    }
    return items;
}

QString dueText(const QVector<TDueItem> &items)
{
    QStringList texts;
    for (const TDueItem &item : items)
        texts.append(item.Text);
    return texts.join(QStringLiteral("; "));
}

} // namespace BatteryDue
