// The volume report: drive type, label, serial, name length, file system
// and the four capability flags of one drive root.
#ifndef VOLSURVEY_REPORT_VOLUME_H_
#define VOLSURVEY_REPORT_VOLUME_H_

#include <cstdint>

#include "report/record.h"

struct DriveAsking;

enum DriveType : int32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// Asks the drive type into `facts`.  A report that shows the drive type
// refuses a drive that has none (kNoRootDir).
Stop ask_drive_type(DriveAsking* drive, bool shown, VolumeFacts* facts);

// Asks the volume information into `facts` and `answers`.  An empty
// removable or CD-ROM drive is kNoMedium.
Stop ask_volume(DriveAsking* drive, VolumeFacts* facts, VolumeAnswers* answers);

// The drive-type line of a drive whose type has been asked.
void print_drive_type(const VolumeFacts& facts);

// The eight volume lines.
void print_volume(const VolumeFacts& facts, const VolumeAnswers& answers);

// The line that tells that a drive holds no medium, in line with the
// volume report's labels, or with the size report's when `in_size_report`.
void print_no_medium(bool in_size_report);

// The file-system class that decides how the size report asks for figures.
int32_t file_system_bits(const char* fs_name, int32_t drive_type);

// Line 2 of the report: the serial number as two halves of four hex digits.
// `out` must hold 10 bytes.
const char* format_serial(uint32_t serial, char* out);

// A fixed disk or a RAM disk: a disk of the machine's own, neither a
// medium that comes and goes nor a server's.
bool is_local_disk(int32_t type);

// The drive-type line's word for a type code ("FIXED"), or null for a code
// the line shows as "不明".
const char* drive_type_word(int32_t type);

// "Yes" when every bit of `mask` is set in `flags`, else "No".
const char* flag_answer(uint32_t flags, uint32_t mask);

#endif  // VOLSURVEY_REPORT_VOLUME_H_
