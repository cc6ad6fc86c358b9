#include "NameList.h"

TNameList::TNameList(const QStringList &names)
{
    for (const QString &name : names)
        append(name);
}

QString TNameList::name(int index) const
{
    return isValidIndex(index) ? m_entries[size_t(index)].Name : QString();
}

bool TNameList::isMarked(int index) const
{
    return isValidIndex(index) && m_entries[size_t(index)].Marked;
}

void TNameList::setMarked(int index, bool marked)
{
    if (isValidIndex(index))
        m_entries[size_t(index)].Marked = marked;
}

void TNameList::rename(int index, const QString &name)
{
    if (!isValidIndex(index))
        return;
    m_entries[size_t(index)].Name = name;
    m_firstIndexValid = false;
}

int TNameList::indexOf(const QString &name) const
{
    return firstIndex().value(foldKey(name), -1);
}

int TNameList::append(const QString &name)
{
    const int position = count();
    m_entries.push_back(Entry{name, false});
    if (m_firstIndexValid) {
        const QString key = foldKey(name);
        if (!m_firstIndex.contains(key)) // a look-up finds the first of equal names
            m_firstIndex.insert(key, position);
    }
    return position;
}

int TNameList::findOrAppend(const QString &name)
{
    const int found = indexOf(name);
    return found >= 0 ? found : append(name);
}

int TNameList::ResolveNameIndex(const QString &name)
{
    return findOrAppend(trimmedName(name));
}

bool TNameList::hasMarks() const
{
    for (const Entry &entry : m_entries)
        if (entry.Marked)
            return true;
    return false;
}

int TNameList::markedCount() const
{
    int marked = 0;
    for (const Entry &entry : m_entries)
        marked += entry.Marked ? 1 : 0;
    return marked;
}

QStringList TNameList::names() const
{
    QStringList result;
    result.reserve(count());
    for (const Entry &entry : m_entries)
        result.append(entry.Name);
    return result;
}

QString TNameList::trimmedName(const QString &name)
{
    // Blanks and control characters (codes 0 to 32) go from both ends; nothing else does.
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && name.at(first).unicode() <= 32)
        ++first;
    while (last > first && name.at(last - 1).unicode() <= 32)
        --last;
    return name.mid(first, last - first);
}

const QHash<QString, int> &TNameList::firstIndex() const
{
    if (!m_firstIndexValid) {
        m_firstIndex.clear();
        for (int i = count() - 1; i >= 0; --i)
            m_firstIndex.insert(foldKey(m_entries[size_t(i)].Name), i);
        m_firstIndexValid = true;
    }
    return m_firstIndex;
}

bool HasNoFilterMarks(const TNameList *list)
{
    return list == nullptr || !list->hasMarks();
}
