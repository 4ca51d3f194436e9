// Whether a drive counts as full by the thresholds of /u and /f, and the
// used share as the one-line list shows it.
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

// Whether /u or /f is set.
bool threshold_set();

// Whether the drive passes a threshold that is set: its used share at /u
// percent or more, or less free space than /f.  Only a drive whose
// figures are in can pass one, and never a CD-ROM drive, whose medium is
// full by nature.
bool over_threshold(const DriveRecord& record);

#endif  // VOLSURVEY_REPORT_THRESHOLD_H_
