#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TChargeLogDocument;

// The Export CSV dialog: the shown records (the filters apply) or all of them, and the option
// of semicolons with this computer's decimal separator; then the file to write.
class TExportCsvForm : public QDialog
{
    Q_OBJECT
public:
    TExportCsvForm(const TChargeLogDocument *log, QWidget *parent);

    // Writes the CSV file as chosen in the dialog; returns the number of rows written. Throws
    // QorLogError when the file cannot be written.
    int exportTo(const QString &path);

    QRadioButton *ShownRadioButton = nullptr;
    QRadioButton *AllRadioButton = nullptr;
    QCheckBox *RegionalCheckBox = nullptr;
    QPushButton *ExportBitBtn = nullptr;
    QPushButton *CancelBitBtn = nullptr;

public Q_SLOTS:
    void ExportBitBtnClick();

private:
    const TChargeLogDocument *m_log;
};
