#pragma once

#include <QCoreApplication>
#include <QString>

class TChargeLog;

// What the filter marks hide, in words: the main window's status bar shows it while any mark
// is set, and the purge question at close says how many charges would go.
class FilterStatus
{
    Q_DECLARE_TR_FUNCTIONS(FilterStatus)

public:
    // "Filter: 3 batteries, 1 charger hidden (27 charges)", or an empty text without marks.
    static QString text(const TChargeLog &log, int hiddenCharges);
    // "27 charges would be deleted."
    static QString purgeCount(int hiddenCharges);
    // "1 charge", "27 charges" (grouped digits).
    static QString charges(int count);
};
