#pragma once

#include <QByteArray>
#include <QUuid>

class TChargeLog;
struct TChargeEntry;

// What makes a charge the same charge in every copy of the log: its id, a random 128-bit value
// given once when it enters the log, and the time of its last add or edit (UTC, as a day count
// like DateTime), which decides between two edits of it.
namespace ChargeIdentity {

QUuid newId();
// Now, in UTC days since 1899-12-30.
double nowUtc();

// The nine fields as bytes that are the same for the same charge in any log (names without
// regard to letter case, as the name lists compare them; 0 and -0 alike).
QByteArray fieldsKey(const TChargeLog &log, const TChargeEntry &entry);
// The id a charge without one gets from its fields and its place among the charges with the
// same fields (0 for the first): every QorLog reading the same file gives the same ids, so
// two desktops that take up one older log agree on its charges.
QUuid derivedId(const QByteArray &fieldsKey, int occurrence);

// Gives every charge of `log` without an id (or with one another charge before it holds) its
// derived id, with 0 as its last change (not known), and takes the ids of charges it holds
// out of its deletions. Returns how many charges got an id.
int assignMissing(TChargeLog &log);

} // namespace ChargeIdentity
