// The option state of the run: set at start-up, read by the reports.
#ifndef VOLSURVEY_DRIVER_SETTINGS_H_
#define VOLSURVEY_DRIVER_SETTINGS_H_

#include <cstdint>

struct Settings {
  unsigned char switch_char = '/';  // alternative switch character
  int pause_mode = 1;               // report pager on
  int show_volume = 1;
  int show_size = 1;
  int wide_mode = 0;                // compact display
  int all_drives = 0;               // every drive of the system when none is named
  int json_output = 0;              // one JSON document instead of the reports
  uint32_t time_limit = 30;         // seconds a drive may take to answer; 0: no limit
  int list_mode = 0;                // one line per drive instead of the reports
  uint32_t used_limit = 0;          // percent used that marks a drive; 0: none
  uint64_t free_limit = 0;          // free bytes below which a drive is marked
  bool free_limit_set = false;      // whether free_limit counts (0 marks nothing)
};

extern Settings settings;

#endif  // VOLSURVEY_DRIVER_SETTINGS_H_
