#include "DueCommand.h"

#include "BatteryHealth.h"
#include "ChargeLog.h"

#include <QTextStream>

int runDueCommand(TChargeLog log, double now)
{
    // Every battery of the log: a retired one has nothing due anyway.
    log.Cards.ShowRetired = true;
    QTextStream out(stdout);
    for (const BatteryHealth::TBatteryFigures &f : BatteryHealth::overview(log, now))
        for (const QString &what : f.Due)
            out << QString(f.Battery).replace(QLatin1Char('\n'), QLatin1Char(' ')) << ": " << what
                << '\n';
    return 0;
}
