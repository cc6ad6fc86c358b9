#include "BatteryOverviewFormUnit.h"

#include "ChargeLogDocument.h"
#include "ErrorBox.h"
#include "NumberText.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

using BatteryHealth::TBatteryFigures;
using BatteryReport::Column;

const QVector<Column> &TBatteryOverviewModel::columns()
{
    static const QVector<Column> shown{
        BatteryReport::BatteryColumn,      BatteryReport::CyclesColumn,
        BatteryReport::LastUsedColumn,     BatteryReport::AhChargedColumn,
        BatteryReport::AhDischargedColumn, BatteryReport::EfficiencyColumn,
        BatteryReport::RetentionColumn,    BatteryReport::TrendColumn,
        BatteryReport::EndOfLifeColumn};
    return shown;
}

void TBatteryOverviewModel::setFigures(QVector<TBatteryFigures> figures)
{
    beginResetModel();
    m_figures = std::move(figures);
    endResetModel();
}

int TBatteryOverviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_figures.size());
}

int TBatteryOverviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns().size());
}

QVariant TBatteryOverviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_figures.size() || index.column() >= columns().size())
        return {};
    const TBatteryFigures &f = m_figures.at(index.row());
    const Column column = columns().at(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return BatteryReport::displayText(f, column);
    case SortRole:
        return BatteryReport::sortValue(f, column);
    case Qt::TextAlignmentRole:
        return column == BatteryReport::BatteryColumn ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                                      : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (column == BatteryReport::RetentionColumn && f.RetentionPercent)
            return tr("Last %1 against first %2 discharges")
                .arg(f.LatestCount)
                .arg(f.ReferenceCount);
        if ((column == BatteryReport::TrendColumn || column == BatteryReport::EndOfLifeColumn) &&
            f.TrendCount > 0)
            return tr("From %1 discharges").arg(f.TrendCount);
        return {};
    default:
        return {};
    }
}

QVariant TBatteryOverviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columns().size())
        return {};
    return BatteryReport::title(columns().at(section));
}

bool TBatteryOverviewSortModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QVariant a = left.data(TBatteryOverviewModel::SortRole);
    const QVariant b = right.data(TBatteryOverviewModel::SortRole);
    // Absent figures after all others, whichever way the column is sorted.
    const bool descending = sortOrder() == Qt::DescendingOrder;
    if (!a.isValid() || !b.isValid()) {
        if (a.isValid() == b.isValid())
            return false;
        return descending ? !a.isValid() : !b.isValid();
    }
    if (a.typeId() == QMetaType::QString)
        return a.toString().localeAwareCompare(b.toString()) < 0;
    return a.toDouble() < b.toDouble();
}

TBatteryOverviewForm::TBatteryOverviewForm(TChargeLogDocument *log, QWidget *parent)
    : QWidget(parent, Qt::Window), m_log(log)
{
    setObjectName(QStringLiteral("BatteryOverviewForm"));
    setWindowTitle(tr("Battery Overview"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (parent)
        setFont(parent->font());
    m_model = new TBatteryOverviewModel(this);
    m_sort = new TBatteryOverviewSortModel(this);
    m_sort->setSourceModel(m_model);
    BatteryTableView = new QTableView(this);
    BatteryTableView->setObjectName(QStringLiteral("BatteryTableView"));
    BatteryTableView->setAccessibleName(tr("Figures per battery"));
    BatteryTableView->setModel(m_sort);
    BatteryTableView->setSortingEnabled(true);
    BatteryTableView->sortByColumn(0, Qt::AscendingOrder);
    BatteryTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    BatteryTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    BatteryTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    BatteryTableView->verticalHeader()->hide();
    BatteryTableView->verticalHeader()->setDefaultSectionSize(18);
    // Sized to the contents once: measuring every cell at every change would cost more than
    // working out the figures.
    BatteryTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    BatteryTableView->horizontalHeader()->setStretchLastSection(true);
    connect(BatteryTableView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) {
                ErrorBox::guard(
                    [&] {
                        const int row = m_sort->mapToSource(index).row();
                        if (row >= 0 && row < m_model->figures().size())
                            Q_EMIT detailsRequested(m_model->figures().at(row).Battery);
                    },
                    this);
            });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(BatteryTableView);
    resize(920, 260);
    refresh();
}

void TBatteryOverviewForm::refresh()
{
    m_model->setFigures(BatteryHealth::overview(m_log->log(), DateTimeText::now()));
    if (!m_sized && m_model->rowCount() > 0) {
        m_sized = true;
        BatteryTableView->resizeColumnsToContents();
    }
}

TBatteryOverviewForm *TBatteryOverviewForm::showFor(TChargeLogDocument *log, QWidget *parent)
{
    auto *form = parent->findChild<TBatteryOverviewForm *>(QString(), Qt::FindDirectChildrenOnly);
    if (!form)
        form = new TBatteryOverviewForm(log, parent);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}
