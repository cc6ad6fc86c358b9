#pragma once

#include "ChargeLog.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

#include <sys/types.h>

class QFile;
class QFileDevice;
class QIODevice;

// The log file could not be read at all or not to its end because reading failed (an input or
// output error, a network folder that went away, no permission), as opposed to a file that was
// read whole and is not a well-formed log. What was read is no picture of the file: it must not
// be written over it.
class QorLogReadError : public QorLogError
{
public:
    using QorLogError::QorLogError;
};

// Reading and writing the XML log file.
namespace LogFile {

// Called once per charge read with (minimum, maximum, position); the position is the byte
// offset reached in the file, so the bar moves smoothly without counting the charges first.
using ProgressFn = std::function<void(int, int, int)>;

enum class LoadOutcome
{
    Loaded,
    Missing
};

// How a log is read. Automatic reads a big log in two halves at once where there are cores
// for it; the result is the same every way.
enum class ReadMode
{
    Automatic,
    InOnePass,
    InTwoHalves,
    // For tests: every byte through the XML parser in one pass, also where the charges are
    // written as a save writes them (which is read faster without it).
    ParserOnly
};

// Appends the file's records and unknown names to `log` and sets the colours it stores.
// A missing file is not an error (first start): returns Missing and changes nothing.
// Any other failure throws QorLogError (QorLogReadError when reading the file failed rather
// than the file being damaged); what was read before it stays in `log`.
LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const ProgressFn &progress = {},
                          ReadMode mode = ReadMode::Automatic);
// A log as it stands in a file held open: the one it was read from or written to, which the
// log's places (`LastWritten`) point into. Read from the same path again after another program
// replaced the file, each charge whose bytes stand there unchanged is taken from this log
// rather than read again; what comes out is what reading the whole file gives.
struct TKnownLog
{
    std::shared_ptr<const TChargeLog> Log;
    std::shared_ptr<QFile> File;
};
// `path` opened for reading, when it is the file `identity` describes; else null. The last
// holder to let go closes it on a thread of its own: closing the last hold of a file that was
// replaced gives its blocks back, which takes a while for a big one.
std::shared_ptr<QFile> HoldFile(const QString &path, const TLogFileIdentity &identity);
// `takenFrom`, if given, gets for each charge read the position in `known` of the charge taken
// for it, or -1 for one read; it stays empty when nothing could be taken.
LoadOutcome LoadChargeLog(const QString &path, TChargeLog &log, const TKnownLog &known,
                          std::vector<qint32> *takenFrom = nullptr);
// The same from bytes already in memory (tests, fuzzing); `sourceName` names it in errors.
// Returns the way it was read: InTwoHalves only when the halves were joined.
ReadMode ReadChargeLog(const QByteArray &xml, TChargeLog &log, const QString &sourceName,
                       const ProgressFn &progress = {}, ReadMode mode = ReadMode::Automatic);

// Sorts the charge list, then writes the whole log atomically: the old file stays whole
// until the new one is complete. Throws QorLogError with the system's message on failure.
void SaveChargeLog(const QString &path, TChargeLog &log);
// The same, asking `beforeCommit` with the complete new file (still under its temporary name)
// whether to put it in place; when it answers false nothing is replaced and false is returned.
using BeforeCommitFn = std::function<bool(const QFileDevice &)>;
bool SaveChargeLog(const QString &path, TChargeLog &log, const BeforeCommitFn &beforeCommit);
// The same, with the writing of the file (which only reads the log, and asks `beforeCommit`)
// handed to `runner`, which runs it once, on any thread, and returns when it is done, passing
// on what it throws. The log is sorted before, and learns what was written after, on the
// caller's thread.
using WriteRunner = std::function<void(const std::function<void()> &write)>;
bool SaveChargeLog(const QString &path, TChargeLog &log, const BeforeCommitFn &beforeCommit,
                   const WriteRunner &runner);
QByteArray WriteChargeLog(TChargeLog &log);

// Where the charges of a log just read lie in its file, so that the first save copies the
// unchanged ones from it as every later save does: each charge whose bytes in the file are
// exactly what a save writes for it gets its place, and `written` says which file holds them.
// `log` is the log as read from the file `identity` describes (sorted, names as read); the
// file must still be that file, else false is returned and nothing is found. Reads the file
// once, a piece at a time; safe on a thread of its own while nothing changes `log`.
struct TFoundPlaces
{
    TWrittenLog Written;
    std::vector<TWrittenPlace> Places; // one per charge, in list order
    int Found = 0;
};
bool FindWrittenPlaces(const QString &path, const TChargeLog &log, const TLogFileIdentity &identity,
                       TFoundPlaces &found);

// The function a log file is read through, pread(2) unless a test puts another in its place
// to play a failing disk. Null restores pread.
using PreadFn = ssize_t (*)(int fd, void *buffer, size_t size, off_t offset);
void SetPreadForTesting(PreadFn read);

} // namespace LogFile
