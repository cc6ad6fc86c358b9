#pragma once

#include "BatteryCards.h"
#include "BatteryHealth.h"

#include <QString>
#include <QVector>

// What a battery needs next, from its figures, its card and the log's settings. A setting of 0
// turns its rule off; a retired battery needs nothing.
namespace BatteryDue {

enum class Kind
{
    LeftFull,    // a lithium pack charged full and left so: charge it to storage
    Unused,      // not used for long
    EndOfLife,   // most of its rated cycles used, or its capacity trend near the end of life
    CapacityTest // no discharge (no capacity measured) for many cycles or days
};

struct TDueItem
{
    Kind What = Kind::Unused;
    QString Text; // "left full for 5 days: charge to storage"
};

// `card` may be null (no card: what needs a chemistry or a rating is not looked at). `now` is
// a date-time as in a charge.
QVector<TDueItem> dueItems(const BatteryHealth::TBatteryFigures &figures, const TBatteryCard *card,
                           const TDueSettings &settings, double now);
// The items' texts joined by "; ".
QString dueText(const QVector<TDueItem> &items);

} // namespace BatteryDue
