#include "Registration.h"

#include "AutomationNames.h"
#include "ConstantsAndTypes.h"
#include "QorLogInterfaceXml.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

namespace QorLogRegistration {

namespace {

QString busDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dbus-1");
}

// Asks the bus to read its service files again; it otherwise notices a changed file only by
// its modification time, which has one-second resolution.
void reloadBusConfig()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.call(QDBusMessage::createMethodCall(
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig")),
             QDBus::Block, 5000);
}

[[noreturn]] void failWrite(const QString &reason, QString *detail)
{
    if (detail)
        *detail = reason;
    throw QorLogError(QCoreApplication::translate("QorLogRegistration", WriteFailedMessage));
}

// Returns true when the file was (re)written, false when it already held this content.
bool writeIfChanged(const QString &path, const QByteArray &content, QString *detail)
{
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.size() == content.size() &&
        current.readAll() == content)
        return false;
    current.close();

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        failWrite(QCoreApplication::translate("QorLogRegistration", "%1: cannot create the folder")
                      .arg(path),
                  detail);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        failWrite(QStringLiteral("%1: %2").arg(path, file.errorString()), detail);
    return true;
}

} // namespace

QString serviceFilePath()
{
    return busDataFolder() + QStringLiteral("/services/") +
           QString::fromLatin1(QorLogAutomation::ServiceName) + QStringLiteral(".service");
}

QString interfaceFilePath()
{
    return busDataFolder() + QStringLiteral("/interfaces/") +
           QString::fromLatin1(QorLogAutomation::InterfaceName) + QStringLiteral(".xml");
}

QByteArray interfaceXml()
{
    return QByteArray(QorLogInterfaceXmlText);
}

QString quoteExecArgument(const QString &programPath)
{
    if (programPath.contains(QLatin1Char('\n')) || programPath.contains(QLatin1Char('\r')) ||
        programPath.contains(QChar(0)))
        throw QorLogError(QCoreApplication::translate(
            "QorLogRegistration", "The program path cannot be registered: it holds a line break"));
    if (!QDir::isAbsolutePath(programPath))
        throw QorLogError(QCoreApplication::translate(
            "QorLogRegistration", "The program path cannot be registered: it is not absolute"));
    // The bus reads the value in two steps: first as a key file value, in which a backslash
    // starts an escape (so every backslash is doubled), then as a shell-like command line, in
    // which a backslash, " $ and ` are escaped inside double quotes.
    const QLatin1String keyFileBackslash("\\\\");
    QString quoted;
    quoted.reserve(programPath.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : programPath) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$') ||
            c == QLatin1Char('`'))
            quoted += keyFileBackslash;
        if (c == QLatin1Char('\\'))
            quoted += keyFileBackslash;
        else
            quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

QByteArray serviceFileContent(const QString &programPath)
{
    return QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2 -Automation\n")
        .arg(QString::fromLatin1(QorLogAutomation::ServiceName), quoteExecArgument(programPath))
        .toUtf8();
}

bool writeRegistration(const QString &programPath, QString *detail)
{
    QByteArray service;
    try {
        service = serviceFileContent(programPath);
    } catch (const QorLogError &error) {
        failWrite(error.message(), detail);
    }
    // The interface first: the activation file makes the service visible to clients.
    bool changed = writeIfChanged(interfaceFilePath(), interfaceXml(), detail);
    changed = writeIfChanged(serviceFilePath(), service, detail) || changed;
    if (changed)
        reloadBusConfig();
    return changed;
}

bool removeRegistration()
{
    bool removed = false;
    for (const QString &path : {serviceFilePath(), interfaceFilePath()}) {
        if (QFile::exists(path) && QFile::remove(path))
            removed = true;
    }
    if (removed)
        reloadBusConfig();
    return removed;
}

bool refreshRegistration(const QString &programPath)
{
    try {
        writeRegistration(programPath);
        return true;
    } catch (...) {
        return false;
    }
}

int runRegistrationMode(StartMode mode, const QString &programPath)
{
    switch (mode) {
    case StartMode::Register: {
        QString detail;
        try {
            writeRegistration(programPath, &detail);
            return 0;
        } catch (const std::exception &error) {
            std::fprintf(stderr, "%s\n", error.what());
            if (!detail.isEmpty())
                std::fprintf(stderr, "%s\n", detail.toLocal8Bit().constData());
            return 1;
        }
    }
    case StartMode::Unregister:
        removeRegistration();
        return 0;
    case StartMode::Standalone:
    case StartMode::Automation:
        break;
    }
    return -1;
}

} // namespace QorLogRegistration
