#include "SoakModel.h"

#include "ChargeLog.h"
#include "LogFile.h"

#include <cmath>

namespace Soak {

namespace {

const QString TagPrefix = QStringLiteral("soak-");

} // namespace

FileState readFileState(const QString &path)
{
    FileState state;
    TChargeLog log;
    try {
        LogFile::LoadChargeLog(path, log);
    } catch (const QorLogError &error) {
        state.error = error.message();
        return state;
    }
    state.readable = true;
    state.charges = log.ChargeStringList.count();
    QSet<QUuid> seen;
    for (int i = 0; i < state.charges; ++i) {
        QString file, comment;
        TChargeList::SplitChargeText(log.ChargeStringList.text(i), file, comment);
        const TChargeEntry &entry = log.ChargeStringList.at(i);
        if (!entry.Id.isNull()) {
            if (seen.contains(entry.Id))
                state.duplicateIds.append(entry.Id.toString(QUuid::WithoutBraces));
            seen.insert(entry.Id);
        }
        if (!comment.startsWith(TagPrefix)) {
            state.strangers.append(comment);
            continue;
        }
        state.counts[comment] += 1;
        state.ids[comment] = entry.Id;
        state.ampHours[comment] = entry.Record.AmpHours;
        state.battery[comment] = log.BatteriesStringList.name(entry.Record.BatteryIndex);
    }
    return state;
}

QString Model::newTag()
{
    return TagPrefix + QString::number(++m_next);
}

void Model::set(const QString &tag, Expect expect)
{
    if (!m_expect.contains(tag))
        m_order.append(tag);
    if (m_expect.value(tag, Expect::Absent) != expect)
        m_touched.insert(tag);
    m_expect[tag] = expect;
}

void Model::expect(const QString &tag, Expect expect, double ampHours, const QString &battery)
{
    if (ampHours != 0)
        m_ampHours[tag] = ampHours;
    if (!battery.isEmpty())
        m_battery[tag] = battery;
    set(tag, expect);
    m_touched.insert(tag);
}

QStringList Model::presentTags() const
{
    QStringList tags;
    for (const QString &tag : m_order)
        if (m_expect.value(tag) == Expect::Present)
            tags.append(tag);
    return tags;
}

void Model::settlePending(const QStringList &tags)
{
    for (const QString &tag : tags)
        if (m_expect.value(tag) == Expect::Pending)
            m_expect[tag] = Expect::Maybe;
}

QStringList Model::check(const FileState &file, const Allowance &allowance)
{
    QStringList differences;
    if (!file.readable)
        return {QStringLiteral("the log does not read whole: ") + file.error};
    for (const QString &stranger : file.strangers)
        differences.append(QStringLiteral("a charge nobody made: comment \"%1\"").arg(stranger));
    for (const QString &id : file.duplicateIds)
        differences.append(QStringLiteral("two charges carry the id %1").arg(id));
    for (auto it = file.counts.cbegin(); it != file.counts.cend(); ++it) {
        if (!m_expect.contains(it.key()))
            differences.append(QStringLiteral("%1 is there but was never sent").arg(it.key()));
        if (it.value() > 1) {
            ++duplicated;
            differences.append(
                QStringLiteral("%1 is there %2 times").arg(it.key()).arg(it.value()));
        }
    }

    // An edit: the new tag on the id of one charge that was there, which then is gone.
    QString editedFrom;
    if (!allowance.editedTo.isEmpty() && file.counts.value(allowance.editedTo) == 1) {
        const QUuid id = file.ids.value(allowance.editedTo);
        for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it)
            if (it.value() == id && it.key() != allowance.editedTo &&
                m_expect.value(it.key()) == Expect::Present)
                editedFrom = it.key();
        if (editedFrom.isEmpty() || file.counts.value(editedFrom) != 0)
            differences.append(QStringLiteral("the edit to %1 did not keep the id of the charge "
                                              "it edited")
                                   .arg(allowance.editedTo));
        if (!editedFrom.isEmpty())
            m_battery[allowance.editedTo] = m_battery.value(editedFrom);
        set(allowance.editedTo, Expect::Present);
        m_everPresent.insert(allowance.editedTo);
    }

    // A restore: the log is the backup's, or nothing changed.
    if (allowance.restore) {
        QSet<QString> now;
        for (auto it = file.counts.cbegin(); it != file.counts.cend(); ++it)
            now.insert(it.key());
        if (now == allowance.restored) {
            ++restores;
            for (const QString &tag : m_order)
                if (m_expect.value(tag) != Expect::Pending)
                    set(tag, now.contains(tag) ? Expect::Present : Expect::Absent);
        }
    }
    // The purge: what went is every charge of one battery.
    QString purgedBattery;
    if (allowance.purge) {
        QSet<QString> gone;
        for (const QString &tag : m_order)
            if (m_expect.value(tag) == Expect::Present && file.counts.value(tag) == 0)
                gone.insert(m_battery.value(tag, QStringLiteral("?")));
        if (gone.size() == 1)
            purgedBattery = *gone.cbegin();
        else if (gone.size() > 1)
            differences.append(
                QStringLiteral("the purge took charges of %1 batteries").arg(gone.size()));
        for (auto it = file.battery.cbegin(); it != file.battery.cend(); ++it)
            if (it.value() == purgedBattery)
                differences.append(
                    QStringLiteral("%1 of the purged %2 is still there").arg(it.key(), it.value()));
    }

    int deletionsLeft = allowance.deletions;
    for (const QString &tag : m_order) {
        const Expect expect = m_expect.value(tag);
        const int count = file.counts.value(tag);
        const bool mayFlip = allowance.flip && m_touched.contains(tag);
        switch (expect) {
        case Expect::Present:
            if (count >= 1)
                break;
            if (tag == editedFrom) {
                ++edits;
                set(tag, Expect::Absent);
            } else if (!purgedBattery.isEmpty() && m_battery.value(tag) == purgedBattery) {
                ++purged;
                set(tag, Expect::Absent);
            } else if (deletionsLeft > 0) {
                --deletionsLeft;
                ++deletedByUser;
                set(tag, Expect::Absent);
            } else if (mayFlip) {
                ++flips;
                set(tag, Expect::Absent);
            } else {
                ++lost;
                differences.append(QStringLiteral("%1 was confirmed and is gone").arg(tag));
            }
            break;
        case Expect::Absent:
            if (count == 0)
                break;
            if (mayFlip) {
                ++flips;
                set(tag, Expect::Present);
            } else {
                ++resurrected;
                differences.append(m_everPresent.contains(tag)
                                       ? QStringLiteral("%1 was deleted and came back").arg(tag)
                                       : QStringLiteral("%1 was refused and is there").arg(tag));
            }
            break;
        case Expect::Maybe:
            set(tag, count >= 1 ? Expect::Present : Expect::Absent);
            break;
        case Expect::Pending:
            break;
        }
        if (count >= 1) {
            m_everPresent.insert(tag);
            m_ids[tag] = file.ids.value(tag);
            const double ah = m_ampHours.value(tag, 0.0);
            if (ah != 0 && m_expect.value(tag) == Expect::Present &&
                std::abs(file.ampHours.value(tag) - ah) > 1e-9)
                differences.append(QStringLiteral("%1 holds %2 Ah instead of %3")
                                       .arg(tag)
                                       .arg(file.ampHours.value(tag))
                                       .arg(ah));
        }
    }
    return differences;
}

} // namespace Soak
