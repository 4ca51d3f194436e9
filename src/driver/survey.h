// The one way the run's drives are asked and reported, whatever the output
// form: each drive asked within its own time, side by side where the form
// allows, each record handed in the run's order to the form's printer, and
// the exit code worked out from the records.
#ifndef VOLSURVEY_DRIVER_SURVEY_H_
#define VOLSURVEY_DRIVER_SURVEY_H_

#include "driver/drive_list.h"
#include "report/printer.h"

// Asks and reports the drives of `list` through `printer`; returns the exit
// code: 1 when any drive could not be reported (or the machine's folders
// listed), else 2 when any passed a threshold, else 0.
int survey_drives(DriveList* list, const Printer& printer);

#endif  // VOLSURVEY_DRIVER_SURVEY_H_
