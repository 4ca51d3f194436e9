// The option state of the run: set at start-up, read by the reports.
#ifndef VOLSURVEY_DRIVER_SETTINGS_H_
#define VOLSURVEY_DRIVER_SETTINGS_H_

#include <cstddef>
#include <cstdint>

#include "report/record.h"

// The levels of one drive, set apart from the plain ones.  `root` is kept
// as a drive root ("D:\", "C:\Data\", "\\srv\logs\"); a measure not
// given takes the plain levels, one given with none set has none.
const size_t kDriveLevelRootSize = 260;
struct DriveLevels {
  char root[kDriveLevelRootSize] = {};
  bool used_given = false;
  Levels used;
  bool free_given = false;
  Levels free;
  bool days_given = false;
  Levels days;
};

// The drives' own levels: so many, and no more, every letter and a
// machine's folders.  Kept in place, so that they need no heap, and apart
// from the settings, whose other defaults are not all zero: as a table of
// zeros it takes no room in the program file.
const size_t kDriveLevelsMost = 64;
struct OwnLevels {
  DriveLevels drives[kDriveLevelsMost];
  size_t count = 0;
};

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
  Levels used_levels;               // /u: the share in use that marks a drive
  Levels free_levels;               // /f: the free bytes below which it is marked
  int local_only = 0;               // /d: the whole machine's local disks alone
  int plugin_output = 0;            // /m: the answer of a monitoring check
  Levels days_levels;               // /e: the days left before a drive is full
  // /r: the record of runs, and the argument it was named in (for the name
  // the system spells); null for none.
  const char* record_file = nullptr;
  const char* record_source = nullptr;
};

extern Settings settings;
extern OwnLevels own_levels;  // /uROOT=, /fROOT=

#endif  // VOLSURVEY_DRIVER_SETTINGS_H_
