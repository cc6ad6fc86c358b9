#include "ImportCsvFormUnit.h"

#include "ChargeLogDocument.h"
#include "LogFileIdentity.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using CsvImport::Column;

namespace {

void showResult(QWidget *parent, const QString &text, bool failed)
{
    auto *box = new QMessageBox(failed ? QMessageBox::Warning : QMessageBox::Information,
                                TImportCsvForm::tr("Import CSV"), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("ImportResultBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open(); // not blocking: automation calls and later imports keep being served
}

} // namespace

TImportCsvForm::TImportCsvForm(TChargeLogDocument *log, QWidget *parent, const QString &csvPath)
    : QDialog(parent), m_log(log), m_document(CsvFile::Document::fromFile(csvPath))
{
    setObjectName(QStringLiteral("ImportCsvForm"));
    setWindowTitle(tr("Import CSV"));
    resize(760, 520);

    FileLabel = new QLabel(QFileInfo(csvPath).fileName(), this);
    FileLabel->setObjectName(QStringLiteral("FileLabel"));
    FileLabel->setToolTip(csvPath);

    DelimiterComboBox = new QComboBox(this);
    DelimiterComboBox->setObjectName(QStringLiteral("DelimiterComboBox"));
    DelimiterComboBox->addItem(tr("Comma"), QVariant(QChar(u',')));
    DelimiterComboBox->addItem(tr("Semicolon"), QVariant(QChar(u';')));
    DelimiterComboBox->addItem(tr("Tab"), QVariant(QChar(u'\t')));
    HeaderCheckBox = new QCheckBox(tr("The first row holds the column titles"), this);
    HeaderCheckBox->setObjectName(QStringLiteral("HeaderCheckBox"));
    DecimalComboBox = new QComboBox(this);
    DecimalComboBox->setObjectName(QStringLiteral("DecimalComboBox"));
    DecimalComboBox->addItem(tr("Full stop (.)"), QVariant(QChar(u'.')));
    DecimalComboBox->addItem(tr("Comma (,)"), QVariant(QChar(u',')));
    EncodingComboBox = new QComboBox(this);
    EncodingComboBox->setObjectName(QStringLiteral("EncodingComboBox"));
    EncodingComboBox->addItem(tr("UTF-8"), int(CsvFile::Encoding::Utf8));
    EncodingComboBox->addItem(tr("UTF-8 with byte order mark"),
                              int(CsvFile::Encoding::Utf8WithBom));
    EncodingComboBox->addItem(tr("Windows-1252 (Western European)"),
                              int(CsvFile::Encoding::Windows1252));
    EncodingComboBox->addItem(tr("Latin-1"), int(CsvFile::Encoding::Latin1));
    DateOrderComboBox = new QComboBox(this);
    DateOrderComboBox->setObjectName(QStringLiteral("DateOrderComboBox"));
    DateOrderComboBox->addItem(tr("As the file's dates show"), int(CsvFile::DateOrder::Detect));
    DateOrderComboBox->addItem(tr("Day first (31.12.2025)"), int(CsvFile::DateOrder::DayFirst));
    DateOrderComboBox->addItem(tr("Month first (12/31/2025)"), int(CsvFile::DateOrder::MonthFirst));
    DateQuestionLabel = new QLabel(this);
    DateQuestionLabel->setObjectName(QStringLiteral("DateQuestionLabel"));
    DateQuestionLabel->setWordWrap(true);
    DateQuestionLabel->setVisible(false);
    auto *datesLayout = new QVBoxLayout;
    datesLayout->addWidget(DateOrderComboBox);
    datesLayout->addWidget(DateQuestionLabel);

    auto *settingsLayout = new QFormLayout;
    settingsLayout->addRow(tr("File:"), FileLabel);
    settingsLayout->addRow(tr("Delimiter:"), DelimiterComboBox);
    settingsLayout->addRow(QString(), HeaderCheckBox);
    settingsLayout->addRow(tr("Decimal separator:"), DecimalComboBox);
    settingsLayout->addRow(tr("Encoding:"), EncodingComboBox);
    settingsLayout->addRow(tr("Dates:"), datesLayout);

    PreviewTable = new QTableWidget(this);
    PreviewTable->setObjectName(QStringLiteral("PreviewTable"));
    PreviewTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PreviewTable->verticalHeader()->setDefaultSectionSize(22);

    ErrorsList = new QListWidget(this);
    ErrorsList->setObjectName(QStringLiteral("ErrorsList"));
    ErrorsList->setMaximumHeight(110);
    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    SummaryLabel->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    ImportBitBtn = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
    ImportBitBtn->setObjectName(QStringLiteral("ImportBitBtn"));
    CancelBitBtn = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    CancelBitBtn->setObjectName(QStringLiteral("CancelBitBtn"));
    connect(ImportBitBtn, &QPushButton::clicked, this, &TImportCsvForm::ImportBitBtnClick);
    connect(CancelBitBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(settingsLayout);
    auto *previewLabel = new QLabel(tr("The first rows, and which field each column holds:"), this);
    previewLabel->setBuddy(PreviewTable);
    PreviewTable->setAccessibleName(tr("The first rows"));
    layout->addWidget(previewLabel);
    layout->addWidget(PreviewTable, 1);
    auto *errorsLabel = new QLabel(tr("Rows that cannot be read:"), this);
    errorsLabel->setBuddy(ErrorsList);
    ErrorsList->setAccessibleName(tr("Rows that cannot be read"));
    layout->addWidget(errorsLabel);
    layout->addWidget(ErrorsList);
    layout->addWidget(SummaryLabel);
    layout->addWidget(buttons);

    showSettings(m_document.detected());
    for (QComboBox *box : {DelimiterComboBox, DecimalComboBox, EncodingComboBox})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { reread(); });
    connect(DateOrderComboBox, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            replan();
    });
    connect(HeaderCheckBox, &QCheckBox::toggled, this, [this] { reread(); });
    reread();
}

void TImportCsvForm::showSettings(const CsvFile::Settings &s)
{
    m_filling = true;
    DelimiterComboBox->setCurrentIndex(DelimiterComboBox->findData(QVariant(s.Delimiter)));
    HeaderCheckBox->setChecked(s.HasHeader);
    DecimalComboBox->setCurrentIndex(DecimalComboBox->findData(QVariant(s.DecimalPoint)));
    EncodingComboBox->setCurrentIndex(EncodingComboBox->findData(int(s.TextEncoding)));
    DateOrderComboBox->setCurrentIndex(DateOrderComboBox->findData(int(s.Dates)));
    m_filling = false;
}

CsvFile::Settings TImportCsvForm::settings() const
{
    CsvFile::Settings s;
    s.Delimiter = DelimiterComboBox->currentData().toChar();
    s.HasHeader = HeaderCheckBox->isChecked();
    s.DecimalPoint = DecimalComboBox->currentData().toChar();
    s.TextEncoding = CsvFile::Encoding(EncodingComboBox->currentData().toInt());
    s.Dates = CsvFile::DateOrder(DateOrderComboBox->currentData().toInt());
    return s;
}

QList<Column> TImportCsvForm::mapping() const
{
    QList<Column> columns;
    for (int c = 0; c < PreviewTable->columnCount(); ++c) {
        const auto *box = qobject_cast<QComboBox *>(PreviewTable->cellWidget(0, c));
        columns.append(box ? Column(box->currentData().toInt()) : Column::Ignore);
    }
    return columns;
}

void TImportCsvForm::reread()
{
    if (m_filling)
        return;
    const CsvFile::Settings s = settings();
    m_rows = m_document.rows(s);
    m_columns = 0;
    for (const CsvFile::Row &row : std::as_const(m_rows))
        m_columns = qMax(m_columns, int(row.Fields.size()));
    fillPreview(CsvImport::guessMapping(m_rows, s.HasHeader));
    replan();
}

void TImportCsvForm::fillPreview(const QList<Column> &mapping)
{
    m_filling = true;
    const bool header = HeaderCheckBox->isChecked();
    const int first = header ? 1 : 0;
    const int shown = int(qMin<qsizetype>(PreviewRows, qMax<qsizetype>(0, m_rows.size() - first)));
    PreviewTable->clear();
    const int columns = qMin(int(mapping.size()), MaxColumns);
    PreviewTable->setColumnCount(columns);
    PreviewTable->setRowCount(shown + 1);
    QStringList titles;
    for (int c = 0; c < columns; ++c) {
        titles << (header && c < m_rows.front().Fields.size() ? m_rows.front().Fields.at(c)
                                                              : tr("Column %1").arg(c + 1));
        auto *box = new QComboBox(PreviewTable);
        box->setObjectName(QStringLiteral("ColumnComboBox%1").arg(c + 1));
        for (int kind = 0; kind < CsvImport::ColumnKinds; ++kind)
            box->addItem(CsvImport::columnCaption(Column(kind)), kind);
        box->setCurrentIndex(box->findData(int(mapping.at(c))));
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_filling)
                replan();
        });
        PreviewTable->setCellWidget(0, c, box);
    }
    PreviewTable->setHorizontalHeaderLabels(titles);
    QStringList lines{tr("Field")};
    for (int r = 0; r < shown; ++r) {
        const CsvFile::Row &row = m_rows.at(first + r);
        lines << QString::number(row.Line);
        for (int c = 0; c < int(row.Fields.size()) && c < PreviewTable->columnCount(); ++c)
            PreviewTable->setItem(r + 1, c, new QTableWidgetItem(row.Fields.at(c)));
    }
    PreviewTable->setVerticalHeaderLabels(lines);
    PreviewTable->resizeColumnsToContents();
    m_filling = false;
}

void TImportCsvForm::chooseAndOpen(TChargeLogDocument *log, QWidget *parent)
{
    const QString path = QFileDialog::getOpenFileName(parent, tr("Import CSV"),
                                                      QFileInfo(log->path()).absolutePath(),
                                                      tr("CSV files (*.csv *.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    auto *form = new TImportCsvForm(log, parent, path);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->open();
}

void TImportCsvForm::replan()
{
    ErrorsList->clear();
    if (m_columns > MaxColumns) {
        m_plan = CsvImport::Plan();
        DateQuestionLabel->setVisible(false);
        SummaryLabel->setText(tr("With these settings the file has %1 columns; QorLog reads at "
                                 "most %2. Choose another delimiter, or take the columns a "
                                 "charge does not need out of the file.")
                                  .arg(QLocale().toString(m_columns))
                                  .arg(MaxColumns));
        ImportBitBtn->setEnabled(false);
        return;
    }
    // Dates like 05/04/2025 in every row: only the user can tell which is the day.
    const bool ask =
        CsvImport::DateOrderOf(m_rows, settings(), mapping()) == CsvFile::DateOrder::Detect;
    DateQuestionLabel->setVisible(ask);
    if (ask) {
        m_plan = CsvImport::Plan();
        DateQuestionLabel->setText(
            tr("Every date of the file can be read day first or month first. Which is it?"));
        SummaryLabel->setText(tr("Choose the order of day and month in the dates."));
        ImportBitBtn->setEnabled(false);
        return;
    }
    try {
        m_plan = CsvImport::MakePlan(m_rows, settings(), mapping(), m_log->log());
    } catch (const QorLogError &error) {
        m_plan = CsvImport::Plan();
        SummaryLabel->setText(error.message());
        ImportBitBtn->setEnabled(false);
        return;
    }
    for (const CsvImport::RowError &error : std::as_const(m_plan.Errors))
        ErrorsList->addItem(tr("Line %1: %2").arg(error.Line).arg(error.Reason));
    const int good = int(m_plan.Charges.size());
    QString text =
        good == 1 ? tr("1 charge can be imported") : tr("%1 charges can be imported").arg(good);
    text += m_plan.Duplicates == 1 ? tr(", 1 row is already in the log")
                                   : tr(", %1 rows are already in the log").arg(m_plan.Duplicates);
    if (m_plan.Repeated > 0)
        text += tr(", rows repeating an earlier one: %n", nullptr, m_plan.Repeated);
    if (!m_plan.Errors.isEmpty())
        text += m_plan.Errors.size() == 1
                    ? tr(", 1 row cannot be read")
                    : tr(", %1 rows cannot be read").arg(m_plan.Errors.size());
    SummaryLabel->setText(text + QLatin1Char('.'));
    ImportBitBtn->setText(m_plan.Errors.isEmpty() ? tr("Import") : tr("Import Good Rows"));
    ImportBitBtn->setEnabled(good > 0);
}

void TImportCsvForm::ImportBitBtnClick()
{
    // The plan is made again against the log as it is now: charges may have come meanwhile.
    replan();
    try {
        ImportCharges(m_log, m_plan.Charges);
    } catch (const QorLogError &error) {
        showResult(parentWidget(), error.message(), true);
        reject();
        return;
    }
    showResult(parentWidget(), CsvImport::Summary(m_plan, true), false);
    accept();
}

void TImportCsvForm::ImportCharges(TChargeLogDocument *log,
                                   const QVector<CsvImport::Charge> &charges)
{
    if (charges.isEmpty())
        return;
    const int count = int(charges.size());
    log->applyChange(count == 1 ? tr("Import 1 Charge") : tr("Import %n Charges", nullptr, count),
                     {}, CsvImport::MakeEntries(log->log(), charges));
}

QString TImportCsvForm::ImportFromCommandLine(TChargeLogDocument *log, QWidget *parent,
                                              const QString &csvPath, const QString &logPath,
                                              int &status)
{
    // The same log is the same file, whatever path leads to it.
    if (!FilePaths::sameFile(logPath, log->path())) {
        status = OtherLogStatus;
        return {};
    }
    status = 1;
    QString text;
    try {
        const CsvImport::Plan plan =
            CsvImport::MakeDetectedPlan(CsvFile::Document::fromFile(csvPath), log->log());
        if (plan.Errors.isEmpty()) {
            ImportCharges(log, plan.Charges);
            status = 0;
        }
        text = CsvImport::Summary(plan, status == 0);
    } catch (const QorLogError &error) {
        text = error.message();
    }
    showResult(
        parent,
        tr("Import of %1 from the command line:\n%2").arg(QFileInfo(csvPath).fileName(), text),
        status != 0);
    return text;
}
