#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <exception>

// One logged charge. Names are not held here: the record stores positions in the four
// name lists of TChargeLog, so it stays a plain value that is copied whole.
// The integers come first and the doubles after them: 48 bytes with no padding between, which
// at a million charges is 8 MB less for each copy of the list.
struct TChargeRecord
{
    qint32 Key = 0; // valid for one run only; 0 never names a record
    qint32 PowerSourceIndex = 0;
    qint32 ChargerIndex = 0;
    qint32 BatteryIndex = 0;
    qint32 TerminationIndex = 0;
    double DateTime = 0.0; // days since 1899-12-30 00:00, local time, time of day as fraction
    double NominalChargeAmps = 0.0;
    double AmpHours = 0.0;
};
static_assert(sizeof(TChargeRecord) == 48, "a record's fields are packed without holes");

bool operator==(const TChargeRecord &a, const TChargeRecord &b);
inline bool operator!=(const TChargeRecord &a, const TChargeRecord &b)
{
    return !(a == b);
}

// Every failure the program reports is one of these: a message meant for the user.
class QorLogError : public std::exception
{
public:
    explicit QorLogError(QString message);
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

namespace QorLog {

// Colours are 0x00BBGGRR values.
constexpr qint32 DefaultCyclesSeriesColour = 0x800080;    // purple
constexpr qint32 DefaultChargeSeriesColour = 0x808080;    // gray
constexpr qint32 DefaultDischargeSeriesColour = 0x8000FF; // red FF, blue 80
constexpr qint32 FuchsiaColour = 0xFF00FF;

inline constexpr char InstanceIdentifier[] = "{ECD75653-CFFC-453F-B764-FC2191BA1CB1}";
inline constexpr char DeletedName[] = "Deleted";

// The longest text a charge stores in any one field, in UTF-16 code units (QString::size()).
// Longer texts are refused wherever they come in, never cut.
constexpr qsizetype MaxTextLength = 65536;

} // namespace QorLog
