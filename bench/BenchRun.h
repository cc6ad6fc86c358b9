#pragma once

#include "BenchSupport.h"

#include <functional>

// The measuring half of the bench program.
namespace BenchRun {

using FigureSink = std::function<void(const BenchSupport::Figure &)>;

// Measures the log at `path` in this process, handing each figure to `sink` as soon as it is
// known; the memory (measured in a child process) comes last. Needs a QApplication (the windows run
// offscreen). Throws QorLogError when the log cannot be read or written. Returns the number of
// charges the log holds.
int measureLogFile(const QString &path, const FigureSink &sink);

// The peak memory of a fresh process that opens the log at `path` in the main window and
// changes it as a user would, and how much of it the log takes beyond an empty window.
void measureMemory(const QString &path, const FigureSink &sink);

// For each size: writes a generated log into a temporary folder, prints "records N", then runs
// `program --measure-file FILE` as a fresh child process (so its peak memory is its own), whose
// figures pass straight through to standard output. After the last size, the growth of every
// figure from one size to the one ten times bigger. Returns the process exit code.
int measureSizes(const QList<int> &sizes, const QString &program);

} // namespace BenchRun
