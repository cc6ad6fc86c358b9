// Fuzz target for the log reader: whatever a file holds, reading it must neither crash nor
// hang, and whatever the reader left in memory (all of it, or the records before a failure)
// must write and read back to the same charges, names and colours, and a read in two halves at
// once, or by the XML parser alone, must give the very same log and error. Inputs that start with
// the byte 0xA5 are offered as one charge instead, to check the same of what the log accepts.

#include "LogFile.h"
#include "ModelTestHelpers.h"

#include <QLocale>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void finding(const char *what, const QByteArray &written, const QString &detail)
{
    std::fprintf(stderr, "FINDING: %s\n%s\n--- written ---\n%s\n", what,
                 detail.toUtf8().constData(), written.constData());
    std::abort();
}

// The same input taken as one charge offered to the log: three doubles, then UTF-16 text
// split at U+FFFF into the six texts. Whatever the log accepts must come back unchanged.
void storeAsCharge(const std::uint8_t *data, std::size_t size, TChargeLog &log)
{
    double numbers[3] = {0, 0, 0};
    const std::size_t numberBytes = qMin(size, sizeof numbers);
    std::memcpy(numbers, data, numberBytes);
    QString text(qsizetype((size - numberBytes) / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data + numberBytes, std::size_t(text.size()) * 2);
    QStringList t = text.split(QChar(0xFFFF));
    while (t.size() < 6)
        t << QString();
    try {
        log.StoreChargeRecord(-1, numbers[0], t[0], t[1], t[2], numbers[1], numbers[2], t[3], t[4],
                              t[5]);
    } catch (const QorLogError &) {
        if (!log.ChargeStringList.isEmpty())
            finding("a refused charge was stored", QByteArray(), QString());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Half the inputs are written back with the comma as decimal separator.
    QLocale::setDefault(size % 2 ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());

    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    TChargeLog log;
    if (size > 0 && data[0] == 0xA5) { // never the start of a document
        storeAsCharge(data + 1, size - 1, log);
    } else {
        QString error;
        try {
            LogFile::ReadChargeLog(bytes, log, QStringLiteral("fuzz input"), {},
                                   LogFile::ReadMode::InOnePass);
        } catch (const QorLogError &e) {
            // A damaged log still keeps what was read before the damage, and that is what
            // the next save writes: it must survive as well.
            error = e.message();
        }
        // Read by the XML parser alone (also where the charges are laid out as a save writes
        // them), or in two halves at once, it is the same log with the same error.
        for (const LogFile::ReadMode mode :
             {LogFile::ReadMode::ParserOnly, LogFile::ReadMode::InTwoHalves}) {
            const char *const way =
                mode == LogFile::ReadMode::ParserOnly ? "the parser alone" : "the halves";
            TChargeLog other;
            QString otherError;
            try {
                LogFile::ReadChargeLog(bytes, other, QStringLiteral("fuzz input"), {}, mode);
            } catch (const QorLogError &e) {
                otherError = e.message();
            }
            if (otherError != error)
                finding(way, QByteArray(), "fails otherwise:\n" + error + "\n" + otherError);
            if (ModelTestHelpers::describeExactly(other) != ModelTestHelpers::describeExactly(log))
                finding(way, QByteArray(),
                        "reads another log:\n" +
                            ModelTestHelpers::describeExactly(other).join('\n'));
        }
    }

    const QByteArray written = LogFile::WriteChargeLog(log);
    TChargeLog copy;
    try {
        LogFile::ReadChargeLog(written, copy, QStringLiteral("written"));
    } catch (const QorLogError &e) {
        finding("a written log does not read back", written, e.message());
    }
    const QStringList original = ModelTestHelpers::describeCharges(log);
    const QStringList reread = ModelTestHelpers::describeCharges(copy);
    if (original != reread) {
        for (qsizetype i = 0; i < qMax(original.size(), reread.size()); ++i)
            if (original.value(i) != reread.value(i))
                finding("charges differ after a round trip", written,
                        QStringLiteral("#%1\nread:    %2\nre-read: %3")
                            .arg(i)
                            .arg(original.value(i), reread.value(i)));
    }
    if (ModelTestHelpers::colours(log) != ModelTestHelpers::colours(copy))
        finding("colours differ after a round trip", written, QString());
    if (LogFile::WriteChargeLog(copy) != written)
        finding("writing what was read back gives other bytes", written, QString());
    return 0;
}
