#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// An ordered list of names that charge records refer to by position. Names are only ever
// appended (or renamed in place by a purge), so a position stays valid for the whole run.
// Look-ups ignore letter case; each entry carries a filtered-out mark.
class TNameList
{
public:
    TNameList() = default;
    explicit TNameList(const QStringList &names);

    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    bool isValidIndex(int index) const { return index >= 0 && index < count(); }

    // The name at a position; an empty text for a position that names nothing.
    QString name(int index) const;
    bool isMarked(int index) const;
    void setMarked(int index, bool marked);
    void rename(int index, const QString &name);

    // First position whose name equals `name` without regard to case, or -1.
    int indexOf(const QString &name) const;
    // Appends unmarked, without any check; returns the new position.
    int append(const QString &name);
    // Look-up as the log reader does it: untrimmed, appended when unknown.
    int findOrAppend(const QString &name);
    // Trims characters 0..32 at both ends, then findOrAppend.
    int ResolveNameIndex(const QString &name);

    bool hasMarks() const;
    int markedCount() const;
    QStringList names() const;

    static QString trimmedName(const QString &name);

private:
    struct Entry
    {
        QString Name;
        bool Marked = false;
    };
    static QString foldKey(const QString &name) { return name.toCaseFolded(); }
    const QHash<QString, int> &firstIndex() const;

    std::vector<Entry> m_entries;
    // Case-folded name -> first position; made again at the next look-up after a rename, so
    // that a purge renaming many names makes it once.
    mutable QHash<QString, int> m_firstIndex;
    mutable bool m_firstIndexValid = true;
};

// A missing list counts as having no marks.
bool HasNoFilterMarks(const TNameList *list);
