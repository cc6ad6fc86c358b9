#include "SerialCapture.h"

#include "ChannelCapture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ChargerLog;

TSerialCapture::TSerialCapture(const TCaptureOptions &options, const QString &folder, int mode,
                               QObject *parent)
    : QObject(parent), m_options(options), m_folder(folder), m_mode(mode),
      m_parser([this](const TDollarLine &line) { takeLine(line); })
{
    m_reopen.setInterval(ReopenMs);
    connect(&m_reopen, &QTimer::timeout, this, [this] {
        QString error;
        if (open(&error)) {
            m_reopen.stop();
            m_state = State::Open;
            Q_EMIT stateChanged();
        }
    });
    m_silence.setSingleShot(true);
    m_silence.setInterval(options.idleSeconds * 1000);
    // Silence ends the charges under way; the port stays open for the next one.
    connect(&m_silence, &QTimer::timeout, this, [this] {
        const auto running = m_channels;
        for (const auto &c : running)
            if (c) {
                c->end(TChannelCapture::EndReason::Silence);
                endChannel(c);
            }
    });
    // The last lines reach the disk within seconds also when no line follows them.
    m_sync.setInterval(1000);
    connect(&m_sync, &QTimer::timeout, this, [this] {
        for (TChannelCapture *c : channels())
            c->syncFile();
    });
    m_noLines.setSingleShot(true);
    m_noLines.setInterval(NoChargerLinesMs);
    connect(&m_noLines, &QTimer::timeout, this, &TSerialCapture::checkForChargerLines);
}

TSerialCapture::~TSerialCapture()
{
    stop();
}

QList<TChannelCapture *> TSerialCapture::channels() const
{
    QList<TChannelCapture *> list;
    for (const auto &c : m_channels)
        if (c && !c->hasEnded())
            list << c;
    return list;
}

bool TSerialCapture::start(QString *error)
{
    if (!open(error))
        return false;
    m_state = State::Open;
    m_noLines.start();
    m_sync.start();
    Q_EMIT stateChanged();
    return true;
}

bool TSerialCapture::open(QString *error)
{
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(m_options.device);
    if (!port->open(QIODevice::ReadOnly)) {
        *error = openFailure(m_options.device, int(port->error()), port->errorString());
        return false;
    }
    port->setBaudRate(m_options.baud);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    connect(port.get(), &QSerialPort::readyRead, this, &TSerialCapture::readBytes);
    connect(port.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // Qt Serial Port reports an empty read (the device gone) as a read error again and
        // again while the port stays open: any error but a time-out closes it at once.
        if (e != QSerialPort::NoError && e != QSerialPort::TimeoutError)
            portFailed();
    });
    m_port = std::move(port);
    return true;
}

void TSerialCapture::closePort()
{
    if (!m_port)
        return;
    m_port->disconnect(this);
    m_port->close();
    // Deleted later: this may run inside one of the port's own signals.
    m_port.release()->deleteLater();
}

void TSerialCapture::portFailed()
{
    if (m_state != State::Open)
        return;
    closePort();
    m_state = State::Waiting;
    m_reopen.start();
    Q_EMIT stateChanged();
}

void TSerialCapture::readBytes()
{
    if (!m_port)
        return;
    const QByteArray bytes = m_port->readAll();
    if (bytes.isEmpty())
        return;
    if (m_parser.goodLines() == 0 && m_firstBytes.size() < 64)
        m_firstBytes += bytes.left(64 - m_firstBytes.size());
    const qint64 before = m_parser.goodLines() + m_parser.badLines() + m_parser.duplicates();
    m_parser.feed(bytes);
    if (m_state == State::Ended)
        return;
    if (m_parser.bytesSinceLineEnd() > FloodBytes) {
        refuse(tr("%1 sent more than 1 MiB without a line end: this is no charger's log, and "
                  "the capture was stopped")
                   .arg(m_options.device));
        return;
    }
    if (!m_second.isValid())
        m_second.start();
    m_linesThisSecond +=
        m_parser.goodLines() + m_parser.badLines() + m_parser.duplicates() - before;
    if (m_second.elapsed() >= 1000) {
        const qint64 seconds = m_second.elapsed() / 1000;
        m_floodSeconds = m_linesThisSecond / seconds > FloodLinesPerSecond ? m_floodSeconds + 1 : 0;
        m_linesThisSecond = 0;
        m_second.start();
        if (m_floodSeconds >= FloodSeconds) {
            refuse(tr("%1 sent more than %2 lines a second for %3 seconds: no charger sends "
                      "so much, and the capture was stopped")
                       .arg(m_options.device)
                       .arg(FloodLinesPerSecond)
                       .arg(FloodSeconds));
        }
    }
}

void TSerialCapture::takeLine(const TDollarLine &line)
{
    if (m_state == State::Ended)
        return;
    m_silence.start();
    if (line.kind == TDollarLine::Kind::Header) {
        m_header = QByteArray(line.text.data(), line.text.size());
        return;
    }
    TChannelCapture *capture = nullptr;
    for (const auto &c : std::as_const(m_channels))
        if (c && !c->hasEnded() && c->channel() == line.channel)
            capture = c;
    if (capture && capture->take(line))
        return;
    if (capture)
        endChannel(capture);
    if (!TChannelCapture::startsCapture(line))
        return;
    capture =
        new TChannelCapture(line.channel, m_folder, m_mode, m_options.idleSeconds, m_header, this);
    connect(capture, &TChannelCapture::ended, this, [this, capture] { endChannel(capture); });
    m_channels << capture;
    Q_EMIT channelStarted(capture);
    capture->take(line);
}

void TSerialCapture::endChannel(TChannelCapture *capture)
{
    if (!m_channels.removeOne(capture))
        return;
    capture->end(TChannelCapture::EndReason::Stopped); // no-op when it has ended
    Q_EMIT channelEnded(capture);
    capture->deleteLater();
}

void TSerialCapture::finish(const QString &reason)
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_reopen.stop();
    m_silence.stop();
    m_noLines.stop();
    m_sync.stop();
    closePort();
    m_parser.finish();
    const auto running = m_channels;
    for (const auto &c : running)
        if (c) {
            c->end(TChannelCapture::EndReason::Stopped);
            endChannel(c);
        }
    if (!reason.isEmpty())
        m_message = reason;
    Q_EMIT stateChanged();
    Q_EMIT ended(reason);
}

void TSerialCapture::refuse(const QString &reason)
{
    m_message = reason;
    Q_EMIT warning(reason);
    finish(reason);
}

void TSerialCapture::stop()
{
    finish(QString());
}

void TSerialCapture::checkForChargerLines()
{
    if (m_parser.goodLines() > 0 || m_firstBytes.isEmpty() || m_warned)
        return;
    m_warned = true;
    m_message = tr("No charger lines on %1 at %2 baud; what came: \"%3\". Is the charger set to "
                   "another speed? Try 9600, 19200, 38400, 57600 or 115200.")
                    .arg(m_options.device)
                    .arg(m_options.baud)
                    .arg(printable(m_firstBytes));
    Q_EMIT warning(m_message);
}

QString TSerialCapture::printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes.left(40)) {
        const auto u = static_cast<unsigned char>(c);
        text += u >= 0x20 && u < 0x7f ? QChar(c) : QChar(0xB7);
    }
    return text;
}

namespace {

// The group that owns the device, and whether a Braille display service runs (it takes the
// USB serial adapters that some displays use).
QString groupOf(const QString &device)
{
    struct stat st;
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return QString();
    const struct group *g = ::getgrgid(st.st_gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
}

bool brailleServiceRuns()
{
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs)) {
        if (pid.isEmpty() || !pid.at(0).isDigit())
            continue;
        QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "brltty")
            return true;
    }
    return false;
}

bool isBrailleGrabbedAdapter(const QString &device)
{
    const QSerialPortInfo info(QFileInfo(device).canonicalFilePath());
    if (!info.hasVendorIdentifier())
        return false;
    // CH340 and CP210x adapters, which some Braille displays use as well.
    return (info.vendorIdentifier() == 0x1a86 && info.productIdentifier() == 0x7523) ||
           (info.vendorIdentifier() == 0x10c4 && info.productIdentifier() == 0xea60);
}

} // namespace

QString TSerialCapture::openFailure(const QString &device, int serialError, const QString &detail)
{
    const QString name = QDir::toNativeSeparators(device);
    QString text;
    switch (QSerialPort::SerialPortError(serialError)) {
    case QSerialPort::DeviceNotFoundError:
        text = tr("%1 does not exist. Is the charger plugged in and switched on?").arg(name);
        if (brailleServiceRuns())
            text += QLatin1Char(' ') +
                    tr("The Braille display service brltty is running: it takes CH340 and CP210x "
                       "adapters for itself. Without a Braille display, remove it (sudo apt "
                       "remove brltty) and plug the charger in again.");
        return text;
    case QSerialPort::PermissionError: {
        const QByteArray native = QFile::encodeName(device);
        if (::access(native.constData(), R_OK | W_OK) == 0)
            return tr("%1 is in use by another program. Close the charger's other program "
                      "(or another capture of this port) and try again.")
                .arg(name);
        const QString group = groupOf(device);
        text = tr("You may not open %1: it belongs to the group \"%2\". Add yourself to it "
                  "(sudo adduser $USER %2), then log out and in again.")
                   .arg(name, group.isEmpty() ? QStringLiteral("dialout") : group);
        if (isBrailleGrabbedAdapter(device) && brailleServiceRuns())
            text += QLatin1Char(' ') + tr("The Braille display service brltty may hold this "
                                          "adapter as well.");
        return text;
    }
    case QSerialPort::OpenError:
        return tr("%1 is already being captured.").arg(name);
    default:
        return tr("%1 cannot be opened: %2").arg(name, detail);
    }
}
