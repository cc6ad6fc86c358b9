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

namespace FilePaths {

// The real file `path` names: symbolic links followed (a dangling one to the file it would
// make), its folders resolved; absolute and clean. A path that cannot be resolved further
// stays as far as it got.
QString resolved(const QString &path);
// Whether two paths name the same file: the same device and inode when both exist, else the
// same resolved path.
bool sameFile(const QString &a, const QString &b);

} // namespace FilePaths
