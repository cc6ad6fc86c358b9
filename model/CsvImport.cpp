#include "CsvImport.h"

#include "ChargeIdentity.h"
#include "LogFile.h"
#include "LogFileGuard.h"
#include "LogMerge.h"
#include "NumberText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CsvImport", text);
}

using CsvImport::Column;

QString folded(const QString &title)
{
    QString key = title.trimmed().toCaseFolded();
    key.remove(QLatin1Char(' ')).remove(QLatin1Char('_')).remove(QLatin1Char('-'));
    return key;
}

// "hh:mm[:ss[.zzz]]" into milliseconds of the day.
bool parseClock(const QString &text, int &msecs)
{
    static const QRegularExpression clock(
        QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d{1,3})\\d*)?)?$"));
    const QRegularExpressionMatch m = clock.match(text);
    if (!m.hasMatch())
        return false;
    const int h = m.captured(1).toInt(), min = m.captured(2).toInt(), s = m.captured(3).toInt();
    const int ms =
        m.captured(4).isEmpty() ? 0 : m.captured(4).leftJustified(3, QLatin1Char('0')).toInt();
    if (h > 23 || min > 59 || s > 59)
        return false;
    msecs = ((h * 60 + min) * 60 + s) * 1000 + ms;
    return true;
}

// "hh:mm[:ss[.zzz]]" with AM or PM after it: 12 AM is midnight, 12 PM noon.
bool parseClockWithHalf(const QString &clock, const QString &half, int &msecs)
{
    if (!parseClock(clock, msecs))
        return false;
    if (half.isEmpty())
        return true;
    const int hour = msecs / 3600000;
    if (hour < 1 || hour > 12)
        return false;
    msecs %= 12 * 3600000;
    if (half.front().toUpper() == QLatin1Char('P'))
        msecs += 12 * 3600000;
    return true;
}

// Numbers with a four-digit year: "d.m.yyyy", "d-m-yyyy" or "a/b/yyyy", then maybe a time.
const QRegularExpression &numericDate()
{
    static const QRegularExpression date(
        QStringLiteral("^(\\d{1,2})([./-])(\\d{1,2})\\2(\\d{4})"
                       "(?:(?:[ T]+|,\\s*)(\\d{1,2}:\\d{2}(?::\\d{2}(?:[.,]\\d+)?)?)"
                       "(?:\\s*([AaPp][Mm]))?)?$"));
    return date;
}

// Two-digit years of a short locale format mean 1950 to 2049, not the 1900s.
QDate fixCentury(QDate date, const QString &format)
{
    if (date.isValid() && !format.contains(QLatin1String("yyyy")) && date.year() < 1950)
        date = date.addYears(100);
    return date;
}

QDate parseLocaleDate(const QString &text, const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    return fixCentury(locale.toDate(text, format), format);
}

bool parseLocaleTime(const QString &text, const QLocale &locale, int &msecs)
{
    for (const QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QTime time = locale.toTime(text, type);
        if (time.isValid()) {
            msecs = time.msecsSinceStartOfDay();
            return true;
        }
    }
    return parseClock(text, msecs);
}

} // namespace

namespace CsvImport {

QString columnCaption(Column column)
{
    static const char *const names[ColumnKinds] = {nullptr,
                                                   "DateTime",
                                                   "DayCount",
                                                   "Date",
                                                   "Time",
                                                   "PowerSource",
                                                   "Charger",
                                                   "Battery",
                                                   "NominalChargeAmps",
                                                   "AmpHours",
                                                   "Termination",
                                                   "Comment",
                                                   "ChargerLogFileName"};
    if (column == Column::Ignore)
        return tr("(ignore)");
    return QLatin1String(names[int(column)]);
}

Column columnForTitle(const QString &title)
{
    static const QHash<QString, Column> known = [] {
        QHash<QString, Column> names;
        for (int kind = int(Column::DateTime); kind < ColumnKinds; ++kind)
            names.insert(folded(columnCaption(Column(kind))), Column(kind));
        names.insert(QStringLiteral("amps"), Column::NominalChargeAmps);
        names.insert(QStringLiteral("ah"), Column::AmpHours);
        return names;
    }();
    return known.value(folded(title), Column::Ignore);
}

QList<Column> guessMapping(const QList<CsvFile::Row> &rows, bool hasHeader)
{
    QList<Column> mapping;
    if (rows.isEmpty())
        return mapping;
    const QStringList &first = rows.front().Fields;
    if (hasHeader) {
        QSet<Column> taken;
        for (const QString &title : first) {
            Column column = columnForTitle(title);
            if (taken.contains(column))
                column = Column::Ignore; // the first column of a kind holds it
            taken.insert(column);
            mapping.append(column);
        }
        return mapping;
    }
    static const QList<Column> exported = {
        Column::DateTime, Column::DayCount,          Column::PowerSource, Column::Charger,
        Column::Battery,  Column::NominalChargeAmps, Column::AmpHours,    Column::Termination,
        Column::Comment,  Column::ChargerLogFileName};
    if (first.size() == exported.size())
        return exported;
    QList<Column> nine = exported;
    nine.removeAt(1);
    if (first.size() == nine.size())
        return nine;
    for (qsizetype i = 0; i < first.size(); ++i)
        mapping.append(Column::Ignore);
    return mapping;
}

bool ParseNumber(const QString &text, QChar decimalPoint, double &value)
{
    const QChar other = decimalPoint == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(',');
    if (text.contains(other))
        return false;
    return NumberText::parseNumber(text, value);
}

bool ParseTime(const QString &text, QChar decimalPoint, const QLocale &locale, int &msecs)
{
    const QString trimmed = text.trimmed();
    if (parseClock(trimmed, msecs) || parseLocaleTime(trimmed, locale, msecs))
        return true;
    double fraction = 0;
    if (ParseNumber(trimmed, decimalPoint, fraction) && fraction >= 0 && fraction < 1) {
        msecs = int(std::llround(fraction * 86400000.0)) % 86400000;
        return true;
    }
    return false;
}

bool ParseDateTime(const QString &text, QChar decimalPoint, const QLocale &locale, double &days)
{
    return ParseDateTime(text, decimalPoint, locale, days, CsvFile::DateOrder::Detect);
}

bool ParseDateTime(const QString &text, QChar decimalPoint, const QLocale &locale, double &days,
                   CsvFile::DateOrder order)
{
    const QString trimmed = text.trimmed();
    // ISO 8601 and "yyyy-mm-dd hh:mm[:ss]": the wall-clock time as written.
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})(?:[T ]+(\\d{1,2}:\\d{2}(?::\\d{2}(?:[.,]\\d+)?)?))?"
        "(Z|[+-]\\d{2}:?\\d{2})?$"));
    const QRegularExpressionMatch m = iso.match(trimmed);
    if (m.hasMatch()) {
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        int msecs = 0;
        if (!date.isValid() ||
            (m.hasCaptured(4) && !m.captured(4).isEmpty() && !parseClock(m.captured(4), msecs)))
            return false;
        if (!m.captured(5).isEmpty()) {
            // A stated offset names an instant: shown as this computer's local time.
            const QDateTime instant = QDateTime::fromString(
                QString(trimmed).replace(QLatin1Char(' '), QLatin1Char('T')), Qt::ISODateWithMs);
            if (!instant.isValid())
                return false;
            const QDateTime local = instant.toLocalTime();
            days = CsvFile::JoinDayCount(local.date(), local.time().msecsSinceStartOfDay());
            return true;
        }
        days = CsvFile::JoinDayCount(date, msecs);
        return true;
    }
    // Numbers with a four-digit year, whatever the locale: its short format may have two.
    const QRegularExpressionMatch n = numericDate().match(trimmed);
    if (n.hasMatch()) {
        const int first = n.captured(1).toInt(), second = n.captured(3).toInt();
        bool dayFirst = true;
        if (n.captured(2) == QLatin1String("/")) {
            switch (order) {
            case CsvFile::DateOrder::DayFirst:
                break;
            case CsvFile::DateOrder::MonthFirst:
                dayFirst = false;
                break;
            case CsvFile::DateOrder::Detect:
                if (first <= 12 && second <= 12 && first != second)
                    return false; // either way round
                dayFirst = second <= 12;
                break;
            }
        }
        const QDate date(n.captured(4).toInt(), dayFirst ? second : first,
                         dayFirst ? first : second);
        int msecs = 0;
        if (!date.isValid() ||
            (!n.captured(5).isEmpty() && !parseClockWithHalf(n.captured(5), n.captured(6), msecs)))
            return false;
        days = CsvFile::JoinDayCount(date, msecs);
        return true;
    }
    // The locale's short date, alone or followed by a time.
    const QDate alone = parseLocaleDate(trimmed, locale);
    if (alone.isValid()) {
        days = CsvFile::JoinDayCount(alone, 0);
        return true;
    }
    for (qsizetype space = trimmed.indexOf(QLatin1Char(' ')); space > 0;
         space = trimmed.indexOf(QLatin1Char(' '), space + 1)) {
        const QDate date = parseLocaleDate(trimmed.left(space).trimmed(), locale);
        int msecs = 0;
        if (date.isValid() && parseLocaleTime(trimmed.mid(space + 1).trimmed(), locale, msecs)) {
            days = CsvFile::JoinDayCount(date, msecs);
            return true;
        }
    }
    return ParseNumber(trimmed, decimalPoint, days);
}

namespace {

// Where each kind of column is: the first column of the kind holds it; -1 for none.
struct ColumnPositions
{
    int of[ColumnKinds];

    explicit ColumnPositions(const QList<Column> &mapping)
    {
        std::fill(std::begin(of), std::end(of), -1);
        for (qsizetype i = mapping.size() - 1; i >= 0; --i)
            of[int(mapping.at(i))] = int(i);
    }
    bool has(Column c) const { return of[int(c)] >= 0; }
    QString cell(const CsvFile::Row &row, Column c) const
    {
        return has(c) && of[int(c)] < row.Fields.size() ? row.Fields.at(of[int(c)]) : QString();
    }
    // The column a row is dated by: the day count, else the date-time, else the date, the
    // first of them that is not blank; Ignore when all are.
    Column dateColumn(const CsvFile::Row &row) const
    {
        for (const Column c : {Column::DayCount, Column::DateTime, Column::Date})
            if (!cell(row, c).trimmed().isEmpty())
                return c;
        return Column::Ignore;
    }
};

} // namespace

CsvFile::DateOrder DateOrderOf(const QList<CsvFile::Row> &rows, const CsvFile::Settings &settings,
                               const QList<Column> &mapping)
{
    using CsvFile::DateOrder;
    if (settings.Dates != DateOrder::Detect)
        return settings.Dates;
    const ColumnPositions columns(mapping);
    bool either = false;
    for (qsizetype r = settings.HasHeader ? 1 : 0; r < rows.size(); ++r) {
        const CsvFile::Row &row = rows.at(r);
        const Column dated = columns.dateColumn(row);
        if (dated == Column::Ignore || dated == Column::DayCount || !row.Error.isEmpty())
            continue;
        const QRegularExpressionMatch m = numericDate().match(columns.cell(row, dated).trimmed());
        if (!m.hasMatch() || m.captured(2) != QLatin1String("/"))
            continue;
        const int first = m.captured(1).toInt(), second = m.captured(3).toInt();
        if (first > 12 && second <= 12)
            return DateOrder::DayFirst;
        if (second > 12 && first <= 12)
            return DateOrder::MonthFirst;
        either = either || (first != second && first <= 12 && second <= 12);
    }
    return either ? DateOrder::Detect : DateOrder::DayFirst;
}

Plan MakePlan(const QList<CsvFile::Row> &rows, const CsvFile::Settings &settings,
              const QList<Column> &mapping, const TChargeLog &log, const QLocale &locale)
{
    const ColumnPositions columns(mapping);
    const auto has = [&](Column c) { return columns.has(c); };
    if (!has(Column::DayCount) && !has(Column::DateTime) && !has(Column::Date))
        throw QorLogError(tr("No column is taken as the date: choose DateTime, DayCount or Date "
                             "for one of them"));
    const CsvFile::DateOrder order = DateOrderOf(rows, settings, mapping);
    if (order == CsvFile::DateOrder::Detect) {
        // Name a date of the file that shows it.
        QRegularExpressionMatch m;
        int first = 0, second = 0;
        for (qsizetype r = settings.HasHeader ? 1 : 0; r < rows.size(); ++r) {
            const Column dated = columns.dateColumn(rows.at(r));
            if (dated == Column::Ignore || dated == Column::DayCount)
                continue;
            m = numericDate().match(columns.cell(rows.at(r), dated).trimmed());
            first = m.captured(1).toInt();
            second = m.captured(3).toInt();
            if (m.hasMatch() && first != second && first <= 12 && second <= 12)
                break;
        }
        const QString example = m.captured(0);
        const int year = m.captured(4).toInt();
        throw QorLogError(
            tr("The dates of the file can be read day first or month first: '%1' is %2 or %3. "
               "Choose which in the Import CSV dialog.")
                .arg(example, QDate(year, second, first).toString(Qt::ISODate),
                     QDate(year, first, second).toString(Qt::ISODate)));
    }

    // The charges already in the log, by what makes two charges the same.
    const auto sameness = [](double days, const QString &battery, double amps, double ah) {
        return QStringLiteral("%1|%2|%3|%4")
            .arg(CsvFile::FormatIsoDateTime(days))
            .arg(TNameList::trimmedName(battery).toCaseFolded())
            .arg(amps == 0 ? 0.0 : amps, 0, 'g', 17)
            .arg(ah == 0 ? 0.0 : ah, 0, 'g', 17);
    };
    QSet<QString> existing;
    existing.reserve(log.ChargeStringList.count());
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeRecord &r = log.ChargeStringList.record(i);
        existing.insert(sameness(r.DateTime, log.BatteriesStringList.name(r.BatteryIndex),
                                 r.NominalChargeAmps, r.AmpHours));
    }

    QSet<QString> inFile; // the charges the plan takes, by the same sameness
    Plan plan;
    const QChar point = settings.DecimalPoint;
    const qsizetype expected = mapping.size();
    for (qsizetype r = settings.HasHeader ? 1 : 0; r < rows.size(); ++r) {
        const CsvFile::Row &row = rows.at(r);
        ++plan.Rows;
        const auto fail = [&](const QString &reason) {
            plan.Errors.append(RowError{row.Line, reason});
        };
        if (!row.Error.isEmpty()) {
            fail(row.Error);
            continue;
        }
        if (row.Fields.size() != expected) {
            fail(tr("the row has %1 fields where the file has %2")
                     .arg(row.Fields.size())
                     .arg(expected));
            continue;
        }
        // A text made inert for spreadsheets (quoted, "'" before a formula) reads as itself.
        const auto cell = [&](Column c) {
            const QString text = columns.cell(row, c);
            return has(c) && row.isQuoted(columns.of[int(c)]) ? CsvFile::FromInert(text) : text;
        };
        Charge charge;
        charge.Line = row.Line;
        bool dated = false;
        const Column dateColumn = columns.dateColumn(row);
        if (dateColumn == Column::DayCount) {
            if (!ParseNumber(cell(Column::DayCount), point, charge.DateTime)) {
                fail(tr("'%1' is not a day count").arg(cell(Column::DayCount)));
                continue;
            }
            dated = true;
        } else if (dateColumn == Column::DateTime) {
            if (!ParseDateTime(cell(Column::DateTime), point, locale, charge.DateTime, order)) {
                fail(tr("'%1' is not a date and time").arg(cell(Column::DateTime)));
                continue;
            }
            dated = true;
        } else if (dateColumn == Column::Date) {
            if (!ParseDateTime(cell(Column::Date), point, locale, charge.DateTime, order)) {
                fail(tr("'%1' is not a date").arg(cell(Column::Date)));
                continue;
            }
            int msecs = 0;
            if (!cell(Column::Time).trimmed().isEmpty()) {
                if (!ParseTime(cell(Column::Time), point, locale, msecs)) {
                    fail(tr("'%1' is not a time of day").arg(cell(Column::Time)));
                    continue;
                }
                QDate date;
                QTime ignored;
                CsvFile::SplitDayCount(charge.DateTime, date, ignored);
                charge.DateTime = CsvFile::JoinDayCount(date, msecs);
            }
            dated = true;
        }
        if (!dated) {
            fail(tr("the row has no date"));
            continue;
        }
        bool numbersOk = true;
        for (const auto &[column, target] :
             {std::pair<Column, double *>{Column::NominalChargeAmps, &charge.NominalChargeAmps},
              {Column::AmpHours, &charge.AmpHours}}) {
            const QString text = cell(column);
            // An empty number reads as 0, as a missing one does in the log file.
            if (!text.trimmed().isEmpty() && !ParseNumber(text, point, *target)) {
                fail(tr("%1 '%2' is not a number").arg(columnCaption(column), text));
                numbersOk = false;
                break;
            }
        }
        if (!numbersOk)
            continue;
        charge.PowerSource = cell(Column::PowerSource);
        charge.Charger = cell(Column::Charger);
        charge.Battery = cell(Column::Battery);
        charge.Termination = cell(Column::Termination);
        charge.Comment = cell(Column::Comment);
        charge.ChargerLogFileName = cell(Column::ChargerLogFileName);
        try {
            TChargeLog::CheckStorable(charge.DateTime, charge.PowerSource, charge.Charger,
                                      charge.Battery, charge.NominalChargeAmps, charge.AmpHours,
                                      charge.Termination, charge.Comment,
                                      charge.ChargerLogFileName);
        } catch (const QorLogError &error) {
            fail(error.message());
            continue;
        }
        const QString key =
            sameness(charge.DateTime, charge.Battery, charge.NominalChargeAmps, charge.AmpHours);
        if (existing.contains(key)) {
            ++plan.Duplicates;
            continue;
        }
        if (inFile.contains(key)) {
            ++plan.Repeated;
            continue;
        }
        inFile.insert(key);
        plan.Charges.append(charge);
    }
    return plan;
}

Plan MakeDetectedPlan(const CsvFile::Document &document, const TChargeLog &log)
{
    const CsvFile::Settings &settings = document.detected();
    const QList<CsvFile::Row> rows = document.rows(settings);
    return MakePlan(rows, settings, guessMapping(rows, settings.HasHeader), log);
}

QVector<TChargeEntry> MakeEntries(TChargeLog &log, const QVector<Charge> &charges)
{
    QVector<TChargeEntry> entries;
    entries.reserve(charges.size());
    const double now = ChargeIdentity::nowUtc();
    for (const Charge &c : charges) {
        TChargeEntry entry;
        entry.Record = log.recordFromNames(c.DateTime, c.PowerSource, c.Charger, c.Battery,
                                           c.NominalChargeAmps, c.AmpHours, c.Termination);
        entry.Record.Key = log.NextKey++;
        entry.Text = TChargeList::JoinChargeText(c.ChargerLogFileName, c.Comment);
        entry.Id = ChargeIdentity::newId(); // a charge of its own, however alike another
        entry.Changed = now;
        entries.append(entry);
    }
    return entries;
}

namespace {

// The log as the file holds it now, with the ids its charges count by.
TChargeLog readForImport(const QString &logPath, TLogFileIdentity &readFrom)
{
    TChargeLog log;
    readFrom = TLogFileIdentity::ofPath(logPath);
    LogFile::LoadChargeLog(logPath, log);
    ChargeIdentity::assignMissing(log);
    return log;
}

} // namespace

Plan ImportIntoLogFile(const QString &csvPath, const QString &logPath,
                       const QString &fallbackBackupParent)
{
    const CsvFile::Document document = CsvFile::Document::fromFile(csvPath);
    // The rows are read against the log as it is, without holding anyone up; should the log
    // change before the lock is had, they are read again against what it holds then, so that
    // two imports of one file add its charges once.
    TLogFileIdentity readFrom;
    TChargeLog log = readForImport(logPath, readFrom);
    Plan plan = MakeDetectedPlan(document, log);
    if (!plan.Errors.isEmpty() || plan.Charges.isEmpty())
        return plan;
    TLogFileGuard guard(logPath, fallbackBackupParent);
    guard.holdLock();
    if (TLogFileIdentity::ofPath(logPath) != readFrom) {
        log = readForImport(logPath, readFrom);
        plan = MakeDetectedPlan(document, log);
        if (!plan.Errors.isEmpty() || plan.Charges.isEmpty())
            return plan;
    }
    guard.adopt(log, true, readFrom);
    TLogMerge change;
    change.Added = MakeEntries(log, plan.Charges);
    log.ChargeStringList.reserve(log.ChargeStringList.count() + int(change.Added.size()));
    LogMerge::ApplyMerge(log, change);
    // Through the guard, as the window saves: the day's backup, and whatever changed after
    // the look above merged rather than written over.
    guard.save(log);
    guard.waitForBackup();
    return plan;
}

QString Summary(const Plan &plan, bool imported)
{
    const int added = imported ? int(plan.Charges.size()) : 0;
    QString text = added == 1 ? tr("Imported 1 charge") : tr("Imported %1 charges").arg(added);
    if (plan.Repeated > 0)
        text += QCoreApplication::translate(
                    "CsvImport", ", skipped %1 already in the log and %n repeated in the file.",
                    nullptr, plan.Repeated)
                    .arg(plan.Duplicates);
    else
        text += plan.Duplicates == 1 ? tr(", skipped 1 already in the log.")
                                     : tr(", skipped %1 already in the log.").arg(plan.Duplicates);
    if (!plan.Errors.isEmpty()) {
        text += QLatin1Char('\n');
        text += plan.Errors.size() == 1 ? tr("1 row could not be read:")
                                        : tr("%1 rows could not be read:").arg(plan.Errors.size());
        for (const RowError &error : plan.Errors)
            text += QLatin1Char('\n') + tr("line %1: %2").arg(error.Line).arg(error.Reason);
    }
    return text;
}

} // namespace CsvImport
