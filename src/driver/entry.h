// The command: start-up in its fixed order, then the drive reports.
#ifndef VOLSURVEY_DRIVER_ENTRY_H_
#define VOLSURVEY_DRIVER_ENTRY_H_

// Returns the exit code of a run that reported every drive (0); every
// other ending leaves the process from within.
int volsurvey_main(int argc, char** argv);

#endif  // VOLSURVEY_DRIVER_ENTRY_H_
