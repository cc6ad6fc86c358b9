#include "ChargeDataFormUnit.h"
#include "NumberText.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// A store over a real charge log that records every call and can be told to fail.
class FakeStore : public IChargeRecordStore
{
public:
    struct Call
    {
        qint32 key;
        double dateTime;
        QString powerSource, charger, battery;
        double amps, ampHours;
        QString termination, comment, logFile;
    };

    TChargeLog log;
    QList<Call> calls;
    QString failure;

    const TChargeLog &chargeLog() const override { return log; }
    void AddChargeRecord(qint32 key, double dateTime, const QString &powerSource,
                         const QString &charger, const QString &battery, double amps,
                         double ampHours, const QString &termination, const QString &comment,
                         const QString &logFile) override
    {
        calls.append({key, dateTime, powerSource, charger, battery, amps, ampHours, termination,
                      comment, logFile});
        if (!failure.isEmpty())
            throw QorLogError(failure);
        log.StoreChargeRecord(key, dateTime, powerSource, charger, battery, amps, ampHours,
                              termination, comment, logFile);
        log.ChargeStringList.sortByDateTime();
    }

    qint32 add(double dateTime, const QString &ps, const QString &charger, const QString &battery,
               double amps, double ampHours, const QString &termination,
               const QString &comment = QString(), const QString &logFile = QString())
    {
        const qint32 key = log.StoreChargeRecord(-1, dateTime, ps, charger, battery, amps, ampHours,
                                                 termination, comment, logFile);
        log.ChargeStringList.sortByDateTime();
        return key;
    }
};

// Closes every error box as soon as it shows, the way a user presses its OK, and keeps the
// texts it showed.
class ErrorBoxCloser : public QObject
{
public:
    QStringList texts;

    ErrorBoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            for (QWidget *window : windows) {
                auto *box = qobject_cast<QMessageBox *>(window);
                if (box && box->isVisible()) {
                    texts.append(box->text());
                    box->button(QMessageBox::Ok)->click();
                }
            }
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
};

// The named control that holds `widget` (combo boxes and pickers have inner editors).
QString controlOf(QWidget *widget)
{
    static const QStringList names = {"DatePicker",
                                      "TimePicker",
                                      "PowerSourcesComboBox",
                                      "ChargersComboBox",
                                      "BatteriesComboBox",
                                      "NominalChargeAmpsLabeledEdit",
                                      "AmpHoursLabeledEdit",
                                      "TerminationsComboBox",
                                      "CommentLabeledEdit",
                                      "ChargerLogFileNameLabeledEdit",
                                      "OkBitBtn",
                                      "CancelBitBtn"};
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (names.contains(w->objectName()))
            return w->objectName();
    }
    return QString();
}

void setEntry(TChargeDataForm *form, const QString &control, const QString &text)
{
    if (auto *box = form->findChild<QComboBox *>(control))
        box->setEditText(text);
    else if (auto *edit = form->findChild<QLineEdit *>(control))
        edit->setText(text);
    else
        QFAIL(qPrintable("no entry control " + control));
}

QStringList choices(const QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list.append(box->itemText(i));
    return list;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

double days(const QDate &date, const QTime &time)
{
    return DateTimeText::fromDateTime(QDateTime(date, time));
}

} // namespace

class TestChargeDataForm : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void windowAndControls();
    void tabOrder();
    void newChargePrefill_data();
    void newChargePrefill();
    void editByKeyReplacesRecord();
    void checkFailures_data();
    void checkFailures();
    void acceptedEntries_data();
    void acceptedEntries();
    void firstFaultOnlyInOrder();
    void dateAgainstNow_data();
    void dateAgainstNow();
    void numberTyping_data();
    void numberTyping();
    void twoDialogsOnOneRecordLaterOkWins();
    void recordDeletedWhileOpen();
    void failingStoreKeepsDialogOpen();
    void automationPrefill_data();
    void automationPrefill();
    void closingStoresNothing_data();
    void closingStoresNothing();
};

void TestChargeDataForm::cleanup()
{
    QLocale::setDefault(QLocale::c());
    for (TChargeDataForm *form : TChargeDataForm::openForms())
        delete form;
}

void TestChargeDataForm::windowAndControls()
{
    FakeStore store;
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(form));

    QCOMPARE(form->objectName(), QStringLiteral("ChargeDataForm"));
    QCOMPARE(form->windowTitle(), QStringLiteral("ChargeData"));
    QVERIFY(!form->parent());
    QVERIFY(!form->isModal());
    QVERIFY(form->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(form->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(form->size(), QSize(403, 262));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(TChargeDataForm::openForms(), QList<TChargeDataForm *>{form});
    QCOMPARE(controlOf(form->focusWidget()), QStringLiteral("PowerSourcesComboBox"));
    QVERIFY(form->OkBitBtn->isDefault());
    QVERIFY(form->DatePicker->calendarPopup());
    QVERIFY(form->TimePicker->displayFormat().contains(QLatin1Char('s')));
    for (QComboBox *box : form->findChildren<QComboBox *>()) {
        QVERIFY(box->isEditable());
        QCOMPARE(box->insertPolicy(), QComboBox::NoInsert);
    }

    const QStringList labels = {"Date",        "Time",
                                "PowerSource", "Charger",
                                "Battery",     "Nominal Charge Amps",
                                "AmpHours",    "Termination",
                                "Comment",     "Charger Log FileName"};
    QStringList shown;
    for (const QLabel *label : form->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
        shown.append(label->text());
    for (const QString &text : labels)
        QVERIFY2(shown.contains(text), qPrintable(text));

    // Nothing is cut off at this font: every control gets at least its own height (and labels
    // their width), lies inside the client area and overlaps no other control.
    const QList<QWidget *> controls = form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 22);
    for (QWidget *w : controls) {
        const QString name = w->objectName();
        QVERIFY2(form->rect().contains(w->geometry()), qPrintable(name));
        QVERIFY2(w->height() >= w->sizeHint().height(), qPrintable(name));
        if (qobject_cast<QLabel *>(w))
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name));
        for (QWidget *other : controls) {
            if (other != w)
                QVERIFY2(!w->geometry().intersects(other->geometry()),
                         qPrintable(name + " overlaps " + other->objectName()));
        }
    }
    QCOMPARE(form->PowerSourcesComboBox->geometry().topLeft(), QPoint(8, 64));
    QCOMPARE(form->TerminationsComboBox->geometry().topLeft(), QPoint(280, 112));
    QCOMPARE(form->ChargerLogFileNameLabeledEdit->geometry().topLeft(), QPoint(8, 200));
    QCOMPARE(form->CancelBitBtn->geometry().topLeft(), QPoint(320, 232));
}

void TestChargeDataForm::tabOrder()
{
    FakeStore store;
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->DatePicker->setFocus();

    const QStringList expected = {"PowerSourcesComboBox",
                                  "ChargersComboBox",
                                  "BatteriesComboBox",
                                  "NominalChargeAmpsLabeledEdit",
                                  "AmpHoursLabeledEdit",
                                  "TerminationsComboBox",
                                  "CommentLabeledEdit",
                                  "ChargerLogFileNameLabeledEdit",
                                  "OkBitBtn",
                                  "CancelBitBtn",
                                  "TimePicker",
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

void TestChargeDataForm::newChargePrefill_data()
{
    QTest::addColumn<bool>("withCharges");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("amps");
    QTest::addColumn<QString>("ampHours");

    const TChargeLog defaults;
    // On an empty log the zero record selects each list's first name; the battery list starts
    // empty (name(0) is then empty), so that box stays empty.
    QTest::newRow("empty log") << false
                               << QStringList{defaults.PowerSourcesStringList.name(0),
                                              defaults.ChargersStringList.name(0),
                                              defaults.BatteriesStringList.name(0),
                                              defaults.TerminationsStringList.name(0)}
                               << "0"
                               << "0";
    QTest::newRow("latest charge repeated")
        << true << QStringList{"Solar", "Fast charger", "AA pack", "Timer"} << "-1.25"
        << "0.7";
}

void TestChargeDataForm::newChargePrefill()
{
    QFETCH(bool, withCharges);
    QFETCH(QStringList, names);
    QFETCH(QString, amps);
    QFETCH(QString, ampHours);

    FakeStore store;
    if (withCharges) {
        // Added out of date order: the latest by date-time is the one repeated.
        store.add(45000.5, "Solar", "Fast charger", "AA pack", -1.25, 0.7, "Timer", "c", "f.log");
        store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V", "old", "old.log");
    }

    const double before = DateTimeText::now();
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    const double after = DateTimeText::now();

    QCOMPARE(form->RecordKey, -1);
    const TChargeDataForm::TChargeData data = form->GetChargeData();
    QCOMPARE(QStringList({data.powerSource, data.charger, data.battery, data.termination}), names);
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), amps);
    QCOMPARE(form->AmpHoursLabeledEdit->text(), ampHours);
    QVERIFY(data.comment.isEmpty());
    QVERIFY(data.logFile.isEmpty());
    QVERIFY(data.dateTime >= before && data.dateTime <= after);
    QCOMPARE(form->DatePicker->date(), DateTimeText::toDateTime(data.dateTime).date());
    QCOMPARE(choices(form->PowerSourcesComboBox), store.log.PowerSourcesStringList.names());
    QCOMPARE(choices(form->BatteriesComboBox), store.log.BatteriesStringList.names());
}

void TestChargeDataForm::editByKeyReplacesRecord()
{
    FakeStore store;
    const double when = 44123.456789123; // not a whole second: must come back unchanged
    store.add(44000.25, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    const qint32 key =
        store.add(when, "Solar", "Fast charger", "AA pack", 1.5, 2.25, "Timer", "a*b", "f.log");
    store.add(45000.75, "Car", "Fast charger", "D cell", 4, 5, "Timer");

    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    QPointer<TChargeDataForm> guard(form);
    QCOMPARE(form->RecordKey, key);
    QCOMPARE(form->PowerSourcesComboBox->currentText(), QStringLiteral("Solar"));
    QCOMPARE(form->BatteriesComboBox->currentText(), QStringLiteral("AA pack"));
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), QStringLiteral("1.5"));
    QCOMPARE(form->AmpHoursLabeledEdit->text(), QStringLiteral("2.25"));
    QCOMPARE(form->CommentLabeledEdit->text(), QStringLiteral("a*b"));
    QCOMPARE(form->ChargerLogFileNameLabeledEdit->text(), QStringLiteral("f.log"));
    const QDateTime shown = DateTimeText::toDateTime(when);
    QCOMPARE(form->DatePicker->date(), shown.date());
    QCOMPARE(form->TimePicker->time().toString("HH:mm:ss"), shown.time().toString("HH:mm:ss"));

    form->NominalChargeAmpsLabeledEdit->setText("3");
    QTest::mouseClick(form->OkBitBtn, Qt::LeftButton);
    flushDeletes();
    QVERIFY(!guard);

    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].key, key);
    QCOMPARE(store.log.ChargeStringList.count(), 3);
    const int index = store.log.FindChargeIndex(key);
    QVERIFY(index >= 0);
    QCOMPARE(store.log.ChargeStringList.record(index).NominalChargeAmps, 3.0);
    QCOMPARE(store.log.ChargeStringList.record(index).DateTime, when);
    QCOMPARE(store.log.ChargeStringList.text(index), QStringLiteral("f.log*a*b"));
}

void TestChargeDataForm::checkFailures_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("date tomorrow") << "DatePicker"
                                   << ""
                                   << "Date is in the future";
    QTest::newRow("power source blanks") << "PowerSourcesComboBox"
                                         << "   "
                                         << "Empty value";
    QTest::newRow("charger empty") << "ChargersComboBox"
                                   << ""
                                   << "Empty value";
    QTest::newRow("battery tab only") << "BatteriesComboBox"
                                      << "\t"
                                      << "Empty value";
    QTest::newRow("termination empty") << "TerminationsComboBox"
                                       << ""
                                       << "Empty value";
    QTest::newRow("amps abc") << "NominalChargeAmpsLabeledEdit"
                              << "abc"
                              << "'abc' is not a valid floating point value";
    QTest::newRow("amps huge exponent") << "NominalChargeAmpsLabeledEdit"
                                        << "1e999"
                                        << "'1e999' is not a valid floating point value";
    QTest::newRow("amps grouped") << "NominalChargeAmpsLabeledEdit"
                                  << "1,000.5"
                                  << "'1,000.5' is not a valid floating point value";
    QTest::newRow("amp-hours empty") << "AmpHoursLabeledEdit"
                                     << ""
                                     << "'' is not a valid floating point value";
    QTest::newRow("amp-hours inf") << "AmpHoursLabeledEdit"
                                   << "inf"
                                   << "'inf' is not a valid floating point value";
    QTest::newRow("amp-hours unit") << "AmpHoursLabeledEdit"
                                    << " 2 Ah"
                                    << "' 2 Ah' is not a valid floating point value";
}

void TestChargeDataForm::checkFailures()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);

    FakeStore store;
    store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QPointer<TChargeDataForm> guard(form);
    if (control == "DatePicker")
        form->DatePicker->setDate(QDate::currentDate().addDays(1));
    else
        setEntry(form, control, text);
    form->CommentLabeledEdit->setText("kept");

    ErrorBoxCloser closer;
    QTest::mouseClick(form->OkBitBtn, Qt::LeftButton);
    flushDeletes();

    QCOMPARE(closer.texts, QStringList{message});
    QVERIFY(guard && form->isVisible());
    QVERIFY(store.calls.isEmpty());
    QCOMPARE(controlOf(form->focusWidget()), control);
    QCOMPARE(form->CommentLabeledEdit->text(), QStringLiteral("kept"));
    if (control != "DatePicker") {
        QWidget *entry = form->findChild<QWidget *>(control);
        const QString now = qobject_cast<QComboBox *>(entry)
                                ? qobject_cast<QComboBox *>(entry)->currentText()
                                : qobject_cast<QLineEdit *>(entry)->text();
        QCOMPARE(now, text);
    }
}

void TestChargeDataForm::acceptedEntries_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("amps");
    QTest::addColumn<QString>("battery");

    QTest::newRow("negative amps") << "NominalChargeAmpsLabeledEdit"
                                   << "-3" << -3.0 << "C cell";
    QTest::newRow("comma and blanks") << "NominalChargeAmpsLabeledEdit"
                                      << " 1,5 " << 1.5 << "C cell";
    QTest::newRow("exponent") << "NominalChargeAmpsLabeledEdit"
                              << "+2.5E3" << 2500.0 << "C cell";
    QTest::newRow("zero") << "NominalChargeAmpsLabeledEdit"
                          << "0" << 0.0 << "C cell";
    QTest::newRow("new battery with blanks") << "BatteriesComboBox"
                                             << "  AAA set  " << 2.0 << "AAA set";
    QTest::newRow("known battery other case") << "BatteriesComboBox"
                                              << "c CELL" << 2.0 << "C cell";
}

void TestChargeDataForm::acceptedEntries()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(double, amps);
    QFETCH(QString, battery);

    FakeStore store;
    store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QPointer<TChargeDataForm> guard(form);
    setEntry(form, control, text);
    const QStringList batteryChoicesBefore = choices(form->BatteriesComboBox);

    ErrorBoxCloser closer;
    QVERIFY(form->ValidateChargeData());
    QVERIFY(closer.texts.isEmpty());
    // A new name becomes a choice, trimmed, as soon as it has been checked.
    QStringList expectedChoices = batteryChoicesBefore;
    if (!expectedChoices.contains(battery, Qt::CaseInsensitive))
        expectedChoices.append(battery);
    QCOMPARE(choices(form->BatteriesComboBox), expectedChoices);

    form->OkBitBtnClick();
    flushDeletes();
    QVERIFY(!guard);
    QCOMPARE(store.calls.size(), 1);
    const FakeStore::Call &call = store.calls.first();
    QCOMPARE(call.key, -1);
    QCOMPARE(call.amps, amps);
    if (control == "BatteriesComboBox")
        QCOMPARE(call.battery, text); // handed over as typed
    QCOMPARE(store.log.ChargeStringList.count(), 2);
    QCOMPARE(store.log.BatteriesStringList.name(store.log.ChargeStringList.record(1).BatteryIndex),
             battery);
}

void TestChargeDataForm::firstFaultOnlyInOrder()
{
    FakeStore store;
    store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    form->DatePicker->setDate(QDate::currentDate().addYears(1));
    form->PowerSourcesComboBox->setEditText(" ");
    form->ChargersComboBox->setEditText(" New charger ");
    form->BatteriesComboBox->setEditText("");
    form->NominalChargeAmpsLabeledEdit->setText("x");
    form->AmpHoursLabeledEdit->setText("y");
    form->TerminationsComboBox->setEditText("");

    // Each OK reports only the first fault; mending it brings up the next one.
    struct Step
    {
        QString message;
        QString focus;
        std::function<void()> mend;
    };
    const QList<Step> steps = {
        {"Date is in the future", "DatePicker",
         [&] { form->DatePicker->setDate(QDate::currentDate().addDays(-1)); }},
        {"Empty value", "PowerSourcesComboBox",
         [&] { form->PowerSourcesComboBox->setEditText("Grid"); }},
        {"Empty value", "BatteriesComboBox", [&] { form->BatteriesComboBox->setEditText("C"); }},
        {"'x' is not a valid floating point value", "NominalChargeAmpsLabeledEdit",
         [&] { form->NominalChargeAmpsLabeledEdit->setText("1"); }},
        {"'y' is not a valid floating point value", "AmpHoursLabeledEdit",
         [&] { form->AmpHoursLabeledEdit->setText("1"); }},
        {"Empty value", "TerminationsComboBox",
         [&] { form->TerminationsComboBox->setEditText("Manual"); }},
    };
    for (const Step &step : steps) {
        ErrorBoxCloser closer;
        form->OkBitBtnClick();
        QCOMPARE(closer.texts, QStringList{step.message});
        QCOMPARE(controlOf(form->focusWidget()), step.focus);
        step.mend();
    }
    // The charger passed its check before the battery failed: its new name stayed a choice.
    QVERIFY(choices(form->ChargersComboBox).contains("New charger"));
    QVERIFY(store.calls.isEmpty());

    QPointer<TChargeDataForm> guard(form);
    form->OkBitBtnClick();
    flushDeletes();
    QVERIFY(!guard);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].charger, QStringLiteral(" New charger "));
}

void TestChargeDataForm::dateAgainstNow_data()
{
    QTest::addColumn<int>("dayOffset");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("refused");

    QTest::newRow("today, last second") << 0 << QTime(23, 59, 59, 999) << true;
    QTest::newRow("yesterday, same time") << -1 << QTime(23, 59, 59, 999) << false;
    QTest::newRow("today, midnight") << 0 << QTime(0, 0) << false;
    QTest::newRow("tomorrow, midnight") << 1 << QTime(0, 0) << true;
}

void TestChargeDataForm::dateAgainstNow()
{
    QFETCH(int, dayOffset);
    QFETCH(QTime, time);
    QFETCH(bool, refused);

    const QDate today = QDate::currentDate();
    if (dayOffset == 0 && refused && QTime::currentTime() >= QTime(23, 59, 59))
        QSKIP("too close to midnight to set a later time today");

    FakeStore store;
    store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    form->DatePicker->setDate(today.addDays(dayOffset));
    form->TimePicker->setTime(time);
    if (QDate::currentDate() != today)
        QSKIP("the date changed while the test ran");

    ErrorBoxCloser closer;
    QCOMPARE(form->ValidateChargeData(), !refused);
    QCOMPARE(closer.texts, refused ? QStringList{"Date is in the future"} : QStringList());
    if (!refused) {
        QCOMPARE(form->GetChargeData().dateTime,
                 days(today.addDays(dayOffset), form->TimePicker->time()));
    }
}

void TestChargeDataForm::numberTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("letters dropped") << "1a2b"
                                     << "12";
    QTest::newRow("full form") << "-3,5e+2"
                               << "-3,5e+2";
    QTest::newRow("second separator dropped") << "1.2.3"
                                              << "1.23";
    QTest::newRow("all letters") << "abc"
                                 << "";
}

void TestChargeDataForm::numberTyping()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);

    FakeStore store;
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->NominalChargeAmpsLabeledEdit->clear();
    form->NominalChargeAmpsLabeledEdit->setFocus();
    QTest::keyClicks(form->NominalChargeAmpsLabeledEdit, typed);
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), shown);
}

void TestChargeDataForm::twoDialogsOnOneRecordLaterOkWins()
{
    FakeStore store;
    const qint32 key = store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    TChargeDataForm *first = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    TChargeDataForm *second = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    QCOMPARE(TChargeDataForm::openForms().size(), 2);
    first->NominalChargeAmpsLabeledEdit->setText("5");
    second->NominalChargeAmpsLabeledEdit->setText("7");

    second->OkBitBtnClick();
    first->OkBitBtnClick();
    flushDeletes();

    QCOMPARE(TChargeDataForm::openForms().size(), 0);
    QCOMPARE(store.calls.size(), 2);
    QCOMPARE(store.log.ChargeStringList.count(), 1);
    QCOMPARE(store.log.ChargeStringList.record(0).NominalChargeAmps, 5.0);
    QCOMPARE(store.log.ChargeStringList.record(0).Key, key);
}

void TestChargeDataForm::recordDeletedWhileOpen()
{
    FakeStore store;
    store.add(44000.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
    const qint32 key = store.add(44001.5, "Grid", "Slow", "D cell", 2, 3, "Delta V");
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, key, nullptr);
    QPointer<TChargeDataForm> guard(form);
    store.log.ChargeStringList.removeAt(store.log.FindChargeIndex(key));
    form->BatteriesComboBox->setEditText("Brand new");

    form->OkBitBtnClick();
    flushDeletes();

    QVERIFY(!guard);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].key, key);
    QCOMPARE(store.log.ChargeStringList.count(), 1);
    QCOMPARE(store.log.FindChargeIndex(key), -1);
    QVERIFY(store.log.BatteriesStringList.indexOf("Brand new") >= 0);
}

void TestChargeDataForm::failingStoreKeepsDialogOpen()
{
    FakeStore store;
    store.failure = "Cannot write the log file";
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QPointer<TChargeDataForm> guard(form);
    form->BatteriesComboBox->setEditText("Pack");
    form->CommentLabeledEdit->setText("first try");

    ErrorBoxCloser closer;
    QTest::mouseClick(form->OkBitBtn, Qt::LeftButton);
    flushDeletes();

    QCOMPARE(closer.texts, QStringList{"Cannot write the log file"});
    QVERIFY(guard && form->isVisible());
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(form->CommentLabeledEdit->text(), QStringLiteral("first try"));
    QCOMPARE(form->BatteriesComboBox->currentText(), QStringLiteral("Pack"));

    // Once the store works again the same dialog stores and closes.
    store.failure.clear();
    form->OkBitBtnClick();
    flushDeletes();
    QVERIFY(!guard);
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
    QTest::addColumn<QString>("ampHours");

    QTest::newRow("previous on empty log") << false << false << true << "C"
                                           << "Passed"
                                           << "1.5"
                                           << "2";
    QTest::newRow("previous taken") << true << false << true << "C"
                                    << "Car"
                                    << "1.5"
                                    << "2";
    QTest::newRow("hidden previous taken") << true << true << true << "C"
                                           << "Car"
                                           << "1.5"
                                           << "2";
    QTest::newRow("argument kept") << true << false << false << "C"
                                   << "Passed"
                                   << "1.5"
                                   << "2";
    QTest::newRow("user's separator") << true << false << false << "de_DE"
                                      << "Passed"
                                      << "1,5"
                                      << "2";
}

void TestChargeDataForm::automationPrefill()
{
    QFETCH(bool, withCharges);
    QFETCH(bool, hideLatest);
    QFETCH(bool, usePrevious);
    QFETCH(QString, locale);
    QFETCH(QString, powerSource);
    QFETCH(QString, amps);
    QFETCH(QString, ampHours);

    QLocale::setDefault(QLocale(locale));
    FakeStore store;
    if (withCharges) {
        store.add(44002.5, "Car", "Slow", "C cell", 2, 3, "Delta V");
        store.add(44001.5, "Grid", "Slow", "C cell", 2, 3, "Delta V");
        if (hideLatest)
            store.log.PowerSourcesStringList.setMarked(
                store.log.PowerSourcesStringList.indexOf("Car"), true);
    }
    const double when = 44500.75;
    TChargeDataForm *form = TChargeDataForm::OpenForAutomation(
        &store, when, "Passed", usePrevious, "Charger X", "Battery Y", 1.5, 2, "Full",
        "from a client", "client.log", nullptr);

    QCOMPARE(form->RecordKey, -1);
    QCOMPARE(form->PowerSourcesComboBox->currentText(), powerSource);
    QCOMPARE(form->ChargersComboBox->currentText(), QStringLiteral("Charger X"));
    QCOMPARE(form->BatteriesComboBox->currentText(), QStringLiteral("Battery Y"));
    QCOMPARE(form->TerminationsComboBox->currentText(), QStringLiteral("Full"));
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), amps);
    QCOMPARE(form->AmpHoursLabeledEdit->text(), ampHours);
    QCOMPARE(form->CommentLabeledEdit->text(), QStringLiteral("from a client"));
    QCOMPARE(form->ChargerLogFileNameLabeledEdit->text(), QStringLiteral("client.log"));
    QCOMPARE(form->DatePicker->date(), DateTimeText::toDateTime(when).date());
    QCOMPARE(form->TimePicker->time(), QTime(18, 0));
    QCOMPARE(choices(form->PowerSourcesComboBox), store.log.PowerSourcesStringList.names());

    QPointer<TChargeDataForm> guard(form);
    form->OkBitBtnClick();
    flushDeletes();
    QVERIFY(!guard);
    QCOMPARE(store.calls.size(), 1);
    QCOMPARE(store.calls[0].key, -1);
    QCOMPARE(store.calls[0].dateTime, when);
    QCOMPARE(store.calls[0].powerSource, powerSource);
    QCOMPARE(store.calls[0].amps, 1.5);
    QCOMPARE(store.calls[0].ampHours, 2.0);
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
    TChargeDataForm *form = TChargeDataForm::OpenChargeDataForm(&store, -1, nullptr);
    QPointer<TChargeDataForm> guard(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->PowerSourcesComboBox->setFocus();
    form->BatteriesComboBox->setEditText("Would be new");
    if (how == "esc")
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else if (how == "cancel")
        QTest::mouseClick(form->CancelBitBtn, Qt::LeftButton);
    else
        form->close();
    flushDeletes();

    QVERIFY(!guard);
    QVERIFY(store.calls.isEmpty());
    QCOMPARE(store.log.BatteriesStringList.indexOf("Would be new"), -1);
}

QTEST_MAIN(TestChargeDataForm)
#include "tst_chargedataform.moc"
