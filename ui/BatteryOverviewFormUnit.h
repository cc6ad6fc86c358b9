#pragma once

#include "BatteryHealth.h"
#include "BatteryReport.h"
#include "ChargerLogHealth.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

class QAction;
class QCheckBox;
class QPushButton;
class QTableView;
class TChargeLogDocument;

// One row per battery of the chart battery list with its health figures, and after them the
// latest cell spread and resistance its charger logs give.
class TBatteryOverviewModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The overview's columns from the log's records, in the order shown; the two columns from
    // the charger logs follow them.
    static const QVector<BatteryReport::Column> &columns();
    static int cellSpreadColumn() { return int(columns().size()); }
    static int resistanceColumn() { return int(columns().size()) + 1; }
    // What is due, after the figures it follows from.
    static int dueColumn() { return int(columns().indexOf(BatteryReport::DueColumn)); }
    static constexpr int SortRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;
    void setFigures(QVector<BatteryHealth::TBatteryFigures> figures);
    const QVector<BatteryHealth::TBatteryFigures> &figures() const { return m_figures; }
    // The charger logs' latest figures by battery name.
    void setLogHealth(QHash<QString, ChargerLogHealth::TLatest> latest);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVariant logHealthData(const QString &battery, int column, int role) const;

    QVector<BatteryHealth::TBatteryFigures> m_figures;
    QHash<QString, ChargerLogHealth::TLatest> m_logHealth;
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
// battery asks for its details (detailsRequested). The charger logs the records name are read
// on worker threads when those records change, filling their columns as they come.
class TBatteryOverviewForm : public QWidget
{
    Q_OBJECT
public:
    TBatteryOverviewForm(TChargeLogDocument *log, QWidget *parent);

    // The overview among the windows of `parent`, created on first use, shown and raised.
    static TBatteryOverviewForm *showFor(TChargeLogDocument *log, QWidget *parent);

    void refresh();
    QTableView *BatteryTableView = nullptr;
    QPushButton *CardButton = nullptr;
    QPushButton *DueSettingsButton = nullptr; // the log's settings of what is due
    QCheckBox *ShowRetiredBox = nullptr;
    // The battery of the selected row, or an empty text.
    QString selectedBattery() const;
    TBatteryOverviewModel *tableModel() const { return m_model; }
    QSortFilterProxyModel *sortModel() const { return m_sort; }
    const TChargerLogHealthReader *logReader() const { return m_reader; }

Q_SIGNALS:
    void detailsRequested(const QString &battery);
    // "Battery Card…" for the selected battery.
    void cardRequested(const QString &battery);

private:
    void addLogPoints(const QVector<ChargerLogHealth::TPoint> &points);

    TChargeLogDocument *m_log;
    TChargerLogHealthReader *m_reader;
    QVector<ChargerLogHealth::TLogRef> m_refs;
    QHash<QString, QVector<ChargerLogHealth::TPoint>> m_logPoints; // by battery
    TBatteryOverviewModel *m_model;
    TBatteryOverviewSortModel *m_sort;
    bool m_sized = false;
};
