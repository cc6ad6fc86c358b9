#pragma once

#include <QString>

// A lock file beside the log ("NAME.QorLog.lock") that several QorLogs, also on several computers
// sharing a network folder, take in turn around a save. It is made with an exclusive create,
// which network file systems honour too, and holds one line naming its holder:
// "PID HOST BOOT-ID START", the process, the computer's host name, the boot it runs in
// (/proc/sys/kernel/random/boot_id) and the process's start (in clock ticks since that boot).
//
// A lock is stale only when its holder is gone. One of this computer (the same host name and
// boot) is stale at once when its process no longer runs, or when another process now has that
// number; a live holder keeps it however long its save takes. One of another computer (or of
// this one before a restart, or of a computer that shares its host name) is stale once it has
// not been refreshed for the stale time: its modification time is measured against a file made
// beside it for the moment, by the file system's own clock rather than this computer's, and a
// lock seen unchanged for the stale time is stale as well, so that one dated in the future
// is taken neither at once nor never. While held, the lock is refreshed every few seconds.
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
    bool isLocked() const { return m_fd >= 0; }

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // The holder named in the lock file, as "PID HOST"; empty when it cannot be read.
    QString holder() const;

    // The line a lock of this process holds.
    static QByteArray holderLine();
    // How often held locks are refreshed (5 s; tests make it shorter).
    static void setRefreshInterval(int ms);

private:
    bool removeIfStale();

    QString m_path;
    int m_staleMs;
    int m_fd = -1; // the lock file this object made, held open to refresh it
    QString m_error;
};
