// The record of runs (/r): each run appends one line of figures for each
// drive to a CSV file an admin can open, and each drive's forecast comes
// from its series there, the last week of it.
#ifndef VOLSURVEY_REPORT_HISTORY_H_
#define VOLSURVEY_REPORT_HISTORY_H_

#include "report/record.h"

// Opens the record that settings name and reads the last days of it: the
// run's lines are appended at its end.  A record that cannot be opened is
// told on standard error: false, and the run goes on as without one.
bool history_start();

// The forecast of a drive with figures, from its series (its name and
// serial) in the record and these figures, which are kept for the end.
Forecast history_take(const DriveRecord& record);

// Appends the run's lines and closes the record; false, told on standard
// error, when they could not all be written.
bool history_finish();

#endif  // VOLSURVEY_REPORT_HISTORY_H_
