#include "ChargerLogParts.h"

#include <QCoreApplication>

#include <algorithm>

namespace ChargerLog::Parts {

namespace {

// The roles that can be told from the values alone: a rising first column is the time, in
// Unix seconds when it lies in this century. The others are left to the caller (Ignore).
QVector<ColumnRole> guessRoles(const QVector<QVector<double>> &values)
{
    QVector<ColumnRole> roles(values.size(), ColumnRole::Ignore);
    if (values.isEmpty() || values[0].size() < 2)
        return roles;
    const QVector<double> &t = values[0];
    int rising = 0;
    for (qsizetype i = 1; i < t.size(); ++i)
        rising += t[i] >= t[i - 1];
    if (rising * 10 >= (t.size() - 1) * 9 && *std::max_element(t.begin(), t.end()) > t.first()) {
        const bool unix = t.first() > 946684800 && t.first() < 4102444800.0;
        roles[0] = unix ? ColumnRole::UnixTime : ColumnRole::Seconds;
    }
    return roles;
}

} // namespace

void readUntitled(TChargerLog &log, const QByteArray &bytes, const QVector<ColumnRole> &chosen)
{
    LineScanner lines(bytes.constBegin(), bytes.constEnd());
    Line first;
    do {
        lines.next(first);
    } while (first.isBlank());
    const char separator = separatorOf(first.begin, first.end);
    if (separator == 0) {
        log.error = QCoreApplication::translate("ChargerLog", "%1, line %2: only one column")
                        .arg(displayName(log.fileName))
                        .arg(first.number);
        return;
    }
    QVector<QPair<const char *, const char *>> fields;
    const int count = split(first.begin, first.end, separator, fields);

    // First every column as an extra, to guess from the values.
    QVector<Column> columns(count);
    for (int c = 0; c < count; ++c) {
        columns[c].kind = Kind::Extra;
        columns[c].title = QCoreApplication::translate("ChargerLog", "Column %1").arg(c + 1);
    }
    const auto probe = [&](QVector<Column> &cols) {
        LineScanner again(bytes.constBegin(), bytes.constEnd());
        log.seconds.clear();
        log.badLines.clear();
        log.badLineCount = 0;
        readRows(log, again, separator, cols);
    };
    probe(columns);
    QVector<QVector<double>> values;
    for (const Column &c : columns)
        values.append(c.values);
    QVector<ColumnRole> roles = guessRoles(values);
    values.clear(); // only the roles are needed from the first reading
    for (Column &c : columns)
        c.values = {};
    for (int c = 0; c < count && c < chosen.size(); ++c)
        roles[c] = chosen[c];
    log.columnRoles = roles;
    log.rolesNeeded =
        std::any_of(roles.begin() + std::min<qsizetype>(chosen.size(), count), roles.end(),
                    [](ColumnRole r) { return r == ColumnRole::Ignore; });
    QVector<Column> typed(count);
    for (int c = 0; c < count; ++c) {
        typed[c] = columnForRole(roles[c]);
        typed[c].title = columns[c].title;
    }
    probe(typed);
    takeColumns(log, typed);
}

} // namespace ChargerLog::Parts
