// The one exit for errors: a framed message on standard error, exit code 1.
#ifndef VOLSURVEY_DRIVER_FATAL_H_
#define VOLSURVEY_DRIVER_FATAL_H_

#include "console/output.h"

// One GNU attribute list rather than [[noreturn]] beside it: cppcheck reads
// the mixed form as a function that may return.
void fatal_error(const char* format, ...) __attribute__((noreturn, format(printf, 1, 2)));

#endif  // VOLSURVEY_DRIVER_FATAL_H_
