// Fuzz target for the CSV reader: whatever a file holds, reading it and planning its import
// must neither crash nor hang, and every data row must end up as a charge, an error or a
// duplicate. The charges the plan takes, added to a log, must write and read back through the
// log file unchanged; exported again (plainly and for spreadsheets) and imported into an empty
// log, they must give the very same charges once more.

#include "CsvFile.h"
#include "CsvImport.h"
#include "LogFile.h"
#include "ModelTestHelpers.h"

#include <QLocale>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

[[noreturn]] void finding(const char *what, const QString &detail)
{
    std::fprintf(stderr, "FINDING: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

void addAll(TChargeLog &log, const QVector<CsvImport::Charge> &charges)
{
    for (const TChargeEntry &entry : CsvImport::MakeEntries(log, charges))
        log.ChargeStringList.append(entry.Record, entry.Text);
    log.ChargeStringList.sortByDateTime();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(size % 2 ? german : QLocale::c());
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    std::optional<CsvFile::Document> document;
    try {
        document = CsvFile::Document::fromBytes(bytes);
    } catch (const QorLogError &) {
        return 0;
    }
    // Each of the three ways of reading dates with "/" in turn.
    CsvFile::Settings settings = document->detected();
    settings.Dates = CsvFile::DateOrder(size % 3);
    const QList<CsvFile::Row> rows = document->rows(settings);
    CsvImport::Plan plan;
    try {
        plan = CsvImport::MakePlan(rows, settings,
                                   CsvImport::guessMapping(rows, settings.HasHeader), TChargeLog());
    } catch (const QorLogError &) {
        return 0;
    }
    if (plan.Charges.size() + plan.Errors.size() + plan.Duplicates + plan.Repeated != plan.Rows)
        finding("rows went missing from the plan", CsvImport::Summary(plan, false));

    TChargeLog log;
    addAll(log, plan.Charges);
    const QStringList charges = ModelTestHelpers::describeCharges(log);
    const QByteArray written = LogFile::WriteChargeLog(log);
    TChargeLog copy;
    try {
        LogFile::ReadChargeLog(written, copy, QStringLiteral("written"));
    } catch (const QorLogError &e) {
        finding("a written log does not read back", e.message());
    }
    if (ModelTestHelpers::describeCharges(copy) != charges)
        finding("charges differ after the log file", QString::fromUtf8(written));

    for (const CsvFile::ExportFormat &format :
         {CsvFile::ExportFormat(), CsvFile::ExportFormat::regional(german)}) {
        const QByteArray csv = CsvFile::ToCsv(log, format, false);
        TChargeLog again;
        try {
            const CsvImport::Plan back =
                CsvImport::MakeDetectedPlan(CsvFile::Document::fromBytes(csv), again);
            if (!back.Errors.isEmpty())
                finding("an export does not import", CsvImport::Summary(back, false));
            addAll(again, back.Charges);
        } catch (const QorLogError &e) {
            if (!charges.isEmpty())
                finding("an export is refused", e.message());
            continue;
        }
        if (ModelTestHelpers::describeCharges(again) != charges)
            finding("charges differ after an export",
                    charges.join('\n') + "\n--- back ---\n" +
                        ModelTestHelpers::describeCharges(again).join('\n'));
    }
    return 0;
}
