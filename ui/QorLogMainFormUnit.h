#pragma once

#include "AddChargeHandler.h"
#include "ChargeLog.h"
#include "ChargeLogChange.h"
#include "ChargeRecordStore.h"
#include "LogFile.h"
#include "LogFileGuard.h"

#include <QColor>
#include <QMainWindow>
#include <QVector>

#include <functional>

class QAction;
class QColorDialog;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTableView;
class QUndoStack;
class QWidget;
class TBarChart;
class TChargeLogTableModel;
class TFilterForm;

// Per-battery figures of the chart, summed from the shown records.
struct TChartTotals
{
    QStringList Labels; // the chart battery list: unmarked batteries in list order
    QVector<double> Cycles;
    QVector<double> Charge;
    QVector<double> Discharge;

    // Builds the chart battery list and zero figures; positions are found once, not per record.
    void begin(const TNameList &batteries);
    // Counts one shown record: a cycle when its amp-hours are not 0; its amp-hours to Charge
    // when both amp-hours and amps are positive, else their absolute value to Discharge.
    void AddChargeToChart(const TChargeRecord &record);

private:
    QVector<int> m_positionOfBattery; // battery list position -> chart position, or -1
};

// The main window: owns the log in memory, shows it as a table and a chart, and is the one
// place through which charges enter (the dialog and the automation server call it).
class TQorLogMainForm : public QMainWindow, public IChargeRecordStore, public IAddChargeHandler
{
    Q_OBJECT
public:
    explicit TQorLogMainForm(const QString &logFilePath, QWidget *parent = nullptr);
    ~TQorLogMainForm() override;

    // Reads the log file (reporting progress) and builds table and chart. A log that exists but
    // cannot be read completely is copied aside first, so no later save can destroy it; the
    // user is told once the window shows (showStartupNotice).
    void FormCreate(const LogFile::ProgressFn &progress = {});
    void showStartupNotice();
    QString startupNotice() const { return m_startupNotice; }

    void setFilterForm(TFilterForm *form) { m_filterForm = form; }
    TFilterForm *filterForm() const { return m_filterForm; }
    QString logFilePath() const { return m_logFilePath; }
    TChargeLog &log() { return m_log; }
    // Watches the log file for other programs, merges their changes and keeps the backups.
    TLogFileGuard *logFileGuard() const { return m_guard; }

    // IChargeRecordStore
    const TChargeLog &chargeLog() const override { return m_log; }
    void AddChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                         const QString &charger, const QString &battery, double nominalChargeAmps,
                         double ampHours, const QString &termination, const QString &comment,
                         const QString &chargerLogFileName) override;

    // IAddChargeHandler
    void HandleAddCharge(double chargeDateTime, const QString &powerSource,
                         bool usePreviousPowerSource, const QString &charger,
                         const QString &battery, double nominalChargeAmps, double ampHours,
                         const QString &termination, const QString &commentString,
                         const QString &chargerLogFileName, bool showConfirmationForm) override;

    void RefreshDisplay();
    void OpenChargeDataForm(qint32 key);

    qint32 CyclesSeriesColour() const { return m_log.CyclesSeriesColour; }
    qint32 ChargeSeriesColour() const { return m_log.ChargeSeriesColour; }
    qint32 DischargeSeriesColour() const { return m_log.DischargeSeriesColour; }
    void setCyclesSeriesColour(qint32 colour);
    void setChargeSeriesColour(qint32 colour);
    void setDischargeSeriesColour(qint32 colour);
    static QColor toQColor(qint32 colour);
    static qint32 fromQColor(const QColor &colour);

    // A close that nobody can answer (the session bus went away, SIGTERM, SIGHUP): stops taking
    // charges, drops open charge data dialogs, writes the log without purging and without any
    // question and emits closed(), whatever window or box is open. Returns false when the log
    // could not be written.
    bool closeUnattended();
    // True from the moment the close is decided: no charge is taken any more.
    bool isCloseDecided() const { return m_closeDecided; }

    // A second start asked this instance to come to the front.
    void activateFromSecondInstance();

    // Saves the log when the window closes. Kept apart so that a program closing for another
    // reason (the session bus went away) goes the same way.
    TChartTotals chartTotals() const { return m_totals; }

    // Controls, named as the layout names them.
    TBarChart *Chart1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QSplitter *Splitter2 = nullptr;
    QWidget *Panel1 = nullptr;
    QTableView *ChargeLogStringGrid = nullptr;
    QWidget *ControlsPanel = nullptr;
    QPushButton *AddChargeRecordBitBtn = nullptr;
    QPushButton *DeleteSelectionBitBtn = nullptr;
    QPushButton *FilterPowerSourcesBitBtn = nullptr;
    QPushButton *FilterBatteriesBitBtn = nullptr;
    QPushButton *FilterChargersBitBtn = nullptr;
    QPushButton *FilterTerminationsBitBtn = nullptr;
    QLabel *BatteryLabel = nullptr;
    QLabel *ChargeLabel = nullptr;
    QLabel *CyclesLabel = nullptr;
    QLabel *DischargeLabel = nullptr;
    QMenu *ChartPopupMenu = nullptr;
    QColorDialog *ColorDialog1 = nullptr;
    TChargeLogTableModel *tableModel() const { return m_tableModel; }

    QAction *PromptForChargeRecordAction = nullptr;
    QAction *DeleteSelectionAction = nullptr;
    QAction *FilterPowerSourcesAction = nullptr;
    QAction *FilterBatteriesAction = nullptr;
    QAction *FilterChargersAction = nullptr;
    QAction *FilterTerminationsAction = nullptr;
    QAction *DeletePowerSourcesAction = nullptr;
    QAction *DeleteBatteriesAction = nullptr;
    QAction *DeleteChargersAction = nullptr;
    QAction *DeleteTerminationsAction = nullptr;
    QAction *CyclesColourAction = nullptr;
    QAction *ChargeColourAction = nullptr;
    QAction *DischargeColourAction = nullptr;

    // The menu bar. Other commands join File before QuitAction (behind a separator) and View at
    // its end; every entry is the same QAction as its button or popup item.
    QMenu *FileMenu = nullptr;
    QMenu *EditMenu = nullptr;
    QMenu *ViewMenu = nullptr;
    QMenu *HelpMenu = nullptr;
    QAction *QuitAction = nullptr;
    QAction *RestoreBackupAction = nullptr; // File > Restore Backup...
    QAction *UndoAction = nullptr;
    QAction *RedoAction = nullptr;
    QAction *EditChargeRecordAction = nullptr;
    QAction *CopyAction = nullptr;
    QAction *SelectAllAction = nullptr;
    QAction *KeyboardShortcutsAction = nullptr;
    QAction *AboutAction = nullptr;
    QAction *OpenChargerLogFileAction = nullptr;
    QMenu *TableContextMenu = nullptr; // on the table's rows

    // Exchange with other programs (File menu): CSV out and in, the report as PDF or on paper.
    QAction *ExportCsvAction = nullptr;
    QAction *ImportCsvAction = nullptr;
    QAction *ExportPdfAction = nullptr;
    QAction *PrintAction = nullptr;

    // Every change of the log is one step here; undo and redo refresh and save like the change.
    QUndoStack *undoStack() const { return m_undoStack; }

    // Changes the charge list as one undo step named `text` (shown as "Undo <text>"): takes out
    // the records holding the keys of `removed` (keys no record holds are skipped; what goes
    // is the record as the log holds it), appends the `added` entries as they are (their keys
    // must be new, e.g. from NextKey, which then stays above them; their name positions must
    // be valid in the current name lists), then RefreshDisplay sorts them in and the log is
    // saved atomically. Undo gives back exactly the list of before, redo that of after, each
    // followed by RefreshDisplay and a save. An entry that is both removed and added (same
    // key) is an edit. Throws QorLogError before anything changes when an added entry is not
    // acceptable; a failed save throws too, with the change kept in memory and on the stack.
    void applyLogChange(const QString &text, QVector<TChargeEntry> removed,
                        QVector<TChargeEntry> added);

    // For the undo steps: runs `change` under the hourglass, then RefreshDisplay and a save.
    // Nothing is thrown: a failed save is reported once the step is complete, and the data
    // reaches the file at the next good save.
    void runUndoStep(const std::function<void()> &change);

public Q_SLOTS:
    void PromptForChargeRecordActionExecute();
    void DeleteSelectionActionExecute();
    void FilterPowerSourcesActionExecute();
    void FilterBatteriesActionExecute();
    void FilterChargersActionExecute();
    void FilterTerminationsActionExecute();
    void DeletePowerSourcesActionExecute();
    void DeleteBatteriesActionExecute();
    void DeleteChargersActionExecute();
    void DeleteTerminationsActionExecute();
    void CyclesColourActionExecute();
    void ChargeColourActionExecute();
    void DischargeColourActionExecute();
    void Chart1ClickSeries(int series, int index);
    void ChargeLogStringGridDblClick(const QModelIndex &index);
    void EditChargeRecordActionExecute();
    void CopyActionExecute();
    void SelectAllActionExecute();
    void KeyboardShortcutsActionExecute();
    void AboutActionExecute();
    void OpenChargerLogFileActionExecute();
    void ExportCsvActionExecute();
    void ImportCsvActionExecute();
    void ExportPdfActionExecute();
    void PrintActionExecute();
    void RestoreBackupActionExecute();
    // Replaces the charges in memory by those of the backup at `path`, keeping the file as it
    // is now as a backup first, and saves. Throws QorLogError when either cannot be read or
    // kept; the log is unchanged then.
    void RestoreBackup(const QString &path);

Q_SIGNALS:
    // Emitted once the window has closed for good and the log has been written.
    void closed();
    // Emitted at the end of every RefreshDisplay: windows that follow the log update then.
    void displayRefreshed();
    // The close is decided (the questions are answered, or nobody can answer them): whoever
    // serves charges from outside stops now, so that a late caller hears of it.
    void closeDecided();
    // A decided close did not happen after all (the user kept the window when the log could
    // not be written): charges are taken again.
    void closeAbandoned();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    // Every write of the log goes through here: the guard merges what another program did
    // to the file first and keeps the day's backup.
    void SaveLog();
    void takeOutsideChange();
    void outsideChangeMerged(const TLogMerge &merge);
    // A notice that does not stop the work: a window of its own, one per kind, shown without
    // taking the focus; a later notice of the same kind replaces the text.
    void showNotice(const QString &name, const QString &text);
    void createControls();
    void createMenus();
    void createBackupCommands();
    void updateSelectionActions();
    // The rows wholly selected, as ascending spans of row numbers that do not overlap.
    struct RowSpan
    {
        int first;
        int last;
    };
    QList<RowSpan> selectedRowSpans() const;
    QList<int> selectedRowNumbers() const; // ascending, rows with a record only
    // The row the table commands act on: the current row when selected, else the first
    // selected one; -1 for none.
    int commandRow() const;
    // The charger log file named by the command row's record, as an absolute path, when the
    // file is there; else an empty text.
    QString existingChargerLogFile() const;
    // Pushes the step of a change already made: `removed` as taken out (positions of before),
    // the records holding `addedKeys` as they stand now.
    void pushDoneChange(const QString &text, QVector<TPositionedEntry> removed,
                        const QVector<qint32> &addedKeys);
    // Sets a series colour as one undo step (none when the colour stays).
    void changeSeriesColour(const QString &text, void (TQorLogMainForm::*setter)(qint32),
                            qint32 oldColour, qint32 newColour);
    void showInformation(const QString &objectName, const QString &title, const QString &text);
    void applyChartColours();
    bool FormCloseQuery();
    bool FormClose();
    void runFilter(const QString &title, TNameList &list);
    void purge(const QString &title, TChargeLog::NameKind kind);
    bool chooseColour(QColor &colour);
    void selectLastRow();
    void scrollNewestIntoView();

    TChargeLog m_log;
    QString m_logFilePath;
    QString m_startupNotice;
    TChargeLogTableModel *m_tableModel = nullptr;
    QUndoStack *m_undoStack = nullptr;
    TFilterForm *m_filterForm = nullptr;
    TLogFileGuard *m_guard = nullptr;
    TChartTotals m_totals;
    QColor m_lastChosenColour = Qt::black;
    void decideClose();
    void discardChargeDataForms();

    bool m_closing = false;      // closed, or closing without questions
    bool m_closeDecided = false; // from the answer that allows closing on
    bool m_unattended = false;   // closing with nobody to answer: no purge, no questions
    bool m_inCloseQuery = false; // the close questions are open
};
