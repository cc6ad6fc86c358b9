#include "ChargerLogParts.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ChargerLog::Parts {

void addBadLine(TChargerLog &log, qint64 line, const QString &reason)
{
    if (log.badLines.size() < MaximumBadLinesKept)
        log.badLines.append({line, reason});
    ++log.badLineCount;
}

QString displayName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

void trim(const char *&b, const char *&e)
{
    while (b < e && isSpace(*b))
        ++b;
    while (e > b && isSpace(e[-1]))
        --e;
}

// A whole number with an optional minus sign; false for anything else.
bool parseInteger(const char *b, const char *e, qint64 &value)
{
    trim(b, e);
    bool negative = false;
    if (b < e && (*b == '-' || *b == '+')) {
        negative = *b == '-';
        ++b;
    }
    if (b == e || e - b > 15)
        return false;
    qint64 v = 0;
    for (; b < e; ++b) {
        if (*b < '0' || *b > '9')
            return false;
        v = v * 10 + (*b - '0');
    }
    value = negative ? -v : v;
    return true;
}

NumberOutcome parseNumber(const char *b, const char *e, bool comma, bool clock, double &value)
{
    trim(b, e);
    if (b == e)
        return NumberOutcome::Empty;
    if (*b == '+')
        ++b;
    if (e - b > 63 || b == e)
        return NumberOutcome::Invalid;
    char buffer[64];
    int n = 0;
    int colons = 0;
    for (const char *p = b; p < e; ++p) {
        char c = *p;
        if (c == ',' && comma)
            c = '.';
        if (c == ':')
            ++colons;
        buffer[n++] = c;
    }
    if (colons > 0) {
        if (!clock || colons > 2)
            return NumberOutcome::Invalid;
        double total = 0;
        const char *p = buffer;
        const char *end = buffer + n;
        for (int part = 0; part <= colons; ++part) {
            const char *stop = std::find(p, end, ':');
            double v = 0;
            const auto result = std::from_chars(p, stop, v);
            if (result.ec != std::errc() || result.ptr != stop || !std::isfinite(v) || v < 0)
                return NumberOutcome::Invalid;
            total = total * 60 + v;
            p = stop + 1;
        }
        if (!std::isfinite(total))
            return NumberOutcome::Invalid;
        value = total;
        return NumberOutcome::Number;
    }
    const auto result = std::from_chars(buffer, buffer + n, value);
    if (result.ec != std::errc() || result.ptr != buffer + n || !std::isfinite(value))
        return NumberOutcome::Invalid;
    return NumberOutcome::Number;
}

QString textOf(const char *b, const char *e, int limit)
{
    QString text = QString::fromUtf8(b, qMin<qsizetype>(e - b, limit));
    return e - b > limit ? text + QStringLiteral("…") : text;
}

// Bytes that no text log holds: control characters other than tab, CR and LF, and NUL
// except right before a line break (where some chargers put one).
bool looksBinary(const QByteArray &bytes, QString *what)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size >= 4 && data[0] == 'P' && data[1] == 'K' && data[2] < 9 && data[3] < 9) {
        *what = QCoreApplication::translate(
            "ChargerLog",
            "is a ZIP container (a charger program's own project file?), not a text log");
        return true;
    }
    const qsizetype scanned = qMin<qsizetype>(size, 65536);
    qsizetype controls = 0;
    for (qsizetype i = 0; i < scanned; ++i) {
        const unsigned char c = data[i];
        if (c >= 0x20 || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == 0 && i + 1 < size && (data[i + 1] == '\r' || data[i + 1] == '\n'))
            continue;
        if (c == 0 && i + 1 == size)
            continue;
        ++controls;
    }
    if (controls >= 8 || controls * 100 > scanned) {
        *what = QCoreApplication::translate("ChargerLog", "holds binary data, not a text log");
        return true;
    }
    return false;
}

} // namespace ChargerLog::Parts
