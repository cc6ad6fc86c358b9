#pragma once

#include "ChargerLog.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <string>

// The "$" lines several chargers write to their log files and send over their serial ports,
// read incrementally: bytes go in as they come, good lines come out one by one. The file reader
// and the live capture share it.
namespace ChargerLog {

// One good line, valid during the call that hands it over.
struct TDollarLine
{
    enum class Kind
    {
        Header,    // "@Model:...; Fireware:...": what the device says about itself
        Sample,    // "$1;1;2000;..."
        Resistance // "$1;128;TIME;TOTAL;CELL1;...": internal resistance
    };
    Kind kind = Kind::Sample;
    QByteArrayView text;   // from its "$" or "@" to its last byte before the line end
    qint64 lineNumber = 0; // 1-based: the line feeds before it, plus one
    int channel = 0;
    int state = 0;
    qint64 ms = 0;
    // Every field after "$", the checksum last (none for a header).
    const qint64 *fields = nullptr;
    int fieldCount = 0;
    int cellCount() const { return kind == Kind::Sample ? fieldCount - 12 : fieldCount - 5; }
};

class TDollarLineParser
{
public:
    static constexpr int MaxFields = 24;
    // A longer line is no charger's: it is dropped whole, up to its end.
    static constexpr qsizetype MaxLineLength = 4096;

    using LineHandler = std::function<void(const TDollarLine &)>;
    // The reason is given for the first MaximumBadLinesKept bad lines, empty for the others.
    using BadLineHandler = std::function<void(qint64 lineNumber, const QString &reason)>;

    explicit TDollarLineParser(LineHandler onLine, BadLineHandler onBadLine = {});

    // Takes the next bytes. A "$" always begins a line: what came before it on its line is a
    // bad line (bytes lost on the way). CR, LF and both end lines; NUL bytes around a line and
    // blank lines are passed over.
    void feed(QByteArrayView bytes);
    // The input ended: a last line without its line end is taken as it is.
    void finish();

    // Whether a sample's last field must be its checksum. Automatic: checked, until a device
    // has sent ChecksumTrialLines lines that fail on their checksum alone and none that passed:
    // such a device writes no checksum of this kind, and its lines are then taken unchecked.
    enum class Checksums
    {
        Automatic,
        Checked,
        Unchecked
    };
    static constexpr int ChecksumTrialLines = 8;
    void setChecksums(Checksums checksums) { m_checksums = checksums; }
    // Lines that were whole but for their checksum, and lines whose checksum held.
    qint64 checksumFailures() const { return m_checksumFailures; }
    qint64 checksumsPassed() const { return m_checksumsPassed; }

    qint64 goodLines() const { return m_good; }
    qint64 badLines() const { return m_bad; }
    qint64 duplicates() const { return m_duplicates; }
    // Bytes since the last line end (a flood without line ends shows here).
    qint64 bytesSinceLineEnd() const { return m_sinceLineEnd; }

    // The checksum of a line: the XOR of every byte from its "$" through its last ";".
    static int checksum(QByteArrayView line);
    // The line with its last field replaced by its checksum (for writing test and demo logs).
    static QByteArray withChecksum(QByteArrayView line);

private:
    void endLine(const char *b, const char *e);
    void takeLine(const char *b, const char *e);
    template <typename Reason> void bad(const Reason &reason);

    LineHandler m_onLine;
    BadLineHandler m_onBadLine;
    QByteArray m_pending; // the unfinished line of the bytes fed so far
    bool m_overlong = false;
    std::string m_previous; // the last good "$" line, for the repeats serial adapters make
    qint64 m_lineNumber = 1;
    qint64 m_sinceLineEnd = 0;
    qint64 m_good = 0, m_bad = 0, m_duplicates = 0;
    Checksums m_checksums = Checksums::Automatic;
    qint64 m_checksumFailures = 0, m_checksumsPassed = 0;
    qint64 m_fields[MaxFields];
};

// One sample line's values in the log's units.
struct TDollarSample
{
    int channel = 0;
    Phase phase = Phase::Unknown;
    qint64 ms = 0;
    double current = 0;          // A
    double voltage = 0;          // V
    double capacity = 0;         // Ah
    double inner = 0, outer = 0; // °C
    int cellCount = 0;
    double cells[10] = {}; // V
};
TDollarSample dollarSample(const TDollarLine &line);
Phase phaseOfState(int state);

// The log of one channel built from its lines as they come: what a file read gives.
class TDollarLogBuilder
{
public:
    static constexpr int MaximumResistanceReadings = 10000;
    explicit TDollarLogBuilder(TChargerLog &log);
    // Room for this many samples (when they have been counted).
    void reserve(qsizetype samples);
    // Adds a line of the log; false with the reason when it does not continue it (another
    // channel, other cell columns, a time that goes back).
    bool add(const TDollarLine &line, QString *reason);
    // The temperature sensor and the cells in use, and the resistance readings: once, at the
    // end.
    void finish();
    int channel() const { return m_channel; }
    qint64 firstMs() const { return m_firstMs; }
    qint64 lastMs() const { return m_lastMs; }

private:
    struct RawResistance
    {
        qint64 ms;
        qint64 total;
        QVector<qint64> cells;
    };
    TChargerLog &m_log;
    int m_channel = 0;
    int m_cellColumns = 0;
    qint64 m_firstMs = 0, m_lastMs = 0;
    QVector<QVector<double>> m_cellValues;
    QVector<double> m_inner, m_outer;
    QVector<RawResistance> m_resistances;
    qsizetype m_reserve = 0;
};

} // namespace ChargerLog
