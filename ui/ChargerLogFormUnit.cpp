#include "ChargerLogFormUnit.h"
#include "WindowGeometry.h"

#include "LineChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace ChargerLog;

namespace {

const QColor VoltageColour(31, 119, 180);
const QColor CurrentColour(214, 39, 40);
const QColor CapacityColour(44, 160, 44);
const QColor TemperatureColour(255, 127, 14);
const QColor CellColours[] = {{148, 103, 189}, {140, 86, 75},  {227, 119, 194}, {127, 127, 127},
                              {188, 189, 34},  {23, 190, 207}, {100, 60, 160},  {90, 140, 60},
                              {200, 80, 40},   {60, 60, 200}};

QColor phaseColour(Phase phase)
{
    switch (phase) {
    case Phase::Charge:
        return QColor(255, 236, 214);
    case Phase::Discharge:
        return QColor(214, 232, 255);
    case Phase::Rest:
        return QColor(236, 236, 236);
    case Phase::Unknown:
        break;
    }
    return QColor();
}

QString phaseName(Phase phase)
{
    switch (phase) {
    case Phase::Charge:
        return TChargerLogForm::tr("charge");
    case Phase::Discharge:
        return TChargerLogForm::tr("discharge");
    case Phase::Rest:
        return TChargerLogForm::tr("rest");
    case Phase::Unknown:
        break;
    }
    return QString();
}

QString clockText(double seconds)
{
    const qint64 s = qint64(std::llround(std::fabs(seconds)));
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QStringLiteral("-") : QString())
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QVector<QPointF> pointsOf(const QVector<double> &seconds, const QVector<double> &values)
{
    QVector<QPointF> points;
    if (values.size() != seconds.size())
        return points;
    points.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        if (std::isfinite(values[i]))
            points.append(QPointF(seconds[i], values[i]));
    return points;
}

QHash<QString, QPointer<TChargerLogForm>> &openForms()
{
    static QHash<QString, QPointer<TChargerLogForm>> forms;
    return forms;
}

QString keyOf(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

TChargerLogForm::TChargerLogForm(const QString &path, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ChargerLogForm"));
    setWindowFlag(Qt::Window);
    setAcceptDrops(true);

    auto *layout = new QVBoxLayout(this);
    FileLabel = new QLabel(this);
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    FileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(FileLabel);

    ErrorLabel = new QLabel(this);
    ErrorLabel->setObjectName(QStringLiteral("ErrorLabel"));
    ErrorLabel->setWordWrap(true);
    ErrorLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    ErrorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ErrorLabel->hide();
    layout->addWidget(ErrorLabel);

    RolesRow = new QWidget(this);
    RolesRow->setObjectName(QStringLiteral("RolesRow"));
    auto *rolesLayout = new QHBoxLayout(RolesRow);
    rolesLayout->setContentsMargins(0, 0, 0, 0);
    rolesLayout->addWidget(new QLabel(tr("What each column holds:"), RolesRow));
    rolesLayout->addStretch();
    ReadRolesButton = new QPushButton(tr("&Read with These Columns"), RolesRow);
    ReadRolesButton->setObjectName(QStringLiteral("ReadRolesButton"));
    rolesLayout->addWidget(ReadRolesButton);
    RolesRow->hide();
    layout->addWidget(RolesRow);
    connect(ReadRolesButton, &QPushButton::clicked, this, &TChargerLogForm::reload);

    auto *middle = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    Chart = new TLineChart(this);
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->setAccessibleName(tr("Samples of the charger's log over time"));
    Chart->setFocusPolicy(Qt::StrongFocus);
    Chart->xAxis().title = tr("Time (h:mm:ss)");
    Chart->yAxis().title = tr("Voltage (V)");
    Chart->rightAxis().title = tr("Current (A)");
    Chart->styleChanged();
    Chart->setXFormatter(clockText);
    Chart->addSeries(tr("Voltage"), VoltageColour, TLineChart::Lines);
    Chart->addSeries(tr("Current"), CurrentColour, TLineChart::Lines);
    Chart->addSeries(tr("Capacity"), CapacityColour, TLineChart::Lines, Qt::DashLine);
    Chart->addSeries(tr("Temperature"), TemperatureColour, TLineChart::Lines, Qt::DotLine);
    Chart->setSeriesAxis(CurrentSeries, TLineChart::RightAxis);
    // A steady current would otherwise fill the height with its noise.
    Chart->setAxisIncludesZero(TLineChart::RightAxis, true);
    Chart->setSeriesAxis(CapacitySeries, TLineChart::RightAxis);
    Chart->setSeriesAxis(TemperatureSeries, TLineChart::RightAxis);
    Chart->installEventFilter(this);
    left->addWidget(Chart, 1);

    auto *switches = new QHBoxLayout;
    CapacityBox = new QCheckBox(tr("C&apacity (Ah, right axis)"), this);
    CapacityBox->setObjectName(QStringLiteral("CapacityBox"));
    TemperatureBox = new QCheckBox(tr("&Temperature (°C, right axis)"), this);
    TemperatureBox->setObjectName(QStringLiteral("TemperatureBox"));
    switches->addWidget(CapacityBox);
    switches->addWidget(TemperatureBox);
    switches->addStretch();
    left->addLayout(switches);
    connect(CapacityBox, &QCheckBox::toggled, this, &TChargerLogForm::fillSwitchable);
    connect(TemperatureBox, &QCheckBox::toggled, this, &TChargerLogForm::fillSwitchable);

    ReadoutLabel = new QLabel(this);
    ReadoutLabel->setObjectName(QStringLiteral("ReadoutLabel"));
    ReadoutLabel->setAccessibleName(tr("Values under the mouse"));
    ReadoutLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    left->addWidget(ReadoutLabel);
    // The lines' colours and the shaded phases, named.
    LegendLabel = new QLabel(this);
    LegendLabel->setObjectName(QStringLiteral("LegendLabel"));
    LegendLabel->setWordWrap(true);
    LegendLabel->setText(legendHtml());
    left->insertWidget(left->indexOf(Chart) + 1, LegendLabel);
    // The keyboard's focused point reads out as the mouse's does.
    connect(Chart, &TLineChart::pointFocused, this, [this](int series, int index) {
        if (series < 0 || index < 0 || !m_log.ok())
            return;
        const double x = Chart->pointX(series, index);
        Chart->setCursorX(x);
        ReadoutLabel->setText(readoutAt(x));
    });
    middle->addLayout(left, 1);

    auto *figuresBox = new QWidget(this);
    figuresBox->setObjectName(QStringLiteral("FiguresBox"));
    m_figureLayout = new QFormLayout(figuresBox);
    middle->addWidget(figuresBox);
    layout->addLayout(middle, 1);

    auto *bottom = new QHBoxLayout;
    CheckLabel = new QLabel(this);
    CheckLabel->setObjectName(QStringLiteral("CheckLabel"));
    CheckLabel->setWordWrap(true);
    bottom->addWidget(CheckLabel, 1);
    UseLogButton = new QPushButton(tr("&Use the Log's Amp-Hours"), this);
    UseLogButton->setObjectName(QStringLiteral("UseLogButton"));
    UseLogButton->hide();
    bottom->addWidget(UseLogButton);
    CopyButton = new QPushButton(tr("&Copy Samples as CSV"), this);
    CopyButton->setObjectName(QStringLiteral("CopyButton"));
    bottom->addWidget(CopyButton);
    auto *closeButton = new QPushButton(tr("Close"), this);
    closeButton->setObjectName(QStringLiteral("CloseButton"));
    bottom->addWidget(closeButton);
    layout->addLayout(bottom);
    connect(UseLogButton, &QPushButton::clicked, this, [this] {
        if (const auto ah = logAmpHoursForRecord())
            emit useLogAmpHours(m_recordKey, *ah);
    });
    connect(CopyButton, &QPushButton::clicked, this, &TChargerLogForm::copySamples);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    resize(1000, 560);
    WindowGeometry::remember(this, QStringLiteral("ChargerLog"));
    WindowGeometry::closeWithKeys(this);
    setFilePath(path);
}

TChargerLogForm::~TChargerLogForm()
{
    auto &forms = openForms();
    const auto it = forms.find(keyOf(m_path));
    if (it != forms.end() && (it->isNull() || it->data() == this))
        forms.erase(it);
}

TChargerLogForm *TChargerLogForm::showFor(const QString &path, QWidget *anchor)
{
    auto &forms = openForms();
    TChargerLogForm *form = forms.value(keyOf(path));
    if (!form) {
        form = new TChargerLogForm(path);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->placeNear(anchor);
    }
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

void TChargerLogForm::placeNear(QWidget *anchor, int step)
{
    if (!anchor)
        return;
    // Centred a little below the anchor's window, kept on that window's screen.
    const QRect around = anchor->window()->geometry();
    QPoint at = around.center() - QPoint(width() / 2, height() / 2) + QPoint(24, 24) * (1 + step);
    if (const QScreen *screen = anchor->window()->screen()) {
        const QRect room = screen->availableGeometry();
        at.setX(qBound(room.left(), at.x(), qMax(room.left(), room.right() - width())));
        at.setY(qBound(room.top(), at.y(), qMax(room.top(), room.bottom() - height())));
    }
    move(at);
}

void TChargerLogForm::setFilePath(const QString &path)
{
    auto &forms = openForms();
    if (!m_path.isEmpty() && forms.value(keyOf(m_path)) == this)
        forms.remove(keyOf(m_path));
    m_path = path;
    if (!forms.value(keyOf(path)))
        forms.insert(keyOf(path), this);
    setWindowTitle(tr("Charger Log - %1").arg(QFileInfo(path).fileName()));
    FileLabel->setText(QDir::toNativeSeparators(path));
    for (QComboBox *box : std::as_const(RoleBoxes))
        box->deleteLater();
    RoleBoxes.clear();
    startReading({});
}

void TChargerLogForm::reload()
{
    QVector<ColumnRole> roles;
    for (const QComboBox *box : std::as_const(RoleBoxes))
        roles.append(ColumnRole(box->currentData().toInt()));
    startReading(roles);
}

void TChargerLogForm::startReading(const QVector<ColumnRole> &roles)
{
    const int generation = ++m_generation;
    const QString path = m_path;
    if (QFileInfo(path).size() <= ForegroundLimit) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const TChargerLog log = readFile(path, roles);
        QApplication::restoreOverrideCursor();
        setLog(log);
        return;
    }
    m_reading = true;
    ReadoutLabel->setText(tr("Reading…"));
    QPointer<TChargerLogForm> guard(this);
    QThreadPool::globalInstance()->start([guard, path, roles, generation] {
        TChargerLog log = readFile(path, roles);
        QMetaObject::invokeMethod(
            qApp,
            [guard, generation, log = std::move(log)] {
                // A window closed meanwhile, or a newer read, lets the result go.
                if (guard && guard->m_generation == generation) {
                    guard->m_reading = false;
                    guard->setLog(log);
                }
            },
            Qt::QueuedConnection);
    });
}

void TChargerLogForm::setLog(const TChargerLog &log)
{
    m_log = log;
    m_figures = ChargerLog::figures(m_log);
    ErrorLabel->setVisible(!m_log.error.isEmpty());
    ErrorLabel->setText(m_log.error);
    if (m_log.ok() && !m_log.badLines.isEmpty()) {
        QStringList lines;
        for (const TBadLine &bad : std::as_const(m_log.badLines).mid(0, 5))
            lines << tr("line %1: %2").arg(bad.line).arg(bad.reason);
        ErrorLabel->setText(tr("%n line(s) skipped: %1", nullptr, int(m_log.badLineCount))
                                .arg(lines.join(QLatin1String("; "))));
        ErrorLabel->setVisible(true);
    }
    ReadoutLabel->setText(m_log.rolesNeeded
                              ? tr("Choose what the columns hold, then read the file with them.")
                              : QString());
    fillRoles();
    fillChart();
    fillFigures();
    updateCheck();
    CopyButton->setEnabled(m_log.ok());
    emit logShown();
}

void TChargerLogForm::beginLive(const QString &title)
{
    auto &forms = openForms();
    if (forms.value(keyOf(m_path)) == this)
        forms.remove(keyOf(m_path));
    m_path.clear();
    ++m_generation; // a read still under way is let go
    m_reading = false;
    m_live = true;
    m_liveCells.clear();
    TChargerLog log;
    log.format = Format::Dollar;
    log.fileName = title;
    setWindowTitle(tr("Charger Log - %1 (capturing)").arg(title));
    FileLabel->setText(tr("Capturing from %1").arg(title));
    setLog(log);
    if (!m_liveFigures) {
        m_liveFigures = new QTimer(this);
        m_liveFigures->setSingleShot(true);
        m_liveFigures->setInterval(500);
        connect(m_liveFigures, &QTimer::timeout, this, [this] {
            m_figures = ChargerLog::figures(m_log);
            fillFigures();
            updateCheck();
        });
    }
}

void TChargerLogForm::appendLiveSample(const TDollarSample &sample)
{
    if (!m_live)
        return;
    TChargerLog &log = m_log;
    const bool first = log.seconds.isEmpty();
    if (first) {
        m_liveFirstMs = sample.ms;
        // The cell columns in use and the sensor are those the first sample shows.
        for (int c = 0; c < sample.cellCount; ++c)
            if (sample.cells[c] != 0)
                m_liveCells.append(c);
        log.cells.resize(m_liveCells.size());
        for (int c = int(m_liveCells.size()); FirstCellSeries + c < Chart->seriesCount(); ++c)
            Chart->setPoints(FirstCellSeries + c, {});
        for (int c = Chart->seriesCount() - FirstCellSeries; c < m_liveCells.size(); ++c)
            Chart->addSeries(tr("Cell %1").arg(c + 1), CellColours[c % 10], TLineChart::Lines);
    }
    const double seconds = double(sample.ms - m_liveFirstMs) / 1000;
    const double temperature = sample.outer != 0 ? sample.outer : sample.inner;
    log.seconds.append(seconds);
    log.phases.append(sample.phase);
    log.voltage.append(sample.voltage);
    log.current.append(sample.current);
    log.capacity.append(sample.capacity);
    log.temperature.append(temperature);
    QVector<QPair<int, QPointF>> points{{VoltageSeries, {seconds, sample.voltage}},
                                        {CurrentSeries, {seconds, sample.current}}};
    if (CapacityBox->isChecked())
        points.append({CapacitySeries, {seconds, sample.capacity}});
    if (TemperatureBox->isChecked())
        points.append({TemperatureSeries, {seconds, temperature}});
    for (int k = 0; k < m_liveCells.size(); ++k) {
        const double v = sample.cells[m_liveCells[k]];
        log.cells[k].append(v);
        points.append({FirstCellSeries + k, {seconds, v}});
    }
    Chart->appendPoints(points);
    const QColor colour = phaseColour(sample.phase);
    if (colour.isValid()) {
        const qsizetype n = log.seconds.size();
        Chart->addBand(n > 1 ? log.seconds[n - 2] : seconds, seconds, colour);
    }
    if (first) {
        CapacityBox->setEnabled(true);
        TemperatureBox->setEnabled(true);
        CopyButton->setEnabled(true);
    }
    if (!m_liveFigures->isActive())
        m_liveFigures->start(liveFiguresIntervalMs(log.sampleCount()));
}

void TChargerLogForm::endLive(const QString &path)
{
    if (!m_live)
        return;
    m_live = false;
    if (m_liveFigures)
        m_liveFigures->stop();
    if (path.isEmpty()) {
        setWindowTitle(tr("Charger Log - %1 (ended)").arg(m_log.fileName));
        return;
    }
    setFilePath(path);
}

void TChargerLogForm::fillRoles()
{
    const bool untitled = m_log.format == Format::Untitled;
    RolesRow->setVisible(untitled);
    if (!untitled)
        return;
    if (RoleBoxes.size() != m_log.columnRoles.size()) {
        for (QComboBox *box : std::as_const(RoleBoxes))
            box->parentWidget()->deleteLater();
        RoleBoxes.clear();
        auto *rowLayout = static_cast<QHBoxLayout *>(RolesRow->layout());
        const QVector<QStringList> samples = sampleValues(m_path, 3);
        for (int c = 0; c < m_log.columnRoles.size(); ++c) {
            // Each chooser with the column's first values below it, to tell the columns apart.
            auto *cell = new QWidget(RolesRow);
            auto *cellLayout = new QVBoxLayout(cell);
            cellLayout->setContentsMargins(0, 0, 0, 0);
            cellLayout->setSpacing(1);
            auto *box = new QComboBox(cell);
            cellLayout->addWidget(box);
            auto *values = new QLabel(samples.value(c).join(QStringLiteral(" \u00b7 ")), cell);
            values->setObjectName(QStringLiteral("RoleSamples%1").arg(c + 1));
            QFont smaller = values->font();
            smaller.setPointSizeF(smaller.pointSizeF() * 0.9);
            values->setFont(smaller);
            values->setToolTip(samples.value(c).join(QLatin1Char('\n')));
            cellLayout->addWidget(values);
            box->setAccessibleDescription(
                tr("First values: %1").arg(samples.value(c).join(QStringLiteral(", "))));
            box->setObjectName(QStringLiteral("RoleBox%1").arg(c + 1));
            box->setAccessibleName(tr("Column %1").arg(c + 1));
            box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            box->setMinimumContentsLength(9);
            for (int r = 0; r < ColumnRoleCount; ++r)
                box->addItem(roleName(ColumnRole(r)), r);
            // After the caption, before the stretch and the button.
            rowLayout->insertWidget(1 + c, cell);
            RoleBoxes.append(box);
        }
        // The choosers come first, as they are laid out above the chart.
        QWidget *previous = RoleBoxes.first();
        const QList<QWidget *> chain = QList<QWidget *>(RoleBoxes.begin() + 1, RoleBoxes.end())
                                       << ReadRolesButton << Chart << CapacityBox << TemperatureBox
                                       << UseLogButton << CopyButton;
        for (QWidget *next : chain) {
            QWidget::setTabOrder(previous, next);
            previous = next;
        }
    }
    for (int c = 0; c < RoleBoxes.size(); ++c)
        RoleBoxes[c]->setCurrentIndex(RoleBoxes[c]->findData(int(m_log.columnRoles[c])));
}

void TChargerLogForm::fillChart()
{
    // Cell series are added as files need them; those beyond the file's cells stay empty.
    Chart->clearBands();
    Chart->setCursorX(std::numeric_limits<double>::quiet_NaN());
    const bool ok = m_log.ok() || m_log.sampleCount() > 0;
    Chart->setPoints(VoltageSeries,
                     ok ? pointsOf(m_log.seconds, m_log.voltage) : QVector<QPointF>());
    Chart->setPoints(CurrentSeries,
                     ok ? pointsOf(m_log.seconds, m_log.current) : QVector<QPointF>());
    for (int c = 0; c < m_log.cells.size() || FirstCellSeries + c < Chart->seriesCount(); ++c) {
        if (FirstCellSeries + c >= Chart->seriesCount())
            Chart->addSeries(tr("Cell %1").arg(c + 1), CellColours[c % 10], TLineChart::Lines);
        Chart->setPoints(FirstCellSeries + c, ok && c < m_log.cells.size()
                                                  ? pointsOf(m_log.seconds, m_log.cells[c])
                                                  : QVector<QPointF>());
    }
    fillSwitchable();
    // The phases behind the curves, one band per run of samples in the same phase.
    const qsizetype n = ok ? m_log.seconds.size() : 0;
    for (qsizetype i = 0; i < n;) {
        qsizetype j = i + 1;
        while (j < n && m_log.phases[j] == m_log.phases[i])
            ++j;
        const QColor colour = phaseColour(m_log.phases[i]);
        if (colour.isValid())
            Chart->addBand(m_log.seconds[i], m_log.seconds[j < n ? j : n - 1], colour);
        i = j;
    }
    Chart->resetZoom();
}

QString TChargerLogForm::legendHtml()
{
    const auto entry = [](const QColor &colour, const QString &name, bool band) {
        return QStringLiteral("<span style='color:%1'>%2</span>&nbsp;%3")
            .arg(colour.name(),
                 band ? QStringLiteral("\u2588\u2588") : QStringLiteral("\u2501\u2501"),
                 name.toHtmlEscaped());
    };
    const QStringList entries{
        entry(VoltageColour, tr("Voltage"), false),
        entry(CurrentColour, tr("Current"), false),
        entry(CapacityColour, tr("Capacity"), false),
        entry(TemperatureColour, tr("Temperature"), false),
        entry(phaseColour(Phase::Charge).darker(115), tr("charge"), true),
        entry(phaseColour(Phase::Discharge).darker(115), tr("discharge"), true),
        entry(phaseColour(Phase::Rest).darker(115), tr("rest"), true)};
    return entries.join(QStringLiteral("&nbsp;&nbsp; "));
}

void TChargerLogForm::fillSwitchable()
{
    const bool ok = m_log.ok();
    // The right axis is titled after what it shows.
    QStringList right{tr("Current (A)")};
    if (ok && CapacityBox->isChecked() && !m_log.capacity.isEmpty())
        right << tr("Capacity (Ah)");
    if (ok && TemperatureBox->isChecked() && !m_log.temperature.isEmpty())
        right << tr("Temperature (°C)");
    Chart->rightAxis().title = right.join(QStringLiteral(", "));
    Chart->styleChanged();
    CapacityBox->setEnabled(ok && !m_log.capacity.isEmpty());
    TemperatureBox->setEnabled(ok && !m_log.temperature.isEmpty());
    Chart->setPoints(CapacitySeries, ok && CapacityBox->isChecked()
                                         ? pointsOf(m_log.seconds, m_log.capacity)
                                         : QVector<QPointF>());
    Chart->setPoints(TemperatureSeries, ok && TemperatureBox->isChecked()
                                            ? pointsOf(m_log.seconds, m_log.temperature)
                                            : QVector<QPointF>());
}

void TChargerLogForm::fillFigures()
{
    while (m_figureLayout->rowCount() > 0)
        m_figureLayout->removeRow(0);
    if (!m_log.ok())
        return;
    const QStringList lines = figuresText(m_figures).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        auto *value = new QLabel(localFigure(line.mid(colon + 2)));
        const QString name = line.left(colon);
        value->setObjectName(QStringLiteral("Figure ") + name);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_figureLayout->addRow(
            QCoreApplication::translate("ChargerLog", qPrintable(name)) + QLatin1Char(':'), value);
    }
    for (const auto &entry : std::as_const(m_log.device))
        m_figureLayout->addRow(entry.first + QLatin1Char(':'), new QLabel(entry.second));
}

QVector<QStringList> TChargerLogForm::sampleValues(const QString &path, int rows)
{
    // The first lines of the file, split at the delimiter most of them share.
    QFile file(path);
    QVector<QStringList> columns;
    if (!file.open(QIODevice::ReadOnly))
        return columns;
    QStringList lines;
    while (lines.size() < rows && !file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    QChar delimiter = QLatin1Char(';');
    int most = 0;
    for (const QChar candidate : {QLatin1Char(';'), QLatin1Char('\t'), QLatin1Char(',')}) {
        const int count = lines.isEmpty() ? 0 : int(lines.first().count(candidate));
        if (count > most) {
            most = count;
            delimiter = candidate;
        }
    }
    for (const QString &line : std::as_const(lines)) {
        const QStringList fields = line.split(delimiter);
        if (columns.size() < fields.size())
            columns.resize(fields.size());
        for (int c = 0; c < fields.size(); ++c)
            columns[c] << fields.at(c).trimmed().left(12);
    }
    return columns;
}

QString TChargerLogForm::localFigure(const QString &value)
{
    // Durations as h:mm:ss, decimals with the locale's separator, as the axes show them.
    static const QRegularExpression seconds(QStringLiteral("^(-?[0-9.]+) s$"));
    const QRegularExpressionMatch duration = seconds.match(value);
    if (duration.hasMatch())
        return clockText(duration.captured(1).toDouble());
    static const QRegularExpression decimal(QStringLiteral("(\\d)\\.(\\d)"));
    QString text = value;
    return text.replace(decimal,
                        QStringLiteral("\\1") + QLocale().decimalPoint() + QStringLiteral("\\2"));
}

std::optional<double> TChargerLogForm::logAmpHoursForRecord() const
{
    if (!m_hasRecord || !m_log.ok())
        return std::nullopt;
    const auto &phase = m_recordDischarge ? m_figures.discharge : m_figures.charge;
    if (!phase)
        return std::nullopt;
    return m_recordDischarge ? -phase->ampHours() : phase->ampHours();
}

void TChargerLogForm::setRecord(qint32 key, double ampHours, double nominalAmps)
{
    m_hasRecord = true;
    m_recordKey = key;
    m_recordAmpHours = ampHours;
    m_recordDischarge = ampHours < 0 || nominalAmps < 0;
    updateCheck();
}

void TChargerLogForm::updateCheck()
{
    UseLogButton->hide();
    if (!m_hasRecord || !m_log.ok()) {
        CheckLabel->clear();
        return;
    }
    const auto logAh = logAmpHoursForRecord();
    if (!logAh) {
        CheckLabel->setText(m_recordDischarge ? tr("The record is a discharge; the log has none.")
                                              : tr("The record is a charge; the log has none."));
        return;
    }
    const double record = std::fabs(m_recordAmpHours);
    const double log = std::fabs(*logAh);
    const double difference = std::fabs(log - record);
    if (difference > 0.03 * record && difference > 0.005) {
        CheckLabel->setText(
            (m_recordDischarge ? tr("The log's discharge moved %1 Ah; the record says %2 Ah.")
                               : tr("The log's charge moved %1 Ah; the record says %2 Ah."))
                .arg(QLocale().toString(log, 'f', 3), QLocale().toString(record, 'f', 3)));
        UseLogButton->show();
    } else {
        CheckLabel->setText(tr("The record's amp-hours agree with the log (%1 Ah).")
                                .arg(QLocale().toString(log, 'f', 3)));
    }
}

void TChargerLogForm::copySamples()
{
    if (m_log.ok())
        QGuiApplication::clipboard()->setText(QString::fromUtf8(samplesCsv(m_log)));
}

int TChargerLogForm::sampleNear(double seconds) const
{
    const auto &t = m_log.seconds;
    if (t.isEmpty())
        return -1;
    const auto it = std::lower_bound(t.begin(), t.end(), seconds);
    if (it == t.end())
        return int(t.size()) - 1;
    const int i = int(it - t.begin());
    return i > 0 && seconds - t[i - 1] < t[i] - seconds ? i - 1 : i;
}

QString TChargerLogForm::readoutAt(double seconds) const
{
    const int i = sampleNear(seconds);
    if (i < 0 || !m_log.ok())
        return QString();
    const QLocale locale;
    QStringList parts;
    parts << clockText(m_log.seconds[i]);
    if (m_log.start.isValid())
        parts << locale.toString(m_log.start.addMSecs(qint64(m_log.seconds[i] * 1000)),
                                 QLocale::ShortFormat);
    const QString phase = phaseName(m_log.phases.value(i));
    if (!phase.isEmpty())
        parts << phase;
    const auto add = [&](const QVector<double> &series, int decimals, const char *unit) {
        if (i < series.size() && std::isfinite(series[i]))
            parts << locale.toString(series[i], 'f', decimals) + QLatin1Char(' ') +
                         QString::fromUtf8(unit);
    };
    add(m_log.voltage, 3, "V");
    add(m_log.current, 2, "A");
    add(m_log.capacity, 3, "Ah");
    add(m_log.temperature, 1, "°C");
    QStringList cells;
    for (const auto &cell : m_log.cells)
        if (std::isfinite(cell[i]))
            cells << locale.toString(cell[i], 'f', 3);
    if (!cells.isEmpty())
        parts << tr("cells %1 V").arg(cells.join(QLatin1Char(' ')));
    return parts.join(QStringLiteral(" · "));
}

bool TChargerLogForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Chart) {
        if (event->type() == QEvent::MouseMove) {
            const auto *move = static_cast<QMouseEvent *>(event);
            const double x = Chart->xAtPixel(move->position().x());
            const int i = sampleNear(x);
            if (i >= 0 && Chart->plotRect().contains(move->position().toPoint())) {
                Chart->setCursorX(m_log.seconds[i]);
                ReadoutLabel->setText(readoutAt(x));
            }
        } else if (event->type() == QEvent::Leave) {
            Chart->setCursorX(std::numeric_limits<double>::quiet_NaN());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TChargerLogForm::dragEnterEvent(QDragEnterEvent *event)
{
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TChargerLogForm::dropEvent(QDropEvent *event)
{
    const auto urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    setFilePath(urls.first().toLocalFile());
}
