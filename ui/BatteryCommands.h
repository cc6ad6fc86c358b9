#pragma once

#include <QObject>

class QAction;
class QWidget;
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

    // The windows of the log, created on first use, shown and raised.
    TBatteryOverviewForm *showOverview();
    TBatteryDetailsForm *showDetails(const QString &battery);

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
