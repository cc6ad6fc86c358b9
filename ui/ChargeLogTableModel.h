#pragma once

#include "ChargeLog.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QLocale>
#include <QStyledItemDelegate>

#include <vector>

// The rows of the charge log table: one per shown record, oldest first. A row keeps its
// record's key and where the record stood in the log at the rebuild (8 bytes), and texts are
// made only when a cell is painted, so a rebuild of a million rows is one pass that allocates
// no per-row or per-cell objects. A row always shows the record of its key, also should the log
// have changed before the next rebuild. An empty table has one blank row without a key.
class TChargeLogTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        DateTimeColumn,
        PowerColumn,
        ChargerColumn,
        BatteryColumn,
        AmpsColumn,
        AmpHoursColumn,
        TerminationColumn,
        CommentColumn,
        ColumnCount
    };
    // Column 0 answers this role with the row's record key (0 for the blank row).
    static constexpr int KeyRole = Qt::UserRole + 1;
    // Longer cell texts are cut (with an ellipsis) for display.
    static constexpr int MaxCellText = 1000;

    explicit TChargeLogTableModel(QObject *parent = nullptr);

    // Rebuilds every row from the shown records of `log` (which must stay alive until the next
    // rebuild) and calls `perRecord` for each of them, in table order.
    template <typename PerRecord> void rebuild(const TChargeLog &log, PerRecord perRecord);

    int shownCount() const { return int(m_rows.size()); }
    qint32 keyAt(int row) const;
    void setDischargeColour(const QColor &colour);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    static QStringList columnTitles();

    // The given rows as a spreadsheet takes them: the column titles, then one line per row
    // with the texts the table shows, but whole comments; tabs and line breaks inside a field
    // become blanks.
    QString rowsAsTabSeparatedText(const QList<int> &rows) const;

private:
    struct Row
    {
        qint32 Key;
        int Position; // in the log's charge list at the rebuild
    };
    // The record the row shows, or null when the log holds it no more.
    const TChargeEntry *entryOf(const Row &row) const;
    QString cellText(const TChargeEntry &entry, int column) const;

public:
    // The text of a cell as the table shows it: the record's entry text is
    // "chargerlogfile*comment" as the charge list keeps it.
    static QString cellText(const TChargeLog &log, const TChargeRecord &record, const QString &text,
                            int column, const QLocale &locale = QLocale());

private:
    const TChargeLog *m_log = nullptr;
    std::vector<Row> m_rows;
    QColor m_dischargeColour;
    QLocale m_locale;
};

// Draws the Amps and AmpHours cells of a discharge in the discharge colour (the model's
// foreground) also when the row is selected or has the focus, where the view would otherwise
// take the highlight text colour. The colour is read at every paint, so a change shows at once.
class TDischargeItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

template <typename PerRecord>
void TChargeLogTableModel::rebuild(const TChargeLog &log, PerRecord perRecord)
{
    beginResetModel();
    m_log = &log;
    m_locale = QLocale();
    m_rows.clear();
    const TChargeList &charges = log.ChargeStringList;
    m_rows.reserve(size_t(charges.count()));
    for (int i = 0; i < charges.count(); ++i) {
        const TChargeEntry &entry = charges.at(i);
        if (!log.isShown(entry.Record))
            continue;
        m_rows.push_back(Row{entry.Record.Key, i});
        perRecord(entry.Record);
    }
    endResetModel();
}
