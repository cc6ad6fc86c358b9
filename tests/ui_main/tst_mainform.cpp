#include "BarChart.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "ChartContrast.h"
#include "FilterFormUnit.h"
#include "LogFile.h"
#include "ModalHelper.h"
#include "NumberText.h"
#include "QorLogMainFormUnit.h"

#include <QAbstractItemModelTester>
#include <QColorDialog>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <memory>

class TestMainForm : public QObject
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
    static void add(TQorLogMainForm *form, double when, const QString &battery, double amps,
                    double ampHours, const QString &comment = QString(),
                    const QString &power = QStringLiteral("PSU"))
    {
        form->AddChargeRecord(-1, when, power, QStringLiteral("QorA1"), battery, amps, ampHours,
                              QStringLiteral("Normal"), comment, QString());
    }
    static QString cell(TQorLogMainForm *form, int row, int column)
    {
        return form->tableModel()->index(row, column).data().toString();
    }
    static QList<int> selectedRows(TQorLogMainForm *form)
    {
        QList<int> rows;
        for (const QModelIndex &index : form->ChargeLogStringGrid->selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static void closeChargeDataForms() { deleteOpenForms<TChargeDataForm>(); }
    // Pixels of exactly `colour` that the table paints in the cell at row 0, `column`.
    static int pixelsOf(TQorLogMainForm *form, int column, const QColor &colour)
    {
        QTableView *grid = form->ChargeLogStringGrid;
        const QRect cellRect = grid->visualRect(form->tableModel()->index(0, column));
        const QImage image = grid->viewport()->grab(cellRect).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
        return count;
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
        closeChargeDataForms();
        m_form.reset();
        m_dir.reset();
    }

    void emptyLogShowsTitlesAndOneBlankRow()
    {
        TQorLogMainForm *form = openForm();
        QAbstractItemModelTester tester(form->tableModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(form->tableModel()->rowCount(), 1);
        QCOMPARE(form->tableModel()->index(0, 0).data(TChargeLogTableModel::KeyRole).toInt(), 0);
        QCOMPARE(cell(form, 0, 0), QString());
        QStringList titles;
        for (int c = 0; c < form->tableModel()->columnCount(); ++c)
            titles << form->tableModel()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, QStringList({"Date-Time", "Power", "Charger", "Battery", "Amps",
                                      "AmpHours", "Termination", "Comment"}));
        QCOMPARE(form->Chart1->pointCount(0), 0);
        QVERIFY(!QFile::exists(logPath())); // nothing written until something changes
    }

    void rowsShowTheRecordsOldestFirst()
    {
        TQorLogMainForm *form = openForm();
        QAbstractItemModelTester tester(form->tableModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        add(form, 39146.60416666666, QStringLiteral("Cell A"), 2, 1.25, QStringLiteral("a*b"));
        QCOMPARE(form->tableModel()->rowCount(), 1);
        QCOMPARE(cell(form, 0, 0), QStringLiteral("2007-03-05 14:30:00"));
        QCOMPARE(cell(form, 0, 1), QStringLiteral("PSU"));
        QCOMPARE(cell(form, 0, 3), QStringLiteral("Cell A"));
        QCOMPARE(cell(form, 0, 4), QStringLiteral("2"));
        QCOMPARE(cell(form, 0, 5), QStringLiteral("1.25"));
        QCOMPARE(cell(form, 0, 7), QStringLiteral("a*b")); // only the first "*" separates
        const qint32 firstKey = form->tableModel()->keyAt(0);
        QVERIFY(firstKey > 0);

        // An older record lands in its sorted place; the last row is selected all the same.
        add(form, 1000, QStringLiteral("Cell B"), 1, 1);
        QCOMPARE(form->tableModel()->rowCount(), 2);
        QCOMPARE(cell(form, 0, 3), QStringLiteral("Cell B"));
        QCOMPARE(form->tableModel()->keyAt(1), firstKey);
        QCOMPARE(selectedRows(form), QList<int>({1}));
    }

    void hugeCommentIsCutForDisplayOnly()
    {
        TQorLogMainForm *form = openForm();
        const QString huge(QorLog::MaxTextLength, QLatin1Char('x')); // the longest text
        add(form, 100, QStringLiteral("Cell"), 1, 1, huge);
        const QString shown = cell(form, 0, 7);
        QCOMPARE(shown.size(), TChargeLogTableModel::MaxCellText + 1);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        TChargeLog reread;
        LogFile::LoadChargeLog(logPath(), reread);
        QString logFile, comment;
        TChargeList::SplitChargeText(reread.ChargeStringList.text(0), logFile, comment);
        QCOMPARE(comment, huge);
    }

    void entryTextWithoutStarIsAllComment()
    {
        TQorLogMainForm *form = openForm();
        TChargeRecord record;
        record.DateTime = 100;
        form->log().ChargeStringList.append(record, QStringLiteral("no star here"));
        form->RefreshDisplay();
        QCOMPARE(cell(form, 0, 7), QStringLiteral("no star here"));
    }

    void dischargeColour_data()
    {
        QTest::addColumn<double>("amps");
        QTest::addColumn<double>("ampHours");
        QTest::addColumn<bool>("coloured");
        QTest::newRow("negative amps") << -2.0 << 1.5 << true;
        QTest::newRow("negative amp-hours") << 2.0 << -1.5 << true;
        QTest::newRow("zero amps") << 0.0 << 1.5 << false;
        QTest::newRow("charge") << 2.0 << 1.5 << false;
    }
    void dischargeColour()
    {
        QFETCH(double, amps);
        QFETCH(double, ampHours);
        QFETCH(bool, coloured);
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("Cell"), amps, ampHours);
        const QColor discharge = TChargeLogDocument::toQColor(form->DischargeSeriesColour());
        for (int column : {4, 5}) {
            const QVariant fg = form->tableModel()->index(0, column).data(Qt::ForegroundRole);
            QCOMPARE(fg.isValid(), coloured);
            if (coloured)
                QCOMPARE(fg.value<QColor>(), discharge);
            // The colour's meaning in words, for a screen reader.
            const QModelIndex cellIndex = form->tableModel()->index(0, column);
            QCOMPARE(cellIndex.data(Qt::AccessibleTextRole).toString(),
                     cellIndex.data().toString() +
                         (coloured ? QStringLiteral(", discharge") : QString()));
        }
        QVERIFY(!form->tableModel()->index(0, 3).data(Qt::ForegroundRole).isValid());

        // As painted: the row is selected (the add selects it) and the table has the focus;
        // plain pixels make the text's colour countable.
        QFont plain = form->ChargeLogStringGrid->font();
        plain.setStyleStrategy(QFont::NoAntialias);
        form->ChargeLogStringGrid->setFont(plain);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        form->ChargeLogStringGrid->setFocus();
        QCOMPARE(selectedRows(form), QList<int>{0});
        // On the selection the colour is darkened as far as it must be to read (4.5:1),
        // measured on the pixels painted.
        const QColor selection =
            form->ChargeLogStringGrid->palette().color(QPalette::Active, QPalette::Highlight);
        const QColor shown = ChartContrast::readableOn(discharge, selection);
        QVERIFY(ChartContrast::contrast(shown, selection) >= 4.5);
        for (int column : {4, 5})
            QVERIFY2((pixelsOf(form, column, shown) > 0) == coloured,
                     qPrintable(shown.name() + " on " + selection.name()));
        QCOMPARE(pixelsOf(form, 3, shown), 0);

        // A new discharge colour reaches the table and its painting.
        form->setDischargeSeriesColour(0x006000);
        const QColor green(0, 0x60, 0);
        if (coloured)
            QCOMPARE(form->tableModel()->index(0, 4).data(Qt::ForegroundRole).value<QColor>(),
                     green);
        QCOMPARE(pixelsOf(form, 5, ChartContrast::readableOn(green, selection)) > 0, coloured);
        QCOMPARE(pixelsOf(form, 5, shown), 0);
    }

    // While a filter hides anything, the status bar says what and how many charges.
    void filterStatus_data()
    {
        QTest::addColumn<QString>("marked"); // batteries A, B, C; then the charger
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("hidden");
        QTest::newRow("nothing") << "0000" << QString() << 0;
        QTest::newRow("one battery") << "1000"
                                     << "Filter: 1 battery hidden (2 charges)" << 2;
        QTest::newRow("two and a charger")
            << "0111"
            << "Filter: 2 batteries, 1 charger hidden (4 charges)" << 4;
    }
    void filterStatus()
    {
        QFETCH(QString, marked);
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("A"), 1, 1);
        add(form, 101, QStringLiteral("A"), 1, 1);
        add(form, 102, QStringLiteral("B"), 1, 2);
        add(form, 103, QStringLiteral("C"), 1, 3);
        TChargeLog &log = form->log();
        for (int i = 0; i < 3; ++i)
            log.BatteriesStringList.setMarked(
                log.BatteriesStringList.indexOf(QString(QChar(u'A' + i))), marked.at(i) == '1');
        log.ChargersStringList.setMarked(log.ChargersStringList.indexOf(QStringLiteral("QorA1")),
                                         marked.at(3) == '1');
        form->RefreshDisplay();
        QTEST(form->FilterStatusLabel->text(), "text");
        QTEST(form->hiddenChargeCount(), "hidden");
    }

    void marksHideRowsAndBars()
    {
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("A"), 1, 1);
        add(form, 101, QStringLiteral("B"), 1, 2);
        add(form, 102, QStringLiteral("A"), 1, 3, QString(), QStringLiteral("Mains"));
        QCOMPARE(form->tableModel()->rowCount(), 3);
        QCOMPARE(form->Chart1->pointCount(0), 2);

        TNameList &batteries = form->log().BatteriesStringList;
        batteries.setMarked(batteries.indexOf(QStringLiteral("A")), true);
        form->RefreshDisplay();
        QCOMPARE(form->tableModel()->rowCount(), 1);
        QCOMPARE(cell(form, 0, 3), QStringLiteral("B"));
        QCOMPARE(form->Chart1->pointCount(0), 1); // a marked battery has no bars
        QCOMPARE(form->Chart1->label(0, 0), QStringLiteral("B"));

        batteries.setMarked(batteries.indexOf(QStringLiteral("A")), false);
        TNameList &power = form->log().PowerSourcesStringList;
        power.setMarked(power.indexOf(QStringLiteral("PSU")), true);
        form->RefreshDisplay();
        // Battery B's only record is hidden by its power source: it keeps its (zero) bars.
        QCOMPARE(form->tableModel()->rowCount(), 1);
        QCOMPARE(form->Chart1->pointCount(0), 2);
        QCOMPARE(form->Chart1->value(0, 1), 0.0);

        power.setMarked(power.indexOf(QStringLiteral("Mains")), true);
        form->RefreshDisplay();
        // Nothing shown: one blank row without a key, and no bars at all.
        QCOMPARE(form->tableModel()->rowCount(), 1);
        QCOMPARE(form->tableModel()->keyAt(0), 0);
        QCOMPARE(form->Chart1->pointCount(0), 0);
    }

    void chartCounting_data()
    {
        QTest::addColumn<double>("amps");
        QTest::addColumn<double>("ampHours");
        QTest::addColumn<double>("cycles");
        QTest::addColumn<double>("charged");
        QTest::addColumn<double>("discharged");
        QTest::newRow("charge") << 2.0 << 1.5 << 1.0 << 1.5 << 0.0;
        QTest::newRow("discharge") << -0.5 << -1.2 << 1.0 << 0.0 << 1.2;
        QTest::newRow("zero amps counts as discharge") << 0.0 << 2.0 << 1.0 << 0.0 << 2.0;
        QTest::newRow("negative amps, positive Ah") << -1.0 << 2.0 << 1.0 << 0.0 << 2.0;
        QTest::newRow("zero amp-hours") << 2.0 << 0.0 << 0.0 << 0.0 << 0.0;
    }
    void chartCounting()
    {
        QFETCH(double, amps);
        QFETCH(double, ampHours);
        QFETCH(double, cycles);
        QFETCH(double, charged);
        QFETCH(double, discharged);
        TNameList batteries(QStringList{QStringLiteral("X"), QStringLiteral("Y")});
        TChartTotals totals;
        totals.begin(batteries);
        TChargeRecord record;
        record.BatteryIndex = 1;
        record.NominalChargeAmps = amps;
        record.AmpHours = ampHours;
        totals.AddChargeToChart(record);
        QCOMPARE(totals.Labels, QStringList({"X", "Y"}));
        QCOMPARE(totals.Cycles, QVector<double>({0.0, cycles}));
        QCOMPARE(totals.Charge, QVector<double>({0.0, charged}));
        QCOMPARE(totals.Discharge, QVector<double>({0.0, discharged}));
    }

    void clickReadOut_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("cyclesText");
        QTest::newRow("none") << 0 << QStringLiteral("0 Cycle");
        QTest::newRow("one") << 1 << QStringLiteral("1 Cycle");
        QTest::newRow("two") << 2 << QStringLiteral("2 Cycles");
    }
    void clickReadOut()
    {
        QFETCH(int, records);
        QFETCH(QString, cyclesText);
        TQorLogMainForm *form = openForm();
        // Battery "Other" keeps the chart non-empty when "Cell" has no cycle.
        add(form, 50, QStringLiteral("Other"), 1, 1);
        form->log().BatteriesStringList.ResolveNameIndex(QStringLiteral("Cell"));
        for (int i = 0; i < records; ++i)
            add(form, 100 + i, QStringLiteral("Cell"), 2, 600.25);
        form->RefreshDisplay();
        const int index = form->Chart1->label(0, 0) == QLatin1String("Cell") ? 0 : 1;
        QCOMPARE(form->Chart1->label(0, index), QStringLiteral("Cell"));
        form->Chart1ClickSeries(2, index);
        QCOMPARE(form->BatteryLabel->text(), QStringLiteral("Cell"));
        QCOMPARE(form->CyclesLabel->text(), cyclesText);
        QCOMPARE(form->ChargeLabel->text(),
                 NumberText::formatGrouped(600.25 * records) + QStringLiteral(" Ah Charged"));
        // The tool tip gives the unit too; the right axis names it.
        QVERIFY(form->Chart1->toolTipText(index).contains(
            QStringLiteral("Charge: ") + NumberText::formatGrouped(600.25 * records) +
            QStringLiteral(" Ah")));
        QCOMPARE(form->Chart1->axisTitle(TBarChart::RightAxis), QStringLiteral("AmpHours (Ah)"));
        QCOMPARE(form->DischargeLabel->text(), QStringLiteral("0 Ah Discharged"));
        if (records == 2)
            QCOMPARE(form->ChargeLabel->text(), QStringLiteral("1,200.5 Ah Charged"));
        // The labels keep their text across a refresh.
        form->RefreshDisplay();
        QCOMPARE(form->CyclesLabel->text(), cyclesText);
    }

    void pressOnABarFillsTheLabels()
    {
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("Solo"), 2, 3);
        form->resize(641, 480);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        const QRect bar = form->Chart1->barRect(1, 0);
        QVERIFY(bar.isValid());
        QTest::mouseClick(form->Chart1, Qt::RightButton, {}, bar.center());
        QCOMPARE(form->BatteryLabel->text(), QStringLiteral("Solo"));
        QCOMPARE(form->ChargeLabel->text(), QStringLiteral("3 Ah Charged"));
        // A press outside any bar changes nothing.
        form->BatteryLabel->setText(QStringLiteral("unchanged"));
        QTest::mouseClick(form->Chart1, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(form->BatteryLabel->text(), QStringLiteral("unchanged"));
    }

    void coloursRecolourTheChartAndSurviveARestart()
    {
        TQorLogMainForm *form = openForm();
        form->setChargeSeriesColour(0x0000FF); // red
        const QColor red(255, 0, 0);
        QCOMPARE(form->Chart1->seriesColour(1), red);
        QCOMPARE(form->Chart1->markColour(1), red);
        QCOMPARE(form->Chart1->axisLabelColour(TBarChart::RightAxis), red);
        QCOMPARE(form->Chart1->axisTitleColour(TBarChart::RightAxis), red);
        QCOMPARE(form->Chart1->axisGridPen(TBarChart::RightAxis).color(), red);
        QCOMPARE(form->Chart1->axisGridPen(TBarChart::RightAxis).style(), Qt::DashDotDotLine);
        QCOMPARE(form->Chart1->markColour(2), QColor(255, 0, 255)); // discharge marks keep theirs
        form->setDischargeSeriesColour(0x123456);
        add(form, 100, QStringLiteral("Cell"), 1, 1); // colours reach the file with a save

        TQorLogMainForm *again = openForm();
        QCOMPARE(again->ChargeSeriesColour(), 0x0000FF);
        QCOMPARE(again->DischargeSeriesColour(), 0x123456);
        QCOMPARE(again->CyclesSeriesColour(), 0x800080);
        QCOMPARE(again->Chart1->seriesColour(1), red);
    }

    void colourCommandUsesTheSharedDialog()
    {
        TQorLogMainForm *form = openForm();
        whenModal([](QWidget *w) {
            auto *dialog = qobject_cast<QColorDialog *>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->currentColor(), QColor(Qt::black)); // black at first
            dialog->setCurrentColor(QColor(10, 20, 30));
            dialog->accept();
        });
        form->CyclesColourActionExecute();
        QCOMPARE(form->CyclesSeriesColour(), TChargeLogDocument::fromQColor(QColor(10, 20, 30)));
        // Cancel changes nothing; the dialog opens on the colour chosen last.
        whenModal([](QWidget *w) {
            auto *dialog = qobject_cast<QColorDialog *>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->currentColor(), QColor(10, 20, 30));
            dialog->reject();
        });
        form->ChargeColourActionExecute();
        QCOMPARE(form->ChargeSeriesColour(), 0x808080);
    }

    void newestRowsScrollIntoView()
    {
        TQorLogMainForm *form = openForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        for (int i = 0; i < 60; ++i) {
            TChargeRecord r;
            r.DateTime = 1000 + i;
            form->log().AppendChargeRecord(r, QString(), QString());
        }
        form->RefreshDisplay();
        QScrollBar *bar = form->ChargeLogStringGrid->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0); // the user scrolls up; the next refresh brings the newest back
        form->RefreshDisplay();
        QCOMPARE(bar->value(), bar->maximum());
    }

    void refreshKeepsTheSelection()
    {
        TQorLogMainForm *form = openForm();
        for (int i = 0; i < 5; ++i)
            add(form, 100 + i, QStringLiteral("Cell"), 1, 1);
        QTableView *grid = form->ChargeLogStringGrid;
        grid->selectionModel()->select(
            QItemSelection(form->tableModel()->index(1, 0), form->tableModel()->index(2, 7)),
            QItemSelectionModel::ClearAndSelect);
        form->RefreshDisplay();
        QCOMPARE(selectedRows(form), QList<int>({1, 2}));
    }

    void doubleClickOpensTheRecord()
    {
        TQorLogMainForm *form = openForm();
        add(form, 100, QStringLiteral("Cell"), 2, 1.5, QStringLiteral("hello"));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QTableView *grid = form->ChargeLogStringGrid;
        const QRect rect = grid->visualRect(form->tableModel()->index(0, 2));
        // A double-click is a press followed by the double-click event, as a user makes it.
        QSignalSpy spy(grid, &QAbstractItemView::doubleClicked);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(spy.count(), 1);
        TChargeDataForm *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<TChargeDataForm *>(w))
                dialog = d;
        QVERIFY(dialog);
        QCOMPARE(dialog->RecordKey, form->tableModel()->keyAt(0));
        closeChargeDataForms();

        // Below the last row nothing opens.
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           QPoint(10, grid->viewport()->height() - 3));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TChargeDataForm *>(w));
        // Nor on the blank row of an empty table.
        form->ChargeLogStringGridDblClick(QModelIndex());
        form->log().ClearChargeList();
        form->RefreshDisplay();
        form->ChargeLogStringGridDblClick(form->tableModel()->index(0, 0));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TChargeDataForm *>(w));
    }

    void secondStartRestoresTheStateBeforeMinimising_data()
    {
        QTest::addColumn<bool>("maximised");
        QTest::newRow("maximised") << true;
        QTest::newRow("normal") << false;
    }
    void secondStartRestoresTheStateBeforeMinimising()
    {
        QFETCH(bool, maximised);
        TQorLogMainForm *form = openForm();
        maximised ? form->showMaximized() : form->showNormal();
        form->setWindowState(form->windowState() | Qt::WindowMinimized);
        QVERIFY(form->isMinimized());
        form->activateFromSecondInstance();
        QVERIFY(!form->isMinimized());
        QCOMPARE(form->isMaximized(), maximised);
        QVERIFY(form->isVisible());
    }

    void ctrlNOpensANewChargeDialog()
    {
        TQorLogMainForm *form = openForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form, Qt::Key_N, Qt::ControlModifier);
        const QList<TChargeDataForm *> forms = TChargeDataForm::openForms();
        QCOMPARE(forms.size(), 1);
        QCOMPARE(forms.first()->RecordKey, -1);
    }

    void deleteSelectionRemovesExactlyTheSelectedVisibleRows()
    {
        TQorLogMainForm *form = openForm();
        for (int i = 0; i < 5; ++i)
            add(form, 100 + i, i == 2 ? QStringLiteral("Hidden") : QStringLiteral("Cell"), 1, 1,
                QString::number(i));
        TNameList &batteries = form->log().BatteriesStringList;
        batteries.setMarked(batteries.indexOf(QStringLiteral("Hidden")), true);
        form->RefreshDisplay();
        QCOMPARE(form->tableModel()->rowCount(), 4); // comments 0, 1, 3, 4
        form->ChargeLogStringGrid->selectionModel()->select(
            QItemSelection(form->tableModel()->index(1, 0), form->tableModel()->index(2, 7)),
            QItemSelectionModel::ClearAndSelect);
        form->DeleteSelectionActionExecute();
        QStringList comments;
        for (int row = 0; row < form->tableModel()->rowCount(); ++row)
            comments << cell(form, row, 7);
        QCOMPARE(comments, QStringList({"0", "4"}));
        QCOMPARE(form->log().ChargeStringList.count(), 3); // the hidden one stays

        // The file was written at once.
        TChargeLog reread;
        LogFile::LoadChargeLog(logPath(), reread);
        QCOMPARE(reread.ChargeStringList.count(), 3);

        // A row counts only when wholly selected; overlapping ranges count each row once.
        QItemSelectionModel *selection = form->ChargeLogStringGrid->selectionModel();
        const auto range = [form](int top, int left, int bottom, int right) {
            return QItemSelection(form->tableModel()->index(top, left),
                                  form->tableModel()->index(bottom, right));
        };
        selection->select(range(0, 0, 1, 3), QItemSelectionModel::ClearAndSelect);
        form->DeleteSelectionActionExecute();
        QCOMPARE(form->log().ChargeStringList.count(), 3);
        selection->select(range(0, 0, 1, 7), QItemSelectionModel::ClearAndSelect);
        selection->select(range(1, 0, 1, 7), QItemSelectionModel::Select);
        form->DeleteSelectionActionExecute();
        QCOMPARE(form->log().ChargeStringList.count(), 1);
        QCOMPARE(form->undoStack()->undoText(), QStringLiteral("Delete 2 Charges"));

        // An empty selection, or the blank row of an empty table, deletes nothing.
        form->ChargeLogStringGrid->clearSelection();
        form->DeleteSelectionActionExecute();
        QCOMPARE(form->log().ChargeStringList.count(), 1);
    }

    void filterActionRefreshesAfterTheDialog()
    {
        TQorLogMainForm *form = openForm();
        TFilterForm filter(form);
        form->setFilterForm(&filter);
        add(form, 100, QStringLiteral("A"), 1, 1);
        add(form, 101, QStringLiteral("B"), 1, 1);
        QByteArray before;
        {
            QFile f(logPath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            before = f.readAll();
        }
        whenModal([form](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Filter Batteries"));
            // Mark battery "A" through the shared list, as the Remove button does.
            form->log().BatteriesStringList.setMarked(0, true);
            static_cast<QDialog *>(w)->accept();
        });
        form->FilterBatteriesActionExecute();
        QCOMPARE(form->tableModel()->rowCount(), 1);
        QCOMPARE(cell(form, 0, 3), QStringLiteral("B"));
        QFile f(logPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before); // filtering writes nothing

        whenModal([](QWidget *w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Filter Terminations"));
            static_cast<QDialog *>(w)->accept();
        });
        form->FilterTerminationsActionExecute();
    }

    void handleAddChargeDirectPath()
    {
        TQorLogMainForm *form = openForm();
        // On an empty log the power source passed is taken even when the previous is asked for.
        form->HandleAddCharge(100, QStringLiteral("Mains"), true, QStringLiteral("QorA1"),
                              QStringLiteral("  New Cell  "), 1, 1, QStringLiteral("Normal"),
                              QString(), QString(), false);
        QCOMPARE(cell(form, 0, 1), QStringLiteral("Mains"));
        QCOMPARE(cell(form, 0, 3), QStringLiteral("New Cell"));
        QVERIFY(QFile::exists(logPath()));
        // The previous power source is the latest charge's, also when it is hidden.
        TNameList &power = form->log().PowerSourcesStringList;
        power.setMarked(power.indexOf(QStringLiteral("Mains")), true);
        form->HandleAddCharge(200, QStringLiteral("PSU"), true, QStringLiteral("QorA1"),
                              QStringLiteral("New Cell"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        const TChargeList &charges = form->log().ChargeStringList;
        QCOMPARE(power.name(charges.record(charges.count() - 1).PowerSourceIndex),
                 QStringLiteral("Mains"));
        // Values the file could not hold are refused before anything changes.
        QVERIFY_THROWS_EXCEPTION(
            QorLogError, form->HandleAddCharge(qQNaN(), QString(), false, QString(), QString(), 1,
                                               1, QString(), QString(), QString(), false));
        QVERIFY_THROWS_EXCEPTION(QorLogError,
                                 form->HandleAddCharge(300,
                                                       QStringLiteral("ba\x01"
                                                                      "d"),
                                                       false, QString(), QString(), 1, 1, QString(),
                                                       QString(), QString(), false));
        QCOMPARE(charges.count(), 2);
        QCOMPARE(power.indexOf(QStringLiteral("ba\x01"
                                              "d")),
                 -1);
    }

    void handleAddChargeConfirmationPathOpensADialog()
    {
        TQorLogMainForm *form = openForm();
        form->HandleAddCharge(100, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("Cell"), 1.5, 2, QStringLiteral("Normal"),
                              QStringLiteral("c"), QString(), true);
        form->HandleAddCharge(100, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("Cell"), 1.5, 2, QStringLiteral("Normal"),
                              QStringLiteral("c"), QString(), true);
        int dialogs = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<TChargeDataForm *>(w) && w->isVisible())
                ++dialogs;
        QCOMPARE(dialogs, 2);
        QCOMPARE(form->log().ChargeStringList.count(), 0); // nothing stored before OK
    }

    // Long texts go through the confirmation dialog whole; one the log cannot take is refused
    // while the caller waits, before any dialog opens.
    void longTextsThroughTheConfirmationDialog_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("taken");
        QTest::newRow("40,000 characters") << 40000 << true;
        QTest::newRow("over the limit") << int(QorLog::MaxTextLength + 1) << false;
    }
    void longTextsThroughTheConfirmationDialog()
    {
        QFETCH(int, length);
        QFETCH(bool, taken);
        TQorLogMainForm *form = openForm();
        const QString comment(length, QLatin1Char('c'));
        const auto call = [&] {
            form->HandleAddCharge(100, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                                  QStringLiteral("Cell"), 1.5, 2, QStringLiteral("Normal"), comment,
                                  QString(), true);
        };
        if (!taken) {
            QVERIFY_THROWS_EXCEPTION(QorLogError, call());
            QCOMPARE(TChargeDataForm::openForms().size(), 0);
            return;
        }
        call();
        QCOMPARE(TChargeDataForm::openForms().size(), 1);
        TChargeDataForm::openForms().first()->OkBitBtn->click();
        QString logFile, stored;
        TChargeList::SplitChargeText(form->log().ChargeStringList.text(0), logFile, stored);
        QCOMPARE(stored.size(), length);
    }

    void failedSaveLeavesTheLogAsBefore()
    {
        // A "folder" that is a plain file cannot take the log, whoever runs the test.
        const QString folder = m_dir->filePath(QStringLiteral("blocked"));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_form = std::make_unique<TQorLogMainForm>(folder + QStringLiteral("/log.QorLog"));
        m_form->FormCreate();
        const int batteries = m_form->log().BatteriesStringList.count();
        bool threw = false;
        try {
            add(m_form.get(), 100, QStringLiteral("Cell"), 1, 1);
        } catch (const QorLogError &error) {
            threw = true;
            QVERIFY2(error.message().contains(QStringLiteral("log.QorLog")),
                     qPrintable(error.message()));
        }
        QVERIFY(threw);
        // Not made: nothing in memory, the table, the undo stack or the name lists.
        QCOMPARE(m_form->log().ChargeStringList.count(), 0);
        QCOMPARE(m_form->tableModel()->keyAt(0), 0);
        QCOMPARE(m_form->undoStack()->count(), 0);
        QCOMPARE(m_form->log().BatteriesStringList.count(), batteries);
        // The retry, once the folder is there, stores the charge once.
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkpath(folder));
        add(m_form.get(), 100, QStringLiteral("Cell"), 1, 1);
        TChargeLog reread;
        LogFile::LoadChargeLog(folder + QStringLiteral("/log.QorLog"), reread);
        QCOMPARE(reread.ChargeStringList.count(), 1);
        QCOMPARE(m_form->undoStack()->count(), 1);
    }

    // An undo that cannot be saved is taken back: the log and the stack stay where they were.
    void failedUndoIsTakenBack()
    {
        const QString folder = m_dir->filePath(QStringLiteral("undo"));
        QVERIFY(QDir().mkpath(folder));
        m_form = std::make_unique<TQorLogMainForm>(folder + QStringLiteral("/log.QorLog"));
        m_form->FormCreate();
        add(m_form.get(), 100, QStringLiteral("Cell"), 1, 1);
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QFile(folder).open(QIODevice::WriteOnly)); // the folder is a file now
        QString error;
        whenModal([&error](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            error = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        m_form->undoStack()->undo();
        QTRY_VERIFY(!error.isEmpty());
        QVERIFY2(error.contains(QStringLiteral("log.QorLog")), qPrintable(error));
        QCOMPARE(m_form->log().ChargeStringList.count(), 1);
        QCOMPARE(m_form->undoStack()->index(), 1);
        QVERIFY(m_form->undoStack()->canUndo());
    }

    void damagedLogIsKeptAndReported()
    {
        {
            TChargeLog log;
            for (int i = 0; i < 3; ++i) {
                TChargeRecord r;
                r.DateTime = 100 + i;
                log.AppendChargeRecord(r, QStringLiteral("c%1").arg(i), QString());
            }
            LogFile::SaveChargeLog(logPath(), log);
        }
        QFile file(logPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes.replace("<DateTime>102</DateTime>", "<DateTime>1O2</DateTime>");
        bytes.chop(30); // and truncated
        file.resize(0);
        file.write(bytes);
        file.close();

        TQorLogMainForm *form = openForm();
        QCOMPARE(form->log().ChargeStringList.count(), 2); // what was read before the fault
        QVERIFY(form->startupNotice().contains(QStringLiteral("'1O2'")));
        QVERIFY(form->startupNotice().contains(
            QStringLiteral("QorLog shows the 2 charges it could read.")));
        const QStringList copies =
            QDir(m_dir->path()).entryList({QStringLiteral("test.QorLog.damaged-*")});
        QCOMPARE(copies.size(), 1);
        QVERIFY(form->startupNotice().contains(copies.first()));
        QFile copy(m_dir->filePath(copies.first()));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), bytes);
        // The next save writes what is in memory; the damaged original survives as the copy.
        add(form, 200, QStringLiteral("Cell"), 1, 1);
        TChargeLog reread;
        LogFile::LoadChargeLog(logPath(), reread);
        QCOMPARE(reread.ChargeStringList.count(), 3);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
