#pragma once

#include "ChargeLog.h"
#include "ChargeLogChange.h"
#include "LogFile.h"
#include "LogFileGuard.h"

#include <QColor>
#include <QObject>
#include <QSet>

#include <functional>
#include <future>
#include <memory>

class QUndoStack;

// The log of one QorLog: the charges in memory, the file they live in with its guard against
// other programs, the undo stack and the series colours. Every change of the log goes through
// here and is one undo step followed by one atomic save; a change whose save fails is taken
// back in memory before the error is thrown, so a change is either made and saved or not made.
// Windows only read the log and follow the signals.
class TChargeLogDocument : public QObject
{
    Q_OBJECT
public:
    enum Series
    {
        CyclesSeries = 0,
        ChargeSeries = 1,
        DischargeSeries = 2
    };

    // `fallbackBackupParent` is where backups go when the log's own folder cannot be written.
    TChargeLogDocument(const QString &path, const QString &fallbackBackupParent,
                       QObject *parent = nullptr);
    ~TChargeLogDocument() override;

    QString path() const { return m_path; }
    const TChargeLog &log() const { return m_log; }
    // For the filter marks, which are no change of the log (and for tests).
    TChargeLog &log() { return m_log; }
    QUndoStack *undoStack() const { return m_undoStack; }
    TLogFileGuard *guard() const { return m_guard; }

    // Reads the log file (reporting progress). A log that exists but cannot be read
    // completely is copied aside first, so that no later save can destroy it; whatever was
    // read is kept. Returns what the user must be told about that, or an empty text.
    QString load(const LogFile::ProgressFn &progress = {});

    // Adds (key < 0) or edits a charge as one step. Refuses values the file could not hold
    // before anything changes. Returns the key stored, or 0 when `key` names no record any
    // more (an edit of a record deleted meanwhile stores nothing).
    qint32 storeCharge(qint32 key, double dateTime, const QString &powerSource,
                       const QString &charger, const QString &battery, double nominalChargeAmps,
                       double ampHours, const QString &termination, const QString &comment,
                       const QString &chargerLogFileName);
    // Deletes the records holding `keys` as one step ("Delete 3 Charges"); returns how many.
    int deleteCharges(const QSet<qint32> &keys);
    // Takes out the records holding the keys of `removed` and appends the `added` entries as
    // they are (new keys, valid name positions), as one step named `text`. An entry both
    // removed and added (same key) is an edit. Throws before anything changes when an added
    // entry is not acceptable.
    void applyChange(const QString &text, const QVector<TChargeEntry> &removed,
                     QVector<TChargeEntry> added);
    // Replaces the charges by those of the backup at `path` as one step, after keeping the
    // file as it is now as a backup.
    void restoreBackup(const QString &path);

    // Battery cards (ChargeLogDocumentCards.cpp). Stores `card` as the card of `battery` as
    // one step; a card whose name differs renames the battery in every record in the same
    // step, and a name that another battery has merges the two ("Merge Batteries"). A blank
    // card removes the card. Throws before anything changes when the card cannot be stored.
    void storeCard(const QString &battery, const TBatteryCard &card);
    // Renames a battery in every record and its card as one step; into the name of another
    // battery, the two become one (that one's card stays, unless it has none).
    void renameBattery(const QString &from, const QString &to);
    // The settings of what is due, as one step.
    void setDueSettings(const TDueSettings &settings);
    // Whether retired batteries show in the chart and the overview (no step, not stored).
    void setShowRetired(bool show);

    qint32 seriesColour(Series series) const;
    // A new colour of one chart series as one step (none when it stays).
    void setSeriesColour(Series series, qint32 colour);

    // The filter marks changed: windows that show only the unmarked records refresh.
    void marksChanged() { Q_EMIT changed(); }
    // Purges the records whose names of `kind` are marked (the purge at close: no step, the
    // close's save writes it). Returns how many went.
    int purgeMarked(TChargeLog::NameKind kind);

    // Looks for a change another program made to the file and merges it as a step of its own.
    void takeOutsideChange();
    // Merges the charges that sync tools' conflict copies of the log hold and the log lacks,
    // each copy as a step of its own, and puts the merged copies with the backups; a copy
    // that cannot be read stays where it is and is reported once.
    void mergeConflictCopies();
    // Writes the log as it is (the close). Throws QorLogError when it cannot be written.
    void save();
    // From the close on, changes of other programs are no longer taken into memory.
    void setClosing(bool closing) { m_closing = closing; }
    // A save writes the file, and the guard reads and works out another program's change, on a
    // thread of its own while the window paints and its timers run (input waits). Meanwhile the
    // log does not change: a change asked for then is refused
    // with QorLogError before anything changes, another program's change and conflict copies
    // are taken once the file is written, and callers that can wait (other programs' calls,
    // the close) wait until isWriting() is false.
    bool isWriting() const { return m_writing; }

    // For the undo steps: makes `change`, then saves; when the save fails, `revert` takes the
    // change back, the undo stack returns to where it was and stepFailed() tells why.
    // `takeBack` (if given) does to any log what `revert` does to this one's charges: the
    // change then need not copy them (see TLogFileGuard::lendBase).
    void runUndoStep(const std::function<void()> &change, const std::function<void()> &revert,
                     bool undoing, const TLogFileGuard::TakeBack &takeBack = {});
    // Applies a colour without a step (undo steps, the colours read from the file).
    void applySeriesColour(Series series, qint32 colour);

    // The colours as the log file stores them (0x00BBGGRR) and as Qt draws them.
    static QColor toQColor(qint32 colour);
    static qint32 fromQColor(const QColor &colour);

Q_SIGNALS:
    // The charges, the names or the marks changed: windows that show them refresh.
    void changed();
    // The colour of a series (a Series value) was set.
    void seriesColourChanged(int series);
    // A notice that does not stop the work; `name` tells its kind (a later one of the same
    // kind replaces the text).
    void notice(const QString &name, const QString &text);
    // An undo or redo could not be saved and was taken back.
    void stepFailed(const QString &message);

private:
    // After an undo step that could not be saved: the stack back where it was (once it has
    // finished its move to `moved`), and the user told.
    void putStackBack(int moved, bool undoing, const QString &failure);
    // Runs `work`, telling the user what it fails with as a failed step (nobody waits on it);
    // later() does so once the event loop is back.
    void reportingFailure(void (TChargeLogDocument::*work)());
    void later(void (TChargeLogDocument::*work)());
    // After another program's change was merged: saved, or known to be what the file holds.
    void keepFileAfterMerge();
    // Runs the guard's writing of the file as isWriting() tells.
    void writeLive(const std::function<void()> &write);
    void refuseWhileWriting() const;
    static QString writingText();
    // Makes a change of the charge list and saves it, taking it back when the save fails.
    // `change` returns the step to push (an empty text: nothing to push).
    void commit(const std::function<QString(TChargeLogChange &)> &change, bool outsideFirst);
    // Carries out a merge found by the guard while saving, as a step of its own.
    void applyMergeDuringSave(TChargeLog &log, const TLogMerge &merge);
    // Takes out the records holding `removedKeys`, appends `added` and sorts: the step that
    // undoes and redoes exactly that.
    // The charges that go for good are deleted at the times `deletionTimes` gives (else now).
    TChargeLogChange replaceEntries(TChargeLog &log, const QSet<qint32> &removedKeys,
                                    const QVector<TChargeEntry> &added,
                                    const QHash<QUuid, double> &deletionTimes = {});
    // Renames `from` to `to` in every record (moving them to `to` when another battery has
    // that name, else renaming the names in place): the step, with the renames in its Cards.
    TChargeLogChange renameInRecords(const QString &from, const QString &to);
    // A merge as the step that makes it, with the deletions it brings.
    TChargeLogChange applyMerge(TChargeLog &log, const TLogMerge &merge);
    void checkAddable(const QVector<TChargeEntry> &removed,
                      const QVector<TChargeEntry> &added) const;
    // Saves; merges another program's change found meanwhile as steps of their own.
    void saveLog();
    void pushMergedSteps();
    // Looks on a thread of its own where the file just read holds each charge's bytes, so
    // that the first save copies them rather than formatting every charge again.
    void findWrittenPlaces(const TLogFileIdentity &readFrom);
    // Takes what the thread found once it is done (`wait`: waits for it first).
    void takeWrittenPlaces(bool wait);

    QString m_path;
    TChargeLog m_log;
    TLogFileGuard *m_guard = nullptr;
    QUndoStack *m_undoStack = nullptr;
    QVector<TChargeLogChange> m_mergedDuringSave;
    bool m_inUndoStep = false;
    QSet<QString> m_reportedCopies;
    bool m_copiesPending = false; // a conflict copy waits for a save that succeeds
    bool m_closing = false;
    bool m_writing = false;          // the file is being written (see isWriting())
    bool m_lookAfterWriting = false; // another program's change waits for the writing
    bool m_restoringStack = false;
    std::shared_ptr<const TChargeLog> m_placesFor; // the log as read, while its places are sought
    std::future<LogFile::TFoundPlaces> m_placesFound;
};
