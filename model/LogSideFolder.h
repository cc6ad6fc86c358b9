#pragma once

#include <QString>

// The folders QorLog keeps beside a log (its backups, its captured charger logs): NAME-SUFFIX
// beside the real log file (a link to the log is followed), and, where that folder cannot be
// written, a folder of this log's own under the user's data folder (named after the real path,
// with a short hash, so that two logs of one name keep apart).
struct TLogSideFolder
{
    QString beside;
    QString fallback; // empty without a fallback parent

    TLogSideFolder(const QString &logPath, const QString &suffix, const QString &fallbackParent);
    // The first of the two that exists or can be made, made with the log's privacy: a log only
    // its owner may read gets a folder only its owner may list. Empty when neither can be.
    QString make() const;
    // The log's permission bits, -1 when it cannot be looked at.
    int logMode() const { return m_logMode; }

private:
    int m_logMode = -1;
};
