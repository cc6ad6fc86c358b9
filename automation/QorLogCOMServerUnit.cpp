#include "QorLogCOMServerUnit.h"

#include "AddChargeHandler.h"
#include "AutomationNames.h"
#include "ConstantsAndTypes.h"
#include "qorlogcomserveradaptor.h"

#include <QCoreApplication>

#include <exception>

TQorLogCOMServer::TQorLogCOMServer(IAddChargeHandler *handler, QObject *parent)
    : QObject(parent), m_handler(handler)
{
    setObjectName(QStringLiteral("QorLogCOMServer"));
    // Owned by this object; it publishes the interface when the object is registered with
    // QDBusConnection::ExportAdaptors.
    new IQorLogCOMServerAdaptor(this);
}

void TQorLogCOMServer::AddCharge(double ChargeDateTime, const QString &PowerSource,
                                 bool UsePreviousPowerSource, const QString &Charger,
                                 const QString &Battery, double NominalChargeAmps, double AmpHours,
                                 const QString &Termination, const QString &CommentString,
                                 const QString &ChargerLogFileName, bool ShowConfirmationForm)
{
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

void TQorLogCOMServer::fail(const QString &message)
{
    if (calledFromDBus())
        sendErrorReply(QString::fromLatin1(QorLogAutomation::FailedErrorName), message);
    else
        m_lastDirectCallError = message;
}
