#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

class IAddChargeHandler;

// The automation object: receives AddCharge calls from the bus (through the generated
// adaptor, which is created as the object's child) and hands them to the program's handler.
// A call that comes while the handler must wait (the log is being written) is answered once
// it has been handled, after the calls before it, in the order they came.
class TQorLogCOMServer : public QObject, protected QDBusContext
{
    Q_OBJECT
public:
    explicit TQorLogCOMServer(IAddChargeHandler *handler, QObject *parent = nullptr);

    // The text of the last failure of a call that did not come over the bus (a direct call
    // has no caller to answer); empty after a call that succeeded.
    QString lastDirectCallError() const { return m_lastDirectCallError; }

public slots:
    // Forwards the eleven arguments unchanged and in order. No failure leaves this slot: a
    // failure of the handler is answered to the caller as QorLog.Error.Failed with its
    // message, and nothing is shown to the user.
    void AddCharge(double ChargeDateTime, const QString &PowerSource, bool UsePreviousPowerSource,
                   const QString &Charger, const QString &Battery, double NominalChargeAmps,
                   double AmpHours, const QString &Termination, const QString &CommentString,
                   const QString &ChargerLogFileName, bool ShowConfirmationForm);

private:
    void fail(const QString &message);
    // Handles the calls that waited, as long as the handler need not wait.
    void handleWaiting();

    IAddChargeHandler *m_handler;
    QString m_lastDirectCallError;
    struct Waiting
    {
        QDBusConnection Connection;
        QDBusMessage Call;
        std::function<void()> Handle;
    };
    std::deque<Waiting> m_waiting;
    QTimer m_waitTimer;
};
