#include "BatteryOverviewFormUnit.h"
#include "WindowGeometry.h"

#include "BatteryLogHealthView.h"
#include "ChargeLogDocument.h"
#include "DueSettingsFormUnit.h"
#include "ErrorBox.h"
#include "NumberText.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
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
        BatteryReport::EndOfLifeColumn,    BatteryReport::DueColumn};
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
    return parent.isValid() ? 0 : resistanceColumn() + 1;
}

QVariant TBatteryOverviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_figures.size() || index.column() >= columnCount())
        return {};
    const TBatteryFigures &f = m_figures.at(index.row());
    if (index.column() >= cellSpreadColumn())
        return logHealthData(f.Battery, index.column(), role);
    const Column column = columns().at(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return BatteryReport::displayText(f, column);
    case SortRole:
        return BatteryReport::sortValue(f, column);
    case Qt::TextAlignmentRole:
        return column == BatteryReport::BatteryColumn || column == BatteryReport::DueColumn
                   ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (column == BatteryReport::DueColumn)
            return BatteryReport::displayText(f, column);
        if (column == BatteryReport::RetentionColumn && f.RetentionPercent && f.AgainstRating())
            return tr("Last %1 discharges against the rating of %2")
                .arg(f.LatestCount)
                .arg(BatteryReport::displayText(f, BatteryReport::RatedCapacityColumn));
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

void TBatteryOverviewModel::setLogHealth(QHash<QString, ChargerLogHealth::TLatest> latest)
{
    m_logHealth = std::move(latest);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, cellSpreadColumn()), index(rowCount() - 1, resistanceColumn()));
}

QVariant TBatteryOverviewModel::logHealthData(const QString &battery, int column, int role) const
{
    const ChargerLogHealth::TLatest latest = m_logHealth.value(battery);
    const std::optional<double> &value =
        column == cellSpreadColumn() ? latest.CellSpread : latest.Resistance;
    switch (role) {
    case Qt::DisplayRole:
        if (!value)
            return QString();
        return column == cellSpreadColumn() ? TBatteryLogHealthView::cellSpreadText(*value)
                                            : TBatteryLogHealthView::resistanceText(*value);
    case SortRole:
        return value ? QVariant(*value) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        return value ? tr("The latest of its charger logs") : QVariant();
    default:
        return {};
    }
}

QVariant TBatteryOverviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == dueColumn())
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter); // over the start of its texts
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    if (section == cellSpreadColumn())
        return TBatteryLogHealthView::tr("Cell spread");
    if (section == resistanceColumn())
        return TBatteryLogHealthView::tr("Resistance");
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
    m_reader = new TChargerLogHealthReader(this);
    connect(m_reader, &TChargerLogHealthReader::pointsRead, this,
            &TBatteryOverviewForm::addLogPoints);
    // The logs' columns take the width of what the logs gave, once all are read.
    connect(m_reader, &TChargerLogHealthReader::finished, this, [this] {
        BatteryTableView->resizeColumnToContents(TBatteryOverviewModel::cellSpreadColumn());
        BatteryTableView->resizeColumnToContents(TBatteryOverviewModel::resistanceColumn());
    });
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
    CardButton = new QPushButton(tr("Battery Card…"), this);
    CardButton->setObjectName(QStringLiteral("CardButton"));
    CardButton->setAutoDefault(false);
    connect(CardButton, &QPushButton::clicked, this, [this] {
        if (!selectedBattery().isEmpty())
            Q_EMIT cardRequested(selectedBattery());
    });
    DueSettingsButton = new QPushButton(tr("Due Settings…"), this);
    DueSettingsButton->setObjectName(QStringLiteral("DueSettingsButton"));
    DueSettingsButton->setAutoDefault(false);
    connect(DueSettingsButton, &QPushButton::clicked, this, [this] {
        auto *form = new TDueSettingsForm(m_log, this);
        form->open();
    });
    ShowRetiredBox = new QCheckBox(tr("Show retired batteries"), this);
    ShowRetiredBox->setObjectName(QStringLiteral("ShowRetiredBox"));
    connect(ShowRetiredBox, &QCheckBox::toggled, this,
            [this](bool show) { ErrorBox::guard([&] { m_log->setShowRetired(show); }, this); });
    connect(BatteryTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { CardButton->setEnabled(!selectedBattery().isEmpty()); });
    CardButton->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ShowRetiredBox);
    buttons->addStretch();
    buttons->addWidget(DueSettingsButton);
    buttons->addWidget(CardButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(BatteryTableView);
    layout->addWidget(TBatteryLogHealthView::progressBarFor(m_reader, this));
    layout->addLayout(buttons);
    resize(1060, 260);
    WindowGeometry::remember(this, QStringLiteral("BatteryOverview"));
    WindowGeometry::closeWithKeys(this);
    refresh();
}

QString TBatteryOverviewForm::selectedBattery() const
{
    const QModelIndexList rows = BatteryTableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return QString();
    const int row = m_sort->mapToSource(rows.first()).row();
    return row >= 0 && row < m_model->figures().size() ? m_model->figures().at(row).Battery
                                                       : QString();
}

void TBatteryOverviewForm::refresh()
{
    {
        const QSignalBlocker blocker(ShowRetiredBox);
        ShowRetiredBox->setChecked(m_log->log().Cards.ShowRetired);
    }
    m_model->setFigures(BatteryHealth::overview(m_log->log(), DateTimeText::now()));
    // The logs are read again only when the records naming them changed.
    QVector<ChargerLogHealth::TLogRef> refs = ChargerLogHealth::logsOf(m_log->log(), m_log->path());
    if (refs != m_refs) {
        m_refs = std::move(refs);
        m_logPoints.clear();
        m_model->setLogHealth({});
        m_reader->start(m_refs);
    }
    if (!m_sized && m_model->rowCount() > 0) {
        m_sized = true;
        BatteryTableView->resizeColumnsToContents();
        // What is due can be long: its tip gives it whole, the logs' columns stay in view.
        const int due = TBatteryOverviewModel::dueColumn();
        BatteryTableView->setColumnWidth(due, qMin(BatteryTableView->columnWidth(due), 260));
    }
}

void TBatteryOverviewForm::addLogPoints(const QVector<ChargerLogHealth::TPoint> &points)
{
    for (const ChargerLogHealth::TPoint &p : points)
        if (p.hasFigures())
            m_logPoints[p.Battery].append(p);
    QHash<QString, ChargerLogHealth::TLatest> latest;
    for (auto it = m_logPoints.cbegin(); it != m_logPoints.cend(); ++it)
        latest.insert(it.key(), ChargerLogHealth::latest(it.value()));
    m_model->setLogHealth(std::move(latest));
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
