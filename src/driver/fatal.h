// The ways out of the process: the one exit that every ending passes, and
// the error exit with its framed message on standard error.
#ifndef VOLSURVEY_DRIVER_FATAL_H_
#define VOLSURVEY_DRIVER_FATAL_H_

#include <cstddef>

#include "console/output.h"

// What must be done however the run ends (the record of runs appended),
// before the exit below; null for nothing.
void at_program_exit(void (*last_words)());

// Ends the process with `code`, once standard output has been pushed out.
// A report that did not reach standard output is no success: the run then
// ends with exit code 1 and says so.
[[noreturn]] void exit_program(int code);

// One GNU attribute list rather than [[noreturn]] beside it: cppcheck reads
// the mixed form as a function that may return.
void fatal_error(const char* format, ...) __attribute__((noreturn, format(printf, 1, 2)));

// What the answer of a monitoring check says of the fault that ends the
// run, in ASCII ("error" unless said); given just before fatal_error.
// With /m the run then ends with exit code 3, the monitoring systems'
// UNKNOWN, and, where standard output can still be written, the line
// "VOLSURVEY UNKNOWN - " and these words.
void fault_words(const char* ascii);

// Tells on standard error why one drive's report stops short, in a frame
// that does not say the run stopped: the run goes on with the next drive.
void drive_error(const char* message);

// A heap block of n bytes; when memory runs out the run ends with
// "メモリー不足" instead.
char* allocate(size_t n);

// A heap array of n elements, as allocate gives it.
template <typename T>
T* allocate_array(size_t n) {
  // Arrays of pointers are meant too.
  return static_cast<T*>(static_cast<void*>(allocate(n * sizeof(T))));  // NOLINT(bugprone-sizeof-expression)
}

#ifdef VOLSURVEY_FUZZ
// The fuzzing harness runs the program many times in one process, so there
// the exit is thrown to it instead.
struct ProgramExit {
  int code;
};
#endif

#endif  // VOLSURVEY_DRIVER_FATAL_H_
