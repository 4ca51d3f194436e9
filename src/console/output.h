// Formatted output to the standard streams and the single way out of the
// process, so that every byte and every exit passes one place.
#ifndef VOLSURVEY_CONSOLE_OUTPUT_H_
#define VOLSURVEY_CONSOLE_OUTPUT_H_

#include <cstdarg>
#include <cstddef>

#define VOLSURVEY_PRINTF(f, a) __attribute__((format(printf, f, a)))

// Writes to standard output; returns the number of bytes written.
int out_write(const char* bytes, size_t n);
int out_puts(const char* text);
int out_printf(const char* format, ...) VOLSURVEY_PRINTF(1, 2);
int out_vprintf(const char* format, va_list args);

// Writes to standard error.
void err_puts(const char* text);
void err_vprintf(const char* format, va_list args);

// Flushes both streams and ends the process with `code`.
[[noreturn]] void exit_program(int code);

#ifdef VOLSURVEY_FUZZ
// The fuzzing harness runs the program many times in one process, so there
// the exit is thrown to it instead.
struct ProgramExit {
  int code;
};
#endif

#endif  // VOLSURVEY_CONSOLE_OUTPUT_H_
