#include "ProgramRunner.h"

#include "AutomationNames.h"
#include "LogFile.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QTest>

namespace E2e {

namespace {

QString gvariantString(QString text)
{
    text.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    text.replace(QLatin1String("'"), QLatin1String("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString gvariantDouble(double value)
{
    return QString::number(value, 'g', 17);
}

QString gvariantBool(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

QVariantList Charge::arguments() const
{
    return {dateTime,
            powerSource,
            usePreviousPowerSource,
            charger,
            battery,
            amps,
            ampHours,
            termination,
            comment,
            chargerLogFileName,
            showConfirmationForm};
}

QStringList Charge::gdbusArguments() const
{
    return {QStringLiteral("call"),
            QStringLiteral("--session"),
            QStringLiteral("--dest"),
            QString::fromLatin1(QorLogAutomation::ServiceName),
            QStringLiteral("--object-path"),
            QString::fromLatin1(QorLogAutomation::ObjectPath),
            QStringLiteral("--method"),
            QString::fromLatin1(QorLogAutomation::InterfaceName) + QStringLiteral(".AddCharge"),
            gvariantDouble(dateTime),
            gvariantString(powerSource),
            gvariantBool(usePreviousPowerSource),
            gvariantString(charger),
            gvariantString(battery),
            gvariantDouble(amps),
            gvariantDouble(ampHours),
            gvariantString(termination),
            gvariantString(comment),
            gvariantString(chargerLogFileName),
            gvariantBool(showConfirmationForm)};
}

QDBusMessage addChargeMessage(const Charge &charge, bool autoStart)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(QorLogAutomation::ServiceName),
        QString::fromLatin1(QorLogAutomation::ObjectPath),
        QString::fromLatin1(QorLogAutomation::InterfaceName), QStringLiteral("AddCharge"));
    message.setArguments(charge.arguments());
    message.setAutoStartService(autoStart);
    return message;
}

QString replyErrorName(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
}

StoredCharge storedCharge(const TChargeLog &log, int index)
{
    const TChargeRecord &record = log.ChargeStringList.record(index);
    StoredCharge stored;
    stored.dateTime = record.DateTime;
    stored.powerSource = log.PowerSourcesStringList.name(record.PowerSourceIndex);
    stored.charger = log.ChargersStringList.name(record.ChargerIndex);
    stored.battery = log.BatteriesStringList.name(record.BatteryIndex);
    stored.termination = log.TerminationsStringList.name(record.TerminationIndex);
    stored.amps = record.NominalChargeAmps;
    stored.ampHours = record.AmpHours;
    TChargeList::SplitChargeText(log.ChargeStringList.text(index), stored.chargerLogFileName,
                                 stored.comment);
    return stored;
}

std::unique_ptr<TChargeLog> readLog(const QString &path)
{
    auto log = std::make_unique<TChargeLog>();
    LogFile::LoadChargeLog(path, *log);
    return log;
}

qint64 ownerPid(const QDBusConnection &connection, const QString &service)
{
    QDBusConnectionInterface *bus = connection.interface();
    if (!bus || !bus->isServiceRegistered(service))
        return 0;
    const QDBusReply<uint> pid = bus->servicePid(service);
    return pid.isValid() ? qint64(pid.value()) : 0;
}

bool waitForOwner(const QDBusConnection &connection, const QString &service, qint64 pid,
                  int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            const qint64 owner = ownerPid(connection, service);
            return owner != 0 && (pid == 0 || owner == pid);
        },
        timeoutMs);
}

ProgramRun::ProgramRun() : environment(QProcessEnvironment::systemEnvironment())
{
    QDir base(m_dir.path());
    base.mkpath(QStringLiteral("runtime"));
    base.mkpath(QStringLiteral("data"));
    base.mkpath(QStringLiteral("logs"));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

ProgramRun::~ProgramRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

QString ProgramRun::serviceFile() const
{
    return dataHome() + QStringLiteral("/dbus-1/services/") +
           QString::fromLatin1(QorLogAutomation::ServiceName) + QStringLiteral(".service");
}

QString ProgramRun::interfaceFile() const
{
    return dataHome() + QStringLiteral("/dbus-1/interfaces/") +
           QString::fromLatin1(QorLogAutomation::InterfaceName) + QStringLiteral(".xml");
}

void ProgramRun::start(const QStringList &arguments, bool withLogFile)
{
    QStringList all = arguments;
    if (withLogFile)
        all << QStringLiteral("--log-file") << logPath();
    m_process.setProcessEnvironment(environment);
    m_process.start(program, all);
    m_process.waitForStarted(10000);
}

bool ProgramRun::startServing(const QStringList &arguments, int timeoutMs)
{
    start(arguments);
    return waitForOwner(QDBusConnection::sessionBus(),
                        QString::fromLatin1(QorLogAutomation::ServiceName), m_process.processId(),
                        timeoutMs);
}

bool ProgramRun::waitForExit(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    return m_process.waitForFinished(timeoutMs);
}

QString ProgramRun::stateText()
{
    return QStringLiteral("state %1, exit code %2, errors: %3")
        .arg(int(m_process.state()))
        .arg(m_process.exitCode())
        .arg(QString::fromLocal8Bit(m_process.readAllStandardError()));
}

} // namespace E2e
