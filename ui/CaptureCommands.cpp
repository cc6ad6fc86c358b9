#include "CaptureCommands.h"

#include "AddChargeHandler.h"
#include "CaptureFormUnit.h"
#include "CapturePanel.h"
#include "ChannelCapture.h"
#include "ChargeLogDocument.h"
#include "ChargerLogCommands.h"
#include "ChargerLogFormUnit.h"
#include "ConstantsAndTypes.h"
#include "DesktopNotification.h"
#include "ErrorBox.h"
#include "LogSideFolder.h"
#include "SerialCapture.h"

#include <QAction>
#include <QDir>
#include <QLocale>
#include <QStandardPaths>

#include <cmath>

namespace {

const QString NoticeName = QStringLiteral("capture");

} // namespace

TCaptureCommands::TCaptureCommands(TChargeLogDocument *document, TChargerLogCommands *logCommands,
                                   IAddChargeHandler *handler, QWidget *window)
    : QObject(window), m_document(document), m_logCommands(logCommands), m_handler(handler),
      m_window(window)
{
    CaptureAction = new QAction(tr("&Capture from Charger…"), this);
    CaptureAction->setObjectName(QStringLiteral("CaptureAction"));
    connect(CaptureAction, &QAction::triggered, this,
            [this] { ErrorBox::guard([this] { showDialog(); }, m_window); });
    Panel = new TCapturePanel(window);
    connect(Panel, &TCapturePanel::stopRequested, this,
            [](TSerialCapture *capture) { capture->stop(); });
}

TCaptureCommands::~TCaptureCommands()
{
    // Whatever runs when the window goes keeps its file; no dialog is offered any more.
    for (TSerialCapture *capture : std::as_const(m_captures)) {
        capture->disconnect(this);
        capture->stop();
    }
}

TChargerLogForm *TCaptureCommands::liveWindow(TChannelCapture *channel) const
{
    return m_windows.value(channel);
}

QString TCaptureCommands::captureFolder() const
{
    return TLogSideFolder(m_document->path(), QStringLiteral("-charger-logs"),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .make();
}

void TCaptureCommands::showDialog()
{
    TCaptureForm form(m_window);
    while (form.exec() == QDialog::Accepted) {
        const TCaptureOptions options = form.options();
        QString error;
        if (startCapture(options, &error)) {
            TCaptureForm::remember(options);
            return;
        }
        ErrorBox::show(error, &form);
    }
}

bool TCaptureCommands::startCapture(const TCaptureOptions &options, QString *error)
{
    for (const TSerialCapture *running : std::as_const(m_captures))
        if (running->options().device == options.device) {
            *error =
                tr("%1 is already being captured.").arg(QDir::toNativeSeparators(options.device));
            return false;
        }
    const TLogSideFolder folders(m_document->path(), QStringLiteral("-charger-logs"),
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    const QString folder = folders.make();
    if (folder.isEmpty()) {
        *error = tr("There is no folder to keep the captured charger logs in: neither %1 nor %2 "
                    "can be written.")
                     .arg(QDir::toNativeSeparators(folders.beside),
                          QDir::toNativeSeparators(folders.fallback));
        return false;
    }
    // The captured files are as private as the log.
    const int mode = folders.logMode() >= 0 ? (folders.logMode() & 0666) | 0600 : 0644;
    auto *capture = new TSerialCapture(options, folder, mode, this);
    if (!capture->start(error)) {
        delete capture;
        return false;
    }
    m_captures << capture;
    connect(capture, &TSerialCapture::channelStarted, this,
            [this, capture](TChannelCapture *c) { channelStarted(capture, c); });
    connect(capture, &TSerialCapture::channelEnded, this,
            [this, capture](TChannelCapture *c) { channelEnded(capture, c); });
    connect(capture, &TSerialCapture::warning, this,
            [this](const QString &text) { ErrorBox::showNotice(m_window, NoticeName, text); });
    connect(capture, &TSerialCapture::ended, this, [this, capture] {
        m_captures.removeOne(capture);
        capture->deleteLater();
    });
    Panel->addCapture(capture);
    return true;
}

void TCaptureCommands::channelStarted(TSerialCapture *capture, TChannelCapture *channel)
{
    const QString title = tr("%1, channel %2")
                              .arg(QDir::toNativeSeparators(capture->options().device))
                              .arg(channel->channel());
    // A window of its own, not one of a file: the file comes with the first sample.
    auto *form = new TChargerLogForm(QString());
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->beginLive(title);
    form->placeNear(m_window, int(m_windows.size()));
    form->show();
    m_windows.insert(channel, form);
    connect(channel, &TChannelCapture::sampleAdded, form, &TChargerLogForm::appendLiveSample);
}

QString TCaptureCommands::endedText(bool discharge, const QString &battery, double ampHours,
                                    double seconds)
{
    const QString duration = TCapturePanel::clockText(seconds);
    const QString amount = QString::number(std::fabs(ampHours), 'f', 3);
    return (discharge ? tr("Discharge of %1 ended: %2 Ah in %3")
                      : tr("Charge of %1 ended: %2 Ah in %3"))
        .arg(battery, amount, duration);
}

void TCaptureCommands::channelEnded(TSerialCapture *capture, TChannelCapture *channel)
{
    const QPointer<TChargerLogForm> form = m_windows.take(channel);
    const QString path = channel->filePath();
    if (form)
        form->endLive(path);
    if (path.isEmpty()) {
        if (!channel->error().isEmpty())
            ErrorBox::showNotice(m_window, NoticeName, channel->error());
        return;
    }
    const TChargerLogCommands::TLogDraft draft = m_logCommands->draftFrom(path);
    if (!draft.valid) {
        ErrorBox::showNotice(m_window, NoticeName, draft.refusal);
        return;
    }
    const bool add = capture->options().addWithoutAsking;
    const QString battery = draft.battery.isEmpty()
                                ? tr("the battery on channel %1").arg(channel->channel())
                                : draft.battery;
    const QString text =
        endedText(draft.ampHours < 0, battery, draft.ampHours, channel->elapsedSeconds());
    try {
        m_handler->HandleAddCharge(draft.dateTime, QString(), true, draft.charger, draft.battery,
                                   draft.nominalAmps, draft.ampHours, draft.termination, QString(),
                                   draft.fileName, !add);
    } catch (const QorLogError &error) {
        ErrorBox::show(error.message(), m_window);
        return;
    }
    if (add)
        ErrorBox::showNotice(m_window, NoticeName,
                             tr("%1. The record was added (Edit > Undo takes it back).").arg(text));
    DesktopNotification::send(text, QDir::toNativeSeparators(path));
    Q_EMIT chargeEnded(path, text);
}
