#include "QorLogMainFormUnit.h"

#include "BarChart.h"
#include "BatteryOverviewFormUnit.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "ChargeReportUnit.h"
#include "ErrorBox.h"
#include "ExportCsvFormUnit.h"
#include "FilterFormUnit.h"
#include "Icons.h"
#include "ImportCsvFormUnit.h"
#include "Licence.h"
#include "LogUndoCommands.h"
#include "NumberText.h"
#include "RestoreBackupFormUnit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>

namespace {

// Shows the hourglass while the log changes, and puts the cursor back however the work ends.
class WaitCursorGuard
{
public:
    WaitCursorGuard() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursorGuard() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursorGuard(const WaitCursorGuard &) = delete;
    WaitCursorGuard &operator=(const WaitCursorGuard &) = delete;
};

constexpr int CyclesSeries = 0;
constexpr int ChargeSeries = 1;
constexpr int DischargeSeries = 2;

// Steps the undo stack keeps for the run (the oldest go first).
constexpr int UndoSteps = 500;

} // namespace

void TChartTotals::begin(const TNameList &batteries)
{
    Labels.clear();
    m_positionOfBattery.fill(-1, batteries.count());
    for (int i = 0; i < batteries.count(); ++i) {
        if (batteries.isMarked(i))
            continue;
        // The first of two names that differ only in case takes the battery's figures.
        const int first = batteries.indexOf(batteries.name(i));
        if (first >= 0 && first < i && m_positionOfBattery[first] >= 0) {
            m_positionOfBattery[i] = m_positionOfBattery[first];
        } else {
            m_positionOfBattery[i] = int(Labels.size());
        }
        Labels.append(batteries.name(i));
    }
    Cycles.fill(0.0, Labels.size());
    Charge.fill(0.0, Labels.size());
    Discharge.fill(0.0, Labels.size());
}

void TChartTotals::AddChargeToChart(const TChargeRecord &record)
{
    if (record.BatteryIndex < 0 || record.BatteryIndex >= m_positionOfBattery.size())
        return;
    const int position = m_positionOfBattery[record.BatteryIndex];
    if (position < 0)
        return;
    if (record.AmpHours != 0)
        Cycles[position] += 1;
    if (record.AmpHours > 0 && record.NominalChargeAmps > 0)
        Charge[position] += std::fabs(record.AmpHours);
    else
        Discharge[position] += std::fabs(record.AmpHours);
}

TQorLogMainForm::TQorLogMainForm(const QString &logFilePath, QWidget *parent)
    : QMainWindow(parent), m_logFilePath(logFilePath)
{
    setObjectName(QStringLiteral("QorLogMainForm"));
    setWindowTitle(tr("QorLog"));
    setWindowIcon(QorLogIcons::application());
    // The window is laid out for an 8-point sans font, as its fixed-size controls assume.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    createActions();
    createControls();
    createMenus();
    createBackupCommands();
    // The menu bar comes on top of the design size: chart, table and panel keep theirs.
    resize(641, 480 + menuBar()->sizeHint().height());
    applyChartColours();
    m_guard = new TLogFileGuard(
        logFilePath, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), this);
    connect(m_guard, &TLogFileGuard::outsideChange, this,
            [this] { ErrorBox::guard([this] { takeOutsideChange(); }, this); });
    connect(m_guard, &TLogFileGuard::merged, this, &TQorLogMainForm::outsideChangeMerged);
    connect(m_guard, &TLogFileGuard::damagedReplacementKept, this, [this](const QString &text) {
        showNotice(QStringLiteral("DamagedReplacementNoticeBox"), text);
    });
    connect(m_guard, &TLogFileGuard::backupFailed, this, [this](const QString &text) {
        showNotice(QStringLiteral("BackupFailureNoticeBox"),
                   tr("%1.\n\nQorLog goes on saving the log without backups.").arg(text));
    });
    TBatteryOverviewForm::attachTo(this);
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
         tr("Add Charge Record"), &TQorLogMainForm::PromptForChargeRecordActionExecute,
         QorLogIcons::addCharge());
    // Keyboard: Ctrl+N adds a charge, Ctrl+Q closes the window (with its usual questions).
    PromptForChargeRecordAction->setShortcut(QKeySequence::New);
    addAction(PromptForChargeRecordAction);
    QuitAction = new QAction(tr("Quit"), this);
    QuitAction->setObjectName(QStringLiteral("QuitAction"));
    QuitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // on every desktop
    QuitAction->setMenuRole(QAction::QuitRole);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);
    addAction(QuitAction);
    make(DeleteSelectionAction, QStringLiteral("DeleteSelectionAction"), tr("Delete Selection"),
         &TQorLogMainForm::DeleteSelectionActionExecute, QorLogIcons::deleteSelection());
    make(FilterPowerSourcesAction, QStringLiteral("FilterPowerSourcesAction"),
         tr("Filter Power Sources"), &TQorLogMainForm::FilterPowerSourcesActionExecute,
         QorLogIcons::filter());
    make(FilterBatteriesAction, QStringLiteral("FilterBatteriesAction"), tr("Filter Batteries"),
         &TQorLogMainForm::FilterBatteriesActionExecute, QorLogIcons::filter());
    make(FilterChargersAction, QStringLiteral("FilterChargersAction"), tr("Filter Chargers"),
         &TQorLogMainForm::FilterChargersActionExecute, QorLogIcons::filter());
    make(FilterTerminationsAction, QStringLiteral("FilterTerminationsAction"),
         tr("Filter Terminations"), &TQorLogMainForm::FilterTerminationsActionExecute,
         QorLogIcons::filter());
    make(DeletePowerSourcesAction, QStringLiteral("DeletePowerSourcesAction"),
         tr("Delete Power Sources"), &TQorLogMainForm::DeletePowerSourcesActionExecute);
    make(DeleteBatteriesAction, QStringLiteral("DeleteBatteriesAction"), tr("Delete Batteries"),
         &TQorLogMainForm::DeleteBatteriesActionExecute);
    make(DeleteChargersAction, QStringLiteral("DeleteChargersAction"), tr("Delete Chargers"),
         &TQorLogMainForm::DeleteChargersActionExecute);
    make(DeleteTerminationsAction, QStringLiteral("DeleteTerminationsAction"),
         tr("Delete Terminations"), &TQorLogMainForm::DeleteTerminationsActionExecute);
    make(CyclesColourAction, QStringLiteral("CyclesColourAction"), tr("Cycles Colour"),
         &TQorLogMainForm::CyclesColourActionExecute);
    make(ChargeColourAction, QStringLiteral("ChargeColourAction"), tr("Charge Colour"),
         &TQorLogMainForm::ChargeColourActionExecute);
    make(DischargeColourAction, QStringLiteral("DischargeColourAction"), tr("Discharge Colour"),
         &TQorLogMainForm::DischargeColourActionExecute);

    // Enter and Delete belong to the table: they act only while it has the focus.
    make(EditChargeRecordAction, QStringLiteral("EditChargeRecordAction"),
         tr("Edit Charge Record\u2026"), &TQorLogMainForm::EditChargeRecordActionExecute);
    EditChargeRecordAction->setShortcuts(
        {QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});
    EditChargeRecordAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    DeleteSelectionAction->setShortcut(QKeySequence::Delete);
    DeleteSelectionAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    make(CopyAction, QStringLiteral("CopyAction"), tr("Copy"), &TQorLogMainForm::CopyActionExecute);
    CopyAction->setShortcut(QKeySequence::Copy);
    make(SelectAllAction, QStringLiteral("SelectAllAction"), tr("Select All"),
         &TQorLogMainForm::SelectAllActionExecute);
    SelectAllAction->setShortcut(QKeySequence::SelectAll);
    make(KeyboardShortcutsAction, QStringLiteral("KeyboardShortcutsAction"),
         tr("Keyboard Shortcuts"), &TQorLogMainForm::KeyboardShortcutsActionExecute);
    make(AboutAction, QStringLiteral("AboutAction"), tr("About QorLog"),
         &TQorLogMainForm::AboutActionExecute);
    AboutAction->setMenuRole(QAction::AboutRole);
    make(OpenChargerLogFileAction, QStringLiteral("OpenChargerLogFileAction"),
         tr("Open Charger Log File"), &TQorLogMainForm::OpenChargerLogFileActionExecute);
    make(ExportCsvAction, QStringLiteral("ExportCsvAction"), tr("Export CSV\u2026"),
         &TQorLogMainForm::ExportCsvActionExecute);
    make(ImportCsvAction, QStringLiteral("ImportCsvAction"), tr("Import CSV\u2026"),
         &TQorLogMainForm::ImportCsvActionExecute);
    make(ExportPdfAction, QStringLiteral("ExportPdfAction"), tr("Export PDF\u2026"),
         &TQorLogMainForm::ExportPdfActionExecute);
    make(PrintAction, QStringLiteral("PrintAction"), tr("Print\u2026"),
         &TQorLogMainForm::PrintActionExecute);
    PrintAction->setShortcut(QKeySequence::Print);

    m_undoStack = new QUndoStack(this);
    m_undoStack->setUndoLimit(UndoSteps);
    // Our own prefixes, so that "Undo Delete 3 Charges" is translated with the program's texts.
    UndoAction = m_undoStack->createUndoAction(this, tr("Undo"));
    UndoAction->setObjectName(QStringLiteral("UndoAction"));
    UndoAction->setShortcut(QKeySequence::Undo);
    RedoAction = m_undoStack->createRedoAction(this, tr("Redo"));
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
    Splitter2->setHandleWidth(8);
    Splitter2->setChildrenCollapsible(false);
    setCentralWidget(Splitter2);

    QFont axisFont = font();
    axisFont.setPointSize(8);
    // The upper area: a splitter that holds the chart alone (no handle shows with one widget).
    Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Chart1 = new TBarChart(Splitter1);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setMinimumHeight(60);
    Chart1->addSeries(tr("Cycles"), TBarChart::LeftAxis, toQColor(m_log.CyclesSeriesColour));
    Chart1->addSeries(tr("Charge"), TBarChart::RightAxis, toQColor(m_log.ChargeSeriesColour));
    Chart1->addSeries(tr("Discharge"), TBarChart::RightAxis, toQColor(m_log.DischargeSeriesColour));
    Chart1->setMarkColour(CyclesSeries, toQColor(QorLog::DefaultCyclesSeriesColour));
    Chart1->setMarkColour(ChargeSeries, toQColor(QorLog::FuchsiaColour));
    Chart1->setMarkColour(DischargeSeries, toQColor(QorLog::FuchsiaColour));
    QFont markFont = axisFont;
    markFont.setBold(true);
    Chart1->setMarkFont(markFont);
    Chart1->setMarkDistance(20);
    Chart1->setBarWidthPercent(70);
    Chart1->setAxisTitle(TBarChart::LeftAxis, tr("Cycles"));
    Chart1->setAxisTitle(TBarChart::RightAxis, tr("AmpHours"));
    Chart1->setAxisFont(TBarChart::LeftAxis, axisFont);
    Chart1->setAxisFont(TBarChart::RightAxis, axisFont);
    Chart1->setAxisGridPen(TBarChart::LeftAxis, QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine));
    Chart1->setAxisGridPen(TBarChart::RightAxis,
                           QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DashDotDotLine));
    Chart1->setValueFormatter([](double value) { return NumberText::formatGrouped(value); });
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
    ChargeLogStringGrid = new QTableView(Panel1);
    ChargeLogStringGrid->setObjectName(QStringLiteral("ChargeLogStringGrid"));
    ChargeLogStringGrid->setModel(m_tableModel);
    auto *dischargeDelegate = new TDischargeItemDelegate(ChargeLogStringGrid);
    ChargeLogStringGrid->setItemDelegateForColumn(TChargeLogTableModel::AmpsColumn,
                                                  dischargeDelegate);
    ChargeLogStringGrid->setItemDelegateForColumn(TChargeLogTableModel::AmpHoursColumn,
                                                  dischargeDelegate);
    ChargeLogStringGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ChargeLogStringGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    ChargeLogStringGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ChargeLogStringGrid->setShowGrid(true);
    ChargeLogStringGrid->setFocusPolicy(Qt::ClickFocus); // no tab stop
    ChargeLogStringGrid->setWordWrap(false);
    ChargeLogStringGrid->setCornerButtonEnabled(false);
    ChargeLogStringGrid->verticalHeader()->hide();
    ChargeLogStringGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ChargeLogStringGrid->verticalHeader()->setDefaultSectionSize(18);
    ChargeLogStringGrid->verticalHeader()->setMinimumSectionSize(18);
    ChargeLogStringGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ChargeLogStringGrid->horizontalHeader()->setHighlightSections(false);
    ChargeLogStringGrid->horizontalHeader()->setSectionsClickable(false);
    ChargeLogStringGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont gridFont = ChargeLogStringGrid->font();
    gridFont.setPointSize(8);
    ChargeLogStringGrid->setFont(gridFont);
    // The design widths, widened where this desktop's font needs more for a title or a date.
    const int widths[] = {109, 88, 94, 90, 63, 55, 72, 867};
    const QFontMetrics metrics(gridFont);
    const QStringList titles = TChargeLogTableModel::columnTitles();
    for (int column = 0; column < TChargeLogTableModel::ColumnCount; ++column) {
        int width = qMax(widths[column], metrics.horizontalAdvance(titles.at(column)) + 12);
        if (column == TChargeLogTableModel::DateTimeColumn)
            width =
                qMax(width, metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 12);
        ChargeLogStringGrid->setColumnWidth(column, width);
    }
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
        target = new QPushButton(action->icon(), action->text(), ControlsPanel);
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

    Splitter1->addWidget(Chart1);
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(Panel1);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({256, 189});
}

QColor TQorLogMainForm::toQColor(qint32 colour)
{
    const quint32 c = quint32(colour);
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

qint32 TQorLogMainForm::fromQColor(const QColor &colour)
{
    return qint32(quint32(colour.red()) | (quint32(colour.green()) << 8) |
                  (quint32(colour.blue()) << 16));
}

void TQorLogMainForm::applyChartColours()
{
    // Axis labels and titles follow their series' colour from the start; grid lines and marks
    // keep their own until a colour is chosen or read from the log.
    Chart1->setAxisLabelColour(TBarChart::LeftAxis, toQColor(m_log.CyclesSeriesColour));
    Chart1->setAxisTitleColour(TBarChart::LeftAxis, toQColor(m_log.CyclesSeriesColour));
    Chart1->setAxisLabelColour(TBarChart::RightAxis, toQColor(m_log.ChargeSeriesColour));
    Chart1->setAxisTitleColour(TBarChart::RightAxis, toQColor(m_log.ChargeSeriesColour));
}

// A series colour also colours its marks and, for the series that owns an axis, that axis'
// labels, title and grid lines (the grid keeps its pen style).
static void colourSeriesAndAxis(TBarChart *chart, int series, TBarChart::Axis axis, const QColor &c)
{
    chart->setSeriesColour(series, c);
    chart->setMarkColour(series, c);
    chart->setAxisLabelColour(axis, c);
    chart->setAxisTitleColour(axis, c);
    QPen grid = chart->axisGridPen(axis);
    grid.setColor(c);
    chart->setAxisGridPen(axis, grid);
}

void TQorLogMainForm::setCyclesSeriesColour(qint32 colour)
{
    m_log.CyclesSeriesColour = colour;
    colourSeriesAndAxis(Chart1, CyclesSeries, TBarChart::LeftAxis, toQColor(colour));
}

void TQorLogMainForm::setChargeSeriesColour(qint32 colour)
{
    m_log.ChargeSeriesColour = colour;
    colourSeriesAndAxis(Chart1, ChargeSeries, TBarChart::RightAxis, toQColor(colour));
}

void TQorLogMainForm::setDischargeSeriesColour(qint32 colour)
{
    m_log.DischargeSeriesColour = colour;
    const QColor c = toQColor(colour);
    Chart1->setSeriesColour(DischargeSeries, c);
    Chart1->setMarkColour(DischargeSeries, c);
    m_tableModel->setDischargeColour(c);
}

void TQorLogMainForm::FormCreate(const LogFile::ProgressFn &progress)
{
    TChargeLog loaded;
    // Zero marks a colour the file does not give: that series keeps its current colour.
    loaded.CyclesSeriesColour = loaded.ChargeSeriesColour = loaded.DischargeSeriesColour = 0;
    bool damaged = false;
    QString failure;
    try {
        LogFile::LoadChargeLog(m_logFilePath, loaded, progress);
    } catch (const QorLogError &error) {
        damaged = true;
        failure = error.message();
    }
    // Whatever was read stays, also after a failure part-way.
    const qint32 cycles = loaded.CyclesSeriesColour;
    const qint32 charge = loaded.ChargeSeriesColour;
    const qint32 discharge = loaded.DischargeSeriesColour;
    loaded.CyclesSeriesColour = m_log.CyclesSeriesColour;
    loaded.ChargeSeriesColour = m_log.ChargeSeriesColour;
    loaded.DischargeSeriesColour = m_log.DischargeSeriesColour;
    m_log = std::move(loaded);
    if (cycles != 0)
        setCyclesSeriesColour(cycles);
    if (charge != 0)
        setChargeSeriesColour(charge);
    if (discharge != 0)
        setDischargeSeriesColour(discharge);
    applyChartColours();

    if (damaged) {
        QString where;
        try {
            where = tr("The file as it was has been kept as %1.")
                        .arg(LogFile::KeepDamagedCopy(m_logFilePath));
        } catch (const QorLogError &error) {
            where = error.message() + QLatin1Char('.');
        }
        const int read = m_log.ChargeStringList.count();
        const QString shown = read == 1
                                  ? tr("QorLog shows the one charge it could read.")
                                  : tr("QorLog shows the %1 charges it could read.").arg(read);
        m_startupNotice = tr("The log file could not be read completely:\n%1\n\n%2 %3")
                              .arg(failure, shown, where);
    }
    // What was read is what the file holds, as far as anything later can tell.
    m_guard->adopt(m_log);
    RefreshDisplay();
}

void TQorLogMainForm::createBackupCommands()
{
    RestoreBackupAction = new QAction(tr("Restore Backup…"), this);
    RestoreBackupAction->setObjectName(QStringLiteral("RestoreBackupAction"));
    connect(RestoreBackupAction, &QAction::triggered, this,
            [this] { ErrorBox::guard([this] { RestoreBackupActionExecute(); }, this); });
    FileMenu->insertAction(QuitAction, RestoreBackupAction);
    FileMenu->insertSeparator(QuitAction);
}

void TQorLogMainForm::RestoreBackupActionExecute()
{
    TRestoreBackupForm form(m_guard->backups().backups(), this);
    if (form.exec() != QDialog::Accepted || form.chosenPath().isEmpty())
        return;
    RestoreBackup(form.chosenPath());
}

void TQorLogMainForm::RestoreBackup(const QString &path)
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
    applyLogChange(tr("Restore Backup"), change.Removed, change.Added);
}

void TQorLogMainForm::SaveLog()
{
    m_guard->save(m_log);
}

void TQorLogMainForm::takeOutsideChange()
{
    if (m_closing)
        return;
    const TOutsideChange change = m_guard->takeOutsideChange(m_log);
    switch (change.Type) {
    case TOutsideChange::Kind::Merged:
        if (change.Merge.isEmpty())
            return;
        // One undo step of its own, refreshed and saved like any other change.
        applyLogChange(tr("Change by Another Program"), change.Merge.Removed, change.Merge.Added);
        showNotice(QStringLiteral("OutsideChangeNoticeBox"), OutsideChangeNotice(change.Merge));
        return;
    case TOutsideChange::Kind::Damaged:
        showNotice(QStringLiteral("DamagedReplacementNoticeBox"), change.Message);
        SaveLog();
        return;
    case TOutsideChange::Kind::Missing: // written again at the next save
    case TOutsideChange::Kind::None:
        return;
    }
}

void TQorLogMainForm::outsideChangeMerged(const TLogMerge &merge)
{
    RefreshDisplay();
    showNotice(QStringLiteral("OutsideChangeNoticeBox"), OutsideChangeNotice(merge));
}

void TQorLogMainForm::showNotice(const QString &name, const QString &text)
{
    if (text.isEmpty())
        return;
    auto *box = findChild<QMessageBox *>(name, Qt::FindDirectChildrenOnly);
    if (!box) {
        box = new QMessageBox(QMessageBox::Information, tr("QorLog"), QString(), QMessageBox::Ok,
                              this);
        box->setObjectName(name);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->show();
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
    m_log.ChargeStringList.sortByDateTime();

    // The refresh keeps the rows selected by number, as a string grid would.
    QItemSelectionModel *selection = ChargeLogStringGrid->selectionModel();
    int first = -1, last = -1;
    for (const RowSpan &span : selectedRowSpans()) {
        first = first < 0 ? span.first : qMin(first, span.first);
        last = qMax(last, span.last);
    }

    m_totals.begin(m_log.BatteriesStringList);
    m_tableModel->setDischargeColour(toQColor(m_log.DischargeSeriesColour));
    m_tableModel->rebuild(
        m_log, [this](const TChargeRecord &record) { m_totals.AddChargeToChart(record); });

    Chart1->beginUpdate();
    Chart1->clearAllSeries();
    if (m_tableModel->shownCount() > 0) {
        // With at least one shown record every battery of the chart gets its three bars.
        Chart1->setPoints(CyclesSeries, m_totals.Cycles, m_totals.Labels);
        Chart1->setPoints(ChargeSeries, m_totals.Charge, m_totals.Labels);
        Chart1->setPoints(DischargeSeries, m_totals.Discharge, m_totals.Labels);
    }
    Chart1->endUpdate();

    if (first >= 0) {
        const int rows = m_tableModel->rowCount();
        first = qMin(first, rows - 1);
        last = qMin(last, rows - 1);
        selection->select(
            QItemSelection(m_tableModel->index(first, 0),
                           m_tableModel->index(last, TChargeLogTableModel::ColumnCount - 1)),
            QItemSelectionModel::ClearAndSelect);
    }
    scrollNewestIntoView();
    updateSelectionActions();
    Q_EMIT displayRefreshed();
}

void TQorLogMainForm::scrollNewestIntoView()
{
    // Newest rows at the bottom of the view whenever they do not all fit.
    ChargeLogStringGrid->scrollToBottom();
}

void TQorLogMainForm::selectLastRow()
{
    const int last = m_tableModel->rowCount() - 1;
    ChargeLogStringGrid->selectionModel()->select(
        QItemSelection(m_tableModel->index(last, 0),
                       m_tableModel->index(last, TChargeLogTableModel::ColumnCount - 1)),
        QItemSelectionModel::ClearAndSelect);
    ChargeLogStringGrid->selectionModel()->setCurrentIndex(m_tableModel->index(last, 0),
                                                           QItemSelectionModel::NoUpdate);
}

void TQorLogMainForm::AddChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                                      const QString &charger, const QString &battery,
                                      double nominalChargeAmps, double ampHours,
                                      const QString &termination, const QString &comment,
                                      const QString &chargerLogFileName)
{
    WaitCursorGuard waitCursor;
    // The record as it was, for the undo step of an edit.
    QVector<TPositionedEntry> before;
    if (key >= 0)
        before = TChargeLogChange::positionsOf(m_log.ChargeStringList, {key});
    // Refuses values the file could not hold before anything changes; an edit of a record
    // deleted meanwhile changes nothing, but new names still enter the lists.
    const qint32 stored =
        m_log.StoreChargeRecord(key, dateTime, powerSource, charger, battery, nominalChargeAmps,
                                ampHours, termination, comment, chargerLogFileName);
    RefreshDisplay();
    selectLastRow();
    if (stored != 0)
        pushDoneChange(key < 0 ? tr("Add Charge") : tr("Edit Charge"), std::move(before), {stored});
    // A failed save leaves the record in memory; it reaches the file with the next save.
    SaveLog();
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
        TChargeDataForm::OpenForAutomation(
            this, chargeDateTime, powerSource, usePreviousPowerSource, charger, battery,
            nominalChargeAmps, ampHours, termination, commentString, chargerLogFileName, this);
        return;
    }
    // Added at once. Asked for the previous power source, this path takes it too, as the
    // confirmation dialog does; on an empty log the one passed is used.
    QString source = powerSource;
    if (usePreviousPowerSource)
        m_log.previousPowerSource(source);
    AddChargeRecord(-1, chargeDateTime, source, charger, battery, nominalChargeAmps, ampHours,
                    termination, commentString, chargerLogFileName);
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
    bool saved = true;
    try {
        SaveLog();
    } catch (const QorLogError &error) {
        std::fprintf(stderr, "QorLog: %s\n", qPrintable(error.message()));
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
    if (!index.isValid())
        return;
    const qint32 key = m_tableModel->keyAt(index.row());
    if (key != 0)
        OpenChargeDataForm(key);
}

QList<TQorLogMainForm::RowSpan> TQorLogMainForm::selectedRowSpans() const
{
    // From the selection's ranges rather than one index per row: Ctrl+A on a large log is a
    // single range, and listing its rows one by one took longer than deleting them.
    QList<RowSpan> spans;
    const int lastColumn = TChargeLogTableModel::ColumnCount - 1;
    for (const QItemSelectionRange &range : ChargeLogStringGrid->selectionModel()->selection())
        if (range.isValid() && range.left() == 0 && range.right() == lastColumn)
            spans.append({range.top(), range.bottom()});
    std::sort(spans.begin(), spans.end(),
              [](const RowSpan &a, const RowSpan &b) { return a.first < b.first; });
    // Ranges may overlap (a row selected twice with Ctrl): merged, each row counts once.
    QList<RowSpan> merged;
    for (const RowSpan &span : std::as_const(spans)) {
        if (!merged.isEmpty() && span.first <= merged.last().last + 1)
            merged.last().last = qMax(merged.last().last, span.last);
        else
            merged.append(span);
    }
    return merged;
}

QList<int> TQorLogMainForm::selectedRowNumbers() const
{
    QList<int> rows;
    for (const RowSpan &span : selectedRowSpans())
        for (int row = span.first; row <= span.last; ++row)
            if (m_tableModel->keyAt(row) != 0)
                rows.append(row);
    return rows;
}

int TQorLogMainForm::commandRow() const
{
    const int current = ChargeLogStringGrid->currentIndex().row();
    int first = -1;
    for (const RowSpan &span : selectedRowSpans()) {
        if (current >= span.first && current <= span.last && m_tableModel->keyAt(current) != 0)
            return current;
        for (int row = span.first; first < 0 && row <= span.last; ++row)
            if (m_tableModel->keyAt(row) != 0)
                first = row;
    }
    return first;
}

QString TQorLogMainForm::existingChargerLogFile() const
{
    const int position = m_log.FindChargeIndex(m_tableModel->keyAt(commandRow()));
    if (position < 0)
        return {};
    QString name, comment;
    TChargeList::SplitChargeText(m_log.ChargeStringList.text(position), name, comment);
    if (name.trimmed().isEmpty())
        return {};
    // A name without a folder is taken beside the log.
    const QFileInfo file(QFileInfo(m_logFilePath).absoluteDir(), name);
    return file.isFile() ? file.absoluteFilePath() : QString();
}

void TQorLogMainForm::updateSelectionActions()
{
    const bool any = commandRow() >= 0;
    EditChargeRecordAction->setEnabled(any);
    CopyAction->setEnabled(any);
    OpenChargerLogFileAction->setEnabled(any && !existingChargerLogFile().isEmpty());
}

void TQorLogMainForm::EditChargeRecordActionExecute()
{
    const int row = commandRow();
    if (row >= 0)
        ChargeLogStringGridDblClick(m_tableModel->index(row, 0));
}

void TQorLogMainForm::OpenChargerLogFileActionExecute()
{
    const QString file = existingChargerLogFile();
    if (file.isEmpty()) {
        updateSelectionActions(); // it went since the menu was shown
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        throw QorLogError(tr("No program could open %1").arg(QDir::toNativeSeparators(file)));
}

void TQorLogMainForm::CopyActionExecute()
{
    const QList<int> rows = selectedRowNumbers();
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(m_tableModel->rowsAsTabSeparatedText(rows));
}

void TQorLogMainForm::SelectAllActionExecute()
{
    ChargeLogStringGrid->selectAll();
}

void TQorLogMainForm::showInformation(const QString &objectName, const QString &title,
                                      const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open(); // window-modal but not blocking: automation calls keep being served
}

void TQorLogMainForm::KeyboardShortcutsActionExecute()
{
    // Listed from the actions themselves, so the list cannot disagree with the menus.
    QString rows;
    for (QMenu *menu : {FileMenu, EditMenu, ViewMenu, HelpMenu})
        for (QAction *action : menu->actions())
            for (const QKeySequence &keys : action->shortcuts())
                rows += QStringLiteral("<tr><td>%1</td><td>&nbsp;&nbsp;%2</td></tr>")
                            .arg(keys.toString(QKeySequence::NativeText).toHtmlEscaped(),
                                 action->text().remove(QLatin1Char('&')).toHtmlEscaped());
    showInformation(QStringLiteral("KeyboardShortcutsBox"), tr("Keyboard Shortcuts"),
                    QStringLiteral("<table>%1</table><p>%2</p>")
                        .arg(rows, tr("Enter and Delete act on the table when it has the focus; "
                                      "Tab moves between the buttons.")
                                       .toHtmlEscaped()));
}

void TQorLogMainForm::AboutActionExecute()
{
    showInformation(QStringLiteral("AboutBox"), tr("About QorLog"),
                    tr("QorLog %1\n\nA logbook for the charging of rechargeable batteries.\n\n"
                       "Log file: %2\n\nLicence: %3")
                        .arg(QStringLiteral(QORLOG_VERSION),
                             QDir::toNativeSeparators(m_logFilePath),
                             QString::fromUtf8(QORLOG_LICENSE_SENTENCE)));
}

void TQorLogMainForm::DeleteSelectionActionExecute()
{
    WaitCursorGuard waitCursor;
    // The selected keys go in one pass over the list, however many there are.
    QSet<qint32> keys;
    for (const RowSpan &span : selectedRowSpans()) {
        keys.reserve(keys.size() + span.last - span.first + 1);
        for (int row = span.first; row <= span.last; ++row)
            if (const qint32 key = m_tableModel->keyAt(row))
                keys.insert(key);
    }
    QVector<TPositionedEntry> removed = m_log.ChargeStringList.takeKeys(keys);
    RefreshDisplay();
    if (!removed.isEmpty()) {
        const qsizetype count = removed.size();
        pushDoneChange(count == 1 ? tr("Delete 1 Charge") : tr("Delete %1 Charges").arg(count),
                       std::move(removed), {});
    }
    SaveLog();
}

void TQorLogMainForm::pushDoneChange(const QString &text, QVector<TPositionedEntry> removed,
                                     const QVector<qint32> &addedKeys)
{
    TChargeLogChange change;
    change.Removed = std::move(removed);
    change.Added = TChargeLogChange::positionsOf(m_log.ChargeStringList, addedKeys);
    m_undoStack->push(new TLogChangeCommand(this, text, std::move(change)));
}

void TQorLogMainForm::applyLogChange(const QString &text, QVector<TChargeEntry> removed,
                                     QVector<TChargeEntry> added)
{
    QSet<qint32> removedKeys;
    for (const TChargeEntry &entry : std::as_const(removed))
        removedKeys.insert(entry.Record.Key);
    QSet<qint32> addedKeys;
    for (const TChargeEntry &entry : std::as_const(added)) {
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
    WaitCursorGuard waitCursor;
    QVector<TPositionedEntry> taken = m_log.ChargeStringList.takeKeys(removedKeys);
    QVector<qint32> keys;
    keys.reserve(added.size());
    for (TChargeEntry &entry : added) {
        keys.append(entry.Record.Key);
        m_log.NextKey = qMax(m_log.NextKey, entry.Record.Key + 1);
        m_log.ChargeStringList.append(entry.Record, entry.Text);
    }
    RefreshDisplay();
    pushDoneChange(text, std::move(taken), keys);
    SaveLog();
}

void TQorLogMainForm::runUndoStep(const std::function<void()> &change)
{
    QString failure;
    {
        WaitCursorGuard waitCursor;
        try {
            change();
            RefreshDisplay();
            SaveLog();
        } catch (const QorLogError &error) {
            failure = error.message();
        } catch (const std::exception &error) {
            failure = QString::fromLocal8Bit(error.what());
        }
    }
    // The step is complete in memory; the box waits until the stack has finished its move.
    if (!failure.isEmpty())
        QMetaObject::invokeMethod(
            this, [this, failure] { ErrorBox::show(failure, this); }, Qt::QueuedConnection);
}

void TQorLogMainForm::runFilter(const QString &title, TNameList &list)
{
    if (m_filterForm)
        m_filterForm->ShowFilter(title, &list);
    RefreshDisplay();
}

void TQorLogMainForm::FilterPowerSourcesActionExecute()
{
    runFilter(tr("Filter PowerSources"), m_log.PowerSourcesStringList);
}

void TQorLogMainForm::FilterBatteriesActionExecute()
{
    runFilter(tr("Filter Batteries"), m_log.BatteriesStringList);
}

void TQorLogMainForm::FilterChargersActionExecute()
{
    runFilter(tr("Filter Chargers"), m_log.ChargersStringList);
}

void TQorLogMainForm::FilterTerminationsActionExecute()
{
    runFilter(tr("Filter Terminations"), m_log.TerminationsStringList);
}

void TQorLogMainForm::purge(const QString &title, TChargeLog::NameKind kind)
{
    if (m_filterForm)
        m_filterForm->ShowFilter(title, &m_log.nameList(kind));
    // Nobody reviewed the list when the close turned unattended meanwhile: purge nothing.
    if (m_unattended)
        return;
    WaitCursorGuard waitCursor;
    m_log.PurgeMarked(kind);
    RefreshDisplay();
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

void TQorLogMainForm::CyclesColourActionExecute()
{
    QColor colour;
    if (chooseColour(colour))
        changeSeriesColour(tr("Cycles Colour Change"), &TQorLogMainForm::setCyclesSeriesColour,
                           m_log.CyclesSeriesColour, fromQColor(colour));
}

void TQorLogMainForm::ChargeColourActionExecute()
{
    QColor colour;
    if (chooseColour(colour))
        changeSeriesColour(tr("Charge Colour Change"), &TQorLogMainForm::setChargeSeriesColour,
                           m_log.ChargeSeriesColour, fromQColor(colour));
}

void TQorLogMainForm::DischargeColourActionExecute()
{
    QColor colour;
    if (chooseColour(colour))
        changeSeriesColour(tr("Discharge Colour Change"),
                           &TQorLogMainForm::setDischargeSeriesColour, m_log.DischargeSeriesColour,
                           fromQColor(colour));
}

void TQorLogMainForm::changeSeriesColour(const QString &text,
                                         void (TQorLogMainForm::*setter)(qint32), qint32 oldColour,
                                         qint32 newColour)
{
    (this->*setter)(newColour);
    if (newColour != oldColour)
        m_undoStack->push(new TSeriesColourCommand(
            this, text, [this, setter](qint32 colour) { (this->*setter)(colour); }, oldColour,
            newColour));
}

void TQorLogMainForm::Chart1ClickSeries(int series, int index)
{
    if (index < 0 || index >= Chart1->pointCount(CyclesSeries))
        return;
    BatteryLabel->setText(Chart1->label(series, index));
    const double cycles = Chart1->value(CyclesSeries, index);
    QString cyclesText = NumberText::formatGrouped(cycles) + tr(" Cycle");
    if (std::llround(cycles) > 1)
        cyclesText += QLatin1Char('s');
    CyclesLabel->setText(cyclesText);
    ChargeLabel->setText(NumberText::formatGrouped(Chart1->value(ChargeSeries, index)) +
                         tr(" Charged"));
    DischargeLabel->setText(NumberText::formatGrouped(Chart1->value(DischargeSeries, index)) +
                            tr(" Discharged"));
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
                             tr("Charge Data Forms still exist"),
                             QMessageBox::Ok | QMessageBox::Cancel, this);
        question.setObjectName(QStringLiteral("DialogsQuestionBox"));
        question.setDefaultButton(QMessageBox::Cancel);
        ErrorBox::makeWindowModal(&question);
        if (question.exec() != QMessageBox::Ok || m_closing)
            return false;
    }
    if (HasNoFilterMarks(&m_log.PowerSourcesStringList) &&
        HasNoFilterMarks(&m_log.ChargersStringList) &&
        HasNoFilterMarks(&m_log.BatteriesStringList) &&
        HasNoFilterMarks(&m_log.TerminationsStringList)) {
        decideClose();
        return true;
    }
    QMessageBox box(QMessageBox::Question, tr("Confirm"),
                    tr("Do you want to permanently delete filtered items?"), QMessageBox::NoButton,
                    this);
    box.setObjectName(QStringLiteral("PurgeQuestionBox"));
    // No, OK and Cancel, in that order: buttons of one role keep the order they are added in,
    // where standard buttons would be rearranged by the desktop's button layout.
    QPushButton *no = box.addButton(tr("&No"), QMessageBox::ActionRole);
    QPushButton *ok = box.addButton(tr("&OK"), QMessageBox::ActionRole);
    QPushButton *cancel = box.addButton(tr("Cancel"), QMessageBox::ActionRole);
    no->setObjectName(QStringLiteral("NoButton"));
    ok->setObjectName(QStringLiteral("OkButton"));
    cancel->setObjectName(QStringLiteral("CancelButton"));
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
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
    m_guard->backUpBeforePurge();
    if (m_log.PowerSourcesStringList.hasMarks())
        DeletePowerSourcesActionExecute();
    if (m_log.ChargersStringList.hasMarks())
        DeleteChargersActionExecute();
    if (m_log.BatteriesStringList.hasMarks())
        DeleteBatteriesActionExecute();
    if (m_log.TerminationsStringList.hasMarks())
        DeleteTerminationsActionExecute();
    return true;
}

bool TQorLogMainForm::FormClose()
{
    try {
        SaveLog();
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
    event->accept();
    Q_EMIT closed();
}

void TQorLogMainForm::ExportCsvActionExecute()
{
    auto *form = new TExportCsvForm(this);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->open();
}

void TQorLogMainForm::ImportCsvActionExecute()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Import CSV"),
                                                      QFileInfo(m_logFilePath).absolutePath(),
                                                      tr("CSV files (*.csv *.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    auto *form = new TImportCsvForm(this, path);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->open();
}

void TQorLogMainForm::ExportPdfActionExecute()
{
    TChargeReport::ExportPdf(this);
}

void TQorLogMainForm::PrintActionExecute()
{
    TChargeReport::Print(this);
}
