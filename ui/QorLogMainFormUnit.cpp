#include "QorLogMainFormUnit.h"

#include "AccessLetters.h"
#include "BatteryCommands.h"
#include "BatteryHealth.h"
#include "CaptureCommands.h"
#include "CapturePanel.h"
#include "ChargeChart.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "ChargeLogTableView.h"
#include "ChargeReportUnit.h"
#include "ChargerLogCommands.h"
#include "ErrorBox.h"
#include "ExportCsvFormUnit.h"
#include "FilterFormUnit.h"
#include "FilterStatus.h"
#include "HelpBoxes.h"
#include "Icons.h"
#include "ImportCsvFormUnit.h"
#include "NumberText.h"
#include "RestoreBackupFormUnit.h"
#include "WindowGeometry.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

constexpr int CyclesSeries = TChargeChart::CyclesSeries;
constexpr int ChargeSeries = TChargeChart::ChargeSeries;
constexpr int DischargeSeries = TChargeChart::DischargeSeries;

// Confirmation dialogs that other programs may keep open at once.
constexpr int MaxChargeDataForms = 50;

} // namespace

TQorLogMainForm::TQorLogMainForm(const QString &logFilePath, QWidget *parent)
    : QMainWindow(parent),
      m_document(new TChargeLogDocument(
          logFilePath, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), this))
{
    setObjectName(QStringLiteral("QorLogMainForm"));
    setWindowTitle(tr("QorLog"));
    setWindowIcon(QorLogIcons::application());
    // The window is laid out for an 8-point sans font, as its fixed-size controls assume.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    createActions();
    m_chargerLogCommands = new TChargerLogCommands(m_document, this, this);
    connect(m_chargerLogCommands, &TChargerLogCommands::recordKeyRequested, this,
            [this](qint32 &key) { key = m_tableModel->keyAt(ChargeLogStringGrid->commandRow()); });
    setAcceptDrops(true);
    createControls();
    m_captureCommands = new TCaptureCommands(m_document, m_chargerLogCommands, this, this);
    static_cast<QVBoxLayout *>(Panel1->layout())->insertWidget(1, m_captureCommands->Panel);
    createMenus();
    createBackupCommands();
    // Hidden records are easily forgotten: the status bar says what the filters hide.
    FilterStatusLabel = new QLabel(this);
    FilterStatusLabel->setObjectName(QStringLiteral("FilterStatusLabel"));
    statusBar()->addWidget(FilterStatusLabel, 1);
    // The menu and status bars come on top of the design size: chart, table and panel keep
    // theirs.
    const int bars = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    resize(641, 480 + bars);
    // Small enough for a small screen, large enough for every button and read-out to stay
    // whole: the controls panel's width, the chart's least height, a few rows of the table.
    setMinimumSize(641, bars + Chart1->minimumSizeHint().height() + Splitter2->handleWidth() +
                            ChargeLogStringGrid->horizontalHeader()->sizeHint().height() +
                            3 * ChargeLogStringGrid->verticalHeader()->defaultSectionSize() +
                            ControlsPanel->height() + 8);
    WindowGeometry::remember(this, QStringLiteral("MainWindow"), {Splitter2});
    createBatteryCommands();
    connect(m_document, &TChargeLogDocument::changed, this, &TQorLogMainForm::RefreshDisplay);
    // Open charge data dialogs follow their records, whoever changed them.
    connect(m_document, &TChargeLogDocument::changed, this, [] {
        for (TChargeDataForm *form : TChargeDataForm::openForms())
            form->followRecord();
    });
    connect(m_document, &TChargeLogDocument::seriesColourChanged, this,
            &TQorLogMainForm::seriesColourChanged);
    connect(m_document, &TChargeLogDocument::notice, this, &TQorLogMainForm::showNotice);
    connect(m_document, &TChargeLogDocument::stepFailed, this,
            [this](const QString &message) { ErrorBox::show(message, this); });
}

TQorLogMainForm::~TQorLogMainForm()
{
    // The dialogs store through this window: none may outlive it.
    for (TChargeDataForm *form : TChargeDataForm::openForms())
        delete form;
}

void TQorLogMainForm::createActions()
{
    const auto make = [this](QAction *&action, const QString &name, const QString &caption,
                             void (TQorLogMainForm::*handler)(), const QIcon &icon = QIcon()) {
        action = new QAction(icon, caption, this);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this,
                [this, handler] { ErrorBox::guard([&] { (this->*handler)(); }, this); });
    };
    make(PromptForChargeRecordAction, QStringLiteral("PromptForChargeRecordAction"),
         tr("&Add Charge Record"), &TQorLogMainForm::PromptForChargeRecordActionExecute,
         QorLogIcons::addCharge());
    // Keyboard: Ctrl+N adds a charge, Ctrl+Q closes the window (with its usual questions).
    PromptForChargeRecordAction->setShortcut(QKeySequence::New);
    addAction(PromptForChargeRecordAction);
    QuitAction = new QAction(tr("&Quit"), this);
    QuitAction->setObjectName(QStringLiteral("QuitAction"));
    QuitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // on every desktop
    QuitAction->setMenuRole(QAction::QuitRole);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);
    addAction(QuitAction);
    make(DeleteSelectionAction, QStringLiteral("DeleteSelectionAction"), tr("&Delete Selection"),
         &TQorLogMainForm::DeleteSelectionActionExecute, QorLogIcons::deleteSelection());
    make(FilterPowerSourcesAction, QStringLiteral("FilterPowerSourcesAction"),
         tr("Filter &Power Sources"), &TQorLogMainForm::FilterPowerSourcesActionExecute,
         QorLogIcons::filter());
    make(FilterBatteriesAction, QStringLiteral("FilterBatteriesAction"), tr("Filter &Batteries"),
         &TQorLogMainForm::FilterBatteriesActionExecute, QorLogIcons::filter());
    make(FilterChargersAction, QStringLiteral("FilterChargersAction"), tr("Filter &Chargers"),
         &TQorLogMainForm::FilterChargersActionExecute, QorLogIcons::filter());
    make(FilterTerminationsAction, QStringLiteral("FilterTerminationsAction"),
         tr("Filter &Terminations"), &TQorLogMainForm::FilterTerminationsActionExecute,
         QorLogIcons::filter());
    make(DeletePowerSourcesAction, QStringLiteral("DeletePowerSourcesAction"),
         tr("Delete Power Sources"), &TQorLogMainForm::DeletePowerSourcesActionExecute);
    make(DeleteBatteriesAction, QStringLiteral("DeleteBatteriesAction"), tr("Delete Batteries"),
         &TQorLogMainForm::DeleteBatteriesActionExecute);
    make(DeleteChargersAction, QStringLiteral("DeleteChargersAction"), tr("Delete Chargers"),
         &TQorLogMainForm::DeleteChargersActionExecute);
    make(DeleteTerminationsAction, QStringLiteral("DeleteTerminationsAction"),
         tr("Delete Terminations"), &TQorLogMainForm::DeleteTerminationsActionExecute);
    make(CyclesColourAction, QStringLiteral("CyclesColourAction"), tr("C&ycles Colour"),
         &TQorLogMainForm::CyclesColourActionExecute);
    make(ChargeColourAction, QStringLiteral("ChargeColourAction"), tr("Charg&e Colour"),
         &TQorLogMainForm::ChargeColourActionExecute);
    make(DischargeColourAction, QStringLiteral("DischargeColourAction"), tr("&Discharge Colour"),
         &TQorLogMainForm::DischargeColourActionExecute);

    // Enter and Delete belong to the table: they act only while it has the focus.
    make(EditChargeRecordAction, QStringLiteral("EditChargeRecordAction"),
         tr("&Edit Charge Record\u2026"), &TQorLogMainForm::EditChargeRecordActionExecute);
    EditChargeRecordAction->setShortcuts(
        {QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});
    EditChargeRecordAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    DeleteSelectionAction->setShortcut(QKeySequence::Delete);
    DeleteSelectionAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    make(CopyAction, QStringLiteral("CopyAction"), tr("&Copy"),
         &TQorLogMainForm::CopyActionExecute);
    CopyAction->setShortcut(QKeySequence::Copy);
    make(SelectAllAction, QStringLiteral("SelectAllAction"), tr("&Select All"),
         &TQorLogMainForm::SelectAllActionExecute);
    SelectAllAction->setShortcut(QKeySequence::SelectAll);
    make(KeyboardShortcutsAction, QStringLiteral("KeyboardShortcutsAction"),
         tr("&Keyboard Shortcuts"), &TQorLogMainForm::KeyboardShortcutsActionExecute);
    make(AboutAction, QStringLiteral("AboutAction"), tr("&About QorLog"),
         &TQorLogMainForm::AboutActionExecute);
    AboutAction->setMenuRole(QAction::AboutRole);
    make(OpenChargerLogFileAction, QStringLiteral("OpenChargerLogFileAction"),
         tr("&Open Charger Log File"), &TQorLogMainForm::OpenChargerLogFileActionExecute);
    make(ExportCsvAction, QStringLiteral("ExportCsvAction"), tr("&Export CSV\u2026"),
         &TQorLogMainForm::ExportCsvActionExecute);
    make(ImportCsvAction, QStringLiteral("ImportCsvAction"), tr("&Import CSV\u2026"),
         &TQorLogMainForm::ImportCsvActionExecute);
    make(ExportPdfAction, QStringLiteral("ExportPdfAction"), tr("Export P&DF\u2026"),
         &TQorLogMainForm::ExportPdfActionExecute);
    make(PrintAction, QStringLiteral("PrintAction"), tr("&Print\u2026"),
         &TQorLogMainForm::PrintActionExecute);
    PrintAction->setShortcut(QKeySequence::Print);

    QUndoStack *stack = m_document->undoStack();
    UndoAction = stack->createUndoAction(this, tr("&Undo"));
    UndoAction->setObjectName(QStringLiteral("UndoAction"));
    UndoAction->setShortcut(QKeySequence::Undo);
    RedoAction = stack->createRedoAction(this, tr("&Redo"));
    RedoAction->setObjectName(QStringLiteral("RedoAction"));
    RedoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
}

void TQorLogMainForm::createMenus()
{
    FileMenu = menuBar()->addMenu(tr("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    FileMenu->addAction(ExportCsvAction);
    FileMenu->addAction(ImportCsvAction);
    FileMenu->addAction(m_chargerLogCommands->AddChargeFromChargerLogAction);
    FileMenu->addAction(m_captureCommands->CaptureAction);
    FileMenu->addAction(ExportPdfAction);
    FileMenu->addAction(PrintAction);
    FileMenu->addSeparator();
    FileMenu->addAction(QuitAction);

    EditMenu = menuBar()->addMenu(tr("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    EditMenu->addAction(UndoAction);
    EditMenu->addAction(RedoAction);
    EditMenu->addSeparator();
    EditMenu->addAction(PromptForChargeRecordAction);
    EditMenu->addAction(EditChargeRecordAction);
    EditMenu->addAction(DeleteSelectionAction);
    EditMenu->addSeparator();
    EditMenu->addAction(CopyAction);
    EditMenu->addAction(SelectAllAction);

    ViewMenu = menuBar()->addMenu(tr("&View"));
    ViewMenu->setObjectName(QStringLiteral("ViewMenu"));
    ViewMenu->addAction(FilterPowerSourcesAction);
    ViewMenu->addAction(FilterBatteriesAction);
    ViewMenu->addAction(FilterChargersAction);
    ViewMenu->addAction(FilterTerminationsAction);
    ViewMenu->addSeparator();
    ViewMenu->addAction(CyclesColourAction);
    ViewMenu->addAction(ChargeColourAction);
    ViewMenu->addAction(DischargeColourAction);

    HelpMenu = menuBar()->addMenu(tr("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpMenu->addAction(KeyboardShortcutsAction);
    HelpMenu->addAction(AboutAction);

    TableContextMenu = new QMenu(this);
    TableContextMenu->setObjectName(QStringLiteral("TableContextMenu"));
    TableContextMenu->addAction(EditChargeRecordAction);
    TableContextMenu->addAction(DeleteSelectionAction);
    TableContextMenu->addAction(CopyAction);
    TableContextMenu->addSeparator();
    TableContextMenu->addAction(OpenChargerLogFileAction);
    TableContextMenu->addAction(m_chargerLogCommands->ShowChargerLogAction);
    EditMenu->addSeparator();
    EditMenu->addAction(OpenChargerLogFileAction);
    EditMenu->addAction(m_chargerLogCommands->ShowChargerLogAction);
    ChargeLogStringGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ChargeLogStringGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) {
                // A right click outside the selection selects the row under the mouse first.
                const QModelIndex index = ChargeLogStringGrid->indexAt(pos);
                if (index.isValid() &&
                    !ChargeLogStringGrid->selectionModel()->isRowSelected(index.row()))
                    ChargeLogStringGrid->selectionModel()->setCurrentIndex(
                        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                updateSelectionActions();
                TableContextMenu->popup(ChargeLogStringGrid->viewport()->mapToGlobal(pos));
            });

    // The table's own keys (Enter, Delete) work where the table has the focus.
    ChargeLogStringGrid->addAction(EditChargeRecordAction);
    ChargeLogStringGrid->addAction(DeleteSelectionAction);
    connect(ChargeLogStringGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TQorLogMainForm::updateSelectionActions);
    updateSelectionActions();
}

void TQorLogMainForm::createControls()
{
    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setAccessibleName(tr("Chart and table"));
    Splitter2->setHandleWidth(8);
    Splitter2->setChildrenCollapsible(false);
    setCentralWidget(Splitter2);

    // The upper area: a splitter that holds the chart alone (no handle shows with one widget).
    Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Chart1 = new TChargeChart(chargeLog(), Splitter1);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setAccessibleName(tr("Cycles and amp-hours per battery"));
    Chart1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart1, &TBarChart::seriesPressed, this,
            [this](int series, int index, Qt::MouseButton, const QPoint &) {
                ErrorBox::guard([&] { Chart1ClickSeries(series, index); }, this);
            });

    ChartPopupMenu = new QMenu(this);
    ChartPopupMenu->setObjectName(QStringLiteral("ChartPopupMenu"));
    ChartPopupMenu->addAction(CyclesColourAction);
    ChartPopupMenu->addAction(ChargeColourAction);
    ChartPopupMenu->addAction(DischargeColourAction);
    connect(Chart1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ChartPopupMenu->popup(Chart1->mapToGlobal(pos)); });

    Panel1 = new QWidget(Splitter2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);

    m_tableModel = new TChargeLogTableModel(this);
    ChargeLogStringGrid = new TChargeLogTableView(m_tableModel, Panel1);
    ChargeLogStringGrid->setObjectName(QStringLiteral("ChargeLogStringGrid"));
    ChargeLogStringGrid->setAccessibleName(tr("Charges"));
    connect(ChargeLogStringGrid, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) {
                ErrorBox::guard([&] { ChargeLogStringGridDblClick(index); }, this);
            });
    panelLayout->addWidget(ChargeLogStringGrid, 1);

    ControlsPanel = new QWidget(Panel1);
    ControlsPanel->setObjectName(QStringLiteral("ControlsPanel"));
    ControlsPanel->setFixedHeight(70);
    panelLayout->addWidget(ControlsPanel);

    const auto button = [this](QPushButton *&target, const QString &name, QAction *action, int left,
                               int top) {
        // The caption without the menu's access letter: Alt and a letter belong to the menu bar.
        target =
            new QPushButton(action->icon(), AccessLetters::stripped(action->text()), ControlsPanel);
        target->setObjectName(name);
        target->setGeometry(left, top, 128, 25);
        target->setIconSize(QSize(16, 16));
        target->setAutoDefault(false);
        connect(target, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, target,
                [target, action] { target->setEnabled(action->isEnabled()); });
    };
    button(AddChargeRecordBitBtn, QStringLiteral("AddChargeRecordBitBtn"),
           PromptForChargeRecordAction, 8, 8);
    button(DeleteSelectionBitBtn, QStringLiteral("DeleteSelectionBitBtn"), DeleteSelectionAction, 8,
           40);
    button(FilterPowerSourcesBitBtn, QStringLiteral("FilterPowerSourcesBitBtn"),
           FilterPowerSourcesAction, 168, 8);
    button(FilterBatteriesBitBtn, QStringLiteral("FilterBatteriesBitBtn"), FilterBatteriesAction,
           168, 40);
    button(FilterChargersBitBtn, QStringLiteral("FilterChargersBitBtn"), FilterChargersAction, 304,
           8);
    button(FilterTerminationsBitBtn, QStringLiteral("FilterTerminationsBitBtn"),
           FilterTerminationsAction, 304, 40);
    // Chart, table, then the buttons: the table is reached with Tab, so that its keys (Enter,
    // Delete, the arrows) work without a mouse.
    setTabOrder(Chart1, ChargeLogStringGrid);
    setTabOrder(ChargeLogStringGrid, AddChargeRecordBitBtn);
    setTabOrder(AddChargeRecordBitBtn, DeleteSelectionBitBtn);
    setTabOrder(DeleteSelectionBitBtn, FilterPowerSourcesBitBtn);
    setTabOrder(FilterPowerSourcesBitBtn, FilterBatteriesBitBtn);
    setTabOrder(FilterBatteriesBitBtn, FilterChargersBitBtn);
    setTabOrder(FilterChargersBitBtn, FilterTerminationsBitBtn);

    const auto label = [this](QLabel *&target, const QString &name, const QString &text, int left,
                              int top) {
        target = new QLabel(text, ControlsPanel);
        target->setObjectName(name);
        target->move(left, top);
        target->adjustSize();
    };
    label(BatteryLabel, QStringLiteral("BatteryLabel"), tr("Battery"), 448, 16);
    label(ChargeLabel, QStringLiteral("ChargeLabel"), tr("Charge"), 536, 16);
    label(CyclesLabel, QStringLiteral("CyclesLabel"), tr("Cycles"), 448, 40);
    label(DischargeLabel, QStringLiteral("DischargeLabel"), tr("Discharge"), 536, 40);
    // Before the battery's name, a mark when something is due for it; its tip says what.
    label(DueMarkLabel, QStringLiteral("DueMarkLabel"), QStringLiteral("\u26A0"), 432, 16);
    DueMarkLabel->setStyleSheet(QStringLiteral("color: #b35900; font-weight: bold;"));
    DueMarkLabel->hide();

    Splitter1->addWidget(Chart1);
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(Panel1);
    // As the window grows, chart and table keep their shares of the designed 256 to 189.
    Splitter2->setStretchFactor(0, 256);
    Splitter2->setStretchFactor(1, 189);
    Splitter2->setSizes({256, 189});
    // A handle that can be seen, in the desktop's colours.
    Splitter2->setStyleSheet(QStringLiteral(
        "QSplitter::handle:vertical { background: palette(midlight); "
        "border-top: 1px solid palette(mid); border-bottom: 1px solid palette(mid); }"));
}

void TQorLogMainForm::seriesColourChanged(int series)
{
    const QColor c =
        TChargeLogDocument::toQColor(m_document->seriesColour(TChargeLogDocument::Series(series)));
    Chart1->colourSeries(series, c);
    if (series == DischargeSeries)
        m_tableModel->setDischargeColour(c);
}

void TQorLogMainForm::FormCreate(const LogFile::ProgressFn &progress)
{
    m_startupNotice = m_document->load(progress);
}

void TQorLogMainForm::createBackupCommands()
{
    RestoreBackupAction = new QAction(tr("&Restore Backup…"), this);
    RestoreBackupAction->setObjectName(QStringLiteral("RestoreBackupAction"));
    connect(RestoreBackupAction, &QAction::triggered, this,
            [this] { ErrorBox::guard([this] { RestoreBackupActionExecute(); }, this); });
    FileMenu->insertAction(QuitAction, RestoreBackupAction);
    FileMenu->insertSeparator(QuitAction);
}

void TQorLogMainForm::createBatteryCommands()
{
    m_batteryCommands = new TBatteryCommands(m_document, Chart1, this);
    BatteryOverviewAction = m_batteryCommands->BatteryOverviewAction;
    BatteryDetailsAction = m_batteryCommands->BatteryDetailsAction;
    ViewMenu->addSeparator();
    ViewMenu->addAction(BatteryOverviewAction);
    ViewMenu->addAction(m_batteryCommands->ShowRetiredAction);
    ChartPopupMenu->addSeparator();
    ChartPopupMenu->addAction(BatteryDetailsAction);
    ChartPopupMenu->addAction(m_batteryCommands->BatteryCardAction);
    ChartPopupMenu->addAction(BatteryOverviewAction);
    ChartPopupMenu->addAction(m_batteryCommands->ShowRetiredAction);
    EditMenu->addSeparator();
    EditMenu->addAction(m_batteryCommands->TableBatteryCardAction);
    TableContextMenu->addSeparator();
    TableContextMenu->addAction(m_batteryCommands->TableBatteryCardAction);
    connect(this, &TQorLogMainForm::displayRefreshed, m_batteryCommands,
            &TBatteryCommands::refreshed);
    connect(m_batteryCommands, &TBatteryCommands::selectRecordRequested, this,
            [this](qint32 key) { ChargeLogStringGrid->selectKey(key); });
}

TBatteryOverviewForm *TQorLogMainForm::showBatteryOverview()
{
    return m_batteryCommands->showOverview();
}

TBatteryDetailsForm *TQorLogMainForm::showBatteryDetails(const QString &battery)
{
    return m_batteryCommands->showDetails(battery);
}

void TQorLogMainForm::RestoreBackupActionExecute()
{
    TRestoreBackupForm form(logFileGuard()->backups().backups(), this);
    if (form.exec() != QDialog::Accepted || form.chosenPath().isEmpty())
        return;
    RestoreBackup(form.chosenPath());
}

void TQorLogMainForm::showNotice(const QString &name, const QString &text)
{
    ErrorBox::showNotice(this, name, text);
}

void TQorLogMainForm::showStartupNotice()
{
    if (m_startupNotice.isEmpty())
        return;
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("QorLog"), m_startupNotice, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("StartupNoticeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    ErrorBox::makeWindowModal(box);
    box->open(); // window-modal but not blocking: automation calls keep being served
}

void TQorLogMainForm::RefreshDisplay()
{
    log().ChargeStringList.sortByDateTime();

    // The refresh keeps the rows selected by number, as a string grid would.
    const auto [first, last] = ChargeLogStringGrid->selectedBounds();

    m_totals.begin(chargeLog().BatteriesStringList, chargeLog().Cards);
    m_tableModel->rebuild(
        chargeLog(), [this](const TChargeRecord &record) { m_totals.AddChargeToChart(record); });

    Chart1->showTotals(m_totals, m_tableModel->shownCount() > 0);

    ChargeLogStringGrid->selectRows(first, last);
    // Newest rows at the bottom of the view whenever they do not all fit.
    ChargeLogStringGrid->scrollToBottom();
    updateSelectionActions();
    // The table has just counted the shown records: no second pass over the log.
    FilterStatusLabel->setText(FilterStatus::text(
        chargeLog(), chargeLog().ChargeStringList.count() - m_tableModel->shownCount()));
    Q_EMIT displayRefreshed();
}

int TQorLogMainForm::hiddenChargeCount() const
{
    return chargeLog().ChargeStringList.count() - chargeLog().shownCount();
}

void TQorLogMainForm::AddChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                                      const QString &charger, const QString &battery,
                                      double nominalChargeAmps, double ampHours,
                                      const QString &termination, const QString &comment,
                                      const QString &chargerLogFileName)
{
    // Made and saved, or not made: a failure is thrown with the log as it was.
    if (m_document->storeCharge(key, dateTime, powerSource, charger, battery, nominalChargeAmps,
                                ampHours, termination, comment, chargerLogFileName) != 0)
        ChargeLogStringGrid->selectLastRow();
}

void TQorLogMainForm::showChargerLog(TChargeDataForm *form)
{
    m_chargerLogCommands->showForDialog(form);
}

void TQorLogMainForm::HandleAddCharge(double chargeDateTime, const QString &powerSource,
                                      bool usePreviousPowerSource, const QString &charger,
                                      const QString &battery, double nominalChargeAmps,
                                      double ampHours, const QString &termination,
                                      const QString &commentString,
                                      const QString &chargerLogFileName, bool showConfirmationForm)
{
    // Once the close is decided a charge would be lost or its dialog dropped unasked.
    if (m_closeDecided || m_closing)
        throw QorLogError(tr("QorLog is closing and takes no more charges"));
    if (showConfirmationForm) {
        // What the log could not take is refused now, while the caller waits, and so is a
        // dialog beyond the bound: each holds a whole charge in memory.
        TChargeLog::CheckStorable(chargeDateTime, powerSource, charger, battery, nominalChargeAmps,
                                  ampHours, termination, commentString, chargerLogFileName);
        if (TChargeDataForm::openForms().size() >= MaxChargeDataForms)
            throw QorLogError(tr("%1 charge data dialogs are open already; confirm or cancel "
                                 "some of them first")
                                  .arg(MaxChargeDataForms));
        TChargeDataForm::OpenForAutomation(
            this, chargeDateTime, powerSource, usePreviousPowerSource, charger, battery,
            nominalChargeAmps, ampHours, termination, commentString, chargerLogFileName, this);
        return;
    }
    // Added at once. Asked for the previous power source, this path takes it too, as the
    // confirmation dialog does; on an empty log the one passed is used.
    QString source = powerSource;
    if (usePreviousPowerSource)
        chargeLog().previousPowerSource(source);
    AddChargeRecord(-1, chargeDateTime, source, charger, battery, nominalChargeAmps, ampHours,
                    termination, commentString, chargerLogFileName);
}

bool TQorLogMainForm::AddChargeMustWait() const
{
    return m_document->isWriting();
}

void TQorLogMainForm::OpenChargeDataForm(qint32 key)
{
    TChargeDataForm::OpenChargeDataForm(this, key, this);
}

bool TQorLogMainForm::closeUnattended()
{
    if (m_closing)
        return true;
    m_unattended = true;
    decideClose();
    m_closing = true;
    m_document->setClosing(true);
    bool saved = true;
    try {
        m_document->save();
    } catch (const QorLogError &error) {
        std::fprintf(stderr, "qorlog: %s\n", qPrintable(error.message()));
        saved = false;
    }
    hide();
    // Every box and dialog still open ends unanswered, so that whatever waits on one goes on
    // (and finds the close decided) instead of waiting for a user who is not there.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialog->done(QDialog::Rejected);
    Q_EMIT closed();
    return saved;
}

void TQorLogMainForm::decideClose()
{
    if (m_closeDecided)
        return;
    m_closeDecided = true;
    // The dialogs the user agreed to lose go now, before any purge review can let them store.
    discardChargeDataForms();
    Q_EMIT closeDecided();
}

void TQorLogMainForm::discardChargeDataForms()
{
    for (TChargeDataForm *form : TChargeDataForm::openForms())
        form->discard();
}

void TQorLogMainForm::activateFromSecondInstance()
{
    // Restored to the state it had before it was minimised: a maximised window stays so.
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TQorLogMainForm::PromptForChargeRecordActionExecute()
{
    OpenChargeDataForm(-1);
}

void TQorLogMainForm::ChargeLogStringGridDblClick(const QModelIndex &index)
{
    const qint32 key = index.isValid() ? m_tableModel->keyAt(index.row()) : 0;
    if (key != 0)
        OpenChargeDataForm(key);
}

QString TQorLogMainForm::existingChargerLogFile() const
{
    return m_chargerLogCommands->existingFileOf(
        m_tableModel->keyAt(ChargeLogStringGrid->commandRow()));
}

void TQorLogMainForm::updateSelectionActions()
{
    const bool any = ChargeLogStringGrid->commandRow() >= 0;
    EditChargeRecordAction->setEnabled(any);
    CopyAction->setEnabled(any);
    const bool logThere = any && !existingChargerLogFile().isEmpty();
    OpenChargerLogFileAction->setEnabled(logThere);
    m_chargerLogCommands->ShowChargerLogAction->setEnabled(logThere);
    if (m_batteryCommands) {
        const int row = any ? chargeLog().FindChargeIndex(
                                  m_tableModel->keyAt(ChargeLogStringGrid->commandRow()))
                            : -1;
        m_batteryCommands->setTableBattery(
            row >= 0 ? chargeLog().BatteriesStringList.name(
                           chargeLog().ChargeStringList.record(row).BatteryIndex)
                     : QString());
    }
}

void TQorLogMainForm::EditChargeRecordActionExecute()
{
    const int row = ChargeLogStringGrid->commandRow();
    if (row >= 0)
        ChargeLogStringGridDblClick(m_tableModel->index(row, 0));
}

void TQorLogMainForm::OpenChargerLogFileActionExecute()
{
    if (!m_chargerLogCommands->openFile(existingChargerLogFile()))
        updateSelectionActions(); // it went since the menu was shown
}

void TQorLogMainForm::CopyActionExecute()
{
    const QList<int> rows = ChargeLogStringGrid->selectedRowNumbers();
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(m_tableModel->rowsAsTabSeparatedText(rows));
}

void TQorLogMainForm::SelectAllActionExecute()
{
    ChargeLogStringGrid->selectAll();
}

void TQorLogMainForm::KeyboardShortcutsActionExecute()
{
    THelpBoxes::showKeyboardShortcuts(this, {FileMenu, EditMenu, ViewMenu, HelpMenu});
}

void TQorLogMainForm::AboutActionExecute()
{
    THelpBoxes::showAbout(this, logFilePath());
}

void TQorLogMainForm::DeleteSelectionActionExecute()
{
    // The selected keys go in one pass over the list, however many there are.
    QSet<qint32> keys;
    for (const auto &span : ChargeLogStringGrid->selectedRowSpans()) {
        keys.reserve(keys.size() + span.last - span.first + 1);
        for (int row = span.first; row <= span.last; ++row)
            if (const qint32 key = m_tableModel->keyAt(row))
                keys.insert(key);
    }
    m_document->deleteCharges(keys);
}

void TQorLogMainForm::runFilter(const QString &title, TChargeLog::NameKind kind)
{
    if (m_filterForm)
        m_filterForm->ShowFilter(title, &log().nameList(kind));
    m_document->marksChanged();
}

void TQorLogMainForm::FilterPowerSourcesActionExecute()
{
    runFilter(tr("Filter PowerSources"), TChargeLog::NameKind::PowerSource);
}

void TQorLogMainForm::FilterBatteriesActionExecute()
{
    runFilter(tr("Filter Batteries"), TChargeLog::NameKind::Battery);
}

void TQorLogMainForm::FilterChargersActionExecute()
{
    runFilter(tr("Filter Chargers"), TChargeLog::NameKind::Charger);
}

void TQorLogMainForm::FilterTerminationsActionExecute()
{
    runFilter(tr("Filter Terminations"), TChargeLog::NameKind::Termination);
}

void TQorLogMainForm::purge(const QString &title, TChargeLog::NameKind kind)
{
    if (m_filterForm)
        m_filterForm->ShowFilter(title, &log().nameList(kind));
    // Nobody reviewed the list when the close turned unattended meanwhile: purge nothing.
    if (m_unattended)
        return;
    m_document->purgeMarked(kind);
}

void TQorLogMainForm::DeletePowerSourcesActionExecute()
{
    purge(tr("Delete Power Sources"), TChargeLog::NameKind::PowerSource);
}

void TQorLogMainForm::DeleteBatteriesActionExecute()
{
    purge(tr("Delete Batteries"), TChargeLog::NameKind::Battery);
}

void TQorLogMainForm::DeleteChargersActionExecute()
{
    purge(tr("Delete Chargers"), TChargeLog::NameKind::Charger);
}

void TQorLogMainForm::DeleteTerminationsActionExecute()
{
    purge(tr("Delete Terminations"), TChargeLog::NameKind::Termination);
}

bool TQorLogMainForm::chooseColour(QColor &colour)
{
    // One dialog for the three colours; it opens on the colour chosen last (black at first).
    // It is made when first needed: making it takes longer than the rest of the window.
    if (!ColorDialog1) {
        ColorDialog1 = new QColorDialog(this);
        ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
        ErrorBox::makeWindowModal(ColorDialog1);
    }
    ColorDialog1->setCurrentColor(m_lastChosenColour);
    if (ColorDialog1->exec() != QDialog::Accepted)
        return false;
    m_lastChosenColour = ColorDialog1->selectedColor();
    colour = m_lastChosenColour;
    return true;
}

void TQorLogMainForm::chooseSeriesColour(TChargeLogDocument::Series series)
{
    QColor colour;
    if (chooseColour(colour))
        m_document->setSeriesColour(series, TChargeLogDocument::fromQColor(colour));
}

void TQorLogMainForm::CyclesColourActionExecute()
{
    chooseSeriesColour(TChargeLogDocument::CyclesSeries);
}

void TQorLogMainForm::ChargeColourActionExecute()
{
    chooseSeriesColour(TChargeLogDocument::ChargeSeries);
}

void TQorLogMainForm::DischargeColourActionExecute()
{
    chooseSeriesColour(TChargeLogDocument::DischargeSeries);
}

void TQorLogMainForm::Chart1ClickSeries(int series, int index)
{
    if (index < 0 || index >= Chart1->pointCount(CyclesSeries))
        return;
    // The battery's name, marked when something is due (the mark's tip says what).
    const QString battery = Chart1->label(series, index);
    const std::optional<BatteryHealth::TBatteryFigures> figures =
        BatteryHealth::battery(chargeLog(), battery, DateTimeText::now());
    const QStringList due = figures ? figures->Due : QStringList();
    BatteryLabel->setText(battery);
    DueMarkLabel->setToolTip(due.isEmpty() ? QString()
                                           : tr("Due: %1").arg(due.join(QStringLiteral("; "))));
    DueMarkLabel->setAccessibleName(DueMarkLabel->toolTip());
    DueMarkLabel->setVisible(!due.isEmpty());
    const double cycles = Chart1->value(CyclesSeries, index);
    const int count = int(std::clamp<long long>(std::llround(cycles), 0, INT_MAX));
    // English says "1 Cycle" and "0 Cycle" alike; other languages have their own plural rules.
    CyclesLabel->setText(
        (count > 1 ? tr("%1 Cycles", nullptr, count) : tr("%1 Cycle", nullptr, count))
            .arg(NumberText::formatGrouped(cycles)));
    ChargeLabel->setText(
        tr("%1 Ah Charged").arg(NumberText::formatGrouped(Chart1->value(ChargeSeries, index))));
    DischargeLabel->setText(
        tr("%1 Ah Discharged")
            .arg(NumberText::formatGrouped(Chart1->value(DischargeSeries, index))));
    for (QLabel *label : {BatteryLabel, CyclesLabel, ChargeLabel, DischargeLabel})
        label->adjustSize();
}

bool TQorLogMainForm::FormCloseQuery()
{
    bool dialogsOpen = false;
    for (TChargeDataForm *form : TChargeDataForm::openForms())
        dialogsOpen = dialogsOpen || !form->isHidden(); // a closed one is only awaiting deletion
    if (dialogsOpen) {
        QMessageBox question(QMessageBox::Question, tr("Confirm"),
                             tr("Charge Data Forms still exist"), QMessageBox::NoButton, this);
        question.setObjectName(QStringLiteral("DialogsQuestionBox"));
        const QList<QPushButton *> buttons =
            ErrorBox::addButtonsInOrder(question, {{tr("&OK"), QStringLiteral("OkButton")},
                                                   {tr("Cancel"), QStringLiteral("CancelButton")}});
        ErrorBox::makeWindowModal(&question);
        question.exec();
        if (question.clickedButton() != buttons[0] || m_closing)
            return false;
    }
    TChargeLog &marks = log();
    if (HasNoFilterMarks(&marks.PowerSourcesStringList) &&
        HasNoFilterMarks(&marks.ChargersStringList) &&
        HasNoFilterMarks(&marks.BatteriesStringList) &&
        HasNoFilterMarks(&marks.TerminationsStringList)) {
        decideClose();
        return true;
    }
    QMessageBox box(QMessageBox::Question, tr("Confirm"),
                    tr("Do you want to permanently delete filtered items?"), QMessageBox::NoButton,
                    this);
    box.setObjectName(QStringLiteral("PurgeQuestionBox"));
    box.setInformativeText(FilterStatus::purgeCount(hiddenChargeCount()));
    const QList<QPushButton *> buttons =
        ErrorBox::addButtonsInOrder(box, {{tr("&No"), QStringLiteral("NoButton")},
                                          {tr("&OK"), QStringLiteral("OkButton")},
                                          {tr("Cancel"), QStringLiteral("CancelButton")}});
    QPushButton *no = buttons[0];
    QPushButton *ok = buttons[1];
    ErrorBox::makeWindowModal(&box);
    box.exec();
    if (m_closing)
        return false;
    if (box.clickedButton() == no) {
        decideClose();
        return true;
    }
    if (box.clickedButton() != ok)
        return false;
    decideClose();
    QString failure;
    if (!logFileGuard()->backUpBeforePurge(&failure)) {
        // Nothing is purged without its backup: the records stay in the log.
        ErrorBox::show(
            tr("%1.\n\nNothing was deleted: the filtered records stay in the log.").arg(failure),
            this);
        return true;
    }
    if (marks.PowerSourcesStringList.hasMarks())
        DeletePowerSourcesActionExecute();
    if (marks.ChargersStringList.hasMarks())
        DeleteChargersActionExecute();
    if (marks.BatteriesStringList.hasMarks())
        DeleteBatteriesActionExecute();
    if (marks.TerminationsStringList.hasMarks())
        DeleteTerminationsActionExecute();
    return true;
}

bool TQorLogMainForm::FormClose()
{
    try {
        m_document->save();
    } catch (const QorLogError &error) {
        // Closing would lose whatever the file does not hold yet: let the user decide.
        QApplication::beep();
        QMessageBox warning(QMessageBox::Warning, tr("Error"),
                            tr("%1\n\nClose anyway? Changes not yet in the log file will be lost.")
                                .arg(error.message()),
                            QMessageBox::Yes | QMessageBox::No, this);
        warning.setObjectName(QStringLiteral("SaveFailedBox"));
        warning.setDefaultButton(QMessageBox::No);
        ErrorBox::makeWindowModal(&warning);
        if (warning.exec() != QMessageBox::Yes)
            return false;
    }
    // Open charge data dialogs go with the window, dropping their unsaved input.
    discardChargeDataForms();
    return true;
}

void TQorLogMainForm::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // A close asked for while the log is being written comes once it is written.
    if (m_document->isWriting()) {
        event->ignore();
        QTimer::singleShot(50, this, &QWidget::close);
        return;
    }
    // The questions of an earlier close are still open: they decide, not this one.
    if (m_inCloseQuery) {
        event->ignore();
        return;
    }
    bool allowed = false;
    m_inCloseQuery = true;
    ErrorBox::guard([&] { allowed = FormCloseQuery() && !m_closing && FormClose(); }, this);
    m_inCloseQuery = false;
    if (m_closing) { // closed without questions meanwhile
        event->accept();
        return;
    }
    if (!allowed) {
        if (m_closeDecided) {
            m_closeDecided = false;
            Q_EMIT closeAbandoned();
        }
        event->ignore();
        return;
    }
    m_closing = true;
    m_document->setClosing(true);
    event->accept();
    Q_EMIT closed();
}

void TQorLogMainForm::ExportCsvActionExecute()
{
    auto *form = new TExportCsvForm(m_document, this);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->open();
}

void TQorLogMainForm::ImportCsvActionExecute()
{
    TImportCsvForm::chooseAndOpen(m_document, this);
}

void TQorLogMainForm::ExportPdfActionExecute()
{
    TChargeReport::ExportPdf(m_document, Chart1, this);
}

void TQorLogMainForm::PrintActionExecute()
{
    TChargeReport::Print(m_document, Chart1, this);
}

void TQorLogMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (!TChargerLogCommands::droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TQorLogMainForm::dropEvent(QDropEvent *event)
{
    const QStringList files = TChargerLogCommands::droppedFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    ErrorBox::guard([&] { m_chargerLogCommands->addChargesFrom(files); }, this);
}
