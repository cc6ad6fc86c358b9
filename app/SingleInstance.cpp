#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

TSingleInstanceGuard::TSingleInstanceGuard(const QString &identifier, const QString &folder,
                                           QObject *parent)
    : QObject(parent)
{
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    m_lockPath = QDir(dir).filePath(identifier + QStringLiteral(".lock"));
    m_socketPath = QDir(dir).filePath(identifier + QStringLiteral(".socket"));
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
        if (m_lock->error() == QLockFile::LockFailedError) {
            m_lock.reset();
            return false;
        }
        // The lock cannot be made at all (no such folder, no rights): do not refuse to start.
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
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(64).trimmed();
        // "activate <first parameter>"
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && parts.at(0) == "activate" && parts.at(1) == "1")
            Q_EMIT activationRequested();
    }
    if (socket->bytesAvailable() > 256)
        socket->abort();
}

bool TSingleInstanceGuard::sendActivation(int firstParameter, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // The first instance may hold the lock a moment before it listens: try again shortly.
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(qMax<qint64>(100, deadline.remainingTime()))) {
            socket.write("activate " + QByteArray::number(firstParameter) + '\n');
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(1000);
            return sent;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}
