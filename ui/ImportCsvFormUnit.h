#pragma once

#include "CsvFile.h"
#include "CsvImport.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class TChargeLogDocument;

// The Import CSV dialog: the first rows of the file, the settings detected (editable), which
// column holds which field, the rows that cannot be read; imports the good rows or none.
class TImportCsvForm : public QDialog
{
    Q_OBJECT
public:
    // Throws QorLogError when the file cannot be read, is empty, binary or too large.
    TImportCsvForm(TChargeLogDocument *log, QWidget *parent, const QString &csvPath);
    // File > Import CSV…: asks for the file, then opens the dialog on it (not blocking).
    static void chooseAndOpen(TChargeLogDocument *log, QWidget *parent);

    static constexpr int PreviewRows = 20;
    // A log has ten fields: a file wider than this is not a log's export, and a chooser per
    // column of thousands would freeze the dialog. Such a file is shown cut and not imported.
    static constexpr int MaxColumns = 64;
    // Answered to a later start when the running program keeps another log than it names.
    static constexpr int OtherLogStatus = 3;

    // The import that `qorlog --import-csv` hands to the running program: detected settings
    // and suggested mapping, every row read or nothing imported, the result shown to the user
    // without blocking. Returns the summary; `status` 0 when imported, 1 when not.
    static QString ImportFromCommandLine(TChargeLogDocument *log, QWidget *parent,
                                         const QString &csvPath, const QString &logPath,
                                         int &status);

    // Adds the charges to the main window's log as one change (one undo step, one refresh,
    // one atomic save).
    static void ImportCharges(TChargeLogDocument *log, const QVector<CsvImport::Charge> &charges);

    const CsvImport::Plan &plan() const { return m_plan; }
    CsvFile::Settings settings() const;
    QList<CsvImport::Column> mapping() const;

    QLabel *FileLabel = nullptr;
    QComboBox *DelimiterComboBox = nullptr;
    QCheckBox *HeaderCheckBox = nullptr;
    QComboBox *DecimalComboBox = nullptr;
    QComboBox *EncodingComboBox = nullptr;
    // How dates like 05/04/2025 are read; when the file cannot tell, the dialog asks here
    // (DateQuestionLabel shown, nothing imported until day or month first is chosen).
    QComboBox *DateOrderComboBox = nullptr;
    QLabel *DateQuestionLabel = nullptr;
    QTableWidget *PreviewTable = nullptr; // first row: a column kind chooser per column
    QListWidget *ErrorsList = nullptr;
    QLabel *SummaryLabel = nullptr;
    QPushButton *ImportBitBtn = nullptr;
    QPushButton *CancelBitBtn = nullptr;

public Q_SLOTS:
    void ImportBitBtnClick();

private:
    void showSettings(const CsvFile::Settings &settings);
    void reread(); // settings changed: split again, suggest the mapping again
    void replan(); // mapping changed
    void fillPreview(const QList<CsvImport::Column> &mapping);

    TChargeLogDocument *m_log;
    CsvFile::Document m_document;
    QList<CsvFile::Row> m_rows;
    CsvImport::Plan m_plan;
    bool m_filling = false;
    int m_columns = 0; // the widest row's fields under the current settings
};
