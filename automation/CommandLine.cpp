#include "CommandLine.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

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

// "--name", "-name" or "/name" in any letter case.
bool isLongSwitch(const QString &argument, QLatin1String name)
{
    QStringView rest(argument);
    if (rest.startsWith(QLatin1String("--")))
        rest = rest.mid(2);
    else if (rest.startsWith(QLatin1Char('-')) || rest.startsWith(QLatin1Char('/')))
        rest = rest.mid(1);
    else
        return false;
    return rest.compare(name, Qt::CaseInsensitive) == 0;
}

// The same followed by "=VALUE": true with the value.
bool isLongSwitchWithValue(const QString &argument, QLatin1String name, QString *value)
{
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    if (equals < 0 || !isLongSwitch(argument.left(equals), name))
        return false;
    *value = argument.mid(equals + 1);
    return true;
}

// Qt's own options, which QApplication takes off the command line itself (with one dash or
// two); `takesValue` tells whether the next argument is the option's value.
bool isQtOption(QStringView argument, bool *takesValue)
{
    static const char *const valued[] = {
        "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
        "display",     "geometry",           "title"};
    static const char *const plain[] = {"reverse", "nograb", "dograb", "sync"};
    argument = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    const QStringView name = equals > 0 ? argument.left(equals) : argument;
    for (const char *known : valued)
        if (name == QLatin1String(known)) {
            *takesValue = equals < 0;
            return true;
        }
    for (const char *known : plain)
        if (argument == QLatin1String(known))
            return true;
    return false;
}

// An argument that looks like an option ("-x", "--x") and is none of ours, nor a start switch
// ("-RegServer" and its kin) nor one of Qt's. `i` steps over the value of a Qt option.
bool isUnknownOption(const QString &argument, const QStringList &arguments, qsizetype &i)
{
    if (argument.size() < 2 || argument.front() != QLatin1Char('-'))
        return false;
    if (parseStartMode({QString(), argument}) != StartMode::Standalone)
        return false;
    bool takesValue = false;
    if (isQtOption(argument, &takesValue)) {
        if (takesValue && i + 1 < arguments.size())
            ++i;
        return false;
    }
    return true;
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
    QString baud, captureIdle;

    // The options that take a value, as "--name VALUE" or "--name=VALUE".
    const struct
    {
        QLatin1String name;
        QString *value;
        const char *missing;
    } valued[] = {
        {QLatin1String("--log-file"), &options.logFile,
         QT_TRANSLATE_NOOP("CommandLine", "--log-file needs a file path")},
        {QLatin1String("--export-csv"), &options.exportCsv,
         QT_TRANSLATE_NOOP("CommandLine",
                           "--export-csv needs a file path, or - for standard output")},
        {QLatin1String("--import-csv"), &options.importCsv,
         QT_TRANSLATE_NOOP("CommandLine", "--import-csv needs a file path")},
        {QLatin1String("--capture"), &options.capture,
         QT_TRANSLATE_NOOP("CommandLine", "--capture needs the path of a serial port")},
        {QLatin1String("--baud"), &baud,
         QT_TRANSLATE_NOOP("CommandLine", "--baud needs a speed, such as 9600")},
        {QLatin1String("--capture-idle"), &captureIdle,
         QT_TRANSLATE_NOOP("CommandLine", "--capture-idle needs a number of seconds")},
    };
    // The options without a value.
    const struct
    {
        QLatin1String name;
        bool *flag;
    } flags[] = {
        {QLatin1String("--help"), &options.help},
        {QLatin1String("--version"), &options.version},
        {QLatin1String("--report"), &options.report},
        {QLatin1String("--due"), &options.due},
        {QLatin1String("--capture-add"), &options.captureAdd},
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (const auto *flag = std::find_if(std::begin(flags), std::end(flags),
                                            [&](const auto &f) { return argument == f.name; });
            flag != std::end(flags)) {
            *flag->flag = true;
            continue;
        }
        if (argument == QLatin1String("--csv") || isLongSwitch(argument, QLatin1String("csv"))) {
            options.csv = true;
            continue;
        }
        {
            const QLatin1String name("charger-log");
            QString value;
            const bool given = isLongSwitch(argument, name);
            if (given || isLongSwitchWithValue(argument, name, &value)) {
                if (given && i + 1 < arguments.size())
                    value = arguments.at(++i);
                if (value.isEmpty())
                    options.error = QCoreApplication::translate(
                        "CommandLine", "--charger-log needs the path of a charger's log file");
                else
                    options.chargerLog = value;
                continue;
            }
        }
        bool known = false;
        for (const auto &option : valued) {
            QString value;
            if (argument == option.name) {
                if (i + 1 < arguments.size())
                    value = arguments.at(++i);
            } else if (argument.startsWith(option.name + QLatin1Char('='))) {
                value = argument.mid(option.name.size() + 1);
            } else {
                continue;
            }
            if (value.isEmpty())
                options.error = QCoreApplication::translate("CommandLine", option.missing);
            else
                *option.value = value;
            known = true;
            break;
        }
        if (!known && options.error.isEmpty() && isUnknownOption(argument, arguments, i))
            options.error = QCoreApplication::translate("CommandLine", "unrecognised option '%1'")
                                .arg(argument);
    }
    if (options.error.isEmpty() && !baud.isEmpty()) {
        bool ok = false;
        options.baud = baud.toInt(&ok);
        if (!ok || options.baud < 50 || options.baud > 4000000)
            options.error = QCoreApplication::translate(
                                "CommandLine", "--baud needs a speed, such as 9600, not \"%1\"")
                                .arg(baud);
    }
    if (options.error.isEmpty() && !captureIdle.isEmpty()) {
        bool ok = false;
        options.captureIdle = captureIdle.toInt(&ok);
        if (!ok || options.captureIdle < 2 || options.captureIdle > 3600)
            options.error = QCoreApplication::translate(
                                "CommandLine", "--capture-idle takes 2 to 3600 seconds, not \"%1\"")
                                .arg(captureIdle);
    }
    if (options.error.isEmpty() && options.capture.isEmpty() &&
        (options.baud || options.captureIdle || options.captureAdd))
        options.error = QCoreApplication::translate(
            "CommandLine", "--baud, --capture-idle and --capture-add go with --capture");
    if (options.csv && !options.report && options.chargerLog.isEmpty() && options.error.isEmpty())
        options.error =
            QCoreApplication::translate("CommandLine", "--csv goes with --report or --charger-log");
    if (options.error.isEmpty() && !options.exportCsv.isEmpty() && !options.importCsv.isEmpty())
        options.error = QCoreApplication::translate(
            "CommandLine", "--export-csv and --import-csv cannot be given together");
    return options;
}

QString commandLineHelpText(const QString &programName)
{
    // The usual layout of a command's help: usage, what it is for, one option a line with
    // its description lined up, then the notes.
    return QCoreApplication::translate(
               "CommandLine",
               "Usage: %1 [OPTION]...\n"
               "Keep a log of the charges of rechargeable batteries: a table and a chart per\n"
               "battery, with charges added by hand or by other programs over the session bus.\n"
               "\n"
               "Options:\n"
               "      --log-file PATH  keep the charge log in PATH instead of the one below\n"
               "      --report         print the health figures of every battery and exit\n"
               "      --due            print what each battery needs next, one line\n"
               "                       BATTERY: WHAT for each thing due, and exit\n"
               "      --csv            with --report: print it as CSV; with --charger-log:\n"
               "                       print the log's samples as CSV\n"
               "      --charger-log FILE\n"
               "                       print the figures of a charger's own log file (the\n"
               "                       samples a charger, analyser or logger wrote) and exit\n"
               "      --export-csv FILE\n"
               "                       write every charge of the log to FILE as CSV (- for\n"
               "                       standard output) and exit; a running QorLog is not\n"
               "                       disturbed\n"
               "      --import-csv FILE\n"
               "                       add the charges in the CSV file FILE to the log and\n"
               "                       exit; a running QorLog is handed the import\n"
               "      --capture DEVICE [--baud N] [--capture-idle SECONDS] [--capture-add]\n"
               "                       capture a charger on the serial port DEVICE (at N baud,\n"
               "                       9600 unless given; a charge ends after SECONDS without\n"
               "                       data, 30 unless given; with --capture-add each record\n"
               "                       is added without asking); a running QorLog is handed\n"
               "                       the capture; exit 0 once the port is open\n"
               "  -RegServer           register the automation service for this user and exit\n"
               "  -UnregServer         remove the automation service registration and exit\n"
               "  -Automation          start for an automation client (the session bus uses it)\n"
               "  -Embedding           the same as -Automation\n"
               "      --help           display this help and exit\n"
               "      --version        output version information and exit\n"
               "\n"
               "The switches -RegServer, -UnregServer, -Automation and -Embedding may also\n"
               "begin with \"/\" and are matched in any letter case. When QorLog is already\n"
               "running, starting it again only brings its window to the front. The log lies\n"
               "beside the program, or in the user's data folder when the program's folder\n"
               "cannot be written.\n")
        .arg(programName);
}
