// Formatted output to the standard streams.  Output keeps a record of what
// could not be delivered and leaves it to the caller what to do about it.
#ifndef VOLSURVEY_CONSOLE_OUTPUT_H_
#define VOLSURVEY_CONSOLE_OUTPUT_H_

#include <cstdarg>
#include <cstddef>

#define VOLSURVEY_PRINTF(f, a) __attribute__((format(printf, f, a)))

// Writes to standard output; returns the number of bytes of the text, which
// the pager counts whether or not they could be delivered.
int out_write(const char* bytes, size_t n);
int out_puts(const char* text);
int out_printf(const char* format, ...) VOLSURVEY_PRINTF(1, 2);
int out_vprintf(const char* format, va_list args);

// Writes to standard error, after whatever standard output still holds, so
// that reports and messages sharing one file or screen keep their order.
void err_puts(const char* text);
void err_vprintf(const char* format, va_list args);

// What became of standard output since the start (or the last call).
struct OutputFate {
  bool lost_bytes;     // a write or the final flush failed: a full disk, a
                       // closed pipe, a device error
  bool out_of_memory;  // a long text could not be formatted
};

// Pushes out what standard output holds, so that it reaches its reader
// before the run waits; a failure counts as lost bytes.
void out_flush();

// Pushes out everything written so far, standard output first, and returns
// standard output's fate, starting a fresh record.
OutputFate out_finish();

// Pushes out whatever standard error still holds.
void err_finish();

#endif  // VOLSURVEY_CONSOLE_OUTPUT_H_
