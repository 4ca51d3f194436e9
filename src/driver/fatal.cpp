#include "driver/fatal.h"

#include <cstdarg>
#include <cstdlib>

#include "driver/settings.h"
#include "platform/platform.h"

namespace {

void stop_message(const char* format, va_list args) {
  err_puts("\n\a処理停止:");
  err_vprintf(format, args);
  err_puts("\n");
}

void stop_messagef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void stop_messagef(const char* format, ...) {
  va_list args;
  va_start(args, format);
  stop_message(format, args);
  va_end(args);
}

}  // namespace

namespace {

const char* g_fault_words = nullptr;
void (*g_last_words)() = nullptr;

}  // namespace

void at_program_exit(void (*last_words)()) { g_last_words = last_words; }

void exit_program(int code) {
  if (g_last_words) {
    void (*last_words)() = g_last_words;
    g_last_words = nullptr;
    last_words();
  }
  // Whatever else ends the run, output that was lost is told once, here,
  // after the last byte has had its chance.
  OutputFate fate = out_finish();
  if (fate.out_of_memory) stop_messagef("メモリー不足");
  if (fate.lost_bytes) stop_messagef("標準出力に書き込めません。");
  if (fate.out_of_memory || fate.lost_bytes) code = settings.plugin_output ? 3 : 1;
  err_finish();
#ifdef VOLSURVEY_FUZZ
  throw ProgramExit{code};
#else
  exit(code);
#endif
}

void fault_words(const char* ascii) { g_fault_words = ascii; }

void fatal_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  stop_message(format, args);
  va_end(args);
  if (!settings.plugin_output) exit_program(1);
  // As every answer of a check: UTF-8, a line feed alone.
  plat_plugin_output();
  out_puts("VOLSURVEY UNKNOWN - ");
  out_puts(g_fault_words ? g_fault_words : "error");
  out_puts("\n");
  g_fault_words = nullptr;
  exit_program(3);
}

void drive_error(const char* message) {
  err_puts("\n\a");
  err_puts(message);
  err_puts("\n");
}

char* allocate(size_t n) {
  char* block = static_cast<char*>(malloc(n));
  if (!block) {
    fault_words("out of memory");
    fatal_error("メモリー不足");
  }
  return block;
}
