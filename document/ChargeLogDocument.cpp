#include "ChargeLogDocument.h"

#include "ChargeIdentity.h"
#include "ConflictCopies.h"
#include "LogUndoCommands.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <QUndoStack>

#include <atomic>
#include <exception>
#include <thread>
#include <utility>

namespace {

// Shows the hourglass while the log changes, and puts the cursor back however the work ends.
class WaitCursorGuard
{
public:
    WaitCursorGuard()
    {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursorGuard()
    {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursorGuard(const WaitCursorGuard &) = delete;
    WaitCursorGuard &operator=(const WaitCursorGuard &) = delete;
};

// Steps the undo stack keeps for the run (the oldest go first).
constexpr int UndoSteps = 500;

} // namespace

TChargeLogDocument::TChargeLogDocument(const QString &path, const QString &fallbackBackupParent,
                                       QObject *parent)
    : QObject(parent), m_path(path)
{
    m_undoStack = new QUndoStack(this);
    m_undoStack->setUndoLimit(UndoSteps);
    m_guard = new TLogFileGuard(path, fallbackBackupParent, this);
    m_guard->setMergeApplier(
        [this](TChargeLog &log, const TLogMerge &merge) { applyMergeDuringSave(log, merge); });
    m_guard->setWriteRunner([this](const std::function<void()> &write) { writeLive(write); });
    // Nobody waits on the watcher's call: a failure reaches the user as a failed step.
    connect(m_guard, &TLogFileGuard::outsideChange, this,
            [this] { reportingFailure(&TChargeLogDocument::takeOutsideChange); });
    connect(m_guard, &TLogFileGuard::merged, this, [this](const TLogMerge &merge) {
        Q_EMIT notice(QStringLiteral("OutsideChangeNoticeBox"), OutsideChangeNotice(merge));
    });
    connect(m_guard, &TLogFileGuard::damagedReplacementKept, this, [this](const QString &text) {
        Q_EMIT notice(QStringLiteral("DamagedReplacementNoticeBox"), text);
    });
    connect(m_guard, &TLogFileGuard::conflictCopiesAppeared, this,
            [this] { reportingFailure(&TChargeLogDocument::mergeConflictCopies); });
    connect(m_guard, &TLogFileGuard::readableAgain, this, [this] {
        Q_EMIT notice(QStringLiteral("ReadOnlyNoticeBox"),
                      tr("The log file can be read again; QorLog saves it as before."));
    });
    connect(m_guard, &TLogFileGuard::backupFailed, this, [this](const QString &text) {
        Q_EMIT notice(QStringLiteral("BackupFailureNoticeBox"),
                      tr("%1.\n\nQorLog goes on saving the log without backups.").arg(text));
    });
}

TChargeLogDocument::~TChargeLogDocument()
{
    if (m_placesFound.valid())
        m_placesFound.wait();
}

void TChargeLogDocument::findWrittenPlaces(const TLogFileIdentity &readFrom)
{
    if (m_placesFound.valid())
        m_placesFound.wait();
    if (m_log.ChargeStringList.isEmpty() || !readFrom.Exists)
        return;
    // The thread reads a copy that shares the entries, so the log stays free to change; what
    // it finds is taken only while the log still holds those very entries, unsaved.
    m_placesFor = std::make_shared<const TChargeLog>(m_log);
    const auto find = [this, log = m_placesFor, path = m_path, readFrom] {
        LogFile::TFoundPlaces found;
        if (!LogFile::FindWrittenPlaces(path, *log, readFrom, found))
            found = LogFile::TFoundPlaces();
        QMetaObject::invokeMethod(
            this, [this] { takeWrittenPlaces(false); }, Qt::QueuedConnection);
        return found;
    };
    try {
        m_placesFound = std::async(std::launch::async, find);
    } catch (const std::system_error &) {
        m_placesFor.reset(); // no thread to spare: the first save formats every charge
    }
}

void TChargeLogDocument::takeWrittenPlaces(bool wait)
{
    if (m_writing)
        return; // the places are for the log as read; the save under way writes new ones
    if (!m_placesFound.valid() ||
        (!wait && m_placesFound.wait_for(std::chrono::seconds(0)) != std::future_status::ready))
        return;
    LogFile::TFoundPlaces found = m_placesFound.get();
    const std::shared_ptr<const TChargeLog> readLog = std::exchange(m_placesFor, nullptr);
    if (found.Found == 0 || m_log.LastWritten.Generation != 0 || !readLog ||
        !m_log.ChargeStringList.sharesEntriesWith(readLog->ChargeStringList))
        return;
    m_log.ChargeStringList.noteWrittenPlaces(found.Places);
    m_log.LastWritten = std::move(found.Written);
}

QString TChargeLogDocument::load(const LogFile::ProgressFn &progress)
{
    TChargeLog loaded;
    // Zero marks a colour the file does not give: that series keeps its current colour.
    loaded.CyclesSeriesColour = loaded.ChargeSeriesColour = loaded.DischargeSeriesColour = 0;
    QString failure;
    bool damaged = false;
    bool unreadable = false;
    // The file as it was before the read: what another QorLog saves meanwhile is merged later.
    const TLogFileIdentity readFrom = TLogFileIdentity::ofPath(m_path);
    try {
        LogFile::LoadChargeLog(m_path, loaded, progress);
    } catch (const QorLogReadError &error) {
        // Not a damaged file but one that could not be read (a disk or a network folder
        // failing): nothing is kept aside, and nothing is saved over it until it reads again.
        unreadable = true;
        failure = error.message();
    } catch (const QorLogError &error) {
        damaged = true;
        failure = error.message();
    }
    // Whatever was read stays, also after a failure part-way.
    const qint32 colours[] = {loaded.CyclesSeriesColour, loaded.ChargeSeriesColour,
                              loaded.DischargeSeriesColour};
    loaded.CyclesSeriesColour = m_log.CyclesSeriesColour;
    loaded.ChargeSeriesColour = m_log.ChargeSeriesColour;
    loaded.DischargeSeriesColour = m_log.DischargeSeriesColour;
    // Charges the file gives without ids (an older QorLog's file, another program's) get them
    // as they enter the log; the next save writes them.
    ChargeIdentity::assignMissing(loaded);
    m_log = std::move(loaded);
    // The log before may be of another size: what it let go is not held for this one.
    TChargeList::letGoOfSpares();
    for (const Series series : {CyclesSeries, ChargeSeries, DischargeSeries})
        if (colours[series] != 0)
            applySeriesColour(series, colours[series]);
    m_log.ChargeStringList.sortByDateTime();

    QString notice;
    if (unreadable) {
        notice = tr("The log file could not be read:\n%1\n\nQorLog shows what it could read and "
                    "saves nothing until the file can be read again; changes are refused "
                    "meanwhile.")
                     .arg(failure);
    } else if (damaged) {
        QString where;
        try {
            where = tr("The file as it was has been kept as %1.")
                        .arg(m_guard->backups().keepDamagedCopy());
        } catch (const QorLogError &error) {
            where = error.message() + QLatin1Char('.');
        }
        const int read = m_log.ChargeStringList.count();
        const QString shown = read == 1
                                  ? tr("QorLog shows the one charge it could read.")
                                  : tr("QorLog shows the %1 charges it could read.").arg(read);
        notice = tr("The log file could not be read completely:\n%1\n\n%2 %3")
                     .arg(failure, shown, where);
    }
    // What was read is what the file holds, as far as anything later can tell.
    m_guard->adopt(m_log, !damaged && !unreadable, readFrom);
    // A log read by the scanner knows already where its charges stand in the file.
    if (!damaged && !unreadable && m_log.LastWritten.Generation == 0)
        findWrittenPlaces(readFrom);
    m_guard->setReadOnly(unreadable);
    if (!unreadable) {
        const QString cannotWrite = m_guard->writeProblem();
        if (!cannotWrite.isEmpty())
            notice = (notice.isEmpty() ? QString() : notice + QStringLiteral("\n\n")) +
                     tr("QorLog cannot write the log file %1: %2\n\nIt shows the log read-only: "
                        "changes are refused until the file can be written.")
                         .arg(m_path, cannotWrite);
    }
    Q_EMIT changed();
    if (!unreadable)
        mergeConflictCopies();
    return notice;
}

TChargeLogChange TChargeLogDocument::replaceEntries(TChargeLog &log,
                                                    const QSet<qint32> &removedKeys,
                                                    const QVector<TChargeEntry> &added,
                                                    const QHash<QUuid, double> &deletionTimes)
{
    TChargeLogChange step;
    step.Removed = log.ChargeStringList.takeKeys(removedKeys);
    QVector<qint32> keys;
    keys.reserve(added.size());
    for (const TChargeEntry &entry : added) {
        keys.append(entry.Record.Key);
        log.NextKey = qMax(log.NextKey, entry.Record.Key + 1);
        log.ChargeStringList.append(entry);
    }
    // Sorted here, so that the positions the step keeps are those every window shows.
    log.ChargeStringList.sortByDateTime();
    step.Added = TChargeLogChange::positionsOf(log.ChargeStringList, keys);
    step.recordDeletions(log.Deleted, deletionTimes, ChargeIdentity::nowUtc());
    return step;
}

TChargeLogChange TChargeLogDocument::applyMerge(TChargeLog &log, const TLogMerge &merge)
{
    QSet<qint32> removedKeys;
    for (const TChargeEntry &entry : merge.Removed)
        removedKeys.insert(entry.Record.Key);
    TChargeLogChange step = replaceEntries(log, removedKeys, merge.Added, merge.Deletions);
    // Deletions of charges this log never held travel on with it (no step: nothing shows).
    for (auto it = merge.Deletions.cbegin(); it != merge.Deletions.cend(); ++it)
        if (!log.Deleted.contains(it.key()))
            log.Deleted.insert(it.key(), it.value());
    if (merge.Cards) {
        auto cards = std::make_shared<TCardsChange>();
        cards->Before = log.Cards;
        cards->After = *merge.Cards;
        cards->redo(log.Cards, log.BatteriesStringList);
        step.Cards = std::move(cards);
    }
    return step;
}

void TChargeLogDocument::commit(const std::function<QString(TChargeLogChange &)> &change,
                                bool outsideFirst)
{
    refuseWhileWriting();
    WaitCursorGuard waitCursor;
    // Another program's change first, as a step of its own: then the step below is only ours.
    if (outsideFirst)
        takeOutsideChange();
    // A save soon after the read waits for the places of the charges in the file rather than
    // formatting them all again: finding them costs less than formatting them.
    takeWrittenPlaces(true);
    // All but the charges as they were, for a change that is not saved: the change's own step
    // takes the charges back. Neither this copy nor the base holds the charges meanwhile, so
    // that the change does not copy them all.
    TChargeLog before = m_log;
    before.ChargeStringList.clear();
    m_guard->lendBase(m_log);
    TChargeLogChange step;
    QString text;
    try {
        text = change(step); // throws before anything changes
    } catch (...) {
        m_guard->returnBase(m_log);
        throw;
    }
    m_mergedDuringSave.clear();
    try {
        m_guard->save(m_log, [&step](TChargeLog &log) { step.undo(log.ChargeStringList); });
    } catch (const QorLogError &) {
        // The change is not made: nothing is left in memory to be written behind the back of
        // whoever was told that it failed.
        step.undo(m_log);
        m_log.ChargeStringList.sortByDateTime();
        if (m_mergedDuringSave.isEmpty()) {
            m_log.PowerSourcesStringList = before.PowerSourcesStringList;
            m_log.ChargersStringList = before.ChargersStringList;
            m_log.BatteriesStringList = before.BatteriesStringList;
            m_log.TerminationsStringList = before.TerminationsStringList;
            m_log.NextKey = before.NextKey;
            m_log.Deleted = before.Deleted;
            m_log.CyclesSeriesColour = before.CyclesSeriesColour;
            m_log.ChargeSeriesColour = before.ChargeSeriesColour;
            m_log.DischargeSeriesColour = before.DischargeSeriesColour;
            m_guard->returnBase(m_log);
        } else {
            // The other program's change is in the file already and stays in memory too.
            pushMergedSteps();
        }
        Q_EMIT changed();
        throw;
    }
    if (!text.isEmpty())
        m_undoStack->push(new TLogChangeCommand(this, text, std::move(step)));
    pushMergedSteps();
    Q_EMIT changed();
    // Conflict copies that could not be merged before are merged once a save succeeds.
    if (m_copiesPending)
        later(&TChargeLogDocument::mergeConflictCopies);
}

qint32 TChargeLogDocument::storeCharge(qint32 key, double dateTime, const QString &powerSource,
                                       const QString &charger, const QString &battery,
                                       double nominalChargeAmps, double ampHours,
                                       const QString &termination, const QString &comment,
                                       const QString &chargerLogFileName)
{
    qint32 stored = 0;
    commit(
        [&](TChargeLogChange &step) {
            // The record as it was, for the undo step of an edit.
            QVector<TPositionedEntry> before;
            if (key >= 0)
                before = TChargeLogChange::positionsOf(m_log.ChargeStringList, {key});
            // Refuses values the file could not hold before anything changes; an edit of a
            // record deleted meanwhile changes nothing, but new names still enter the lists.
            stored = m_log.StoreChargeRecord(key, dateTime, powerSource, charger, battery,
                                             nominalChargeAmps, ampHours, termination, comment,
                                             chargerLogFileName);
            if (stored == 0)
                return QString();
            m_log.ChargeStringList.sortByDateTime();
            step.Removed = std::move(before);
            step.Added = TChargeLogChange::positionsOf(m_log.ChargeStringList, {stored});
            return key < 0 ? tr("Add Charge") : tr("Edit Charge");
        },
        true);
    return stored;
}

int TChargeLogDocument::deleteCharges(const QSet<qint32> &keys)
{
    int count = 0;
    commit(
        [&](TChargeLogChange &step) {
            step.Removed = m_log.ChargeStringList.takeKeys(keys);
            count = int(step.Removed.size());
            if (count == 0)
                return QString();
            // The deletion travels with the log: other copies of it learn of it.
            // The save that follows prunes the deletions to what the log keeps now.
            step.recordDeletions(m_log.Deleted, {}, ChargeIdentity::nowUtc(),
                                 m_log.deletionsKept());
            return count == 1 ? tr("Delete 1 Charge") : tr("Delete %n Charges", nullptr, count);
        },
        true);
    return count;
}

void TChargeLogDocument::checkAddable(const QVector<TChargeEntry> &removed,
                                      const QVector<TChargeEntry> &added) const
{
    QSet<qint32> removedKeys;
    for (const TChargeEntry &entry : removed)
        removedKeys.insert(entry.Record.Key);
    QSet<qint32> addedKeys;
    for (const TChargeEntry &entry : added) {
        const TChargeRecord &r = entry.Record;
        const bool keyInUse = (m_log.FindChargeIndex(r.Key) >= 0 && !removedKeys.contains(r.Key));
        if (r.Key <= 0 || keyInUse || addedKeys.contains(r.Key))
            throw QorLogError(
                tr("The change cannot be made: key %1 is already in use.").arg(r.Key));
        if (!m_log.PowerSourcesStringList.isValidIndex(r.PowerSourceIndex) ||
            !m_log.ChargersStringList.isValidIndex(r.ChargerIndex) ||
            !m_log.BatteriesStringList.isValidIndex(r.BatteryIndex) ||
            !m_log.TerminationsStringList.isValidIndex(r.TerminationIndex))
            throw QorLogError(
                tr("The change cannot be made: charge %1 names no known name.").arg(r.Key));
        addedKeys.insert(r.Key);
    }
}

void TChargeLogDocument::applyChange(const QString &text, const QVector<TChargeEntry> &removed,
                                     QVector<TChargeEntry> added)
{
    checkAddable(removed, added);
    QSet<qint32> removedKeys;
    for (const TChargeEntry &entry : removed)
        removedKeys.insert(entry.Record.Key);
    // The entries were made against the log as it is: another program's change is merged by
    // the save, after them, and keys it takes come above theirs.
    commit(
        [&](TChargeLogChange &step) {
            step = replaceEntries(m_log, removedKeys, added);
            return text;
        },
        false);
}

void TChargeLogDocument::restoreBackup(const QString &path)
{
    WaitCursorGuard waitCursor;
    TChargeLog backup;
    // A backup gone meanwhile must not read as an empty log that replaces everything.
    if (LogFile::LoadChargeLog(path, backup) == LogFile::LoadOutcome::Missing)
        throw QorLogError(tr("The backup %1 is not there any more").arg(path));
    // An outside change first, so that the copy below holds it too.
    takeOutsideChange();
    m_guard->backUpBeforeRestore();
    const TLogMerge change = LogMerge::ReplaceBy(backup, m_log);
    checkAddable(change.Removed, change.Added);
    commit(
        [&](TChargeLogChange &step) {
            step = applyMerge(m_log, change);
            return tr("Restore Backup");
        },
        false);
}

qint32 TChargeLogDocument::seriesColour(Series series) const
{
    switch (series) {
    case CyclesSeries:
        return m_log.CyclesSeriesColour;
    case ChargeSeries:
        return m_log.ChargeSeriesColour;
    case DischargeSeries:
        return m_log.DischargeSeriesColour;
    }
    return 0;
}

void TChargeLogDocument::applySeriesColour(Series series, qint32 colour)
{
    switch (series) {
    case CyclesSeries:
        m_log.CyclesSeriesColour = colour;
        break;
    case ChargeSeries:
        m_log.ChargeSeriesColour = colour;
        break;
    case DischargeSeries:
        m_log.DischargeSeriesColour = colour;
        break;
    }
    Q_EMIT seriesColourChanged(series);
}

void TChargeLogDocument::setSeriesColour(Series series, qint32 colour)
{
    const qint32 old = seriesColour(series);
    if (colour == old)
        return;
    static const char *const texts[] = {QT_TR_NOOP("Cycles Colour Change"),
                                        QT_TR_NOOP("Charge Colour Change"),
                                        QT_TR_NOOP("Discharge Colour Change")};
    WaitCursorGuard waitCursor;
    takeOutsideChange();
    applySeriesColour(series, colour);
    try {
        saveLog();
    } catch (const QorLogError &) {
        applySeriesColour(series, old);
        throw;
    }
    m_undoStack->push(new TSeriesColourCommand(this, tr(texts[series]), series, old, colour));
}

int TChargeLogDocument::purgeMarked(TChargeLog::NameKind kind)
{
    refuseWhileWriting();
    WaitCursorGuard waitCursor;
    const int purged = m_log.PurgeMarked(kind);
    Q_EMIT changed();
    return purged;
}

void TChargeLogDocument::takeOutsideChange()
{
    if (m_closing)
        return;
    if (m_writing) {
        m_lookAfterWriting = true;
        return;
    }
    const TOutsideChange change = m_guard->takeOutsideChange(m_log);
    switch (change.Type) {
    case TOutsideChange::Kind::Merged: {
        if (change.Merge.isEmpty()) {
            // Only deletions of charges this log does not hold: nothing to show or undo. A
            // version of the other side's that this log's outlasted is written back over it.
            m_log.Deleted.insert(change.Merge.Deletions);
            if (!change.Merge.Conflicts.isEmpty()) {
                Q_EMIT notice(QStringLiteral("OutsideChangeNoticeBox"),
                              OutsideChangeNotice(change.Merge));
                saveLog();
            }
            return;
        }
        // One undo step of its own. It is in the file already, so a failed save below does
        // not take it back.
        TChargeLogChange step = applyMerge(m_log, change.Merge);
        m_undoStack->push(
            new TLogChangeCommand(this, tr("Change by Another Program"), std::move(step)));
        Q_EMIT changed();
        Q_EMIT notice(QStringLiteral("OutsideChangeNoticeBox"), OutsideChangeNotice(change.Merge));
        // In a turn of its own, after the timers due, so that the window shows the change
        // first.
        QTimer::singleShot(0, this,
                           [this] { reportingFailure(&TChargeLogDocument::keepFileAfterMerge); });
        return;
    }
    case TOutsideChange::Kind::Damaged:
        Q_EMIT notice(QStringLiteral("DamagedReplacementNoticeBox"), change.Message);
        saveLog();
        return;
    case TOutsideChange::Kind::Unreadable:
        Q_EMIT notice(QStringLiteral("ReadOnlyNoticeBox"), change.Message);
        return;
    case TOutsideChange::Kind::Missing: // written again at the next save
    case TOutsideChange::Kind::None:
        return;
    }
}

void TChargeLogDocument::keepFileAfterMerge()
{
    // A save under way writes the log, merge and all.
    if (m_writing)
        return;
    // Having taken only the other program's change, the log is what the file holds: no save,
    // but the charges' places in that file are found for the next one (unless the read found
    // them). Otherwise the save copies what stands in that file as in the log.
    TLogFileIdentity file;
    if (m_guard->fileHolds(m_log, file)) {
        if (m_log.LastWritten.Generation == 0 || m_log.LastWritten.Identity != file) {
            m_log.LastWritten = TWrittenLog();
            findWrittenPlaces(file);
        }
        return;
    }
    saveLog();
}

void TChargeLogDocument::mergeConflictCopies()
{
    if (m_closing || m_guard->isReadOnly())
        return;
    if (m_writing) {
        m_copiesPending = true; // merged once this save is done
        return;
    }
    m_copiesPending = false;
    for (const QString &path : m_guard->conflictCopies()) {
        ConflictCopies::TConflictMerge copy;
        try {
            commit(
                [&](TChargeLogChange &step) {
                    copy = ConflictCopies::mergeCopy(path, m_log);
                    if (copy.Damaged)
                        return QString();
                    // What the merge drops of this QorLog's stays in the backups.
                    if (copy.Merge.DroppedOurs)
                        m_guard->keepBeforeMerge(m_log);
                    if (copy.Merge.isEmpty()) {
                        m_log.Deleted.insert(copy.Merge.Deletions);
                        return QString();
                    }
                    step = applyMerge(m_log, copy.Merge);
                    return tr("Merge Conflict Copy");
                },
                true);
            if (!copy.Damaged)
                ConflictCopies::putAway(path, m_guard->backups());
        } catch (const QorLogError &error) {
            // Not merged (the log cannot be saved now, or the copy not put away): it stays
            // where it is and is merged again once a save succeeds.
            m_copiesPending = true;
            if (!m_reportedCopies.contains(path)) {
                m_reportedCopies.insert(path);
                Q_EMIT notice(QStringLiteral("ConflictCopyNoticeBox"),
                              tr("The conflict copy %1 could not be merged:\n%2\n\nIt stays "
                                 "where it is; QorLog merges it once it can save the log.")
                                  .arg(path, error.message()));
            }
            continue;
        }
        if (copy.Damaged) {
            // Left where it is, and told once.
            if (!m_reportedCopies.contains(path)) {
                m_reportedCopies.insert(path);
                Q_EMIT notice(QStringLiteral("ConflictCopyNoticeBox"), copy.Message);
            }
            continue;
        }
        m_reportedCopies.remove(path);
        if (!copy.Merge.isEmpty())
            Q_EMIT notice(QStringLiteral("ConflictCopyNoticeBox"),
                          ConflictCopies::mergedNotice(copy));
    }
}

void TChargeLogDocument::applyMergeDuringSave(TChargeLog &log, const TLogMerge &merge)
{
    m_mergedDuringSave.append(applyMerge(log, merge));
}

void TChargeLogDocument::pushMergedSteps()
{
    const QVector<TChargeLogChange> steps = std::exchange(m_mergedDuringSave, {});
    for (const TChargeLogChange &step : steps) {
        auto *command = new TLogChangeCommand(this, tr("Change by Another Program"), step);
        if (m_inUndoStep) // the stack is busy with its own move: pushed once it is done
            QMetaObject::invokeMethod(
                this, [this, command] { m_undoStack->push(command); }, Qt::QueuedConnection);
        else
            m_undoStack->push(command);
    }
}

void TChargeLogDocument::saveLog()
{
    refuseWhileWriting();
    takeWrittenPlaces(true);
    m_mergedDuringSave.clear();
    m_guard->save(m_log);
    pushMergedSteps();
}

void TChargeLogDocument::save()
{
    saveLog();
    Q_EMIT changed();
}

void TChargeLogDocument::runUndoStep(const std::function<void()> &change,
                                     const std::function<void()> &revert, bool undoing,
                                     const TLogFileGuard::TakeBack &takeBack)
{
    if (m_restoringStack)
        return;
    QString failure;
    if (m_writing) {
        failure = writingText();
    } else {
        WaitCursorGuard waitCursor;
        m_inUndoStep = true;
        takeWrittenPlaces(true);
        if (takeBack)
            m_guard->lendBase(m_log);
        change();
        m_log.ChargeStringList.sortByDateTime();
        m_mergedDuringSave.clear();
        try {
            m_guard->save(m_log, takeBack);
        } catch (const QorLogError &error) {
            failure = error.message();
            revert();
            m_log.ChargeStringList.sortByDateTime();
            m_guard->returnBase(m_log);
        }
        pushMergedSteps();
        m_inUndoStep = false;
    }
    Q_EMIT changed();
    if (failure.isEmpty())
        return;
    // The stack counts the step as made: once it has finished its move, it is put back
    // without changing the log again, and the user is told.
    const int moved = m_undoStack->index() + (undoing ? -1 : 1);
    QMetaObject::invokeMethod(
        this, [this, moved, undoing, failure] { putStackBack(moved, undoing, failure); },
        Qt::QueuedConnection);
}

void TChargeLogDocument::putStackBack(int moved, bool undoing, const QString &failure)
{
    // Not while a save writes the file: the user is told once the window takes input again.
    if (m_writing) {
        QTimer::singleShot(
            20, this, [this, moved, undoing, failure] { putStackBack(moved, undoing, failure); });
        return;
    }
    if (m_undoStack->index() == moved) {
        m_restoringStack = true;
        if (undoing)
            m_undoStack->redo();
        else
            m_undoStack->undo();
        m_restoringStack = false;
    }
    Q_EMIT stepFailed(failure);
}

QColor TChargeLogDocument::toQColor(qint32 colour)
{
    const quint32 c = quint32(colour);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

qint32 TChargeLogDocument::fromQColor(const QColor &colour)
{
    return qint32(quint32(colour.red()) | (quint32(colour.green()) << 8) |
                  (quint32(colour.blue()) << 16));
}

QString TChargeLogDocument::writingText()
{
    return tr("QorLog is still saving the log; nothing was changed. Try again in a moment.");
}

void TChargeLogDocument::refuseWhileWriting() const
{
    if (m_writing)
        throw QorLogError(writingText());
}

void TChargeLogDocument::writeLive(const std::function<void()> &write)
{
    const QCoreApplication *app = QCoreApplication::instance();
    if (m_writing || !app || QThread::currentThread() != app->thread()) {
        write();
        return;
    }
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    std::thread writer;
    QThread *const windowThread = app->thread();
    try {
        writer = std::thread([&] {
            try {
                write();
            } catch (...) {
                failure = std::current_exception();
            }
            done.store(true, std::memory_order_release);
            // The window's thread hears of it at once, also where it waits inside the handling
            // of a posted event (a call from the bus), whose loop may not see new ones yet.
            if (QAbstractEventDispatcher *dispatcher =
                    QAbstractEventDispatcher::instance(windowThread))
                dispatcher->wakeUp();
        });
    } catch (const std::system_error &) {
        write(); // no thread to spare: the window waits
        return;
    }
    // Meanwhile the window paints and the timers run, but input waits, as do other programs'
    // calls (see isWriting()): nothing changes the log while it is written.
    m_writing = true;
    // Should a wake-up still be missed, the wait ends within a few milliseconds all the same.
    QTimer tick;
    tick.start(10);
    while (!done.load(std::memory_order_acquire))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers |
                                        QEventLoop::WaitForMoreEvents);
    writer.join();
    m_writing = false;
    if (std::exchange(m_lookAfterWriting, false))
        later(&TChargeLogDocument::takeOutsideChange);
    if (failure)
        std::rethrow_exception(failure);
}

void TChargeLogDocument::reportingFailure(void (TChargeLogDocument::*work)())
{
    try {
        (this->*work)();
    } catch (const QorLogError &error) {
        Q_EMIT stepFailed(error.message());
    }
}

void TChargeLogDocument::later(void (TChargeLogDocument::*work)())
{
    QMetaObject::invokeMethod(
        this, [this, work] { reportingFailure(work); }, Qt::QueuedConnection);
}
