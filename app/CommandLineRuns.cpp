#include "CommandLineRuns.h"

#include "BackupStore.h"
#include "BatteryReport.h"
#include "ChargerLogCommand.h"
#include "ConflictCopies.h"
#include "ConstantsAndTypes.h"
#include "CsvFile.h"
#include "CsvImport.h"
#include "DisplayCheck.h"
#include "DueCommand.h"
#include "ImportCsvFormUnit.h"
#include "LogFile.h"
#include "LogFileIdentity.h"
#include "LogFilePath.h"
#include "NumberText.h"
#include "Registration.h"
#include "SingleInstance.h"
#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <cstdio>

namespace CommandLineRuns {

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

TChargeLog loadExisting(const QString &path, const char *missingText)
{
    TChargeLog log;
    if (LogFile::LoadChargeLog(path, log) == LogFile::LoadOutcome::Missing)
        throw QorLogError(
            QCoreApplication::translate("main", missingText).arg(QDir::toNativeSeparators(path)));
    return log;
}

// Where backups go when the log's own folder cannot be written, as the window has it.
QString fallbackBackupParent()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

// Whether `target` (where an export would be written) is the log at `logPath` or a copy that
// belongs to it: the same file (after links), a file in its backups folders (by name, also one
// not there yet), a conflict copy, damaged copy or lock beside it.
bool belongsToLog(const QString &target, const QString &logPath)
{
    const QString resolved = FilePaths::resolved(target);
    const TBackupStore backups(logPath, fallbackBackupParent());
    QStringList own{logPath};
    for (const TBackupInfo &backup : backups.backups())
        own << backup.Path;
    own << ConflictCopies::find(logPath);
    for (const QString &path : std::as_const(own))
        if (FilePaths::sameFile(resolved, path))
            return true;
    const QFileInfo info(resolved);
    for (const QString &folder : {backups.folder(), backups.fallback()})
        if (!folder.isEmpty() && (FilePaths::resolved(folder) == info.absolutePath() ||
                                  FilePaths::sameFile(folder, info.absolutePath())))
            return true;
    const QFileInfo log(logPath);
    if (info.absolutePath() != log.absolutePath())
        return false;
    TBackupInfo damaged;
    return info.fileName() == log.fileName() ||
           info.fileName() == log.fileName() + QStringLiteral(".lock") ||
           ConflictCopies::isConflictCopyOf(log.fileName(), info.fileName()) ||
           TBackupStore::parseDamagedName(log.fileName(), info.fileName(), damaged);
}

// --export-csv: every charge, read straight from the file; a running QorLog is not disturbed.
int exportCsv(const CommandLineOptions &options)
{
    const QString logPath = logFilePathInUse(options);
    if (options.exportCsv != QLatin1String("-") && belongsToLog(options.exportCsv, logPath))
        throw QorLogError(QCoreApplication::translate(
                              "main", "%1 is the log file, one of its backups or a copy of it: "
                                      "the CSV export is not written over it")
                              .arg(QDir::toNativeSeparators(options.exportCsv)));
    const TChargeLog log =
        loadExisting(logPath, QT_TRANSLATE_NOOP("main", "The log file %1 does not exist"));
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
}

// --import-csv: handed to a running QorLog that keeps the same log, else done here under the
// log's lock. The run never becomes the running QorLog itself: another import beside it would
// hand its import to a run that cannot take it.
int importCsv(const CommandLineOptions &options)
{
    const QString csvPath = QFileInfo(options.importCsv).absoluteFilePath();
    const QString logPath = logFilePathInUse(options);
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    if (guard.isHeld()) {
        TSingleInstanceGuard::Answer answer;
        switch (guard.sendImport(csvPath, logPath, answer)) {
        case TSingleInstanceGuard::Handover::NoAnswer:
            throw QorLogError(QCoreApplication::translate(
                "main", "QorLog is running but did not answer; nothing was imported"));
        case TSingleInstanceGuard::Handover::Answered:
            if (answer.Status != TImportCsvForm::OtherLogStatus) {
                std::fprintf(answer.Status == 0 ? stdout : stderr, "%s\n",
                             qPrintable(answer.Message));
                return answer.Status;
            }
            break; // the running QorLog keeps another log
        case TSingleInstanceGuard::Handover::NobodyListening:
            break; // a QorLog that is starting or ending: the lock keeps the two apart
        }
    }
    const CsvImport::Plan plan =
        CsvImport::ImportIntoLogFile(csvPath, logPath, fallbackBackupParent());
    const bool imported = plan.Errors.isEmpty();
    std::fprintf(imported ? stdout : stderr, "%s\n",
                 qPrintable(CsvImport::Summary(plan, imported)));
    return imported ? 0 : 1;
}

// --report: the battery overview of the log on stdout. Reads the file only, so a running
// instance is neither asked nor disturbed.
int report(const CommandLineOptions &options)
{
    TChargeLog log = loadExisting(logFilePathInUse(options),
                                  QT_TRANSLATE_NOOP("main", "There is no log file %1"));
    log.Cards.ShowRetired = true; // the report is of every battery
    const auto figures = BatteryHealth::overview(log, DateTimeText::now());
    QTextStream(stdout) << (options.csv ? BatteryReport::toCsv(figures)
                                        : BatteryReport::toText(figures));
    return 0;
}

int helpOrVersion(const CommandLineOptions &options)
{
    QTextStream out(stdout);
    if (options.help) {
        out << commandLineHelpText(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        out << '\n'
            << QCoreApplication::translate("main", "Log file: %1")
                   .arg(QDir::toNativeSeparators(logFilePathInUse(options)))
            << '\n';
    } else {
        out << QCoreApplication::translate("main", "QorLog %1")
                   .arg(QCoreApplication::applicationVersion())
            << '\n';
    }
    return 0;
}

} // namespace

QString logFilePathInUse(const CommandLineOptions &options)
{
    // The real file, links followed once: its lock, backups and conflict copies lie beside it.
    if (!options.logFile.isEmpty())
        return FilePaths::resolved(options.logFile);
    return FilePaths::resolved(defaultLogFilePath(QCoreApplication::applicationFilePath()));
}

void installUserLanguage()
{
    installTranslations(QLocale(), translationFolders(QCoreApplication::applicationDirPath()));
}

void printError(const QString &message)
{
    std::fprintf(stderr, "qorlog: %s\n", qPrintable(message));
}

bool needsNoWindow(const CommandLineOptions &options)
{
    return options.help || options.version || options.report || options.due ||
           !options.chargerLog.isEmpty() || !options.exportCsv.isEmpty() ||
           !options.importCsv.isEmpty() || options.startMode == StartMode::Register ||
           options.startMode == StartMode::Unregister;
}

int run(int argc, char **argv, const CommandLineOptions &options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qorlog"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QORLOG_VERSION));
    installUserLanguage();
    try {
        if (options.help || options.version)
            return helpOrVersion(options);
        if (options.report)
            return report(options);
        if (options.due)
            return runDueCommand(loadExisting(logFilePathInUse(options),
                                              QT_TRANSLATE_NOOP("main", "There is no log file %1")),
                                 DateTimeText::now());
        if (!options.chargerLog.isEmpty())
            return runChargerLogCommand(options);
        if (!options.exportCsv.isEmpty())
            return exportCsv(options);
        if (!options.importCsv.isEmpty())
            return importCsv(options);
    } catch (const QorLogError &error) {
        printError(error.message());
        return 1;
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

int refuse(int argc, char **argv)
{
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
    const QString program =
        argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QStringLiteral("qorlog");
    std::fprintf(
        stderr, "%s: %s\n%s\n", qPrintable(program), qPrintable(error),
        qPrintable(QCoreApplication::translate("main", "Try '%1 --help' for more information.")
                       .arg(program)));
    return 2;
}

int noDisplay(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    installUserLanguage();
    const QString program =
        argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QStringLiteral("qorlog");
    std::fprintf(stderr, "%s\n", qPrintable(DisplayCheck::noDisplayMessage(program)));
    return 1;
}

} // namespace CommandLineRuns
