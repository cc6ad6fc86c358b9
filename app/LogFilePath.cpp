#include "LogFilePath.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString logFilePathBeside(const QString &programPath)
{
    const QFileInfo program(programPath);
    // Only an extension is replaced; a name without one gets ".QorLog" appended.
    return program.absoluteDir().filePath(program.completeBaseName() + QStringLiteral(".QorLog"));
}

QString logFilePathInDataFolder(const QString &programPath)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return QDir(folder).filePath(QFileInfo(programPath).completeBaseName() +
                                 QStringLiteral(".QorLog"));
}

QString defaultLogFilePath(const QString &programPath)
{
    const QFileInfo folder(QFileInfo(programPath).absolutePath());
    if (folder.isWritable())
        return logFilePathBeside(programPath);
    return logFilePathInDataFolder(programPath);
}
