#include "BatteryDetailsFormUnit.h"
#include "WindowGeometry.h"

#include "BatteryLogHealthView.h"
#include "BatteryReport.h"
#include "ChargeLogDocument.h"
#include "ChargeLogTableModel.h"
#include "ErrorBox.h"
#include "LineChart.h"
#include "NumberText.h"

#include <QGridLayout>

#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

using BatteryHealth::Figure;

namespace {

QString number(const Figure &f, const QString &suffix = QString())
{
    return f ? NumberText::formatGrouped(*f) + suffix : QString();
}

// "(n discharges)" beside a figure that rests on them.
QString restingOn(const QString &text, int count)
{
    if (text.isEmpty())
        return text;
    return count == 1 ? TBatteryDetailsForm::tr("%1 (1 discharge)").arg(text)
                      : TBatteryDetailsForm::tr("%1 (%2 discharges)").arg(text).arg(count);
}

} // namespace

TBatteryDetailsForm::TBatteryDetailsForm(TChargeLogDocument *log, QWidget *parent,
                                         const QString &battery)
    : QWidget(parent, Qt::Window), m_log(log), m_battery(battery)
{
    setObjectName(QStringLiteral("BatteryDetailsForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (parent)
        setFont(parent->font());
    setWindowTitle(tr("Battery Details: %1").arg(battery));

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    for (const QString &caption :
         {tr("Cycles"), tr("Charges"), tr("Discharges"), tr("Ah charged"), tr("Ah discharged"),
          tr("Efficiency"), tr("First used"), tr("Last used"), tr("Days since last use"),
          tr("Reference capacity"), tr("Latest capacity"), tr("Retention"),
          tr("Trend per 100 cycles"), tr("Trend per year"), tr("End of life"), tr("Terminations"),
          tr("Final voltage"), tr("Due")})
        addFigure(caption);
    // Three columns of caption and value; the last three take a whole line each.
    const int perColumn = 5;
    const int wide = 3;
    for (int i = 0; i < m_captions.size(); ++i) {
        auto *caption = new QLabel(m_captions.at(i) + QLatin1Char(':'), this);
        QLabel *value = m_labels.value(m_captions.at(i));
        value->setAccessibleName(m_captions.at(i));
        const int fromEnd = int(m_captions.size()) - i;
        const bool whole = fromEnd <= wide;
        const int row = whole ? perColumn + wide - fromEnd : i % perColumn;
        const int column = whole ? 0 : (i / perColumn) * 2;
        grid->addWidget(caption, row, column);
        grid->addWidget(value, row, column + 1, 1, whole ? 5 : 1);
    }
    m_labels.value(tr("Due"))->setWordWrap(true);
    CardButton = new QPushButton(tr("Battery Card…"), this);
    CardButton->setObjectName(QStringLiteral("CardButton"));
    CardButton->setAutoDefault(false);
    connect(CardButton, &QPushButton::clicked, this, [this] { Q_EMIT cardRequested(m_battery); });
    grid->addWidget(CardButton, 0, 6, Qt::AlignRight | Qt::AlignTop);

    CapacityChart = new TLineChart(this);
    CapacityChart->setObjectName(QStringLiteral("CapacityChart"));
    CapacityChart->setAccessibleName(tr("Charges and capacity of %1").arg(battery));
    CapacityChart->addSeries(tr("Charge"), Qt::black, TLineChart::Markers);
    CapacityChart->addSeries(tr("Capacity"), Qt::black, TLineChart::Markers);
    CapacityChart->addSeries(tr("Trend"), Qt::black, TLineChart::Lines);
    CapacityChart->addSeries(tr("80%"), Qt::darkRed, TLineChart::Lines, Qt::DashLine);
    CapacityChart->yAxis().title = tr("AmpHours");
    CapacityChart->yAxis().font = font();
    CapacityChart->yAxis().font.setPointSize(8);
    CapacityChart->xAxis().font = CapacityChart->yAxis().font;
    CapacityChart->yAxis().gridPen = QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine);
    CapacityChart->xAxis().gridPen = QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DotLine);
    CapacityChart->styleChanged();
    CapacityChart->setYFormatter([](double v) { return NumberText::formatGrouped(v); });
    CapacityChart->setXFormatter([](double v) { return BatteryReport::dateText(v); });
    CapacityChart->setToolTipProvider(
        [this](int series, int index) { return recordText(keyOf(series, index)); });
    connect(CapacityChart, &TLineChart::pointClicked, this, [this](int series, int index) {
        ErrorBox::guard([&] { selectRecord(keyOf(series, index)); }, this);
    });

    LogHealth = new TBatteryLogHealthView(
        log, battery, [this](qint32 key) { return recordText(key); }, this);
    connect(LogHealth, &TBatteryLogHealthView::pointsChanged, this,
            &TBatteryDetailsForm::showFinalVoltage);
    connect(LogHealth, &TBatteryLogHealthView::recordClicked, this,
            &TBatteryDetailsForm::selectRecord);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(grid);
    layout->addWidget(CapacityChart, 3);
    LegendLabel = new QLabel(this);
    LegendLabel->setObjectName(QStringLiteral("LegendLabel"));
    LegendLabel->setWordWrap(true);
    layout->addWidget(LegendLabel);
    layout->addWidget(LogHealth, 2);
    resize(720, LogHealth->hasLogs() ? 700 : 520);
    WindowGeometry::remember(this, QStringLiteral("BatteryDetails"));
    WindowGeometry::closeWithKeys(this);

    refresh();
}

TBatteryDetailsForm *TBatteryDetailsForm::showFor(TChargeLogDocument *log, QWidget *parent,
                                                  const QString &battery)
{
    if (battery.isEmpty())
        return nullptr;
    TBatteryDetailsForm *form = nullptr;
    for (auto *open :
         parent->findChildren<TBatteryDetailsForm *>(QString(), Qt::FindDirectChildrenOnly))
        if (open->battery().compare(battery, Qt::CaseInsensitive) == 0 && !open->isHidden())
            form = open;
    if (!form)
        form = new TBatteryDetailsForm(log, parent, battery);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

void TBatteryDetailsForm::addFigure(const QString &caption)
{
    auto *label = new QLabel(this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_captions.append(caption);
    m_labels.insert(caption, label);
}

void TBatteryDetailsForm::setFigure(const QString &caption, const QString &text)
{
    if (QLabel *label = m_labels.value(caption))
        label->setText(text.isEmpty() ? tr("none") : text);
}

void TBatteryDetailsForm::showFinalVoltage()
{
    const std::optional<double> volts = LogHealth->latestFinalVoltage();
    const TBatteryCard *card = m_log->log().Cards.find(m_battery);
    QString text;
    if (volts) {
        text = card ? BatteryCards::finalVoltageCheck(*card, *volts) : QString();
        if (text.isEmpty())
            text = tr("%1 V (the card gives no cells and chemistry to judge it by)")
                       .arg(QLocale().toString(*volts, 'f', 2));
    }
    setFigure(tr("Final voltage"), text);
}

QString TBatteryDetailsForm::figureText(const QString &caption) const
{
    const QLabel *label = m_labels.value(caption);
    return label ? label->text() : QString();
}

void TBatteryDetailsForm::refresh()
{
    const TChargeLog &log = m_log->log();
    // A purged battery's name is gone from the list: its window goes with it.
    if (log.BatteriesStringList.indexOf(m_battery) < 0) {
        close();
        return;
    }
    // A battery hidden by the battery filter shows no figures until it is shown again.
    m_figures = BatteryHealth::battery(log, m_battery, DateTimeText::now())
                    .value_or(BatteryHealth::TBatteryFigures{});
    const BatteryHealth::TBatteryFigures &f = m_figures;
    using namespace BatteryReport;
    setFigure(tr("Cycles"),
              f.RatedCycles > 0
                  ? tr("%1 of %2 rated").arg(displayText(f, CyclesColumn)).arg(f.RatedCycles)
                  : displayText(f, CyclesColumn));
    setFigure(tr("Charges"), displayText(f, ChargesColumn));
    setFigure(tr("Discharges"), displayText(f, DischargesColumn));
    setFigure(tr("Ah charged"), displayText(f, AhChargedColumn));
    setFigure(tr("Ah discharged"), displayText(f, AhDischargedColumn));
    setFigure(tr("Efficiency"), displayText(f, EfficiencyColumn));
    setFigure(tr("First used"), f.FirstDateTime ? dateTimeText(*f.FirstDateTime) : QString());
    setFigure(tr("Last used"), displayText(f, LastUsedColumn));
    setFigure(tr("Days since last use"),
              f.DaysSinceLast ? NumberText::formatGrouped(std::floor(*f.DaysSinceLast))
                              : QString());
    setFigure(tr("Reference capacity"),
              f.AgainstRating() ? tr("%1 (rating)").arg(number(f.Reference, tr(" Ah")))
                                : restingOn(number(f.Reference, tr(" Ah")), f.ReferenceCount));
    setFigure(tr("Latest capacity"), restingOn(number(f.Latest, tr(" Ah")), f.LatestCount));
    setFigure(tr("Retention"), displayText(f, RetentionColumn));
    setFigure(tr("Trend per 100 cycles"), restingOn(displayText(f, TrendColumn), f.TrendCount));
    setFigure(tr("Trend per year"),
              restingOn(f.TrendPerYear ? BatteryReport::percentText(*f.TrendPerYear) : QString(),
                        f.TrendCount));
    // An end of life that lies behind is a date reached, not one to come.
    QString endOfLifeText = displayText(f, EndOfLifeColumn);
    if (f.EndOfLife && *f.EndOfLife < DateTimeText::now())
        endOfLifeText = tr("reached on %1").arg(endOfLifeText);
    setFigure(tr("End of life"), restingOn(endOfLifeText, f.TrendCount));
    // Figures that would rest on too few discharges are a dash, the reason beside it.
    const QString withheld =
        tr("Shown from %1 discharges over at least %2 days; this battery has %3 over %4 days.")
            .arg(BatteryHealth::MinimumForTrend)
            .arg(BatteryHealth::MinimumTrendDays)
            .arg(f.Capacity.size())
            .arg(std::floor(f.TrendSpanDays));
    for (const QString &caption :
         {tr("Retention"), tr("Trend per 100 cycles"), tr("Trend per year"), tr("End of life")}) {
        QLabel *label = m_labels.value(caption);
        // Against a rating, retention needs no run of discharges.
        const bool shown = caption == tr("Retention") && f.RetentionPercent;
        label->setToolTip(f.TrendWithheld && !shown ? withheld : QString());
        if (f.TrendWithheld && !shown)
            label->setText(QStringLiteral("\u2014"));
    }
    QLabel *efficiency = m_labels.value(tr("Efficiency"));
    efficiency->setToolTip(f.Efficiency ? QString() : tr("The battery was never discharged."));
    if (!f.Efficiency && f.AhCharged)
        efficiency->setText(QStringLiteral("\u2014"));
    QStringList terminations;
    for (const auto &[name, count] : f.Terminations)
        if (count > 0)
            terminations.append(tr("%1 %2").arg(name).arg(count));
    setFigure(tr("Terminations"), terminations.join(QStringLiteral(", ")));
    setFigure(tr("Due"), f.Due.join(QStringLiteral("; ")));
    LogHealth->refresh();
    showFinalVoltage();

    // The colours follow the main window's.
    CapacityChart->setSeriesColour(ChargeSeries,
                                   TChargeLogDocument::toQColor(log.ChargeSeriesColour));
    CapacityChart->setSeriesColour(CapacitySeries,
                                   TChargeLogDocument::toQColor(log.DischargeSeriesColour));
    CapacityChart->setSeriesColour(TrendSeries,
                                   TChargeLogDocument::toQColor(log.CyclesSeriesColour));
    // The legend in the same colours: markers for the records, lines for trend and limit.
    QStringList legend;
    const auto entry = [](const QColor &colour, const QString &symbol, const QString &name) {
        return QStringLiteral("<span style='color:%1'>%2</span>&nbsp;%3")
            .arg(colour.name(), symbol, name.toHtmlEscaped());
    };
    legend << entry(CapacityChart->seriesColour(ChargeSeries), QStringLiteral("\u25CF"),
                    tr("Charge (Ah charged)"))
           << entry(CapacityChart->seriesColour(CapacitySeries), QStringLiteral("\u25CF"),
                    tr("Capacity (Ah discharged)"))
           << entry(CapacityChart->seriesColour(TrendSeries), QStringLiteral("\u2501\u2501"),
                    tr("Trend"))
           << entry(CapacityChart->seriesColour(EndOfLifeSeries), QStringLiteral("\u2504\u2504"),
                    tr("End of life (80% of the reference capacity)"));
    LegendLabel->setText(legend.join(QStringLiteral("&nbsp;&nbsp; ")));
    const auto toPoints = [](const QVector<BatteryHealth::TRecordPoint> &records) {
        QVector<QPointF> points;
        points.reserve(records.size());
        for (const auto &r : records)
            points.append(QPointF(r.DateTime, r.AmpHours));
        return points;
    };
    CapacityChart->setPoints(ChargeSeries, toPoints(f.ChargesAh));
    CapacityChart->setPoints(CapacitySeries, toPoints(f.Capacity));
    QVector<QPointF> trend, endOfLife;
    if (f.TimeTrend && f.Reference && !f.Capacity.isEmpty()) {
        // From the first discharge to the last, or on to the end of life when it comes within
        // as long again.
        const double first = f.Capacity.first().DateTime;
        double last = f.Capacity.last().DateTime;
        if (f.EndOfLife && *f.EndOfLife > last && *f.EndOfLife - last <= last - first)
            last = *f.EndOfLife;
        trend = {QPointF(first, f.TimeTrend->at(first)), QPointF(last, f.TimeTrend->at(last))};
    }
    if (f.Reference && !f.Capacity.isEmpty()) {
        const double level = *f.Reference * BatteryHealth::EndOfLifeShare;
        const double first = std::min(f.Capacity.first().DateTime,
                                      f.ChargesAh.isEmpty() ? f.Capacity.first().DateTime
                                                            : f.ChargesAh.first().DateTime);
        const double last = trend.isEmpty() ? f.Capacity.last().DateTime : trend.last().x();
        endOfLife = {QPointF(first, level), QPointF(std::max(last, *f.LastDateTime), level)};
    }
    CapacityChart->setPoints(TrendSeries, trend);
    CapacityChart->setPoints(EndOfLifeSeries, endOfLife);
}

qint32 TBatteryDetailsForm::keyOf(int series, int index) const
{
    const auto &records = series == ChargeSeries     ? m_figures.ChargesAh
                          : series == CapacitySeries ? m_figures.Capacity
                                                     : QVector<BatteryHealth::TRecordPoint>();
    return index >= 0 && index < records.size() ? records.at(index).Key : 0;
}

QString TBatteryDetailsForm::recordText(qint32 key) const
{
    const TChargeLog &log = m_log->log();
    const int position = key != 0 ? log.FindChargeIndex(key) : -1;
    if (position < 0)
        return QString();
    const TChargeRecord &r = log.ChargeStringList.record(position);
    QString logFile, comment;
    TChargeList::SplitChargeText(log.ChargeStringList.text(position), logFile, comment);
    QString text = tr("%1\n%2 A, %3 Ah, %4")
                       .arg(DateTimeText::formatTable(r.DateTime),
                            NumberText::formatGeneral(r.NominalChargeAmps),
                            NumberText::formatGeneral(r.AmpHours),
                            log.TerminationsStringList.name(r.TerminationIndex));
    if (!comment.isEmpty())
        text += QLatin1Char('\n') + comment.left(200);
    return text;
}

void TBatteryDetailsForm::selectRecord(qint32 key)
{
    if (key != 0)
        Q_EMIT selectRecordRequested(key);
}
