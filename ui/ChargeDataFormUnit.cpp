#include "ChargeDataFormUnit.h"

#include "ErrorBox.h"
#include "Icons.h"
#include "NameList.h"
#include "NumberText.h"

#include <limits>

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimeEdit>

#include <iterator>

namespace {

// The design size; the buttons that show and choose the charger log take the right end of the
// file name's row, which gives up that room.
constexpr int ClientWidth = 403;
constexpr int ClientHeight = 262;
constexpr int BrowseButtonWidth = 24;
constexpr int BrowseButtonGap = 2;

// The layout grid: three columns of 121 pixels and the rows of label and control.
constexpr int Column1 = 8;
constexpr int Column2 = 144;
constexpr int Column3 = 280;
constexpr int ColumnWidth = 121;
constexpr int PickerWidth = 89;
constexpr int WideWidth = 393;
constexpr int ButtonWidth = 75;

// The locale's short date with the year in full: a two-digit year cannot be edited into
// another century.
QString dateFormatFor(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// The locale's short time with the seconds added after the minutes when it has none.
QString timeFormatFor(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s')))
        return format;
    qsizetype minutes = format.indexOf(QLatin1String("mm"));
    qsizetype length = 2;
    if (minutes < 0) {
        minutes = format.indexOf(QLatin1Char('m'));
        length = 1;
    }
    if (minutes < 0)
        return QStringLiteral("HH:mm:ss");
    format.insert(minutes + length, DateTimeText::timeSeparator(locale) + QStringLiteral("ss"));
    return format;
}

// The pickers show a wall-clock reading: no time zone, so that no local clock change can
// move or refuse a date or time of day.
void showWallClock(QDateTimeEdit *picker)
{
    picker->setTimeSpec(Qt::UTC);
}

// The control's own height at the current font, so that nothing is cut off.
void place(QWidget *widget, int left, int top, int width)
{
    widget->setGeometry(left, top, width, widget->sizeHint().height());
}

} // namespace

// A top-level window rather than a dialog window: a dialog without a parent is declared to
// the X window manager as transient for the whole application, and window managers then keep
// it above every other window of the program, so a question of the main window that opens
// while it is there could never be raised above it and stay hidden behind it.
TChargeDataForm::TChargeDataForm(IChargeRecordStore *store)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_store(store)
{
    setObjectName(QStringLiteral("ChargeDataForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("ChargeData"));
    setWindowIcon(QorLogIcons::application());
    // Laid out for an 8-point sans font, as the main window is: at a larger desktop font the
    // labels above the fixed columns would run into each other.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    m_dateLabel = addLabel(QStringLiteral("Label1"), tr("Date"));
    DatePicker = new QDateEdit(this);
    DatePicker->setObjectName(QStringLiteral("DatePicker"));
    DatePicker->setCalendarPopup(true);
    DatePicker->setDisplayFormat(dateFormatFor(locale()));
    showWallClock(DatePicker);
    // Every date that a day count holds from the year 100 on.
    DatePicker->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));

    m_timeLabel = addLabel(QStringLiteral("Label6"), tr("Time"));
    TimePicker = new QTimeEdit(this);
    TimePicker->setObjectName(QStringLiteral("TimePicker"));
    TimePicker->setDisplayFormat(timeFormatFor(locale()));
    showWallClock(TimePicker);

    m_powerSourceLabel = addLabel(QStringLiteral("Label2"), tr("PowerSource"));
    PowerSourcesComboBox = addComboBox(QStringLiteral("PowerSourcesComboBox"));
    m_chargerLabel = addLabel(QStringLiteral("Label3"), tr("Charger"));
    ChargersComboBox = addComboBox(QStringLiteral("ChargersComboBox"));
    m_batteryLabel = addLabel(QStringLiteral("Label4"), tr("Battery"));
    BatteriesComboBox = addComboBox(QStringLiteral("BatteriesComboBox"));

    m_ampsLabel = addLabel(QStringLiteral("NominalChargeAmpsLabel"), tr("Nominal Charge Amps"));
    NominalChargeAmpsLabeledEdit = addNumberEdit(QStringLiteral("NominalChargeAmpsLabeledEdit"));
    m_ampHoursLabel = addLabel(QStringLiteral("AmpHoursLabel"), tr("AmpHours"));
    AmpHoursLabeledEdit = addNumberEdit(QStringLiteral("AmpHoursLabeledEdit"));
    m_terminationLabel = addLabel(QStringLiteral("Label5"), tr("Termination"));
    TerminationsComboBox = addComboBox(QStringLiteral("TerminationsComboBox"));

    m_commentLabel = addLabel(QStringLiteral("CommentLabel"), tr("Comment"));
    CommentLabeledEdit = new QLineEdit(this);
    CommentLabeledEdit->setObjectName(QStringLiteral("CommentLabeledEdit"));
    m_logFileLabel =
        addLabel(QStringLiteral("ChargerLogFileNameLabel"), tr("Charger Log FileName"));
    ChargerLogFileNameLabeledEdit = new QLineEdit(this);
    ChargerLogFileNameLabeledEdit->setObjectName(QStringLiteral("ChargerLogFileNameLabeledEdit"));
    // Texts stay whole, however long: OK refuses one the log cannot take, saying why, rather
    // than the edit cutting it short unseen.
    for (QLineEdit *edit : {CommentLabeledEdit, ChargerLogFileNameLabeledEdit,
                            PowerSourcesComboBox->lineEdit(), ChargersComboBox->lineEdit(),
                            BatteriesComboBox->lineEdit(), TerminationsComboBox->lineEdit()})
        if (edit)
            edit->setMaxLength(std::numeric_limits<int>::max());

    // Each label names its control for assistive technology (and gives it a mnemonic target).
    m_dateLabel->setBuddy(DatePicker);
    m_timeLabel->setBuddy(TimePicker);
    m_powerSourceLabel->setBuddy(PowerSourcesComboBox);
    m_chargerLabel->setBuddy(ChargersComboBox);
    m_batteryLabel->setBuddy(BatteriesComboBox);
    m_terminationLabel->setBuddy(TerminationsComboBox);
    m_ampsLabel->setBuddy(NominalChargeAmpsLabeledEdit);
    m_ampHoursLabel->setBuddy(AmpHoursLabeledEdit);
    m_commentLabel->setBuddy(CommentLabeledEdit);
    m_logFileLabel->setBuddy(ChargerLogFileNameLabeledEdit);
    ChargerLogShowBtn = new QPushButton(QorLogIcons::chargerLog(), QString(), this);
    ChargerLogShowBtn->setObjectName(QStringLiteral("ChargerLogShowBtn"));
    ChargerLogShowBtn->setToolTip(tr("Show Charger Log"));
    ChargerLogShowBtn->setAccessibleName(tr("Show Charger Log"));
    ChargerLogShowBtn->setAutoDefault(false);
    // As high as the file name beside it, like the "…" button.
    ChargerLogShowBtn->setIconSize(QSize(12, 12));
    ChargerLogShowBtn->setEnabled(false);
    connect(
        ChargerLogFileNameLabeledEdit, &QLineEdit::textChanged, ChargerLogShowBtn,
        [this](const QString &text) { ChargerLogShowBtn->setEnabled(!text.trimmed().isEmpty()); });
    connect(ChargerLogShowBtn, &QPushButton::clicked, this,
            [this] { ErrorBox::guard([this] { m_store->showChargerLog(this); }, this); });
    connect(ChargerLogFileNameLabeledEdit, &QLineEdit::editingFinished, this,
            [this] { Q_EMIT chargerLogFileNameChanged(ChargerLogFileNameLabeledEdit->text()); });
    ChargerLogFileNameBrowseBtn = new QPushButton(QStringLiteral("\u2026"), this);
    ChargerLogFileNameBrowseBtn->setObjectName(QStringLiteral("ChargerLogFileNameBrowseBtn"));
    ChargerLogFileNameBrowseBtn->setToolTip(tr("Choose the charger log file"));
    ChargerLogFileNameBrowseBtn->setAccessibleName(tr("Choose the charger log file"));
    ChargerLogFileNameBrowseBtn->setAutoDefault(false);
    connect(ChargerLogFileNameBrowseBtn, &QPushButton::clicked, this,
            [this] { ErrorBox::guard([this] { chooseChargerLogFile(); }, this); });

    OkBitBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("OK"), this);
    OkBitBtn->setObjectName(QStringLiteral("OkBitBtn"));
    OkBitBtn->setDefault(true);
    CancelBitBtn =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), tr("Cancel"), this);
    CancelBitBtn->setObjectName(QStringLiteral("CancelBitBtn"));
    ChangedElsewhereLabel = new QLabel(this);
    ChangedElsewhereLabel->setObjectName(QStringLiteral("ChangedElsewhereLabel"));
    ChangedElsewhereLabel->setWordWrap(true);
    ChangedElsewhereLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(OkBitBtn, &QPushButton::clicked, this, &TChargeDataForm::OkBitBtnClick);
    connect(CancelBitBtn, &QPushButton::clicked, this, &TChargeDataForm::CancelBitBtnClick);

    layOutControls();

    // Tab order as the controls are laid out, row by row from the date to OK and Cancel; the
    // buttons beside the file name follow it.
    QWidget *const order[] = {DatePicker,
                              TimePicker,
                              PowerSourcesComboBox,
                              ChargersComboBox,
                              BatteriesComboBox,
                              NominalChargeAmpsLabeledEdit,
                              AmpHoursLabeledEdit,
                              TerminationsComboBox,
                              CommentLabeledEdit,
                              ChargerLogFileNameLabeledEdit,
                              ChargerLogShowBtn,
                              ChargerLogFileNameBrowseBtn,
                              OkBitBtn,
                              CancelBitBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    FormCreate();
}

TChargeDataForm::~TChargeDataForm() = default;

void TChargeDataForm::chooseChargerLogFile()
{
    // Starts where the file named now lies, when it names one.
    const QFileInfo current(ChargerLogFileNameLabeledEdit->text());
    QFileDialog dialog(this, tr("Charger Log FileName"),
                       current.fileName().isEmpty() ? QString() : current.absolutePath());
    dialog.setObjectName(QStringLiteral("ChargerLogFileDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (current.exists())
        dialog.selectFile(current.absoluteFilePath());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        ChargerLogFileNameLabeledEdit->setText(
            QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
        Q_EMIT chargerLogFileNameChanged(ChargerLogFileNameLabeledEdit->text());
    }
    ChargerLogFileNameLabeledEdit->setFocus(Qt::OtherFocusReason);
}

void TChargeDataForm::FormCreate()
{
    setDateTime(DateTimeText::now());
    PowerSourcesComboBox->setFocus(Qt::OtherFocusReason);
}

QLabel *TChargeDataForm::addLabel(const QString &objectName, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(objectName);
    return label;
}

QLineEdit *TChargeDataForm::addNumberEdit(const QString &objectName)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(objectName);
    // Any text may be typed; OK refuses one that is not a number, naming it.
    return edit;
}

QComboBox *TChargeDataForm::addComboBox(const QString &objectName)
{
    auto *box = new QComboBox(this);
    box->setObjectName(objectName);
    box->setEditable(true);
    // Choices are added by the dialog itself (CheckComboBox), never by Enter in the box.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->installEventFilter(this);
    box->lineEdit()->installEventFilter(this);
    return box;
}

// Positions as designed; heights follow the controls' own size at the current font, and
// each label sits directly above its control.
void TChargeDataForm::layOutControls()
{
    setFixedSize(ClientWidth, ClientHeight);

    const auto labelAbove = [](QLabel *label, QWidget *control) {
        const QSize hint = label->sizeHint();
        label->setGeometry(control->x(), qMax(0, control->y() - hint.height()), hint.width(),
                           hint.height());
    };

    // The pickers get wider when the locale's format needs it, but never reach the next
    // column.
    const int dateWidth =
        qBound(PickerWidth, DatePicker->sizeHint().width(), Column2 - Column1 - 8);
    const int timeWidth =
        qBound(PickerWidth, TimePicker->sizeHint().width(), Column3 - Column2 - 8);
    place(DatePicker, Column1, 16, dateWidth);
    place(TimePicker, Column2, 16, timeWidth);
    place(PowerSourcesComboBox, Column1, 64, ColumnWidth);
    place(ChargersComboBox, Column2, 64, ColumnWidth);
    place(BatteriesComboBox, Column3, 64, ColumnWidth);
    place(NominalChargeAmpsLabeledEdit, Column1, 112, ColumnWidth);
    place(AmpHoursLabeledEdit, Column2, 112, ColumnWidth);
    place(TerminationsComboBox, Column3, 112, ColumnWidth);
    place(CommentLabeledEdit, Column1, 160, WideWidth);
    const int fileNameWidth = WideWidth - 2 * (BrowseButtonGap + BrowseButtonWidth);
    place(ChargerLogFileNameLabeledEdit, Column1, 200, fileNameWidth);
    const int buttonsLeft = Column1 + fileNameWidth + BrowseButtonGap;
    ChargerLogShowBtn->setGeometry(
        buttonsLeft, 200, BrowseButtonWidth,
        qMax(ChargerLogFileNameLabeledEdit->height(), ChargerLogShowBtn->sizeHint().height()));
    ChargerLogFileNameBrowseBtn->setGeometry(buttonsLeft + BrowseButtonWidth + BrowseButtonGap, 200,
                                             BrowseButtonWidth,
                                             ChargerLogFileNameLabeledEdit->height());

    // OK and Cancel where designed; a language with longer captions ("Abbrechen") moves them
    // left so that both stay whole inside the dialog.
    const int buttonHeight = qMin(OkBitBtn->sizeHint().height(), ClientHeight - 232);
    const int okWidth = qMax(ButtonWidth, OkBitBtn->sizeHint().width());
    const int cancelWidth = qMax(ButtonWidth, CancelBitBtn->sizeHint().width());
    const int cancelLeft = qMin(320, 320 + ButtonWidth - cancelWidth);
    const int okLeft = qMin(232, cancelLeft - (320 - 232 - ButtonWidth) - okWidth);
    OkBitBtn->setGeometry(okLeft, 232, okWidth, buttonHeight);
    CancelBitBtn->setGeometry(cancelLeft, 232, cancelWidth, buttonHeight);

    // The notice of changes made elsewhere: left of the buttons, to the dialog's foot.
    ChangedElsewhereLabel->setGeometry(Column1, 228, OkBitBtn->x() - Column1 - 8,
                                       ClientHeight - 228);

    labelAbove(m_dateLabel, DatePicker);
    labelAbove(m_timeLabel, TimePicker);
    labelAbove(m_powerSourceLabel, PowerSourcesComboBox);
    labelAbove(m_chargerLabel, ChargersComboBox);
    labelAbove(m_batteryLabel, BatteriesComboBox);
    labelAbove(m_ampsLabel, NominalChargeAmpsLabeledEdit);
    labelAbove(m_ampHoursLabel, AmpHoursLabeledEdit);
    labelAbove(m_terminationLabel, TerminationsComboBox);
    labelAbove(m_commentLabel, CommentLabeledEdit);
    labelAbove(m_logFileLabel, ChargerLogFileNameLabeledEdit);
}

void TChargeDataForm::setDateTime(double dateTime)
{
    DateTimeText::WallClock value = DateTimeText::toWallClock(dateTime);
    if (!value.isValid())
        value = DateTimeText::toWallClock(0.0);
    DatePicker->setDate(value.date);
    TimePicker->setTime(value.time);
    m_filledDateTime = dateTime;
    m_filledDate = DatePicker->date();
    m_filledTime = TimePicker->time();
}

double TChargeDataForm::pickedDateTime() const
{
    const QDate date = DatePicker->date();
    const QTime time = TimePicker->time();
    const auto seconds = [](const QTime &t) {
        return t.hour() * 3600 + t.minute() * 60 + t.second();
    };
    if (date == m_filledDate && m_filledTime.isValid() && seconds(time) == seconds(m_filledTime))
        return m_filledDateTime;
    return DateTimeText::fromWallClock(date, time);
}

TChargeDataForm *TChargeDataForm::OpenChargeDataForm(IChargeRecordStore *store, qint32 key,
                                                     QWidget *centreOn)
{
    const TChargeLog &log = store->chargeLog();
    TChargeRecord record;
    record.Key = 0;
    QString comment;
    QString chargerLogFileName;
    int index = -1;
    if (key >= 0) {
        index = log.FindChargeIndex(key);
        if (index >= 0)
            TChargeList::SplitChargeText(log.ChargeStringList.text(index), chargerLogFileName,
                                         comment);
    } else {
        index = log.ChargeStringList.count() - 1;
    }
    if (index >= 0)
        record = log.ChargeStringList.record(index);
    if (key < 0)
        record.DateTime = DateTimeText::now();

    auto *form = new TChargeDataForm(store);
    FillChargeDataForm(form, key, record, &log.PowerSourcesStringList, &log.ChargersStringList,
                       &log.BatteriesStringList, &log.TerminationsStringList, comment,
                       chargerLogFileName);
    form->showCentredOn(centreOn);
    return form;
}

TChargeDataForm *TChargeDataForm::OpenForAutomation(
    IChargeRecordStore *store, double chargeDateTime, const QString &powerSource,
    bool usePreviousPowerSource, const QString &charger, const QString &battery, double amps,
    double ampHours, const QString &termination, const QString &comment,
    const QString &chargerLogFileName, QWidget *centreOn)
{
    const TChargeLog &log = store->chargeLog();
    TChargeRecord blank;
    blank.DateTime = chargeDateTime;
    blank.PowerSourceIndex = -1;
    blank.ChargerIndex = -1;
    blank.BatteryIndex = -1;
    blank.TerminationIndex = -1;

    auto *form = new TChargeDataForm(store);
    FillChargeDataForm(form, -1, blank, &log.PowerSourcesStringList, &log.ChargersStringList,
                       &log.BatteriesStringList, &log.TerminationsStringList, comment,
                       chargerLogFileName);
    QString shownPowerSource = powerSource;
    QString previous;
    if (usePreviousPowerSource && log.previousPowerSource(previous))
        shownPowerSource = previous;
    form->PowerSourcesComboBox->setEditText(shownPowerSource);
    form->ChargersComboBox->setEditText(charger);
    form->BatteriesComboBox->setEditText(battery);
    form->NominalChargeAmpsLabeledEdit->setText(NumberText::formatGeneral(amps));
    form->AmpHoursLabeledEdit->setText(NumberText::formatGeneral(ampHours));
    form->TerminationsComboBox->setEditText(termination);
    form->CommentLabeledEdit->setText(comment);
    form->ChargerLogFileNameLabeledEdit->setText(chargerLogFileName);
    form->showCentredOn(centreOn);
    return form;
}

QList<TChargeDataForm *> TChargeDataForm::openForms()
{
    QList<TChargeDataForm *> forms;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *form = qobject_cast<TChargeDataForm *>(window))
            forms.append(form);
    }
    return forms;
}

void TChargeDataForm::FillChargeDataForm(TChargeDataForm *form, qint32 key,
                                         const TChargeRecord &record, const TNameList *powerSources,
                                         const TNameList *chargers, const TNameList *batteries,
                                         const TNameList *terminations, const QString &comment,
                                         const QString &chargerLogFileName)
{
    form->RecordKey = key;
    for (QComboBox *box : {form->PowerSourcesComboBox, form->ChargersComboBox,
                           form->BatteriesComboBox, form->TerminationsComboBox})
        box->clear();
    form->setDateTime(record.DateTime);
    LoadComboBox(form->PowerSourcesComboBox, powerSources, record.PowerSourceIndex);
    LoadComboBox(form->ChargersComboBox, chargers, record.ChargerIndex);
    LoadComboBox(form->BatteriesComboBox, batteries, record.BatteryIndex);
    LoadComboBox(form->TerminationsComboBox, terminations, record.TerminationIndex);
    form->NominalChargeAmpsLabeledEdit->setText(
        NumberText::formatGeneral(record.NominalChargeAmps));
    form->AmpHoursLabeledEdit->setText(NumberText::formatGeneral(record.AmpHours));
    form->ChargerLogFileNameLabeledEdit->setText(chargerLogFileName);
    form->CommentLabeledEdit->setText(comment);
    form->m_filled = form->shownTexts();
    form->m_conflicts.clear();
    form->m_recordGone = false;
    form->ChangedElsewhereLabel->clear();
}

TChargeDataForm::FieldTexts TChargeDataForm::shownTexts() const
{
    FieldTexts texts;
    texts[DateTimeField] =
        QDateTime(DatePicker->date(), TimePicker->time(), Qt::UTC).toString(Qt::ISODate);
    texts[PowerSourceField] = PowerSourcesComboBox->currentText();
    texts[ChargerField] = ChargersComboBox->currentText();
    texts[BatteryField] = BatteriesComboBox->currentText();
    texts[AmpsField] = NominalChargeAmpsLabeledEdit->text();
    texts[AmpHoursField] = AmpHoursLabeledEdit->text();
    texts[TerminationField] = TerminationsComboBox->currentText();
    texts[CommentField] = CommentLabeledEdit->text();
    texts[LogFileField] = ChargerLogFileNameLabeledEdit->text();
    return texts;
}

TChargeDataForm::FieldTexts TChargeDataForm::recordTexts(int index) const
{
    const TChargeLog &log = m_store->chargeLog();
    const TChargeRecord &r = log.ChargeStringList.record(index);
    FieldTexts texts;
    const DateTimeText::WallClock clock = DateTimeText::toWallClock(r.DateTime);
    texts[DateTimeField] = QDateTime(clock.date, clock.time, Qt::UTC).toString(Qt::ISODate);
    texts[PowerSourceField] = log.PowerSourcesStringList.name(r.PowerSourceIndex);
    texts[ChargerField] = log.ChargersStringList.name(r.ChargerIndex);
    texts[BatteryField] = log.BatteriesStringList.name(r.BatteryIndex);
    texts[AmpsField] = NumberText::formatGeneral(r.NominalChargeAmps);
    texts[AmpHoursField] = NumberText::formatGeneral(r.AmpHours);
    texts[TerminationField] = log.TerminationsStringList.name(r.TerminationIndex);
    TChargeList::SplitChargeText(log.ChargeStringList.text(index), texts[LogFileField],
                                 texts[CommentField]);
    return texts;
}

QString TChargeDataForm::fieldCaption(int field)
{
    static const char *const captions[FieldCount] = {QT_TR_NOOP("Date and time"),
                                                     QT_TR_NOOP("PowerSource"),
                                                     QT_TR_NOOP("Charger"),
                                                     QT_TR_NOOP("Battery"),
                                                     QT_TR_NOOP("Nominal Charge Amps"),
                                                     QT_TR_NOOP("AmpHours"),
                                                     QT_TR_NOOP("Termination"),
                                                     QT_TR_NOOP("Comment"),
                                                     QT_TR_NOOP("Charger Log FileName")};
    return tr(captions[field]);
}

void TChargeDataForm::setFieldText(int field, const QString &text)
{
    switch (field) {
    case DateTimeField: {
        const QDateTime at = QDateTime::fromString(text, Qt::ISODate);
        setDateTime(DateTimeText::fromWallClock(at.date(), at.time()));
        break;
    }
    case PowerSourceField:
        PowerSourcesComboBox->setEditText(text);
        break;
    case ChargerField:
        ChargersComboBox->setEditText(text);
        break;
    case BatteryField:
        BatteriesComboBox->setEditText(text);
        break;
    case AmpsField:
        NominalChargeAmpsLabeledEdit->setText(text);
        break;
    case AmpHoursField:
        AmpHoursLabeledEdit->setText(text);
        break;
    case TerminationField:
        TerminationsComboBox->setEditText(text);
        break;
    case CommentField:
        CommentLabeledEdit->setText(text);
        break;
    case LogFileField:
        ChargerLogFileNameLabeledEdit->setText(text);
        break;
    }
}

void TChargeDataForm::followRecord()
{
    if (RecordKey < 0 || m_discarded)
        return;
    const int index = m_store->chargeLog().FindChargeIndex(RecordKey);
    if (index < 0) {
        // OK stores nothing then; the user should know before pressing it.
        m_recordGone = true;
        ChangedElsewhereLabel->setText(tr("This charge was deleted elsewhere: OK stores nothing."));
        return;
    }
    const FieldTexts now = recordTexts(index);
    const FieldTexts shown = shownTexts();
    const double exactDateTime = m_store->chargeLog().ChargeStringList.record(index).DateTime;
    QStringList followed;
    for (int field = 0; field < FieldCount; ++field) {
        if (now[field] == m_filled[field]) {
            if (field == DateTimeField && shown[field] == m_filled[field])
                m_filledDateTime = exactDateTime; // the same second, to the last digit
            continue;
        }
        if (shown[field] == m_filled[field]) {
            // Untouched here: it follows the log.
            if (field == DateTimeField)
                setDateTime(exactDateTime);
            else
                setFieldText(field, now[field]);
            followed << fieldCaption(field);
            m_conflicts.remove(field);
        } else if (shown[field] == now[field]) {
            m_conflicts.remove(field); // both made the same change
        } else {
            m_conflicts.insert(field, now[field]);
        }
        m_filled[field] = now[field];
    }
    if (m_recordGone) {
        m_recordGone = false;
        ChangedElsewhereLabel->clear();
    }
    if (followed.isEmpty() && m_conflicts.isEmpty())
        return;
    QStringList notice;
    if (!followed.isEmpty())
        notice
            << tr("Changed elsewhere and shown here: %1.").arg(followed.join(QStringLiteral(", ")));
    if (!m_conflicts.isEmpty()) {
        QStringList both;
        for (auto it = m_conflicts.cbegin(); it != m_conflicts.cend(); ++it)
            both << fieldCaption(it.key());
        notice << tr("Changed elsewhere and here: %1.").arg(both.join(QStringLiteral(", ")));
    }
    ChangedElsewhereLabel->setText(notice.join(QLatin1Char(' ')));
}

bool TChargeDataForm::confirmOverConflicts()
{
    const FieldTexts shown = shownTexts();
    QStringList lines;
    for (auto it = m_conflicts.cbegin(); it != m_conflicts.cend(); ++it)
        if (shown[it.key()] != it.value())
            lines << tr("%1: %2 in the log, %3 here")
                         .arg(fieldCaption(it.key()), it.value(), shown[it.key()]);
    if (lines.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, tr("ChargeData"),
                    tr("This charge was changed elsewhere while the dialog was open, in fields "
                       "you changed too:\n\n%1\n\nStore your values over the log's, or take "
                       "the log's values into the dialog?")
                        .arg(lines.join(QLatin1Char('\n'))),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("ChangedElsewhereBox"));
    const QList<QPushButton *> buttons =
        ErrorBox::addButtonsInOrder(box, {{tr("&Keep Mine"), QStringLiteral("KeepMineButton")},
                                          {tr("&Take the Log's"), QStringLiteral("TakeLogsButton")},
                                          {tr("Cancel"), QStringLiteral("CancelButton")}});
    ErrorBox::makeWindowModal(&box);
    box.exec();
    if (m_discarded)
        return false;
    if (box.clickedButton() == buttons[0]) {
        m_conflicts.clear();
        return true;
    }
    if (box.clickedButton() == buttons[1]) {
        for (auto it = m_conflicts.cbegin(); it != m_conflicts.cend(); ++it)
            setFieldText(it.key(), it.value());
        m_conflicts.clear();
        ChangedElsewhereLabel->setText(tr("The log's values were taken; OK stores them."));
    }
    return false;
}

void TChargeDataForm::LoadComboBox(QComboBox *box, const TNameList *list, qint32 index)
{
    if (!list)
        return;
    box->clear();
    box->addItems(list->names());
    // Adding to an empty box selects its first choice; only a valid index selects one here.
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    if (box->currentIndex() < 0)
        box->setEditText(QString());
}

void TChargeDataForm::CheckComboBox(QComboBox *box)
{
    box->setFocus(Qt::OtherFocusReason);
    const QString typed = box->currentText();
    const QString name = TNameList::trimmedName(typed);
    if (name.isEmpty())
        throw QorLogError(tr("Empty value"));
    if (box->findText(name, Qt::MatchFixedString) < 0) {
        box->addItem(name);
        // Adding the first choice would select it; the entry keeps what was typed.
        if (box->currentText() != typed)
            box->setEditText(typed);
    }
}

void TChargeDataForm::checkNumber(QLineEdit *edit)
{
    edit->setFocus(Qt::OtherFocusReason);
    NumberText::toFloatTyped(edit->text(), locale());
}

bool TChargeDataForm::ValidateChargeData()
{
    try {
        DatePicker->setFocus(Qt::OtherFocusReason);
        if (pickedDateTime() > DateTimeText::now())
            throw QorLogError(tr("Date is in the future"));
        CheckComboBox(PowerSourcesComboBox);
        CheckComboBox(ChargersComboBox);
        CheckComboBox(BatteriesComboBox);
        checkNumber(NominalChargeAmpsLabeledEdit);
        checkNumber(AmpHoursLabeledEdit);
        CheckComboBox(TerminationsComboBox);
    } catch (const QorLogError &error) {
        // A check of what was typed: the box tells the user, no beep (that is for failures).
        ErrorBox::showCheckFailure(error.message(), this);
        return false;
    }
    return true;
}

TChargeDataForm::TChargeData TChargeDataForm::GetChargeData() const
{
    TChargeData data;
    data.key = RecordKey;
    data.dateTime = pickedDateTime();
    data.powerSource = PowerSourcesComboBox->currentText();
    data.charger = ChargersComboBox->currentText();
    data.battery = BatteriesComboBox->currentText();
    data.amps = NumberText::toFloatTyped(NominalChargeAmpsLabeledEdit->text(), locale());
    data.ampHours = NumberText::toFloatTyped(AmpHoursLabeledEdit->text(), locale());
    data.termination = TerminationsComboBox->currentText();
    data.comment = CommentLabeledEdit->text();
    data.logFile = ChargerLogFileNameLabeledEdit->text();
    return data;
}

void TChargeDataForm::OkBitBtnClick()
{
    if (m_discarded)
        return;
    ++m_handlersRunning;
    // A failed check or a failed store leaves the dialog open with everything as typed.
    setResult(QDialog::Rejected);
    bool stored = false;
    ErrorBox::guard(
        [this, &stored] {
            if (!ValidateChargeData() || m_discarded || !confirmOverConflicts())
                return;
            const TChargeData data = GetChargeData();
            m_store->AddChargeRecord(data.key, data.dateTime, data.powerSource, data.charger,
                                     data.battery, data.amps, data.ampHours, data.termination,
                                     data.comment, data.logFile);
            stored = true;
        },
        this);
    --m_handlersRunning;
    if (m_discarded) {
        if (m_handlersRunning == 0)
            deleteLater();
        return;
    }
    if (stored)
        accept();
}

void TChargeDataForm::discard()
{
    if (m_discarded)
        return;
    m_discarded = true;
    setAttribute(Qt::WA_DeleteOnClose, false);
    hide();
    // A box of this dialog ends now; its handler then finds the dialog discarded.
    for (QDialog *box : findChildren<QDialog *>())
        if (box->isVisible())
            box->reject();
    if (m_handlersRunning == 0)
        deleteLater();
}

void TChargeDataForm::CancelBitBtnClick()
{
    reject();
}

void TChargeDataForm::closeEvent(QCloseEvent *event)
{
    // Closing is always allowed; WA_DeleteOnClose frees the dialog afterwards.
    event->accept();
}

bool TChargeDataForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in a combo box presses OK, as in every other entry; an editable box would
    // otherwise take it to accept its inline completion. With the drop-down list open,
    // Enter picks from the list as usual.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            QWidget *widget = qobject_cast<QWidget *>(watched);
            auto *box = widget ? qobject_cast<QComboBox *>(widget) : nullptr;
            if (!box && widget)
                box = qobject_cast<QComboBox *>(widget->parentWidget());
            if (box && !box->view()->isVisible()) {
                OkBitBtn->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

namespace {

// Where a dialog with the frame `frame` lands near its wished place without covering any of
// `keepClear`, inside `available`: moved beside (right, left, below, above) the window in the
// way, the smallest move that fits. Unchanged when nothing is in the way or nothing fits.
QRect clearOf(QRect frame, const QList<QRect> &keepClear, const QRect &available)
{
    const auto coversAny = [&keepClear](const QRect &r) {
        for (const QRect &other : keepClear)
            if (r.intersects(other))
                return true;
        return false;
    };
    if (!coversAny(frame))
        return frame;
    const auto inside = [&available](QRect r) {
        r.moveLeft(qBound(available.left(), r.left(),
                          qMax(available.left(), available.right() - r.width() + 1)));
        r.moveTop(qBound(available.top(), r.top(),
                         qMax(available.top(), available.bottom() - r.height() + 1)));
        return r;
    };
    QRect best = frame;
    int bestMove = -1;
    for (const QRect &other : keepClear) {
        QRect right = frame, left = frame, below = frame, above = frame;
        right.moveLeft(other.right() + 1);
        left.moveRight(other.left() - 1);
        below.moveTop(other.bottom() + 1);
        above.moveBottom(other.top() - 1);
        for (QRect candidate : {right, left, below, above}) {
            candidate = inside(candidate);
            if (!available.contains(candidate) || coversAny(candidate))
                continue;
            const int move = (candidate.topLeft() - frame.topLeft()).manhattanLength();
            if (bestMove < 0 || move < bestMove) {
                best = candidate;
                bestMove = move;
            }
        }
    }
    return best;
}

// The frames of the program's windows that wait for the user (questions, modal dialogs).
QList<QRect> waitingWindows(const QWidget *except)
{
    QList<QRect> frames;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != except && window->isVisible() && window->isModal())
            frames.append(window->frameGeometry());
    return frames;
}

} // namespace

void TChargeDataForm::showCentredOn(QWidget *mainWindow)
{
    QRect area;
    if (mainWindow) {
        const QRect frame = mainWindow->frameGeometry();
        area = QRect(frame.center() - QPoint(width() / 2, height() / 2), size());
        if (const QScreen *screen = mainWindow->screen()) {
            // Keep the title bar on the main window's screen.
            const QRect available = screen->availableGeometry();
            area.moveLeft(qBound(available.left(), area.left(),
                                 qMax(available.left(), available.right() - width())));
            area.moveTop(qBound(available.top(), area.top(),
                                qMax(available.top(), available.bottom() - height())));
            // A question or dialog of the program that waits for the user stays in sight: this
            // dialog takes input beside it, and a window manager may not let it be raised over
            // a window that stays on top. move() places the frame, taken to be as wide as the
            // main window's.
            const QRect client = mainWindow->geometry();
            const QSize frameSize = size() + frame.size() - client.size();
            area.moveTopLeft(
                clearOf(QRect(area.topLeft(), frameSize), waitingWindows(this), available)
                    .topLeft());
        }
        move(area.topLeft());
    }
    show();
    raise();
    activateWindow();
}
