// What one drive answered.  A drive is asked first (ask.h) and printed
// after (volume.h, size.h), from this record alone, so that drives can be
// asked side by side and printed in turn.
#ifndef VOLSURVEY_REPORT_RECORD_H_
#define VOLSURVEY_REPORT_RECORD_H_

#include <cstdint>

#include "report/forecast.h"

const uint32_t kNameBufferSize = 260;

// What the size report needs to know about the drive.
struct VolumeFacts {
  int32_t drive_type = 0;
  char fs_name[kNameBufferSize] = {};
  int32_t fs_bits = 32;  // 16 for FAT, FAT12 and a local CDFS; 32 otherwise
};

// The rest of the volume report, and the names as the system spells them
// in UTF-16, where Shift-JIS may have to show "?".
struct VolumeAnswers {
  char label[kNameBufferSize] = {};
  char16_t wide_label[kNameBufferSize] = {};
  char16_t wide_fs_name[kNameBufferSize] = {};
  uint32_t serial = 0;
  uint32_t max_component = 0;
  uint32_t flags = 0;
};

struct SizeFigures {
  bool classic_query = false;
  uint32_t sector_size = 0;
  uint32_t sectors_per_cluster = 0;
  uint64_t cluster_size = 0;
  uint64_t total_clusters = 0;
  uint64_t free_clusters = 0;
  uint64_t total_bytes = 0;
  uint64_t free_bytes = 0;
  uint64_t caller_free_bytes = 0;
  bool cluster_size_estimated = false;
};

// How far the answers go: each step's answers are in the record, and
// accepted, once it is reached.  The steps come in the order they print.
// kRoot: the root the drive is asked by is known (a path's volume found).
enum class Reached : int { kNothing, kRoot, kDriveType, kVolume, kSize };

// Why a drive's report ends where `reached` says, if it ends short.
enum class Stop {
  kNone,
  kBadName,             // the argument names no drive
  kNoRootDir,           // the drive type says there is no such drive
  kUnreadable,          // the volume or the classic size query failed
  kCapacityUnreadable,  // the 64-bit size query is missing or failed
  kNoAnswer,            // the drive's time ran out
  kNoMedium,            // a removable or CD-ROM drive holds nothing: a state, no error
  kLeftOut,             // no local disk, where only they are surveyed: not reported
};

// A warning and a critical level of one measure: the used share in percent
// (1 to 100), or free bytes.  Either may be set alone.
struct Levels {
  bool warning_set = false;
  bool critical_set = false;
  uint64_t warning = 0;
  uint64_t critical = 0;
};

// How a drive stands against its levels, worst last.
enum class Level { kOk, kWarning, kCritical };

// A drive's levels and where its figures stand against them.  `judged`:
// some level is set for the drive and its figures are in.
struct Judgement {
  bool judged = false;
  Level level = Level::kOk;
  Levels used;
  Levels free;
  Levels days;  // days left before the drive is full, by its forecast
};

struct DriveRecord {
  // The root the drive is asked by, as the report names it ("C:\",
  // "\\server\share\", "C:\Data\"), and as the system spells it; null
  // until it is known (kRoot).
  const char* root = nullptr;
  const char16_t* wide_root = nullptr;
  // What the drive was named by (an argument, the current directory), for
  // a drive whose root never became known; null for a drive the system
  // listed.
  const char* typed = nullptr;
  const char16_t* wide_typed = nullptr;
  Reached reached = Reached::kNothing;
  Stop stop = Stop::kNone;
  VolumeFacts facts;
  VolumeAnswers volume;
  SizeFigures size;
  // With a record of runs (/r), how fast the drive fills, from its series
  // and these figures; worked out once the answers are in.
  bool forecast_made = false;
  Forecast forecast;
  Judgement judgement;  // worked out once the answers are in
};

#endif  // VOLSURVEY_REPORT_RECORD_H_
