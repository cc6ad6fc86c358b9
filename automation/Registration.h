#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The program's registration with the session bus: a service activation file, through which a
// client's call starts the program when it is not running, and the interface description
// beside it. Both live in the user's data folder ($XDG_DATA_HOME, by default ~/.local/share).
namespace QorLogRegistration {

// The message of a registration that cannot be written under -RegServer.
inline constexpr char WriteFailedMessage[] =
    QT_TRANSLATE_NOOP("QorLogRegistration", "Error creating system registry entry");

QString serviceFilePath();   // .../dbus-1/services/QorLog.QorLogCOMServer.service
QString interfaceFilePath(); // .../dbus-1/interfaces/QorLog.IQorLogCOMServer.xml

// The introspection XML of the automation interface, as built into the program.
QByteArray interfaceXml();

// The program path as the bus must find it in the activation file's Exec line to run it as one
// argument: in double quotes, escaped first for the command line, then for the key file.
// Throws QorLogError for a path that cannot stand in a one-line Exec value (a line break) or
// is not absolute.
QString quoteExecArgument(const QString &programPath);
// The content of the activation file that starts programPath with -Automation.
QByteArray serviceFileContent(const QString &programPath);

// Writes both files, each atomically and only when its content differs, and asks the bus to
// reload its configuration after a change. Returns whether anything was written. Throws
// QorLogError(WriteFailedMessage) when a file cannot be written; detail, when given, then
// receives the file and the reason.
bool writeRegistration(const QString &programPath, QString *detail = nullptr);
// Removes both files, passing over any that cannot be removed, and asks the bus to reload
// when one was removed. Returns whether anything was removed.
bool removeRegistration();

// For an ordinary or automation start: writes the registration and ignores any failure.
// Returns whether the registration is now in place.
bool refreshRegistration(const QString &programPath);

// For the program entry. With Register or Unregister, does the work and returns the exit code
// (0, or 1 after printing WriteFailedMessage and the reason on stderr); with any other mode
// does nothing and returns -1: the program goes on starting.
int runRegistrationMode(StartMode mode, const QString &programPath);

} // namespace QorLogRegistration
