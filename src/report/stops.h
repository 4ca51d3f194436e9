// Why a drive's report stops short, told in words: as the Shift-JIS
// message of the text report, and for scripts as a stable English code and
// the same message in UTF-16.
#ifndef VOLSURVEY_REPORT_STOPS_H_
#define VOLSURVEY_REPORT_STOPS_H_

#include <cstddef>

#include "report/record.h"

// The words of a stop, around the drive's name.  `after` may hold "%u",
// the drive's time limit in seconds.
struct StopWords {
  const char* code;
  const char* before;
  const char* after;
  const char16_t* wide_before;
  const char16_t* wide_after;
};

// Why a drive's report stops short; kNoMedium is the words of a named
// drive without its medium, which is unreadable to whoever named it.  Null
// for kNone.
const StopWords* stop_words(Stop stop);

// The words of why `record`'s report stops short, or null when it does
// not: a drive without its medium is a state where the whole machine is
// surveyed, and unreadable to whoever named it.
const StopWords* drive_stop_words(const DriveRecord& record, bool whole_machine);

// The Shift-JIS message of `words` for the drive named by the first
// `name_length` bytes of `name`, as a new heap text.
char* stop_message(const StopWords& words, const char* name, size_t name_length);

// The length of the name of a drive root: all but its final backslash.
size_t root_name_length(const char* root);

// The drive's name as the reports show it, `*length` bytes of Shift-JIS:
// its root without the final backslash, or, where its root never became
// known, what it was named by as typed.
const char* drive_name(const DriveRecord& record, size_t* length);

// The same name as the system spells it, `*length` units of UTF-16.
const char16_t* drive_wide_name(const DriveRecord& record, size_t* length);

// The same again in UTF-8, `*length` bytes in a new heap block, as the
// record of runs and the monitoring answer give it.
char* drive_utf8_name(const DriveRecord& record, size_t* length);

#endif  // VOLSURVEY_REPORT_STOPS_H_
