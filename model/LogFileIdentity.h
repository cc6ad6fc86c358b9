#pragma once

#include <QString>
#include <QtGlobal>

class QFileDevice;

// What a file was when QorLog last read or wrote it: which file it is (device and inode, so that
// a file renamed over it counts as another file) and its size and modification time (so that a
// rewrite in place shows too).
struct TLogFileIdentity
{
    bool Exists = false;
    quint64 Device = 0;
    quint64 Inode = 0;
    qint64 Size = 0;
    qint64 ModifiedNs = 0; // nanoseconds since the epoch

    // The file at `path` now; Exists is false when there is none (or it cannot be looked at).
    static TLogFileIdentity ofPath(const QString &path);
    // The file open in `file` (a save's temporary file before it is renamed into place).
    static TLogFileIdentity ofOpenFile(const QFileDevice &file);
};

bool operator==(const TLogFileIdentity &a, const TLogFileIdentity &b);
inline bool operator!=(const TLogFileIdentity &a, const TLogFileIdentity &b)
{
    return !(a == b);
}
