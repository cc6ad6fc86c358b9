#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Number and date-time texts shared by the table, the dialog and the log file.
namespace NumberText {

// General format: up to 15 significant digits, no thousands separators, no trailing zeros,
// exponent only for magnitudes below 1e-5 (other than 0) or of 1e15 and above; the decimal
// separator of `locale` (by default the user's).
QString formatGeneral(double value, const QLocale &locale = QLocale());

// The same layout with as many digits as it takes to read back the very same double (never
// more than 17); values with up to 15 significant digits look exactly as formatGeneral gives.
QString formatExact(double value, const QLocale &locale = QLocale());

// Strict reading of a number typed or stored: optional blanks around it, a sign, digits,
// one decimal separator ("." or "," are both taken, whatever the locale, and the user's own
// separator besides), an exponent.
// Nothing else: no thousands separators, no "inf"/"nan". Returns false when not a number or
// the value is not finite.
bool parseNumber(const QString &text, double &value);

// As parseNumber, but throws QorLogError "'%s' is not a valid floating point value".
double toFloat(const QString &text);
// Decimal integer with optional sign and blanks; throws "'%s' is not a valid integer value".
qint32 toInteger(const QString &text);

// "#,##0.###": grouped thousands, at most three decimals, locale separators; -0 shows 0.
QString formatGrouped(double value, const QLocale &locale = QLocale());

} // namespace NumberText

namespace DateTimeText {

// Days since 1899-12-30 00:00 (local time, time of day as the fraction) and back.
double fromDateTime(const QDateTime &dateTime);
QDateTime toDateTime(double days);
double now();

// "yyyy-mm-dd hh:nn:ss" with the locale's time separator.
QString formatTable(double days, const QLocale &locale = QLocale());

} // namespace DateTimeText
