#pragma once

// The processes a soak run drives: private session buses, a private X server, the real
// program, and the small tools (xdotool) that play the user at the keyboard.

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace Soak {

// Serves events until `done` holds (true) or `timeoutMs` passed (false).
bool waitFor(const std::function<bool()> &done, int timeoutMs);
// Serves events for `ms` milliseconds.
void pause(int ms);

// A session bus of our own: its own dbus-daemon, reached through a named connection.
class PrivateBus
{
public:
    explicit PrivateBus(const QString &name) : m_name(name) {}
    ~PrivateBus();
    bool start(QString &error);
    void stop();
    QString address() const { return m_address; }
    QDBusConnection connection() const;

private:
    QString m_name;
    QString m_address;
    QProcess m_daemon;
};

// An X server of our own (Xvfb) for the window that the keys go to.
class XServer
{
public:
    ~XServer();
    bool start(QString &error);
    QString display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

struct ToolResult
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs `program` to its end (at most `timeoutMs`) in `environment`.
ToolResult runTool(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &environment, int timeoutMs = 20000);

// One charge as AddCharge takes it; the comment is the charge's tag.
struct ChargeCall
{
    double dateTime = 0;
    QString battery;
    double amps = 0;
    double ampHours = 0;
    QString comment;
    bool confirm = false;
};

// What a call was told: stored, refused by the program, or nothing certain (no answer, the
// program gone, the bus timed out).
enum class Answer
{
    Stored,
    Refused,
    Unknown
};

QDBusPendingCall sendAddCharge(const QDBusConnection &bus, const ChargeCall &charge,
                               int timeoutMs = 30000);
// Waits for the call's answer; `message` gets the error text of a failed one.
Answer answerOf(QDBusPendingCall &call, QString &message, int timeoutMs = 35000);

// One run of the real program.
class QorLogProcess
{
public:
    QorLogProcess();
    ~QorLogProcess();

    QString program;
    QProcessEnvironment environment;
    QString outputFile; // stdout and stderr go here (appended)

    // Starts it and waits until it owns the automation name on `bus`.
    bool start(const QStringList &arguments, const QDBusConnection &bus, QString &error,
               int timeoutMs = 60000);
    bool isRunning();
    qint64 pid() const { return m_pid; }
    void kill(); // SIGKILL, then reaps it
    // SIGTERM; true when it ended by itself within `timeoutMs` (its exit code in `exitCode`).
    bool terminate(int &exitCode, int timeoutMs = 20000);

private:
    QProcess m_process;
    qint64 m_pid = 0;
};

} // namespace Soak
