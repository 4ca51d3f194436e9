// The two pagers: the report pager counts screen lines and stops when the
// window is full; the help pager stops where the help asks it to.
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

struct HelpPager {
  int active = 1;       // pausing at the help's fixed points
  int quit_code = 1;
};

extern ReportPager report_pager;
extern HelpPager help_pager;

// Starts the report pager; returns the window height, 0 when paging is off.
int report_pager_start(int enabled, int quit_code);

// Counts `bytes` just printed as 80-byte screen lines and pauses when the
// page is full.
void report_pager_count(int bytes, const char* prompt);

// Prints one line, or the closing piece of one, and counts it.
int report_printf(const char* format, ...) VOLSURVEY_PRINTF(1, 2);

// Starts the help pager; returns the window height, 0 when there is no
// console to pause on.
int help_pager_start(int quit_code);

// One of the help's fixed stops.
void help_pager_pause(const char* prompt);

// Screen lines per page for a console window of `window_height` rows: the
// prompt and the line it follows must fit.
int page_rows_for(int window_height);

// Screen lines that `bytes` of output fill, at 80 bytes a line.
int screen_lines(int bytes);

#endif  // VOLSURVEY_CONSOLE_PAGER_H_
