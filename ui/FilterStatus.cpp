#include "FilterStatus.h"

#include "ChargeLog.h"

#include <QLocale>
#include <QStringList>

QString FilterStatus::charges(int count)
{
    return count == 1 ? tr("1 charge") : tr("%1 charges").arg(QLocale().toString(count));
}

QString FilterStatus::text(const TChargeLog &log, int hiddenCharges)
{
    using Kind = TChargeLog::NameKind;
    // In the order of the filter buttons.
    const struct
    {
        Kind kind;
        const char *one;
        const char *many;
    } kinds[] = {
        {Kind::PowerSource, QT_TR_NOOP("1 power source"), QT_TR_NOOP("%1 power sources")},
        {Kind::Battery, QT_TR_NOOP("1 battery"), QT_TR_NOOP("%1 batteries")},
        {Kind::Charger, QT_TR_NOOP("1 charger"), QT_TR_NOOP("%1 chargers")},
        {Kind::Termination, QT_TR_NOOP("1 termination"), QT_TR_NOOP("%1 terminations")},
    };
    QStringList parts;
    for (const auto &k : kinds) {
        const int marked = log.nameList(k.kind).markedCount();
        if (marked == 1)
            parts << tr(k.one);
        else if (marked > 1)
            parts << tr(k.many).arg(QLocale().toString(marked));
    }
    if (parts.isEmpty())
        return QString();
    return tr("Filter: %1 hidden (%2)")
        .arg(parts.join(QStringLiteral(", ")), charges(hiddenCharges));
}

QString FilterStatus::purgeCount(int hiddenCharges)
{
    return hiddenCharges == 1
               ? tr("1 charge would be deleted.")
               : tr("%1 charges would be deleted.").arg(QLocale().toString(hiddenCharges));
}
