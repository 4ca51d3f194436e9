#include "driver/fatal.h"

void fatal_error(const char* format, ...) {
  err_puts("\n\a処理停止:");
  va_list args;
  va_start(args, format);
  err_vprintf(format, args);
  va_end(args);
  err_puts("\n");
  exit_program(1);
}
