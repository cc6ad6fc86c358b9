#pragma once

#include "BatteryHealth.h"

#include <QMap>
#include <QWidget>

class QLabel;
class TLineChart;
class TQorLogMainForm;

// The Battery Details window of one battery: its figures and a chart over time of the capacity
// of each discharge with the trend and the 80% line, and the amp-hours of each charge. It follows
// the log and closes when its battery is purged. Hovering a point shows its record; clicking it
// selects the record's row in the main window's table.
class TBatteryDetailsForm : public QWidget
{
    Q_OBJECT
public:
    enum ChartSeries
    {
        ChargeSeries,
        CapacitySeries,
        TrendSeries,
        EndOfLifeSeries
    };

    TBatteryDetailsForm(TQorLogMainForm *mainForm, const QString &battery);

    // The window of that battery (one per battery, names compared without regard to case),
    // created on first use, shown and raised. None for a name the chart does not list.
    static TBatteryDetailsForm *showFor(TQorLogMainForm *mainForm, const QString &battery);

    QString battery() const { return m_battery; }
    const BatteryHealth::TBatteryFigures &figures() const { return m_figures; }
    // The text of a figure label, by the figure's caption.
    QString figureText(const QString &caption) const;
    // The record a chart point stands for (key), and its tool tip.
    qint32 keyOf(int series, int index) const;
    QString recordText(qint32 key) const;
    void selectRecord(qint32 key);
    void refresh();

    TLineChart *CapacityChart = nullptr;

private:
    void addFigure(const QString &caption);
    void setFigure(const QString &caption, const QString &text);

    TQorLogMainForm *m_mainForm;
    QString m_battery;
    BatteryHealth::TBatteryFigures m_figures;
    QMap<QString, QLabel *> m_labels;
    QStringList m_captions;
};
