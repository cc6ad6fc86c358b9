#include "ChargerLogParts.h"

#include <QCoreApplication>

namespace ChargerLog::Parts {

void readTitled(TChargerLog &log, const QByteArray &bytes)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    Line first, title;
    do {
        lines.next(first);
    } while (first.isBlank());
    char separator = separatorOf(first.begin, first.end);
    QVector<Column> columns;
    if (separator == 0 || titleColumns(first, separator, columns) == 0) {
        // A line that only names the device (in a few words, or with a comma), then the titles.
        log.device.append({QCoreApplication::translate("ChargerLog", "Device"),
                           textOf(first.begin, first.end, 200).trimmed()});
        do {
            if (!lines.next(title)) {
                log.error =
                    separator == 0
                        ? QCoreApplication::translate("ChargerLog", "%1 has no column titles")
                              .arg(displayName(log.fileName))
                        : QCoreApplication::translate(
                              "ChargerLog",
                              "%1, line %2: none of the column titles is one a charger "
                              "log has")
                              .arg(displayName(log.fileName))
                              .arg(first.number);
                return;
            }
        } while (title.isBlank());
        separator = separatorOf(title.begin, title.end);
        if (separator == 0) {
            log.error =
                QCoreApplication::translate("ChargerLog", "%1, line %2: not a row of column titles")
                    .arg(displayName(log.fileName))
                    .arg(title.number);
            return;
        }
        if (titleColumns(title, separator, columns) == 0) {
            log.error =
                QCoreApplication::translate(
                    "ChargerLog", "%1, line %2: none of the column titles is one a charger log has")
                    .arg(displayName(log.fileName))
                    .arg(title.number);
            return;
        }
    }
    readRows(log, lines, separator, columns);
    takeColumns(log, columns);
}

} // namespace ChargerLog::Parts
