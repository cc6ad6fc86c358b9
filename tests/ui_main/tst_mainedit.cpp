// The main window's menu bar, undo and redo of every change, and the table's keys and Copy.

#include "BarChart.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "LogFile.h"
#include "ModalHelper.h"
#include "QorLogMainFormUnit.h"

#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
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
        QTest::newRow("File") << "&File" << QStringList{"Quit|Ctrl+Q"};
        QTest::newRow("Edit") << "&Edit"
                              << QStringList{"Undo|Ctrl+Z",
                                             "Redo|Ctrl+Shift+Z,Ctrl+Y",
                                             "-",
                                             "Add Charge Record|Ctrl+N",
                                             "Edit Charge Record\u2026|Enter,Return",
                                             "Delete Selection|Del",
                                             "-",
                                             "Copy|Ctrl+C",
                                             "Select All|Ctrl+A"};
        QTest::newRow("View") << "&View" << QStringList{"Filter Power Sources",
                                                        "Filter Batteries",
                                                        "Filter Chargers",
                                                        "Filter Terminations",
                                                        "-",
                                                        "Cycles Colour",
                                                        "Charge Colour",
                                                        "Discharge Colour"};
        QTest::newRow("Help") << "&Help" << QStringList{"Keyboard Shortcuts", "About QorLog"};
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
        QCOMPARE(form->ChartPopupMenu->actions(),
                 (QList<QAction *>{form->CyclesColourAction, form->ChargeColourAction,
                                   form->DischargeColourAction}));
        // A disabled action greys its button too.
        form->DeleteSelectionAction->setEnabled(false);
        QVERIFY(!form->DeleteSelectionBitBtn->isEnabled());
        form->DeleteSelectionAction->setEnabled(true);
        QVERIFY(form->DeleteSelectionBitBtn->isEnabled());
    }

    void menuBarKeepsTheDesignSizes()
    {
        TQorLogMainForm *form = openForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QCOMPARE(form->centralWidget()->size(), QSize(641, 480));
        QCOMPARE(form->height(), 480 + form->menuBar()->height());
        QCOMPARE(form->FilterTerminationsBitBtn->geometry(), QRect(304, 40, 128, 25));
    }
};

QTEST_MAIN(TestMainEdit)
#include "tst_mainedit.moc"
