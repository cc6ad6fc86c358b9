#include "CaptureCommand.h"

#include "CaptureCommands.h"
#include "CaptureFormUnit.h"
#include "CommandLineRuns.h"
#include "ConstantsAndTypes.h"
#include "ErrorBox.h"
#include "LogFileIdentity.h"
#include "QorLogMainFormUnit.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace CaptureCommand {

namespace {

// The request's fields: device, baud, silence seconds, "add" or "", the log file's path.
QStringList fieldsOf(const CommandLineOptions &options)
{
    return {options.capture, QString::number(options.baud), QString::number(options.captureIdle),
            options.captureAdd ? QStringLiteral("add") : QString(),
            QFileInfo(CommandLineRuns::logFilePathInUse(options)).absoluteFilePath()};
}

// The choices remembered for the device, with what the command line gives instead.
TCaptureOptions optionsOf(const QString &device, int baud, int idle, bool add)
{
    TCaptureOptions o = TCaptureForm::remembered(device);
    if (baud > 0)
        o.baud = baud;
    if (idle > 0)
        o.idleSeconds = idle;
    o.addWithoutAsking = add;
    return o;
}

} // namespace

bool handOver(int argc, char **argv, const CommandLineOptions &options, int *status)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qorlog"));
    CommandLineRuns::installUserLanguage();
    TSingleInstanceGuard guard(QString::fromLatin1(QorLog::InstanceIdentifier));
    if (guard.CheckSingleInstance())
        return false; // the lock goes with the guard: this start becomes the program
    TSingleInstanceGuard::Answer answer;
    if (!guard.sendCapture(fieldsOf(options), answer)) {
        CommandLineRuns::printError(QCoreApplication::translate(
            "main", "QorLog is running but did not answer; nothing is captured"));
        *status = 1;
        return true;
    }
    std::fprintf(answer.Status == 0 ? stdout : stderr, "%s\n", qPrintable(answer.Message));
    *status = answer.Status;
    return true;
}

void serve(TSingleInstanceGuard &guard, TQorLogMainForm &mainForm)
{
    guard.setCaptureHandler([&mainForm](const QStringList &fields) {
        TSingleInstanceGuard::Answer answer;
        if (fields.size() != 5 || fields.at(0).isEmpty()) {
            answer.Message = QCoreApplication::translate("main", "The capture request is damaged");
            return answer;
        }
        // The same log is the same file, whatever path leads to it.
        if (!FilePaths::sameFile(fields.at(4), mainForm.document()->path())) {
            answer.Message = QCoreApplication::translate(
                                 "main", "The running QorLog keeps another log (%1); nothing is "
                                         "captured")
                                 .arg(mainForm.document()->path());
            return answer;
        }
        const TCaptureOptions options = optionsOf(fields.at(0), fields.at(1).toInt(),
                                                  fields.at(2).toInt(), !fields.at(3).isEmpty());
        QString error;
        if (mainForm.captureCommands()->startCapture(options, &error)) {
            answer.Status = 0;
            answer.Message = QCoreApplication::translate("main", "Capturing from %1 at %2 baud")
                                 .arg(options.device)
                                 .arg(options.baud);
        } else {
            answer.Message = error;
        }
        return answer;
    });
}

void startInWindow(TQorLogMainForm &mainForm, const CommandLineOptions &options)
{
    if (options.capture.isEmpty())
        return;
    const TCaptureOptions capture =
        optionsOf(options.capture, options.baud, options.captureIdle, options.captureAdd);
    QString error;
    if (!mainForm.captureCommands()->startCapture(capture, &error)) {
        CommandLineRuns::printError(error);
        ErrorBox::show(error, &mainForm);
    }
}

} // namespace CaptureCommand
