#include "ExportCsvFormUnit.h"

#include "ChargeLogDocument.h"
#include "CsvFile.h"
#include "ErrorBox.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TExportCsvForm::TExportCsvForm(const TChargeLogDocument *document, QWidget *parent)
    : QDialog(parent), m_log(document)
{
    setObjectName(QStringLiteral("ExportCsvForm"));
    setWindowTitle(tr("Export CSV"));
    const TChargeLog &log = document->log();
    const int shown = log.shownCount();
    const int all = log.ChargeStringList.count();

    ShownRadioButton = new QRadioButton(
        tr("The shown records: %1 of %2 (the filters apply)").arg(shown).arg(all), this);
    ShownRadioButton->setObjectName(QStringLiteral("ShownRadioButton"));
    AllRadioButton = new QRadioButton(tr("All records: %1").arg(all), this);
    AllRadioButton->setObjectName(QStringLiteral("AllRadioButton"));
    ShownRadioButton->setChecked(true);
    const QString point = QLocale().decimalPoint();
    RegionalCheckBox = new QCheckBox(
        tr("Semicolons and this computer's decimal separator (\"%1\"), for spreadsheets set up "
           "that way")
            .arg(point),
        this);
    RegionalCheckBox->setObjectName(QStringLiteral("RegionalCheckBox"));
    auto *note = new QLabel(tr("With it, a text starting with =, +, -, @ or a tab is written with "
                               "a ' before it, so that a spreadsheet shows it rather than "
                               "calculating it (QorLog reads it back without the '). Without it: "
                               "commas, \".\" as the decimal separator, which every spreadsheet "
                               "reads, and every text exactly as it is."),
                            this);
    note->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    ExportBitBtn = buttons->addButton(tr("Export\u2026"), QDialogButtonBox::AcceptRole);
    ExportBitBtn->setObjectName(QStringLiteral("ExportBitBtn"));
    CancelBitBtn = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    CancelBitBtn->setObjectName(QStringLiteral("CancelBitBtn"));
    connect(ExportBitBtn, &QPushButton::clicked, this,
            [this] { ErrorBox::guard([this] { ExportBitBtnClick(); }, this); });
    connect(CancelBitBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ShownRadioButton);
    layout->addWidget(AllRadioButton);
    layout->addSpacing(8);
    layout->addWidget(RegionalCheckBox);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

int TExportCsvForm::exportTo(const QString &path)
{
    const CsvFile::ExportFormat format =
        RegionalCheckBox->isChecked() ? CsvFile::ExportFormat::regional() : CsvFile::ExportFormat();
    return CsvFile::SaveCsv(path, m_log->log(), format, ShownRadioButton->isChecked());
}

void TExportCsvForm::ExportBitBtnClick()
{
    const QFileInfo log(m_log->path());
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export CSV"),
        log.absoluteDir().filePath(log.completeBaseName() + QStringLiteral(".csv")),
        tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    exportTo(path);
    accept();
}
