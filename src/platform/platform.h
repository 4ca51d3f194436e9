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

// Names the text that the drive roots of the queries to come were made
// from: one of the arguments plat_start handed out, or the buffer that
// plat_current_directory filled; null for neither.  The system is then
// asked about each root as that text spells it, character for character,
// even where its Shift-JIS form shows "?".
void plat_root_source(const char* source);

// Starts the time allowance of the drive about to be asked: its queries
// that follow may wait `ms` milliseconds in all for the system's answers,
// whatever happens between them (a pause at a prompt does not count).  0
// waits as long as the system does.
void plat_drive_time_limit(uint32_t ms);

// How a query of a drive ended.  A drive that stops answering (a file
// server gone, a failing disk) may hold a query for minutes or for ever;
// kNoAnswer says the allowance ran out first.  The query is then left to
// itself: it writes nothing the program reads, and does not keep the
// process from ending.
enum class Answer { kOk, kFailed, kNoAnswer };

// GetDriveTypeA: the drive-type code of a root such as "C:\".
Answer plat_drive_type(const char* root, int* type);

// GetVolumeInformationA with label and file-system buffers of `size` bytes.
// The outputs are set only when it answers kOk.
Answer plat_volume_information(const char* root, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags,
                               char* fs_name, uint32_t size);

// GetVersionExA with an OSVERSIONINFOA of 148 bytes.
bool plat_version(uint32_t* platform_id, uint32_t* major, uint32_t* minor);

// GetDiskFreeSpaceA, outputs in the order the call gives them.
Answer plat_disk_free_space(const char* root, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters);

// GetDiskFreeSpaceExA, looked up in kernel32 at run time on every call.
enum class FreeSpaceEx { kMissing, kFailed, kOk, kNoAnswer };
FreeSpaceEx plat_disk_free_space_ex(const char* root, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free);

// The VWIN32 device request for Int 21h function 7303h (Get_ExtFreeSpace).
// kOk only when the device answered with the carry flag clear.
Answer plat_ext_free_space(const char* root, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector);

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

#endif  // VOLSURVEY_PLATFORM_PLATFORM_H_
