// The real main window serving AddCharge on the test's own bus: what the user sees of a call
// (dialogs, questions) and calls that arrive while a modal dialog is open.

#include "AutomationServer.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "FilterFormUnit.h"
#include "NumberText.h"
#include "ProgramRunner.h"
#include "QorLogMainFormUnit.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

#include <limits>

using namespace E2e;

Q_DECLARE_METATYPE(E2e::Charge)

namespace {

const QString ClientConnection = QStringLiteral("e2e-client");

// A call from another connection, so it travels over the bus like any client's; the event
// loop keeps running meanwhile, as the window serves the call on this thread.
QDBusMessage clientCall(const Charge &charge)
{
    QDBusConnection client(ClientConnection);
    QDBusPendingCall pending = client.asyncCall(addChargeMessage(charge), 60000);
    // Unfinished after the wait, the reply is an error (no answer), which the callers check.
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 60000))
        qWarning("the call got no answer within a minute");
    return pending.reply();
}

QSet<TChargeDataForm *> formsNow()
{
    const QList<TChargeDataForm *> forms = TChargeDataForm::openForms();
    return QSet<TChargeDataForm *>(forms.begin(), forms.end());
}

QStringList choices(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

double dayCount(int year, int month, int day, int hour, int minute, int second)
{
    return DateTimeText::fromWallClock(QDate(year, month, day), QTime(hour, minute, second));
}

// Watches for modal widgets while something runs: `act` gets each new one.
class ModalWatcher
{
public:
    explicit ModalWatcher(std::function<void(QWidget *)> act) : m_act(std::move(act))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || m_seen.contains(modal))
                return;
            m_seen.append(modal);
            m_act(modal);
        });
        m_timer.start();
    }
    int count() const { return int(m_seen.size()); }

private:
    std::function<void(QWidget *)> m_act;
    QTimer m_timer;
    QList<QPointer<QWidget>> m_seen;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void confirmationDialogIsPrefilled_data();
    void confirmationDialogIsPrefilled();
    void eachCallHasItsOwnDialog_data();
    void eachCallHasItsOwnDialog();
    void directCallShowsTheNewRow();
    void directCallTakesHiddenPreviousPowerSource();
    void failureShowsNothing();
    void callIsServedInsideAModalDialog_data();
    void callIsServedInsideAModalDialog();
    void closeAsksNothingAboutClients_data();
    void closeAsksNothingAboutClients();
    void callAfterTheCloseIsDecidedFails();

private:
    void addEarlier(const QList<Charge> &charges);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_logPath;
    std::unique_ptr<TQorLogMainForm> m_form;
    std::unique_ptr<TFilterForm> m_filter;
    std::unique_ptr<AutomationServer> m_server;
};

void TestMainWindow::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run inside tests/run-with-bus.sh");
    QVERIFY(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, ClientConnection).isConnected());
}

void TestMainWindow::init()
{
    QLocale::setDefault(QLocale::c());
    m_dir = std::make_unique<QTemporaryDir>();
    m_logPath = m_dir->path() + QStringLiteral("/charges.QorLog");
    m_form = std::make_unique<TQorLogMainForm>(m_logPath);
    m_form->FormCreate();
    m_filter = std::make_unique<TFilterForm>(m_form.get());
    m_form->setFilterForm(m_filter.get());
    m_server = std::make_unique<AutomationServer>(m_form.get());
    QVERIFY2(m_server->start(QDBusConnection::sessionBus()), qPrintable(m_server->lastError()));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestMainWindow::cleanup()
{
    m_server.reset();
    m_filter.reset();
    m_form.reset(); // takes its open charge data dialogs along
    QLocale::setDefault(QLocale::c());
}

void TestMainWindow::addEarlier(const QList<Charge> &charges)
{
    for (const Charge &c : charges)
        m_form->AddChargeRecord(-1, c.dateTime, c.powerSource, c.charger, c.battery, c.amps,
                                c.ampHours, c.termination, c.comment, c.chargerLogFileName);
}

void TestMainWindow::confirmationDialogIsPrefilled_data()
{
    QTest::addColumn<QList<Charge>>("earlier");
    QTest::addColumn<bool>("hideLatest");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<Charge>("charge");
    QTest::addColumn<QString>("powerSource");
    QTest::addColumn<QString>("amps");
    QTest::addColumn<QString>("ampHours");

    Charge call;
    call.showConfirmationForm = true;
    call.dateTime = dayCount(2023, 3, 15, 18, 0, 5);
    call.powerSource = QStringLiteral("Bench supply");
    call.battery = QStringLiteral("Pack New");

    Charge solar;
    solar.powerSource = QStringLiteral("Solar");
    solar.dateTime = dayCount(2022, 6, 1, 10, 0, 0);
    Charge car;
    car.powerSource = QStringLiteral("Car");
    car.dateTime = dayCount(2021, 1, 1, 10, 0, 0);
    const QList<Charge> both{solar, car}; // the latest by date comes first

    Charge previous = call;
    previous.usePreviousPowerSource = true;
    QTest::newRow("as passed") << both << false << "C" << call << "Bench supply"
                               << "1.5"
                               << "2";
    QTest::newRow("previous asked, empty log")
        << QList<Charge>() << false << "C" << previous << "Bench supply"
        << "1.5"
        << "2";
    QTest::newRow("previous asked") << both << false << "C" << previous << "Solar"
                                    << "1.5"
                                    << "2";
    QTest::newRow("previous hidden by a filter") << both << true << "C" << previous << "Solar"
                                                 << "1.5"
                                                 << "2";
    Charge numbers = call;
    numbers.amps = -0.125;
    numbers.ampHours = 1234567.875;
    QTest::newRow("comma locale") << both << false << "de_DE" << numbers << "Bench supply"
                                  << "-0,125"
                                  << "1234567,875";
    Charge plainFlag = call;
    plainFlag.usePreviousPowerSource = false;
    plainFlag.powerSource.clear();
    QTest::newRow("empty power source") << both << false << "C" << plainFlag << ""
                                        << "1.5"
                                        << "2";
}

void TestMainWindow::confirmationDialogIsPrefilled()
{
    QFETCH(QList<Charge>, earlier);
    QFETCH(bool, hideLatest);
    QFETCH(QString, locale);
    QFETCH(Charge, charge);
    QFETCH(QString, powerSource);
    QFETCH(QString, amps);
    QFETCH(QString, ampHours);

    QLocale::setDefault(QLocale(locale));
    addEarlier(earlier);
    TChargeLog &log = m_form->log();
    if (hideLatest) {
        log.PowerSourcesStringList.setMarked(log.PowerSourcesStringList.indexOf("Solar"), true);
        m_form->RefreshDisplay();
    }
    const int records = log.ChargeStringList.count();
    const QSet<TChargeDataForm *> before = formsNow();

    const QDBusMessage reply = clientCall(charge);
    QVERIFY2(replyErrorName(reply).isEmpty(), qPrintable(reply.errorMessage()));

    const QSet<TChargeDataForm *> opened = formsNow() - before;
    QCOMPARE(opened.size(), 1);
    TChargeDataForm *form = *opened.begin();
    QVERIFY(form->isVisible());
    QCOMPARE(form->RecordKey, -1);
    const DateTimeText::WallClock when = DateTimeText::toWallClock(charge.dateTime);
    QCOMPARE(form->DatePicker->date(), when.date);
    QCOMPARE(form->TimePicker->time(), when.time);
    QCOMPARE(form->PowerSourcesComboBox->currentText(), powerSource);
    QCOMPARE(form->ChargersComboBox->currentText(), charge.charger);
    QCOMPARE(form->BatteriesComboBox->currentText(), charge.battery);
    QCOMPARE(form->TerminationsComboBox->currentText(), charge.termination);
    QCOMPARE(form->NominalChargeAmpsLabeledEdit->text(), amps);
    QCOMPARE(form->AmpHoursLabeledEdit->text(), ampHours);
    QCOMPARE(form->CommentLabeledEdit->text(), charge.comment);
    QCOMPARE(form->ChargerLogFileNameLabeledEdit->text(), charge.chargerLogFileName);
    // The choices are the name lists, marked names included.
    QCOMPARE(choices(form->PowerSourcesComboBox), log.PowerSourcesStringList.names());
    QCOMPARE(choices(form->ChargersComboBox), log.ChargersStringList.names());
    QCOMPARE(choices(form->BatteriesComboBox), log.BatteriesStringList.names());
    QCOMPARE(choices(form->TerminationsComboBox), log.TerminationsStringList.names());

    // Nothing stored before the user acts.
    QCOMPARE(log.ChargeStringList.count(), records);
    QCOMPARE(readLog(m_logPath)->ChargeStringList.count(), records);
}

void TestMainWindow::eachCallHasItsOwnDialog_data()
{
    QTest::addColumn<bool>("confirmFirst");
    QTest::addColumn<bool>("confirmSecond");
    QTest::newRow("both confirmed") << true << true;
    QTest::newRow("second confirmed") << false << true;
    QTest::newRow("none confirmed") << false << false;
}

void TestMainWindow::eachCallHasItsOwnDialog()
{
    QFETCH(bool, confirmFirst);
    QFETCH(bool, confirmSecond);

    Charge first;
    first.showConfirmationForm = true;
    first.battery = QStringLiteral("First pack");
    Charge second = first;
    second.battery = QStringLiteral("Second pack");
    second.dateTime += 1;

    QMap<QString, TChargeDataForm *> dialogs;
    for (const Charge &c : {first, second}) {
        const QSet<TChargeDataForm *> before = formsNow();
        QVERIFY(replyErrorName(clientCall(c)).isEmpty());
        const QSet<TChargeDataForm *> opened = formsNow() - before;
        QCOMPARE(opened.size(), 1);
        dialogs.insert(c.battery, *opened.begin());
    }
    QCOMPARE(m_form->log().ChargeStringList.count(), 0);
    QVERIFY(!QFile::exists(m_logPath));

    QStringList expected;
    for (const auto &[battery, confirm] :
         {std::pair{first.battery, confirmFirst}, std::pair{second.battery, confirmSecond}}) {
        QPointer<TChargeDataForm> dialog = dialogs.value(battery);
        if (confirm) {
            QTest::mouseClick(dialog->OkBitBtn, Qt::LeftButton);
            expected << battery;
        } else {
            QTest::mouseClick(dialog->CancelBitBtn, Qt::LeftButton);
        }
        QTRY_VERIFY(!dialog || dialog->isHidden());
    }

    const auto log = readLog(m_logPath);
    QStringList stored;
    for (int i = 0; i < log->ChargeStringList.count(); ++i)
        stored << storedCharge(*log, i).battery;
    QCOMPARE(stored, expected);
    QCOMPARE(m_form->log().ChargeStringList.count(), expected.size());
}

void TestMainWindow::directCallShowsTheNewRow()
{
    Charge later;
    later.battery = QStringLiteral("Later");
    addEarlier({later});
    Charge earlier;
    earlier.battery = QStringLiteral("  Earlier  ");
    earlier.dateTime -= 30;

    QVERIFY(replyErrorName(clientCall(earlier)).isEmpty());
    QAbstractItemModel *table = m_form->ChargeLogStringGrid->model();
    QCOMPARE(table->rowCount(), 2);
    // Sorted by date: the new, older record is first; the last row is the one selected.
    const QModelIndexList selected = m_form->ChargeLogStringGrid->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 1);
    QCOMPARE(storedCharge(m_form->log(), 0).battery, QStringLiteral("Earlier"));
    QCOMPARE(m_form->chartTotals().Labels.count(QStringLiteral("Earlier")), 1);
}

void TestMainWindow::directCallTakesHiddenPreviousPowerSource()
{
    Charge solar;
    solar.powerSource = QStringLiteral("Solar");
    addEarlier({solar});
    TNameList &sources = m_form->log().PowerSourcesStringList;
    sources.setMarked(sources.indexOf(QStringLiteral("Solar")), true);
    m_form->RefreshDisplay();
    QCOMPARE(m_form->tableModel()->shownCount(), 0);

    Charge charge;
    charge.dateTime += 1;
    charge.usePreviousPowerSource = true;
    QVERIFY(replyErrorName(clientCall(charge)).isEmpty());
    const auto log = readLog(m_logPath);
    QCOMPARE(log->ChargeStringList.count(), 2);
    QCOMPARE(storedCharge(*log, 1).powerSource, QStringLiteral("Solar"));
    // Hidden like the one it followed.
    QCOMPARE(m_form->tableModel()->shownCount(), 0);
}

void TestMainWindow::failureShowsNothing()
{
    int shown = 0;
    ModalWatcher watcher([&shown](QWidget *modal) {
        ++shown;
        modal->close();
    });
    Charge bad;
    bad.ampHours = std::numeric_limits<double>::quiet_NaN();
    const QDBusMessage reply = clientCall(bad);
    QCOMPARE(replyErrorName(reply), QStringLiteral("QorLog.Error.Failed"));
    QTest::qWait(200);
    QCOMPARE(shown, 0);
    QVERIFY(formsNow().isEmpty());
    QCOMPARE(m_form->log().ChargeStringList.count(), 0);
}

void TestMainWindow::callIsServedInsideAModalDialog_data()
{
    QTest::addColumn<bool>("filterDialog");
    QTest::newRow("filter dialog") << true;
    QTest::newRow("message box") << false;
}

void TestMainWindow::callIsServedInsideAModalDialog()
{
    QFETCH(bool, filterDialog);

    // The client starts first; its call can only be served once the dialog's own loop runs.
    QProcess client;
    client.start(QStringLiteral("gdbus"), Charge().gdbusArguments());
    QVERIFY(client.waitForStarted());

    // Looked at a tick at a time rather than waited for: the call's save lets the timers run
    // while it writes, and a wait inside one of them would hold up the very answer it waits for.
    bool servedWhileOpen = false;
    bool closedByTest = false;
    QElapsedTimer since;
    since.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (closedByTest || !modal || !modal->isVisible())
            return;
        const bool served =
            m_form->log().ChargeStringList.count() == 1 && client.state() == QProcess::NotRunning;
        if (!served && since.elapsed() < 60000)
            return;
        servedWhileOpen = served && QFile::exists(m_logPath);
        closedByTest = true;
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            box->accept();
        else if (auto *filter = qobject_cast<TFilterForm *>(modal))
            filter->OkBitBtn->click();
    });
    poll.start(20);

    if (filterDialog) {
        m_form->FilterPowerSourcesAction->trigger();
    } else {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Busy"),
                        QStringLiteral("A question is open"), QMessageBox::Ok, m_form.get());
        box.exec();
    }
    QVERIFY(closedByTest);
    QVERIFY(servedWhileOpen);
    // The client had its answer while the dialog was still open.
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
    QCOMPARE(readLog(m_logPath)->ChargeStringList.count(), 1);
}

void TestMainWindow::closeAsksNothingAboutClients_data()
{
    QTest::addColumn<bool>("leaveDialogOpen");
    QTest::newRow("after a client's call") << false;
    // The one question a client's call can cause: its own confirmation dialog still open.
    QTest::newRow("client's dialog still open") << true;
}

void TestMainWindow::closeAsksNothingAboutClients()
{
    QFETCH(bool, leaveDialogOpen);

    QVERIFY(replyErrorName(clientCall(Charge())).isEmpty());
    if (leaveDialogOpen) {
        Charge confirm;
        confirm.showConfirmationForm = true;
        QVERIFY(replyErrorName(clientCall(confirm)).isEmpty());
    }
    QStringList questions;
    ModalWatcher watcher([&questions](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            questions << box->text();
            // OK comes first on every desktop: a button of QorLog's own, found by its name.
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            if (!ok)
                ok = box->findChild<QAbstractButton *>(QStringLiteral("OkButton"));
            QVERIFY(ok);
            ok->click();
        } else {
            modal->close();
        }
    });
    QSignalSpy closed(m_form.get(), &TQorLogMainForm::closed);
    m_form->close();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(questions,
             leaveDialogOpen ? QStringList{"Charge Data Forms still exist"} : QStringList());
    QCOMPARE(readLog(m_logPath)->ChargeStringList.count(), 1);
}

// Decided means the user agreed to close: a call that arrives afterwards, here while the
// purge review is open, is answered with an error, and its charge is stored nowhere.
void TestMainWindow::callAfterTheCloseIsDecidedFails()
{
    addEarlier({Charge()});
    m_form->log().BatteriesStringList.setMarked(0, true);
    // As the program does: serving ends once the close is decided.
    connect(m_form.get(), &TQorLogMainForm::closeDecided, m_server.get(), &AutomationServer::stop);

    QDBusMessage lateReply;
    ModalWatcher watcher([&](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            box->findChild<QPushButton *>(QStringLiteral("OkButton"))->click(); // purge
        } else if (auto *review = qobject_cast<TFilterForm *>(modal)) {
            Charge late;
            late.battery = QStringLiteral("Too late");
            lateReply = clientCall(late);
            review->OkBitBtn->click();
        }
    });
    QSignalSpy closed(m_form.get(), &TQorLogMainForm::closed);
    m_form->close();
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(watcher.count(), 2);
    QCOMPARE(lateReply.type(), QDBusMessage::ErrorMessage);
    QVERIFY2(!replyErrorName(lateReply).isEmpty(), qPrintable(lateReply.errorMessage()));
    const auto log = readLog(m_logPath);
    for (int i = 0; i < log->ChargeStringList.count(); ++i)
        QVERIFY(storedCharge(*log, i).battery != QStringLiteral("Too late"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
