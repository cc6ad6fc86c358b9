// The battery card window: where it opens from, what OK stores, and retired batteries.

#include "BatteryCardFormUnit.h"
#include "BatteryDetailsFormUnit.h"
#include "BatteryOverviewFormUnit.h"
#include "ChargeChart.h"
#include "ChargeLogDocument.h"
#include "ChargeLogTableModel.h"
#include "ChargeLogTableView.h"
#include "DueSettingsFormUnit.h"
#include "LogFile.h"
#include "NumberText.h"
#include "QorLogMainFormUnit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <memory>

namespace {

const double Day0 = 46000.0;

QList<TBatteryCardForm *> openCards(QWidget *form)
{
    QList<TBatteryCardForm *> open;
    for (auto *card : form->findChildren<TBatteryCardForm *>())
        if (card->isVisible())
            open.append(card);
    return open;
}

} // namespace

class TestBatteryCardForm : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;

    TQorLogMainForm *openForm()
    {
        m_form = std::make_unique<TQorLogMainForm>(m_dir->filePath(QStringLiteral("t.QorLog")));
        m_form->FormCreate();
        for (const QString &battery : {QStringLiteral("Alpha"), QStringLiteral("Beta")})
            for (int k = 0; k < 3; ++k)
                m_form->AddChargeRecord(-1, Day0 + k, QStringLiteral("PSU"),
                                        QStringLiteral("QorA1"), battery, 1, 1,
                                        QStringLiteral("Normal"), QString(), QString());
        return m_form.get();
    }
    QAction *action(const char *name) const
    {
        return m_form->findChild<QAction *>(QLatin1String(name));
    }

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        m_dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup() { m_form.reset(); }

    void opensFromEveryPlace_data()
    {
        QTest::addColumn<QString>("place");
        QTest::newRow("chart popup") << "chart";
        QTest::newRow("table menu") << "table";
        QTest::newRow("details") << "details";
        QTest::newRow("overview") << "overview";
    }
    void opensFromEveryPlace()
    {
        QFETCH(QString, place);
        TQorLogMainForm *form = openForm();
        if (place == QLatin1String("chart")) {
            // The popup's entry is for the battery under the mouse.
            TChargeChart *chart = form->Chart1;
            chart->resize(600, 300);
            QPoint over(-1, -1);
            for (int x = 0; x < chart->width() && over.x() < 0; ++x)
                if (chart->categoryAt(QPoint(x, chart->height() / 2)) == 1)
                    over = QPoint(x, chart->height() / 2);
            QVERIFY(over.x() >= 0);
            Q_EMIT chart->customContextMenuRequested(over);
            action("BatteryCardAction")->trigger();
        } else if (place == QLatin1String("table")) {
            // The rows are in date order: Alpha, Beta, Alpha, Beta, ...
            form->ChargeLogStringGrid->selectRow(3);
            action("TableBatteryCardAction")->trigger();
        } else if (place == QLatin1String("details")) {
            form->showBatteryDetails(QStringLiteral("beta"))->CardButton->click();
        } else {
            TBatteryOverviewForm *overview = form->showBatteryOverview();
            overview->BatteryTableView->selectRow(1);
            QVERIFY(overview->CardButton->isEnabled());
            overview->CardButton->click();
        }
        const QList<TBatteryCardForm *> open = openCards(form);
        QCOMPARE(open.size(), 1);
        QCOMPARE(open.first()->battery().toLower(), QStringLiteral("beta"));
    }

    void okStoresTheCard()
    {
        TQorLogMainForm *form = openForm();
        TBatteryCardForm *card =
            TBatteryCardForm::showFor(form->document(), form, QStringLiteral("Alpha"));
        QCOMPARE(card->CellsSpin->text(), QStringLiteral("not known"));
        card->RatedCapacityEdit->setText(QStringLiteral("2.2"));
        card->CellsSpin->setValue(3);
        card->ChemistryBox->setCurrentIndex(card->ChemistryBox->findData(int(TChemistry::LiHV)));
        card->RatedCyclesSpin->setValue(300);
        card->BoughtEdit->setDate(QDate(2025, 11, 1));
        card->LabelEdit->setText(QStringLiteral("SN 7"));
        card->NoteEdit->setPlainText(QStringLiteral("yellow wrap"));
        const int steps = form->document()->undoStack()->count();
        card->Buttons->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!card->isVisible());
        QCOMPARE(form->document()->undoStack()->count(), steps + 1);

        TChargeLog onDisk;
        LogFile::LoadChargeLog(form->document()->path(), onDisk);
        TBatteryCard expected{QStringLiteral("Alpha"),
                              2.2,
                              3,
                              TChemistry::LiHV,
                              300,
                              DateTimeText::fromWallClock(QDate(2025, 11, 1), QTime(0, 0)),
                              QStringLiteral("SN 7"),
                              TBatteryState::InUse,
                              QStringLiteral("yellow wrap")};
        QCOMPARE(*onDisk.Cards.find(QStringLiteral("Alpha")), expected);

        // Opened again it shows what was stored; a capacity that is no number is refused.
        card = TBatteryCardForm::showFor(form->document(), form, QStringLiteral("alpha"));
        QCOMPARE(card->RatedCapacityEdit->text(), QStringLiteral("2.2"));
        QCOMPARE(card->ChemistryBox->currentData().toInt(), int(TChemistry::LiHV));
        QVERIFY(card->HealthLabel->text().contains(QStringLiteral("3 of 300 rated cycles")));
        card->RatedCapacityEdit->setText(QStringLiteral("2,2 Ah"));
        QVERIFY_THROWS_EXCEPTION(QorLogError, card->card());
    }

    void dueSettingsFromTheOverview()
    {
        TQorLogMainForm *form = openForm();
        TBatteryOverviewForm *overview = form->showBatteryOverview();
        const QModelIndex due =
            overview->tableModel()->index(0, TBatteryOverviewModel::dueColumn());
        // A year old: unused, and never discharged.
        QCOMPARE(due.data().toString(),
                 QStringLiteral("unused since 2025-12-11; capacity test due"));
        overview->DueSettingsButton->click();
        auto *settings = overview->findChild<TDueSettingsForm *>();
        QVERIFY(settings && settings->isVisible());
        settings->UnusedDaysSpin->setValue(0);
        settings->TestDaysSpin->setValue(400);
        settings->Buttons->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(form->document()->log().Cards.Due.UnusedDays, 0);
        QCOMPARE(form->document()->undoStack()->undoText(), QStringLiteral("Change Due Settings"));
        QCOMPARE(overview->tableModel()->index(0, TBatteryOverviewModel::dueColumn()).data(),
                 QVariant(QString()));
        // Opened again it shows them; Restore Defaults puts the defaults in the fields.
        overview->DueSettingsButton->click();
        settings = overview->findChildren<TDueSettingsForm *>().last();
        QCOMPARE(settings->UnusedDaysSpin->text(), QStringLiteral("off"));
        settings->Buttons->button(QDialogButtonBox::RestoreDefaults)->click();
        QCOMPARE(settings->settings(), TDueSettings());
    }

    void retiredLeaveChartAndOverview()
    {
        TQorLogMainForm *form = openForm();
        TBatteryOverviewForm *overview = form->showBatteryOverview();
        TBatteryCardForm *card =
            TBatteryCardForm::showFor(form->document(), form, QStringLiteral("Beta"));
        card->StateBox->setCurrentIndex(card->StateBox->findData(int(TBatteryState::Retired)));
        QVERIFY(card->store());
        QCOMPARE(form->chartTotals().Labels, QStringList{QStringLiteral("Alpha")});
        QCOMPARE(overview->tableModel()->rowCount(), 1);
        // Their records stay in the table.
        QCOMPARE(form->tableModel()->rowCount(), 6);

        QAction *show = action("ShowRetiredAction");
        show->trigger();
        QCOMPARE(form->chartTotals().Labels.size(), 2);
        QCOMPARE(overview->tableModel()->rowCount(), 2);
        QVERIFY(overview->ShowRetiredBox->isChecked());
        overview->ShowRetiredBox->click();
        QVERIFY(!show->isChecked());
        QCOMPARE(form->chartTotals().Labels.size(), 1);
    }
};

QTEST_MAIN(TestBatteryCardForm)
#include "tst_batterycardform.moc"
