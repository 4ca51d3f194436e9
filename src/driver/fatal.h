// The one exit for errors: a framed message on standard error, exit code 1.
#ifndef VOLSURVEY_DRIVER_FATAL_H_
#define VOLSURVEY_DRIVER_FATAL_H_

#include <cstddef>

#include "console/output.h"

// One GNU attribute list rather than [[noreturn]] beside it: cppcheck reads
// the mixed form as a function that may return.
void fatal_error(const char* format, ...) __attribute__((noreturn, format(printf, 1, 2)));

// A heap block of n bytes; when memory runs out the run ends with
// "メモリー不足" instead.
char* allocate(size_t n);

#endif  // VOLSURVEY_DRIVER_FATAL_H_
