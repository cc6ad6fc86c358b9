#pragma once

// What the log must hold, kept from what each action was told, and the check of the file
// against it. Every charge the soak makes carries a tag of its own as its comment.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace Soak {

// The log file as the model's own reader sees it.
struct FileState
{
    bool readable = false;
    QString error;
    int charges = 0;
    QHash<QString, int> counts;      // tag -> how often it is there
    QHash<QString, QUuid> ids;       // tag -> its id (the last one read)
    QStringList strangers;           // comments that are no tag of ours
    QStringList duplicateIds;        // ids that more than one charge carries
    QHash<QString, double> ampHours; // tag -> its amp-hours
    QHash<QString, QString> battery; // tag -> its battery
};
FileState readFileState(const QString &path);

enum class Expect
{
    Present, // confirmed: there exactly once
    Absent,  // refused, cancelled, deleted: not there
    Maybe,   // no certain answer (the program killed during the call): once or not at all,
             // decided by the next look at the file
    Pending  // in a conflict copy not yet merged: once or not at all, not decided yet
};

// What the step may have changed besides what was added.
struct Allowance
{
    bool flip = false;    // an undo or redo: a charge of this run may come or go
    int deletions = 0;    // a Delete Selection of this many rows at most
    QString editedTo;     // an edit that gives a charge this tag
    bool purge = false;   // the purge at close: every charge of one battery may go
    bool restore = false; // a backup restored: the log may become what `restored` holds
    QSet<QString> restored;
};

class Model
{
public:
    QString newTag();
    void expect(const QString &tag, Expect expect, double ampHours = 0,
                const QString &battery = QString());
    Expect expectation(const QString &tag) const { return m_expect.value(tag, Expect::Absent); }
    // Tags expected present, in the order they were made.
    QStringList presentTags() const;
    // A new run of the program: its undo steps are gone.
    void newRun() { m_touched.clear(); }
    // Conflict-copy charges merged (or the copy gone): they must be there from now on.
    void settlePending(const QStringList &tags);

    // Compares the file with the model and brings the model up to what the step was allowed
    // to change. Returns the differences (empty: none).
    QStringList check(const FileState &file, const Allowance &allowance);

    int lost = 0;
    int duplicated = 0;
    int resurrected = 0;
    int deletedByUser = 0;
    int flips = 0;
    int edits = 0;
    int purged = 0;
    int restores = 0;

private:
    void set(const QString &tag, Expect expect);

    int m_next = 0;
    QHash<QString, Expect> m_expect;
    QHash<QString, double> m_ampHours;
    QHash<QString, QString> m_battery;
    QHash<QString, QUuid> m_ids;
    QSet<QString> m_everPresent;
    QSet<QString> m_touched; // changed while this run of the program holds its undo steps
    QStringList m_order;
};

} // namespace Soak
