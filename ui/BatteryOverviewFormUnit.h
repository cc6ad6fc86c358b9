#pragma once

#include "BatteryHealth.h"
#include "BatteryReport.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

class QAction;
class QTableView;
class TChargeLogDocument;

// One row per battery of the chart battery list with its health figures.
class TBatteryOverviewModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The overview's columns, in the order shown.
    static const QVector<BatteryReport::Column> &columns();
    static constexpr int SortRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;
    void setFigures(QVector<BatteryHealth::TBatteryFigures> figures);
    const QVector<BatteryHealth::TBatteryFigures> &figures() const { return m_figures; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVector<BatteryHealth::TBatteryFigures> m_figures;
};

// Sorts numbers as numbers and names by the user's collation; absent figures always come last.
class TBatteryOverviewSortModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};

// The modeless Battery Overview window of a log: follows every change of it. Double-clicking a
// battery asks for its details (detailsRequested).
class TBatteryOverviewForm : public QWidget
{
    Q_OBJECT
public:
    TBatteryOverviewForm(TChargeLogDocument *log, QWidget *parent);

    // The overview among the windows of `parent`, created on first use, shown and raised.
    static TBatteryOverviewForm *showFor(TChargeLogDocument *log, QWidget *parent);

    void refresh();
    QTableView *BatteryTableView = nullptr;
    TBatteryOverviewModel *tableModel() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sort; }

Q_SIGNALS:
    void detailsRequested(const QString &battery);

private:
    TChargeLogDocument *m_log;
    TBatteryOverviewModel *m_model;
    TBatteryOverviewSortModel *m_sort;
    bool m_sized = false;
};
