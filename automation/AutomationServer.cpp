#include "AutomationServer.h"

#include "AutomationNames.h"
#include "QorLogCOMServerUnit.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>

namespace {

// libdbus reports the loss of the connection to its owner as this local signal; it never
// travels over the bus.
const char LocalPath[] = "/org/freedesktop/DBus/Local";
const char LocalInterface[] = "org.freedesktop.DBus.Local";
const char DisconnectedSignal[] = "Disconnected";

} // namespace

AutomationServer::AutomationServer(IAddChargeHandler *handler, QObject *parent)
    : QObject(parent), m_comServer(new TQorLogCOMServer(handler, this)), m_connection(QString())
{
}

AutomationServer::~AutomationServer()
{
    stop();
}

bool AutomationServer::start()
{
    return start(QDBusConnection::sessionBus());
}

bool AutomationServer::start(const QDBusConnection &connection)
{
    stop();
    m_lastError.clear();
    if (!connection.isConnected()) {
        m_lastError =
            connection.lastError().isValid()
                ? connection.lastError().message()
                : QCoreApplication::translate("AutomationServer", "No session bus is available");
        return false;
    }
    m_connection = connection;

    const QString path = QString::fromLatin1(QorLogAutomation::ObjectPath);
    const QString service = QString::fromLatin1(QorLogAutomation::ServiceName);
    if (!m_connection.registerObject(path, m_comServer, QDBusConnection::ExportAdaptors)) {
        m_lastError = QCoreApplication::translate("AutomationServer",
                                                  "Cannot publish the automation object at %1")
                          .arg(path);
        return false;
    }
    if (!m_connection.registerService(service)) {
        const QDBusError error = m_connection.lastError();
        m_lastError =
            QCoreApplication::translate("AutomationServer", "Cannot take the bus name %1: %2")
                .arg(service, error.isValid()
                                  ? error.message()
                                  : QCoreApplication::translate("AutomationServer", "it is taken"));
        m_connection.unregisterObject(path);
        return false;
    }
    m_watching = m_connection.connect(
        QString(), QString::fromLatin1(LocalPath), QString::fromLatin1(LocalInterface),
        QString::fromLatin1(DisconnectedSignal), this, SLOT(onBusDisconnected()));
    m_running = true;
    return true;
}

void AutomationServer::stop()
{
    if (m_watching) {
        m_connection.disconnect(
            QString(), QString::fromLatin1(LocalPath), QString::fromLatin1(LocalInterface),
            QString::fromLatin1(DisconnectedSignal), this, SLOT(onBusDisconnected()));
        m_watching = false;
    }
    if (!m_running)
        return;
    m_running = false;
    if (m_connection.isConnected())
        m_connection.unregisterService(QString::fromLatin1(QorLogAutomation::ServiceName));
    m_connection.unregisterObject(QString::fromLatin1(QorLogAutomation::ObjectPath));
}

void AutomationServer::onBusDisconnected()
{
    if (!m_running)
        return;
    m_running = false;
    emit busLost();
}
