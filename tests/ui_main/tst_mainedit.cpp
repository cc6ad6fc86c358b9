// The main window's menu bar, undo and redo of every change, and the table's keys and Copy.

#include "BarChart.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "LogFile.h"
#include "ModalHelper.h"
#include "QorLogMainFormUnit.h"
#include "WindowGeometry.h"

#include <QClipboard>
#include <QColorDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <memory>

class TestMainEdit : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;

    QString logPath() const { return m_dir->filePath(QStringLiteral("test.QorLog")); }
    TQorLogMainForm *openForm()
    {
        m_form = std::make_unique<TQorLogMainForm>(logPath());
        m_form->FormCreate();
        return m_form.get();
    }
    QByteArray fileBytes() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
    }
    static void add(TQorLogMainForm *form, double when, const QString &battery,
                    const QString &comment)
    {
        form->AddChargeRecord(-1, when, QStringLiteral("PSU"), QStringLiteral("QorA1"), battery, 2,
                              1.5, QStringLiteral("Normal"), comment, QString());
    }
    static void selectRows(TQorLogMainForm *form, int first, int last)
    {
        TChargeLogTableModel *model = form->tableModel();
        form->ChargeLogStringGrid->selectionModel()->select(
            QItemSelection(model->index(first, 0),
                           model->index(last, TChargeLogTableModel::ColumnCount - 1)),
            QItemSelectionModel::ClearAndSelect);
    }
    static QStringList entries(QMenu *menu)
    {
        QStringList texts;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator()) {
                texts << QStringLiteral("-");
                continue;
            }
            QStringList keys;
            for (const QKeySequence &k : action->shortcuts())
                keys << k.toString(QKeySequence::PortableText);
            texts << (keys.isEmpty()
                          ? action->text()
                          : action->text() + QLatin1Char('|') + keys.join(QLatin1Char(',')));
        }
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        deleteOpenForms<TChargeDataForm>();
        m_form.reset();
        m_dir.reset();
    }

    void menuTextsAndShortcuts_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("File") << "&File"
                              << QStringList{"&Export CSV\u2026",
                                             "&Import CSV\u2026",
                                             "&Add Charge from Charger Log\u2026",
                                             "&Capture from Charger\u2026",
                                             "Export P&DF\u2026",
                                             "&Print\u2026|Ctrl+P",
                                             "-",
                                             "&Restore Backup\u2026",
                                             "-",
                                             "&Quit|Ctrl+Q"};
        QTest::newRow("Edit") << "&Edit"
                              << QStringList{"&Undo|Ctrl+Z",
                                             "&Redo|Ctrl+Shift+Z,Ctrl+Y",
                                             "-",
                                             "&Add Charge Record|Ctrl+N",
                                             "&Edit Charge Record\u2026|Enter,Return",
                                             "&Delete Selection|Del",
                                             "-",
                                             "&Copy|Ctrl+C",
                                             "&Select All|Ctrl+A",
                                             "-",
                                             "&Open Charger Log File",
                                             "S&how Charger Log",
                                             "-",
                                             "&Battery Card\u2026"};
        QTest::newRow("View") << "&View"
                              << QStringList{"Filter &Power Sources",
                                             "Filter &Batteries",
                                             "Filter &Chargers",
                                             "Filter &Terminations",
                                             "-",
                                             "C&ycles Colour",
                                             "Charg&e Colour",
                                             "&Discharge Colour",
                                             "-",
                                             "Battery &Overview",
                                             "Show &Retired Batteries"};
        QTest::newRow("Help") << "&Help" << QStringList{"&Keyboard Shortcuts", "&About QorLog"};
    }
    void menuTextsAndShortcuts()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, expected);
        TQorLogMainForm *form = openForm();
        QMenu *found = nullptr;
        for (QAction *action : form->menuBar()->actions())
            if (action->text() == menu)
                found = action->menu();
        QVERIFY(found);
        QCOMPARE(entries(found), expected);
    }

    void menusShareTheButtonsActions()
    {
        TQorLogMainForm *form = openForm();
        QCOMPARE(form->FileMenu->actions().last(), form->QuitAction);
        QVERIFY(form->EditMenu->actions().contains(form->PromptForChargeRecordAction));
        QVERIFY(form->EditMenu->actions().contains(form->DeleteSelectionAction));
        QVERIFY(form->ViewMenu->actions().contains(form->FilterBatteriesAction));
        // The three colour entries come first; the battery windows' entries follow them.
        QCOMPARE(form->ChartPopupMenu->actions().mid(0, 3),
                 (QList<QAction *>{form->CyclesColourAction, form->ChargeColourAction,
                                   form->DischargeColourAction}));
        // A disabled action greys its button too.
        form->DeleteSelectionAction->setEnabled(false);
        QVERIFY(!form->DeleteSelectionBitBtn->isEnabled());
        form->DeleteSelectionAction->setEnabled(true);
        QVERIFY(form->DeleteSelectionBitBtn->isEnabled());
    }

    // Each kind of change: done, undone, redone, the file compared after each. Records with equal
    // date-times check that undo puts records back at their places, not only in date-time order.
    void undoAndRedoEveryKindOfChange_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("add") << "add"
                             << "Add Charge";
        QTest::newRow("bus direct") << "bus"
                                    << "Add Charge";
        QTest::newRow("confirmation dialog") << "dialog"
                                             << "Add Charge";
        QTest::newRow("edit") << "edit"
                              << "Edit Charge";
        QTest::newRow("delete one") << "delete1"
                                    << "Delete 1 Charge";
        QTest::newRow("delete three") << "delete3"
                                      << "Delete 3 Charges";
        QTest::newRow("colour") << "colour"
                                << "Discharge Colour Change";
        QTest::newRow("general change") << "general"
                                        << "Merge";
    }
    void undoAndRedoEveryKindOfChange()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("A"), QStringLiteral("first at 100"));
        add(form, 100, QStringLiteral("B"), QStringLiteral("second at 100"));
        add(form, 200, QStringLiteral("C"), QStringLiteral("at 200"));
        add(form, 300, QStringLiteral("D"), QStringLiteral("at 300"));
        form->undoStack()->clear();
        const QByteArray before = fileBytes();
        const qint32 firstKey = form->tableModel()->keyAt(0);

        if (kind == QLatin1String("add")) {
            add(form, 100, QStringLiteral("New"), QStringLiteral("with a new battery"));
        } else if (kind == QLatin1String("bus")) {
            form->HandleAddCharge(150, QStringLiteral("Mains"), true, QStringLiteral("QorB1_1"),
                                  QStringLiteral("A"), -1, -0.5, QStringLiteral("Error"),
                                  QStringLiteral("c"), QString(), false);
        } else if (kind == QLatin1String("dialog")) {
            form->HandleAddCharge(150, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                                  QStringLiteral("A"), 1, 1, QStringLiteral("Normal"),
                                  QStringLiteral("confirmed"), QString(), true);
            QCOMPARE(TChargeDataForm::openForms().size(), 1);
            TChargeDataForm::openForms().first()->OkBitBtn->click();
        } else if (kind == QLatin1String("edit")) {
            // Moving the first of two equal date-times away and back must keep it first.
            form->AddChargeRecord(firstKey, 400, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                  QStringLiteral("A"), 3, 3, QStringLiteral("Normal"),
                                  QStringLiteral("edited"), QString());
        } else if (kind == QLatin1String("delete1")) {
            selectRows(form, 0, 0);
            form->DeleteSelectionAction->trigger();
        } else if (kind == QLatin1String("delete3")) {
            selectRows(form, 0, 2);
            form->DeleteSelectionAction->trigger();
        } else if (kind == QLatin1String("colour")) {
            whenModal([](QWidget *w) {
                auto *dialog = qobject_cast<QColorDialog *>(w);
                dialog->setCurrentColor(QColor(10, 20, 30));
                dialog->accept();
            });
            form->DischargeColourAction->trigger();
            QCOMPARE(form->DischargeSeriesColour(), 0x1E140A);
        } else {
            TChargeEntry replaced = form->log().ChargeStringList.at(1);
            TChargeEntry changed = replaced;
            changed.Record.AmpHours = 9;
            TChargeEntry added = replaced;
            added.Record.Key = form->log().NextKey;
            added.Record.DateTime = 250;
            form->applyLogChange(QStringLiteral("Merge"),
                                 {form->log().ChargeStringList.at(0), replaced}, {changed, added});
            QCOMPARE(form->log().ChargeStringList.count(), 4);
            QVERIFY(form->log().NextKey > added.Record.Key);
        }
        QCOMPARE(form->undoStack()->count(), 1);
        QCOMPARE(form->UndoAction->text(), QStringLiteral("&Undo ") + text);
        QVERIFY(form->UndoAction->isEnabled());
        QVERIFY(!form->RedoAction->isEnabled());
        // What the change leaves (a colour reaches the file only with the next save).
        LogFile::SaveChargeLog(logPath(), form->log());
        const QByteArray after = fileBytes();
        QVERIFY(after != before);

        form->UndoAction->trigger();
        QCOMPARE(fileBytes(), before);
        QCOMPARE(form->RedoAction->text(), QStringLiteral("&Redo ") + text);
        QCOMPARE(form->UndoAction->text(), QStringLiteral("&Undo"));
        QVERIFY(!form->UndoAction->isEnabled());
        form->RedoAction->trigger();
        QCOMPARE(fileBytes(), after);
        QVERIFY(!form->RedoAction->isEnabled());
        // Keys are never handed out twice: a charge added now gets a new one.
        const qint32 next = form->log().NextKey;
        form->undoStack()->undo();
        add(form, 500, QStringLiteral("A"), QString());
        QCOMPARE(form->log().ChargeStringList.record(form->log().ChargeStringList.count() - 1).Key,
                 next);
    }

    void undoAndRedoKeys()
    {
        TQorLogMainForm *form = openForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        add(form, 100, QStringLiteral("A"), QString());
        const TChargeList &charges = form->log().ChargeStringList;
        QTest::keyClick(form, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(charges.count(), 0);
        QTest::keyClick(form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(charges.count(), 1);
        QTest::keyClick(form, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(form, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(charges.count(), 1);
    }

    void generalChangeRefusesKeysInUse()
    {
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("A"), QString());
        const QByteArray before = fileBytes();
        TChargeEntry clash = form->log().ChargeStringList.at(0);
        QVERIFY_THROWS_EXCEPTION(QorLogError,
                                 form->applyLogChange(QStringLiteral("Import"), {}, {clash}));
        TChargeEntry badName = clash;
        badName.Record.Key = form->log().NextKey;
        badName.Record.BatteryIndex = 99;
        QVERIFY_THROWS_EXCEPTION(QorLogError,
                                 form->applyLogChange(QStringLiteral("Import"), {}, {badName}));
        QCOMPARE(form->undoStack()->count(), 1);
        QCOMPARE(fileBytes(), before);
    }

    void copyPutsTheRowsAsTabSeparatedText()
    {
        TQorLogMainForm *form = openForm();
        form->AddChargeRecord(-1, 45000.5, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Cell"), -1.25, 2.5, QStringLiteral("Normal"),
                              QStringLiteral("tab\there, line\r\nbreak ") + QString(1200, 'x'),
                              QStringLiteral("/no/such.log"));
        add(form, 45001, QStringLiteral("Other"), QStringLiteral("second"));
        add(form, 45002, QStringLiteral("Third"), QStringLiteral("not selected"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        form->RefreshDisplay(); // the table shows numbers with the user's separator
        QLocale::setDefault(QLocale::c());
        selectRows(form, 0, 1);
        form->CopyAction->trigger();
        const QString expected =
            QStringLiteral(
                "Date-Time\tPower\tCharger\tBattery\tAmps\tAmpHours\tTermination\tComment\n"
                "2023-03-15 12:00:00\tPSU\tQorA1\tCell\t-1,25\t2,5\tNormal\ttab here, "
                "line  break ") +
            QString(1200, 'x') +
            QStringLiteral("\n2023-03-16 00:00:00\tPSU\tQorA1\tOther\t2\t1,5\tNormal\tsecond\n");
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    }

    void openChargerLogFileIsGreyedWithoutAFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("none") << "" << false;
        QTest::newRow("missing") << "missing.log" << false;
        QTest::newRow("beside the log") << "charger.log" << true;
        QTest::newRow("a folder") << "." << false;
    }
    void openChargerLogFileIsGreyedWithoutAFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        QFile file(m_dir->filePath(QStringLiteral("charger.log")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        TQorLogMainForm *form = openForm();
        QVERIFY(!form->OpenChargerLogFileAction->isEnabled()); // nothing selected
        form->AddChargeRecord(-1, 100, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              QStringLiteral("Cell"), 1, 1, QStringLiteral("Normal"), QString(),
                              name);
        QCOMPARE(form->OpenChargerLogFileAction->isEnabled(), enabled);
        QVERIFY(form->TableContextMenu->actions().contains(form->OpenChargerLogFileAction));
    }

    void enterAndDeleteActOnTheTable()
    {
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("A"), QString());
        add(form, 200, QStringLiteral("B"), QString());
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        // Without the focus in the table, Delete deletes nothing.
        form->AddChargeRecordBitBtn->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QCOMPARE(form->log().ChargeStringList.count(), 2);
        form->ChargeLogStringGrid->setFocus();
        selectRows(form, 0, 0);
        QTest::keyClick(form->ChargeLogStringGrid, Qt::Key_Return);
        QCOMPARE(TChargeDataForm::openForms().size(), 1);
        QCOMPARE(TChargeDataForm::openForms().first()->RecordKey, form->tableModel()->keyAt(0));
        deleteOpenForms<TChargeDataForm>();
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->ChargeLogStringGrid->setFocus();
        selectRows(form, 0, 0);
        QTest::keyClick(form->ChargeLogStringGrid, Qt::Key_Delete);
        QCOMPARE(form->log().ChargeStringList.count(), 1);
        QCOMPARE(form->UndoAction->text(), QStringLiteral("&Undo Delete 1 Charge"));
    }

    // Size, place and splitter come back at the next start; the first start is at the design
    // size. Settings go to a folder of the test's own.
    void windowKeepsItsSize()
    {
        QTemporaryDir config;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        WindowGeometry::setEnabled(true);
        const auto restore = qScopeGuard([] { WindowGeometry::setEnabled(false); });
        QList<int> sizes;
        {
            TQorLogMainForm *form = openForm();
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form));
            QCOMPARE(form->centralWidget()->size(), QSize(641, 480));
            form->resize(700, 560);
            form->Splitter2->setSizes({150, 300});
            sizes = form->Splitter2->sizes();
            form->hide();
            m_form.reset();
        }
        TQorLogMainForm *again = openForm();
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again));
        QCOMPARE(again->size(), QSize(700, 560));
        QCOMPARE(again->Splitter2->sizes(), sizes);
        // Grown, the window gives the table its share, not the chart alone.
        again->resize(700, 600);
        QTRY_VERIFY(again->Splitter2->sizes().at(1) > sizes.at(1));
        QVERIFY(again->minimumWidth() >= again->FilterTerminationsBitBtn->geometry().right());
        QVERIFY(QFile::exists(config.filePath(QStringLiteral("qorlog/qorlog.conf"))));
    }

    // Tab leaves the table for the buttons; the arrows stay inside it.
    void tabLeavesTheTable()
    {
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("A"), QString());
        add(form, 101, QStringLiteral("B"), QString());
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->ChargeLogStringGrid->setFocus();
        QTest::keyClick(form->ChargeLogStringGrid, Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), form->ChargeLogStringGrid);
        QTest::keyClick(form->ChargeLogStringGrid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->AddChargeRecordBitBtn);
        QTest::keyClick(form->AddChargeRecordBitBtn, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), form->ChargeLogStringGrid);
    }

    void menuBarKeepsTheDesignSizes()
    {
        TQorLogMainForm *form = openForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QCOMPARE(form->centralWidget()->size(), QSize(641, 480));
        QCOMPARE(form->height(), 480 + form->menuBar()->height() + form->statusBar()->height());
        QCOMPARE(form->FilterTerminationsBitBtn->geometry(), QRect(304, 40, 128, 25));
        // The chart fills the upper area inside Splitter1.
        QCOMPARE(form->Chart1->parentWidget(), form->Splitter1);
        QCOMPARE(form->Chart1->size(), form->Splitter1->size());
    }
};

QTEST_MAIN(TestMainEdit)
#include "tst_mainedit.moc"
