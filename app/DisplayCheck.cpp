#include "DisplayCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString platformOf(const QStringList &arguments, const QProcessEnvironment &environment)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if ((argument == QLatin1String("-platform") || argument == QLatin1String("--platform")) &&
            i + 1 < arguments.size())
            return arguments.at(i + 1);
        for (const QLatin1String prefix :
             {QLatin1String("-platform="), QLatin1String("--platform=")})
            if (argument.startsWith(prefix))
                return argument.mid(prefix.size());
    }
    return environment.value(QStringLiteral("QT_QPA_PLATFORM"));
}

bool hasX(const QProcessEnvironment &environment)
{
    return !environment.value(QStringLiteral("DISPLAY")).isEmpty();
}

// Qt's Wayland client also tries the compositor's usual socket when WAYLAND_DISPLAY is unset.
bool hasWayland(const QProcessEnvironment &environment)
{
    if (!environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return true;
    const QString runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR"));
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath("wayland-0"));
}

bool reachable(const QString &platform, const QProcessEnvironment &environment)
{
    // "xcb:option=value" and the like: the plug-in's name comes first.
    const QString name = platform.section(QLatin1Char(':'), 0, 0).trimmed();
    if (name.isEmpty())
        return hasX(environment) || hasWayland(environment);
    if (name == QLatin1String("xcb"))
        return hasX(environment);
    if (name.startsWith(QLatin1String("wayland")))
        return hasWayland(environment);
    return true;
}

} // namespace

namespace DisplayCheck {

bool canOpenWindow(const QStringList &arguments, const QProcessEnvironment &environment)
{
    const QString platform = platformOf(arguments, environment);
    const QStringList choices = platform.split(QLatin1Char(';'));
    for (const QString &choice : choices)
        if (reachable(choice, environment))
            return true;
    return false;
}

QString noDisplayMessage(const QString &program)
{
    return QCoreApplication::translate("main", "%1: cannot open a window: no display\n"
                                               "Without a display QorLog still reads and "
                                               "writes its log from the command line:\n"
                                               "  %1 --report, --due, --export-csv FILE, "
                                               "--import-csv FILE, --charger-log FILE\n"
                                               "('%1 --help' lists them all.)")
        .arg(program);
}

} // namespace DisplayCheck
