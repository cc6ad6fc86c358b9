#include "ChargerLogCommand.h"

#include "ChargerLog.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int runChargerLogCommand(const CommandLineOptions &options)
{
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const ChargerLog::TChargerLog log = ChargerLog::readFile(options.chargerLog);
    if (!log.ok()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), qPrintable(log.error));
        return 1;
    }
    // Lines that were skipped are worth knowing, but do not keep the rest from being used.
    for (const auto &bad : log.badLines)
        std::fprintf(stderr, "%s: %s\n", qPrintable(program),
                     qPrintable(QCoreApplication::translate("ChargerLog", "%1, line %2: %3")
                                    .arg(options.chargerLog)
                                    .arg(bad.line)
                                    .arg(bad.reason)));
    if (log.badLineCount > log.badLines.size())
        std::fprintf(stderr, "%s: %s\n", qPrintable(program),
                     qPrintable(QCoreApplication::translate(
                                    "ChargerLog", "%1: %n more line(s) skipped", nullptr,
                                    int(log.badLineCount - log.badLines.size()))
                                    .arg(options.chargerLog)));
    const QByteArray out = options.csv ? ChargerLog::samplesCsv(log)
                                       : ChargerLog::figuresText(ChargerLog::figures(log)).toUtf8();
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
