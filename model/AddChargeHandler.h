#pragma once

#include <QString>

// What the automation server needs of the program: the handling of one AddCharge call.
// Implemented by the main window; a failure is thrown as QorLogError.
class IAddChargeHandler
{
public:
    virtual ~IAddChargeHandler() = default;
    virtual void HandleAddCharge(double chargeDateTime, const QString &powerSource,
                                 bool usePreviousPowerSource, const QString &charger,
                                 const QString &battery, double nominalChargeAmps, double ampHours,
                                 const QString &termination, const QString &commentString,
                                 const QString &chargerLogFileName, bool showConfirmationForm) = 0;
    // Whether a call must wait before it is handled (the log is being written meanwhile).
    virtual bool AddChargeMustWait() const { return false; }
};
