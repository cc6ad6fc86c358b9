// A helper process for the kill and write-failure tests. It works on one log file the way the
// program does: loads it, stores a charge, writes the whole log.
//
//   qorlog_saveloop loop PATH      stores and saves one charge after another, forever; after
//                                  each save it prints the number of charges the file holds
//   qorlog_saveloop add PATH N     stores N charges, saves once, prints the count
//   qorlog_saveloop guard PATH N TAG
//                                  stores N charges one at a time, each saved through the log
//                                  file guard as the program saves (lock, merge, write), so
//                                  that several of these on one file must keep every charge;
//                                  the comments are "TAG charge i"; prints the count at the end
//   qorlog_saveloop hold LOCK MS REFRESH
//                                  takes the save lock LOCK as a save does, says "held", keeps
//                                  it MS milliseconds (refreshing it every REFRESH), lets go
//
// Charge number n carries the comment "charge n" and a date-time that grows with n, so the
// file read back shows whether it holds exactly the first n charges in order. A failure is
// printed on stderr and ends the process with exit code 1.

#include "ChargeLog.h"
#include "LogFile.h"
#include "LogFileGuard.h"
#include "SaveLock.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <cstdio>

namespace {

void storeCharge(TChargeLog &log)
{
    const int n = log.ChargeStringList.count() + 1;
    log.StoreChargeRecord(-1, 40000.0 + n / 1000.0, QStringLiteral("Mains"),
                          QStringLiteral("Charger %1").arg(n % 5),
                          QStringLiteral("Pack %1").arg(n % 7), 0.5 + n % 3, 1.25 * (n % 11),
                          QStringLiteral("Normal"), QStringLiteral("charge %1").arg(n),
                          QStringLiteral("/logs/charge-%1.csv").arg(n));
}

void report(int count)
{
    std::printf("%d\n", count);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool loop = args.size() == 3 && args.at(1) == QLatin1String("loop");
    const bool add = args.size() == 4 && args.at(1) == QLatin1String("add");
    const bool guarded = args.size() == 5 && args.at(1) == QLatin1String("guard");
    const bool hold = args.size() == 5 && args.at(1) == QLatin1String("hold");
    if (!loop && !add && !guarded && !hold) {
        std::fprintf(stderr, "usage: qorlog_saveloop loop PATH | add PATH N | guard PATH N TAG | "
                             "hold LOCK MS REFRESH\n");
        return 2;
    }
    const QString path = args.at(2);
    if (hold) {
        TSaveLock::setRefreshInterval(args.at(4).toInt());
        TSaveLock lock(path);
        if (lock.tryLock() != TSaveLock::Result::Locked)
            return 1;
        report(1);
        QThread::msleep(args.at(3).toULong());
        return 0;
    }
    try {
        TChargeLog log;
        // As the program does: the file's identity before it is read, so that a save of another
        // process between the read and the guard's start is merged, not written over.
        const TLogFileIdentity readFrom = TLogFileIdentity::ofPath(path);
        LogFile::LoadChargeLog(path, log);
        if (guarded) {
            TLogFileGuard guard(path, QString());
            guard.adopt(log, true, readFrom);
            const int n = args.at(3).toInt();
            for (int i = 1; i <= n; ++i) {
                log.StoreChargeRecord(
                    -1, 40000.0 + i / 1000.0, QStringLiteral("Mains"),
                    QStringLiteral("Charger %1").arg(i % 5), QStringLiteral("Pack %1").arg(i % 7),
                    0.5, 1.25, QStringLiteral("Normal"),
                    QStringLiteral("%1 charge %2").arg(args.at(4)).arg(i), QString());
                guard.save(log);
            }
            report(log.ChargeStringList.count());
            return 0;
        }
        if (loop) {
            for (;;) {
                storeCharge(log);
                LogFile::SaveChargeLog(path, log);
                report(log.ChargeStringList.count());
            }
        }
        for (int i = args.at(3).toInt(); i > 0; --i)
            storeCharge(log);
        LogFile::SaveChargeLog(path, log);
        report(log.ChargeStringList.count());
    } catch (const QorLogError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
