// Volumes mounted in folders among the drives of a run: an argument below a
// drive's root is taken to the folder its volume is mounted in, and a run
// over the whole machine takes every such folder after the lettered drives.
#ifndef VOLSURVEY_DRIVER_MOUNTS_H_
#define VOLSURVEY_DRIVER_MOUNTS_H_

#include <cstddef>

#include "driver/drives.h"
#include "platform/platform.h"

// "X:\" (or "X:/") with more after it: a path a volume mounted in a folder
// of drive X: may hold.  A letter, a drive name or a drive root alone is
// none.
bool below_drive_root(const char* argument);

// Whether `folder`, which the system gave as the mount folder of
// `argument`, is a folder of the argument's own drive, not its root.
bool folder_on_drive(const char* folder, const char* argument);

// The entry of a drive argument: the folder a volume is mounted in where
// the argument lies below it, else the root make_drive_root makes, as
// without mount folders.
DriveEntry drive_entry_for(const char* argument);

// Orders folders by path, component by component (a folder before those
// inside it), ASCII letters compared without case, as Windows names them;
// volumes named by their volume names last.
void sort_folders(MountFolder* folders, size_t count);

// Appends every folder of the machine's volumes to `list`, in path order.
// A listing that fails or does not answer in time is told on standard
// error, with the folders listed before; `list` then says so.
void add_mount_folders(DriveList* list);

#endif  // VOLSURVEY_DRIVER_MOUNTS_H_
