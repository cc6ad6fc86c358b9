#include "ChargeReportUnit.h"

#include "BatteryReport.h"

#include "BarChart.h"
#include "ChargeLogDocument.h"
#include "ChargeLogTableModel.h"
#include "ErrorBox.h"
#include "NumberText.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextLayout>

#include <cmath>
#include <functional>

namespace {

// Splits a text into the lines it takes at `width`: at its own line breaks, then at word
// boundaries, and inside a word only where one word is wider than the line. With
// `wholeWords` a word is never broken: one wider than the line is shortened with an ellipsis.
QStringList wrapLines(const QString &text, const QFont &font, qreal width, QPaintDevice *device,
                      bool wholeWords = false)
{
    QStringList lines;
    QTextOption option;
    option.setWrapMode(wholeWords ? QTextOption::WordWrap
                                  : QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFontMetricsF metrics(font, device);
    for (const QString &paragraph : QString(text)
                                        .replace(QLatin1String("\r\n"), QLatin1String("\n"))
                                        .split(QLatin1Char('\n'))) {
        QString plain = paragraph;
        plain.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\t'), QLatin1Char(' '));
        if (plain.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(plain, font, device);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            QString part = plain.mid(line.textStart(), line.textLength());
            if (wholeWords && line.naturalTextWidth() > width)
                part = metrics.elidedText(part.trimmed(), Qt::ElideRight, width);
            lines << part;
        }
        layout.endLayout();
    }
    return lines;
}

// Moves down the pages: a dry run counts them, the second run paints with the count known.
class Pages
{
public:
    Pages(QPrinter *printer, QPainter *painter, int total)
        : m_printer(printer), m_painter(painter), m_total(total),
          m_page(printer->pageLayout().paintRectPixels(printer->resolution()))
    {
        m_page.moveTo(0, 0);
        QFont small = QFont();
        small.setPointSizeF(8);
        m_footerFont = small;
        const qreal footer = QFontMetricsF(small, printer).height() * 2;
        m_body = QRectF(m_page.left(), m_page.top(), m_page.width(), m_page.height() - footer);
        m_y = m_body.top();
    }

    bool painting() const { return m_painter != nullptr; }
    QPainter *painter() const { return m_painter; }
    const QRectF &body() const { return m_body; }
    qreal y() const { return m_y; }
    void advance(qreal height) { m_y += height; }
    qreal room() const { return m_body.bottom() - m_y; }
    int count() const { return m_number; }

    // Starts a new page unless `height` still fits on this one; `onNewPage` then runs.
    void need(qreal height)
    {
        if (height <= room() || m_y == m_body.top())
            return;
        finishPage();
        if (m_painter)
            m_printer->newPage();
        ++m_number;
        m_y = m_body.top();
        if (onNewPage)
            onNewPage();
    }
    void finishPage()
    {
        if (!m_painter)
            return;
        m_painter->save();
        m_painter->setFont(m_footerFont);
        m_painter->setPen(Qt::black);
        const QString text = TChargeReport::tr("Page %1 of %2").arg(m_number).arg(m_total);
        m_painter->drawText(QRectF(m_page.left(), m_body.bottom(), m_page.width(),
                                   m_page.bottom() - m_body.bottom()),
                            Qt::AlignHCenter | Qt::AlignBottom, text);
        m_painter->restore();
    }

    std::function<void()> onNewPage;

private:
    QPrinter *m_printer;
    QPainter *m_painter;
    int m_total;
    QRectF m_page;
    QRectF m_body;
    QFont m_footerFont;
    qreal m_y = 0;
    int m_number = 1;
};

struct Table
{
    QStringList Titles;
    QList<qreal> Shares; // of the page width, one per column
    QList<Qt::Alignment> Alignments;
    QList<QStringList> Rows;
};

// Cells up to this many characters are never broken.
constexpr int ShortCell = 16;
constexpr int MeasuredRows = 1000;

// The columns' widths: their shares of `total`, but each at least as wide as the longest word
// of its title and its short cells, the room for that taken from columns wider than their own
// titles need. Where the page is too narrow even so, the shares stand and a title word too long is
// shortened.
QList<qreal> columnWidths(const Table &table, const QFont &titleFont, qreal pad, qreal total,
                          QPaintDevice *device)
{
    const QFontMetricsF metrics(titleFont, device);
    QList<qreal> widths, least;
    for (int c = 0; c < table.Shares.size(); ++c) {
        widths << table.Shares.at(c) * total;
        qreal word = 0;
        const QString title = c < table.Titles.size() ? table.Titles.at(c) : QString();
        for (const QString &w :
             title.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            word = qMax(word, metrics.horizontalAdvance(w));
        // A short cell (a name, "83.5 %") stays on one line, a long one breaks between its
        // words only; the first rows stand for the rest (a long log prints fast).
        for (const QStringList &row : table.Rows.mid(0, MeasuredRows)) {
            const QString cell = c < row.size() ? row.at(c) : QString();
            if (cell.size() <= ShortCell)
                word = qMax(word, metrics.horizontalAdvance(cell));
            else
                for (const QString &w :
                     cell.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
                    word = qMax(word, metrics.horizontalAdvance(w.left(ShortCell)));
        }
        least << std::ceil(word + 2 * pad + 1);
    }
    qreal missing = 0, spare = 0;
    for (int c = 0; c < widths.size(); ++c) {
        missing += qMax<qreal>(0, least.at(c) - widths.at(c));
        spare += qMax<qreal>(0, widths.at(c) - least.at(c));
    }
    if (missing <= 0 || spare < missing)
        return widths;
    // Every column with room to give gives the same part of its room.
    const qreal part = missing / spare;
    for (int c = 0; c < widths.size(); ++c) {
        if (widths.at(c) < least.at(c))
            widths[c] = least.at(c);
        else
            widths[c] -= (widths.at(c) - least.at(c)) * part;
    }
    return widths;
}

// A table whose column titles open it and every page it continues on; a row moves to the next
// page whole unless it is taller than a page, which then breaks between its lines.
void paintTable(Pages &pages, const Table &table, const QFont &font, QPaintDevice *device)
{
    const QFontMetricsF metrics(font, device);
    const qreal lineHeight = metrics.lineSpacing();
    const qreal pad = metrics.averageCharWidth() / 2;
    QFont bold = font;
    bold.setBold(true);
    const QList<qreal> widths = columnWidths(table, bold, pad, pages.body().width(), device);
    QList<qreal> lefts;
    qreal left = pages.body().left();
    for (const qreal width : widths) {
        lefts << left;
        left += width;
    }
    const auto cellLines = [&](const QStringList &cells, const QFont &f, bool wholeWords) {
        QList<QStringList> lines;
        int most = 1;
        for (int c = 0; c < cells.size(); ++c) {
            lines << wrapLines(cells.at(c), f, widths.at(c) - 2 * pad, device, wholeWords);
            most = qMax(most, int(lines.back().size()));
        }
        return std::make_pair(lines, most);
    };
    const auto paintLine = [&](const QList<QStringList> &lines, int k, const QFont &f) {
        if (!pages.painting())
            return;
        QPainter *p = pages.painter();
        p->setFont(f);
        for (int c = 0; c < lines.size(); ++c)
            if (k < lines.at(c).size())
                p->drawText(
                    QRectF(lefts.at(c) + pad, pages.y(), widths.at(c) - 2 * pad, lineHeight),
                    table.Alignments.at(c) | Qt::AlignVCenter, lines.at(c).at(k));
    };
    const auto rule = [&] {
        if (pages.painting())
            pages.painter()->drawLine(QPointF(pages.body().left(), pages.y()),
                                      QPointF(pages.body().right(), pages.y()));
    };
    // Titles break between words only.
    const auto titles = cellLines(table.Titles, bold, true);
    const auto paintTitles = [&] {
        for (int k = 0; k < titles.second; ++k) {
            paintLine(titles.first, k, bold);
            pages.advance(lineHeight);
        }
        rule();
    };
    pages.need((titles.second + 2) * lineHeight);
    paintTitles();
    pages.onNewPage = paintTitles;
    for (const QStringList &row : table.Rows) {
        const auto cells = cellLines(row, font, false);
        pages.need(cells.second * lineHeight);
        for (int k = 0; k < cells.second; ++k) {
            pages.need(lineHeight);
            paintLine(cells.first, k, font);
            pages.advance(lineHeight);
        }
    }
    pages.onNewPage = nullptr;
}

} // namespace

int TChargeReport::print(QPrinter *printer) const
{
    const TChargeLog &log = m_log->log();

    // The shown records as the table shows them, with whole comments.
    Table records;
    records.Titles = TChargeLogTableModel::columnTitles();
    records.Shares = {0.18, 0.07, 0.09, 0.10, 0.06, 0.09, 0.10, 0.31};
    records.Alignments = {Qt::AlignLeft,  Qt::AlignLeft,  Qt::AlignLeft, Qt::AlignLeft,
                          Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft, Qt::AlignLeft};
    double first = 0, last = 0;
    const TChargeList &list = log.ChargeStringList;
    for (int i = 0; i < list.count(); ++i) {
        const TChargeRecord &r = list.record(i);
        if (!log.isShown(r))
            continue;
        if (records.Rows.isEmpty())
            first = r.DateTime;
        last = r.DateTime;
        QStringList row;
        for (int column = 0; column < TChargeLogTableModel::ColumnCount; ++column)
            row << TChargeLogTableModel::cellText(log, r, list.text(i), column);
        records.Rows << row;
    }
    // The battery health overview, with the columns of the Battery Overview window.
    const BatteryReport::Column columns[] = {
        BatteryReport::BatteryColumn,      BatteryReport::CyclesColumn,
        BatteryReport::LastUsedColumn,     BatteryReport::AhChargedColumn,
        BatteryReport::AhDischargedColumn, BatteryReport::EfficiencyColumn,
        BatteryReport::RetentionColumn,    BatteryReport::TrendColumn,
        BatteryReport::EndOfLifeColumn};
    Table figures;
    figures.Shares = {0.2, 0.07, 0.14, 0.09, 0.09, 0.09, 0.09, 0.09, 0.14};
    for (const BatteryReport::Column column : columns) {
        figures.Titles << BatteryReport::title(column);
        figures.Alignments << (column == BatteryReport::BatteryColumn ? Qt::AlignLeft
                                                                      : Qt::AlignRight);
    }
    for (const BatteryHealth::TBatteryFigures &f :
         BatteryHealth::overview(log, DateTimeText::now())) {
        QStringList row;
        for (const BatteryReport::Column column : columns)
            row << BatteryReport::displayText(f, column);
        figures.Rows << row;
    }

    QFont font;
    font.setPointSizeF(8);
    QFont heading = font;
    heading.setPointSizeF(14);
    heading.setBold(true);
    QFont subheading = font;
    subheading.setPointSizeF(10);
    subheading.setBold(true);

    const auto run = [&](QPainter *painter, int total) {
        Pages pages(printer, painter, total);
        const auto text = [&](const QString &line, const QFont &f) {
            const qreal height = QFontMetricsF(f, printer).lineSpacing();
            pages.need(height);
            if (painter) {
                painter->setFont(f);
                painter->drawText(
                    QRectF(pages.body().left(), pages.y(), pages.body().width(), height),
                    Qt::AlignLeft | Qt::AlignVCenter, line);
            }
            pages.advance(height);
        };
        text(tr("QorLog: %1").arg(QFileInfo(m_log->path()).fileName()), heading);
        if (records.Rows.isEmpty())
            text(tr("No charges are shown."), font);
        else
            text(tr("Charges from %1 to %2")
                     .arg(DateTimeText::formatTable(first), DateTimeText::formatTable(last)),
                 font);
        if (records.Rows.size() != list.count())
            text(tr("%1 of %2 charges are shown; the filters apply.")
                     .arg(records.Rows.size())
                     .arg(list.count()),
                 font);
        pages.advance(QFontMetricsF(font, printer).lineSpacing());

        // The chart as the window shows it, scaled to the page's width.
        TBarChart *chart = m_chart;
        const QSizeF size = chart ? QSizeF(chart->size()) : QSizeF();
        if (size.width() > 0 && size.height() > 0) {
            const qreal scale = qMin(pages.body().width() / size.width(),
                                     pages.body().height() * 0.45 / size.height());
            pages.need(size.height() * scale);
            if (painter) {
                // Drawn as on the screen (without the keyboard focus frame), at three times its
                // resolution: the chart's fonts keep their size relative to the bars.
                QImage image((size * 3).toSize(), QImage::Format_RGB32);
                image.setDevicePixelRatio(3);
                image.fill(Qt::white);
                QPainter chartPainter(&image);
                chart->paintChart(&chartPainter);
                chartPainter.end();
                painter->drawImage(QRectF(pages.body().left(), pages.y(), size.width() * scale,
                                          size.height() * scale),
                                   image);
            }
            pages.advance(size.height() * scale + QFontMetricsF(font, printer).lineSpacing());
        }
        text(tr("Figures per battery"), subheading);
        paintTable(pages, figures, font, printer);
        pages.advance(QFontMetricsF(font, printer).lineSpacing());
        text(tr("Charges"), subheading);
        paintTable(pages, records, font, printer);
        pages.finishPage();
        return pages.count();
    };
    const int total = run(nullptr, 0);
    QPainter painter;
    if (!painter.begin(printer))
        throw QorLogError(tr("The report cannot be printed: the printer cannot be opened"));
    run(&painter, total);
    painter.end();
    return total;
}

void TChargeReport::setUpPrinter(QPrinter &printer)
{
    const QPageSize size(
        QLocale().measurementSystem() == QLocale::MetricSystem ? QPageSize::A4 : QPageSize::Letter);
    printer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                      QPageLayout::Millimeter));
}

namespace {

void preview(const TChargeReport &report, QWidget *parent, QPrinter &printer, const QString &title)
{
    TChargeReport::setUpPrinter(printer);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("ReportPreviewDialog"));
    dialog.setWindowTitle(title);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&](QPrinter *p) { ErrorBox::guard([&] { report.print(p); }, parent); });
    dialog.exec();
}

} // namespace

int TChargeReport::ExportPdfTo(const TChargeLogDocument *document, TBarChart *chart,
                               const QString &path)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(QFileInfo(document->path()).fileName());
    setUpPrinter(printer);
    const int pages = TChargeReport(document, chart).print(&printer);
    if (!QFileInfo(path).isFile())
        throw QorLogError(
            tr("The report could not be written to %1").arg(QDir::toNativeSeparators(path)));
    return pages;
}

void TChargeReport::ExportPdf(const TChargeLogDocument *document, TBarChart *chart, QWidget *parent)
{
    // One step: where to, then the file; the preview is Print's.
    const QFileInfo log(document->path());
    const QString path = QFileDialog::getSaveFileName(
        parent, tr("Export PDF"),
        log.absoluteDir().filePath(log.completeBaseName() + QStringLiteral(".pdf")),
        tr("PDF files (*.pdf)"));
    if (path.isEmpty())
        return;
    const int pages = ExportPdfTo(document, chart, path);
    ErrorBox::showNotice(
        parent, QStringLiteral("PdfWrittenNotice"),
        pages == 1
            ? tr("The report (1 page) was written to %1.").arg(QDir::toNativeSeparators(path))
            : tr("The report (%1 pages) was written to %2.")
                  .arg(pages)
                  .arg(QDir::toNativeSeparators(path)));
}

void TChargeReport::Print(const TChargeLogDocument *document, TBarChart *chart, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QFileInfo(document->path()).fileName());
    preview(TChargeReport(document, chart), parent, printer, tr("Print"));
}
