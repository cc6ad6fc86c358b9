#include "CapturePanel.h"

#include "ChannelCapture.h"
#include "SerialCapture.h"

#include <QDir>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

using namespace ChargerLog;

namespace {

QString phaseText(Phase phase)
{
    switch (phase) {
    case Phase::Charge:
        return TCapturePanel::tr("Charge");
    case Phase::Discharge:
        return TCapturePanel::tr("Discharge");
    case Phase::Rest:
        return TCapturePanel::tr("Rest");
    case Phase::Unknown:
        break;
    }
    return TCapturePanel::tr("Other");
}

} // namespace

QString TCapturePanel::clockText(double seconds)
{
    const qint64 s = std::llround(std::max(0.0, seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

TCapturePanel::TCapturePanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CapturePanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    CaptureList = new QTreeWidget(this);
    CaptureList->setObjectName(QStringLiteral("CaptureList"));
    CaptureList->setAccessibleName(tr("Running captures"));
    CaptureList->setRootIsDecorated(false);
    CaptureList->setHeaderLabels(
        {tr("Capture"), tr("Phase"), tr("Elapsed"), tr("V"), tr("A"), tr("Ah"), QString()});
    CaptureList->header()->setStretchLastSection(false);
    CaptureList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 7; ++c)
        CaptureList->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    layout->addWidget(CaptureList);
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &TCapturePanel::refresh);
    hide();
}

void TCapturePanel::addCapture(TSerialCapture *capture)
{
    m_captures << capture;
    connect(capture, &QObject::destroyed, this, [this, capture] {
        m_captures.removeOne(capture);
        refresh();
    });
    connect(capture, &TSerialCapture::stateChanged, this, &TCapturePanel::refresh);
    connect(capture, &TSerialCapture::channelStarted, this, &TCapturePanel::refresh);
    connect(capture, &TSerialCapture::channelEnded, this, &TCapturePanel::refresh);
    connect(capture, &TSerialCapture::warning, this, &TCapturePanel::refresh);
    refresh();
}

void TCapturePanel::refresh()
{
    CaptureList->clear();
    const QLocale locale;
    for (TSerialCapture *capture : std::as_const(m_captures)) {
        if (capture->state() == TSerialCapture::State::Ended)
            continue;
        const QString port = QDir::toNativeSeparators(capture->options().device);
        const QList<TChannelCapture *> channels = capture->channels();
        const auto stopButton = [this, capture](QTreeWidgetItem *item) {
            auto *stop = new QPushButton(tr("Stop"), CaptureList);
            stop->setObjectName(QStringLiteral("StopCaptureButton"));
            stop->setAccessibleName(tr("Stop the capture of %1").arg(capture->options().device));
            connect(stop, &QPushButton::clicked, this,
                    [this, capture] { Q_EMIT stopRequested(capture); });
            CaptureList->setItemWidget(item, 6, stop);
        };
        if (channels.isEmpty()) {
            auto *item = new QTreeWidgetItem(CaptureList);
            item->setText(0, port);
            item->setText(1, capture->state() == TSerialCapture::State::Waiting
                                 ? tr("Port gone: opening again every 2 s")
                                 : (capture->message().isEmpty() ? tr("Waiting for a charge")
                                                                 : capture->message()));
            item->setToolTip(1, item->text(1));
            item->setFirstColumnSpanned(false);
            stopButton(item);
            continue;
        }
        for (int i = 0; i < channels.size(); ++i) {
            const TChannelCapture *c = channels[i];
            const TDollarSample s = c->lastSample();
            auto *item = new QTreeWidgetItem(CaptureList);
            item->setText(0, tr("%1, channel %2").arg(port).arg(c->channel()));
            item->setText(1, capture->state() == TSerialCapture::State::Waiting
                                 ? tr("Port gone")
                                 : phaseText(c->lastPhase()));
            item->setText(2, clockText(c->elapsedSeconds()));
            item->setText(3, locale.toString(s.voltage, 'f', 3));
            item->setText(4, locale.toString(s.current, 'f', 2));
            item->setText(5, locale.toString(s.capacity, 'f', 3));
            for (int col = 2; col < 6; ++col)
                item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
            if (i == 0)
                stopButton(item);
        }
    }
    const int rows = CaptureList->topLevelItemCount();
    const bool any = rows > 0;
    if (any) {
        // As high as its rows, up to three: the table keeps the rest.
        const int row = std::max(
            CaptureList->sizeHintForRow(0),
            CaptureList->itemWidget(CaptureList->topLevelItem(0), 6)
                ? CaptureList->itemWidget(CaptureList->topLevelItem(0), 6)->sizeHint().height()
                : 0);
        CaptureList->setFixedHeight(CaptureList->header()->sizeHint().height() +
                                    std::min(rows, 3) * row + 2 * CaptureList->frameWidth());
    }
    setVisible(any);
    if (any && !m_timer->isActive())
        m_timer->start();
    else if (!any)
        m_timer->stop();
}
