#pragma once

#include <QString>

// Where the log lives: beside the program, named as the program with the extension
// ".QorLog" (build/qorlog gives build/qorlog.QorLog). When the program's folder cannot be
// written, as for an installed program, the log lives in the user's data folder instead.
QString defaultLogFilePath(const QString &programPath);
QString logFilePathBeside(const QString &programPath);
QString logFilePathInDataFolder(const QString &programPath);
