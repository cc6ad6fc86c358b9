#include "QorLogApplication.h"

#include "AutomationServer.h"
#include "CaptureCommand.h"
#include "CommandLineRuns.h"
#include "ConstantsAndTypes.h"
#include "FilterFormUnit.h"
#include "ImportCsvFormUnit.h"
#include "QorLogMainFormUnit.h"
#include "Registration.h"
#include "SingleInstance.h"
#include "SplashFormUnit.h"
#include "WindowGeometry.h"

#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

// Serves AddCharge from the event loop, also while a modal dialog is open, until the close is
// decided: a late caller then gets an error, never a false success. A close that is called
// off serves again; at logout the bus goes away and the window closes unattended.
void connectAutomation(AutomationServer &automation, TQorLogMainForm &mainForm)
{
    if (!automation.start())
        CommandLineRuns::printError(
            QCoreApplication::translate("main", "automation is not available: %1")
                .arg(automation.lastError()));
    QObject::connect(&automation, &AutomationServer::busLost, &mainForm,
                     &TQorLogMainForm::closeUnattended, Qt::QueuedConnection);
    QObject::connect(&mainForm, &TQorLogMainForm::closeDecided, &automation,
                     &AutomationServer::stop);
    QObject::connect(&mainForm, &TQorLogMainForm::closeAbandoned, &automation,
                     [&automation] { automation.start(); });
}

} // namespace

TQorLogApplication::TQorLogApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("qorlog"));
    setApplicationVersion(QStringLiteral(QORLOG_VERSION));
    // Lets the desktop match the window to its menu entry (and icon) where the window class
    // does not reach, as under Wayland.
    setDesktopFileName(QStringLiteral(QORLOG_DESKTOP_ID));
    setQuitOnLastWindowClosed(false);
    CommandLineRuns::installUserLanguage();
}

TQorLogApplication::~TQorLogApplication() = default;

int TQorLogApplication::run(const CommandLineOptions &options)
{
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
    processEvents();

    QorLogRegistration::refreshRegistration(applicationFilePath());

    // The windows open where the user left them (sizes, places, splitters).
    WindowGeometry::setEnabled(true);
    TQorLogMainForm mainForm(CommandLineRuns::logFilePathInUse(options));
    mainForm.FormCreate([&splash](int minimum, int maximum, int position) {
        if (splash)
            splash->SetSplashProgress(minimum, maximum, position);
    });
    TFilterForm filterForm(&mainForm);
    mainForm.setFilterForm(&filterForm);

    guard.setImportHandler([&mainForm](const QString &csvPath, const QString &logPath) {
        TSingleInstanceGuard::Answer answer;
        answer.Message = TImportCsvForm::ImportFromCommandLine(mainForm.document(), &mainForm,
                                                               csvPath, logPath, answer.Status);
        return answer;
    });
    guard.setWaitCheck([&mainForm] { return mainForm.document()->isWriting(); });
    CaptureCommand::serve(guard, mainForm);
    connect(&guard, &TSingleInstanceGuard::activationRequested, &mainForm,
            &TQorLogMainForm::activateFromSecondInstance);
    connect(&mainForm, &TQorLogMainForm::closed, this, &QCoreApplication::quit,
            Qt::QueuedConnection);

    AutomationServer automation(&mainForm);
    connectAutomation(automation, mainForm);
    watchTerminationSignals(mainForm);

    splash->hide();
    splash.reset();
    mainForm.show();
    mainForm.showStartupNotice();
    CaptureCommand::startInWindow(mainForm, options);
    const int result = exec();
    automation.stop();
    return result;
}
