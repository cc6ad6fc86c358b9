// QorLog's entry: single instance, splash, main window, automation server.

#include "AutomationServer.h"
#include "BatteryReport.h"
#include "ChargerLogCommand.h"
#include "CommandLine.h"
#include "ConstantsAndTypes.h"
#include "CsvFile.h"
#include "CsvImport.h"
#include "FilterFormUnit.h"
#include "ImportCsvFormUnit.h"
#include "LogFile.h"
#include "LogFilePath.h"
#include "NumberText.h"
#include "QorLogMainFormUnit.h"
#include "Registration.h"
#include "SingleInstance.h"
#include "SplashFormUnit.h"
#include "Translations.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The log this start works on: the one named by --log-file, else the usual one.
QString logFilePathInUse(const CommandLineOptions &options)
{
    if (!options.logFile.isEmpty())
        return QFileInfo(options.logFile).absoluteFilePath();
    return defaultLogFilePath(QCoreApplication::applicationFilePath());
}

// The user's language for every text from here on; the log file does not depend on it.
void installUserLanguage()
{
    installTranslations(QLocale(), translationFolders(QCoreApplication::applicationDirPath()));
}

void printError(const QString &message)
{
    std::fprintf(stderr, "qorlog: %s\n", qPrintable(message));
}

// --export-csv: every charge, read straight from the file; a running QorLog is not disturbed.
int exportCsv(const CommandLineOptions &options)
{
    const QString logPath = logFilePathInUse(options);
    try {
        TChargeLog log;
        if (LogFile::LoadChargeLog(logPath, log) == LogFile::LoadOutcome::Missing)
            throw QorLogError(
                QCoreApplication::translate("main", "The log file %1 does not exist").arg(logPath));
        if (options.exportCsv == QLatin1String("-")) {
            QFile out;
            if (!out.open(stdout, QIODevice::WriteOnly))
                throw QorLogError(out.errorString());
            CsvFile::WriteCsv(out, log, CsvFile::ExportFormat(), false);
            if (!out.flush())
                throw QorLogError(out.errorString());
        } else {
            CsvFile::SaveCsv(options.exportCsv, log, CsvFile::ExportFormat(), false);
        }
        return 0;
    } catch (const QorLogError &error) {
        printError(error.message());
        return 1;
    }
}

// --import-csv: handed to a running QorLog that keeps the same log, else done here.
int importCsv(const CommandLineOptions &options)
{
    const QString csvPath = QFileInfo(options.importCsv).absoluteFilePath();
    const QString logPath = logFilePathInUse(options);
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    if (!guard.CheckSingleInstance()) {
        TSingleInstanceGuard::Answer answer;
        if (!guard.sendImport(csvPath, logPath, answer)) {
            printError(QCoreApplication::translate(
                "main", "QorLog is running but did not answer; nothing was imported"));
            return 1;
        }
        if (answer.Status != TImportCsvForm::OtherLogStatus) {
            std::fprintf(answer.Status == 0 ? stdout : stderr, "%s\n", qPrintable(answer.Message));
            return answer.Status;
        }
        // The running QorLog keeps another log: this one is nobody's to disturb.
    }
    try {
        const CsvImport::Plan plan = CsvImport::ImportIntoLogFile(csvPath, logPath);
        const bool imported = plan.Errors.isEmpty();
        std::fprintf(imported ? stdout : stderr, "%s\n",
                     qPrintable(CsvImport::Summary(plan, imported)));
        return imported ? 0 : 1;
    } catch (const QorLogError &error) {
        printError(error.message());
        return 1;
    }
}

// Help, version, the CSV commands and the two registration switches need no display.
int runWithoutWindow(int argc, char **argv, const CommandLineOptions &options)
{
    QCoreApplication app(argc, argv);
    installUserLanguage();
    QCoreApplication::setApplicationName(QStringLiteral("qorlog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QORLOG_VERSION));
    QTextStream out(stdout);
    if (options.help) {
        out << commandLineHelpText(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        out << '\n'
            << QCoreApplication::translate("main", "Log file: %1")
                   .arg(QDir::toNativeSeparators(logFilePathInUse(options)))
            << '\n';
        return 0;
    }
    if (options.version) {
        out << QCoreApplication::translate("main", "QorLog %1")
                   .arg(QCoreApplication::applicationVersion())
            << '\n';
        return 0;
    }
    if (!options.chargerLog.isEmpty())
        return runChargerLogCommand(options);
    if (!options.exportCsv.isEmpty())
        return exportCsv(options);
    if (!options.importCsv.isEmpty())
        return importCsv(options);
    // A running instance only comes to the front; nothing is registered then.
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    if (!guard.CheckSingleInstance()) {
        guard.sendActivation(1);
        return 0;
    }
    return QorLogRegistration::runRegistrationMode(options.startMode,
                                                   QCoreApplication::applicationFilePath());
}

// --report: the battery overview of the log on stdout. Reads the file only, so a running
// instance is neither asked nor disturbed.
int runReport(int argc, char **argv, const CommandLineOptions &options)
{
    QCoreApplication app(argc, argv);
    installUserLanguage();
    const QString path = logFilePathInUse(options);
    TChargeLog log;
    try {
        if (LogFile::LoadChargeLog(path, log) == LogFile::LoadOutcome::Missing)
            throw QorLogError(QCoreApplication::translate("main", "There is no log file %1")
                                  .arg(QDir::toNativeSeparators(path)));
    } catch (const QorLogError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    const auto figures = BatteryHealth::overview(log, DateTimeText::now());
    QTextStream(stdout) << (options.csv ? BatteryReport::toCsv(figures)
                                        : BatteryReport::toText(figures));
    return 0;
}

// SIGTERM and SIGHUP (a session ending, `kill`) are turned into an event-loop wake-up through
// a socket pair, the one thing a signal handler may safely do.
int g_signalSockets[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
}

// Installed as soon as this is the first instance, so that a signal during start-up is not
// lost: it waits in the socket until the main window is there to act on it.
void catchTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSockets) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void watchTerminationSignals(TQorLogMainForm &mainForm)
{
    if (g_signalSockets[1] < 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, &mainForm);
    QObject::connect(notifier, &QSocketNotifier::activated, &mainForm, [&mainForm, notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalSockets[1], &byte, 1);
        // Nobody is there to answer questions: keep what the file does not hold yet, then end.
        mainForm.closeUnattended();
    });
}

} // namespace

int main(int argc, char **argv)
{
    // Over a file size limit the system ends the process with SIGXFSZ, in the middle of a
    // save and before the caller hears of it. Ignored, the write fails instead, and the save
    // reports it while the charges stay in memory.
    std::signal(SIGXFSZ, SIG_IGN);

    const CommandLineOptions options = parseCommandLine(argumentsOf(argc, argv));
    if (!options.error.isEmpty()) {
        // Translations need an application object; parsed again, the error is in the user's
        // language.
        QCoreApplication app(argc, argv);
        installUserLanguage();
        const QString error = parseCommandLine(argumentsOf(argc, argv)).error;
        {
            // A running copy comes to the front whatever the command line of this start.
            TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
            if (!guard.CheckSingleInstance())
                guard.sendActivation(1);
        }
        const QString program = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()
                                         : QStringLiteral("qorlog");
        std::fprintf(
            stderr, "%s: %s\n%s\n", qPrintable(program), qPrintable(error),
            qPrintable(QCoreApplication::translate("main", "Try '%1 --help' for more information.")
                           .arg(program)));
        return 2;
    }
    if (options.report && !options.help && !options.version)
        return runReport(argc, argv, options);
    if (options.help || options.version || !options.exportCsv.isEmpty() ||
        !options.chargerLog.isEmpty() || !options.importCsv.isEmpty() ||
        options.startMode == StartMode::Register || options.startMode == StartMode::Unregister)
        return runWithoutWindow(argc, argv, options);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorlog"));
    QApplication::setApplicationVersion(QStringLiteral(QORLOG_VERSION));
    // Lets the desktop match the window to its menu entry (and icon) where the window class
    // does not reach, as under Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral(QORLOG_DESKTOP_ID));
    QApplication::setQuitOnLastWindowClosed(false);
    installUserLanguage();

    // Caught before the single-instance socket exists, so that a signal sent as soon as this
    // instance can be seen waits for the main window instead of killing the process.
    catchTerminationSignals();

    // A second start brings the first to the front and ends before showing anything.
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    if (!guard.CheckSingleInstance()) {
        guard.sendActivation(1);
        return 0;
    }

    auto splash = std::make_unique<TSplashForm>();
    splash->show();
    QCoreApplication::processEvents();

    const QString programPath = QCoreApplication::applicationFilePath();
    QorLogRegistration::refreshRegistration(programPath);

    const QString logFilePath = logFilePathInUse(options);
    TQorLogMainForm mainForm(logFilePath);
    mainForm.FormCreate([&splash](int minimum, int maximum, int position) {
        if (splash)
            splash->SetSplashProgress(minimum, maximum, position);
    });
    TFilterForm filterForm(&mainForm);
    mainForm.setFilterForm(&filterForm);

    guard.setImportHandler([&mainForm](const QString &csvPath, const QString &logPath) {
        TSingleInstanceGuard::Answer answer;
        answer.Message =
            TImportCsvForm::ImportFromCommandLine(&mainForm, csvPath, logPath, answer.Status);
        return answer;
    });
    QObject::connect(&guard, &TSingleInstanceGuard::activationRequested, &mainForm,
                     &TQorLogMainForm::activateFromSecondInstance);
    QObject::connect(&mainForm, &TQorLogMainForm::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // Calls are served from the event loop, also while a modal dialog is open. Without a
    // session bus the program runs without automation.
    AutomationServer automation(&mainForm);
    if (!automation.start())
        std::fprintf(stderr, "%s\n",
                     qPrintable(QCoreApplication::translate(
                                    "main", "QorLog: automation is not available: %1")
                                    .arg(automation.lastError())));
    // At logout the bus goes away: nobody is there to answer questions any more.
    QObject::connect(&automation, &AutomationServer::busLost, &mainForm,
                     &TQorLogMainForm::closeUnattended, Qt::QueuedConnection);
    // Once the close is decided nobody is served: a late caller gets an error, never a false
    // success. A close that is called off serves again.
    QObject::connect(&mainForm, &TQorLogMainForm::closeDecided, &automation,
                     &AutomationServer::stop);
    QObject::connect(&mainForm, &TQorLogMainForm::closeAbandoned, &automation,
                     [&automation] { automation.start(); });

    watchTerminationSignals(mainForm);

    splash->hide();
    splash.reset();
    mainForm.show();
    mainForm.showStartupNotice();
    const int result = app.exec();
    automation.stop();
    return result;
}
