// The volume report: drive type, label, serial, name length, file system
// and the four capability flags of one drive root.
#ifndef VOLSURVEY_REPORT_VOLUME_H_
#define VOLSURVEY_REPORT_VOLUME_H_

#include <cstdint>

// What the size report needs to know about the drive just queried.
struct VolumeFacts {
  int32_t drive_type;
  char fs_name[260];
  int32_t fs_bits;  // 16 for FAT, FAT12 and a local CDFS; 32 otherwise
};

extern VolumeFacts volume_facts;

enum DriveType : int32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// Queries `root` (ending in a backslash) and fills volume_facts; prints the
// drive-type and volume lines when `show` is 1.  An unreadable drive ends
// the process.
void report_volume(const char* root, int show);

// Ends the run: `root` did not answer within the time limit.
[[noreturn]] void drive_not_answering(const char* root);

// The file-system class that decides how the size report asks for figures.
int32_t file_system_bits(const char* fs_name, int32_t drive_type);

// Line 2 of the report: the serial number as two halves of four hex digits.
// `out` must hold 10 bytes.
const char* format_serial(uint32_t serial, char* out);

// "Yes" when every bit of `mask` is set in `flags`, else "No".
const char* flag_answer(uint32_t flags, uint32_t mask);

#endif  // VOLSURVEY_REPORT_VOLUME_H_
