#include "ChargeList.h"

#include "ChargeLogChange.h"

void TChargeList::append(const TChargeRecord &record, const QString &text)
{
    m_entries.push_back(TChargeEntry{text, record});
    if (m_keyIndexValid)
        m_keyIndex.insert(record.Key, count() - 1);
}

void TChargeList::replace(int index, const TChargeRecord &record, const QString &text)
{
    TChargeEntry &entry = m_entries.at(size_t(index));
    if (entry.Record.Key != record.Key)
        invalidateIndex();
    entry.Record = record;
    entry.Text = text;
    entry.Written = {}; // its bytes in the file are no longer its own
}

void TChargeList::setWrittenPlaces(const std::vector<TWrittenPlace> &places)
{
    for (size_t i = 0; i < m_entries.size() && i < places.size(); ++i)
        m_entries[i].Written = places[i];
}

void TChargeList::removeAt(int index)
{
    m_entries.erase(m_entries.begin() + index);
    invalidateIndex();
}

QVector<TPositionedEntry> TChargeList::takeKeys(const QSet<qint32> &keys)
{
    QVector<TPositionedEntry> taken;
    if (keys.isEmpty())
        return taken;
    taken.reserve(qMin(qsizetype(keys.size()), qsizetype(m_entries.size())));
    size_t kept = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (keys.contains(m_entries[i].Record.Key))
            taken.append(TPositionedEntry{int(i), std::move(m_entries[i])});
        else if (kept++ != i)
            m_entries[kept - 1] = std::move(m_entries[i]);
    }
    m_entries.resize(kept);
    invalidateIndex();
    return taken;
}

void TChargeList::insertAtPositions(const QVector<TPositionedEntry> &entries)
{
    if (entries.isEmpty())
        return;
    std::vector<TChargeEntry> merged;
    merged.reserve(m_entries.size() + size_t(entries.size()));
    auto next = entries.cbegin();
    for (TChargeEntry &entry : m_entries) {
        while (next != entries.cend() && next->Position <= int(merged.size()))
            merged.push_back((next++)->Entry);
        merged.push_back(std::move(entry));
    }
    for (; next != entries.cend(); ++next)
        merged.push_back(next->Entry);
    m_entries = std::move(merged);
    invalidateIndex();
}

void TChargeList::clear()
{
    m_entries.clear();
    m_keyIndex.clear();
    invalidateIndex();
}

void TChargeList::sortByDateTime()
{
    if (isSortedByDateTime())
        return;
    // Stable, so that charges with equal date-times keep their order from one sort to the next.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const TChargeEntry &a, const TChargeEntry &b) {
                         return a.Record.DateTime < b.Record.DateTime;
                     });
    invalidateIndex();
}

bool TChargeList::isSortedByDateTime() const
{
    for (size_t i = 1; i < m_entries.size(); ++i)
        if (m_entries[i].Record.DateTime < m_entries[i - 1].Record.DateTime)
            return false;
    return true;
}

int TChargeList::FindChargeIndex(qint32 key) const
{
    if (m_entries.empty())
        return -1;
    if (!m_keyIndexValid) {
        m_keyIndex.clear();
        m_keyIndex.reserve(qsizetype(m_entries.size()));
        for (size_t i = 0; i < m_entries.size(); ++i)
            m_keyIndex.insert(m_entries[i].Record.Key, int(i));
        m_keyIndexValid = true;
    }
    return m_keyIndex.value(key, -1);
}

QString TChargeList::JoinChargeText(const QString &chargerLogFileName, const QString &comment)
{
    return chargerLogFileName + QLatin1Char('*') + comment;
}

void TChargeList::SplitChargeText(const QString &text, QString &chargerLogFileName,
                                  QString &comment)
{
    const qsizetype star = text.indexOf(QLatin1Char('*'));
    if (star < 0) {
        chargerLogFileName.clear();
        comment = text;
        return;
    }
    chargerLogFileName = text.left(star);
    comment = text.mid(star + 1);
}
