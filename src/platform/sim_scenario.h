// The scripted machine behind volsurvey-sim: what each drive, the system
// and the process answer, read from the scenario file named by the
// environment variable VOLSURVEY_SIM (format: tests/scenario.md).
#ifndef VOLSURVEY_PLATFORM_SIM_SCENARIO_H_
#define VOLSURVEY_PLATFORM_SIM_SCENARIO_H_

#include <cstdint>
#include <string>
#include <vector>

// The queries of a drive, each of which can be scripted to answer late.
enum SimQuery { kQueryType, kQueryVolume, kQueryFree, kQueryFreeEx, kQueryIoctl, kQueryCount };

// A wait that never ends.
const uint32_t kSimNever = UINT32_MAX;

struct SimDrive {
  std::string root;  // as the program asks for it, ending in a backslash
  std::u16string wide_root;  // as the system spells it
  int type = 3;
  bool volume_ok = true;
  bool no_medium = false;  // the volume query finds no medium (ERROR_NOT_READY)
  std::string label;          // Shift-JIS, "?" for what it cannot spell
  std::u16string wide_label;  // as the system spells it
  uint32_t serial = 0;
  uint32_t max_component = 255;
  uint32_t flags = 0;
  std::string fs_name = "NTFS";
  std::u16string wide_fs_name = u"NTFS";
  bool free_ok = false;  // GetDiskFreeSpaceA
  uint32_t free[4] = {};  // sectors/cluster, bytes/sector, free, total
  bool free_ex_ok = false;  // GetDiskFreeSpaceExA
  uint64_t free_ex[3] = {};  // caller free, total, total free
  bool ioctl_ok = false;  // the 7303h device request
  uint32_t ioctl[2] = {};  // sectors/cluster, bytes/sector
  uint32_t wait_ms[kQueryCount] = {};  // how long each query takes; kSimNever
};

// A path that reaches a volume: its Shift-JIS form, "?" for each character
// Shift-JIS lacks, and its UTF-16.
struct SimPath {
  std::string narrow;
  std::u16string wide;
};

// A volume as FindFirstVolumeW and FindNextVolumeW list it, with its paths
// as GetVolumePathNamesForVolumeNameW gives them.
struct SimVolume {
  SimPath name;
  std::vector<SimPath> paths;
  bool paths_ok = true;
};

// One console input record the user "types".
struct SimInput {
  bool is_key = true;
  unsigned char character = 0;
  bool pending = false;  // typed before the prompt: dropped by the flush
  uint32_t after_ms = 0;  // time the user takes before this record
};

// A Windows folder and the host folder that stands in for it.
struct SimMapping {
  std::string windows;  // Shift-JIS, without a final backslash
  std::string host;
};

struct SimScenario {
  bool version_ok = true;
  uint32_t platform_id = 2;
  uint32_t major = 5;
  uint32_t minor = 1;
  bool free_ex_present = true;
  uint32_t ansi_code_page = 932;  // the Windows 95 family's paths are in it
  bool cwd_ok = true;
  std::string cwd = "C:\\";
  int64_t utc_now = 1796872500;  // GetSystemTimeAsFileTime: 2026-12-10T03:15:00Z
  std::vector<SimDrive> drives;
  std::vector<SimVolume> volumes;
  bool volume_functions = true;  // kernel32 has them (and the version is 5.0 or later)
  bool volumes_ok = true;        // FindFirstVolumeW succeeds
  bool volume_path_ok = true;    // GetVolumePathNameW succeeds
  uint32_t volumes_wait_ms = 0;  // how long the listing takes; kSimNever
  uint32_t logical_drives = 0;  // GetLogicalDrives; the drive lines' letters by default
  bool logical_drives_given = false;
  bool console = false;  // standard output is a console
  int32_t console_rows = 0, window_top = 0, window_bottom = 0;
  uint32_t clock = 1000;  // the tick count at start
  std::vector<SimInput> input;
  bool module_ok = true;
  std::string module = "C:\\TOOLS\\volsurvey.exe";  // GetModuleFileNameA
  bool stored_ok = true;
  bool stored_given = false;
  std::string stored;  // FindFirstFileA's cFileName; the module's own name by default
  std::vector<SimMapping> mappings;  // the module's folder maps to the scenario's
  std::string scenario_dir;
};

// The scenario of this run, read on first use.  A scenario that cannot be
// read ends the process with exit code 2 and a message naming the line.
const SimScenario& sim_scenario();

// The host path of a Windows path (a relative one in the current
// directory), through the mappings; empty when no mapping covers it.
std::string sim_host_path(const std::string& windows_path);

// True when the program is given its paths in Shift-JIS: always on the NT
// family, on the 95 family only where the ANSI code page is 932.
bool sim_paths_in_shift_jis();

// The final component of a Windows path in the code page of the paths.
std::string sim_final_component(const std::string& path);

// The UTF-16 form of Shift-JIS bytes; a byte that spells nothing becomes
// U+FFFD.
std::u16string sim_widen(const std::string& bytes);

// The Shift-JIS form of UTF-16, "?" for each character Shift-JIS lacks, as
// the program's own narrowing makes it.
std::string sim_narrow(const std::u16string& units);

// The drive whose root equals `root` ignoring ASCII case, or null; with
// `wide`, the one whose UTF-16 root equals it.
const SimDrive* sim_find_drive(const char* root, const std::u16string* wide = nullptr);

// Whether two UTF-16 paths are equal ignoring ASCII case, as Windows
// compares them.
bool sim_same_path(const std::u16string& a, const std::u16string& b);

#endif  // VOLSURVEY_PLATFORM_SIM_SCENARIO_H_
