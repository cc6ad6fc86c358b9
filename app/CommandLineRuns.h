#pragma once

#include "CommandLine.h"

// The runs of the program that need no window: help and version, the report, CSV export and
// import, the registration switches. Each makes its own application object, works on files
// only (an import is handed to a running QorLog of the same log) and returns the exit status.
namespace CommandLineRuns {

// True when `options` ask for one of these runs.
bool needsNoWindow(const CommandLineOptions &options);
int run(int argc, char **argv, const CommandLineOptions &options);
// A command line that cannot be used: says why on stderr (in the user's language), brings a
// running QorLog to the front and returns 2.
int refuse(int argc, char **argv);
// A start with windows where no display can be reached: says so on stderr with a hint at the
// runs above and returns 1, before Qt would abort.
int noDisplay(int argc, char **argv);

// The log a start works on: the one named by --log-file, else the usual one.
QString logFilePathInUse(const CommandLineOptions &options);
// Installs the translations of the user's language; needs an application object.
void installUserLanguage();
// Writes "qorlog: MESSAGE" on stderr.
void printError(const QString &message);

} // namespace CommandLineRuns
