#include "console/pager.h"

#include "console/pause.h"
#include "driver/fatal.h"
#include "platform/platform.h"

const char kPausePrompt[] = "(Continue,/All/Quit)";

ReportPager report_pager;
HelpPager help_pager;

namespace {

// True when standard output is a console; *height is its window's height.
bool console_window(int* height) {
  int32_t rows = 0, top = 0, bottom = 0;
  if (!plat_console_screen_info(&rows, &top, &bottom) || rows <= 0) return false;
  *height = bottom - top + 1;
  return true;
}

}  // namespace

int page_rows_for(int height) { return height - 2; }

int screen_lines(int bytes) { return bytes / 80 + (bytes % 80 != 0); }

int report_pager_start(int enabled, int quit_code) {
  report_timer.pace(PaceTimer::kMarkNow);
  report_pager.quit_code = quit_code;
  int height = 0;
  if (!enabled || !console_window(&height)) {
    report_pager.page_rows = 0;
    return 0;
  }
  report_pager.page_rows = page_rows_for(height);
  return height;
}

void report_pager_count(int bytes, const char* prompt) {
  if (report_pager.page_rows < 1) return;
  report_pager.line_count += screen_lines(bytes);
  if (report_pager.line_count <= report_pager.page_rows) return;
  // The line that filled the page is on the screen already; the new page
  // starts empty.
  report_pager.line_count = 0;
  switch (classify_key(pause_prompt(report_timer, prompt))) {
    case KeyClass::kQuit: exit_program(report_pager.quit_code);
    case KeyClass::kAll: report_pager.page_rows = 0; break;
    case KeyClass::kContinue: break;
  }
}

int report_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = out_vprintf(format, args);
  va_end(args);
  report_pager_count(n, kPausePrompt);
  return n;
}

int help_pager_start(int quit_code) {
  help_timer.pace(PaceTimer::kMarkNow);
  help_pager.quit_code = quit_code;
  int height = 0;
  help_pager.active = console_window(&height) ? 1 : 0;
  return help_pager.active ? height : 0;
}

void help_pager_pause(const char* prompt) {
  if (!help_pager.active) return;
  switch (classify_key(pause_prompt(help_timer, prompt))) {
    case KeyClass::kQuit: exit_program(help_pager.quit_code);
    case KeyClass::kAll: help_pager.active = 0; break;
    case KeyClass::kContinue: break;
  }
}
