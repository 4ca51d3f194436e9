#include "console/pager.h"

const char kPausePrompt[] = "(Continue,/All/Quit)";

ReportPager report_pager;

int report_pager_start(int enabled, int quit_code) {
  report_pager.quit_code = quit_code;
  (void)enabled;
  report_pager.page_rows = 0;
  return 0;
}

void report_pager_count(int bytes, const char* prompt) {
  (void)prompt;
  if (report_pager.page_rows < 1) return;
  report_pager.line_count += bytes / 80 + (bytes % 80 != 0);
}

int report_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = out_vprintf(format, args);
  va_end(args);
  report_pager_count(n, kPausePrompt);
  return n;
}
