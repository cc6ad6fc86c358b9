#include "ChargerLog.h"
#include "ChargerLogDollar.h"
#include "ChargerLogParts.h"

#include <QCoreApplication>

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cmath>

namespace ChargerLog {

using namespace Parts;

namespace {

// Reports the file unreadable when bad lines are all there is or outnumber the good ones
// by more than one to four; a few bad lines amid good ones are only listed.
void judgeBadLines(TChargerLog &log)
{
    const qsizetype good = log.seconds.size();
    if (log.badLineCount == 0 || (good > 0 && log.badLineCount * 4 <= good))
        return;
    const TBadLine &first = log.badLines.first();
    log.error = QCoreApplication::translate("ChargerLog", "%1, line %2: %3")
                    .arg(displayName(log.fileName))
                    .arg(first.line)
                    .arg(first.reason);
}

// Phases from the current where the file has none: a flow above RestCurrent either way, and
// when the current never turns negative, a falling voltage tells a discharge (analysers
// write the current they draw as a positive number).
void phasesFromCurrent(TChargerLog &log)
{
    const qsizetype n = log.seconds.size();
    log.phases.fill(Phase::Unknown, n);
    if (log.current.isEmpty())
        return;
    bool negative = false;
    QVector<qsizetype> active;
    for (qsizetype i = 0; i < n; ++i) {
        const double a = log.current[i];
        if (a < -RestCurrent)
            negative = true;
        if (std::isfinite(a) && std::fabs(a) > RestCurrent)
            active.append(i);
    }
    if (!negative && active.size() >= 4 && !log.voltage.isEmpty()) {
        const qsizetype tenth = std::max<qsizetype>(1, active.size() / 10);
        double head = 0, tail = 0;
        int headCount = 0, tailCount = 0;
        for (qsizetype k = 0; k < tenth; ++k) {
            const double h = log.voltage[active[k]];
            const double t = log.voltage[active[active.size() - 1 - k]];
            if (std::isfinite(h))
                head += h, ++headCount;
            if (std::isfinite(t))
                tail += t, ++tailCount;
        }
        if (headCount && tailCount && tail / tailCount < head / headCount)
            for (double &a : log.current)
                a = -a;
    }
    for (qsizetype i = 0; i < n; ++i) {
        const double a = log.current[i];
        if (!std::isfinite(a))
            continue;
        log.phases[i] = a > RestCurrent    ? Phase::Charge
                        : a < -RestCurrent ? Phase::Discharge
                                           : Phase::Rest;
    }
}

Format detectFormat(const QByteArray &bytes, Line &first)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    while (lines.next(first)) {
        if (first.isBlank())
            continue;
        const char *p = first.begin;
        while (p < first.end && isSpace(*p))
            ++p;
        if (*p == '$' || *p == '@')
            return Format::Dollar;
        if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.')
            return Format::Untitled;
        return Format::Titled;
    }
    return Format::None;
}

// What every format's read ends with: the verdict on its bad lines and the series worked out.
void finishRead(TChargerLog &log)
{
    if (log.error.isEmpty())
        judgeBadLines(log);
    if (log.error.isEmpty() && log.seconds.isEmpty())
        log.error = QCoreApplication::translate("ChargerLog", "%1 holds no samples")
                        .arg(displayName(log.fileName));
    if (log.format != Format::Dollar) {
        phasesFromCurrent(log);
        if (log.capacity.isEmpty())
            integrateCapacity(log);
    }
    if (!log.error.isEmpty() && log.format != Format::Untitled)
        log.format = Format::None;
}

// A large "$" file is read a piece at a time rather than whole: its samples are all it costs.
constexpr qint64 StreamedSize = 4 * 1024 * 1024;

bool streamDollar(TChargerLog &log, QFile &file)
{
    QString what;
    QByteArray head = file.read(64 * 1024);
    Line first;
    if (looksBinary(head, &what) || detectFormat(head, first) != Format::Dollar)
        return false;
    log.format = Format::Dollar;
    const auto source = [&](TDollarLineParser &parser) {
        if (!file.seek(0))
            return false;
        QByteArray chunk;
        qint64 total = 0;
        for (;;) {
            chunk = file.read(1024 * 1024);
            if (chunk.isEmpty())
                break;
            if (total == 0 && chunk.startsWith("\xEF\xBB\xBF"))
                chunk.remove(0, 3);
            total += chunk.size();
            if (total > MaximumFileSize) {
                log.error = QCoreApplication::translate("ChargerLog", "%1 is larger than %2 MiB")
                                .arg(displayName(log.fileName))
                                .arg(MaximumFileSize >> 20);
                return false;
            }
            parser.feed(chunk);
        }
        if (file.error() != QFileDevice::NoError) {
            log.error = QCoreApplication::translate("ChargerLog", "%1 cannot be read: %2")
                            .arg(displayName(log.fileName), file.errorString());
            return false;
        }
        return true;
    };
    readDollar(log, source);
    finishRead(log);
    return true;
}

} // namespace

QString roleName(ColumnRole role)
{
    switch (role) {
    case ColumnRole::Ignore:
        return QCoreApplication::translate("ChargerLog", "(not used)");
    case ColumnRole::Seconds:
        return QCoreApplication::translate("ChargerLog", "Time [s]");
    case ColumnRole::Milliseconds:
        return QCoreApplication::translate("ChargerLog", "Time [ms]");
    case ColumnRole::UnixTime:
        return QCoreApplication::translate("ChargerLog", "Date-time (Unix seconds)");
    case ColumnRole::Volts:
        return QCoreApplication::translate("ChargerLog", "Voltage [V]");
    case ColumnRole::Millivolts:
        return QCoreApplication::translate("ChargerLog", "Voltage [mV]");
    case ColumnRole::Amps:
        return QCoreApplication::translate("ChargerLog", "Current [A]");
    case ColumnRole::Milliamps:
        return QCoreApplication::translate("ChargerLog", "Current [mA]");
    case ColumnRole::AmpHours:
        return QCoreApplication::translate("ChargerLog", "Capacity [Ah]");
    case ColumnRole::MilliampHours:
        return QCoreApplication::translate("ChargerLog", "Capacity [mAh]");
    case ColumnRole::Celsius:
        return QCoreApplication::translate("ChargerLog", "Temperature [°C]");
    case ColumnRole::CellVolts:
        return QCoreApplication::translate("ChargerLog", "Cell voltage [V]");
    case ColumnRole::Extra:
        return QCoreApplication::translate("ChargerLog", "Other");
    }
    return QString();
}

QString formatName(Format format)
{
    switch (format) {
    case Format::None:
        return QString();
    case Format::Dollar:
        return QCoreApplication::translate("ChargerLog", "$ lines");
    case Format::Titled:
        return QCoreApplication::translate("ChargerLog", "titled columns");
    case Format::Untitled:
        return QCoreApplication::translate("ChargerLog", "untitled columns");
    }
    return QString();
}

TChargerLog read(const QByteArray &input, const QString &fileName, const QVector<ColumnRole> &roles)
{
    TChargerLog log;
    log.fileName = fileName;
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = QByteArray::fromRawData(input.constData() + 3, input.size() - 3);
    QString what;
    Line first;
    if (looksBinary(bytes, &what)) {
        log.error =
            QCoreApplication::translate("ChargerLog", "%1 %2").arg(displayName(fileName), what);
        return log;
    }
    log.format = detectFormat(bytes, first);
    switch (log.format) {
    case Format::None:
        log.error =
            QCoreApplication::translate("ChargerLog", "%1 is empty").arg(displayName(fileName));
        return log;
    case Format::Dollar:
        readDollar(log, [&](TDollarLineParser &parser) {
            parser.feed(bytes);
            return true;
        });
        break;
    case Format::Titled:
        readTitled(log, bytes);
        break;
    case Format::Untitled:
        readUntitled(log, bytes, roles);
        break;
    }
    finishRead(log);
    return log;
}

TChargerLog readFile(const QString &path, const QVector<ColumnRole> &roles)
{
    TChargerLog log;
    log.fileName = path;
    const QFileInfo info(path);
    if (!info.exists()) {
        log.error =
            QCoreApplication::translate("ChargerLog", "%1 does not exist").arg(displayName(path));
        return log;
    }
    if (!info.isFile()) {
        log.error = QCoreApplication::translate("ChargerLog", "%1 is not a regular file")
                        .arg(displayName(path));
        return log;
    }
    if (info.size() > MaximumFileSize) {
        log.error = QCoreApplication::translate("ChargerLog", "%1 is larger than %2 MiB")
                        .arg(displayName(path))
                        .arg(MaximumFileSize >> 20);
        return log;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        log.error = QCoreApplication::translate("ChargerLog", "%1 cannot be read: %2")
                        .arg(displayName(path), file.errorString());
        return log;
    }
    if (info.size() > StreamedSize && streamDollar(log, file))
        return log;
    if (!file.seek(0)) {
        log.error = QCoreApplication::translate("ChargerLog", "%1 cannot be read: %2")
                        .arg(displayName(path), file.errorString());
        return log;
    }
    // A buffer of the file's size (one of the largest allowed would be mapped and unmapped for
    // every file); the size is checked again while reading, as the file may grow meanwhile.
    QByteArray bytes = file.read(info.size() + 1);
    if (bytes.size() > info.size() && file.error() == QFileDevice::NoError)
        bytes += file.read(MaximumFileSize + 1 - bytes.size());
    if (bytes.size() > MaximumFileSize) {
        log.error = QCoreApplication::translate("ChargerLog", "%1 is larger than %2 MiB")
                        .arg(displayName(path))
                        .arg(MaximumFileSize >> 20);
        return log;
    }
    if (file.error() != QFileDevice::NoError) {
        log.error = QCoreApplication::translate("ChargerLog", "%1 cannot be read: %2")
                        .arg(displayName(path), file.errorString());
        return log;
    }
    return read(bytes, path, roles);
}

std::optional<TChargerLogFigures> TFiguresCache::figuresFor(const QString &path)
{
    const QFileInfo info(path);
    const QString key = info.absoluteFilePath();
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    {
        QMutexLocker locker(&m_mutex);
        const auto it = m_entries.constFind(key);
        if (it != m_entries.constEnd() && it->size == size && it->modified == modified)
            return it->figures;
    }
    // Read without the lock, so that other threads reading other files need not wait.
    const TChargerLog log = readFile(key);
    Entry entry;
    entry.size = size;
    entry.modified = modified;
    if (log.ok())
        entry.figures = figures(log);
    QMutexLocker locker(&m_mutex);
    m_entries.insert(key, entry);
    return entry.figures;
}

void TFiguresCache::clear()
{
    QMutexLocker locker(&m_mutex);
    m_entries.clear();
}

int TFiguresCache::size() const
{
    QMutexLocker locker(&m_mutex);
    return int(m_entries.size());
}

} // namespace ChargerLog
