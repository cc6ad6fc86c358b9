// A helper process for the load test: one automation client that sends AddCharge calls to the
// running program, one after another, each waiting for its answer.
//
//   qorlog_loadclient PREFIX COUNT
//
// Call i carries the comment "PREFIX i", so the log file shows which calls arrived and whether
// any arrived twice. Prints "ok N failed M" and, for the first failures, their error texts;
// the exit code is 0 only when every call succeeded.

#include "AutomationNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: qorlog_loadclient PREFIX COUNT\n");
        return 2;
    }
    const QString prefix = args.at(1);
    const int count = args.at(2).toInt();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no session bus\n");
        return 2;
    }
    int ok = 0;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QString::fromLatin1(QorLogAutomation::ServiceName),
            QString::fromLatin1(QorLogAutomation::ObjectPath),
            QString::fromLatin1(QorLogAutomation::InterfaceName), QStringLiteral("AddCharge"));
        call << 43000.0 + i / 10000.0 << QStringLiteral("Mains") << false
             << QStringLiteral("Charger %1").arg(i % 4) << QStringLiteral("%1 pack").arg(prefix)
             << 1.5 << 0.25 * (i % 9) << QStringLiteral("Normal")
             << QStringLiteral("%1 %2").arg(prefix).arg(i) << QString() << false;
        // Four clients share one server that rewrites the whole log for every call: a call
        // may wait for many others, so the timeout is generous.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 300000);
        if (reply.type() == QDBusMessage::ReplyMessage) {
            ++ok;
        } else {
            if (++failed <= 5)
                std::fprintf(stderr, "%s: %s\n", qPrintable(reply.errorName()),
                             qPrintable(reply.errorMessage()));
        }
    }
    std::printf("ok %d failed %d\n", ok, failed);
    return failed == 0 ? 0 : 1;
}
