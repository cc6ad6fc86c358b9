#pragma once

#include "BatteryCards.h"

#include <QDialog>

class QDialogButtonBox;
class QSpinBox;
class TChargeLogDocument;

// The log's settings of what is due: the six thresholds of the due rules, 0 turning a rule off.
// OK stores them as one step; Restore Defaults puts the defaults in the fields.
class TDueSettingsForm : public QDialog
{
    Q_OBJECT
public:
    TDueSettingsForm(TChargeLogDocument *document, QWidget *parent);

    // The settings as the fields give them, and the fields from settings.
    TDueSettings settings() const;
    void setSettings(const TDueSettings &settings);

    QSpinBox *LeftFullDaysSpin = nullptr;
    QSpinBox *UnusedDaysSpin = nullptr;
    QSpinBox *EndOfLifeCyclePercentSpin = nullptr;
    QSpinBox *EndOfLifeWithinDaysSpin = nullptr;
    QSpinBox *TestCyclesSpin = nullptr;
    QSpinBox *TestDaysSpin = nullptr;
    QDialogButtonBox *Buttons = nullptr;

protected:
    void accept() override;

private:
    TChargeLogDocument *m_document;
};
