#pragma once

#include "ChargerLog.h"
#include "ChargerLogDollar.h"

#include <QVector>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;
class TLineChart;

// The window of one charger's own log: its samples over time (voltage and cells on the left
// axis, current on the right, capacity and temperature on request, the phases shaded behind),
// a read-out of every value under the mouse, the log's figures beside the chart, and a check of
// a charge record's amp-hours against the log. Files that are read in the background when large;
// one that cannot be read shows why. An untitled file gets a chooser per column for what the
// column holds. Dropping a log file on the window shows that file.
class TChargerLogForm : public QWidget
{
    Q_OBJECT
public:
    // A figure's value in this window: durations as h:mm:ss, decimals in the locale's way.
    static QString localFigure(const QString &value);
    // The legend's text: a sample of each line's colour and of each phase's shade, named.
    static QString legendHtml();
    // The first `rows` values of each column of an untitled log, shown beside its chooser.
    static QVector<QStringList> sampleValues(const QString &path, int rows);
    enum ChartSeries
    {
        VoltageSeries,
        CurrentSeries,
        CapacitySeries,
        TemperatureSeries,
        FirstCellSeries
    };

    explicit TChargerLogForm(const QString &path, QWidget *parent = nullptr);
    ~TChargerLogForm() override;

    // The window of that file (one per file), created on first use near `anchor`'s window,
    // shown and raised.
    static TChargerLogForm *showFor(const QString &path, QWidget *anchor);

    // Moves the window a little below the middle of `anchor`'s window; windows opened one after
    // another take a `step` each further down.
    void placeNear(QWidget *anchor, int step = 0);

    QString filePath() const { return m_path; }
    // Shows another file (the record's file name was edited, a file was dropped).
    void setFilePath(const QString &path);
    // Reads the file again, with the column roles chosen in the choosers for an untitled file.
    void reload();
    // Shows a log already read (the worker's result, or a log made up by a caller).
    void setLog(const ChargerLog::TChargerLog &log);

    // A log that grows as a capture receives it: the window follows it sample by sample (the
    // curves grow, the figures follow twice a second, hover and zoom work all along) until
    // endLive() shows the finished file.
    void beginLive(const QString &title);
    void appendLiveSample(const ChargerLog::TDollarSample &sample);
    // The capture ended: the file it wrote is shown (none: the samples stay as they are).
    void endLive(const QString &path);
    bool isLive() const { return m_live; }
    // How often a live log's figures are worked out again: each costs time with the samples.
    static int liveFiguresIntervalMs(int samples) { return samples < 10000 ? 500 : 2000; }
    const ChargerLog::TChargerLog &log() const { return m_log; }
    const ChargerLog::TChargerLogFigures &figures() const { return m_figures; }
    // True while a large file is read in the background.
    bool isReading() const { return m_reading; }

    // The record to check the log against: negative amp-hours or amps make it a discharge.
    void setRecord(qint32 key, double ampHours, double nominalAmps);
    qint32 recordKey() const { return m_hasRecord ? m_recordKey : 0; }
    // The log's amp-hours of the record's kind (negative for a discharge); absent when the log
    // has no such phase or no record is set.
    std::optional<double> logAmpHoursForRecord() const;

    // The read-out text at a time (seconds from the first sample): the nearest sample.
    QString readoutAt(double seconds) const;

    TLineChart *Chart = nullptr;
    QLabel *FileLabel = nullptr;
    QLabel *ErrorLabel = nullptr;
    QWidget *RolesRow = nullptr;
    QVector<QComboBox *> RoleBoxes;
    QPushButton *ReadRolesButton = nullptr;
    QCheckBox *CapacityBox = nullptr;
    QCheckBox *TemperatureBox = nullptr;
    QLabel *ReadoutLabel = nullptr;
    QLabel *LegendLabel = nullptr; // the lines' colours and the shaded phases
    QLabel *CheckLabel = nullptr;
    QPushButton *UseLogButton = nullptr;
    QPushButton *CopyButton = nullptr;

    // Files up to this size are read at once (with a wait cursor), larger ones on a worker.
    static constexpr qint64 ForegroundLimit = 2 * 1024 * 1024;

Q_SIGNALS:
    void useLogAmpHours(qint32 key, double ampHours);
    // A log has been shown (read or refused).
    void logShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void startReading(const QVector<ChargerLog::ColumnRole> &roles);
    void fillChart();
    void fillSwitchable();
    void fillFigures();
    void fillRoles();
    void updateCheck();
    void copySamples();
    int sampleNear(double seconds) const;

    QString m_path;
    ChargerLog::TChargerLog m_log;
    ChargerLog::TChargerLogFigures m_figures;
    QFormLayout *m_figureLayout = nullptr;
    bool m_reading = false;
    int m_generation = 0;
    bool m_hasRecord = false;
    qint32 m_recordKey = 0;
    double m_recordAmpHours = 0;
    bool m_recordDischarge = false;
    // The live log: the charger's time of its first sample, the cell columns in use.
    bool m_live = false;
    qint64 m_liveFirstMs = 0;
    QVector<int> m_liveCells;
    class QTimer *m_liveFigures = nullptr;
};
