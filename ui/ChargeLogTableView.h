#pragma once

#include <QList>
#include <QTableView>

class TChargeLogTableModel;

// The main window's table of charges over its model: the columns at their design widths, the
// discharge colour, whole rows selected in one contiguous block, and the selection read and set
// as spans of rows, so that a selection of 100,000 rows costs no more than one of ten.
class TChargeLogTableView : public QTableView
{
    Q_OBJECT
public:
    TChargeLogTableView(TChargeLogTableModel *model, QWidget *parent = nullptr);

    TChargeLogTableModel *chargeModel() const { return m_model; }

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
    // The first and last selected row (-1 for none), and a selection of those rows again,
    // cut to the rows there are: a refresh keeps the rows selected by number.
    std::pair<int, int> selectedBounds() const;
    void selectRows(int first, int last);
    void selectLastRow();
    // Selects and shows the row of the record holding `key`; false when no row shows it.
    bool selectKey(qint32 key);

private:
    TChargeLogTableModel *m_model;
};
