#pragma once

#include "CommandLine.h"

#include <QApplication>

// The program with its windows: runs the start-up sequence (termination signals, the single
// instance, the splash, the registration with the session bus, the main window and its log,
// the automation server) and then the event loop.
class TQorLogApplication : public QApplication
{
    Q_OBJECT
public:
    TQorLogApplication(int &argc, char **argv);
    ~TQorLogApplication() override;

    // Returns the exit status: 0 also when another instance was brought to the front.
    int run(const CommandLineOptions &options);
};
