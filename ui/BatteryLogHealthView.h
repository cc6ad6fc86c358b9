#pragma once

#include "ChargerLogHealth.h"

#include <QMap>
#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class TChargeLogDocument;
class TLineChart;

// The charger logs' part of a battery's details: the cell spread at the end of each charge
// (left axis) and the internal resistance (right axis) over time, one point per record whose
// log gives it. The logs are read on worker threads when the records naming them change, never
// by a refresh that leaves them as they were; points show as they come, with a progress bar
// below. Hidden while the battery's records name no log.
class TBatteryLogHealthView : public QWidget
{
    Q_OBJECT
public:
    enum Series
    {
        CellSpreadSeries,
        ResistanceSeries
    };

    // `recordText` gives the text of a record's tool tip by its key.
    TBatteryLogHealthView(TChargeLogDocument *log, const QString &battery,
                          std::function<QString(qint32)> recordText, QWidget *parent);

    void refresh();
    bool hasLogs() const { return !m_refs.isEmpty(); }
    const TChargerLogHealthReader *reader() const { return m_reader; }
    // The points read so far with a figure, in date-time order.
    QVector<ChargerLogHealth::TPoint> points() const;
    // The final voltage of the latest charge whose log gives one.
    std::optional<double> latestFinalVoltage() const { return m_finalVoltage; }
    // The record a chart point stands for.
    qint32 keyOf(int series, int index) const;

    TLineChart *HealthChart = nullptr;
    QProgressBar *HealthProgress = nullptr;

    // A progress bar that follows a reader: shown while it reads, "Reading charger logs: n of m".
    static QProgressBar *progressBarFor(TChargerLogHealthReader *reader, QWidget *parent);
    static QString cellSpreadText(double millivolts);
    static QString resistanceText(double milliohms);

Q_SIGNALS:
    void recordClicked(qint32 key);
    // Points came (or went): latestFinalVoltage() may have changed.
    void pointsChanged();

private:
    void addPoints(const QVector<ChargerLogHealth::TPoint> &points);
    void showPoints();

    TChargeLogDocument *m_log;
    QString m_battery;
    std::function<QString(qint32)> m_recordText;
    TChargerLogHealthReader *m_reader;
    QLabel *m_note;
    QVector<ChargerLogHealth::TLogRef> m_refs;
    QMap<qint32, ChargerLogHealth::TPoint> m_points; // by key
    QVector<qint32> m_keys[2];                       // the keys of each series' points
    std::optional<double> m_finalVoltage;
    double m_finalVoltageAt = 0;
};
