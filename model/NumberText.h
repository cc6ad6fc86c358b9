#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

// Number and date-time texts shared by the table, the dialog and the log file.
namespace NumberText {

// General format: up to 15 significant digits, no thousands separators, no trailing zeros,
// exponent only for magnitudes below 1e-5 (other than 0) or of 1e15 and above; the decimal
// separator of `locale` (by default the user's).
QString formatGeneral(double value, const QLocale &locale = QLocale());

// The same layout with as many digits as it takes to read back the very same double (never
// more than 17); values with up to 15 significant digits look exactly as formatGeneral gives.
QString formatExact(double value, const QLocale &locale = QLocale());
// The same in ASCII with the given separator, written to `out` (room for 48 characters);
// returns the length. For writers that format many numbers.
int formatExact(double value, char decimalPoint, char *out);

// Strict reading of a number typed or stored: optional blanks around it, a sign, digits,
// one decimal separator ("." or "," are both taken, whatever the locale, and the user's own
// separator besides), an exponent.
// Nothing else: no thousands separators, no "inf"/"nan". Returns false when not a number or
// the value is not finite.
bool parseNumber(const QString &text, double &value);

// As parseNumber, but throws QorLogError "'%s' is not a valid floating point value".
double toFloat(const QString &text);

// A number as a user types it: as parseNumber, but the one decimal separator taken is the
// locale's own, so "1,5" is refused in an English locale and "1.5" in a German one (a group
// separator is never taken either: "1,000" means neither 1 nor 1000 to everyone).
bool parseTyped(const QString &text, const QLocale &locale, double &value);
// As parseTyped, but throws QorLogError "'%s' is not a valid floating point value".
double toFloatTyped(const QString &text, const QLocale &locale = QLocale());
// Decimal integer with optional sign and blanks; throws "'%s' is not a valid integer value".
qint32 toInteger(const QString &text);

// "#,##0.###": grouped thousands, at most three decimals, locale separators; -0 shows 0.
QString formatGrouped(double value, const QLocale &locale = QLocale());

} // namespace NumberText

namespace DateTimeText {

// A date-time as the log holds it: a wall-clock reading, the date and the time of day with no
// time zone. No conversion ever applies, so a time that the local clock skips or repeats at a
// change to or from summer time is shown and kept exactly as given.
struct WallClock
{
    QDate date;
    QTime time;
    bool isValid() const { return date.isValid() && time.isValid(); }
};

// Days since 1899-12-30 00:00 with the time of day as the fraction and back. Below zero the
// whole days count back from the epoch while the time of day still counts forward from the
// start of its day (-1.25 is 1899-12-29 06:00). Rounded to the millisecond; an invalid
// reading for a day count too far out for any calendar (or not finite).
WallClock toWallClock(double days);
double fromWallClock(const QDate &date, const QTime &time);
// The local wall clock now.
double now();

// The separator between hours and minutes in the locale's short time format, or ":" when the
// format has no plain separator character there (quoted text, letters, blanks).
QString timeSeparator(const QLocale &locale = QLocale());

// "yyyy-mm-dd hh:nn:ss" with the locale's time separator.
QString formatTable(double days, const QLocale &locale = QLocale());

} // namespace DateTimeText
