#pragma once

// Helpers shared by the log file tests and the log reader's fuzz target (QtCore only).

#include "ChargeLog.h"

#include <QStringList>

namespace ModelTestHelpers {

// One line per charge, in list order, with names instead of positions and every double
// spelt out in full, so two logs compare equal exactly when they hold the same charges
// whatever their keys and name positions. Zero of either sign reads as 0.
inline QStringList describeCharges(const TChargeLog &log)
{
    const auto number = [](double d) {
        return d == 0.0 ? QStringLiteral("0") : QString::number(d, 'g', 17);
    };
    const auto quoted = [](const QString &s) {
        return QLatin1Char('"') + QString(s).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
               QLatin1Char('"');
    };
    QStringList lines;
    const TChargeList &list = log.ChargeStringList;
    for (int i = 0; i < list.count(); ++i) {
        const TChargeRecord &r = list.record(i);
        QString logFileName, comment;
        TChargeList::SplitChargeText(list.text(i), logFileName, comment);
        lines << QStringList{number(r.DateTime),
                             quoted(log.PowerSourcesStringList.name(r.PowerSourceIndex)),
                             quoted(log.ChargersStringList.name(r.ChargerIndex)),
                             quoted(log.BatteriesStringList.name(r.BatteryIndex)),
                             number(r.NominalChargeAmps),
                             number(r.AmpHours),
                             quoted(log.TerminationsStringList.name(r.TerminationIndex)),
                             quoted(comment),
                             quoted(logFileName)}
                     .join(QLatin1Char(' '));
    }
    return lines;
}

// Everything a read leaves in a log, keys, name positions and name lists included.
inline QStringList describeExactly(const TChargeLog &log)
{
    QStringList lines;
    for (const TNameList *names : {&log.PowerSourcesStringList, &log.ChargersStringList,
                                   &log.BatteriesStringList, &log.TerminationsStringList})
        lines << names->names().join(QChar(0x1F));
    lines << QStringLiteral("next key %1, colours %2 %3 %4")
                 .arg(log.NextKey)
                 .arg(log.CyclesSeriesColour)
                 .arg(log.ChargeSeriesColour)
                 .arg(log.DischargeSeriesColour);
    const TChargeList &list = log.ChargeStringList;
    for (int i = 0; i < list.count(); ++i) {
        const TChargeRecord &r = list.record(i);
        lines << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 ")
                         .arg(r.Key)
                         .arg(r.DateTime, 0, 'g', 17)
                         .arg(r.PowerSourceIndex)
                         .arg(r.ChargerIndex)
                         .arg(r.BatteryIndex)
                         .arg(r.NominalChargeAmps, 0, 'g', 17)
                         .arg(r.AmpHours, 0, 'g', 17)
                         .arg(r.TerminationIndex)
                         .arg(list.at(i).Id.toString(QUuid::WithoutBraces))
                         .arg(list.at(i).Changed, 0, 'g', 17) +
                     list.text(i);
    }
    QStringList deleted;
    for (auto it = log.Deleted.cbegin(); it != log.Deleted.cend(); ++it)
        deleted << QStringLiteral("deleted %1 %2")
                       .arg(it.key().toString(QUuid::WithoutBraces))
                       .arg(it.value(), 0, 'g', 17);
    deleted.sort();
    return lines + deleted;
}

inline QList<qint32> colours(const TChargeLog &log)
{
    return {log.CyclesSeriesColour, log.ChargeSeriesColour, log.DischargeSeriesColour};
}

} // namespace ModelTestHelpers
