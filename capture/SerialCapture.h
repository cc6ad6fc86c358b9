#pragma once

#include "CaptureOptions.h"
#include "ChargerLogDollar.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QSerialPort;
class TChannelCapture;

// The capture of one serial port: the charger's "$" lines read as they come, each channel's
// charge a capture of its own (TChannelCapture) with its own file in `folder`. The port going
// away (unplugged, reset, the other end of a pseudo-terminal closed) closes it at once, and the
// same device is opened again every 2 s; a charge whose time counts on goes on in its file.
// No line for the silence time ends the charges under way; the capture waits for the next one
// until it is stopped. Data that is no charger's gets a warning; a flood is refused and ends
// the capture.
class TSerialCapture : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Idle,
        Open,
        Waiting, // the port went away: opened again every ReopenMs
        Ended
    };
    static constexpr int ReopenMs = 2000;
    static constexpr int NoChargerLinesMs = 10000;
    static constexpr qint64 FloodBytes = 1024 * 1024; // without a line end
    static constexpr int FloodLinesPerSecond = 1000;
    static constexpr int FloodSeconds = 10;

    // `folder` receives the captured files, created with the permission bits `mode`.
    TSerialCapture(const TCaptureOptions &options, const QString &folder, int mode,
                   QObject *parent = nullptr);
    ~TSerialCapture() override;

    // Opens the port; false with the reason (and how to mend it) in `error`.
    bool start(QString *error);
    // Ends every running charge and closes the port.
    void stop();

    const TCaptureOptions &options() const { return m_options; }
    State state() const { return m_state; }
    // The running charges, one per channel at most.
    QList<TChannelCapture *> channels() const;
    // Why the capture ended (empty for Stop), or the last warning.
    QString message() const { return m_message; }

    // Why a port cannot be opened, in words a user can act on.
    static QString openFailure(const QString &device, int serialError, const QString &detail);
    // A printable sample of bytes that held no charger line.
    static QString printable(const QByteArray &bytes);

Q_SIGNALS:
    void channelStarted(TChannelCapture *capture);
    // The capture has ended; its file (if any) is complete. The capture is deleted later.
    void channelEnded(TChannelCapture *capture);
    void stateChanged();
    void warning(const QString &text);
    void ended(const QString &reason);

private:
    bool open(QString *error);
    void closePort();
    void readBytes();
    void portFailed();
    void takeLine(const ChargerLog::TDollarLine &line);
    void endChannel(TChannelCapture *capture);
    void finish(const QString &reason);
    void refuse(const QString &reason);
    void checkForChargerLines();

    TCaptureOptions m_options;
    QString m_folder;
    int m_mode;
    std::unique_ptr<QSerialPort> m_port;
    ChargerLog::TDollarLineParser m_parser;
    QList<QPointer<TChannelCapture>> m_channels;
    QByteArray m_header;
    State m_state = State::Idle;
    QString m_message;
    QTimer m_reopen, m_silence, m_noLines, m_sync;
    QByteArray m_firstBytes; // what came before any charger line, for the warning
    bool m_warned = false;
    QElapsedTimer m_second;
    qint64 m_linesThisSecond = 0;
    int m_floodSeconds = 0;
};
