#pragma once

#include <QString>
#include <QStringList>

// How the program was asked to start.
enum class StartMode
{
    Standalone, // no switch: the ordinary start
    Automation, // -Automation or -Embedding: started by the bus for a client
    Register,   // -RegServer: write the registration and end
    Unregister  // -UnregServer: remove the registration and end
};

// Finds the start mode among the parameters (the program itself, the first element of
// QCoreApplication::arguments(), is not a parameter and is skipped). A switch is a parameter
// made of "-" or "/" and then AUTOMATION, EMBEDDING, REGSERVER or UNREGSERVER in any letter
// case, with nothing after the name. When several are given, Automation/Embedding wins over
// RegServer, which wins over UnregServer.
StartMode parseStartMode(const QStringList &arguments);

// Everything the program entry takes from its command line.
struct CommandLineOptions
{
    StartMode startMode = StartMode::Standalone;
    QString logFile;         // --log-file PATH or --log-file=PATH; empty when not given
    QString exportCsv;       // --export-csv FILE, "-" for standard output
    QString importCsv;       // --import-csv FILE
    bool help = false;       // --help
    bool version = false;    // --version
    bool report = false;     // --report: print the battery overview of the log and exit
    bool due = false;        // --due: print what each battery needs next and exit
    bool csv = false;        // --csv: the report (or the charger log's samples) as CSV
    QString chargerLog;      // --charger-log FILE: print the figures of a charger's own log
    QString capture;         // --capture DEVICE: capture a charger's serial port
    int baud = 0;            // --baud N (0: not given)
    int captureIdle = 0;     // --capture-idle SECONDS (0: not given)
    bool captureAdd = false; // --capture-add: add the records without asking
    QString error;           // why the command line cannot be used; empty when it can
};

// Parses the program's arguments (the program first, as QCoreApplication::arguments() gives
// them). Parameters that are neither a switch nor one of the options above are ignored.
CommandLineOptions parseCommandLine(const QStringList &arguments);

// The text printed for --help.
QString commandLineHelpText(const QString &programName);
