#pragma once

// Shared by the robustness tests: the helper programs, the real program started on the test's
// private bus, calls to it, and log files read back the way the program reads them.

#include "AutomationNames.h"
#include "ChargeLog.h"
#include "ConstantsAndTypes.h"
#include "LogFile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QtTest>

#include <signal.h>
#include <sys/resource.h>

namespace Robust {

inline QString programPath()
{
    return QStringLiteral(QORLOG_PROGRAM);
}

inline QString helperPath(const char *name)
{
    return QStringLiteral(QORLOG_ROBUST_HELPERS) + QLatin1Char('/') + QLatin1String(name);
}

// One charge of a log file as read back: the record and its texts with the names resolved.
struct StoredCharge
{
    TChargeRecord record;
    QString powerSource;
    QString charger;
    QString battery;
    QString termination;
    QString comment;
    QString chargerLogFileName;
};

// Reads the whole file as the program does at start; a damaged file throws QorLogError.
inline QList<StoredCharge> readLog(const QString &path)
{
    TChargeLog log;
    LogFile::LoadChargeLog(path, log);
    QList<StoredCharge> charges;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        StoredCharge c;
        c.record = log.ChargeStringList.record(i);
        c.powerSource = log.PowerSourcesStringList.name(c.record.PowerSourceIndex);
        c.charger = log.ChargersStringList.name(c.record.ChargerIndex);
        c.battery = log.BatteriesStringList.name(c.record.BatteryIndex);
        c.termination = log.TerminationsStringList.name(c.record.TerminationIndex);
        TChargeList::SplitChargeText(log.ChargeStringList.text(i), c.chargerLogFileName, c.comment);
        charges.append(c);
    }
    return charges;
}

// The comments of a log file, in file order; a damaged file fails the test with its message.
inline bool readComments(const QString &path, QStringList &comments, QString &failure)
{
    try {
        comments.clear();
        for (const StoredCharge &c : readLog(path))
            comments.append(c.comment);
        return true;
    } catch (const QorLogError &error) {
        failure = error.message();
        return false;
    }
}

// Files in `folder` other than the ones named.
inline QStringList otherFiles(const QString &folder, const QStringList &known)
{
    QStringList others = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : known)
        others.removeAll(name);
    return others;
}

inline QVariantList chargeArguments(const QString &comment, double dateTime = 44000.5)
{
    return {dateTime,
            QStringLiteral("Mains"),
            false,
            QStringLiteral("Charger 1"),
            QStringLiteral("Pack A"),
            1.5,
            2.0,
            QStringLiteral("Normal"),
            comment,
            QString(),
            false};
}

inline QDBusMessage callAddCharge(const QVariantList &arguments, int timeoutMs = 60000)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(QorLogAutomation::ServiceName),
        QString::fromLatin1(QorLogAutomation::ObjectPath),
        QString::fromLatin1(QorLogAutomation::InterfaceName), QStringLiteral("AddCharge"));
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, timeoutMs);
}

// Sets the largest file `pid` may write, as `prlimit --fsize` does. Only the soft limit
// moves, so that it can be raised again without special rights.
inline bool setFileSizeLimit(qint64 pid, rlim_t bytes)
{
    struct rlimit limit = {};
    if (::prlimit(pid_t(pid), RLIMIT_FSIZE, nullptr, &limit) != 0)
        return false;
    limit.rlim_cur = qMin(bytes, limit.rlim_max);
    return ::prlimit(pid_t(pid), RLIMIT_FSIZE, &limit, nullptr) == 0;
}

// The real program, started with its own log file on the test's bus.
class ProgramUnderTest
{
public:
    ProgramUnderTest() { m_process.setProcessChannelMode(QProcess::ForwardedChannels); }
    ~ProgramUnderTest() { kill(); }

    // Starts the program and waits until it serves the automation object.
    bool start(const QString &logPath, int timeoutMs = 30000)
    {
        m_process.start(programPath(), {QStringLiteral("--log-file"), logPath});
        if (!m_process.waitForStarted(timeoutMs))
            return false;
        return waitUntilServing(timeoutMs);
    }

    bool waitUntilServing(int timeoutMs = 30000)
    {
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        const QString name = QString::fromLatin1(QorLogAutomation::ServiceName);
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && isRunning()) {
            const QDBusReply<uint> owner = bus->servicePid(name);
            if (owner.isValid() && qint64(owner.value()) == pid())
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    qint64 pid() const { return m_process.processId(); }
    // Asked after a blocking call, during which no event told the process object of an end.
    bool isRunning()
    {
        return m_process.state() == QProcess::Running && !m_process.waitForFinished(50);
    }
    QProcess &process() { return m_process; }

    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

} // namespace Robust
