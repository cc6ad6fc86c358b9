// QorLog's entry: reads the command line and hands over, to a run without a window or to the
// program with its windows.

#include "CaptureCommand.h"
#include "CommandLine.h"
#include "CommandLineRuns.h"
#include "DisplayCheck.h"
#include "QorLogApplication.h"

#include <csignal>

int main(int argc, char **argv)
{
    // Over a file size limit the system ends the process with SIGXFSZ, in the middle of a
    // save and before the caller hears of it. Ignored, the write fails instead, and the save
    // reports it while the charges stay in memory.
    std::signal(SIGXFSZ, SIG_IGN);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLineOptions options = parseCommandLine(arguments);
    if (!options.error.isEmpty())
        return CommandLineRuns::refuse(argc, argv);
    if (CommandLineRuns::needsNoWindow(options))
        return CommandLineRuns::run(argc, argv, options);
    int status = 0;
    if (!options.capture.isEmpty() && CaptureCommand::handOver(argc, argv, options, &status))
        return status;
    if (!DisplayCheck::canOpenWindow(arguments, QProcessEnvironment::systemEnvironment()))
        return CommandLineRuns::noDisplay(argc, argv);
    TQorLogApplication app(argc, argv);
    return app.run(options);
}
