#pragma once

#include "BatteryHealth.h"

#include <QMap>
#include <QWidget>

class QLabel;
class QPushButton;
class TBatteryLogHealthView;
class TLineChart;
class TChargeLogDocument;

// The Battery Details window of one battery: its figures and a chart over time of the capacity
// of each discharge with the trend and the 80% line, and the amp-hours of each charge; below it,
// when its records name charger logs, the cell spread and resistance the logs give. It follows
// the log and closes when its battery is purged. Hovering a point shows its record; clicking it
// asks for the record's row to be selected in the main window's table.
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

    TBatteryDetailsForm(TChargeLogDocument *log, QWidget *parent, const QString &battery);

    // The window of that battery among the windows of `parent` (one per battery, names
    // compared without regard to case), created on first use, shown and raised. None for an
    // empty name.
    static TBatteryDetailsForm *showFor(TChargeLogDocument *log, QWidget *parent,
                                        const QString &battery);

    QString battery() const { return m_battery; }
    const BatteryHealth::TBatteryFigures &figures() const { return m_figures; }
    // The text of a figure label, by the figure's caption.
    QString figureText(const QString &caption) const;
    // The record a chart point stands for (key), and its tool tip.
    qint32 keyOf(int series, int index) const;
    QString recordText(qint32 key) const;
    // Asks for the record's row to be selected (selectRecordRequested).
    void selectRecord(qint32 key);
    void refresh();

    TLineChart *CapacityChart = nullptr;
    QLabel *LegendLabel = nullptr; // what the chart's markers and lines stand for
    TBatteryLogHealthView *LogHealth = nullptr;
    QPushButton *CardButton = nullptr;

Q_SIGNALS:
    void selectRecordRequested(qint32 key);
    // The battery's card is asked for ("Battery Card…").
    void cardRequested(const QString &battery);

private:
    void addFigure(const QString &caption);
    // The latest charge's final voltage from its charger log, per cell against the chemistry.
    void showFinalVoltage();
    void setFigure(const QString &caption, const QString &text);

    TChargeLogDocument *m_log;
    QString m_battery;
    BatteryHealth::TBatteryFigures m_figures;
    QMap<QString, QLabel *> m_labels;
    QStringList m_captions;
};
