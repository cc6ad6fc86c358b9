#pragma once

#include "LogFileIdentity.h"

#include <QString>

// A lock file beside the log ("NAME.QorLog.lock") that several QorLogs, also on several computers
// sharing a network folder, take in turn around a save. It is made with an exclusive create,
// which network file systems honour too, and holds "PID HOST" of its holder. A lock whose holder
// is gone never blocks for long: one of a process of this computer that no longer runs is stale
// at once, any other once it is older than the stale time (a save takes well under a second).
// Unlike a general lock file it is not synced to the disk on every save: a lock lost in a
// machine crash is simply missing, or empty and stale by its age.
class TSaveLock
{
public:
    explicit TSaveLock(QString path, int staleMs = 20000);
    ~TSaveLock();
    TSaveLock(const TSaveLock &) = delete;
    TSaveLock &operator=(const TSaveLock &) = delete;

    enum class Result
    {
        Locked,
        Busy,  // another holder has it
        Failed // the lock file cannot be made (errorString())
    };
    // One attempt: takes the lock, or removes a stale one and takes it.
    Result tryLock();
    void unlock();
    bool isLocked() const { return m_locked; }

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // The holder named in the lock file, as "PID HOST"; empty when it cannot be read.
    QString holder() const;

private:
    bool removeIfStale();

    QString m_path;
    int m_staleMs;
    bool m_locked = false;
    TLogFileIdentity m_mine; // the lock file this object made
    QString m_error;
};
