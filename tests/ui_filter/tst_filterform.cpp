#include "FilterFormUnit.h"
#include "NameList.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Marks written as a string, one character per entry: '1' marked, '0' clear.
void applyMarks(TNameList &list, const QString &marks)
{
    for (int i = 0; i < marks.size(); ++i)
        list.setMarked(i, marks.at(i) == QLatin1Char('1'));
}

QString marksOf(const TNameList &list)
{
    QString marks;
    for (int i = 0; i < list.count(); ++i)
        marks += list.isMarked(i) ? QLatin1Char('1') : QLatin1Char('0');
    return marks;
}

QStringList columnTexts(const QTableView *grid)
{
    QStringList texts;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        texts << grid->model()->index(row, 0).data().toString();
    return texts;
}

QStringList selectedTexts(const QTableView *grid)
{
    QStringList texts;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        if (grid->selectionModel()->isRowSelected(row, {}))
            texts << grid->model()->index(row, 0).data().toString();
    return texts;
}

// Selects rows first..last the way a user does: a click, then a Shift+click. -1 clears.
void selectRows(QTableView *grid, int first, int last)
{
    if (first < 0) {
        grid->clearSelection();
        return;
    }
    auto centre = [grid](int row) {
        return grid->visualRect(grid->model()->index(row, 0)).center();
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre(first));
    if (last != first)
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(last));
}

// Runs ShowFilter; `whileOpen` acts on the open dialog, which is then closed with OK unless
// it closed already. Returns whether `whileOpen` ran inside the modal loop.
bool showAndAct(TFilterForm &form, const QString &title, TNameList *list,
                const std::function<void()> &whileOpen)
{
    bool ranWhileOpen = false;
    QTimer::singleShot(0, &form, [&] {
        ranWhileOpen = form.isVisible();
        whileOpen();
        if (form.isVisible())
            QTest::mouseClick(form.OkBitBtn, Qt::LeftButton);
    });
    form.ShowFilter(title, list);
    return ranWhileOpen;
}

} // namespace

class TestFilterForm : public QObject
{
    Q_OBJECT

private slots:
    void moveButtons_data();
    void moveButtons();
    void selectionAfterMove();
    void keys_data();
    void keys();
    void tabOrder();
    void cancelAndSearch();
    void layoutAndCaption();
    void nullListDoesNotShow();
};

void TestFilterForm::moveButtons_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("marksBefore");
    QTest::addColumn<bool>("remove"); // Remove acts on the "Retain" grid, Retain on the other
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("marksAfter");

    const QStringList five{"a", "b", "c", "d", "e"};
    QTest::newRow("remove one") << five << "00000" << true << 1 << 1 << "01000";
    QTest::newRow("remove a range of three in one step")
        << five << "00000" << true << 1 << 3 << "01110";
    QTest::newRow("remove range skips marked rows") << five << "01000" << true << 0 << 2 << "11110";
    QTest::newRow("retain a range of three") << five << "11111" << false << 0 << 2 << "00011";
    QTest::newRow("retain one of several") << five << "10101" << false << 1 << 1 << "10001";
    QTest::newRow("remove on blank row") << five << "11111" << true << 0 << 0 << "11111";
    QTest::newRow("retain on blank row") << five << "00000" << false << 0 << 0 << "00000";
    QTest::newRow("remove with nothing selected") << five << "00000" << true << -1 << -1 << "00000";
    QTest::newRow("names differing in case: remove the second")
        << QStringList{"abc", "ABC"} << "00" << true << 1 << 1 << "01";
    QTest::newRow("names differing in case: retain the second")
        << QStringList{"abc", "ABC"} << "11" << false << 1 << 1 << "10";
    QTest::newRow("repeated name: remove the later two")
        << QStringList{"Cell", "cell", "CELL"} << "000" << true << 1 << 2 << "011";
    QTest::newRow("empty list") << QStringList{} << "" << true << 0 << 0 << "";
    QTest::newRow("purged entries: retain the second")
        << QStringList{"Deleted", "x", "Deleted"} << "101" << false << 1 << 1 << "100";
}

void TestFilterForm::moveButtons()
{
    QFETCH(QStringList, names);
    QFETCH(QString, marksBefore);
    QFETCH(bool, remove);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, marksAfter);

    TNameList list(names);
    applyMarks(list, marksBefore);
    TFilterForm form;
    // The grids are refilled from the list, in alphabetical order (letter case aside).
    QStringList in, out;
    for (int i = 0; i < names.size(); ++i)
        (marksAfter.at(i) == QLatin1Char('1') ? out : in) << names.at(i);
    const auto byName = [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    };
    std::stable_sort(in.begin(), in.end(), byName);
    std::stable_sort(out.begin(), out.end(), byName);
    QVERIFY(showAndAct(form, "Filter Chargers", &list, [&] {
        selectRows(remove ? form.FilterInStringGrid : form.FilterOutStringGrid, first, last);
        QTest::mouseClick(remove ? form.RemoveBitBtn : form.RetainBitBtn, Qt::LeftButton);
        QCOMPARE(marksOf(list), marksAfter); // the shared list changes at once
        QCOMPARE(columnTexts(form.FilterInStringGrid), in.isEmpty() ? QStringList{""} : in);
        QCOMPARE(columnTexts(form.FilterOutStringGrid), out.isEmpty() ? QStringList{""} : out);
    }));
    QCOMPARE(marksOf(list), marksAfter); // and OK keeps it
}

void TestFilterForm::selectionAfterMove()
{
    TNameList list(QStringList{"a", "b", "c", "d", "e"});
    TFilterForm form;
    QVERIFY(showAndAct(form, "Filter Batteries", &list, [&] {
        selectRows(form.FilterInStringGrid, 1, 3);
        QTest::mouseClick(form.RemoveBitBtn, Qt::LeftButton);
        QCOMPARE(marksOf(list), QString("01110"));
        // The name that moved up into their place is selected, and so are the moved names,
        // so the opposite button takes them straight back.
        QCOMPARE(selectedTexts(form.FilterInStringGrid), QStringList{"e"});
        QCOMPARE(selectedTexts(form.FilterOutStringGrid), QStringList({"b", "c", "d"}));
        QTest::mouseClick(form.RetainBitBtn, Qt::LeftButton);
    }));
    QCOMPARE(marksOf(list), QString("00000"));
}

void TestFilterForm::keys_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");

    // Escape cancels: the marks go back to what they were.
    QTest::newRow("Esc on the Retain grid") << "FilterInStringGrid" << int(Qt::Key_Escape) << true;
    QTest::newRow("Esc on OK") << "OkBitBtn" << int(Qt::Key_Escape) << true;
    QTest::newRow("Esc on the dialog") << "FilterForm" << int(Qt::Key_Escape) << true;
    QTest::newRow("Return on the Retain grid")
        << "FilterInStringGrid" << int(Qt::Key_Return) << true;
    QTest::newRow("keypad Enter on the Remove grid")
        << "FilterOutStringGrid" << int(Qt::Key_Enter) << true;
}

void TestFilterForm::keys()
{
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(bool, closes);

    TNameList list(QStringList{"x", "y"});
    TFilterForm form;
    bool closedByKey = false;
    QVERIFY(showAndAct(form, "Filter Power Sources", &list, [&] {
        QWidget *widget = target == form.objectName() ? &form : form.findChild<QWidget *>(target);
        QVERIFY(widget);
        // A name moved first: OK keeps the move, Escape takes it back.
        selectRows(form.FilterInStringGrid, 0, 0);
        QTest::mouseClick(form.RemoveBitBtn, Qt::LeftButton);
        QTest::keyClick(widget, Qt::Key(key));
        closedByKey = !form.isVisible();
    }));
    QCOMPARE(closedByKey, closes);
    const bool cancelled = key == Qt::Key_Escape;
    QCOMPARE(form.result(), int(cancelled ? QDialog::Rejected : QDialog::Accepted));
    QCOMPARE(marksOf(list), QString(cancelled ? "00" : "10"));
}

// Cancel puts back what the dialog changed; a long list gets a field that narrows both
// columns to the names holding what is typed.
void TestFilterForm::cancelAndSearch()
{
    QStringList names;
    for (int i = 20; i > 0; --i)
        names << QStringLiteral("Cell %1").arg(i, 2, 10, QLatin1Char('0'));
    TNameList list(names);
    list.setMarked(0, true);
    TFilterForm form;
    QVERIFY(showAndAct(form, "Filter Batteries", &list, [&] {
        QVERIFY(form.SearchEdit->isVisible());
        QCOMPARE(columnTexts(form.FilterInStringGrid).first(), QStringLiteral("Cell 01"));
        selectRows(form.FilterOutStringGrid, 0, 0);
        QTest::mouseClick(form.RetainBitBtn, Qt::LeftButton);
        QVERIFY(!list.isMarked(0));
        QTest::keyClicks(form.SearchEdit, QStringLiteral("cell 1"));
        int shown = 0;
        for (int row = 0; row < form.FilterInStringGrid->model()->rowCount(); ++row)
            shown += form.FilterInStringGrid->isRowHidden(row) ? 0 : 1;
        QCOMPARE(shown, 10); // Cell 10 to Cell 19
        QTest::mouseClick(form.CancelBitBtn, Qt::LeftButton);
    }));
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(list.isMarked(0));
    // A short list needs no field.
    TNameList few(QStringList{"a", "b"});
    QVERIFY(showAndAct(form, "Filter Batteries", &few,
                       [&] { QVERIFY(!form.SearchEdit->isVisible()); }));
}

void TestFilterForm::tabOrder()
{
    TNameList list(QStringList{"x"});
    TFilterForm form;
    QStringList visited;
    QVERIFY(showAndAct(form, "Filter Batteries", &list, [&] {
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        for (int i = 0; i < 5; ++i) {
            QWidget *focus = QApplication::focusWidget();
            visited << (focus ? focus->objectName() : QString());
            QTest::keyClick(focus ? focus : &form, Qt::Key_Tab);
        }
    }));
    QCOMPARE(visited, QStringList({"FilterInStringGrid", "FilterOutStringGrid", "RetainBitBtn",
                                   "RemoveBitBtn", "OkBitBtn"}));
}

void TestFilterForm::layoutAndCaption()
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 500, 420);
    mainWindow.show();
    TFilterForm form(&mainWindow);
    TNameList list(QStringList{"Alpha"});
    QVERIFY(showAndAct(form, "Filter Terminations", &list, [&] {
        QCOMPARE(form.windowTitle(), QString("Filter Terminations"));
        QCOMPARE(form.size(), QSize(357, 314));
        QCOMPARE(form.minimumSize(), form.maximumSize()); // fixed border
        const Qt::WindowFlags flags = form.windowFlags();
        QVERIFY(flags.testFlag(Qt::CustomizeWindowHint) && flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
        QVERIFY((form.geometry().center() - mainWindow.geometry().center()).manhattanLength() <= 1);

        QCOMPARE(form.FilterInStringGrid->geometry().width(), 177);
        QCOMPARE(form.Splitter1->handleWidth(), 8);
        QCOMPARE(form.FilterOutStringGrid->geometry().left(), 177 + 8);
        QCOMPARE(form.FilterOutStringGrid->geometry().width(), 357 - 177 - 8);
        QCOMPARE(form.FilterInStringGrid->rowHeight(0), 18);
        QCOMPARE(form.FilterInStringGrid->model()->headerData(0, Qt::Horizontal).toString(),
                 QString("Retain"));
        QCOMPARE(form.FilterOutStringGrid->model()->headerData(0, Qt::Horizontal).toString(),
                 QString("Remove"));
        QCOMPARE(form.Panel1->geometry(), QRect(0, 314 - 41, 357, 41));

        // Design places, widened only as far as the desktop font needs for the captions.
        const QRect retain = form.RetainBitBtn->geometry();
        const QRect remove = form.RemoveBitBtn->geometry();
        const QRect ok = form.OkBitBtn->geometry();
        QCOMPARE(retain.topLeft(), QPoint(8, 8));
        QCOMPARE(remove.topLeft(), QPoint(retain.right() + 1 + 13, 8));
        QCOMPARE(ok.topRight(), QPoint(357 - 12 - 1, 8));
        QCOMPARE(QList<int>({retain.height(), remove.height(), ok.height()}),
                 QList<int>({25, 25, 25}));
        const auto caption = [](const QPushButton *b) {
            return b->fontMetrics().horizontalAdvance(b->text()) + b->iconSize().width() + 4;
        };
        QVERIFY(retain.width() >= qMax(75, caption(form.RetainBitBtn)));
        // Cancel between Remove and OK, clear of both.
        const QRect cancel = form.CancelBitBtn->geometry();
        QVERIFY(cancel.left() > remove.right() && cancel.right() < ok.left());
        QVERIFY(remove.width() >= qMax(75, caption(form.RemoveBitBtn)));
        QVERIFY(ok.width() >= qMax(65, caption(form.OkBitBtn)));
        QVERIFY(form.OkBitBtn->isDefault());

        for (const char *name : {"FilterInStringGrid", "FilterOutStringGrid", "Splitter1", "Panel1",
                                 "RetainBitBtn", "RemoveBitBtn", "OkBitBtn"})
            QVERIFY2(form.findChild<QWidget *>(name), name);
        QCOMPARE(form.objectName(), QString("FilterForm"));
    }));
}

void TestFilterForm::nullListDoesNotShow()
{
    TNameList list(QStringList{"x"});
    TFilterForm form;
    form.FilterList = &list;
    form.ShowFilter("Filter Batteries", nullptr); // must return at once, not block
    QVERIFY(form.FilterList == nullptr);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TestFilterForm)
#include "tst_filterform.moc"
