#include "ChargeDataFormUnit.h"
#include "ErrorBox.h"
#include "NumberText.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <ctime>

namespace {

using Data = TChargeDataForm::TChargeData;

// A store over a real charge log that records every call and can be told to fail.
class FakeStore : public IChargeRecordStore
{
public:
    TChargeLog log;
    QList<Data> calls;
    QString failure;

    const TChargeLog &chargeLog() const override { return log; }
    void AddChargeRecord(qint32 key, double dateTime, const QString &ps, const QString &charger,
                         const QString &battery, double amps, double ampHours,
                         const QString &termination, const QString &comment,
                         const QString &logFile) override
    {
        calls.append(Data{key, dateTime, ps, charger, battery, amps, ampHours, termination, comment,
                          logFile});
        if (!failure.isEmpty())
            throw QorLogError(failure);
        add(key, dateTime, ps, charger, battery, amps, ampHours, termination, comment, logFile);
    }
    qint32 add(qint32 key, double dateTime, const QString &ps, const QString &charger,
               const QString &battery, double amps, double ampHours, const QString &termination,
               const QString &comment = {}, const QString &logFile = {})
    {
        const qint32 stored = log.StoreChargeRecord(key, dateTime, ps, charger, battery, amps,
                                                    ampHours, termination, comment, logFile);
        log.ChargeStringList.sortByDateTime();
        return stored;
    }
    qint32 seed(double dateTime = 44000.5, const QString &battery = "C cell")
    {
        return add(-1, dateTime, "Grid", "Slow", battery, 2, 3, "Delta V");
    }
};

// Presses OK the way a user does and closes every error box it brings up, like a user
// pressing the box's OK; returns the texts the boxes showed.
QStringList pressOk(TChargeDataForm *form)
{
    QStringList texts;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&texts] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (box && box->isVisible()) {
                texts.append(box->text());
                box->button(QMessageBox::Ok)->click();
            }
        }
    });
    closer.start(5);
    QTest::mouseClick(form->OkBitBtn, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return texts;
}

// The dialog's own control that holds `widget` (combo boxes and pickers have inner editors).
QString controlOf(QWidget *widget)
{
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (qobject_cast<TChargeDataForm *>(w->parentWidget()))
            return w->objectName();
    }
    return {};
}

QString entryText(TChargeDataForm *form, const QString &control)
{
    if (auto *box = form->findChild<QComboBox *>(control))
        return box->currentText();
    return form->findChild<QLineEdit *>(control)->text();
}

void setEntry(TChargeDataForm *form, const QString &control, const QString &text)
{
    if (auto *box = form->findChild<QComboBox *>(control))
        box->setEditText(text);
    else
        form->findChild<QLineEdit *>(control)->setText(text);
}

QStringList choices(const QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list.append(box->itemText(i));
    return list;
}

} // namespace

class TestChargeDataForm : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void windowAndControls();
    void opensUsableBesideAWaitingDialog_data();
    void opensUsableBesideAWaitingDialog();
    void tabOrder();
    void browseButtonFillsTheFileName();
    void newChargePrefill_data();
    void newChargePrefill();
    void editByKeyReplacesRecord();
    void okOutcome_data();
    void okOutcome();
    void firstFaultOnlyInOrder();
    void pickersShowTheWallClock_data();
    void pickersShowTheWallClock();
    void numberTyping_data();
    void numberTyping();
    void twoDialogsOnOneRecordLaterOkWins();
    void recordDeletedWhileOpen();
    void failingStoreKeepsDialogOpen();
    void automationPrefill_data();
    void automationPrefill();
    void closingStoresNothing_data();
    void closingStoresNothing();
    void enterInAnEntryPressesOk_data();
    void enterInAnEntryPressesOk();
    void everyControlIsNamed();
    void decimalSeparatorOfTheLocale_data();
    void decimalSeparatorOfTheLocale();
};

void TestChargeDataForm::cleanup()
{
    QLocale::setDefault(QLocale::c());
    qDeleteAll(TChargeDataForm::openForms());
}

void TestChargeDataForm::windowAndControls()
{
    FakeStore store;
    QWidget mainWindow;
    mainWindow.setGeometry(0, 0, 600, 400);
    mainWindow.show();
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, &mainWindow);
    QVERIFY(QTest::qWaitForWindowExposed(form));

    QCOMPARE(form->windowTitle(), QStringLiteral("ChargeData"));
    QVERIFY(!form->parent() && !form->isModal() && form->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(form->windowFlags() & (Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint));
    QVERIFY(!(form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(form->size(), QSize(403, 262)); // the "…" button fits into the design's width
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(
        (form->frameGeometry().center() - mainWindow.frameGeometry().center()).manhattanLength() <
        4);
    QCOMPARE(TChargeDataForm::openForms(), QList<TChargeDataForm *>{form});
    QCOMPARE(controlOf(form->focusWidget()), QStringLiteral("PowerSourcesComboBox"));
    QVERIFY(form->OkBitBtn->isDefault());
    for (QComboBox *box : form->findChildren<QComboBox *>())
        QVERIFY(box->isEditable() && box->insertPolicy() == QComboBox::NoInsert);

    // Nothing is cut off at this font: every control gets at least its own height (labels also
    // their width), lies inside the client area and overlaps no other.
    const QList<QWidget *> controls = form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 25);
    for (QWidget *w : controls) {
        const QString name = w->objectName();
        QVERIFY2(form->rect().contains(w->geometry()), qPrintable(name));
        QVERIFY2(w->height() >= w->sizeHint().height(), qPrintable(name));
        if (qobject_cast<QLabel *>(w))
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name));
        for (QWidget *other : controls)
            QVERIFY2(other == w || !w->geometry().intersects(other->geometry()),
                     qPrintable(name + " overlaps " + other->objectName()));
    }
}

// A dialog of the main window waits for the user when a charge data dialog opens (as when a
// call from another program arrives): the new dialog takes clicks at once and keeps clear of
// the waiting one where the screen has room.
void TestChargeDataForm::opensUsableBesideAWaitingDialog_data()
{
    QTest::addColumn<QSize>("waitingSize");
    QTest::addColumn<bool>("roomBeside");
    QTest::newRow("small box") << QSize(250, 120) << true;
    QTest::newRow("no room on the screen") << QSize(780, 580) << false;
}

void TestChargeDataForm::opensUsableBesideAWaitingDialog()
{
    QFETCH(QSize, waitingSize);
    QFETCH(bool, roomBeside);
    FakeStore store;
    QWidget mainWindow;
    mainWindow.setGeometry(0, 0, 600, 400);
    mainWindow.show();
    QDialog waiting(&mainWindow);
    ErrorBox::makeWindowModal(&waiting);
    waiting.setFixedSize(waitingSize);
    waiting.open();
    QVERIFY(QTest::qWaitForWindowExposed(&waiting));

    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, &mainWindow);
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(mainWindow.screen()->availableGeometry().contains(form->frameGeometry()));
    QCOMPARE(form->frameGeometry().intersects(waiting.frameGeometry()), !roomBeside);
    // Through the window system, where a modal window blocks the windows it is modal to.
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {},
                      form->CancelBitBtn->mapTo(form.data(), form->CancelBitBtn->rect().center()));
    QTRY_VERIFY(!form || !form->isVisible());
    QVERIFY(waiting.isVisible());
}

void TestChargeDataForm::tabOrder()
{
    FakeStore store;
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowActive(form));
    // "Show Charger Log" takes the focus when there is a name to show.
    form->ChargerLogFileNameLabeledEdit->setText(QStringLiteral("charger.log"));
    form->DatePicker->setFocus();

    // As laid out: row by row, the file name's buttons beside it, then OK and Cancel.
    const QStringList expected = {"TimePicker",
                                  "PowerSourcesComboBox",
                                  "ChargersComboBox",
                                  "BatteriesComboBox",
                                  "NominalChargeAmpsLabeledEdit",
                                  "AmpHoursLabeledEdit",
                                  "TerminationsComboBox",
                                  "CommentLabeledEdit",
                                  "ChargerLogFileNameLabeledEdit",
                                  "ChargerLogShowBtn",
                                  "ChargerLogFileNameBrowseBtn",
                                  "OkBitBtn",
                                  "CancelBitBtn",
                                  "DatePicker"};
    // Tab first steps through the sections of a date or time picker, then leaves it.
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        const QString from = controlOf(QApplication::focusWidget());
        for (int press = 0; press < 8 && controlOf(QApplication::focusWidget()) == from; ++press)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(controlOf(QApplication::focusWidget()));
    }
    QCOMPARE(visited, expected);
}

void TestChargeDataForm::browseButtonFillsTheFileName()
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("charger.log"));
    QFile file(chosen);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    FakeStore store;
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(form));
    // Typing still works; the chooser starts in the folder of the name typed.
    form->ChargerLogFileNameLabeledEdit->setText(dir.filePath(QStringLiteral("other.log")));
    QString startedIn;
    QTimer::singleShot(0, form, [&] {
        auto *dialog = form->findChild<QFileDialog *>(QStringLiteral("ChargerLogFileDialog"));
        QVERIFY(dialog);
        startedIn = dialog->directory().absolutePath();
        dialog->selectFile(chosen);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog's own accept is protected
    });
    form->ChargerLogFileNameBrowseBtn->click();
    QCOMPARE(startedIn, QDir(dir.path()).absolutePath());
    QCOMPARE(form->ChargerLogFileNameLabeledEdit->text(), chosen);
}

void TestChargeDataForm::newChargePrefill_data()
{
    QTest::addColumn<bool>("withCharges");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("numbers");

    // On an empty log the zero record selects the first name of each list that has one.
    const TChargeLog empty;
    QStringList first;
    for (auto kind : {TChargeLog::NameKind::PowerSource, TChargeLog::NameKind::Charger,
                      TChargeLog::NameKind::Battery, TChargeLog::NameKind::Termination})
        first.append(empty.nameList(kind).name(0));
    QTest::newRow("empty log") << false << first << "0 0";
    QTest::newRow("latest charge repeated")
        << true << QStringList{"Solar", "Fast", "AA pack", "Timer"} << "-1.25 0.7";
}

void TestChargeDataForm::newChargePrefill()
{
    QFETCH(bool, withCharges);
    QFETCH(QStringList, names);
    QFETCH(QString, numbers);

    FakeStore store;
    if (withCharges) {
        // Added out of date order: the latest by date-time is the one repeated.
        store.add(-1, 45000.5, "Solar", "Fast", "AA pack", -1.25, 0.7, "Timer", "c", "f.log");
        store.seed(44000.5);
    }
    const double before = DateTimeText::now();
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    const double after = DateTimeText::now();

    const Data data = form->GetChargeData();
    QCOMPARE(data.key, -1);
    QCOMPARE(QStringList({data.powerSource, data.charger, data.battery, data.termination}), names);
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text() + ' ' + form->AmpHoursLabeledEdit->text(),
             numbers);
    QVERIFY(data.comment.isEmpty() && data.logFile.isEmpty());
    QVERIFY(data.dateTime >= before && data.dateTime <= after);
    const QDate day = form->DatePicker->date();
    QVERIFY(day == DateTimeText::toWallClock(before).date ||
            day == DateTimeText::toWallClock(after).date);
    QCOMPARE(choices(form->BatteriesComboBox), store.log.BatteriesStringList.names());
}

void TestChargeDataForm::editByKeyReplacesRecord()
{
    FakeStore store;
    const double when = 44123.456789123; // not a whole second: must come back unchanged
    store.seed(44000.25);
    const qint32 key =
        store.add(-1, when, "Solar", "Fast", "AA pack", 1.5, 2.25, "Timer", "a*b", "f.log");
    store.seed(45000.75, "D cell");

    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    const Data shown = form->GetChargeData();
    QCOMPARE(shown.key, key);
    QCOMPARE(QStringList({shown.powerSource, shown.charger, shown.battery, shown.termination,
                          shown.comment, shown.logFile}),
             QStringList({"Solar", "Fast", "AA pack", "Timer", "a*b", "f.log"}));
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), QStringLiteral("1.5"));
    QCOMPARE(form->AmpHoursLabeledEdit->text(), QStringLiteral("2.25"));
    QCOMPARE(form->DatePicker->date(), DateTimeText::toWallClock(when).date);
    QCOMPARE(form->TimePicker->time().toString("HH:mm:ss"),
             DateTimeText::toWallClock(when).time.toString("HH:mm:ss"));

    form->NominalChargeAmpsLabeledEdit->setText("3");
    QCOMPARE(pressOk(form), QStringList());
    QVERIFY(!form);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.log.ChargeStringList.count(), 3);
    const int index = store.log.FindChargeIndex(key);
    QCOMPARE(store.log.ChargeStringList.record(index).NominalChargeAmps, 3.0);
    QCOMPARE(store.log.ChargeStringList.record(index).DateTime, when);
    QCOMPARE(store.log.ChargeStringList.text(index), QStringLiteral("f.log*a*b"));
}

void TestChargeDataForm::okOutcome_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text"); // for DatePicker: "days-from-today time"
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");

    const auto row = [](const char *name, const QString &control, const QString &text,
                        const QString &message, const QString &stored = {}) {
        QTest::newRow(name) << control << text << message << stored;
    };
    const QString amps = "NominalChargeAmpsLabeledEdit";
    const QString ampHours = "AmpHoursLabeledEdit";
    const QString notNumber = "'%1' is not a valid floating point value";
    const QString future = "Date is in the future";
    const QString empty = "Empty value";
    row("today, later time", "DatePicker", "0 23:59:59.999", future);
    row("tomorrow", "DatePicker", "1 00:00:00.000", future);
    row("yesterday, same time", "DatePicker", "-1 23:59:59.999", "");
    row("power source blanks", "PowerSourcesComboBox", "   ", empty);
    row("charger empty", "ChargersComboBox", "", empty);
    row("battery tab", "BatteriesComboBox", "\t", empty);
    row("termination empty", "TerminationsComboBox", "", empty);
    row("new battery trimmed", "BatteriesComboBox", "  AAA set ", "", "AAA set");
    row("known battery, other case", "BatteriesComboBox", "c CELL", "", "C cell");
    row("amps abc", amps, "abc", notNumber.arg("abc"));
    row("amps huge exponent", amps, "1e999", notNumber.arg("1e999"));
    row("amps grouped", amps, "1,000.5", notNumber.arg("1,000.5"));
    row("amps negative", amps, "-3", "", "-3");
    row("amps point, blanks", amps, " 1.5 ", "", "1.5");
    row("amps comma in an English locale", amps, "1,5", notNumber.arg("1,5"));
    row("amps exponent", amps, "+2.5E3", "", "2500");
    row("amp-hours empty", ampHours, "", notNumber.arg(""));
    row("amp-hours inf", ampHours, "inf", notNumber.arg("inf"));
    row("amp-hours unit", ampHours, "2 Ah", notNumber.arg("2 Ah"));
}

void TestChargeDataForm::okOutcome()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, stored);

    FakeStore store;
    store.seed();
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    form->CommentLabeledEdit->setText("kept");
    const QDate today = QDate::currentDate();
    if (control == "DatePicker") {
        if (QTime::currentTime() >= QTime(23, 59, 59))
            QSKIP("too close to midnight");
        form->DatePicker->setDate(today.addDays(text.section(' ', 0, 0).toInt()));
        form->TimePicker->setTime(QTime::fromString(text.section(' ', 1), "HH:mm:ss.zzz"));
    } else {
        setEntry(form, control, text);
    }

    const int beeps = ErrorBox::beepCount();
    const QStringList shown = pressOk(form);
    QCOMPARE(ErrorBox::beepCount(), beeps); // a refused entry shows its box without a beep
    if (!message.isEmpty()) {
        QCOMPARE(shown, QStringList{message});
        QVERIFY(form && form->isVisible() && store.calls.isEmpty());
        QCOMPARE(controlOf(form->focusWidget()), control);
        QCOMPARE(form->CommentLabeledEdit->text(), QStringLiteral("kept"));
        if (control != "DatePicker")
            QCOMPARE(entryText(form, control), text);
        return;
    }
    QCOMPARE(shown, QStringList());
    QVERIFY(!form);
    QCOMPARE(store.calls.size(), 1);
    const TChargeRecord record = store.log.ChargeStringList.record(1);
    if (control == "BatteriesComboBox") {
        QCOMPARE(store.calls[0].battery, text); // handed over as typed
        QCOMPARE(store.log.BatteriesStringList.name(record.BatteryIndex), stored);
    } else if (control == "NominalChargeAmpsLabeledEdit") {
        QCOMPARE(NumberText::formatGeneral(record.NominalChargeAmps), stored);
    } else if (control == "DatePicker") {
        QCOMPARE(DateTimeText::toWallClock(record.DateTime).date, today.addDays(-1));
        QCOMPARE(DateTimeText::toWallClock(record.DateTime).time, QTime(23, 59, 59, 999));
    }
}

void TestChargeDataForm::firstFaultOnlyInOrder()
{
    FakeStore store;
    store.seed();
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    form->DatePicker->setDate(QDate::currentDate().addYears(1));
    const QStringList faulty = {"PowerSourcesComboBox", "BatteriesComboBox",
                                "NominalChargeAmpsLabeledEdit", "AmpHoursLabeledEdit",
                                "TerminationsComboBox"};
    for (const QString &control : faulty)
        setEntry(form, control, " ");
    form->ChargersComboBox->setEditText(" New charger ");

    // Each OK reports only the first fault; mending it brings up the next.
    QCOMPARE(pressOk(form), QStringList{"Date is in the future"});
    QCOMPARE(controlOf(form->focusWidget()), QStringLiteral("DatePicker"));
    form->DatePicker->setDate(QDate::currentDate().addDays(-1));
    for (const QString &control : faulty) {
        const bool number = control.endsWith("LabeledEdit");
        QCOMPARE(pressOk(form).value(0),
                 number ? "' ' is not a valid floating point value" : "Empty value");
        QCOMPARE(controlOf(form->focusWidget()), control);
        setEntry(form, control, number ? "1" : "X");
    }
    // The charger passed its check before the battery failed: its new name stayed a choice.
    QVERIFY(choices(form->ChargersComboBox).contains("New charger"));
    QVERIFY(store.calls.isEmpty());

    QCOMPARE(pressOk(form), QStringList());
    QVERIFY(!form);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].charger, QStringLiteral(" New charger "));
}

void TestChargeDataForm::pickersShowTheWallClock_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    const QTime gap(2, 30);
    for (const char *zone : {"Europe/Berlin", "America/New_York", "UTC"}) {
        QTest::addRow("%s Berlin gap", zone) << QByteArray(zone) << QDate(2023, 3, 26) << gap;
        QTest::addRow("%s New York gap", zone) << QByteArray(zone) << QDate(2023, 3, 12) << gap;
        QTest::addRow("%s Berlin repeat", zone) << QByteArray(zone) << QDate(2023, 10, 29) << gap;
        QTest::addRow("%s year 100", zone) << QByteArray(zone) << QDate(100, 1, 1) << gap;
        QTest::addRow("%s before 1752", zone) << QByteArray(zone) << QDate(1700, 2, 3) << gap;
    }
}

// A date-time is a wall-clock reading: shown, edited and handed back with no time zone.
void TestChargeDataForm::pickersShowTheWallClock()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    qputenv("TZ", zone);
    tzset();
    FakeStore store;
    const qint32 key = store.seed(DateTimeText::fromWallClock(date, time));
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    QCOMPARE(form->DatePicker->date(), date);
    QCOMPARE(form->TimePicker->time(), time);
    QCOMPARE(form->GetChargeData().dateTime, DateTimeText::fromWallClock(date, time));

    // Changing only the time keeps the date, also to a time the local clock skipped.
    form->TimePicker->setFocus();
    form->TimePicker->setSelectedSection(QDateTimeEdit::MinuteSection);
    QTest::keyClick(form->TimePicker, Qt::Key_Up);
    QCOMPARE(form->TimePicker->time(), time.addSecs(60));
    QCOMPARE(form->DatePicker->date(), date);
    QCOMPARE(form->GetChargeData().dateTime, DateTimeText::fromWallClock(date, time.addSecs(60)));
    delete form;
    qunsetenv("TZ");
    tzset();
}

void TestChargeDataForm::numberTyping_data()
{
    QTest::addColumn<QString>("before"); // as set by a caller, e.g. automation
    QTest::addColumn<QString>("typed");  // "\b" is a backspace
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message"); // on OK; "*" when it depends on the locale

    const QString notNumber = "'%1' is not a valid floating point value";
    QTest::newRow("letters kept") << ""
                                  << "abc"
                                  << "abc" << notNumber.arg("abc");
    QTest::newRow("pasted unit kept") << ""
                                      << "2 Ah"
                                      << "2 Ah" << notNumber.arg("2 Ah");
    QTest::newRow("full form") << ""
                               << "-3.5e+2"
                               << "-3.5e+2"
                               << "";
    QTest::newRow("nan edited") << "nan"
                                << "\b\b\b1.5"
                                << "1.5"
                                << "";
    QTest::newRow("nan extended") << "nan"
                                  << "x"
                                  << "nanx" << notNumber.arg("nanx");
    QTest::newRow("1e400 edited") << "1e400"
                                  << "\b\b\b5"
                                  << "1e5"
                                  << "";
    QTest::newRow("Arabic separator edited") << "1\u066B5"
                                             << "\b7"
                                             << "1\u066B7"
                                             << "*";
}

void TestChargeDataForm::numberTyping()
{
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    FakeStore store;
    store.seed(); // every other entry passes its check
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->AmpHoursLabeledEdit->setText(before);
    form->AmpHoursLabeledEdit->setFocus();
    form->AmpHoursLabeledEdit->end(false);
    for (QChar c : typed) {
        if (c == QLatin1Char('\b'))
            QTest::keyClick(form->AmpHoursLabeledEdit, Qt::Key_Backspace);
        else
            QTest::keyClicks(form->AmpHoursLabeledEdit, QString(c));
    }
    QCOMPARE(form->AmpHoursLabeledEdit->text(), shown);
    if (message == QLatin1String("*"))
        return;
    QCOMPARE(pressOk(form), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(store.calls.size(), message.isEmpty() ? 1 : 0);
    if (!message.isEmpty()) {
        QVERIFY(form);
        QCOMPARE(form->focusWidget(), form->AmpHoursLabeledEdit);
        QCOMPARE(form->AmpHoursLabeledEdit->text(), shown);
    }
}

void TestChargeDataForm::twoDialogsOnOneRecordLaterOkWins()
{
    FakeStore store;
    const qint32 key = store.seed();
    TChargeDataForm *first = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    TChargeDataForm *second = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    first->NominalChargeAmpsLabeledEdit->setText("5");
    second->NominalChargeAmpsLabeledEdit->setText("7");
    pressOk(second);
    pressOk(first);

    QVERIFY(TChargeDataForm::openForms().isEmpty());
    QCOMPARE(store.calls.size(), 2);
    QCOMPARE(store.log.ChargeStringList.count(), 1);
    QCOMPARE(store.log.ChargeStringList.record(0).Key, key);
    QCOMPARE(store.log.ChargeStringList.record(0).NominalChargeAmps, 5.0);
}

void TestChargeDataForm::recordDeletedWhileOpen()
{
    FakeStore store;
    store.seed();
    const qint32 key = store.seed(44001.5, "D cell");
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    store.log.ChargeStringList.removeAt(store.log.FindChargeIndex(key));
    form->BatteriesComboBox->setEditText("Brand new");

    QCOMPARE(pressOk(form), QStringList());
    QVERIFY(!form);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].key, key);
    QCOMPARE(store.log.ChargeStringList.count(), 1);
    QVERIFY(store.log.BatteriesStringList.indexOf("Brand new") >= 0);
}

void TestChargeDataForm::failingStoreKeepsDialogOpen()
{
    FakeStore store;
    store.failure = "Cannot write the log file";
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    form->BatteriesComboBox->setEditText("Pack");
    form->CommentLabeledEdit->setText("first try");

    const int beeps = ErrorBox::beepCount();
    QCOMPARE(pressOk(form), QStringList{"Cannot write the log file"});
    QCOMPARE(ErrorBox::beepCount(), beeps + 1); // a failure beeps
    QVERIFY(form && form->isVisible());
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(form->CommentLabeledEdit->text(), QStringLiteral("first try"));
    QCOMPARE(form->BatteriesComboBox->currentText(), QStringLiteral("Pack"));

    // Once the store works again the same dialog stores and closes.
    store.failure.clear();
    QCOMPARE(pressOk(form), QStringList());
    QVERIFY(!form);
    QCOMPARE(store.log.ChargeStringList.count(), 1);
}

void TestChargeDataForm::automationPrefill_data()
{
    QTest::addColumn<bool>("withCharges");
    QTest::addColumn<bool>("hideLatest");
    QTest::addColumn<bool>("usePrevious");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("powerSource");
    QTest::addColumn<QString>("amps");

    const auto row = [](const char *name, bool withCharges, bool hideLatest, bool usePrevious,
                        const QString &locale, const QString &powerSource, const QString &amps) {
        QTest::newRow(name) << withCharges << hideLatest << usePrevious << locale << powerSource
                            << amps;
    };
    row("previous, empty log", false, false, true, "C", "Passed", "1.5");
    row("previous taken", true, false, true, "C", "Car", "1.5");
    row("hidden previous taken", true, true, true, "C", "Car", "1.5");
    row("argument kept", true, false, false, "C", "Passed", "1.5");
    row("user's separator", true, false, false, "de_DE", "Passed", "1,5");
}

void TestChargeDataForm::automationPrefill()
{
    QFETCH(bool, withCharges);
    QFETCH(bool, hideLatest);
    QFETCH(bool, usePrevious);
    QFETCH(QString, locale);
    QFETCH(QString, powerSource);
    QFETCH(QString, amps);

    QLocale::setDefault(QLocale(locale));
    FakeStore store;
    if (withCharges) {
        store.add(-1, 44002.5, "Car", "Slow", "C cell", 2, 3, "Delta V");
        store.seed(44001.5);
        store.log.PowerSourcesStringList.setMarked(store.log.PowerSourcesStringList.indexOf("Car"),
                                                   hideLatest);
    }
    const double when = 44500.75;
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenForAutomation(
        &store, when, "Passed", usePrevious, "Charger X", "Battery Y", 1.5, 2, "Full",
        "from a client", "client.log", nullptr);

    const Data shown = form->GetChargeData();
    QCOMPARE(shown.key, -1);
    QCOMPARE(QStringList({shown.powerSource, shown.charger, shown.battery, shown.termination,
                          shown.comment, shown.logFile}),
             QStringList(
                 {powerSource, "Charger X", "Battery Y", "Full", "from a client", "client.log"}));
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), amps);
    QCOMPARE(form->AmpHoursLabeledEdit->text(), QStringLiteral("2"));
    QCOMPARE(form->DatePicker->date(), DateTimeText::toWallClock(when).date);
    QCOMPARE(form->TimePicker->time(), DateTimeText::toWallClock(when).time);
    QCOMPARE(choices(form->PowerSourcesComboBox), store.log.PowerSourcesStringList.names());

    QCOMPARE(pressOk(form), QStringList());
    QVERIFY(!form);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].key, -1);
    QCOMPARE(store.calls[0].dateTime, when);
    QCOMPARE(store.calls[0].powerSource, powerSource);
    QCOMPARE(store.calls[0].amps, 1.5);
}

void TestChargeDataForm::closingStoresNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc") << "esc";
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("close box") << "close";
}

void TestChargeDataForm::closingStoresNothing()
{
    QFETCH(QString, how);
    FakeStore store;
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->BatteriesComboBox->setEditText("Would be new");
    if (how == "esc")
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else if (how == "cancel")
        QTest::mouseClick(form->CancelBitBtn, Qt::LeftButton);
    else
        form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(!form);
    QVERIFY(store.calls.isEmpty());
}

void TestChargeDataForm::enterInAnEntryPressesOk_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("combo box") << "PowerSourcesComboBox";
    QTest::newRow("number edit") << "AmpHoursLabeledEdit";
}

void TestChargeDataForm::enterInAnEntryPressesOk()
{
    QFETCH(QString, control);
    FakeStore store;
    store.seed();
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->findChild<QWidget *>(control)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!form);
    QCOMPARE(store.calls.size(), 1);
}

// A screen reader names every control the Tab key reaches: by its label (a relation, which is
// how entries are named on Linux) or, for a button, by its own name.
void TestChargeDataForm::everyControlIsNamed()
{
    FakeStore store;
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    int named = 0;
    for (QWidget *w : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY(iface);
        const auto labels = iface->relations(QAccessible::Label);
        if (qobject_cast<QPushButton *>(w))
            QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(w->objectName()));
        else
            QVERIFY2(labels.size() == 1 && !labels.at(0).first->text(QAccessible::Name).isEmpty(),
                     qPrintable(w->objectName()));
        ++named;
    }
    QCOMPARE(named, 14);
    const auto power = QAccessible::queryAccessibleInterface(form->PowerSourcesComboBox)
                           ->relations(QAccessible::Label);
    QCOMPARE(power.at(0).first->text(QAccessible::Name), QStringLiteral("PowerSource"));
}

// Only the user's own decimal separator is taken; the other one, as a thousands separator or a
// separator of another locale, would be read wrongly by someone.
void TestChargeDataForm::decimalSeparatorOfTheLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored"); // NaN: refused
    const double refused = qQNaN();
    QTest::newRow("en 1.5") << "en_US"
                            << "1.5" << 1.5;
    QTest::newRow("en 1,5") << "en_US"
                            << "1,5" << refused;
    QTest::newRow("en 1,000") << "en_US"
                              << "1,000" << refused;
    QTest::newRow("en -0.25e1") << "en_US"
                                << "-0.25e1" << -2.5;
    QTest::newRow("de 1,5") << "de_DE"
                            << "1,5" << 1.5;
    QTest::newRow("de 1.5") << "de_DE"
                            << "1.5" << refused;
    QTest::newRow("de 1.000") << "de_DE"
                              << "1.000" << refused;
    QTest::newRow("de ,5") << "de_DE"
                           << ",5" << 0.5;
}

void TestChargeDataForm::decimalSeparatorOfTheLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(double, stored);
    QLocale::setDefault(QLocale(locale));
    FakeStore store;
    store.seed();
    QPointer<TChargeDataForm> form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    form->NominalChargeAmpsLabeledEdit->setText(typed);
    const QStringList shown = pressOk(form);
    if (qIsNaN(stored)) {
        QCOMPARE(shown, QStringList{
                            QStringLiteral("'%1' is not a valid floating point value").arg(typed)});
        QVERIFY(form && store.calls.isEmpty());
        QCOMPARE(form->focusWidget(), form->NominalChargeAmpsLabeledEdit);
        return;
    }
    QCOMPARE(shown, QStringList());
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].amps, stored);
}

QTEST_MAIN(TestChargeDataForm)
#include "tst_chargedataform.moc"
