#include "ChargeLogTableView.h"

#include "ChargeLogTableModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>

TChargeLogTableView::TChargeLogTableView(TChargeLogTableModel *model, QWidget *parent)
    : QTableView(parent), m_model(model)
{
    setModel(model);
    auto *dischargeDelegate = new TDischargeItemDelegate(this);
    setItemDelegateForColumn(TChargeLogTableModel::AmpsColumn, dischargeDelegate);
    setItemDelegateForColumn(TChargeLogTableModel::AmpHoursColumn, dischargeDelegate);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The arrows move inside the table; Tab and Shift+Tab leave it for the next control.
    setTabKeyNavigation(false);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setMinimumSectionSize(18);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont gridFont = font();
    gridFont.setPointSize(8);
    setFont(gridFont);
    // The design widths, widened where this desktop's font needs more for a title or a date.
    const int widths[] = {109, 88, 94, 90, 63, 55, 72, 867};
    const QFontMetrics metrics(gridFont);
    const QStringList titles = TChargeLogTableModel::columnTitles();
    for (int column = 0; column < TChargeLogTableModel::ColumnCount; ++column) {
        int width = qMax(widths[column], metrics.horizontalAdvance(titles.at(column)) + 12);
        if (column == TChargeLogTableModel::DateTimeColumn)
            width =
                qMax(width, metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 12);
        setColumnWidth(column, width);
    }
}

QList<TChargeLogTableView::RowSpan> TChargeLogTableView::selectedRowSpans() const
{
    // From the selection's ranges rather than one index per row: Ctrl+A on a large log is a
    // single range, and listing its rows one by one took longer than deleting them.
    QList<RowSpan> spans;
    const int lastColumn = TChargeLogTableModel::ColumnCount - 1;
    for (const QItemSelectionRange &range : selectionModel()->selection())
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

QList<int> TChargeLogTableView::selectedRowNumbers() const
{
    QList<int> rows;
    for (const RowSpan &span : selectedRowSpans())
        for (int row = span.first; row <= span.last; ++row)
            if (m_model->keyAt(row) != 0)
                rows.append(row);
    return rows;
}

int TChargeLogTableView::commandRow() const
{
    const int current = currentIndex().row();
    int first = -1;
    for (const RowSpan &span : selectedRowSpans()) {
        if (current >= span.first && current <= span.last && m_model->keyAt(current) != 0)
            return current;
        for (int row = span.first; first < 0 && row <= span.last; ++row)
            if (m_model->keyAt(row) != 0)
                first = row;
    }
    return first;
}

std::pair<int, int> TChargeLogTableView::selectedBounds() const
{
    int first = -1, last = -1;
    for (const RowSpan &span : selectedRowSpans()) {
        first = first < 0 ? span.first : qMin(first, span.first);
        last = qMax(last, span.last);
    }
    return {first, last};
}

void TChargeLogTableView::selectRows(int first, int last)
{
    if (first < 0)
        return;
    const int rows = m_model->rowCount();
    first = qMin(first, rows - 1);
    last = qMin(last, rows - 1);
    selectionModel()->select(
        QItemSelection(m_model->index(first, 0),
                       m_model->index(last, TChargeLogTableModel::ColumnCount - 1)),
        QItemSelectionModel::ClearAndSelect);
}

void TChargeLogTableView::selectLastRow()
{
    const int last = m_model->rowCount() - 1;
    selectRows(last, last);
    selectionModel()->setCurrentIndex(m_model->index(last, 0), QItemSelectionModel::NoUpdate);
}

bool TChargeLogTableView::selectKey(qint32 key)
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->keyAt(row) != key)
            continue;
        selectRows(row, row);
        const QModelIndex index = m_model->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index, QAbstractItemView::PositionAtCenter);
        return true;
    }
    return false;
}
