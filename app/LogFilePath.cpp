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

bool isSystemProgramFolder(const QString &folder)
{
    // The folders that packages and `make install` fill; root can write them, but a log there
    // would be shared by every user and outlive the package that brought the program.
    const QString path = QDir::cleanPath(folder) + QLatin1Char('/');
    for (const char *system : {"/usr/", "/bin/", "/sbin/", "/opt/", "/snap/"})
        if (path.startsWith(QLatin1String(system)))
            return true;
    return false;
}

QString defaultLogFilePath(const QString &programPath)
{
    const QFileInfo folder(QFileInfo(programPath).absolutePath());
    if (folder.isWritable() && !isSystemProgramFolder(folder.canonicalFilePath()))
        return logFilePathBeside(programPath);
    return logFilePathInDataFolder(programPath);
}
