// The one seam between the program and the operating system.
//
// Each function mirrors one operating-system request in the terms the rest of
// the program needs.  win32.cpp answers them with kernel32; sim.cpp answers
// them from a scenario file so that the whole command runs on any host.
#ifndef VOLSURVEY_PLATFORM_PLATFORM_H_
#define VOLSURVEY_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

// --- The process -------------------------------------------------------------

// Called first thing, before any other request: a drive without its medium
// then fails its query at once instead of raising a system dialog that
// would hold up a script, and the arguments come as Shift-JIS, whatever the
// system's own code pages.
void plat_start(int* argc, char*** argv);

// --- Drives and volumes -----------------------------------------------------

// GetLogicalDrives: the drive letters the system has, bit 0 for A: to bit
// 25 for Z:; 0 when it cannot tell.
uint32_t plat_logical_drives();

// How a query of a drive ended.  A drive that stops answering (a file
// server gone, a failing disk) may hold a query for minutes or for ever;
// kNoAnswer says the drive's time ran out first.  kNotReady, from the
// volume query only, says the drive holds no medium (an empty card reader
// or disc drive).
enum class Answer { kOk, kFailed, kNoAnswer, kNotReady };

// One drive being asked, as the platform keeps it: the root in the form the
// system takes, and the drive's time.
struct DriveAsking;

// Starts asking about the drive at `root` ("C:\" or "\\server\share\"):
// ask(drive, context) asks its questions through the queries below, on its
// own, while the program goes on; several drives may be asked at once.
// `wide_root` is the root as the system spells it (plat_drive_name): the
// NT family is asked with it, character for character, even where its
// Shift-JIS form shows "?"; the Windows 95 family with `root`, in its own
// bytes.  Both may be null for a drive whose root `ask` finds first
// (plat_ask_about).  The drive's queries may wait `ms` milliseconds in all
// for the system, counted from now; 0 waits as long as the system does.
// `side_by_side` says other drives are asked meanwhile, so that even
// without a limit this one must not hold them up.  `ask` must touch no
// memory but `context` and its own.  Null when memory runs out.
DriveAsking* plat_ask_start(const char* root, const char16_t* wide_root, uint32_t ms,
                            bool side_by_side, void (*ask)(DriveAsking* drive, void* context),
                            void* context);

// From `ask`: the drive's queries from now on ask about `root` and
// `wide_root` (as for plat_ask_start; the platform keeps copies).  False
// when memory runs out.
bool plat_ask_about(DriveAsking* drive, const char* root, const char16_t* wide_root);

// Waits at most `ms` milliseconds for `ask` of a drive to return, leaving
// the drive to plat_ask_finish either way; once it has returned, whatever
// it ran on serves the next drive started.  Whether it has returned.
bool plat_ask_settle(DriveAsking* drive, uint32_t ms);

// Waits for `ask` of a drive to return, no longer than the drive's time
// allows.  kOk: it returned, and `context` is the caller's again.
// kNoAnswer: the time ran out while a query still waits for the system;
// the query is left to itself and `context` is its for good: the caller
// may read what `ask` published before, but never writes or frees it.  The
// query does not keep the process from ending.  Either way `drive` is gone.
Answer plat_ask_finish(DriveAsking* drive);

// The queries of a drive, asked from its `ask`.  Each answers kNoAnswer
// once the drive's time has run out, and then sets nothing.

// GetDriveTypeA: the drive-type code of the root.
Answer plat_drive_type(DriveAsking* drive, int* type);

// GetVolumeInformationA with label and file-system buffers of `size` bytes,
// and the same two names in buffers of `size` UTF-16 units as the system
// spells them, where Shift-JIS may have to show "?" (the Windows 95 family's
// converted from its ANSI code page).  The outputs are set only when it
// answers kOk.
Answer plat_volume_information(DriveAsking* drive, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags,
                               char* fs_name, char16_t* wide_label, char16_t* wide_fs_name,
                               uint32_t size);

// GetVersionExA with an OSVERSIONINFOA of 148 bytes.
bool plat_version(uint32_t* platform_id, uint32_t* major, uint32_t* minor);

// GetDiskFreeSpaceA, outputs in the order the call gives them.
Answer plat_disk_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters);

// GetDiskFreeSpaceExA, looked up in kernel32 at run time on every call.
enum class FreeSpaceEx { kMissing, kFailed, kOk, kNoAnswer };
FreeSpaceEx plat_disk_free_space_ex(DriveAsking* drive, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free);

// The VWIN32 device request for Int 21h function 7303h (Get_ExtFreeSpace).
// kOk only when the device answered with the carry flag clear.
Answer plat_ext_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector);

// The first `length` bytes of `text`, a drive's name or root made from
// `source` (one of the arguments plat_start handed out, or the buffer
// plat_current_directory filled; null for none), in the UTF-16 the system is asked with: as far as `text`
// spells the start of the source, the source's own characters, even where
// Shift-JIS shows "?".  NUL-terminated, in a new heap block; null when
// memory runs out.
char16_t* plat_drive_name(const char* text, size_t length, const char* source);

// --- Volumes mounted in folders ---------------------------------------------
//
// Since Windows 2000 a volume can be mounted in an empty NTFS folder, with
// or without a drive letter.  Such a folder ("C:\Data\") is a root like
// "C:\": the drive queries above take it as it is.  The Windows 95 family
// and NT 4.0 mount nothing in folders, and are asked nothing here.

// A path that reaches a volume, as the system names it: in Shift-JIS, "?"
// for each character Shift-JIS cannot spell, and in UTF-16 as the system
// spells it.
struct MountFolder {
  const char* path;
  const char16_t* wide_path;
};

// How the listing of the volumes ended.  kMissing: the system cannot list
// them, and nothing was asked.
enum class MountList { kMissing, kOk, kFailed, kNoAnswer };

// FindFirstVolumeW, FindNextVolumeW, FindVolumeClose and, for each volume,
// GetVolumePathNamesForVolumeNameW (Windows XP on; looked up at run time):
// every folder a volume is mounted in, in the order the system gives them.
// Drive roots ("C:\") are left out, and so is a volume with no path at all;
// a volume whose paths cannot be read is named by its volume name
// ("\\?\Volume{...}\"), which still reaches it, unless a drive letter
// reaches it: no volume is listed twice.  The listing may wait `ms`
// milliseconds for the system (0: as long as it does).  The folders and
// their texts live for the run; on kFailed, those listed before the failure.
MountList plat_mount_folders(uint32_t ms, const MountFolder** folders, size_t* count);

// The volume a path lies on, asked from a drive's `ask` like its other
// queries, within the drive's time.  Each answer is a new heap block,
// NUL-terminated, set only on kOk; kMissing where the system has no such
// function (the Windows 95 family, NT 4.0: they mount nothing in folders).
enum class Lookup { kMissing, kOk, kFailed, kNoAnswer };

// GetVolumePathNameW (Windows 2000 on): the path of the volume that holds
// `path`, ending in a backslash: a drive root, a mount folder, a share root
// or a volume name.  It is the start of the path as given, its "." and ".."
// resolved and "/" read as "\", in the letter case it was typed.
Lookup plat_volume_path_name(DriveAsking* drive, const char16_t* path, char16_t** volume_path);

// GetVolumeNameForVolumeMountPointW: the volume name ("\\?\Volume{...}\")
// of the volume mounted at `mount_point` (a drive root or a mount folder,
// ending in a backslash).  kFailed where nothing is mounted there.
Lookup plat_volume_name_of(DriveAsking* drive, const char16_t* mount_point,
                           char16_t** volume_name);

// GetVolumePathNamesForVolumeNameW (Windows XP on): every path that reaches
// the volume `volume_name`, as the system spells them, each NUL-terminated,
// the list ended by an empty one.
Lookup plat_volume_paths(DriveAsking* drive, const char16_t* volume_name, char16_t** paths);

// The Shift-JIS form of `n` units of UTF-16, "?" for each character it
// lacks; a new heap text, null when memory runs out.  May be called from a
// drive's `ask`.
char* plat_shift_jis(const char16_t* units, size_t n);

// GetCurrentDirectoryA: the length of the path written to `buffer`, or the
// size needed when `size` is too small, or 0 on failure.
uint32_t plat_current_directory(char* buffer, uint32_t size);

// --- Program file, configuration file, environment -------------------------

// GetModuleFileNameA for the program's own file: the length of the path
// written to `buffer`, `size` when it did not fit, 0 on failure.
uint32_t plat_module_file_name(char* buffer, uint32_t size);

// FindFirstFileA and FindClose on `path`, the program's own path as
// plat_module_file_name gave it: the file's name as stored in its directory
// (long name, stored letter case) into `name` of `size` bytes.  Where the
// system cannot tell (a path the code page could not spell), the name as
// `path` gives it.  False only when the name does not fit.
bool plat_stored_file_name(const char* path, char* name, size_t size);

// Whether `c` opens a two-byte character in the paths the platform gives:
// the program's own path is split at its last backslash by this rule.  The
// Windows 95 family gives them in the system's ANSI code page, which need
// not be Shift-JIS.
bool plat_path_lead_byte(unsigned char c);

// Opens a file beside the program (its configuration file, a path built
// from the program's own) for reading in binary mode; null when it cannot be
// opened.
FILE* plat_open_file(const char* path);

// The environment the process received: entries "NAME=value", null-ended.
char** plat_environment();

// --- The record of runs (/r) -----------------------------------------------

// A file that each run appends its figures to, and reads back.
struct RecordFile;

// CreateFileW (the NT family, the name as the system spells it when `path`
// lies in `source`, an argument plat_start handed out; null for none) or
// CreateFileA: the file at `path` (relative to the current directory, or
// absolute, a share's included), opened to read and write, shared with other
// runs, and made empty where it is missing; its folder is never made.  Null
// when it cannot be opened.
RecordFile* plat_record_open(const char* path, const char* source);

// GetFileSize: its size in bytes now.
uint64_t plat_record_size(RecordFile* file);

// ReadFile of at most `n` bytes at `offset` into `buffer`: the count read,
// short at the end of the file, 0 on failure.
size_t plat_record_read(RecordFile* file, uint64_t offset, char* buffer, size_t n);

// LockFile and UnlockFile of a byte far past any data: one run at a time
// reads the record's end or appends to it.  Another run's turn is waited
// for, at most `ms` milliseconds; false when no turn came.
bool plat_record_lock(RecordFile* file, uint32_t ms);
void plat_record_unlock(RecordFile* file);

// WriteFile of `n` bytes at the end of the file, in one call: true when all
// reached it.
bool plat_record_append(RecordFile* file, const char* bytes, size_t n);

// CloseHandle.
void plat_record_close(RecordFile* file);

// GetSystemTimeAsFileTime: now, in seconds since 1970-01-01 UTC.
int64_t plat_utc_now();

// --- Console ----------------------------------------------------------------

// GetConsoleScreenBufferInfo on standard output: the buffer's row count and
// the visible window's top and bottom rows.  False when standard output is
// no console (redirected to a file or a pipe).
bool plat_console_screen_info(int32_t* buffer_rows, int32_t* window_top,
                              int32_t* window_bottom);

// FlushConsoleInputBuffer on standard input: drops every pending event.
void plat_flush_console_input();

// ReadConsoleInputA on standard input, one record.  False when nothing can
// be read (standard input is no console, or the read failed); otherwise
// whether the record is a key event and, if so, its 8-bit character.
bool plat_read_console_input(bool* is_key_event, unsigned char* character);

// SetConsoleTextAttribute on standard output: what is written after it
// shows in the colour of a drive past a warning level (yellow) or a
// critical one (red), or in the console's own colours again.  Nothing when
// standard output is no console.  The console's own colours come back
// however the program ends, Ctrl+C, Ctrl+Break and the console's closing
// included, whatever the program was doing when they came; after one of
// them nothing is coloured any more.
enum class TextColour { kNormal, kWarning, kCritical };
void plat_text_colour(TextColour colour);

// GetTickCount: milliseconds since the system started, wrapping at 2^32.
uint32_t plat_tick_count();

// Gives the processor away for about `ms` milliseconds.
void plat_sleep(uint32_t ms);

// --- Standard streams -------------------------------------------------------

enum class Stream { kOut, kErr };

// Writes Shift-JIS bytes to standard output or standard error.  A console
// shows them as text whatever its code page; a file or pipe gets the bytes.
// False when they could not all be delivered (or held for delivery).
bool plat_write(Stream stream, const char* bytes, size_t n);

// Pushes out whatever the stream still holds; false when it could not.
bool plat_flush(Stream stream);

// From now on standard output carries UTF-8 (a console shows it as such),
// its lines ended by a line feed alone, as monitoring agents read a check's
// answer on any system.
void plat_plugin_output();

#endif  // VOLSURVEY_PLATFORM_PLATFORM_H_
