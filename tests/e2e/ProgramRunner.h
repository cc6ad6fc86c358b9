#pragma once

#include "ChargeLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <memory>

// Helpers for tests that start the built program and talk to it over the session bus.
namespace E2e {

// The eleven AddCharge arguments in the order the interface takes them.
struct Charge
{
    double dateTime = 45000.5; // 2023-03-15 12:00
    QString powerSource = QStringLiteral("Mains");
    bool usePreviousPowerSource = false;
    QString charger = QStringLiteral("Charger 1");
    QString battery = QStringLiteral("Pack A");
    double amps = 1.5;
    double ampHours = 2.0;
    QString termination = QStringLiteral("Peak");
    QString comment = QStringLiteral("from a client");
    QString chargerLogFileName = QStringLiteral("/logs/c1.csv");
    bool showConfirmationForm = false;

    QVariantList arguments() const;
    // The same call as a gdbus command line (without the program name).
    QStringList gdbusArguments() const;
};

// A method call to the running program; never starts it through the bus unless asked to.
QDBusMessage addChargeMessage(const Charge &charge, bool autoStart = false);

// The error name of a failed reply, or an empty text for success.
QString replyErrorName(const QDBusMessage &reply);

// One record of a log with its names and texts looked up.
struct StoredCharge
{
    double dateTime = 0.0;
    QString powerSource, charger, battery, termination, comment, chargerLogFileName;
    double amps = 0.0;
    double ampHours = 0.0;
};
StoredCharge storedCharge(const TChargeLog &log, int index);

// Reads a log file with the program's own reader; an absent file gives an empty log.
std::unique_ptr<TChargeLog> readLog(const QString &path);

// The process that owns `service` on `connection`, or 0 when nobody owns it.
qint64 ownerPid(const QDBusConnection &connection, const QString &service);

// Waits, serving events, until `service` is owned on `connection` by the process `pid` (any
// process when pid is 0). Returns false on time-out.
bool waitForOwner(const QDBusConnection &connection, const QString &service, qint64 pid,
                  int timeoutMs);

// One run of the real program with folders of its own: its runtime folder (for the
// single-instance guard), its data folder (for the registration files) and a folder for
// its log file. The session bus is the test's unless the environment is changed.
class ProgramRun
{
public:
    ProgramRun();
    ~ProgramRun(); // kills the program if it still runs

    QString runtimeDir() const { return m_dir.path() + QStringLiteral("/runtime"); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    QString logDir() const { return m_dir.path() + QStringLiteral("/logs"); }
    QString logPath() const { return logDir() + QStringLiteral("/charges.QorLog"); }
    QString serviceFile() const;
    QString interfaceFile() const;

    // The environment the program starts with; change it before start().
    QProcessEnvironment environment;
    QString program = QStringLiteral(QORLOG_PROGRAM);

    // Starts the program with `arguments` (the log file option is added unless withLogFile
    // is false).
    void start(const QStringList &arguments, bool withLogFile = true);
    // Starts the program and waits until it serves the bus; false when it did not.
    bool startServing(const QStringList &arguments = {}, int timeoutMs = 60000);
    // Waits for the end of a program that is expected to end by itself.
    bool waitForExit(int timeoutMs = 60000);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QProcess &process() { return m_process; }
    QString stateText(); // exit code and error output, for failure messages

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace E2e
