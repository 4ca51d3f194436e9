// The one exit for errors: a framed message on standard error, exit code 1.
#ifndef VOLSURVEY_DRIVER_FATAL_H_
#define VOLSURVEY_DRIVER_FATAL_H_

#include "console/output.h"

[[noreturn]] void fatal_error(const char* format, ...) VOLSURVEY_PRINTF(1, 2);

#endif  // VOLSURVEY_DRIVER_FATAL_H_
