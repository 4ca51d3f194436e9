// Drive arguments turned into drive roots, and the report of one drive.
#ifndef VOLSURVEY_DRIVER_DRIVES_H_
#define VOLSURVEY_DRIVER_DRIVES_H_

#include "report/record.h"

// A heap root for a drive argument: "X:\" from its first byte, or
// "\\server\share\" for a share argument, whatever path follows.  Null when
// the argument names no drive (empty, or a share without server or share
// part).  Ends the process when memory runs out.
char* make_drive_root(const char* argument);

// Prints the reports that settings ask for, from what the drive answered,
// as far as its answers go.
void report_drive(const DriveRecord& record);

// The drive loop: reports every drive argument of argv in order, parted by
// empty lines.
void report_drive_arguments(int argc, char** argv);

// Reports the drive of the current directory.
void report_current_drive();

// Reports every drive the system has, in letter order, all of them asked
// at once.  A drive that cannot be reported is told and the run goes on;
// returns the exit code, 1 when any drive could not be reported.
int report_all_drives();

#endif  // VOLSURVEY_DRIVER_DRIVES_H_
