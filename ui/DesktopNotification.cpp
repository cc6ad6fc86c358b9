#include "DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace DesktopNotification {

void send(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    if (!bus.isConnected() || !bus.interface())
        return;
    const QStringList activatable = bus.interface()->activatableServiceNames().value();
    if (!bus.interface()->isServiceRegistered(service).value() && !activatable.contains(service))
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    call << QStringLiteral("QorLog") << quint32(0) << QStringLiteral("qorlog") << summary << body
         << QStringList() << QVariantMap() << qint32(-1);
    bus.asyncCall(call);
}

} // namespace DesktopNotification
