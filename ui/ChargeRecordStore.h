#pragma once

#include "ChargeLog.h"

#include <QString>

class TChargeDataForm;

// What a charge data dialog needs of the main window: the name lists to offer, the latest
// charge to start from, and the one operation that stores a charge.
class IChargeRecordStore
{
public:
    virtual ~IChargeRecordStore() = default;
    virtual const TChargeLog &chargeLog() const = 0;
    // Stores a new (key < 0) or edited charge, refreshes the display and writes the log.
    // Throws QorLogError on failure.
    virtual void AddChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                                 const QString &charger, const QString &battery,
                                 double nominalChargeAmps, double ampHours,
                                 const QString &termination, const QString &comment,
                                 const QString &chargerLogFileName) = 0;
    // Shows the charger log the dialog's file name names (and follows that name while the
    // dialog edits it). Nothing by default.
    virtual void showChargerLog(TChargeDataForm *form) { Q_UNUSED(form) }
};
