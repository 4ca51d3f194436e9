// An output form of the drives: what it prints before the first drive,
// with each drive's record in the run's order, and after the last.  One
// survey asks the drives and hands each record to the run's printer.
#ifndef VOLSURVEY_REPORT_PRINTER_H_
#define VOLSURVEY_REPORT_PRINTER_H_

#include <cstddef>

#include "report/record.h"

struct SurveyRun {
  bool whole_machine;     // every drive the system has, none named
  bool folders_unlisted;  // the machine's mount folders could not all be listed
  bool forecasts;         // a record of runs (/r) was read: the forecasts are shown
  bool record_failed;     // the record of runs could not be read or written
};

struct Printer {
  // Named drives are asked one after another, each once the one before it
  // is printed, so that a form that ends the run at a drive that cannot be
  // reported asks nothing more.  Otherwise every drive is asked at once.
  bool named_in_turn;
  // A removable or CD-ROM drive without its medium, named, is a drive that
  // cannot be reported (the reports, the document), or one more state of a
  // drive, as over the whole machine (the list).
  bool empty_named_fails;
  void (*begin)(const SurveyRun& run);
  void (*take)(const DriveRecord& record, const SurveyRun& run);
  void (*end)(const SurveyRun& run);
};

// The drives of a run kept until its end, for a form that tells them all
// at once (the document, the monitoring answer).
struct HeldDrives {
  DriveRecord* records = nullptr;
  size_t count = 0;
  size_t capacity = 0;
};

// Keeps a copy of `record`; ends the run when memory runs out.
void hold_drive(HeldDrives* held, const DriveRecord& record);

// Lets go of every drive held.
void release_drives(HeldDrives* held);

#endif  // VOLSURVEY_REPORT_PRINTER_H_
