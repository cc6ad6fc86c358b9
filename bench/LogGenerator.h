#pragma once

#include "ChargeLog.h"

#include <QString>

// Realistic charge logs of any size for measuring the program: about 40 batteries, a handful of
// chargers and power sources, charges and discharges spread over years (some at the same
// moment), comments (some with "*") and some charger log file names. The same count and seed
// always give the same log.
namespace LogGenerator {

constexpr quint32 DefaultSeed = 20240611;

// Names of the batteries the generator uses, in the order it first hands them out.
QStringList batteryNames();

// Adds `count` charges to `log` through the same checks and name look-ups as a charge entered
// by the user.
void generateChargeLog(TChargeLog &log, int count, quint32 seed = DefaultSeed);

// Generates into a fresh log and writes it with the program's own writer. Throws QorLogError.
void writeGeneratedLog(const QString &path, int count, quint32 seed = DefaultSeed);

} // namespace LogGenerator
