#pragma once

#include "BatteryCards.h"

#include <QStringList>

#include <optional>

// Merging the battery cards of two versions of a log, card by card by battery name (without
// regard to letter case), and the due settings as one.
namespace BatteryCardsMerge {

struct TResult
{
    std::optional<TBatteryCards> Cards; // the cards after the merge; none: memory's stay
    int Changed = 0;                    // cards that came, changed or went
    QStringList Conflicts;              // cards changed on both sides: memory's kept
};

// Three ways: a card changed (added, edited, removed) on one side only takes that side's
// version; changed on both sides, to different versions, memory's stays and a conflict says so.
TResult threeWay(const TBatteryCards &base, const TBatteryCards &disk, const TBatteryCards &memory);
// A copy kept apart, with no base: cards only the copy has come in; a card both have in
// different versions keeps memory's, said so; a card only memory has stays.
TResult copy(const TBatteryCards &copy, const TBatteryCards &memory);

} // namespace BatteryCardsMerge
