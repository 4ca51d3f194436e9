// Drive arguments turned into drive roots, and the report of one drive.
#ifndef VOLSURVEY_DRIVER_DRIVES_H_
#define VOLSURVEY_DRIVER_DRIVES_H_

// A heap root for a drive argument: "X:\" from its first byte, or
// "\\server\share\" for a share argument, whatever path follows.  Null when
// the argument names no drive (empty, or a share without server or share
// part).  Ends the process when memory runs out.
char* make_drive_root(const char* argument);

// Prints the reports that settings ask for, for one root.
void report_drive(const char* root);

// The drive loop: reports every drive argument of argv in order, parted by
// empty lines.
void report_drive_arguments(int argc, char** argv);

// Reports the drive of the current directory.
void report_current_drive();

#endif  // VOLSURVEY_DRIVER_DRIVES_H_
