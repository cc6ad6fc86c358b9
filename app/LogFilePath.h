#pragma once

#include <QString>

// Where the log lives: beside the program, named as the program with the extension
// ".QorLog" (build/qorlog gives build/qorlog.QorLog). When the program's folder cannot be
// written, or is one of the system's program folders (/usr/bin, /opt/...: an installed
// program, even when root runs it), the log lives in the user's data folder instead.
QString defaultLogFilePath(const QString &programPath);
bool isSystemProgramFolder(const QString &folder);
QString logFilePathBeside(const QString &programPath);
QString logFilePathInDataFolder(const QString &programPath);
