#include "driver/fatal.h"

#include <cstdlib>

void fatal_error(const char* format, ...) {
  err_puts("\n\a処理停止:");
  va_list args;
  va_start(args, format);
  err_vprintf(format, args);
  va_end(args);
  err_puts("\n");
  exit_program(1);
}

char* allocate(size_t n) {
  char* block = static_cast<char*>(malloc(n));
  if (!block) fatal_error("メモリー不足");
  return block;
}
