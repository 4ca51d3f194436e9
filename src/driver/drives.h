// Drive arguments turned into drive roots, and the survey of the run's
// drives: each asked, then reported.
#ifndef VOLSURVEY_DRIVER_DRIVES_H_
#define VOLSURVEY_DRIVER_DRIVES_H_

#include <cstddef>

#include "report/record.h"

// A heap root for a drive argument: "X:\" from its first byte, or
// "\\server\share\" for a share argument, whatever path follows.  Null when
// the argument names no drive (empty, or a share without server or share
// part).  Ends the process when memory runs out.
char* make_drive_root(const char* argument);

// A drive of the run: its heap root (null for an argument that names no
// drive), and the text it was made from (null for none).
struct DriveEntry {
  char* root;
  const char* source;
};

// The drives of the run: those named, or with /a every drive the system
// has (its lettered drives, then every folder a volume is mounted in), or
// the current one.  The list owns its roots.
struct DriveList {
  DriveEntry* entries = nullptr;
  size_t count = 0;
  bool whole_machine = false;
  bool folders_unlisted = false;  // the machine's mount folders could not all be listed
  char* directory = nullptr;  // the current directory, the current drive's source

  DriveList() = default;
  ~DriveList();
  DriveList(const DriveList&) = delete;
  DriveList& operator=(const DriveList&) = delete;
};

// Fills `list` with the run's drives; ends the run when there is no
// current drive.
void list_drives(int argc, char** argv, int drive_count, DriveList* list);

// Asks the drives and hands each one's answers to `take`, in order, as
// soon as they and those before them are in.  Side by side, many drives
// are asked at once; otherwise each only once the one before is taken.
void survey_drives(const DriveEntry* entries, size_t count, bool side_by_side,
                   void (*take)(const DriveEntry& entry, const DriveRecord& record, void* context),
                   void* context);

// The message of a drive whose report stops short, as a new heap text;
// null when it does not (drive_stop_words).
char* drive_stop_message(const DriveRecord& record, bool whole_machine);

// Prints the reports that settings ask for, from what the drive answered,
// as far as its answers go.
void report_drive(const DriveRecord& record, bool whole_machine);

// Reports the run's drives, parted by empty lines; returns the exit code.
// A named drive that cannot be reported ends the run; with the whole
// machine it is told and the run goes on, ending with exit code 1.  With
// every drive reported, 2 when any passed a threshold.
int report_drives(int argc, char** argv, int drive_count);

// The run's drives one line each under a heading, every drive reported
// whatever befalls another; returns the exit code: 1 when any drive could
// not be reported, else 2 when any passed a threshold.
int report_drives_list(int argc, char** argv, int drive_count);

// The run's drives as one JSON document on standard output, every drive
// in it whatever befalls another; returns the exit code, 1 when any drive
// could not be reported, else 2 when any passed a threshold.
int report_drives_json(int argc, char** argv, int drive_count);

#endif  // VOLSURVEY_DRIVER_DRIVES_H_
