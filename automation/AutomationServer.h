#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class IAddChargeHandler;
class TQorLogCOMServer;

// Publishes the automation object on a bus connection (the session bus unless told otherwise)
// and watches that connection: when the bus goes away, as it does when the user logs out,
// busLost() tells the program to close as if the user had closed it.
class AutomationServer : public QObject
{
    Q_OBJECT
public:
    explicit AutomationServer(IAddChargeHandler *handler, QObject *parent = nullptr);
    ~AutomationServer() override;

    // Registers the object at /QorLogCOMServer, then asks for the name QorLog.QorLogCOMServer,
    // so that no call can arrive before the object is there. Returns false, with the reason in
    // lastError(), when there is no bus or the name cannot be had; the program then runs
    // without automation.
    bool start();
    bool start(const QDBusConnection &connection);
    // Gives the name back and removes the object; also done on destruction.
    void stop();

    bool isRunning() const { return m_running; }
    QString lastError() const { return m_lastError; }
    TQorLogCOMServer *comServer() const { return m_comServer; }

signals:
    void busLost();

private slots:
    void onBusDisconnected();

private:
    TQorLogCOMServer *m_comServer;
    QDBusConnection m_connection;
    bool m_running = false;
    bool m_watching = false;
    QString m_lastError;
};
