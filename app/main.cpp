// QorLog's entry: single instance, splash, main window, automation server.

#include "AutomationServer.h"
#include "CommandLine.h"
#include "ConstantsAndTypes.h"
#include "FilterFormUnit.h"
#include "LogFilePath.h"
#include "QorLogMainFormUnit.h"
#include "Registration.h"
#include "SingleInstance.h"
#include "SplashFormUnit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// Help, version and the two registration switches need no display.
int runWithoutWindow(int argc, char **argv, const CommandLineOptions &options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qorlog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QORLOG_VERSION));
    QTextStream out(stdout);
    if (options.help) {
        out << commandLineHelpText(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        out << "\nLog file: "
            << QDir::toNativeSeparators(defaultLogFilePath(QCoreApplication::applicationFilePath()))
            << '\n';
        return 0;
    }
    if (options.version) {
        out << "QorLog " << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    // A running instance only comes to the front; nothing is registered then.
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    if (!guard.CheckSingleInstance()) {
        guard.sendActivation(1);
        return 0;
    }
    return QorLogRegistration::runRegistrationMode(options.startMode,
                                                   QCoreApplication::applicationFilePath());
}

} // namespace

int main(int argc, char **argv)
{
    const CommandLineOptions options = parseCommandLine(argumentsOf(argc, argv));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(options.error));
        return 2;
    }
    if (options.help || options.version || options.startMode == StartMode::Register ||
        options.startMode == StartMode::Unregister)
        return runWithoutWindow(argc, argv, options);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorlog"));
    QApplication::setApplicationVersion(QStringLiteral(QORLOG_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

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

    const QString logFilePath = options.logFile.isEmpty()
                                    ? defaultLogFilePath(programPath)
                                    : QFileInfo(options.logFile).absoluteFilePath();
    TQorLogMainForm mainForm(logFilePath);
    mainForm.FormCreate([&splash](int minimum, int maximum, int position) {
        if (splash)
            splash->SetSplashProgress(minimum, maximum, position);
    });
    TFilterForm filterForm(&mainForm);
    mainForm.setFilterForm(&filterForm);

    QObject::connect(&guard, &TSingleInstanceGuard::activationRequested, &mainForm,
                     &TQorLogMainForm::activateFromSecondInstance);
    QObject::connect(&mainForm, &TQorLogMainForm::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // Calls are served from the event loop, also while a modal dialog is open. Without a
    // session bus the program runs without automation.
    AutomationServer automation(&mainForm);
    if (!automation.start())
        std::fprintf(stderr, "QorLog: automation is not available: %s\n",
                     qPrintable(automation.lastError()));
    // At logout the bus goes away: close as if the user had closed the window.
    QObject::connect(&automation, &AutomationServer::busLost, &mainForm, &QWidget::close,
                     Qt::QueuedConnection);

    splash->hide();
    splash.reset();
    mainForm.show();
    mainForm.showStartupNotice();
    const int result = app.exec();
    automation.stop();
    return result;
}
