#include "CommandLine.h"

namespace {

bool hasSwitch(const QStringList &arguments, QLatin1String name)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.size() != name.size() + 1)
            continue;
        if (argument.front() != QLatin1Char('-') && argument.front() != QLatin1Char('/'))
            continue;
        if (QStringView(argument).mid(1).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

StartMode parseStartMode(const QStringList &arguments)
{
    if (hasSwitch(arguments, QLatin1String("AUTOMATION")) ||
        hasSwitch(arguments, QLatin1String("EMBEDDING")))
        return StartMode::Automation;
    if (hasSwitch(arguments, QLatin1String("REGSERVER")))
        return StartMode::Register;
    if (hasSwitch(arguments, QLatin1String("UNREGSERVER")))
        return StartMode::Unregister;
    return StartMode::Standalone;
}

CommandLineOptions parseCommandLine(const QStringList &arguments)
{
    CommandLineOptions options;
    options.startMode = parseStartMode(arguments);

    const QString logFileOption = QStringLiteral("--log-file");
    const QString logFilePrefix = logFileOption + QLatin1Char('=');
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("--version")) {
            options.version = true;
        } else if (argument == logFileOption) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                options.error = QStringLiteral("--log-file needs a file path");
                continue;
            }
            options.logFile = arguments.at(++i);
        } else if (argument.startsWith(logFilePrefix)) {
            options.logFile = argument.mid(logFilePrefix.size());
            if (options.logFile.isEmpty())
                options.error = QStringLiteral("--log-file needs a file path");
        }
    }
    return options;
}

QString commandLineHelpText(const QString &programName)
{
    return QStringLiteral(
               "Usage: %1 [--log-file PATH] [-RegServer | -UnregServer | -Automation]\n"
               "A logbook for the charging of rechargeable batteries.\n"
               "\n"
               "  --log-file PATH  keep the charge log in PATH instead of beside the program\n"
               "  -RegServer       register the automation service for this user and end\n"
               "  -UnregServer     remove the automation service registration and end\n"
               "  -Automation      start for an automation client (also -Embedding)\n"
               "  --help           show this text and end\n"
               "  --version        show the version and end\n"
               "Switches may also begin with \"/\" and are not case-sensitive.\n")
        .arg(programName);
}
