// How a drive stands against its levels of /u and /f (a warning and a
// critical level each, the plain ones or the drive's own), and the used
// share as the one-line list shows it.
#ifndef VOLSURVEY_REPORT_THRESHOLD_H_
#define VOLSURVEY_REPORT_THRESHOLD_H_

#include <cstdint>

#include "report/record.h"

// True when `part` is at least `numerator`/`denominator` of `whole`,
// counted exactly however large the byte counts.
bool share_at_least(uint64_t part, uint64_t whole, uint32_t numerator, uint32_t denominator);

// The used share of a drive's figures in whole percent, rounded up as df
// rounds it, so that a drive with a byte in use never shows 0 % and only a
// full one shows 100 %; -1 for a drive of no capacity.
int used_percent(const SizeFigures& f);

// The bytes in use: the total capacity less the free.
uint64_t used_bytes(const SizeFigures& f);

// Whether any level is set, plain or a drive's own: the size figures are
// then asked whatever the reports shown.
bool levels_set();

// Whether two drive roots are the same, ASCII letters compared without
// case, as Windows compares paths (the second byte of a double-byte
// character as it is).
bool same_root(const char* a, const char* b);

// The drive's levels (its own where it has them, else the plain ones) and
// where its figures stand: past a critical level when its used share is at
// the level's percent or more, or its free space below the level's bytes;
// past a warning level likewise.  Only a drive whose figures are in is
// judged, and a CD-ROM drive, whose medium is full by nature, is never
// past a level.
Judgement judge_drive(const DriveRecord& record);

// Whether the drive is past a level, as judged.
bool over_threshold(const DriveRecord& record);

// The least number of used bytes at or past `percent` of `total`.
uint64_t used_bytes_at(uint64_t total, uint64_t percent);

#endif  // VOLSURVEY_REPORT_THRESHOLD_H_
