// The drives of a run: those named, the current one, or every drive of the
// machine, each with the root it is asked by.
#ifndef VOLSURVEY_DRIVER_DRIVE_LIST_H_
#define VOLSURVEY_DRIVER_DRIVE_LIST_H_

#include <cstddef>

// A drive of the run.  The list owns its texts.
struct DriveEntry {
  // The root it is asked by, and as the system spells it.  For a path, the
  // root of its drive: the volume the path lies on is found when the drive
  // is asked, and this root stands where the system mounts nothing in
  // folders.  Null for an argument that names no drive.
  char* root;
  char16_t* wide_root;
  // What the drive was named by (an argument, the current directory), and
  // as the system spells it; null for a drive the system listed.
  const char* typed;
  char16_t* wide_typed;
  // The path whose volume is to be found (within wide_typed), or null.
  const char16_t* path;
};

struct DriveList {
  DriveEntry* entries = nullptr;
  size_t count = 0;
  bool whole_machine = false;
  bool folders_unlisted = false;  // the machine's mount folders could not all be listed
  char* directory = nullptr;  // the current directory, the current drive's text

  DriveList() = default;
  ~DriveList();
  DriveList(const DriveList&) = delete;
  DriveList& operator=(const DriveList&) = delete;
};

// Fills `list` with the run's drives: the `drive_count` drive arguments of
// the command line; without any, every drive the system has (its lettered
// drives, then every folder a volume is mounted in) when `every_drive`,
// else the current one.  Ends the run when there is no current drive.
void list_drives(int argc, char** argv, int drive_count, bool every_drive, DriveList* list);

// The root of `entry`, its text now `root` and `wide_root` (heap texts the
// entry takes over): where the volume of a path was found.
void settle_root(DriveEntry* entry, char* root, char16_t* wide_root);

#endif  // VOLSURVEY_DRIVER_DRIVE_LIST_H_
