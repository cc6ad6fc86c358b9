#pragma once

#include "BatteryCards.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class TChargeLogDocument;

// The card of one battery: what the pack is (rated capacity, cells, chemistry, rated cycles,
// when it was bought, its label), its state and a note, with what its figures say against the
// rating and what is due. OK stores the card as one step; a changed name renames the battery in
// every record, and the name of another battery merges the two. The window does not block the
// others; one is open per battery.
class TBatteryCardForm : public QDialog
{
    Q_OBJECT
public:
    TBatteryCardForm(TChargeLogDocument *document, QWidget *parent, const QString &battery);

    // The window of that battery among the windows of `parent` (names compared without regard
    // to case), created on first use, shown and raised. None for an empty name.
    static TBatteryCardForm *showFor(TChargeLogDocument *document, QWidget *parent,
                                     const QString &battery);

    QString battery() const { return m_battery; }
    // The card as the fields give it; throws QorLogError naming a field that cannot be read.
    TBatteryCard card() const;
    // Fills the fields from the log's card of the battery (a blank card when it has none).
    void load();
    // Stores the card; false (with the error shown) when it could not be stored.
    bool store();
    // The figures against the rating and what is due, as the log stands.
    void refresh();

    QLineEdit *NameEdit = nullptr;
    QLineEdit *RatedCapacityEdit = nullptr;
    QSpinBox *CellsSpin = nullptr;
    QComboBox *ChemistryBox = nullptr;
    QSpinBox *RatedCyclesSpin = nullptr;
    QDateEdit *BoughtEdit = nullptr;
    QLineEdit *LabelEdit = nullptr;
    QComboBox *StateBox = nullptr;
    QPlainTextEdit *NoteEdit = nullptr;
    QLabel *HealthLabel = nullptr;
    QLabel *DueLabel = nullptr;
    QDialogButtonBox *Buttons = nullptr;

protected:
    void accept() override;

private:
    TChargeLogDocument *m_document;
    QString m_battery;
};
