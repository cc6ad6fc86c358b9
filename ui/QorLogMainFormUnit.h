#pragma once

#include "AddChargeHandler.h"
#include "ChargeChart.h"
#include "ChargeLogDocument.h"
#include "ChargeLogTableView.h"
#include "ChargeRecordStore.h"
#include "ChartTotals.h"

#include <QColor>
#include <QMainWindow>
#include <QVector>

class QAction;
class QColorDialog;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTableView;
class QUndoStack;
class QWidget;

class TBatteryDetailsForm;
class TBatteryOverviewForm;
class TBatteryCommands;
class TCaptureCommands;
class TChargerLogCommands;
class TChargeLogTableModel;

class TFilterForm;

// The main window: shows the log of its document as a table and a chart, and coordinates the
// commands of its menus, buttons and dialogs. Charges enter through it (the dialog and the
// automation server call it); every change itself is made by the document.
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
    // The log this window shows, and every change of it.
    TChargeLogDocument *document() const { return m_document; }
    QString logFilePath() const { return m_document->path(); }
    TChargeLog &log() { return m_document->log(); }
    // Watches the log file for other programs, merges their changes and keeps the backups.
    TLogFileGuard *logFileGuard() const { return m_document->guard(); }

    // IChargeRecordStore
    const TChargeLog &chargeLog() const override { return m_document->log(); }
    void AddChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                         const QString &charger, const QString &battery, double nominalChargeAmps,
                         double ampHours, const QString &termination, const QString &comment,
                         const QString &chargerLogFileName) override;
    void showChargerLog(TChargeDataForm *form) override;

    // IAddChargeHandler
    void HandleAddCharge(double chargeDateTime, const QString &powerSource,
                         bool usePreviousPowerSource, const QString &charger,
                         const QString &battery, double nominalChargeAmps, double ampHours,
                         const QString &termination, const QString &commentString,
                         const QString &chargerLogFileName, bool showConfirmationForm) override;
    bool AddChargeMustWait() const override;

    void RefreshDisplay();
    // Records that the filter marks hide from table and chart.
    int hiddenChargeCount() const;
    void OpenChargeDataForm(qint32 key);

    qint32 CyclesSeriesColour() const { return chargeLog().CyclesSeriesColour; }
    qint32 ChargeSeriesColour() const { return chargeLog().ChargeSeriesColour; }
    qint32 DischargeSeriesColour() const { return chargeLog().DischargeSeriesColour; }
    // Sets a colour without an undo step, as a colour read from the file is set.
    void setCyclesSeriesColour(qint32 colour)
    {
        m_document->applySeriesColour(TChargeLogDocument::CyclesSeries, colour);
    }
    void setChargeSeriesColour(qint32 colour)
    {
        m_document->applySeriesColour(TChargeLogDocument::ChargeSeries, colour);
    }
    void setDischargeSeriesColour(qint32 colour)
    {
        m_document->applySeriesColour(TChargeLogDocument::DischargeSeries, colour);
    }

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
    TChargeChart *Chart1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QSplitter *Splitter2 = nullptr;
    QWidget *Panel1 = nullptr;
    TChargeLogTableView *ChargeLogStringGrid = nullptr;
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
    QLabel *DueMarkLabel = nullptr; // shown when something is due for the battery read out
    QMenu *ChartPopupMenu = nullptr;
    QLabel *FilterStatusLabel = nullptr; // the status bar: what the filter marks hide
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
    QAction *RestoreBackupAction = nullptr;   // File > Restore Backup...
    QAction *BatteryOverviewAction = nullptr; // View menu and the chart's popup
    QAction *BatteryDetailsAction = nullptr;  // the chart's popup: the battery under the mouse
    QAction *UndoAction = nullptr;
    QAction *RedoAction = nullptr;
    QAction *EditChargeRecordAction = nullptr;
    QAction *CopyAction = nullptr;
    QAction *SelectAllAction = nullptr;
    QAction *KeyboardShortcutsAction = nullptr;
    QAction *AboutAction = nullptr;
    QAction *OpenChargerLogFileAction = nullptr;
    QMenu *TableContextMenu = nullptr; // on the table's rows
    // The charger's own logs: "Show Charger Log", "Add Charge from Charger Log…".
    TChargerLogCommands *chargerLogCommands() const { return m_chargerLogCommands; }
    TCaptureCommands *captureCommands() const { return m_captureCommands; }

    // Exchange with other programs (File menu): CSV out and in, the report as PDF or on paper.
    QAction *ExportCsvAction = nullptr;
    QAction *ImportCsvAction = nullptr;
    QAction *ExportPdfAction = nullptr;
    QAction *PrintAction = nullptr;

    // Every change of the log is one step here; undo and redo refresh and save like the change.
    QUndoStack *undoStack() const { return m_document->undoStack(); }

    // A change of the charge list as one undo step (TChargeLogDocument::applyChange).
    void applyLogChange(const QString &text, const QVector<TChargeEntry> &removed,
                        QVector<TChargeEntry> added)
    {
        m_document->applyChange(text, removed, std::move(added));
    }

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
    // The battery windows of this log, created on first use, shown and raised.
    TBatteryOverviewForm *showBatteryOverview();
    TBatteryDetailsForm *showBatteryDetails(const QString &battery);
    // Replaces the charges in memory by those of the backup at `path`, keeping the file as it
    // is now as a backup first, and saves. Throws QorLogError when either cannot be read or
    // kept; the log is unchanged then.
    void RestoreBackup(const QString &path) { m_document->restoreBackup(path); }

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
    // Charger log files dropped on the window start records, each in a charge data dialog.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createActions();
    void createChart();
    void createTable();
    // A notice that does not stop the work: a window of its own, one per kind, shown without
    // taking the focus; a later notice of the same kind replaces the text.
    void showNotice(const QString &name, const QString &text);
    void createControls();
    void createMenus();
    void createBackupCommands();
    void createBatteryCommands();
    void updateSelectionActions();
    // The charger log file named by the command row's record, as an absolute path, when the
    // file is there; else an empty text.
    QString existingChargerLogFile() const;
    // Lets the user choose a series colour and sets it as one undo step.
    void chooseSeriesColour(TChargeLogDocument::Series series);
    void seriesColourChanged(int series);
    bool FormCloseQuery();
    bool FormClose();
    void runFilter(const QString &title, TChargeLog::NameKind kind);
    void purge(const QString &title, TChargeLog::NameKind kind);
    bool chooseColour(QColor &colour);

    TChargeLogDocument *m_document = nullptr;
    TChargerLogCommands *m_chargerLogCommands = nullptr;
    TCaptureCommands *m_captureCommands = nullptr;
    TBatteryCommands *m_batteryCommands = nullptr;
    QString m_startupNotice;
    TChargeLogTableModel *m_tableModel = nullptr;
    TFilterForm *m_filterForm = nullptr;
    TChartTotals m_totals;
    QColor m_lastChosenColour = Qt::black;
    void decideClose();
    void discardChargeDataForms();

    bool m_closing = false;      // closed, or closing without questions
    bool m_closeDecided = false; // from the answer that allows closing on
    bool m_unattended = false;   // closing with nobody to answer: no purge, no questions
    bool m_inCloseQuery = false; // the close questions are open
};
