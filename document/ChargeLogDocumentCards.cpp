// The battery cards' steps of the document: a card stored, a battery renamed or merged into
// another, the due settings.

#include "ChargeIdentity.h"
#include "ChargeLogDocument.h"

#include <memory>

namespace {

QString folded(const QString &name)
{
    return TNameList::trimmedName(name).toCaseFolded();
}

// The battery list positions that are `name`, in any letter case.
QVector<int> positionsNamed(const TNameList &batteries, const QString &name)
{
    QVector<int> positions;
    const QString key = folded(name);
    for (int i = 0; i < batteries.count(); ++i)
        if (batteries.name(i).toCaseFolded() == key)
            positions.append(i);
    return positions;
}

} // namespace

void TChargeLogDocument::storeCard(const QString &battery, const TBatteryCard &card)
{
    TBatteryCard stored = card;
    stored.Name = TNameList::trimmedName(card.Name);
    BatteryCards::checkStorable(stored);
    const bool renamed = stored.Name != TNameList::trimmedName(battery);
    commit(
        [&](TChargeLogChange &step) {
            const TBatteryCards before = m_log.Cards;
            QString text = tr("Edit Battery Card");
            if (renamed) {
                const bool merging =
                    folded(stored.Name) != folded(battery) &&
                    !positionsNamed(m_log.BatteriesStringList, stored.Name).isEmpty();
                step = renameInRecords(battery, stored.Name);
                text = merging ? tr("Merge Batteries") : tr("Rename Battery");
            }
            TBatteryCards after = m_log.Cards;
            if (folded(stored.Name) != folded(battery))
                after.remove(battery);
            after.set(stored);
            if (after == before && !renamed)
                return QString();
            auto cards = std::make_shared<TCardsChange>(
                step.Cards ? *step.Cards : TCardsChange{before, before, {}});
            cards->After = after;
            m_log.Cards.assignKeepingView(after);
            step.Cards = std::move(cards);
            return text;
        },
        true);
}

void TChargeLogDocument::renameBattery(const QString &from, const QString &to)
{
    const TBatteryCard *card = m_log.Cards.find(from);
    TBatteryCard renamed = card ? *card : TBatteryCard();
    const TBatteryCard *target = m_log.Cards.find(to);
    // Into another battery that has a card, that card stays.
    if (target && folded(to) != folded(from))
        renamed = *target;
    renamed.Name = to;
    storeCard(from, renamed);
}

TChargeLogChange TChargeLogDocument::renameInRecords(const QString &from, const QString &to)
{
    TChargeLogChange step;
    TNameList &batteries = m_log.BatteriesStringList;
    const QVector<int> sources = positionsNamed(batteries, from);
    const QVector<int> targets = positionsNamed(batteries, to);
    const bool merging = folded(from) != folded(to) && !targets.isEmpty();
    auto cards = std::make_shared<TCardsChange>();
    cards->Before = cards->After = m_log.Cards;
    if (!merging) {
        // The names themselves change: every record of them follows, and no empty name is left.
        for (int i : sources)
            cards->Renames.append({i, batteries.name(i), to});
        cards->redo(m_log.Cards, batteries);
    }
    // Every record of the battery is edited now, so that the change travels to other copies of
    // the log as an edit of each charge.
    QSet<qint32> keys;
    const TChargeList &list = m_log.ChargeStringList;
    for (int i = 0; i < list.count(); ++i)
        if (sources.contains(list.record(i).BatteryIndex))
            keys.insert(list.record(i).Key);
    QVector<TChargeEntry> edited;
    if (!keys.isEmpty()) {
        step.Removed = m_log.ChargeStringList.takeKeys(keys);
        const double now = ChargeIdentity::nowUtc();
        QVector<qint32> editedKeys;
        for (const TPositionedEntry &e : step.Removed) {
            TChargeEntry entry = e.Entry;
            if (merging)
                entry.Record.BatteryIndex = targets.first();
            entry.Changed = now;
            editedKeys.append(entry.Record.Key);
            m_log.ChargeStringList.append(std::move(entry));
        }
        m_log.ChargeStringList.sortByDateTime();
        step.Added = TChargeLogChange::positionsOf(m_log.ChargeStringList, editedKeys);
    }
    step.Cards = std::move(cards);
    return step;
}

void TChargeLogDocument::setDueSettings(const TDueSettings &settings)
{
    commit(
        [&](TChargeLogChange &step) {
            if (settings == m_log.Cards.Due)
                return QString();
            auto cards = std::make_shared<TCardsChange>();
            cards->Before = cards->After = m_log.Cards;
            cards->After.Due = settings;
            m_log.Cards.Due = settings;
            step.Cards = std::move(cards);
            return tr("Change Due Settings");
        },
        true);
}

void TChargeLogDocument::setShowRetired(bool show)
{
    if (m_log.Cards.ShowRetired == show)
        return;
    m_log.Cards.ShowRetired = show;
    Q_EMIT changed();
}
