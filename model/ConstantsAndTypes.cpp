#include "ConstantsAndTypes.h"

#include <utility>

bool operator==(const TChargeRecord &a, const TChargeRecord &b)
{
    // Doubles are compared bit for bit through ==, which is what a faithful round trip needs
    // (NaN never enters the log, so NaN != NaN does not matter here).
    return a.Key == b.Key && a.DateTime == b.DateTime && a.PowerSourceIndex == b.PowerSourceIndex &&
           a.ChargerIndex == b.ChargerIndex && a.BatteryIndex == b.BatteryIndex &&
           a.NominalChargeAmps == b.NominalChargeAmps && a.AmpHours == b.AmpHours &&
           a.TerminationIndex == b.TerminationIndex;
}

QorLogError::QorLogError(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8())
{
}
