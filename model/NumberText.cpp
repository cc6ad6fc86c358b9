#include "NumberText.h"

#include "ConstantsAndTypes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// Lays out the scientific text "-d.ddde+XX" of a finite non-zero value in the general format:
// significant digits without trailing zeros, in fixed notation unless the decimal exponent is
// below -5 or 15 and above. Writes at most 48 characters to `out` and returns how many; works in
// fixed buffers, since a save formats three numbers per charge.
template <typename In, typename Out>
int layoutGeneral(const In *in, qsizetype size, Out decimalPoint, Out *out)
{
    qsizetype i = 0;
    const bool negative = size > 0 && in[0] == '-';
    if (negative)
        ++i;
    char digits[40];
    int count = 0;
    for (; i < size && in[i] != 'e'; ++i)
        if (in[i] != '.' && count < int(std::size(digits)))
            digits[count++] = char(in[i]);
    int exponent = 0;
    bool negativeExponent = false;
    if (++i < size && (in[i] == '-' || in[i] == '+'))
        negativeExponent = in[i++] == '-';
    for (; i < size; ++i)
        exponent = exponent * 10 + (int(in[i]) - '0');
    if (negativeExponent)
        exponent = -exponent;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    int length = 0;
    if (negative)
        out[length++] = Out('-');
    if (exponent < -5 || exponent >= 15) {
        out[length++] = Out(digits[0]);
        if (count > 1) {
            out[length++] = decimalPoint;
            for (int k = 1; k < count; ++k)
                out[length++] = Out(digits[k]);
        }
        out[length++] = Out('E');
        if (exponent < 0)
            out[length++] = Out('-');
        char reversed[12];
        int places = 0;
        for (int e = std::abs(exponent); e > 0 || places == 0; e /= 10)
            reversed[places++] = char('0' + e % 10);
        while (places > 0)
            out[length++] = Out(reversed[--places]);
    } else if (exponent < 0) {
        out[length++] = Out('0');
        out[length++] = decimalPoint;
        for (int k = 0; k < -exponent - 1; ++k)
            out[length++] = Out('0');
        for (int k = 0; k < count; ++k)
            out[length++] = Out(digits[k]);
    } else {
        for (int k = 0; k < count || k <= exponent; ++k) {
            if (k == exponent + 1)
                out[length++] = decimalPoint;
            out[length++] = Out(k < count ? digits[k] : '0');
        }
    }
    return length;
}

// The text of a value that is zero or not finite, or nullptr for any other value.
const char *specialText(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    return value == 0.0 ? "0" : nullptr;
}

// The shortest digits that read back as the same double, without a temporary string.
template <typename Out> int layoutShortest(double value, Out decimalPoint, Out *out)
{
    char scientific[64];
    const std::to_chars_result end = std::to_chars(scientific, scientific + sizeof scientific,
                                                   value, std::chars_format::scientific);
    return layoutGeneral(scientific, end.ptr - scientific, decimalPoint, out);
}

// Most numbers in a log are short decimals (amps, amp-hours). For those the shortest text that
// reads back is found without the general algorithm: the value rounded to 15 significant
// digits, trailing zeros dropped, is the answer when it reads back as the very same double -
// no two texts of up to 15 significant digits read as one double, so it is then the one the
// general algorithm gives too. Returns the length written, or 0 to leave it to that algorithm
// (more digits needed, or a magnitude written with an exponent).
int formatShortDecimal(double value, char decimalPoint, char *out)
{
    static constexpr double Powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                        1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                        1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20};
    constexpr qint64 Limit = 1000000000000000; // 10^15
    const double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-5 && magnitude < 1e15))
        return 0;
    // Digits before the decimal point (0 or below for magnitudes under 1).
    int integerDigits = 1;
    if (magnitude >= 1.0) {
        while (integerDigits < 15 && magnitude >= Powers[integerDigits])
            ++integerDigits;
    } else {
        integerDigits = 0;
        while (integerDigits > -4 && magnitude * Powers[1 - integerDigits] < 1.0)
            --integerDigits;
    }
    int decimals = 15 - integerDigits; // 0 to 19
    auto digits = qint64(std::llround(magnitude * Powers[decimals]));
    if (digits <= 0 || digits >= Limit)
        return 0;
    while (decimals > 0 && digits % 10 == 0) {
        digits /= 10;
        --decimals;
    }
    if (double(digits) / Powers[decimals] != magnitude)
        return 0;

    char text[24];
    int count = 0;
    for (qint64 rest = digits; rest > 0; rest /= 10)
        text[count++] = char('0' + rest % 10); // backwards
    int length = 0;
    if (value < 0)
        out[length++] = '-';
    if (count <= decimals) {
        out[length++] = '0';
        out[length++] = decimalPoint;
        for (int k = count; k < decimals; ++k)
            out[length++] = '0';
        while (count > 0)
            out[length++] = text[--count];
        return length;
    }
    while (count > 0) {
        if (count == decimals)
            out[length++] = decimalPoint;
        out[length++] = text[--count];
    }
    return length;
}

QString formatWithPrecision(double value, int precision, const QLocale &locale)
{
    if (const char *special = specialText(value))
        return QString::fromLatin1(special);
    const QString point = locale.decimalPoint();
    const char16_t decimalPoint = point.isEmpty() ? u'.' : point.at(0).unicode();
    char16_t out[64];
    int length;
    if (precision == QLocale::FloatingPointShortest) {
        length = layoutShortest(value, decimalPoint, out);
    } else {
        const QString scientific = QString::number(value, 'e', precision);
        length = layoutGeneral(scientific.utf16(), scientific.size(), decimalPoint, out);
    }
    return QString(reinterpret_cast<const QChar *>(out), length);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// "." and "," always; besides them the user's own separator, so that a number shown in a
// locale with another one (the Arabic decimal separator, say) reads back as well.
bool isDecimalSeparator(QChar c)
{
    if (c == QLatin1Char('.') || c == QLatin1Char(','))
        return true;
    const QString own = QLocale().decimalPoint();
    return own.size() == 1 && c == own.at(0);
}

} // namespace

namespace NumberText {

QString formatGeneral(double value, const QLocale &locale)
{
    return formatWithPrecision(value, 14, locale);
}

QString formatExact(double value, const QLocale &locale)
{
    return formatWithPrecision(value, QLocale::FloatingPointShortest, locale);
}

int formatExact(double value, char decimalPoint, char *out)
{
    if (const char *special = specialText(value)) {
        const int length = int(std::strlen(special));
        std::memcpy(out, special, size_t(length));
        return length;
    }
    if (const int length = formatShortDecimal(value, decimalPoint, out))
        return length;
    return layoutShortest(value, decimalPoint, out);
}

namespace {

template <typename IsSeparator>
bool parseWith(const QString &text, double &value, IsSeparator isSeparator);

} // namespace

bool parseNumber(const QString &text, double &value)
{
    return parseWith(text, value, isDecimalSeparator);
}

bool parseTyped(const QString &text, const QLocale &locale, double &value)
{
    const QString own = locale.decimalPoint();
    return parseWith(text, value, [&own](QChar c) { return own.size() == 1 && c == own.at(0); });
}

double toFloatTyped(const QString &text, const QLocale &locale)
{
    double value = 0.0;
    if (!parseTyped(text, locale, value))
        throw QorLogError(
            QCoreApplication::translate("NumberText", "'%1' is not a valid floating point value")
                .arg(text));
    return value;
}

namespace {

template <typename IsSeparator>
bool parseWith(const QString &text, double &value, IsSeparator isSeparator)
{
    // [blanks] [sign] digits [sep digits] [e [sign] digits] [blanks], or a number starting at
    // the separator; "." and "," both serve as the separator.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text.at(i)))
        ++i;
    qsizetype end = n;
    while (end > i && isBlank(text.at(end - 1)))
        --end;
    QByteArray plain;
    plain.reserve(end - i);
    if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        plain.append(char(text.at(i++).unicode()));
    int mantissaDigits = 0;
    while (i < end && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        plain.append(char(text.at(i++).unicode()));
        ++mantissaDigits;
    }
    if (i < end && isSeparator(text.at(i))) {
        plain.append('.');
        ++i;
        while (i < end && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
            plain.append(char(text.at(i++).unicode()));
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < end && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        plain.append('e');
        ++i;
        if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
            plain.append(char(text.at(i++).unicode()));
        int exponentDigits = 0;
        while (i < end && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
            plain.append(char(text.at(i++).unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return false;
    }
    if (i != end)
        return false;
    bool ok = false;
    const double parsed = plain.toDouble(&ok); // the C locale's rules, as built above
    if (!ok || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

} // namespace

double toFloat(const QString &text)
{
    double value = 0.0;
    if (!parseNumber(text, value))
        throw QorLogError(
            QCoreApplication::translate("NumberText", "'%1' is not a valid floating point value")
                .arg(text));
    return value;
}

qint32 toInteger(const QString &text)
{
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        throw QorLogError(
            QCoreApplication::translate("NumberText", "'%1' is not a valid integer value")
                .arg(text));
    return value;
}

QString formatGrouped(double value, const QLocale &locale)
{
    if (!std::isfinite(value))
        return formatGeneral(value, locale);
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    QString text = grouped.toString(value, 'f', 3);
    const QString point = grouped.decimalPoint();
    const qsizetype dot = text.lastIndexOf(point);
    if (dot >= 0) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    // A value that rounds to zero shows plain 0, never "-0".
    if (text == grouped.negativeSign() + grouped.zeroDigit())
        return grouped.zeroDigit();
    return text;
}

} // namespace NumberText

namespace DateTimeText {

static const QDate &epoch()
{
    static const QDate day(1899, 12, 30);
    return day;
}

static constexpr qint64 MsecsPerDay = 86400000;

double fromWallClock(const QDate &date, const QTime &time)
{
    const qint64 days = epoch().daysTo(date);
    const double fraction = double(time.msecsSinceStartOfDay()) / double(MsecsPerDay);
    // Before the epoch the whole days count down while the time of day still counts up.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

WallClock toWallClock(double days)
{
    // QDate covers far more than any real charge; outside a few million years give up.
    if (!std::isfinite(days) || std::fabs(days) > 1.0e9)
        return {};
    double whole = std::trunc(days);
    qint64 msecs = qint64(std::llround(std::fabs(days - whole) * double(MsecsPerDay)));
    QDate date = epoch().addDays(qint64(whole));
    // The time of day counts forward from its day's start also before the epoch, so a time
    // that rounds up to midnight is the start of the next day in both directions.
    if (msecs >= MsecsPerDay) {
        msecs -= MsecsPerDay;
        date = date.addDays(1);
    }
    return {date, QTime::fromMSecsSinceStartOfDay(int(msecs))};
}

double now()
{
    const QDateTime local = QDateTime::currentDateTime();
    return fromWallClock(local.date(), local.time());
}

QString timeSeparator(const QLocale &locale)
{
    // What stands between the hour field and the minute field, when that is one plain
    // character: "HH 'h' mm" has quoted text there, some formats a word or a combining sign.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    bool quoted = false;
    qsizetype hourEnd = -1;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('h') || c == QLatin1Char('H')))
            hourEnd = i + 1;
        else if (!quoted && c == QLatin1Char('m') && hourEnd >= 0) {
            const QString between = format.mid(hourEnd, i - hourEnd).trimmed();
            if (between.size() == 1) {
                const QChar s = between.at(0);
                if (s.isPunct() || s.isSymbol())
                    return between;
            }
            break;
        }
    }
    return QStringLiteral(":");
}

QString formatTable(double days, const QLocale &locale)
{
    const WallClock wall = toWallClock(days);
    if (!wall.isValid())
        return NumberText::formatGeneral(days, locale);
    const QDate d = wall.date;
    const QTime t = wall.time;
    const QString separator = timeSeparator(locale);
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1-%2-%3 ")
               .arg(d.year(), 4, 10, QLatin1Char('0'))
               .arg(two(d.month()), two(d.day())) +
           two(t.hour()) + separator + two(t.minute()) + separator + two(t.second());
}

} // namespace DateTimeText
