#include "ChargeDataFormUnit.h"
#include "FilterFormUnit.h"
#include "LogFile.h"
#include "ModalHelper.h"
#include "QorLogMainFormUnit.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The close question of the main window: open dialogs, purging marked records, a failed save.
class TestMainClose : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;
    std::unique_ptr<TFilterForm> m_filter;
    QStringList m_seen; // captions and texts of the boxes answered

    QString m_informative; // the last box's informative text
    QString logPath() const { return m_dir->filePath(QStringLiteral("close.QorLog")); }

    TQorLogMainForm *openForm()
    {
        m_filter.reset();
        m_form = std::make_unique<TQorLogMainForm>(logPath());
        m_form->FormCreate();
        m_filter = std::make_unique<TFilterForm>(m_form.get());
        m_form->setFilterForm(m_filter.get());
        m_form->show();
        return m_form.get();
    }
    void addSample(TQorLogMainForm *form)
    {
        const char *batteries[] = {"A", "B", "C"};
        for (int i = 0; i < 3; ++i)
            form->AddChargeRecord(-1, 100 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                  QString::fromLatin1(batteries[i]), 1, 1, QStringLiteral("Normal"),
                                  QString(), QString());
    }
    // Answers the next message box with the button of the given role, noting its text.
    void answerBox(QMessageBox::StandardButton button)
    {
        whenModal([this, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            m_seen << box->text();
            m_informative = box->informativeText();
            QList<QString> order;
            for (QAbstractButton *b : box->buttons())
                order << b->text();
            m_seen << order.join(QLatin1Char('|'));
            QAbstractButton *target = box->button(button);
            if (!target) { // the purge question names its buttons
                const char *names[] = {"NoButton", "OkButton", "CancelButton"};
                const int which = button == QMessageBox::No ? 0 : button == QMessageBox::Ok ? 1 : 2;
                target = box->findChild<QAbstractButton *>(QLatin1String(names[which]));
            }
            QVERIFY(target);
            target->click();
        });
    }
    // Accepts the next filter dialog, optionally unmarking the list's first entry first.
    void acceptFilter(bool unmarkFirst = false)
    {
        whenModal([this, unmarkFirst](QWidget *w) {
            auto *filter = qobject_cast<TFilterForm *>(w);
            QVERIFY(filter);
            m_seen << filter->windowTitle();
            if (unmarkFirst)
                filter->FilterList->setMarked(0, false);
            filter->accept();
        });
    }
    int recordsInFile()
    {
        TChargeLog log;
        LogFile::LoadChargeLog(logPath(), log);
        return log.ChargeStringList.count();
    }

private Q_SLOTS:
    void init()
    {
        m_seen.clear();
        m_dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        deleteOpenForms<TChargeDataForm>();
        m_filter.reset();
        m_form.reset();
    }

    void closingWithoutMarksAsksNothingAndSaves()
    {
        TQorLogMainForm *form = openForm();
        addSample(form);
        QFile::remove(logPath());
        QSignalSpy closed(form, &TQorLogMainForm::closed);
        QVERIFY(form->close());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(recordsInFile(), 3);
    }

    void openDialogsAreAskedAbout()
    {
        TQorLogMainForm *form = openForm();
        form->OpenChargeDataForm(-1);
        answerBox(QMessageBox::Cancel);
        QVERIFY(!form->close());
        QCOMPARE(m_seen.value(0), QStringLiteral("Charge Data Forms still exist"));
        QVERIFY(form->isVisible());

        answerBox(QMessageBox::Ok);
        QVERIFY(form->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TChargeDataForm *>(w)); // dropped with their input
    }

    void marksAnsweredNoKeepEverything()
    {
        TQorLogMainForm *form = openForm();
        addSample(form);
        form->log().BatteriesStringList.setMarked(0, true);
        answerBox(QMessageBox::No);
        QVERIFY(form->close());
        QCOMPARE(m_seen.value(0),
                 QStringLiteral("Do you want to permanently delete filtered items?"));
        QCOMPARE(m_seen.value(1), QStringLiteral("&No|&OK|Cancel")); // in that order
        QCOMPARE(m_informative, QStringLiteral("1 charge would be deleted."));
        QCOMPARE(recordsInFile(), 3);
    }

    void marksAnsweredCancelKeepTheWindowAndMarks()
    {
        TQorLogMainForm *form = openForm();
        addSample(form);
        form->log().BatteriesStringList.setMarked(0, true);
        answerBox(QMessageBox::Cancel);
        QVERIFY(!form->close());
        QVERIFY(form->log().BatteriesStringList.isMarked(0));
        QCOMPARE(form->log().ChargeStringList.count(), 3);
    }

    void marksAnsweredOkPurgeAfterTheFilterDialogs()
    {
        TQorLogMainForm *form = openForm();
        addSample(form);
        TChargeLog &log = form->log();
        log.PowerSourcesStringList.setMarked(log.PowerSourcesStringList.indexOf("Mains"), true);
        log.BatteriesStringList.setMarked(0, true); // "A": unmarked again in its dialog
        log.BatteriesStringList.setMarked(1, true); // "B": purged
        answerBox(QMessageBox::Ok);
        QTimer::singleShot(0, this, [this] {
            acceptFilter();
            // The batteries' dialog comes second; unmark "A" there.
            QTimer::singleShot(300, this, [this] { acceptFilter(true); });
        });
        QVERIFY(form->close());
        QCOMPARE(m_seen.value(2), QStringLiteral("Delete Power Sources"));
        QCOMPARE(m_seen.value(3), QStringLiteral("Delete Batteries"));
        TChargeLog reread;
        LogFile::LoadChargeLog(logPath(), reread);
        QCOMPARE(reread.ChargeStringList.count(), 2);
        QCOMPARE(reread.BatteriesStringList.names(), QStringList({"A", "C"}));
        QVERIFY(!reread.PowerSourcesStringList.names().contains(QStringLiteral("Deleted")));
        // In memory the purged name became "Deleted" and the others kept their names.
        QCOMPARE(log.BatteriesStringList.name(1), QStringLiteral("Deleted"));
        QCOMPARE(log.BatteriesStringList.name(
                     log.ChargeStringList.record(log.ChargeStringList.count() - 1).BatteryIndex),
                 QStringLiteral("C"));
    }

    // Nothing is purged without its backup: the records stay in the log.
    void failedPurgeBackupKeepsTheRecords()
    {
        // Neither beside the log nor in the user's data folder can a backup be written.
        const QString dataFile = m_dir->filePath(QStringLiteral("data"));
        QVERIFY(QFile(dataFile).open(QIODevice::WriteOnly));
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dataFile.toLocal8Bit());
        TQorLogMainForm *form = openForm();
        qputenv("XDG_DATA_HOME", dataHome);
        addSample(form);
        const QString backups = form->logFileGuard()->backups().folder();
        QDir(backups).removeRecursively();
        QVERIFY(QFile(backups).open(QIODevice::WriteOnly)); // a file where the folder goes
        form->log().BatteriesStringList.setMarked(1, true);
        QString error;
        whenModal([&error](QWidget *question) {
            question->findChild<QAbstractButton *>(QStringLiteral("OkButton"))->click();
            whenModal(
                [&error](QWidget *w) {
                    auto *box = qobject_cast<QMessageBox *>(w);
                    QVERIFY(box);
                    error = box->text();
                    box->button(QMessageBox::Ok)->click();
                },
                question);
        });
        QVERIFY(form->close());
        QVERIFY2(error.contains(QStringLiteral("Nothing was deleted")), qPrintable(error));
        QCOMPARE(recordsInFile(), 3);
    }

    void failedSaveAtCloseLetsTheUserChoose()
    {
        const QString folder = m_dir->filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(folder));
        m_form = std::make_unique<TQorLogMainForm>(folder + QStringLiteral("/x.QorLog"));
        m_form->FormCreate();
        m_form->show();
        // The folder turns into a plain file: the save at close must fail.
        QVERIFY(QDir().rmdir(folder));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        answerBox(QMessageBox::No);
        QVERIFY(!m_form->close());
        QVERIFY(m_seen.value(0).contains(QStringLiteral("x.QorLog")));
        QVERIFY(m_form->isVisible());
        answerBox(QMessageBox::Yes);
        QVERIFY(m_form->close());
    }

    // A close nobody can answer arrives while a box or dialog waits for the user: the log is
    // written whole, nothing is purged, no question stays open and nothing is deleted under
    // its own box.
    void unattendedCloseWhileSomethingIsOpen_data()
    {
        QTest::addColumn<QString>("open");
        QTest::newRow("filter dialog") << "filter";
        QTest::newRow("purge review") << "review";
        QTest::newRow("close question") << "question";
        QTest::newRow("error box of a charge data dialog") << "dialog box";
    }
    void unattendedCloseWhileSomethingIsOpen()
    {
        QFETCH(QString, open);
        TQorLogMainForm *form = openForm();
        addSample(form);
        form->log().BatteriesStringList.setMarked(0, true);
        QSignalSpy closed(form, &TQorLogMainForm::closed);
        QSignalSpy decided(form, &TQorLogMainForm::closeDecided);
        const auto endUnattended = [form](QWidget *) { QVERIFY(form->closeUnattended()); };
        if (open == "filter") {
            whenModal(endUnattended);
            form->FilterBatteriesAction->trigger();
        } else if (open == "review") {
            answerBox(QMessageBox::Ok);
            QTimer::singleShot(0, this, [&] {
                whenModal([&](QWidget *w) {
                    QVERIFY(qobject_cast<TFilterForm *>(w));
                    // Decided: a charge from outside is refused now, not dropped later.
                    QCOMPARE(decided.count(), 1);
                    QVERIFY_THROWS_EXCEPTION(
                        QorLogError, form->HandleAddCharge(300, "PSU", false, "QorA1", "Z", 1, 1,
                                                           "Normal", QString(), QString(), false));
                    QVERIFY(form->closeUnattended());
                });
            });
            QVERIFY(form->close());
        } else if (open == "question") {
            form->OpenChargeDataForm(-1);
            whenModal([&](QWidget *w) {
                // A second close event while the question is open asks nothing again.
                QCloseEvent again;
                QApplication::sendEvent(form, &again);
                QVERIFY(!again.isAccepted());
                QVERIFY(qobject_cast<QMessageBox *>(w)->isVisible());
                QVERIFY(form->closeUnattended());
            });
            QVERIFY(form->close());
        } else {
            QPointer<TChargeDataForm> dialog;
            form->OpenChargeDataForm(-1);
            dialog = TChargeDataForm::openForms().value(0);
            QVERIFY(dialog);
            dialog->AmpHoursLabeledEdit->setText("abc");
            whenModal(endUnattended, nullptr);
            QTest::mouseClick(dialog->OkBitBtn, Qt::LeftButton); // returns once the box ended
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!dialog);
        }
        QCOMPARE(closed.count(), 1);
        QCOMPARE(decided.count(), 1);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(recordsInFile(), 3); // written, and not purged
        QVERIFY(form->log().BatteriesStringList.isMarked(0));
        QVERIFY_THROWS_EXCEPTION(QorLogError,
                                 form->HandleAddCharge(300, "PSU", false, "QorA1", "Z", 1, 1,
                                                       "Normal", QString(), QString(), true));
    }

    // A close that is called off takes charges again.
    void abandonedCloseServesAgain()
    {
        const QString folder = m_dir->filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(folder));
        m_form = std::make_unique<TQorLogMainForm>(folder + QStringLiteral("/x.QorLog"));
        m_form->FormCreate();
        m_form->show();
        QVERIFY(QDir().rmdir(folder));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QSignalSpy decided(m_form.get(), &TQorLogMainForm::closeDecided);
        QSignalSpy abandoned(m_form.get(), &TQorLogMainForm::closeAbandoned);
        answerBox(QMessageBox::No);
        QVERIFY(!m_form->close());
        QCOMPARE(decided.count(), 1);
        QCOMPARE(abandoned.count(), 1);
        QVERIFY(!m_form->isCloseDecided());
        // Taken again: it fails for the folder, not for the close, and is not kept.
        QString failure;
        try {
            m_form->HandleAddCharge(300, "PSU", false, "QorA1", "Z", 1, 1, "Normal", QString(),
                                    QString(), false);
        } catch (const QorLogError &error) {
            failure = error.message();
        }
        QVERIFY2(failure.contains(QStringLiteral("x.QorLog")), qPrintable(failure));
        QCOMPARE(m_form->log().ChargeStringList.count(), 0);
    }
};

QTEST_MAIN(TestMainClose)
#include "tst_mainclose.moc"
