#include "console/output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

OutputFate g_fate = {false, false};

void emit(Stream stream, const char* bytes, size_t n) {
  if (stream == Stream::kErr) {
    if (!plat_flush(Stream::kOut)) g_fate.lost_bytes = true;
    // Nothing is left to tell when standard error itself fails.
    plat_write(Stream::kErr, bytes, n);
  } else if (!plat_write(Stream::kOut, bytes, n)) {
    g_fate.lost_bytes = true;
  }
}

// Formats into a stack buffer when the text is short, as almost every line
// is, and into the heap otherwise: a configuration line or a share argument
// can be many kilobytes long.  Returns the bytes written, -1 when the heap
// buffer could not be had.
int format_to(Stream stream, const char* format, va_list args) {
  char small[1024];
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return 0;
  if (static_cast<size_t>(n) < sizeof small) {
    emit(stream, small, static_cast<size_t>(n));
    return n;
  }
  char* big = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
  if (!big) return -1;
  vsnprintf(big, static_cast<size_t>(n) + 1, format, args);
  emit(stream, big, static_cast<size_t>(n));
  free(big);
  return n;
}

}  // namespace

int out_write(const char* bytes, size_t n) {
  emit(Stream::kOut, bytes, n);
  return static_cast<int>(n);
}

int out_puts(const char* text) { return out_write(text, strlen(text)); }

int out_vprintf(const char* format, va_list args) {
  int n = format_to(Stream::kOut, format, args);
  if (n >= 0) return n;
  g_fate.out_of_memory = true;
  return 0;
}

int out_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = out_vprintf(format, args);
  va_end(args);
  return n;
}

void err_puts(const char* text) { emit(Stream::kErr, text, strlen(text)); }

void err_vprintf(const char* format, va_list args) {
  if (format_to(Stream::kErr, format, args) < 0) err_puts("メモリー不足");
}

void out_flush() {
  if (!plat_flush(Stream::kOut)) g_fate.lost_bytes = true;
}

OutputFate out_finish() {
  if (!plat_flush(Stream::kOut)) g_fate.lost_bytes = true;
  OutputFate fate = g_fate;
  g_fate = OutputFate{false, false};
  return fate;
}

void err_finish() { plat_flush(Stream::kErr); }
