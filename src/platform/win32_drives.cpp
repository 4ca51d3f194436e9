// The questions of a drive, asked within the drive's time (win32_wait.h).
// The NT family is asked through the wide interfaces, with the root as the
// user wrote it; the Windows 95 family is asked in its own bytes.
//
// A drive's questions run on a thread of their own, which may be left
// waiting for good: they write only the drive's own block and the outputs
// the caller handed to them.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/wide_text.h"
#include "platform/win32_asking.h"
#include "platform/win32_text.h"
#include "text/sjis.h"
#include "text/strings.h"

namespace {

void run_drive(Errand* errand) {
  DriveAsking* drive = static_cast<DriveAsking*>(errand);
  drive->ask(drive, drive->context);
}

void free_drive(DriveAsking* drive) {
  free(drive->root);
  free(drive->wide_root);
  free(drive);
}

// Wine (8, in either family) damages its own heap when two threads ask
// for a drive's free space at once, or send the VWIN32 device requests at
// once: seen within a few hundred such calls, never with the drive type or
// volume queries, never when the calls take turns.  Windows itself is safe
// here; the turns cost it little, as each call takes a moment.  So the
// drives' threads take turns at these calls.  A turn held longer than
// kTurnWriteOff (by a drive that stopped answering, or a slow server) is
// written off, and the next thread goes ahead, so that one dead drive
// never silences the others.
struct SizeTurns {
  CRITICAL_SECTION lock;   // guards the fields below, never held across a call
  Signal* freed;           // raised when a turn ends
  bool busy;
  DWORD since;             // tick count when the current turn began
  unsigned generation;     // which turn is the current one
};

SizeTurns* g_turns = nullptr;
const DWORD kTurnWriteOff = 500;

// Made by the program's own thread before any drive's thread starts;
// without it (no memory, no signal) the calls are simply made.
void prepare_size_turns() {
  if (g_turns) return;
  SizeTurns* turns = static_cast<SizeTurns*>(calloc(1, sizeof(SizeTurns)));
  if (!turns) return;
  turns->freed = new_signal();
  if (!turns->freed) {
    free(turns);
    return;
  }
  InitializeCriticalSection(&turns->lock);
  g_turns = turns;
}

// Waits for a turn; returns it, to be handed to end_size_turn.
unsigned take_size_turn() {
  if (!g_turns) return 0;
  for (;;) {
    EnterCriticalSection(&g_turns->lock);
    const DWORD now = GetTickCount();
    const DWORD held = now - g_turns->since;
    if (!g_turns->busy || held >= kTurnWriteOff) {
      g_turns->busy = true;
      g_turns->since = now;
      const unsigned turn = ++g_turns->generation;
      LeaveCriticalSection(&g_turns->lock);
      return turn;
    }
    LeaveCriticalSection(&g_turns->lock);
    wait_signal(g_turns->freed, kTurnWriteOff - held);
  }
}

// Ends a turn, unless it was written off meanwhile.
void end_size_turn(unsigned turn) {
  if (!g_turns) return;
  EnterCriticalSection(&g_turns->lock);
  if (g_turns->busy && g_turns->generation == turn) {
    g_turns->busy = false;
    raise_signal(g_turns->freed);
  }
  LeaveCriticalSection(&g_turns->lock);
}

// A Shift-JIS text into `out` of `size` bytes, cut after its last whole
// character that fits.
void copy_whole_characters(char* out, size_t size, const char* text) {
  if (size == 0) return;
  size_t length = strlen(text);
  size_t n = whole_characters(text, length < size ? length : size - 1);
  memcpy(out, text, n);
  out[n] = '\0';
}

// The Shift-JIS form of a NUL-terminated UTF-16 text into `out`.
void narrow_into(char* out, size_t size, const wchar_t* text) {
  char* narrow = narrow_text(kShiftJis, text, wcslen(text));
  copy_whole_characters(out, size, narrow ? narrow : "");
  free(narrow);
}

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows holds UTF-16 in wchar_t");

// A NUL-terminated UTF-16 text into `out` of `size` units, cut after its
// last whole character that fits.
void copy_units(char16_t* out, size_t size, const wchar_t* text) {
  if (size == 0) return;
  size_t n = 0;
  while (text[n] && n + char_units(text + n, 2) < size) n += char_units(text + n, 2);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(text[i]);
  out[n] = 0;
}


#ifndef _WIN64
struct DiocRegisters {
  DWORD reg_ebx, reg_edx, reg_ecx, reg_eax, reg_edi, reg_esi, reg_flags;
};

struct ExtGetDskFreSpcStruc {
  WORD size;
  WORD level;
  DWORD sectors_per_cluster;
  DWORD bytes_per_sector;
  DWORD available_clusters;
  DWORD total_clusters;
  DWORD available_phys_sectors;
  DWORD total_phys_sectors;
  DWORD available_allocation_units;
  DWORD total_allocation_units;
  DWORD reserved[2];
};

static_assert(sizeof(DiocRegisters) == 28, "DIOC_REGISTERS");
static_assert(sizeof(ExtGetDskFreSpcStruc) == 44, "ExtGetDskFreSpcStruc");

// Int 21h function 7303h through the VWIN32 device: the register block
// carries the addresses of the root and of `result`.
bool ask_device(const char* root, ExtGetDskFreSpcStruc* result) {
  const DWORD kDosDriveInfo = 6;  // VWIN32_DIOC_DOS_DRIVEINFO
  const DWORD kCarry = 1;
  result->level = 0;
  DiocRegisters regs{0,
                     static_cast<DWORD>(reinterpret_cast<uintptr_t>(root)),
                     sizeof *result,
                     0x7303,
                     static_cast<DWORD>(reinterpret_cast<uintptr_t>(result)),
                     0,
                     kCarry};
  HANDLE device = CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
  bool ok = false;
  if (device != INVALID_HANDLE_VALUE) {
    DWORD returned = 0;
    ok = DeviceIoControl(device, kDosDriveInfo, &regs, sizeof regs, &regs, sizeof regs,
                         &returned, nullptr) &&
         !(regs.reg_flags & kCarry);
    CloseHandle(device);
  }
  return ok;
}
#endif

}  // namespace

bool out_of_time(const DriveAsking* drive) {
  return drive->limited && GetTickCount() - drive->started > drive->limit_ms;
}

namespace {

// The root in the form the system takes: UTF-16 on the NT family, the
// bytes themselves on the 95 family.  False when memory runs out.
bool set_root(DriveAsking* drive, const char* root, const char16_t* wide_root) {
  free(drive->root);
  free(drive->wide_root);
  drive->root = nullptr;
  drive->wide_root = nullptr;
  if (!nt_family()) {
    drive->root = dup_string(root);
    return drive->root != nullptr;
  }
  size_t n = 0;
  while (wide_root[n]) ++n;
  drive->wide_root = static_cast<wchar_t*>(malloc((n + 1) * sizeof(wchar_t)));
  if (!drive->wide_root) return false;
  for (size_t i = 0; i <= n; ++i) drive->wide_root[i] = static_cast<wchar_t>(wide_root[i]);
  return true;
}

}  // namespace

DriveAsking* plat_ask_start(const char* root, const char16_t* wide_root, uint32_t ms,
                            bool side_by_side, void (*ask)(DriveAsking* drive, void* context),
                            void* context) {
  prepare_size_turns();
  DriveAsking* drive = static_cast<DriveAsking*>(calloc(1, sizeof(DriveAsking)));
  if (!drive) return nullptr;
  if (root && !set_root(drive, root, wide_root)) {
    free(drive);
    return nullptr;
  }
  drive->run = run_drive;
  drive->ask = ask;
  drive->context = context;
  drive->limited = ms != 0;
  drive->limit_ms = ms;
  drive->started = GetTickCount();
  // Without a limit a drive asked on its own is asked here, as any call
  // would be; so is one for which the system gives no thread.
  drive->on_thread = (drive->limited || side_by_side) && start_errand(drive);
  if (!drive->on_thread) ask(drive, context);
  return drive;
}

bool plat_ask_about(DriveAsking* drive, const char* root, const char16_t* wide_root) {
  return set_root(drive, root, wide_root);
}

bool plat_ask_settle(DriveAsking* drive, uint32_t ms) {
  return !drive->on_thread || settle_errand(drive, ms);
}

Answer plat_ask_finish(DriveAsking* drive) {
  if (drive->on_thread) {
    DWORD wait = INFINITE;
    if (drive->limited) {
      const DWORD spent = GetTickCount() - drive->started;
      wait = spent < drive->limit_ms ? drive->limit_ms - spent : 0;
    }
    if (!finish_errand(drive, wait)) return Answer::kNoAnswer;
  }
  free_drive(drive);
  return Answer::kOk;
}

uint32_t plat_logical_drives() { return GetLogicalDrives(); }

char16_t* plat_drive_name(const char* text, size_t length, const char* source) {
  char* name = static_cast<char*>(malloc(length + 1));
  if (!name) return nullptr;
  memcpy(name, text, length);
  name[length] = '\0';
  wchar_t* wide = nullptr;
  if (nt_family()) {
    wide = widen_from(kShiftJis, source_of(source), name);
  } else {
    // A name the 95 family was given is in its own code page.
    wide = static_cast<wchar_t*>(calloc(length + 1, sizeof(wchar_t)));
    if (wide) widen_ansi_text(name, wide, length + 1);
  }
  free(name);
  if (!wide) return nullptr;
  const size_t n = wcslen(wide);
  char16_t* units = static_cast<char16_t*>(malloc((n + 1) * sizeof(char16_t)));
  if (units) copy_units(units, n + 1, wide);
  free(wide);
  return units;
}

namespace {

// Wine answers DRIVE_UNKNOWN for a volume named by its volume name
// ("\\?\Volume{...}\"), which its volume and size queries take; the type
// of a path of the same volume stands in.  Windows itself knows the type.
UINT volume_name_type(const wchar_t* root) {
  typedef BOOL(WINAPI * PathNames)(LPCWSTR, LPWSTR, DWORD, PDWORD);
  if (wcsncmp(root, L"\\\\?\\Volume{", 11) != 0) return DRIVE_UNKNOWN;
  FARPROC entry = kernel_entry("GetVolumePathNamesForVolumeNameW");
  if (!entry) return DRIVE_UNKNOWN;
  wchar_t paths[MAX_PATH + 2] = {};
  DWORD needed = 0;
  // Only the first path is read: a list cut short still holds it whole.
  const BOOL ok = reinterpret_cast<PathNames>(reinterpret_cast<void (*)()>(entry))(
      root, paths, MAX_PATH, &needed);
  if ((!ok && GetLastError() != ERROR_MORE_DATA) || paths[0] == L'\0') return DRIVE_UNKNOWN;
  paths[MAX_PATH] = L'\0';
  return GetDriveTypeW(paths);
}

}  // namespace

Answer plat_drive_type(DriveAsking* drive, int* type) {
  UINT answer = drive->wide_root ? GetDriveTypeW(drive->wide_root)
                                 : GetDriveTypeA(drive->root);
  if (answer == DRIVE_UNKNOWN && drive->wide_root) answer = volume_name_type(drive->wide_root);
  if (out_of_time(drive)) return Answer::kNoAnswer;
  *type = static_cast<int>(answer);
  return Answer::kOk;
}

Answer plat_volume_information(DriveAsking* drive, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags,
                               char* fs_name, char16_t* wide_label_out,
                               char16_t* wide_fs_name_out, uint32_t size) {
  DWORD serial_number = 0, component = 0, flag_bits = 0;
  wchar_t wide_label[MAX_PATH + 1], wide_fs[MAX_PATH + 1];
  char ansi_label[MAX_PATH + 1], ansi_fs[MAX_PATH + 1];
  const BOOL ok = drive->wide_root
                      ? GetVolumeInformationW(drive->wide_root, wide_label, MAX_PATH + 1,
                                              &serial_number, &component, &flag_bits, wide_fs,
                                              MAX_PATH + 1)
                      : GetVolumeInformationA(drive->root, ansi_label, MAX_PATH + 1,
                                              &serial_number, &component, &flag_bits, ansi_fs,
                                              MAX_PATH + 1);
  const DWORD error = ok ? 0 : GetLastError();
  if (out_of_time(drive)) return Answer::kNoAnswer;
  // An empty card reader or disc drive answers that it is not ready.
  if (!ok) return error == ERROR_NOT_READY ? Answer::kNotReady : Answer::kFailed;
  // The 95 family names them in its ANSI code page, which need not be
  // Shift-JIS: they are shown from their UTF-16, as the NT family's are.
  if (!drive->wide_root) {
    ansi_label[MAX_PATH] = ansi_fs[MAX_PATH] = '\0';
    widen_ansi_text(ansi_label, wide_label, MAX_PATH + 1);
    widen_ansi_text(ansi_fs, wide_fs, MAX_PATH + 1);
  }
  narrow_into(label, size, wide_label);
  narrow_into(fs_name, size, wide_fs);
  copy_units(wide_label_out, size, wide_label);
  copy_units(wide_fs_name_out, size, wide_fs);
  *serial = serial_number;
  *max_component = component;
  *flags = flag_bits;
  return Answer::kOk;
}

Answer plat_disk_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters) {
  DWORD spc = 0, bps = 0, free_count = 0, total_count = 0;
  const unsigned turn = take_size_turn();
  const BOOL ok =
      drive->wide_root
          ? GetDiskFreeSpaceW(drive->wide_root, &spc, &bps, &free_count, &total_count)
          : GetDiskFreeSpaceA(drive->root, &spc, &bps, &free_count, &total_count);
  end_size_turn(turn);
  if (out_of_time(drive)) return Answer::kNoAnswer;
  if (!ok) return Answer::kFailed;
  *sectors_per_cluster = spc;
  *bytes_per_sector = bps;
  *free_clusters = free_count;
  *total_clusters = total_count;
  return Answer::kOk;
}

FreeSpaceEx plat_disk_free_space_ex(DriveAsking* drive, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free) {
  typedef BOOL(WINAPI * QueryA)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  typedef BOOL(WINAPI * QueryW)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  // Windows 95 before OSR2 has no such entry; a static import would keep
  // the program from starting there at all.
  FARPROC entry = kernel_entry(drive->wide_root ? "GetDiskFreeSpaceExW" : "GetDiskFreeSpaceExA");
  if (!entry) return FreeSpaceEx::kMissing;
  void (*call)() = reinterpret_cast<void (*)()>(entry);
  ULARGE_INTEGER caller, all, all_free;
  const unsigned turn = take_size_turn();
  const BOOL ok =
      drive->wide_root
          ? reinterpret_cast<QueryW>(call)(drive->wide_root, &caller, &all, &all_free)
          : reinterpret_cast<QueryA>(call)(drive->root, &caller, &all, &all_free);
  end_size_turn(turn);
  if (out_of_time(drive)) return FreeSpaceEx::kNoAnswer;
  if (!ok) return FreeSpaceEx::kFailed;
  *caller_free = caller.QuadPart;
  *total = all.QuadPart;
  *total_free = all_free.QuadPart;
  return FreeSpaceEx::kOk;
}

// The outputs are written only by the 32-bit build.
// NOLINTBEGIN(readability-non-const-parameter)
Answer plat_ext_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector) {
  // NOLINTEND(readability-non-const-parameter)
#ifdef _WIN64
  // The VWIN32 device exists only on the Windows 95 family, which runs no
  // 64-bit programs, and its register block carries 32-bit addresses.
  (void)drive;
  (void)sectors_per_cluster;
  (void)bytes_per_sector;
  return Answer::kFailed;
#else
  // The request names the root in the 95 family's own bytes.
  if (!drive->root) return Answer::kFailed;
  ExtGetDskFreSpcStruc result;
  const unsigned turn = take_size_turn();
  const bool ok = ask_device(drive->root, &result);
  end_size_turn(turn);
  if (out_of_time(drive)) return Answer::kNoAnswer;
  if (!ok) return Answer::kFailed;
  *sectors_per_cluster = result.sectors_per_cluster;
  *bytes_per_sector = result.bytes_per_sector;
  return Answer::kOk;
#endif
}
