#include "BatteryCardFormUnit.h"

#include "BatteryHealth.h"
#include "BatteryReport.h"
#include "ChargeLogDocument.h"
#include "ErrorBox.h"
#include "NumberText.h"
#include "WindowGeometry.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The first date the date field offers stands for "not known".
const QDate NoDate(1900, 1, 1);

const TChemistry Chemistries[] = {TChemistry::Unknown, TChemistry::LiPo,    TChemistry::LiHV,
                                  TChemistry::LiIon,   TChemistry::LiFePO4, TChemistry::NiMH,
                                  TChemistry::NiCd,    TChemistry::Lead,    TChemistry::Other};
const TBatteryState States[] = {TBatteryState::InUse, TBatteryState::Stored,
                                TBatteryState::Retired};

double nowAsDays()
{
    const QDateTime now = QDateTime::currentDateTime();
    return DateTimeText::fromWallClock(now.date(), now.time());
}

} // namespace

TBatteryCardForm::TBatteryCardForm(TChargeLogDocument *document, QWidget *parent,
                                   const QString &battery)
    : QDialog(parent, Qt::Window), m_document(document), m_battery(battery)
{
    setObjectName(QStringLiteral("BatteryCardForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    if (parent)
        setFont(parent->font());
    setWindowTitle(tr("Battery Card: %1").arg(battery));

    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    RatedCapacityEdit = new QLineEdit(this);
    RatedCapacityEdit->setObjectName(QStringLiteral("RatedCapacityEdit"));
    RatedCapacityEdit->setPlaceholderText(tr("not known"));
    CellsSpin = new QSpinBox(this);
    CellsSpin->setObjectName(QStringLiteral("CellsSpin"));
    CellsSpin->setRange(0, 999);
    CellsSpin->setSpecialValueText(tr("not known"));
    ChemistryBox = new QComboBox(this);
    ChemistryBox->setObjectName(QStringLiteral("ChemistryBox"));
    for (const TChemistry chemistry : Chemistries)
        ChemistryBox->addItem(chemistry == TChemistry::Unknown
                                  ? tr("not known")
                                  : BatteryCards::chemistryCaption(chemistry),
                              int(chemistry));
    RatedCyclesSpin = new QSpinBox(this);
    RatedCyclesSpin->setObjectName(QStringLiteral("RatedCyclesSpin"));
    RatedCyclesSpin->setRange(0, 1000000);
    RatedCyclesSpin->setSpecialValueText(tr("not known"));
    BoughtEdit = new QDateEdit(this);
    BoughtEdit->setObjectName(QStringLiteral("BoughtEdit"));
    BoughtEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    BoughtEdit->setMinimumDate(NoDate);
    BoughtEdit->setSpecialValueText(tr("not known"));
    BoughtEdit->setCalendarPopup(true);
    LabelEdit = new QLineEdit(this);
    LabelEdit->setObjectName(QStringLiteral("LabelEdit"));
    StateBox = new QComboBox(this);
    StateBox->setObjectName(QStringLiteral("StateBox"));
    for (const TBatteryState state : States)
        StateBox->addItem(BatteryCards::stateCaption(state), int(state));
    NoteEdit = new QPlainTextEdit(this);
    NoteEdit->setObjectName(QStringLiteral("NoteEdit"));
    NoteEdit->setTabChangesFocus(true);

    auto *form = new QFormLayout;
    const auto row = [form, this](const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(field);
        field->setAccessibleName(
            QString(caption).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
        form->addRow(label, field);
    };
    row(tr("&Name:"), NameEdit);
    row(tr("Rated &capacity (Ah):"), RatedCapacityEdit);
    row(tr("Cells in &series:"), CellsSpin);
    row(tr("C&hemistry:"), ChemistryBox);
    row(tr("Rated c&ycles:"), RatedCyclesSpin);
    row(tr("&Bought:"), BoughtEdit);
    row(tr("Serial or &label:"), LabelEdit);
    row(tr("S&tate:"), StateBox);
    row(tr("N&ote:"), NoteEdit);

    HealthLabel = new QLabel(this);
    HealthLabel->setObjectName(QStringLiteral("HealthLabel"));
    HealthLabel->setWordWrap(true);
    HealthLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    DueLabel = new QLabel(this);
    DueLabel->setObjectName(QStringLiteral("DueLabel"));
    DueLabel->setWordWrap(true);
    DueLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(HealthLabel);
    layout->addWidget(DueLabel);
    layout->addWidget(Buttons);
    resize(440, 520);
    WindowGeometry::remember(this, QStringLiteral("BatteryCard"));
    WindowGeometry::closeWithKeys(this);

    connect(document, &TChargeLogDocument::changed, this, &TBatteryCardForm::refresh);
    load();
}

TBatteryCardForm *TBatteryCardForm::showFor(TChargeLogDocument *document, QWidget *parent,
                                            const QString &battery)
{
    if (battery.isEmpty())
        return nullptr;
    TBatteryCardForm *form = nullptr;
    for (auto *open :
         parent->findChildren<TBatteryCardForm *>(QString(), Qt::FindDirectChildrenOnly))
        if (open->battery().compare(battery, Qt::CaseInsensitive) == 0 && !open->isHidden())
            form = open;
    if (!form)
        form = new TBatteryCardForm(document, parent, battery);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

void TBatteryCardForm::load()
{
    const TBatteryCard *stored = m_document->log().Cards.find(m_battery);
    TBatteryCard card = stored ? *stored : TBatteryCard();
    NameEdit->setText(m_battery);
    RatedCapacityEdit->setText(
        card.RatedCapacity > 0 ? NumberText::formatGeneral(card.RatedCapacity) : QString());
    CellsSpin->setValue(card.Cells);
    ChemistryBox->setCurrentIndex(qMax(0, ChemistryBox->findData(int(card.Chemistry))));
    RatedCyclesSpin->setValue(card.RatedCycles);
    BoughtEdit->setDate(card.Bought ? DateTimeText::toWallClock(*card.Bought).date : NoDate);
    LabelEdit->setText(card.Label);
    StateBox->setCurrentIndex(qMax(0, StateBox->findData(int(card.State))));
    NoteEdit->setPlainText(card.Note);
    refresh();
}

TBatteryCard TBatteryCardForm::card() const
{
    TBatteryCard card;
    card.Name = TNameList::trimmedName(NameEdit->text());
    const QString capacity = RatedCapacityEdit->text().trimmed();
    if (!capacity.isEmpty()) {
        double value = 0;
        if (!NumberText::parseTyped(capacity, locale(), value) || value < 0)
            throw QorLogError(
                tr("The rated capacity \"%1\" is not a number of amp-hours.").arg(capacity));
        card.RatedCapacity = value;
    }
    card.Cells = CellsSpin->value();
    card.Chemistry = TChemistry(ChemistryBox->currentData().toInt());
    card.RatedCycles = RatedCyclesSpin->value();
    if (BoughtEdit->date() != NoDate)
        card.Bought = DateTimeText::fromWallClock(BoughtEdit->date(), QTime(0, 0));
    // An unchanged date keeps the time of day the file gave.
    const TBatteryCard *stored = m_document->log().Cards.find(m_battery);
    if (stored && stored->Bought && card.Bought &&
        DateTimeText::toWallClock(*stored->Bought).date == BoughtEdit->date())
        card.Bought = stored->Bought;
    card.Label = LabelEdit->text();
    card.State = TBatteryState(StateBox->currentData().toInt());
    card.Note = NoteEdit->toPlainText();
    return card;
}

bool TBatteryCardForm::store()
{
    return ErrorBox::guard(
        [this] {
            const TBatteryCard made = card();
            m_document->storeCard(m_battery, made);
            m_battery = made.Name;
            setWindowTitle(tr("Battery Card: %1").arg(m_battery));
        },
        this);
}

void TBatteryCardForm::accept()
{
    if (store())
        QDialog::accept();
}

void TBatteryCardForm::refresh()
{
    // A battery gone from the log (an undone rename, a purge) with no card left: nothing to show.
    const TChargeLog &log = m_document->log();
    if (log.BatteriesStringList.indexOf(m_battery) < 0 && !log.Cards.find(m_battery)) {
        close();
        return;
    }
    const std::optional<BatteryHealth::TBatteryFigures> f =
        BatteryHealth::battery(m_document->log(), m_battery, nowAsDays());
    if (!f) {
        HealthLabel->setText(tr("No records of this battery are shown."));
        DueLabel->clear();
        return;
    }
    QStringList health;
    if (f->RetentionPercent)
        health << (f->AgainstRating() ? tr("Capacity %1 of the rating")
                                            .arg(BatteryReport::percentText(*f->RetentionPercent))
                                      : tr("Capacity %1 of the first discharges")
                                            .arg(BatteryReport::percentText(*f->RetentionPercent)));
    health << (f->RatedCycles > 0 ? tr("%1 of %2 rated cycles").arg(f->Cycles).arg(f->RatedCycles)
               : f->Cycles == 1   ? tr("1 cycle")
                                  : tr("%n cycles", nullptr, f->Cycles));
    if (f->EndOfLife)
        health << tr("end of life %1").arg(BatteryReport::dateText(*f->EndOfLife));
    HealthLabel->setText(health.join(QStringLiteral("; ")));
    DueLabel->setText(f->Due.isEmpty() ? tr("Nothing is due.")
                                       : tr("Due: %1").arg(f->Due.join(QStringLiteral("; "))));
}
