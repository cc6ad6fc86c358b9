#pragma once

// The world around the program: the folder the log lies in (a small tmpfs of the soak's own
// when it runs as root, so that the disk can fill up), and what happens to it from outside:
// the disk full, the folder read-only, the file unreadable, other programs writing the file,
// a sync tool's conflict copies.

#include <QList>
#include <QString>
#include <QStringList>

namespace Soak {

struct NewCharge
{
    QString tag;
    double dateTime = 0;
    QString battery;
    double ampHours = 0;
};

class World
{
public:
    // `base` is a folder on disk that stays when the run fails.
    World(const QString &base, bool mayMount);
    ~World();

    bool setUp(QString &error);
    bool mounted() const { return m_mounted; }
    QString base() const { return m_base; }
    QString logDir() const { return m_base + QStringLiteral("/logs"); }
    QString logPath() const { return logDir() + QStringLiteral("/charges.QorLog"); }
    QString lockPath() const { return logPath() + QStringLiteral(".lock"); }
    QString dataHome() const { return m_base + QStringLiteral("/data"); }
    QString fallbackParent() const { return dataHome() + QStringLiteral("/qorlog"); }

    // The disk full: a filler takes every free byte. False when it cannot be done here.
    bool fillDisk(QString &error);
    void freeDisk();
    bool diskFull() const { return m_full; }
    // The folder read-only (a read-only remount) and writable again.
    bool setReadOnly(bool readOnly, QString &error);
    bool readOnly() const { return m_readOnly; }
    // The file unreadable: moved aside with a named pipe in its place, and back.
    bool makeUnreadable(QString &error);
    bool makeReadable(QString &error);
    bool unreadable() const { return m_unreadable; }

    // Another program: reads the file, adds `added`, drops the charges tagged `removed`, and
    // writes it back by replacing it (a new file renamed over it) or in place.
    bool changeFile(const QList<NewCharge> &added, const QStringList &removed, bool inPlace,
                    QString &error);
    // A sync tool's conflict copy: the log as it is plus `added`. Returns its path.
    QString makeConflictCopy(const QList<NewCharge> &added, QString &error);

    // Checks of the folder: the backups and damaged copies within their limits and with the
    // log's mode. Returns the faults found.
    QStringList checkCopies() const;
    // Save files left by a process killed while saving, at least that old.
    int temporaryFiles(int olderThanSeconds = 0) const;

    // Copies what the log's folder holds to base/kept (the tmpfs goes with the soak).
    void keepFiles() const;

private:
    QString m_base;
    bool m_mayMount;
    bool m_mounted = false;
    bool m_full = false;
    bool m_readOnly = false;
    bool m_unreadable = false;
    int m_conflicts = 0;
};

} // namespace Soak
