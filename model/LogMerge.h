#pragma once

#include "ChargeLog.h"

#include <QVector>

// A change of the log in memory as whole entries: the entries that go (with their keys) and the
// entries that come (names resolved to positions in the memory's name lists, keys taken from its
// NextKey). It is what an undo step records and what ApplyMerge carries out.
struct TLogMerge
{
    QVector<TChargeEntry> Removed;
    QVector<TChargeEntry> Added;
    bool isEmpty() const { return Removed.isEmpty() && Added.isEmpty(); }
};

namespace LogMerge {

// Brings what another program did to the file into `memory`. `base` is what the file held when
// QorLog last read or wrote it, `disk` what it holds now. Two records are the same when all
// nine fields are equal (the four names without regard to letter case, as the name lists
// compare them). Records that the file gained since the base come into memory, records it lost
// leave memory, as far as QorLog has not done the same meanwhile: a record QorLog edited or
// deleted is no longer in memory to be removed, and a change made on both sides counts once.
// An edit on both sides therefore keeps both versions. New names are appended to memory's
// lists and keys are taken from memory.NextKey; the charge list itself and the colours are
// left alone.
TLogMerge MergeOutsideChange(const TChargeLog &base, const TChargeLog &disk, TChargeLog &memory);

// The change that makes the charges of `memory` those of `source` (a backup being restored):
// records in both stay with their keys.
TLogMerge ReplaceBy(const TChargeLog &source, TChargeLog &memory);

// Carries a merge out directly: removes the removed entries by key, appends the added ones.
void ApplyMerge(TChargeLog &memory, const TLogMerge &merge);

} // namespace LogMerge
