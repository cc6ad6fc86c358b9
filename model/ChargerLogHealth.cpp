#include "ChargerLogHealth.h"

#include "ChartTotals.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// ThreadSanitizer cannot see the hand-overs inside Qt, which is not built with it: a job handed to
// the thread pool, a call queued to the reader's thread. These mark them, so that it reports only
// races in this file's own work.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
char handOver;
void handingOver()
{
    __tsan_release(&handOver);
}
void handedOver()
{
    __tsan_acquire(&handOver);
}
#else
void handingOver() {}
void handedOver() {}
#endif

} // namespace

namespace ChargerLogHealth {

namespace {

// A name in the folder: cheap enough for every record of a large log.
QString resolveIn(const QString &folder, const QString &name)
{
    if (name.trimmed().isEmpty())
        return {};
    if (QDir::isAbsolutePath(name))
        return QDir::cleanPath(name);
    return QDir::cleanPath(folder + QLatin1Char('/') + name);
}

} // namespace

QString resolvePath(const QString &logFilePath, const QString &name)
{
    return resolveIn(QFileInfo(logFilePath).absolutePath(), name);
}

QVector<TLogRef> logsOf(const TChargeLog &log, const QString &logFilePath, const QString &battery)
{
    const TChartBatteryList list = TChartBatteryList::of(log.BatteriesStringList);
    int wanted = -1;
    if (!battery.isEmpty()) {
        const int index = log.BatteriesStringList.indexOf(battery);
        wanted = index >= 0 ? list.PositionOfBattery.value(index, -1) : -1;
        if (wanted < 0)
            return {};
    }
    const TChargeList &charges = log.ChargeStringList;
    const QString folder = QFileInfo(logFilePath).absolutePath();
    QVector<TLogRef> refs;
    for (int i = 0; i < charges.count(); ++i) {
        // Most records name no log: their text has no name before the '*'.
        const QString &text = charges.text(i);
        const qsizetype star = text.indexOf(QLatin1Char('*'));
        if (star <= 0)
            continue;
        const TChargeRecord &record = charges.record(i);
        const int position = list.positionOf(record);
        if (position < 0 || (wanted >= 0 && position != wanted) || !log.isShown(record) ||
            !std::isfinite(record.DateTime))
            continue;
        const QString path = resolveIn(folder, text.left(star));
        if (!path.isEmpty())
            refs.append({list.Labels.at(position), record.DateTime, record.Key, path});
    }
    std::stable_sort(refs.begin(), refs.end(),
                     [](const TLogRef &a, const TLogRef &b) { return a.DateTime < b.DateTime; });
    return refs;
}

TPoint pointOf(const TLogRef &ref, const ChargerLog::TChargerLogFigures &figures)
{
    TPoint point{ref.Battery, ref.DateTime, ref.Key, std::nullopt, std::nullopt, std::nullopt};
    if (figures.charge && figures.finalVoltage && std::isfinite(*figures.finalVoltage))
        point.FinalVoltage = *figures.finalVoltage;
    if (figures.charge && figures.cellSpread && std::isfinite(*figures.cellSpread))
        point.CellSpread = *figures.cellSpread;
    if (figures.lastResistance && std::isfinite(figures.lastResistance->total) &&
        figures.lastResistance->total > 0)
        point.Resistance = figures.lastResistance->total;
    return point;
}

TLatest latest(const QVector<TPoint> &points)
{
    TLatest result;
    double spreadAt = -INFINITY, resistanceAt = -INFINITY;
    for (const TPoint &p : points) {
        if (p.CellSpread && p.DateTime >= spreadAt) {
            spreadAt = p.DateTime;
            result.CellSpread = p.CellSpread;
        }
        if (p.Resistance && p.DateTime >= resistanceAt) {
            resistanceAt = p.DateTime;
            result.Resistance = p.Resistance;
        }
    }
    return result;
}

ChargerLog::TFiguresCache &sharedCache()
{
    static ChargerLog::TFiguresCache cache;
    return cache;
}

} // namespace ChargerLogHealth

using namespace ChargerLogHealth;

// One start(): the list, the next file to take, and what the workers read and the reader has
// not handed over yet.
struct TChargerLogHealthReader::Run
{
    QVector<TLogRef> refs;
    std::atomic<int> next{0};
    std::atomic<bool> cancelled{false};
    quint64 generation = 0;
    QMutex mutex;
    QVector<TPoint> pending;
};

TChargerLogHealthReader::TChargerLogHealthReader(QObject *parent, ChargerLog::TFiguresCache *cache)
    : QObject(parent), m_cache(cache ? cache : &sharedCache())
{
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

TChargerLogHealthReader::~TChargerLogHealthReader()
{
    stop();
    m_pool.waitForDone();
}

void TChargerLogHealthReader::stop()
{
    if (m_run)
        m_run->cancelled = true;
    m_run.reset();
    m_done = m_total = 0;
}

void TChargerLogHealthReader::start(const QVector<TLogRef> &refs)
{
    stop();
    if (refs.isEmpty()) {
        Q_EMIT progress(0, 0);
        Q_EMIT finished();
        return;
    }
    auto run = std::make_shared<Run>();
    run->refs = refs;
    run->generation = ++m_generation;
    m_run = run;
    m_total = int(refs.size());
    Q_EMIT progress(0, m_total);
    ChargerLog::TFiguresCache *cache = m_cache;
    // The workers may use `this`: the destructor waits for them. A delivery still queued when
    // the reader goes is dropped with it.
    TChargerLogHealthReader *self = this;
    const int workers = int(std::min<qsizetype>(m_pool.maxThreadCount(), refs.size()));
    for (int w = 0; w < workers; ++w) {
        std::function<void()> job = [run, cache, self] {
            handedOver();
            for (;;) {
                // The newest first: the latest figures are the ones most looked for.
                const int taken = run->next++;
                if (taken >= run->refs.size() || run->cancelled)
                    return;
                const TLogRef &ref = run->refs.at(run->refs.size() - 1 - taken);
                const auto figures = cache->figuresFor(ref.Path);
                const TPoint point = figures ? pointOf(ref, *figures)
                                             : TPoint{ref.Battery, ref.DateTime, ref.Key, {}, {}};
                bool first = false;
                {
                    QMutexLocker locker(&run->mutex);
                    first = run->pending.isEmpty();
                    run->pending.append(point);
                }
                // One delivery is queued for whatever gathers until it runs.
                if (first) {
                    handingOver();
                    QMetaObject::invokeMethod(self, "deliver", Qt::QueuedConnection,
                                              Q_ARG(quint64, run->generation));
                }
            }
        };
        handingOver();
        m_pool.start(std::move(job));
    }
}

void TChargerLogHealthReader::deliver(quint64 generation)
{
    handedOver();
    const std::shared_ptr<Run> run = m_run;
    if (!run || run->generation != generation)
        return;
    QVector<TPoint> points;
    {
        QMutexLocker locker(&run->mutex);
        points.swap(run->pending);
    }
    if (points.isEmpty())
        return;
    m_done += int(points.size());
    Q_EMIT pointsRead(points);
    // A slot may have started anew or stopped.
    if (run != m_run)
        return;
    Q_EMIT progress(m_done, m_total);
    if (m_done >= m_total)
        Q_EMIT finished();
}
