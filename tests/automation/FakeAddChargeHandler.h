#pragma once

#include "AddChargeHandler.h"
#include "ConstantsAndTypes.h"

#include <QVariantList>

#include <stdexcept>

// Records every call; throws what it is told to.
class FakeAddChargeHandler : public IAddChargeHandler
{
public:
    enum class Failure
    {
        None,
        QorLog,
        Std,
        Other
    };

    void HandleAddCharge(double chargeDateTime, const QString &powerSource,
                         bool usePreviousPowerSource, const QString &charger,
                         const QString &battery, double nominalChargeAmps, double ampHours,
                         const QString &termination, const QString &commentString,
                         const QString &chargerLogFileName, bool showConfirmationForm) override
    {
        calls.append(QVariantList{chargeDateTime, powerSource, usePreviousPowerSource, charger,
                                  battery, nominalChargeAmps, ampHours, termination, commentString,
                                  chargerLogFileName, showConfirmationForm});
        switch (failure) {
        case Failure::None:
            return;
        case Failure::QorLog:
            throw QorLogError(failureMessage);
        case Failure::Std:
            throw std::runtime_error(failureMessage.toStdString());
        case Failure::Other:
            throw 42;
        }
    }

    bool AddChargeMustWait() const override { return mustWait; }

    QList<QVariantList> calls;
    bool mustWait = false;
    Failure failure = Failure::None;
    QString failureMessage;
};
