#pragma once

#include "CommandLine.h"

// --charger-log FILE [--csv]: prints the figures (or, with --csv, the samples) of a charger's
// own log on standard output. Needs a QCoreApplication but no display, reads the file only.
// Returns the exit code: 0, or 1 with a message on standard error when the file cannot be read.
int runChargerLogCommand(const CommandLineOptions &options);
