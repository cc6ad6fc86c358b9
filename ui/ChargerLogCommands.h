#pragma once

#include "ChargerLog.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class IChargeRecordStore;
class QAction;
class QMimeData;
class QWidget;
class TChargeDataForm;
class TChargeLogDocument;
class TChargerLogForm;

// What the main window does with the charger's own logs: shows the log a record names (and
// checks the record against it, offering the log's amp-hours as an edit), and starts records
// from log files, each in a charge data dialog filled in from the log for the user to confirm.
class TChargerLogCommands : public QObject
{
    Q_OBJECT
public:
    TChargerLogCommands(TChargeLogDocument *document, IChargeRecordStore *store, QWidget *window);

    // "Show Charger Log" (the table's menu and Edit) and "Add Charge from Charger Log…" (File);
    // the window puts them in its menus.
    QAction *ShowChargerLogAction = nullptr;
    QAction *AddChargeFromChargerLogAction = nullptr;

    // The charger log file a record names, as an absolute path (a name without a folder lies
    // beside the log), when the file is there; else an empty text.
    QString existingFileOf(qint32 key) const;
    // Opens `file` with the desktop's program for it; false when it is not there (any more).
    // Throws QorLogError when no program could open it.
    bool openFile(const QString &file);
    // The window of the log that the record holding `key` names, checking the record.
    TChargerLogForm *showForRecord(qint32 key);
    // The window of the log a charge data dialog's file name names, checking the dialog's
    // record when it edits one; the window follows the name while the dialog edits it.
    TChargerLogForm *showForDialog(TChargeDataForm *dialog);
    // What a charge data dialog is filled in with from a log file: the log's draft record and
    // the latest charge's names, or why the file gives no record.
    struct TLogDraft
    {
        bool valid = false;
        QString refusal;
        double dateTime = 0;
        QString charger, battery, termination, fileName;
        double nominalAmps = 0, ampHours = 0;
    };
    TLogDraft draftFrom(const QString &path) const;
    // A charge data dialog for each log file, filled in from the log. A log of untitled
    // columns the reader cannot place is shown in its window to have its columns chosen; the
    // dialog follows once the file is read with them.
    void addChargesFrom(const QStringList &paths);
    // The local files a drop brings, when it brings any.
    static QStringList droppedFiles(const QMimeData *data);

Q_SIGNALS:
    // The record the commands act on is needed: the window answers with its current one.
    void recordKeyRequested(qint32 &key);

private:
    void askForColumns(const QString &path);
    void openDraft(const QString &path, const ChargerLog::TDraftRecord &draft);
    TLogDraft fieldsOf(const QString &path, const ChargerLog::TDraftRecord &draft) const;
    void useLogAmpHours(qint32 key, double ampHours);
    // The path a record's log file name stands for now; empty when the record is gone.
    QString pathOf(qint32 key) const;
    // Shows the log of a record in its window, which checks the record from then on.
    TChargerLogForm *showRecordIn(TChargerLogForm *form, qint32 key);
    // The windows checking records follow their records' edits: file name and amp-hours.
    void followRecords();

    TChargeLogDocument *m_document;
    IChargeRecordStore *m_store;
    QWidget *m_window;
    // The windows checking a record, with the path its record named when last looked at.
    struct RecordWindow
    {
        QPointer<TChargerLogForm> form;
        QString path;
    };
    QList<RecordWindow> m_recordForms;
};
