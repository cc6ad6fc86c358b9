#include "QorLogCOMServerUnit.h"

#include "AddChargeHandler.h"
#include "AutomationNames.h"
#include "ConstantsAndTypes.h"
#include "qorlogcomserveradaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include <exception>
#include <utility>

TQorLogCOMServer::TQorLogCOMServer(IAddChargeHandler *handler, QObject *parent)
    : QObject(parent), m_handler(handler)
{
    setObjectName(QStringLiteral("QorLogCOMServer"));
    // Owned by this object; it publishes the interface when the object is registered with
    // QDBusConnection::ExportAdaptors.
    new IQorLogCOMServerAdaptor(this);
    m_waitTimer.setInterval(10);
    connect(&m_waitTimer, &QTimer::timeout, this, &TQorLogCOMServer::handleWaiting);
}

void TQorLogCOMServer::AddCharge(double ChargeDateTime, const QString &PowerSource,
                                 bool UsePreviousPowerSource, const QString &Charger,
                                 const QString &Battery, double NominalChargeAmps, double AmpHours,
                                 const QString &Termination, const QString &CommentString,
                                 const QString &ChargerLogFileName, bool ShowConfirmationForm)
{
    if (calledFromDBus() && (!m_waiting.empty() || (m_handler && m_handler->AddChargeMustWait()))) {
        setDelayedReply(true);
        m_waiting.push_back(
            Waiting{connection(), message(), [=] {
                        AddCharge(ChargeDateTime, PowerSource, UsePreviousPowerSource, Charger,
                                  Battery, NominalChargeAmps, AmpHours, Termination, CommentString,
                                  ChargerLogFileName, ShowConfirmationForm);
                    }});
        m_waitTimer.start();
        return;
    }
    m_lastDirectCallError.clear();
    try {
        if (!m_handler)
            throw QorLogError(QCoreApplication::translate(
                "TQorLogCOMServer", "The program is not ready to take charges"));
        m_handler->HandleAddCharge(ChargeDateTime, PowerSource, UsePreviousPowerSource, Charger,
                                   Battery, NominalChargeAmps, AmpHours, Termination, CommentString,
                                   ChargerLogFileName, ShowConfirmationForm);
    } catch (const QorLogError &error) {
        fail(error.message());
    } catch (const std::exception &error) {
        fail(QString::fromUtf8(error.what()));
    } catch (...) {
        fail(QCoreApplication::translate("TQorLogCOMServer", "Unexpected failure"));
    }
}

void TQorLogCOMServer::handleWaiting()
{
    while (!m_waiting.empty() && !(m_handler && m_handler->AddChargeMustWait())) {
        const Waiting call = m_waiting.front();
        m_waiting.pop_front();
        // Handled as a direct call, then answered as the bus call it was.
        call.Handle();
        const QString error = std::exchange(m_lastDirectCallError, QString());
        call.Connection.send(
            error.isEmpty() ? call.Call.createReply()
                            : call.Call.createErrorReply(
                                  QString::fromLatin1(QorLogAutomation::FailedErrorName), error));
    }
    if (m_waiting.empty())
        m_waitTimer.stop();
}

void TQorLogCOMServer::fail(const QString &message)
{
    if (calledFromDBus())
        sendErrorReply(QString::fromLatin1(QorLogAutomation::FailedErrorName), message);
    else
        m_lastDirectCallError = message;
}
