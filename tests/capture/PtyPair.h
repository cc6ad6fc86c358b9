#pragma once

// A pseudo-terminal pair standing in for a charger on a USB serial port: bytes written to the
// master come out of the slave, which the capture opens by its name (or through a link to it,
// as /dev/serial/by-id/ links stand for USB adapters).

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class TPtyPair
{
public:
    TPtyPair()
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios t;
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave); // the capture opens it by name
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_slaveName = QString::fromLocal8Bit(name);
    }
    ~TPtyPair() { close(); }
    bool isOpen() const { return m_master >= 0; }
    QString slaveName() const { return m_slaveName; }
    void close()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    // Writes everything, letting the event loop run while the terminal's buffer is full.
    bool send(const QByteArray &bytes)
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t w = ::write(m_master, bytes.constData() + done,
                                      std::size_t(std::min<qsizetype>(bytes.size() - done, 512)));
            if (w > 0) {
                done += w;
                QCoreApplication::processEvents();
            } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
                QTest::qWait(2);
            } else {
                return false;
            }
        }
        return true;
    }

private:
    int m_master = -1;
    QString m_slaveName;
};
