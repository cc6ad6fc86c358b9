#pragma once

#include <QObject>

class QAction;
class QWidget;
class TBatteryCardForm;
class TBatteryDetailsForm;
class TBatteryOverviewForm;
class TChargeChart;
class TChargeLogDocument;

// The main window's commands for its battery windows: "Battery Overview" (View menu and the
// chart's popup), "Battery Details…" (the popup, for the battery under the mouse) and a double
// click on a bar. The windows follow every refresh of the main window (refreshed()).
class TBatteryCommands : public QObject
{
    Q_OBJECT
public:
    TBatteryCommands(TChargeLogDocument *document, TChargeChart *chart, QWidget *window);

    QAction *BatteryOverviewAction = nullptr;
    QAction *BatteryDetailsAction = nullptr;
    // "Battery Card…": in the chart's popup for the battery under the mouse, and in the Edit
    // menu and the table's context menu for the battery of the record (setTableBattery()).
    QAction *BatteryCardAction = nullptr;
    QAction *TableBatteryCardAction = nullptr;
    // Whether retired batteries show in the chart and the overview (View menu, chart popup).
    QAction *ShowRetiredAction = nullptr;

    void setTableBattery(const QString &battery);

    // The windows of the log, created on first use, shown and raised.
    TBatteryOverviewForm *showOverview();
    TBatteryDetailsForm *showDetails(const QString &battery);
    TBatteryCardForm *showCard(const QString &battery);

Q_SIGNALS:
    // The main window refreshed: the battery windows follow.
    void refreshed();
    // A details window asks for the row of a record to be selected.
    void selectRecordRequested(qint32 key);

private:
    TChargeLogDocument *m_document;
    TChargeChart *m_chart;
    QWidget *m_window;
};
