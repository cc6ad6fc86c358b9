#include "SoakRunner.h"

#include "AutomationNames.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>

#include <signal.h>
#include <sys/prctl.h>

namespace Soak {

namespace {

// Whatever the soak starts ends with it, however the soak ends.
void endsWithTheSoak(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

void pause(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(ulong(qBound(qint64(0), deadline.remainingTime(), qint64(2))));
    }
}

PrivateBus::~PrivateBus()
{
    stop();
}

bool PrivateBus::start(QString &error)
{
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    endsWithTheSoak(m_daemon);
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(10000)) {
        error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return false;
    }
    if (!waitFor([this] { return m_daemon.canReadLine(); }, 10000)) {
        error = QStringLiteral("dbus-daemon printed no address");
        return false;
    }
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    const QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_name);
    if (!bus.isConnected()) {
        error = QStringLiteral("cannot connect to the private bus: ") + bus.lastError().message();
        return false;
    }
    return true;
}

void PrivateBus::stop()
{
    if (!m_address.isEmpty())
        QDBusConnection::disconnectFromBus(m_name);
    m_address.clear();
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection(m_name);
}

XServer::~XServer()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

bool XServer::start(QString &error)
{
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    endsWithTheSoak(m_server);
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_server.waitForStarted(10000)) {
        error = QStringLiteral("Xvfb did not start: ") + m_server.errorString();
        return false;
    }
    if (!waitFor([this] { return m_server.canReadLine(); }, 20000)) {
        error = QStringLiteral("Xvfb gave no display: ") +
                QString::fromLocal8Bit(m_server.readAllStandardError());
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(m_server.readLine()).trimmed();
    return true;
}

ToolResult runTool(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &environment, int timeoutMs)
{
    QProcess process;
    endsWithTheSoak(process);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolResult result;
    if (!process.waitForStarted(10000))
        return result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

QDBusPendingCall sendAddCharge(const QDBusConnection &bus, const ChargeCall &charge, int timeoutMs)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(QorLogAutomation::ServiceName),
        QString::fromLatin1(QorLogAutomation::ObjectPath),
        QString::fromLatin1(QorLogAutomation::InterfaceName), QStringLiteral("AddCharge"));
    call.setAutoStartService(false);
    call.setArguments({charge.dateTime, QStringLiteral("Mains"), false, QStringLiteral("Soaker"),
                       charge.battery, charge.amps, charge.ampHours, QStringLiteral("Normal"),
                       charge.comment, QString(), charge.confirm});
    return bus.asyncCall(call, timeoutMs);
}

Answer answerOf(QDBusPendingCall &call, QString &message, int timeoutMs)
{
    waitFor([&call] { return call.isFinished(); }, timeoutMs);
    if (!call.isFinished()) {
        message = QStringLiteral("no answer");
        return Answer::Unknown;
    }
    const QDBusMessage reply = call.reply();
    if (reply.type() == QDBusMessage::ReplyMessage)
        return Answer::Stored;
    message = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return reply.errorName() == QLatin1String(QorLogAutomation::FailedErrorName) ? Answer::Refused
                                                                                 : Answer::Unknown;
}

QorLogProcess::QorLogProcess()
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    endsWithTheSoak(m_process);
}

QorLogProcess::~QorLogProcess()
{
    kill();
}

bool QorLogProcess::start(const QStringList &arguments, const QDBusConnection &bus, QString &error,
                          int timeoutMs)
{
    if (!outputFile.isEmpty())
        m_process.setStandardOutputFile(outputFile, QIODevice::Append);
    m_process.setProcessEnvironment(environment);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000)) {
        error = QStringLiteral("the program did not start: ") + m_process.errorString();
        return false;
    }
    m_pid = m_process.processId();
    const QString name = QString::fromLatin1(QorLogAutomation::ServiceName);
    const bool serving = waitFor(
        [&] {
            if (m_process.state() == QProcess::NotRunning)
                return true;
            const QDBusReply<uint> owner = bus.interface()->servicePid(name);
            return owner.isValid() && qint64(owner.value()) == m_pid;
        },
        timeoutMs);
    if (m_process.state() == QProcess::NotRunning) {
        error = QStringLiteral("the program ended at its start with exit code %1")
                    .arg(m_process.exitCode());
        return false;
    }
    if (!serving) {
        error =
            QStringLiteral("the program did not serve the bus within %1 s").arg(timeoutMs / 1000);
        return false;
    }
    return true;
}

bool QorLogProcess::isRunning()
{
    return m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(0);
}

void QorLogProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(10000);
}

bool QorLogProcess::terminate(int &exitCode, int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning) {
        exitCode = m_process.exitCode();
        return true;
    }
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(timeoutMs)) {
        kill();
        return false;
    }
    exitCode = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    return true;
}

} // namespace Soak
