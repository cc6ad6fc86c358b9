#pragma once

#include <QCoreApplication>
#include <QString>

class QPrinter;
class QWidget;
class TBarChart;
class TChargeLogDocument;

// The printed log: the log's name and date range, the chart as shown, the figures per battery,
// then the shown records as a table whose column titles repeat on every page; page numbers
// at the foot. Long texts wrap; nothing is cut.
class TChargeReport
{
public:
    Q_DECLARE_TR_FUNCTIONS(TChargeReport)
public:
    // The report of `log`, with `chart` drawn as it is shown (none: no chart).
    TChargeReport(const TChargeLogDocument *log, TBarChart *chart) : m_log(log), m_chart(chart) {}

    // Paints the report on `printer` (page size and margins as it has them set); returns the
    // number of pages.
    int print(QPrinter *printer) const;

    // A4, or Letter where the user's locale measures in inches; margins of 15 mm.
    static void setUpPrinter(QPrinter &printer);
    // File > Export PDF…: asks where, writes the PDF there and says so. File > Print…: the
    // report in a print preview, from which it is sent to a printer.
    static void ExportPdf(const TChargeLogDocument *log, TBarChart *chart, QWidget *parent);
    // Writes the report as PDF to `path`; returns its pages. Throws QorLogError when the file
    // is not written.
    static int ExportPdfTo(const TChargeLogDocument *log, TBarChart *chart, const QString &path);
    static void Print(const TChargeLogDocument *log, TBarChart *chart, QWidget *parent);

private:
    const TChargeLogDocument *m_log;
    TBarChart *m_chart;
};
