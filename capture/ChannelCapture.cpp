#include "ChannelCapture.h"

using namespace ChargerLog;

namespace {

bool isActiveState(int state)
{
    return state == 1 || state == 2;
}

// Finished and error: the charge is over whatever follows.
bool isFinalState(int state)
{
    return state == 6 || state == 7;
}

} // namespace

TChannelCapture::TChannelCapture(int channel, const QString &folder, int mode, int idleSeconds,
                                 const QByteArray &header, QObject *parent)
    : QObject(parent), m_channel(channel), m_folder(folder), m_mode(mode),
      m_idleMs(qint64(idleSeconds) * 1000), m_header(header), m_builder(m_log)
{
    m_started = QDateTime::currentDateTime();
}

bool TChannelCapture::startsCapture(const TDollarLine &line)
{
    return line.kind == TDollarLine::Kind::Sample && isActiveState(line.state);
}

Phase TChannelCapture::lastPhase() const
{
    return m_log.phases.isEmpty() ? Phase::Unknown : m_log.phases.last();
}

double TChannelCapture::elapsedSeconds() const
{
    return m_log.seconds.isEmpty() ? 0 : m_log.seconds.last();
}

bool TChannelCapture::write(QByteArrayView text)
{
    if (!m_file.isOpen()) {
        const QString name = m_started.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) +
                             QStringLiteral("-ch%1.txt").arg(m_channel);
        if (m_folder.isEmpty() || !m_file.create(m_folder, name, m_mode)) {
            m_error = m_folder.isEmpty()
                          ? tr("There is no folder to keep the captured charger logs in")
                          : m_file.error();
            return false;
        }
        m_filePath = m_file.path();
        if (!m_header.isEmpty() && !m_file.appendLine(m_header)) {
            m_error = m_file.error();
            return false;
        }
    }
    if (!m_file.appendLine(text)) {
        m_error = m_file.error();
        return false;
    }
    return true;
}

bool TChannelCapture::take(const TDollarLine &line)
{
    if (m_ended)
        return false;
    if (line.kind == TDollarLine::Kind::Resistance) {
        QString reason;
        if (m_builder.add(line, &reason) && !write(line.text))
            end(EndReason::WriteFailed);
        return !m_ended;
    }
    if (line.kind != TDollarLine::Kind::Sample)
        return true;
    if (m_log.sampleCount() > 0 && line.ms < m_builder.lastMs()) {
        end(EndReason::Restarted);
        return false;
    }
    const Phase phase = phaseOfState(line.state);
    if (isActiveState(line.state)) {
        if (m_activePhase != Phase::Unknown && phase != m_activePhase) {
            end(EndReason::NewPhase);
            return false;
        }
        m_activePhase = phase;
        m_restSinceMs = -1;
    } else if (m_activePhase == Phase::Unknown) {
        return true; // before the charge began: no capture yet
    } else if (m_restSinceMs < 0) {
        m_restSinceMs = line.ms;
    }
    QString reason;
    if (!m_builder.add(line, &reason)) {
        end(EndReason::Restarted);
        return false;
    }
    if (!write(line.text)) {
        end(EndReason::WriteFailed);
        return true;
    }
    m_last = dollarSample(line);
    Q_EMIT sampleAdded(m_last);
    if (isFinalState(line.state))
        end(EndReason::Finished);
    else if (m_restSinceMs >= 0 && line.ms - m_restSinceMs > m_idleMs)
        end(EndReason::LongRest);
    return true;
}

void TChannelCapture::end(EndReason reason)
{
    if (m_ended)
        return;
    m_ended = true;
    m_reason = reason;
    m_builder.finish();
    // A capture that never charged or discharged leaves nothing behind.
    const bool keep = m_file.isOpen() && m_activePhase != Phase::Unknown;
    m_file.close(!keep);
    if (!keep)
        m_filePath.clear();
    Q_EMIT ended();
}
