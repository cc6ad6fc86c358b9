#pragma once

#include "ChargeRecordStore.h"
#include "ConstantsAndTypes.h"

#include <QDate>
#include <QDialog>
#include <QList>
#include <QMap>
#include <QString>
#include <QTime>

#include <array>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class TNameList;

// The charge data dialog: enters one new charge or edits one already in the log. It is
// modeless, stays on top, belongs to no parent window (the main window finds open dialogs
// through the application's top-level widgets) and deletes itself when it closes. The only
// thing it does outside itself is to hand the checked entries to the store on OK.
class TChargeDataForm : public QDialog
{
    Q_OBJECT

public:
    // The entries as GetChargeData returns them; texts exactly as typed, untrimmed.
    struct TChargeData
    {
        qint32 key = -1;
        double dateTime = 0.0;
        QString powerSource;
        QString charger;
        QString battery;
        double amps = 0.0;
        double ampHours = 0.0;
        QString termination;
        QString comment;
        QString logFile;
    };

    explicit TChargeDataForm(IChargeRecordStore *store);
    ~TChargeDataForm() override;

    // Key of the record being edited, or -1 for a new record.
    qint32 RecordKey = -1;

    // Opens a dialog for the record with `key`, or for a new charge (key < 0) that starts
    // from the latest charge with the current date and time and empty texts. Shows it
    // centred on `centreOn` without waiting and returns it.
    static TChargeDataForm *OpenChargeDataForm(IChargeRecordStore *store, qint32 key,
                                               QWidget *centreOn);

    // Opens a dialog for a charge sent by another program, to be confirmed by the user.
    // The entries show the arguments as given; the power source is the one of the latest
    // charge instead when `usePreviousPowerSource` is set and the log holds any charge.
    static TChargeDataForm *OpenForAutomation(IChargeRecordStore *store, double chargeDateTime,
                                              const QString &powerSource,
                                              bool usePreviousPowerSource, const QString &charger,
                                              const QString &battery, double amps, double ampHours,
                                              const QString &termination, const QString &comment,
                                              const QString &chargerLogFileName, QWidget *centreOn);

    // Every charge data dialog that currently exists.
    static QList<TChargeDataForm *> openForms();

    // Loads a freshly created dialog: key, date and time, the four name lists as choices with
    // the record's names selected, the two numbers as text and the two free texts.
    static void FillChargeDataForm(TChargeDataForm *form, qint32 key, const TChargeRecord &record,
                                   const TNameList *powerSources, const TNameList *chargers,
                                   const TNameList *batteries, const TNameList *terminations,
                                   const QString &comment, const QString &chargerLogFileName);

    // Replaces the choices of `box` with the names of `list` and selects `index` when it names
    // one of them (else the text stays empty). Does nothing when `list` is null.
    static void LoadComboBox(QComboBox *box, const TNameList *list, qint32 index);

    // Checks the entries in order, moving the focus to each control before its check. The
    // first failure is shown in the error box; returns false then.
    bool ValidateChargeData();

    // Focuses `box`; throws QorLogError "Empty value" when its text is blank, else adds the
    // trimmed text to the choices if no choice matches it (letter case ignored).
    void CheckComboBox(QComboBox *box);

    // The entries as typed. Throws QorLogError for a number that does not convert.
    TChargeData GetChargeData() const;

    // Drops the dialog with its input: hides it, ends a box it shows and deletes it as soon as
    // none of its own handlers is running any more (a box's event loop may be under way, and
    // the dialog must not be deleted beneath it).
    void discard();
    bool isDiscarded() const { return m_discarded; }

    // Centres the dialog on `mainWindow` (kept on its screen), shows and activates it.
    void showCentredOn(QWidget *mainWindow);

    // The edited record as the log holds it now, after a change made elsewhere (an undo, the
    // charger log window's "Use the Log's Amp-Hours", another program's merge): fields the
    // user has not touched follow it and the dialog says so; a field changed on both sides
    // keeps what was typed, and OK asks which value to store. Nothing for a new charge.
    void followRecord();
    // The fields changed elsewhere that the user changed too, with the log's values.
    QMap<int, QString> conflicts() const { return m_conflicts; }

    QDateEdit *DatePicker = nullptr;
    QTimeEdit *TimePicker = nullptr;
    QComboBox *PowerSourcesComboBox = nullptr;
    QComboBox *ChargersComboBox = nullptr;
    QComboBox *BatteriesComboBox = nullptr;
    QLineEdit *NominalChargeAmpsLabeledEdit = nullptr;
    QLineEdit *AmpHoursLabeledEdit = nullptr;
    QComboBox *TerminationsComboBox = nullptr;
    QLineEdit *CommentLabeledEdit = nullptr;
    QLineEdit *ChargerLogFileNameLabeledEdit = nullptr;
    QPushButton *ChargerLogShowBtn = nullptr;           // shows the log the name names
    QPushButton *ChargerLogFileNameBrowseBtn = nullptr; // "…": a file chooser for the name
    QPushButton *OkBitBtn = nullptr;
    QPushButton *CancelBitBtn = nullptr;
    QLabel *ChangedElsewhereLabel = nullptr; // what changed elsewhere while the dialog was open

Q_SIGNALS:
    // The charger log file name was edited (typed and left, or chosen).
    void chargerLogFileNameChanged(const QString &text);

public slots:
    void OkBitBtnClick();
    void CancelBitBtnClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The entries compared with the record, in the order of the dialog.
    enum Field
    {
        DateTimeField,
        PowerSourceField,
        ChargerField,
        BatteryField,
        AmpsField,
        AmpHoursField,
        TerminationField,
        CommentField,
        LogFileField,
        FieldCount
    };
    using FieldTexts = std::array<QString, FieldCount>;
    FieldTexts shownTexts() const;
    // The record at `index` of the log as the dialog would show it.
    FieldTexts recordTexts(int index) const;
    void setFieldText(int field, const QString &text);
    static QString fieldCaption(int field);
    // On OK: true when nothing changed on both sides, or the user keeps what was typed.
    bool confirmOverConflicts();

    void FormCreate();
    void setDateTime(double dateTime);
    double pickedDateTime() const;
    QLabel *addLabel(const QString &objectName, const QString &text);
    QLineEdit *addNumberEdit(const QString &objectName);
    QComboBox *addComboBox(const QString &objectName);
    void layOutControls();
    void checkNumber(QLineEdit *edit);
    void chooseChargerLogFile();

    IChargeRecordStore *m_store = nullptr;
    int m_handlersRunning = 0; // OkBitBtnClick and what it shows, however deeply nested
    bool m_discarded = false;
    QLabel *m_dateLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
    QLabel *m_powerSourceLabel = nullptr;
    QLabel *m_chargerLabel = nullptr;
    QLabel *m_batteryLabel = nullptr;
    QLabel *m_terminationLabel = nullptr;
    QLabel *m_ampsLabel = nullptr;
    QLabel *m_ampHoursLabel = nullptr;
    QLabel *m_commentLabel = nullptr;
    QLabel *m_logFileLabel = nullptr;

    // The date-time as filled in, and the date and time the pickers showed for it: while the
    // pickers still show those, the stored value is handed back unchanged, so confirming an
    // edit never shifts a record by the rounding of the pickers.
    double m_filledDateTime = 0.0;
    QDate m_filledDate;
    QTime m_filledTime;

    // The record's values as last filled in or followed, and the fields whose change elsewhere
    // met a change here (field, the log's text).
    FieldTexts m_filled;
    QMap<int, QString> m_conflicts;
    bool m_recordGone = false;
};
