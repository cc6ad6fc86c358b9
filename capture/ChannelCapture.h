#pragma once

#include "CapturedLogFile.h"
#include "ChargerLog.h"
#include "ChargerLogDollar.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

// One charge (or discharge) of one channel as it is captured: its lines written to its own
// file, its samples kept as the log they make. It ends when the channel's state leaves the
// active phase for good (finished, error, or a rest longer than the silence time), when a new
// active phase begins or the charger's time starts again, or when told to.
class TChannelCapture : public QObject
{
    Q_OBJECT
public:
    enum class EndReason
    {
        Finished,  // the charger said so (finished or error)
        LongRest,  // a rest longer than the silence time
        NewPhase,  // a discharge after the charge, or the other way round
        Restarted, // the charger's time began again
        Silence,   // no line for the silence time
        Stopped,   // Stop, or the capture refused the port's data
        WriteFailed
    };

    // `folder` is where the file goes once there is a sample; `mode` its permission bits.
    TChannelCapture(int channel, const QString &folder, int mode, int idleSeconds,
                    const QByteArray &header, QObject *parent = nullptr);

    // Whether a line of this channel starts a capture: only an active phase does.
    static bool startsCapture(const ChargerLog::TDollarLine &line);
    // Takes a line of this channel. False when the line does not belong to this capture,
    // which has then ended (reason() says why); the caller may start a new one with it.
    bool take(const ChargerLog::TDollarLine &line);
    void end(EndReason reason);
    // Syncs the file when it is due (the capture asks every second).
    void syncFile() { m_file.syncIfDue(); }

    int channel() const { return m_channel; }
    bool hasEnded() const { return m_ended; }
    EndReason reason() const { return m_reason; }
    // The file written; empty before the first sample and after an end without a record.
    QString filePath() const { return m_filePath; }
    QString error() const { return m_error; }
    QDateTime started() const { return m_started; }
    const ChargerLog::TChargerLog &log() const { return m_log; }
    // The phase of the capture (charge or discharge) and of the channel's last line.
    ChargerLog::Phase activePhase() const { return m_activePhase; }
    ChargerLog::Phase lastPhase() const;
    double elapsedSeconds() const;
    ChargerLog::TDollarSample lastSample() const { return m_last; }
    int sampleCount() const { return m_log.sampleCount(); }

Q_SIGNALS:
    void sampleAdded(const ChargerLog::TDollarSample &sample);
    void ended();

private:
    bool write(QByteArrayView text);

    int m_channel;
    QString m_folder;
    int m_mode;
    qint64 m_idleMs;
    QByteArray m_header;
    ChargerLog::TChargerLog m_log;
    ChargerLog::TDollarLogBuilder m_builder;
    TCapturedLogFile m_file;
    QString m_filePath;
    QString m_error;
    QDateTime m_started;
    ChargerLog::Phase m_activePhase = ChargerLog::Phase::Unknown;
    ChargerLog::TDollarSample m_last;
    qint64 m_restSinceMs = -1; // the charger's time when its rest began
    bool m_ended = false;
    EndReason m_reason = EndReason::Stopped;
};
