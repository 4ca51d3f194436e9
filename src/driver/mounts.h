// The folders the machine's volumes are mounted in, as a run over the whole
// machine takes them after the lettered drives.
#ifndef VOLSURVEY_DRIVER_MOUNTS_H_
#define VOLSURVEY_DRIVER_MOUNTS_H_

#include <cstddef>

#include "platform/platform.h"

// Orders folders by path, component by component (a folder before those
// inside it), ASCII letters compared without case, as Windows names them;
// volumes named by their volume names last.
void sort_folders(MountFolder* folders, size_t count);

// Every folder of the machine's volumes, in path order, as a heap array of
// `*count` (null for none); the texts live for the run.  A listing that
// fails or does not answer in time is told on standard error, with the
// folders listed before; `*unlisted` then says so.
MountFolder* machine_mount_folders(size_t* count, bool* unlisted);

#endif  // VOLSURVEY_DRIVER_MOUNTS_H_
