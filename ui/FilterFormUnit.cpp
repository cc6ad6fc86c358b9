#include "FilterFormUnit.h"

#include "ErrorBox.h"
#include "Icons.h"
#include "NameList.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Sizes of the dialog at design size, in pixels.
constexpr int ClientWidth = 357;
constexpr int ClientHeight = 314;
constexpr int RetainColumnWidth = 177;
constexpr int SplitterWidth = 8;
constexpr int GridMinimumWidth = 40;
constexpr int RowHeight = 18;
constexpr int PanelHeight = 41;
constexpr int ButtonHeight = 25;
constexpr int MoveButtonWidth = 75;
constexpr int OkButtonWidth = 65;
constexpr int PanelMargin = 8;       // left, top and bottom
constexpr int PanelRightMargin = 12; // OK ends 12 pixels from the right edge
constexpr int MoveButtonGap = 13;    // Remove starts 96 pixels from the left edge

QPushButton *makeButton(const QString &objectName, const QString &text, const QIcon &icon,
                        int minimumWidth, QWidget *parent)
{
    auto *button = new QPushButton(icon, text, parent);
    button->setObjectName(objectName);
    button->setIconSize(QSize(16, 16));
    button->setFixedHeight(ButtonHeight);
    // Never narrower than the design width, wider when the caption needs the room (the
    // caption's own width, not the style's roomier hint: four buttons share 357 pixels).
    const int caption = button->fontMetrics().horizontalAdvance(text) +
                        (icon.isNull() ? 0 : button->iconSize().width() + 4) + 16;
    button->setFixedWidth(std::max(minimumWidth, caption));
    return button;
}

} // namespace

TFilterForm::TFilterForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FilterForm"));
    setModal(true);
    // Modal to the main window only: a charge data dialog opened meanwhile takes input.
    ErrorBox::makeWindowModal(this);
    setSizeGripEnabled(false);
    // The 8-point sans font of the main window, for which the fixed row height is made.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    m_inModel = new QStandardItemModel(0, 1, this);
    m_outModel = new QStandardItemModel(0, 1, this);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    FilterInStringGrid = createGrid(QStringLiteral("FilterInStringGrid"), m_inModel);
    FilterOutStringGrid = createGrid(QStringLiteral("FilterOutStringGrid"), m_outModel);
    Splitter1->setAccessibleName(tr("Retained and removed names"));
    FilterInStringGrid->setAccessibleName(tr("Retained names"));
    FilterOutStringGrid->setAccessibleName(tr("Removed names"));
    Splitter1->addWidget(FilterInStringGrid);
    Splitter1->addWidget(FilterOutStringGrid);
    // The "Retain" column keeps its width; the "Remove" column takes the rest.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(PanelHeight);
    RetainBitBtn = makeButton(QStringLiteral("RetainBitBtn"), tr("Retain"), QorLogIcons::retain(),
                              MoveButtonWidth, Panel1);
    RemoveBitBtn = makeButton(QStringLiteral("RemoveBitBtn"), tr("Remove"), QorLogIcons::remove(),
                              MoveButtonWidth, Panel1);
    OkBitBtn = makeButton(QStringLiteral("OkBitBtn"), tr("OK"),
                          style()->standardIcon(QStyle::SP_DialogOkButton), OkButtonWidth, Panel1);
    OkBitBtn->setDefault(true);
    // Without a picture: the panel has just the room for its caption.
    CancelBitBtn = makeButton(QStringLiteral("CancelBitBtn"), tr("Cancel"), QIcon(), 60, Panel1);

    // With many names a filter field above the columns narrows both to the names that hold
    // what is typed.
    SearchEdit = new QLineEdit(this);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(tr("Show names containing…"));
    SearchEdit->setAccessibleName(tr("Show names containing"));
    SearchEdit->setClearButtonEnabled(true);
    SearchEdit->hide();
    connect(SearchEdit, &QLineEdit::textChanged, this, [this] { applySearch(); });

    auto *buttons = new QHBoxLayout(Panel1);
    buttons->setContentsMargins(PanelMargin, PanelMargin, PanelRightMargin, PanelMargin);
    buttons->setSpacing(MoveButtonGap);
    buttons->addWidget(RetainBitBtn);
    buttons->addWidget(RemoveBitBtn);
    // Cancel before OK, which keeps its designed place at the right; the room between Remove
    // and OK takes it at the width of its caption.
    buttons->addStretch(1);
    auto *closing = new QHBoxLayout;
    closing->setSpacing(6);
    closing->addWidget(CancelBitBtn);
    closing->addWidget(OkBitBtn);
    buttons->addLayout(closing);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(SearchEdit);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(Panel1);

    setFixedSize(ClientWidth, ClientHeight);
    // Lay out now so that the splitter knows its width before its edge is placed.
    layout->activate();
    Splitter1->setSizes({RetainColumnWidth, ClientWidth - RetainColumnWidth - SplitterWidth});

    setTabOrder(SearchEdit, FilterInStringGrid);
    setTabOrder(FilterInStringGrid, FilterOutStringGrid);
    setTabOrder(FilterOutStringGrid, RetainBitBtn);
    setTabOrder(RetainBitBtn, RemoveBitBtn);
    setTabOrder(RemoveBitBtn, OkBitBtn);
    setTabOrder(OkBitBtn, CancelBitBtn);

    connect(RetainBitBtn, &QPushButton::clicked, this,
            [this] { ErrorBox::guard([this] { RetainBitBtnClick(); }, this); });
    connect(RemoveBitBtn, &QPushButton::clicked, this,
            [this] { ErrorBox::guard([this] { RemoveBitBtnClick(); }, this); });
    connect(OkBitBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBitBtn, &QPushButton::clicked, this, &QDialog::reject);

    LoadFilterGrids();
}

QTableView *TFilterForm::createGrid(const QString &objectName, QStandardItemModel *model)
{
    auto *grid = new QTableView(Splitter1);
    grid->setObjectName(objectName);
    grid->setModel(model);
    grid->setMinimumWidth(GridMinimumWidth);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false); // Tab moves on to the next control
    grid->setFocusPolicy(Qt::StrongFocus);
    grid->setShowGrid(true);
    grid->setWordWrap(false);
    grid->setCornerButtonEnabled(false);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView *rows = grid->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(RowHeight);
    rows->setDefaultSectionSize(RowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView *title = grid->horizontalHeader();
    title->setStretchLastSection(true);
    title->setSectionsClickable(false);
    title->setHighlightSections(false);
    return grid;
}

void TFilterForm::ShowFilter(const QString &title, TNameList *list)
{
    FilterList = list;
    if (list == nullptr)
        return;
    setWindowTitle(title);
    // Cancel and Escape put the marks back as they were now.
    m_marksBefore.clear();
    for (int position = 0; position < list->count(); ++position)
        m_marksBefore.append(list->isMarked(position));
    SearchEdit->clear();
    SearchEdit->setVisible(list->count() > SearchFrom);
    LoadFilterGrids();
    if (isVisible()) // already open: the refill is all that is needed
        return;
    centreOnParent();
    (SearchEdit->isVisible() ? static_cast<QWidget *>(SearchEdit) : FilterInStringGrid)->setFocus();
    exec();
}

void TFilterForm::LoadFilterGrids()
{
    QList<int> retained;
    QList<int> removed;
    if (FilterList != nullptr) {
        for (int position = 0; position < FilterList->count(); ++position)
            (FilterList->isMarked(position) ? removed : retained).append(position);
        // In alphabetical order, letter case aside; equal names in list order.
        const auto byName = [this](int a, int b) {
            return QString::localeAwareCompare(FilterList->name(a).toCaseFolded(),
                                               FilterList->name(b).toCaseFolded()) < 0;
        };
        std::stable_sort(retained.begin(), retained.end(), byName);
        std::stable_sort(removed.begin(), removed.end(), byName);
    }
    fillGrid(m_inModel, tr("Retain"), retained);
    fillGrid(m_outModel, tr("Remove"), removed);
    selectRow(FilterInStringGrid, 0);
    selectRow(FilterOutStringGrid, 0);
    applySearch();
}

void TFilterForm::applySearch()
{
    const QString wanted = SearchEdit->isVisible() ? SearchEdit->text().trimmed() : QString();
    for (QTableView *grid : {FilterInStringGrid, FilterOutStringGrid}) {
        const QAbstractItemModel *model = grid->model();
        for (int row = 0; row < model->rowCount(); ++row)
            grid->setRowHidden(row, !wanted.isEmpty() &&
                                        !model->index(row, 0).data().toString().contains(
                                            wanted, Qt::CaseInsensitive));
    }
}

void TFilterForm::fillGrid(QStandardItemModel *model, const QString &title,
                           const QList<int> &positions)
{
    model->setHorizontalHeaderLabels({title});
    model->setRowCount(0);
    const auto flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (positions.isEmpty()) {
        // A column without names shows one blank row that stands for no entry.
        auto *blank = new QStandardItem;
        blank->setData(-1, ListPositionRole);
        blank->setFlags(flags);
        model->appendRow(blank);
        return;
    }
    model->setRowCount(int(positions.size()));
    for (int row = 0; row < positions.size(); ++row) {
        const QString name = FilterList->name(positions[row]);
        auto *item = new QStandardItem(name);
        item->setData(positions[row], ListPositionRole);
        item->setToolTip(name);
        item->setFlags(flags);
        model->setItem(row, 0, item);
    }
}

void TFilterForm::RemoveBitBtnClick()
{
    moveSelected(FilterInStringGrid, FilterOutStringGrid, true);
}

void TFilterForm::RetainBitBtnClick()
{
    moveSelected(FilterOutStringGrid, FilterInStringGrid, false);
}

QList<int> TFilterForm::selectedPositions(const QTableView *grid) const
{
    QList<int> positions;
    if (FilterList == nullptr)
        return positions;
    QModelIndexList rows = grid->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    for (const QModelIndex &row : rows) {
        const int position = row.data(ListPositionRole).toInt();
        if (FilterList->isValidIndex(position)) // the blank row holds -1
            positions.append(position);
    }
    return positions;
}

void TFilterForm::moveSelected(QTableView *from, QTableView *to, bool mark)
{
    const QList<int> positions = selectedPositions(from);
    if (positions.isEmpty())
        return;
    int topRow = from->model()->rowCount();
    for (const QModelIndex &row : from->selectionModel()->selectedRows(0))
        topRow = std::min(topRow, row.row());

    for (int position : positions)
        FilterList->setMarked(position, mark);
    LoadFilterGrids();

    // The source column selects the name that moved up into the place of the moved ones, so
    // that pressing the button again moves the next name; the other column selects the names
    // just moved, so that the opposite button takes them straight back.
    selectRow(from, std::min(topRow, from->model()->rowCount() - 1));
    selectPositions(to, positions);
}

void TFilterForm::selectRow(QTableView *grid, int row)
{
    const QModelIndex index = grid->model()->index(row, 0);
    if (!index.isValid())
        return;
    grid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    grid->scrollTo(index);
}

void TFilterForm::selectPositions(QTableView *grid, const QList<int> &positions)
{
    QAbstractItemModel *model = grid->model();
    QItemSelection selection;
    QModelIndex first;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (!positions.contains(index.data(ListPositionRole).toInt()))
            continue;
        if (!first.isValid())
            first = index;
        selection.select(index, index);
    }
    if (!first.isValid())
        return;
    grid->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    grid->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    grid->scrollTo(first);
}

void TFilterForm::centreOnParent()
{
    // Client areas are centred on each other: the window frames are not known before the
    // dialog is first shown, and setGeometry places the client area whatever the frame.
    QWidget *host = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    QScreen *display = host != nullptr ? host->screen() : screen();
    const QRect available = display->availableGeometry();
    QRect client(QPoint(), size());
    client.moveCenter(host != nullptr ? host->geometry().center() : available.center());
    // Keep the whole dialog on the screen even when the main window is partly off it.
    client.moveLeft(std::max(available.left(),
                             std::min(client.left(), available.right() - client.width() + 1)));
    client.moveTop(std::max(available.top(),
                            std::min(client.top(), available.bottom() - client.height() + 1)));
    setGeometry(client);
}

void TFilterForm::reject()
{
    // Cancel, Escape and the title bar's close leave the list as it was when the dialog opened.
    if (FilterList != nullptr)
        for (int position = 0; position < FilterList->count() && position < m_marksBefore.size();
             ++position)
            FilterList->setMarked(position, m_marksBefore.at(position));
    QDialog::reject();
}

void TFilterForm::closeEvent(QCloseEvent *event)
{
    // The window manager's close cancels; a close requested by the program itself, such as
    // when the session ends, ends the dialog as OK would.
    if (event->spontaneous()) {
        reject();
        event->accept();
        return;
    }
    accept();
    event->accept();
}
