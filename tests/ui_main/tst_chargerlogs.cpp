// The main window with charger logs: a record started from a log, checked against its log and
// corrected from it as one undo step.

#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "ChargerLogCommands.h"
#include "ChargerLogFormUnit.h"
#include "ModalHelper.h"
#include "NumberText.h"
#include "QorLogMainFormUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QUrl>
#include <QtTest>

#include <memory>

class TestChargerLogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;

    // The charger log window on the screen.
    static TChargerLogForm *shownLogWindow()
    {
        TChargerLogForm *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *log = qobject_cast<TChargerLogForm *>(w); log && log->isVisible())
                window = log;
        return window;
    }
    static QString sample(const char *name)
    {
        return QStringLiteral(QORLOG_TEST_DATA "/charger-logs/") + QLatin1String(name);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_form = std::make_unique<TQorLogMainForm>(m_dir->filePath(QStringLiteral("logs.QorLog")));
        m_form->FormCreate();
    }
    void cleanup()
    {
        deleteOpenForms<TChargeDataForm>();
        deleteOpenForms<TChargerLogForm>();
        m_form.reset();
    }

    // Dropped or chosen: a dialog filled in from the log, nothing stored before OK.
    void recordStartedFromALog_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("amps");
        QTest::addColumn<bool>("discharge");
        QTest::newRow("a charge") << sample("dollar-storage-ch1.txt") << "4" << false;
        // Amps and amp-hours of a discharge both negative.
        QTest::newRow("a discharge") << sample("titled-analyser-aa.csv") << "-0.5" << true;
    }
    void recordStartedFromALog()
    {
        QFETCH(QString, file);
        QFETCH(QString, amps);
        QFETCH(bool, discharge);
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(file)});
        QCOMPARE(TChargerLogCommands::droppedFiles(&drop), QStringList{file});
        m_form->chargerLogCommands()->addChargesFrom({file});
        QCOMPARE(TChargeDataForm::openForms().size(), 1);
        TChargeDataForm *dialog = TChargeDataForm::openForms().first();
        QCOMPARE(dialog->NominalChargeAmpsLabeledEdit->text(), amps);
        QCOMPARE(dialog->AmpHoursLabeledEdit->text().startsWith(QLatin1Char('-')), discharge);
        QCOMPARE(dialog->ChargerLogFileNameLabeledEdit->text(), file);
        QCOMPARE(m_form->log().ChargeStringList.count(), 0);
        // On an empty log the names are the user's to give.
        for (QComboBox *box : {dialog->PowerSourcesComboBox, dialog->ChargersComboBox,
                               dialog->BatteriesComboBox, dialog->TerminationsComboBox})
            box->setCurrentText(QStringLiteral("Given"));
        dialog->OkBitBtn->click();
        QCOMPARE(m_form->log().ChargeStringList.count(), 1);
    }

    // A log of untitled columns that the reader's guess gives no amp-hours: its window asks
    // for the columns, and reading the file with the user's choice opens the dialog.
    void untitledLogAsksForItsColumns()
    {
        const QString file = sample("untitled-logger.csv");
        m_form->chargerLogCommands()->addChargesFrom({file});
        QCOMPARE(TChargeDataForm::openForms().size(), 0);
        TChargerLogForm *window = shownLogWindow();
        QVERIFY(window);
        QTRY_VERIFY(!window->isReading());
        QVERIFY(window->RolesRow->isVisible());
        QVERIFY(window->ReadoutLabel->text().contains(QStringLiteral("choose what each column")));
        // Beside each chooser its column's first values (the second line's voltage here).
        auto *volts = window->findChild<QLabel *>(QStringLiteral("RoleSamples2"));
        QVERIFY(volts && volts->text().contains(QStringLiteral("1,0779999494")));
        using ChargerLog::ColumnRole;
        const QVector<ColumnRole> roles{ColumnRole::UnixTime, ColumnRole::Volts, ColumnRole::Ignore,
                                        ColumnRole::Ignore,   ColumnRole::Amps,  ColumnRole::Ignore,
                                        ColumnRole::Ignore};
        QCOMPARE(window->RoleBoxes.size(), roles.size());
        for (int c = 0; c < roles.size(); ++c)
            window->RoleBoxes[c]->setCurrentIndex(window->RoleBoxes[c]->findData(int(roles[c])));
        window->ReadRolesButton->click();
        QTRY_COMPARE(TChargeDataForm::openForms().size(), 1);
        QCOMPARE(TChargeDataForm::openForms().first()->ChargerLogFileNameLabeledEdit->text(),
                 QDir::toNativeSeparators(file));
        // Reading again does not open a second one.
        window->ReadRolesButton->click();
        QCOMPARE(TChargeDataForm::openForms().size(), 1);
    }

    // A record whose amp-hours disagree with its log: the window says so and offers the log's.
    void recordCorrectedFromItsLog()
    {
        const QString file = sample("dollar-storage-ch1.txt");
        m_form->AddChargeRecord(-1, 46000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"), QString(),
                                file);
        const qint32 key = m_form->log().ChargeStringList.record(0).Key;
        TChargerLogForm *window = m_form->chargerLogCommands()->showForRecord(key);
        QVERIFY(window);
        QTRY_VERIFY(!window->isReading());
        QVERIFY(window->UseLogButton->isVisible());
        const double logAmpHours = *window->logAmpHoursForRecord();
        QVERIFY(std::fabs(logAmpHours - 1.0) > 0.03);
        window->UseLogButton->click();
        QCOMPARE(m_form->log().ChargeStringList.record(0).AmpHours, logAmpHours);
        QCOMPARE(m_form->undoStack()->count(), 2);
        QVERIFY(!window->UseLogButton->isVisible());
        m_form->undoStack()->undo();
        QCOMPARE(m_form->log().ChargeStringList.record(0).AmpHours, 1.0);
        // The window checks the record as it is now.
        QVERIFY(window->UseLogButton->isVisible());
    }

    // A dialog open on a record that "Use the Log's Amp-Hours" corrected: an untouched field
    // follows the log and OK keeps its value, whether the dialog came from a double-click or
    // from Enter; a field typed over meanwhile makes OK ask, and each answer does what it says.
    void dialogFollowsItsRecord_data()
    {
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("typed");  // typed into AmpHours before the correction
        QTest::addColumn<QString>("answer"); // the button OK's question is answered with
        QTest::addColumn<bool>("storesLogs");
        QTest::newRow("double-click, untouched") << false << QString() << QString() << true;
        QTest::newRow("Enter, untouched") << true << QString() << QString() << true;
        QTest::newRow("typed, keep mine") << false << "0.9"
                                          << "KeepMineButton" << false;
        QTest::newRow("typed, take the log's") << true << "0.9"
                                               << "TakeLogsButton" << true;
        QTest::newRow("typed the log's value") << false << "=" << QString() << true;
    }
    void dialogFollowsItsRecord()
    {
        QFETCH(bool, byEnter);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(bool, storesLogs);
        QVERIFY(QFile::copy(sample("dollar-storage-ch1.txt"), m_dir->filePath("ch1.txt")));
        m_form->AddChargeRecord(-1, 46000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"), QString(),
                                QStringLiteral("ch1.txt"));
        const qint32 key = m_form->log().ChargeStringList.record(0).Key;
        m_form->ChargeLogStringGrid->selectKey(key);
        if (byEnter)
            m_form->EditChargeRecordAction->trigger();
        else
            m_form->ChargeLogStringGridDblClick(m_form->tableModel()->index(0, 2));
        QCOMPARE(TChargeDataForm::openForms().size(), 1);
        TChargeDataForm *dialog = TChargeDataForm::openForms().first();
        dialog->ChargerLogShowBtn->click();
        TChargerLogForm *window = shownLogWindow();
        QVERIFY(window);
        QTRY_VERIFY(!window->isReading());
        const double logAh = *window->logAmpHoursForRecord();
        const QString logText = NumberText::formatGeneral(logAh);
        if (!typed.isEmpty())
            dialog->AmpHoursLabeledEdit->setText(typed == "=" ? logText : typed);
        window->UseLogButton->click();
        QCOMPARE(m_form->log().ChargeStringList.record(0).AmpHours, logAh);
        if (typed.isEmpty())
            QCOMPARE(dialog->AmpHoursLabeledEdit->text(), logText);
        QVERIFY(dialog->ChangedElsewhereLabel->text().contains(QStringLiteral("AmpHours")) ||
                typed == "=");
        if (!answer.isEmpty())
            whenModal([answer](QWidget *box) {
                auto *button = box->findChild<QPushButton *>(answer);
                QVERIFY(button);
                button->click();
            });
        dialog->OkBitBtn->click();
        if (answer == QLatin1String("TakeLogsButton")) {
            // The dialog stays open with the log's value, for OK to store it.
            QCOMPARE(dialog->AmpHoursLabeledEdit->text(), logText);
            dialog->OkBitBtn->click();
        }
        QCOMPARE(m_form->log().ChargeStringList.record(0).AmpHours,
                 storesLogs ? logAh : typed.toDouble());
        QCOMPARE(m_form->log().ChargeStringList.count(), 1);
    }

    // An undo elsewhere is followed too, and a record deleted meanwhile is announced.
    void dialogFollowsUndoAndDeletion()
    {
        m_form->AddChargeRecord(-1, 46000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"),
                                QStringLiteral("first"), QString());
        const qint32 key = m_form->log().ChargeStringList.record(0).Key;
        m_form->AddChargeRecord(key, 46000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"),
                                QStringLiteral("second"), QString());
        TChargeDataForm *dialog = TChargeDataForm::OpenChargeDataForm(m_form.get(), key, nullptr);
        QCOMPARE(dialog->CommentLabeledEdit->text(), QStringLiteral("second"));
        m_form->undoStack()->undo();
        QCOMPARE(dialog->CommentLabeledEdit->text(), QStringLiteral("first"));
        QVERIFY(dialog->ChangedElsewhereLabel->text().contains(QStringLiteral("Comment")));
        m_form->undoStack()->undo(); // the add: the record is gone
        QVERIFY(dialog->ChangedElsewhereLabel->text().contains(QStringLiteral("deleted")));
        m_form->undoStack()->redo();
        QVERIFY(!dialog->ChangedElsewhereLabel->text().contains(QStringLiteral("deleted")));
    }

    // The dialog's "Show Charger Log" opens the log its file name names (beside the log when
    // relative); the window follows the name as the dialog edits it and as the record changes.
    void windowFollowsTheFileName()
    {
        QVERIFY(QFile::copy(sample("dollar-storage-ch1.txt"), m_dir->filePath("ch1.txt")));
        m_form->AddChargeRecord(-1, 46000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"), QString(),
                                QStringLiteral("ch1.txt"));
        const qint32 key = m_form->log().ChargeStringList.record(0).Key;
        TChargeDataForm *dialog = TChargeDataForm::OpenChargeDataForm(m_form.get(), key, nullptr);
        QVERIFY(dialog->ChargerLogShowBtn->isEnabled());
        dialog->ChargerLogShowBtn->click();
        TChargerLogForm *window = shownLogWindow();
        QVERIFY(window);
        QCOMPARE(window->filePath(), m_dir->filePath("ch1.txt"));
        QCOMPARE(window->recordKey(), key);

        // Edited in the dialog: the window shows the new file before OK.
        const QString ch2 = sample("dollar-storage-ch2.txt");
        dialog->ChargerLogFileNameLabeledEdit->setText(ch2);
        Q_EMIT dialog->ChargerLogFileNameLabeledEdit->editingFinished();
        QCOMPARE(window->filePath(), ch2);
        dialog->ChargerLogFileNameLabeledEdit->setText(QStringLiteral("not-there.txt"));
        Q_EMIT dialog->ChargerLogFileNameLabeledEdit->editingFinished();
        QCOMPARE(window->filePath(), ch2); // a name of no file leaves it
        dialog->CancelBitBtn->click();

        // The record's file name changed (another dialog, an undo): the window follows.
        TChargerLogForm *shown = m_form->chargerLogCommands()->showForRecord(key);
        QCOMPARE(shown->filePath(), m_dir->filePath("ch1.txt"));
        m_form->AddChargeRecord(key, 46000, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"), QString(),
                                ch2);
        QCOMPARE(shown->filePath(), ch2);
        m_form->undoStack()->undo();
        QCOMPARE(shown->filePath(), m_dir->filePath("ch1.txt"));
        // Other changes leave a dropped file where it is.
        shown->setFilePath(ch2);
        m_form->AddChargeRecord(-1, 46001, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                QStringLiteral("Pack"), 4, 1.0, QStringLiteral("Normal"), QString(),
                                QString());
        QCOMPARE(shown->filePath(), ch2);
    }
};

QTEST_MAIN(TestChargerLogs)
#include "tst_chargerlogs.moc"
