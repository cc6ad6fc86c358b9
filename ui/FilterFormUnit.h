#pragma once

#include <QDialog>
#include <QList>

class QCloseEvent;
class QLineEdit;
class QPushButton;
class QSplitter;
class QStandardItemModel;
class QTableView;
class QWidget;
class TNameList;

// The filter dialog: moves the names of one name list between a "Retain" column (names without
// the filtered-out mark) and a "Remove" column (marked names). Marks change in the shared list
// the moment a button is pressed; Cancel, Escape and the title bar's close put them back as they
// were when the dialog opened. Names are in alphabetical order; with more than a few a filter
// field narrows both columns. One instance serves the whole run.
class TFilterForm : public QDialog
{
    Q_OBJECT

public:
    // Each grid row keeps the position of its name in FilterList under this role; the blank row
    // of an empty column holds -1. Positions, not texts, decide which entry a button changes,
    // so names that differ only in letter case (or repeat) are told apart.
    static constexpr int ListPositionRole = Qt::UserRole + 1;

    explicit TFilterForm(QWidget *parent = nullptr);

    // Edits `list` under the caption `title`, modally; returns when the user presses OK.
    // A null list only resets FilterList.
    void ShowFilter(const QString &title, TNameList *list);

    // Refills both grids from FilterList, in list order.
    void LoadFilterGrids();
    // Clears the mark of every name selected under "Remove".
    void RetainBitBtnClick();
    // Sets the mark of every name selected under "Retain".
    void RemoveBitBtnClick();

    // The list being edited: the caller's own object, not a copy.
    TNameList *FilterList = nullptr;

    QTableView *FilterInStringGrid = nullptr;
    QTableView *FilterOutStringGrid = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *Panel1 = nullptr;
    QPushButton *RetainBitBtn = nullptr;
    QPushButton *RemoveBitBtn = nullptr;
    QPushButton *OkBitBtn = nullptr;
    QPushButton *CancelBitBtn = nullptr;
    QLineEdit *SearchEdit = nullptr; // shown for lists of more than SearchFrom names
    static constexpr int SearchFrom = 15;

public slots:
    // Puts the marks back as they were when the dialog opened, and ends it.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QTableView *createGrid(const QString &objectName, QStandardItemModel *model);
    void fillGrid(QStandardItemModel *model, const QString &title, const QList<int> &positions);
    // List positions of the selected rows of `grid`, top to bottom, without the blank row.
    QList<int> selectedPositions(const QTableView *grid) const;
    void moveSelected(QTableView *from, QTableView *to, bool mark);
    void selectPositions(QTableView *grid, const QList<int> &positions);
    void selectRow(QTableView *grid, int row);
    void centreOnParent();
    void applySearch();

    QStandardItemModel *m_inModel = nullptr;
    QStandardItemModel *m_outModel = nullptr;
    QList<bool> m_marksBefore;
};
