#include "BatteryCardsMerge.h"

#include <QCoreApplication>
#include <QSet>

namespace BatteryCardsMerge {

namespace {

QString conflict(const QString &name)
{
    return QCoreApplication::translate(
               "BatteryCardsMerge",
               "Battery card %1: changed on another desktop too: kept this desktop's")
        .arg(name);
}

std::optional<TBatteryCard> cardOf(const TBatteryCards &cards, const QString &name)
{
    const TBatteryCard *card = cards.find(name);
    return card ? std::optional<TBatteryCard>(*card) : std::nullopt;
}

// Every name of the three, memory's first, each once.
QStringList namesOf(std::initializer_list<const TBatteryCards *> sides)
{
    QStringList names;
    QSet<QString> seen;
    for (const TBatteryCards *side : sides)
        for (const TBatteryCard &card : side->cards())
            if (!seen.contains(card.Name.toCaseFolded())) {
                seen.insert(card.Name.toCaseFolded());
                names.append(card.Name);
            }
    return names;
}

TResult finish(TBatteryCards merged, const TBatteryCards &memory, QStringList conflicts)
{
    TResult result;
    result.Conflicts = std::move(conflicts);
    for (const QString &name : namesOf({&merged, &memory}))
        if (cardOf(merged, name) != cardOf(memory, name))
            ++result.Changed;
    if (merged != memory)
        result.Cards = std::move(merged);
    return result;
}

} // namespace

TResult threeWay(const TBatteryCards &base, const TBatteryCards &disk, const TBatteryCards &memory)
{
    TBatteryCards merged = memory;
    QStringList conflicts;
    for (const QString &name : namesOf({&memory, &disk, &base})) {
        const std::optional<TBatteryCard> b = cardOf(base, name), d = cardOf(disk, name),
                                          m = cardOf(memory, name);
        if (d == b || d == m)
            continue; // nothing changed there, or the same change
        if (m == b) {
            merged.remove(name);
            if (d)
                merged.set(*d);
            continue;
        }
        conflicts.append(conflict(m ? m->Name : name));
    }
    if (disk.Due != base.Due && memory.Due == base.Due)
        merged.Due = disk.Due;
    return finish(std::move(merged), memory, std::move(conflicts));
}

TResult copy(const TBatteryCards &copy, const TBatteryCards &memory)
{
    TBatteryCards merged = memory;
    QStringList conflicts;
    for (const TBatteryCard &card : copy.cards()) {
        const TBatteryCard *mine = memory.find(card.Name);
        if (!mine)
            merged.set(card);
        else if (*mine != card)
            conflicts.append(conflict(mine->Name));
    }
    return finish(std::move(merged), memory, std::move(conflicts));
}

} // namespace BatteryCardsMerge
