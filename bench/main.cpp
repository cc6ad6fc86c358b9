// qorlog_bench: generates charge logs and prints how long the program takes with them.

#include "BenchRun.h"
#include "BenchSupport.h"
#include "ConstantsAndTypes.h"
#include "LogGenerator.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

namespace {

// The offscreen platform warns about things that mean nothing without a screen; those lines
// would only clutter the figures.
QtMessageHandler previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    // The windows are measured without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(quietHandler);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const BenchSupport::Options options = BenchSupport::parseOptions(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "qorlog_bench: %s\n%s", qPrintable(options.error),
                     qPrintable(BenchSupport::usageText()));
        return 2;
    }

    using Mode = BenchSupport::Options::Mode;
    try {
        switch (options.mode) {
        case Mode::Help:
            std::fputs(qPrintable(BenchSupport::usageText()), stdout);
            return 0;
        case Mode::Generate: {
            QCoreApplication app(argc, argv);
            LogGenerator::writeGeneratedLog(options.file, options.count);
            return 0;
        }
        case Mode::MeasureFile: {
            QApplication app(argc, argv);
            QTextStream out(stdout);
            QList<BenchSupport::Figure> figures;
            const int charges =
                BenchRun::measureLogFile(options.file, [&](const BenchSupport::Figure &figure) {
                    out << BenchSupport::formatFigure(figure) << Qt::endl;
                    figures.append(figure);
                });
            for (const QString &line : BenchSupport::targetLines(figures, charges))
                out << line << Qt::endl;
            return 0;
        }
        case Mode::MeasureMemory: {
            QApplication app(argc, argv);
            QTextStream out(stdout);
            BenchRun::measureMemory(options.file, [&](const BenchSupport::Figure &figure) {
                out << BenchSupport::formatFigure(figure) << Qt::endl;
            });
            return 0;
        }
        case Mode::Measure: {
            QCoreApplication app(argc, argv);
            return BenchRun::measureSizes(options.sizes, QCoreApplication::applicationFilePath());
        }
        }
    } catch (const QorLogError &error) {
        std::fprintf(stderr, "qorlog_bench: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
