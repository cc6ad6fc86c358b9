#pragma once

#include "ChargeLog.h"
#include "ChargerLog.h"

#include <QObject>
#include <QThreadPool>
#include <QVector>

#include <atomic>
#include <memory>
#include <optional>

// How each battery's packs wear as its charger logs tell it: the spread between the highest and
// the lowest cell at the end of each charge, and the internal resistance over time. The logs are
// the files the records name; reading them is left to TChargerLogHealthReader, off the caller's
// thread.
namespace ChargerLogHealth {

// A shown record that names a charger log, with the chart's name of its battery.
struct TLogRef
{
    QString Battery;
    double DateTime = 0;
    qint32 Key = 0;
    QString Path; // absolute
    bool operator==(const TLogRef &other) const
    {
        return Key == other.Key && DateTime == other.DateTime && Path == other.Path &&
               Battery == other.Battery;
    }
};

// The absolute path of a record's charger log file name: a relative name lies beside the log
// file. Empty for an empty name.
QString resolvePath(const QString &logFilePath, const QString &name);

// The shown records naming a charger log, of every battery of the chart battery list or, when
// `battery` is given, of that battery alone (found without regard to case), in date-time order.
QVector<TLogRef> logsOf(const TChargeLog &log, const QString &logFilePath,
                        const QString &battery = QString());

// What one log tells of its record's battery.
struct TPoint
{
    QString Battery;
    double DateTime = 0;
    qint32 Key = 0;
    std::optional<double> CellSpread;   // mV at the end of the log's charge
    std::optional<double> Resistance;   // mΩ, the pack's last reading
    std::optional<double> FinalVoltage; // V, the pack's at the end of the log's charge
    bool hasFigures() const { return CellSpread || Resistance; }
};

// The point of a record from its log's figures: the cell spread only when the log charged and
// had at least two cells, the resistance only when the log read one.
TPoint pointOf(const TLogRef &ref, const ChargerLog::TChargerLogFigures &figures);

// The latest figure of each kind among points of one battery (by date-time).
struct TLatest
{
    std::optional<double> CellSpread;
    std::optional<double> Resistance;
};
TLatest latest(const QVector<TPoint> &points);

// The figures of logs by file identity, shared by every window of this process.
ChargerLog::TFiguresCache &sharedCache();

} // namespace ChargerLogHealth

// Reads the logs of a list of records on worker threads, the newest record's first, and hands
// their points back on the thread it lives on, in batches as they come (pointsRead), with the
// count done (progress). A
// new start() drops what the last one had not handed over yet; deleting the reader stops it and
// waits for the file being read.
class TChargerLogHealthReader : public QObject
{
    Q_OBJECT
public:
    explicit TChargerLogHealthReader(QObject *parent = nullptr,
                                     ChargerLog::TFiguresCache *cache = nullptr);
    ~TChargerLogHealthReader() override;

    void start(const QVector<ChargerLogHealth::TLogRef> &refs);
    void stop();
    bool isRunning() const { return m_total > 0 && m_done < m_total; }
    int done() const { return m_done; }
    int total() const { return m_total; }

Q_SIGNALS:
    void pointsRead(const QVector<ChargerLogHealth::TPoint> &points);
    void progress(int done, int total);
    void finished();

private Q_SLOTS:
    // Hands over what the workers of that start() read since the last time.
    void deliver(quint64 generation);

private:
    struct Run;

    ChargerLog::TFiguresCache *m_cache;
    QThreadPool m_pool;
    std::shared_ptr<Run> m_run;
    quint64 m_generation = 0;
    int m_done = 0;
    int m_total = 0;
};
