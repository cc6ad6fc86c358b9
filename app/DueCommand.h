#pragma once

class TChargeLog;

// --due: one line "BATTERY: WHAT" on standard output for each thing a battery of `log` needs
// as of `now` (a date-time as in a charge), nothing for a battery with nothing due. Returns the
// exit status, 0.
int runDueCommand(TChargeLog log, double now);
