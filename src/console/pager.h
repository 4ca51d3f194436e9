// The report pager: counts the screen lines of the reports.
#ifndef VOLSURVEY_CONSOLE_PAGER_H_
#define VOLSURVEY_CONSOLE_PAGER_H_

#include "console/output.h"

// The prompt shown when a console window is full.
extern const char kPausePrompt[];

struct ReportPager {
  int page_rows = 24;   // screen lines per page; 0 or less: paging off
  int line_count = 0;   // screen lines since the last prompt
  int quit_code = 1;    // exit code for a quit answer
};

extern ReportPager report_pager;

int report_pager_start(int enabled, int quit_code);
void report_pager_count(int bytes, const char* prompt);

// Prints one line, or the closing piece of one, and counts it.
int report_printf(const char* format, ...) VOLSURVEY_PRINTF(1, 2);

#endif  // VOLSURVEY_CONSOLE_PAGER_H_
