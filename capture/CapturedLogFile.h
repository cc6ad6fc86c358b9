#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QString>

// The charger log file a capture writes: every line as it came, CRLF after each, written to
// the file at once (no buffer of ours in between) and synced to the disk every few seconds,
// so that a crash, a kill or a power cut loses at most the last seconds and the file always
// reads as a charger log. Created new (never over another file or through a link).
class TCapturedLogFile
{
public:
    static constexpr int SyncSeconds = 3;

    TCapturedLogFile() = default;
    ~TCapturedLogFile();
    TCapturedLogFile(const TCapturedLogFile &) = delete;
    TCapturedLogFile &operator=(const TCapturedLogFile &) = delete;

    // Creates `folder`/`name` (or `name` with "-2", "-3"... before ".txt" where one is
    // there) with the permission bits `mode`. False with the reason in error().
    bool create(const QString &folder, const QString &name, int mode);
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    QString error() const { return m_error; }

    bool appendLine(QByteArrayView line);
    // Syncs what was written when the last sync is SyncSeconds ago (also when no line follows).
    void syncIfDue();
    // Syncs and closes; `remove` takes the file away instead (nothing worth keeping).
    void close(bool remove = false);

private:
    int m_fd = -1;
    QString m_path;
    QString m_error;
    QElapsedTimer m_sinceSync;
    bool m_unsynced = false;
};
