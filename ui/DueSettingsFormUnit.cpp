#include "DueSettingsFormUnit.h"

#include "ChargeLogDocument.h"
#include "ErrorBox.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TDueSettingsForm::TDueSettingsForm(TChargeLogDocument *document, QWidget *parent)
    : QDialog(parent), m_document(document)
{
    setObjectName(QStringLiteral("DueSettingsForm"));
    setWindowTitle(tr("Due Settings"));
    setAttribute(Qt::WA_DeleteOnClose);
    const auto spin = [this](const char *name, int maximum, const QString &suffix) {
        auto *box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(0, maximum);
        box->setSuffix(suffix);
        box->setSpecialValueText(tr("off"));
        return box;
    };
    LeftFullDaysSpin = spin("LeftFullDaysSpin", 3650, tr(" days"));
    UnusedDaysSpin = spin("UnusedDaysSpin", 3650, tr(" days"));
    EndOfLifeCyclePercentSpin = spin("EndOfLifeCyclePercentSpin", 100, tr(" %"));
    EndOfLifeWithinDaysSpin = spin("EndOfLifeWithinDaysSpin", 3650, tr(" days"));
    TestCyclesSpin = spin("TestCyclesSpin", 100000, tr(" cycles"));
    TestDaysSpin = spin("TestDaysSpin", 3650, tr(" days"));

    auto *form = new QFormLayout;
    const auto row = [form, this](const QString &caption, QSpinBox *field) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(field);
        field->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        form->addRow(label, field);
    };
    row(tr("A lithium pack &left full for more than"), LeftFullDaysSpin);
    row(tr("A pack &unused for more than"), UnusedDaysSpin);
    row(tr("End of life near &past the rated cycles'"), EndOfLifeCyclePercentSpin);
    row(tr("or the capacity &trend reaching it within"), EndOfLifeWithinDaysSpin);
    row(tr("A capacity test after &cycles without one"), TestCyclesSpin);
    row(tr("or after &days without one"), TestDaysSpin);

    Buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(Buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { setSettings(TDueSettings()); });
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Buttons);
    setSettings(document->log().Cards.Due);
}

TDueSettings TDueSettingsForm::settings() const
{
    TDueSettings due;
    due.LeftFullDays = LeftFullDaysSpin->value();
    due.UnusedDays = UnusedDaysSpin->value();
    due.EndOfLifeCyclePercent = EndOfLifeCyclePercentSpin->value();
    due.EndOfLifeWithinDays = EndOfLifeWithinDaysSpin->value();
    due.TestCycles = TestCyclesSpin->value();
    due.TestDays = TestDaysSpin->value();
    return due;
}

void TDueSettingsForm::setSettings(const TDueSettings &due)
{
    LeftFullDaysSpin->setValue(due.LeftFullDays);
    UnusedDaysSpin->setValue(due.UnusedDays);
    EndOfLifeCyclePercentSpin->setValue(due.EndOfLifeCyclePercent);
    EndOfLifeWithinDaysSpin->setValue(due.EndOfLifeWithinDays);
    TestCyclesSpin->setValue(due.TestCycles);
    TestDaysSpin->setValue(due.TestDays);
}

void TDueSettingsForm::accept()
{
    if (ErrorBox::guard([this] { m_document->setDueSettings(settings()); }, this))
        QDialog::accept();
}
