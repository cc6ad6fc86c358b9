#include "BatteryLogHealthView.h"

#include "BatteryReport.h"
#include "ChargeLogDocument.h"
#include "ErrorBox.h"
#include "LineChart.h"
#include "NumberText.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

using ChargerLogHealth::TPoint;

TBatteryLogHealthView::TBatteryLogHealthView(TChargeLogDocument *log, const QString &battery,
                                             std::function<QString(qint32)> recordText,
                                             QWidget *parent)
    : QWidget(parent), m_log(log), m_battery(battery), m_recordText(std::move(recordText))
{
    setObjectName(QStringLiteral("BatteryLogHealthView"));
    m_reader = new TChargerLogHealthReader(this);
    connect(m_reader, &TChargerLogHealthReader::pointsRead, this,
            &TBatteryLogHealthView::addPoints);
    connect(m_reader, &TChargerLogHealthReader::finished, this, &TBatteryLogHealthView::showPoints);

    HealthChart = new TLineChart(this);
    HealthChart->setObjectName(QStringLiteral("HealthChart"));
    HealthChart->setAccessibleName(tr("Cell spread and resistance of %1").arg(battery));
    // Each axis' title in its series' colour: the two curves need no legend.
    const QColor spreadColour(0x1f, 0x5f, 0xbf), resistanceColour(0xbf, 0x5f, 0x1f);
    HealthChart->addSeries(tr("Cell spread"), spreadColour, TLineChart::MarkersAndLines);
    HealthChart->addSeries(tr("Resistance"), resistanceColour, TLineChart::MarkersAndLines);
    HealthChart->setSeriesAxis(ResistanceSeries, TLineChart::RightAxis);
    HealthChart->setAxisIncludesZero(TLineChart::LeftAxis, true);
    HealthChart->setAxisIncludesZero(TLineChart::RightAxis, true);
    HealthChart->yAxis().title = tr("Cell spread (mV)");
    HealthChart->rightAxis().title = tr("Resistance (mΩ)");
    HealthChart->yAxis().titleColour = spreadColour;
    HealthChart->rightAxis().titleColour = resistanceColour;
    QFont small = font();
    small.setPointSize(8);
    const QPen grid(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine);
    for (TChartAxisStyle *axis :
         {&HealthChart->xAxis(), &HealthChart->yAxis(), &HealthChart->rightAxis()}) {
        axis->font = small;
        axis->gridPen = grid;
    }
    HealthChart->rightAxis().gridPen = QPen(Qt::NoPen);
    HealthChart->styleChanged();
    HealthChart->setYFormatter([](double v) { return NumberText::formatGrouped(v); });
    HealthChart->setRightFormatter([](double v) { return NumberText::formatGrouped(v); });
    HealthChart->setXFormatter([](double v) { return BatteryReport::dateText(v); });
    HealthChart->setToolTipProvider([this](int series, int index) {
        const qint32 key = keyOf(series, index);
        const TPoint p = m_points.value(key);
        QStringList lines{m_recordText ? m_recordText(key) : QString()};
        if (p.CellSpread)
            lines.append(tr("Cell spread: %1").arg(cellSpreadText(*p.CellSpread)));
        if (p.Resistance)
            lines.append(tr("Resistance: %1").arg(resistanceText(*p.Resistance)));
        lines.removeAll(QString());
        return lines.join(QLatin1Char('\n'));
    });
    connect(HealthChart, &TLineChart::pointClicked, this, [this](int series, int index) {
        ErrorBox::guard(
            [&] {
                if (const qint32 key = keyOf(series, index))
                    Q_EMIT recordClicked(key);
            },
            this);
    });

    m_note =
        new QLabel(tr("The charger logs of this battery give no cell spread or resistance."), this);
    m_note->setObjectName(QStringLiteral("HealthNote"));
    m_note->setWordWrap(true);
    m_note->hide();
    HealthProgress = progressBarFor(m_reader, this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(HealthChart, 1);
    layout->addWidget(m_note);
    layout->addWidget(HealthProgress);
    refresh();
}

QProgressBar *TBatteryLogHealthView::progressBarFor(TChargerLogHealthReader *reader,
                                                    QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("LogProgress"));
    bar->setFormat(tr("Reading charger logs: %v of %m"));
    bar->setAccessibleName(tr("Reading charger logs"));
    bar->hide();
    connect(reader, &TChargerLogHealthReader::progress, bar, [bar](int done, int total) {
        bar->setRange(0, std::max(total, 1));
        bar->setValue(done);
        bar->setVisible(total > 0 && done < total);
    });
    return bar;
}

QString TBatteryLogHealthView::cellSpreadText(double millivolts)
{
    return tr("%1 mV").arg(NumberText::formatGeneral(millivolts));
}

QString TBatteryLogHealthView::resistanceText(double milliohms)
{
    return tr("%1 mΩ").arg(NumberText::formatGeneral(milliohms));
}

void TBatteryLogHealthView::refresh()
{
    QVector<ChargerLogHealth::TLogRef> refs =
        ChargerLogHealth::logsOf(m_log->log(), m_log->path(), m_battery);
    setVisible(!refs.isEmpty());
    if (refs == m_refs)
        return;
    m_refs = std::move(refs);
    m_points.clear();
    m_finalVoltage.reset();
    showPoints();
    m_reader->start(m_refs);
}

void TBatteryLogHealthView::addPoints(const QVector<TPoint> &points)
{
    for (const TPoint &p : points) {
        if (p.hasFigures())
            m_points.insert(p.Key, p);
        if (p.FinalVoltage && (!m_finalVoltage || p.DateTime >= m_finalVoltageAt)) {
            m_finalVoltage = p.FinalVoltage;
            m_finalVoltageAt = p.DateTime;
        }
    }
    showPoints();
}

void TBatteryLogHealthView::showPoints()
{
    const QVector<TPoint> shown = points();
    QVector<QPointF> spread, resistance;
    for (QVector<qint32> &keys : m_keys)
        keys.clear();
    for (const TPoint &p : shown) {
        if (p.CellSpread) {
            spread.append(QPointF(p.DateTime, *p.CellSpread));
            m_keys[CellSpreadSeries].append(p.Key);
        }
        if (p.Resistance) {
            resistance.append(QPointF(p.DateTime, *p.Resistance));
            m_keys[ResistanceSeries].append(p.Key);
        }
    }
    HealthChart->setPoints(CellSpreadSeries, spread);
    HealthChart->setPoints(ResistanceSeries, resistance);
    // Without any figure the sentence stands in the chart's place: an empty chart would show
    // axes of no dates at all.
    const bool none = hasLogs() && !m_reader->isRunning() && shown.isEmpty();
    m_note->setVisible(none);
    HealthChart->setVisible(!none);
    Q_EMIT pointsChanged();
}

QVector<TPoint> TBatteryLogHealthView::points() const
{
    QVector<TPoint> shown = m_points.values().toVector();
    std::stable_sort(shown.begin(), shown.end(),
                     [](const TPoint &a, const TPoint &b) { return a.DateTime < b.DateTime; });
    return shown;
}

qint32 TBatteryLogHealthView::keyOf(int series, int index) const
{
    if (series < 0 || series > ResistanceSeries)
        return 0;
    return m_keys[series].value(index, 0);
}
