#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A charger's own log: the samples a charger, analyser or logger wrote while it worked, read
// from the three kinds of text file such devices write (the "$" lines of several chargers,
// columns with titles, bare numeric columns), and the figures of one charge worked out from
// them.
namespace ChargerLog {

enum class Phase : quint8
{
    Unknown,
    Charge,
    Discharge,
    Rest
};

enum class Format
{
    None, // not read
    Dollar,
    Titled,
    Untitled
};

// What a column of an untitled file holds, chosen by the caller (or guessed by the reader).
enum class ColumnRole
{
    Ignore,
    Seconds,
    Milliseconds,
    UnixTime, // seconds since 1970-01-01 UTC: the log gets a start date-time
    Volts,
    Millivolts,
    Amps,
    Milliamps,
    AmpHours,
    MilliampHours,
    Celsius,
    CellVolts,
    Extra
};
constexpr int ColumnRoleCount = int(ColumnRole::Extra) + 1;
QString roleName(ColumnRole role);

// Larger files are refused.
constexpr qint64 MaximumFileSize = 64 * 1024 * 1024;
// Bad lines beyond these are only counted.
constexpr int MaximumBadLinesKept = 100;

struct TExtraSeries
{
    QString title; // as the file names it
    QVector<double> values;
};

struct TResistanceReading
{
    double seconds = 0;
    double total = 0;      // mΩ
    QVector<double> cells; // mΩ, the cells in use
};

struct TBadLine
{
    qint64 line = 0; // 1-based
    QString reason;
};

// The samples of one log. Sample series are empty when the log does not have them; a sample
// that lacks a value of a series the log has holds NaN there (only in titled files with empty
// fields), which nothing below ever passes on.
struct TChargerLog
{
    QString fileName;
    Format format = Format::None;
    QString error; // why the file could not be read; empty when it was
    bool ok() const { return error.isEmpty() && format != Format::None; }

    QVector<QPair<QString, QString>> device; // what the file says about the device
    QDateTime start;                         // when the file gives a wall-clock time

    QVector<double> seconds; // from the first sample
    QVector<Phase> phases;
    QVector<double> voltage;         // V
    QVector<double> current;         // A, negative while discharging
    QVector<double> capacity;        // Ah
    bool capacityIntegrated = false; // the file has no counter: worked out from the current
    QVector<double> temperature;     // °C
    QVector<QVector<double>> cells;  // V, one series per cell in use
    QVector<TExtraSeries> extras;
    QVector<TResistanceReading> resistances;
    QVector<TBadLine> badLines; // the first MaximumBadLinesKept of them
    qint64 badLineCount = 0;    // all of them

    // Untitled files: the role of every column, guessed or as the caller chose them.
    QVector<ColumnRole> columnRoles;
    bool rolesNeeded = false; // some columns are still unknown (Ignore) and were not chosen

    int sampleCount() const { return int(seconds.size()); }
};

// Reads a log from its bytes; `fileName` names it in messages. For untitled files `roles`
// gives the role of each column (the reader's guesses fill in what is missing or Ignore when
// `roles` is empty).
TChargerLog read(const QByteArray &bytes, const QString &fileName,
                 const QVector<ColumnRole> &roles = {});
// The same from a file: only regular files up to MaximumFileSize.
TChargerLog readFile(const QString &path, const QVector<ColumnRole> &roles = {});

struct TPhaseFigures
{
    std::optional<double> counterAmpHours;    // the counter's change within the phase
    std::optional<double> integratedAmpHours; // the current integrated over the phase
    std::optional<double> energy;             // Wh
    double seconds = 0;
    // The counter's figure where there is one, else the integrated one (absolute).
    double ampHours() const { return counterAmpHours.value_or(integratedAmpHours.value_or(0)); }
};

struct TChargerLogFigures
{
    Format format = Format::None;
    int samples = 0;
    std::optional<QDateTime> start;
    double duration = 0; // s
    std::optional<TPhaseFigures> charge, discharge;
    std::optional<double> highestVoltage, finalVoltage, highestTemperature;
    int cells = 0;
    std::optional<double> cellSpread; // mV, at the end of the charge (or of the log)
    std::optional<TResistanceReading> lastResistance;
    // The phase that moved the most amp-hours; Unknown when neither moved any.
    Phase mainPhase = Phase::Unknown;
};

TChargerLogFigures figures(const TChargerLog &log);

QString formatName(Format format);

// "Name: value" lines ("." decimals, the unit after a space); absent figures are left out.
QString figuresText(const TChargerLogFigures &figures);
// RFC 4180 CSV: Seconds,Phase,Voltage,Current,Capacity,Temperature,Cell1..CellN.
QByteArray samplesCsv(const TChargerLog &log);

// What a new charge record started from a log would hold.
struct TDraftRecord
{
    bool valid = false;     // the log moved some amp-hours
    QDateTime dateTime;     // the log's start, else the file's time less the log's duration
    double nominalAmps = 0; // median |current| of the main phase, to 0.1 A
    double ampHours = 0;    // of the main phase, negative for a discharge
    bool discharge = false;
};
TDraftRecord draftRecord(const TChargerLog &log, const QDateTime &fileModified);

// Figures of logs by file identity (absolute path, size, modification time), for callers that
// read many logs, from any thread.
class TFiguresCache
{
public:
    // The figures of the file, read when not known yet (or changed); absent when unreadable.
    std::optional<TChargerLogFigures> figuresFor(const QString &path);
    void clear();
    int size() const;

private:
    struct Entry
    {
        qint64 size = 0;
        QDateTime modified;
        std::optional<TChargerLogFigures> figures;
    };
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};

} // namespace ChargerLog
