// Which volume a path lies on: the first question about a drive named by a
// path, asked within the drive's time like the others.
#ifndef VOLSURVEY_REPORT_VOLUME_PATH_H_
#define VOLSURVEY_REPORT_VOLUME_PATH_H_

#include "report/record.h"

struct DriveAsking;

// The root of the volume that `path` lies on, as the system names it among
// the volume's paths, whatever case and separators the path was typed in:
// a drive root ("C:\"), a mount folder ("C:\Data\"), a share root or a
// volume name, in new heap texts set on kNone.  Where the system mounts
// nothing in folders, or the volume path it gives is no mount point of its
// own, *root is left null: the path's own drive stands.
Stop find_volume(DriveAsking* drive, const char16_t* path, char** root, char16_t** wide_root);

#endif  // VOLSURVEY_REPORT_VOLUME_PATH_H_
