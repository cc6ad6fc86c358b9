#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <signal.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the file at `path` belongs to another user (false when there is none).
bool ownedByAnother(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::geteuid();
}

// Whether the process at the other end of a connected local socket is this user's.
bool peerIsThisUser(qintptr socket)
{
#ifdef SO_PEERCRED
    struct ucred peer;
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
#else
    Q_UNUSED(socket);
    return true;
#endif
}

} // namespace

TSingleInstanceGuard::TSingleInstanceGuard(const QString &identifier, const QString &folder,
                                           QObject *parent)
    : QObject(parent)
{
    QString dir = folder;
    QString name = identifier;
    // Without XDG_RUNTIME_DIR Qt would warn and make a folder of its own; the temporary folder
    // below serves, with the same names for every run of this user, windowed or not.
    if (dir.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        // The temporary folder is every user's: the names are this user's own.
        dir = QDir::tempPath();
        name = identifier + QLatin1Char('-') + QString::number(::geteuid());
    }
    QDir().mkpath(dir);
    m_lockPath = QDir(dir).filePath(name + QStringLiteral(".lock"));
    m_socketPath = QDir(dir).filePath(name + QStringLiteral(".socket"));
}

TSingleInstanceGuard::~TSingleInstanceGuard()
{
    if (m_server) {
        m_server->close();
        QLocalServer::removeServer(m_socketPath);
    }
}

bool TSingleInstanceGuard::CheckSingleInstance()
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // The holder's process id is in the lock; a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        // Another user's lock under this name says nothing about this user's QorLog.
        if (m_lock->error() == QLockFile::LockFailedError && !ownedByAnother(m_lockPath)) {
            m_lock.reset();
            return false;
        }
        // The lock cannot be made at all (no such folder, no rights, another user's file):
        // do not refuse to start.
        m_lock.reset();
        return true;
    }
    // Only the lock holder gets here, so a socket left by a crashed holder can go.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(m_socketPath)) {
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                // Only this user's processes may activate it or hand it an import.
                if (!peerIsThisUser(socket->socketDescriptor())) {
                    socket->abort();
                    socket->deleteLater();
                    continue;
                }
                connect(socket, &QLocalSocket::readyRead, this,
                        [this, socket] { readMessage(socket); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                if (socket->bytesAvailable() > 0)
                    readMessage(socket);
            }
        });
    }
    return true;
}

void TSingleInstanceGuard::readMessage(QLocalSocket *socket)
{
    if (m_waits && m_waits()) {
        QTimer::singleShot(20, socket, [this, socket] { readMessage(socket); });
        return;
    }
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(64 * 1024).trimmed();
        // "activate <first parameter>", or "import <CSV path> <log path>" in Base64
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && parts.at(0) == "activate" && parts.at(1) == "1") {
            Q_EMIT activationRequested();
        } else if (parts.size() == 3 && parts.at(0) == "import") {
            Answer answer{1, QStringLiteral("QorLog cannot import from the command line")};
            if (m_importHandler)
                answer = m_importHandler(QString::fromUtf8(QByteArray::fromBase64(parts.at(1))),
                                         QString::fromUtf8(QByteArray::fromBase64(parts.at(2))));
            socket->write("answer " + QByteArray::number(answer.Status) + ' ' +
                          answer.Message.toUtf8().toBase64() + '\n');
            socket->flush();
        } else if (parts.size() >= 2 && parts.at(0) == "capture") {
            // "capture <field>..." each in Base64
            QStringList fields;
            for (qsizetype i = 1; i < parts.size(); ++i)
                fields << QString::fromUtf8(QByteArray::fromBase64(parts.at(i)));
            Answer answer{1, QStringLiteral("QorLog cannot capture from the command line")};
            if (m_captureHandler)
                answer = m_captureHandler(fields);
            socket->write("answer " + QByteArray::number(answer.Status) + ' ' +
                          answer.Message.toUtf8().toBase64() + '\n');
            socket->flush();
        }
    }
    if (socket->bytesAvailable() > 64 * 1024)
        socket->abort();
}

bool TSingleInstanceGuard::connectToFirst(QLocalSocket &socket, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // The first instance may hold the lock a moment before it listens: try again shortly.
    while (true) {
        // A socket of another user under this name is not this user's QorLog.
        if (ownedByAnother(m_socketPath))
            return false;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(qMax<qint64>(100, deadline.remainingTime()))) {
            if (peerIsThisUser(socket.socketDescriptor()))
                return true;
            socket.abort();
            return false;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

bool TSingleInstanceGuard::sendActivation(int firstParameter, int timeoutMs)
{
    QLocalSocket socket;
    if (!connectToFirst(socket, timeoutMs))
        return false;
    socket.write("activate " + QByteArray::number(firstParameter) + '\n');
    const bool sent = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return sent;
}

bool TSingleInstanceGuard::isHeld() const
{
    if (ownedByAnother(m_lockPath))
        return false;
    QLockFile lock(m_lockPath);
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application))
        return false;
    if (host == QSysInfo::machineHostName() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false; // left by a QorLog that is gone
    return true;
}

TSingleInstanceGuard::Handover TSingleInstanceGuard::sendImport(const QString &csvPath,
                                                                const QString &logPath,
                                                                Answer &answer, int timeoutMs)
{
    QLocalSocket socket;
    QDeadlineTimer deadline(timeoutMs);
    if (!connectToFirst(socket, 5000))
        return Handover::NobodyListening;
    socket.write("import " + csvPath.toUtf8().toBase64() + ' ' + logPath.toUtf8().toBase64() +
                 '\n');
    // The first instance answers once the import is done and saved.
    while (!socket.canReadLine()) {
        if (socket.waitForReadyRead(1000) || socket.canReadLine())
            continue;
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState)
            return Handover::NoAnswer;
    }
    const QList<QByteArray> parts = socket.readLine(64 * 1024).trimmed().split(' ');
    if (parts.size() < 2 || parts.at(0) != "answer")
        return Handover::NoAnswer;
    answer.Status = parts.at(1).toInt();
    answer.Message =
        parts.size() > 2 ? QString::fromUtf8(QByteArray::fromBase64(parts.at(2))) : QString();
    socket.disconnectFromServer();
    return Handover::Answered;
}

bool TSingleInstanceGuard::sendCapture(const QStringList &fields, Answer &answer, int timeoutMs)
{
    QByteArray request = "capture";
    for (const QString &field : fields)
        request += ' ' + field.toUtf8().toBase64();
    return sendRequest(request, answer, timeoutMs);
}

bool TSingleInstanceGuard::sendRequest(const QByteArray &request, Answer &answer, int timeoutMs)
{
    QLocalSocket socket;
    QDeadlineTimer deadline(timeoutMs);
    if (!connectToFirst(socket, 5000))
        return false;
    socket.write(request + '\n');
    while (!socket.canReadLine()) {
        if (socket.waitForReadyRead(1000) || socket.canReadLine())
            continue;
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState)
            return false;
    }
    const QList<QByteArray> parts = socket.readLine(64 * 1024).trimmed().split(' ');
    if (parts.size() < 2 || parts.at(0) != "answer")
        return false;
    answer.Status = parts.at(1).toInt();
    answer.Message =
        parts.size() > 2 ? QString::fromUtf8(QByteArray::fromBase64(parts.at(2))) : QString();
    socket.disconnectFromServer();
    return true;
}
