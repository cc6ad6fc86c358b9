#pragma once

#include "CommandLine.h"

class TQorLogMainForm;
class TSingleInstanceGuard;

// `qorlog --capture DEVICE [--baud N] [--capture-idle SECONDS] [--capture-add]`: handed to a
// running QorLog, which answers once the port is open (exit 0) or why it is not (exit 1), or
// started in this QorLog's window once it shows.
namespace CaptureCommand {

// Hands the capture to a running QorLog. False when none runs (this start is then the first);
// else `status` is the exit status, the answer printed.
bool handOver(int argc, char **argv, const CommandLineOptions &options, int *status);
// The running QorLog's side: starts the capture the fields ask for.
void serve(TSingleInstanceGuard &guard, TQorLogMainForm &mainForm);
// Starts the command line's capture in this QorLog's window; a failure is shown and printed.
void startInWindow(TQorLogMainForm &mainForm, const CommandLineOptions &options);

} // namespace CaptureCommand
