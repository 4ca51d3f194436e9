// The real program's platform: kernel32, asked exactly as the reports need.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "text/sjis.h"

int plat_drive_type(const char* root) { return static_cast<int>(GetDriveTypeA(root)); }

bool plat_volume_information(const char* root, char* label, uint32_t* serial,
                             uint32_t* max_component, uint32_t* flags,
                             char* fs_name, uint32_t size) {
  DWORD serial_number = 0, component = 0, fs_flags = 0;
  if (!GetVolumeInformationA(root, label, size, &serial_number, &component,
                             &fs_flags, fs_name, size)) {
    return false;
  }
  *serial = serial_number;
  *max_component = component;
  *flags = fs_flags;
  return true;
}

bool plat_version(uint32_t* platform_id, uint32_t* major, uint32_t* minor) {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the size Windows 95 expects");
  OSVERSIONINFOA info;
  memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return false;
  *platform_id = info.dwPlatformId;
  *major = info.dwMajorVersion;
  *minor = info.dwMinorVersion;
  return true;
}

bool plat_disk_free_space(const char* root, uint32_t* sectors_per_cluster,
                          uint32_t* bytes_per_sector, uint32_t* free_clusters,
                          uint32_t* total_clusters) {
  DWORD spc = 0, bps = 0, free_count = 0, total_count = 0;
  if (!GetDiskFreeSpaceA(root, &spc, &bps, &free_count, &total_count)) return false;
  *sectors_per_cluster = spc;
  *bytes_per_sector = bps;
  *free_clusters = free_count;
  *total_clusters = total_count;
  return true;
}

FreeSpaceEx plat_disk_free_space_ex(const char* root, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free) {
  // Windows 95 before OSR2 has no such entry; a static import would keep
  // the program from starting there at all.
  typedef BOOL(WINAPI * Query)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC entry = GetProcAddress(kernel, "GetDiskFreeSpaceExA");
  if (!entry) return FreeSpaceEx::kMissing;
  Query query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(entry));
  ULARGE_INTEGER caller = {}, bytes = {}, free_bytes = {};
  if (!query(root, &caller, &bytes, &free_bytes)) return FreeSpaceEx::kFailed;
  *caller_free = caller.QuadPart;
  *total = bytes.QuadPart;
  *total_free = free_bytes.QuadPart;
  return FreeSpaceEx::kOk;
}

// The outputs are written only by the 32-bit build.
// NOLINTBEGIN(readability-non-const-parameter)
bool plat_ext_free_space(const char* root, uint32_t* sectors_per_cluster,
                         uint32_t* bytes_per_sector) {
  // NOLINTEND(readability-non-const-parameter)
#ifdef _WIN64
  // The VWIN32 device exists only on the Windows 95 family, which runs no
  // 64-bit programs, and its register block carries 32-bit addresses.
  (void)root;
  (void)sectors_per_cluster;
  (void)bytes_per_sector;
  return false;
#else
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
  const DWORD kDosDriveInfo = 6;  // VWIN32_DIOC_DOS_DRIVEINFO
  const DWORD kCarry = 1;

  ExtGetDskFreSpcStruc result;
  memset(&result, 0, sizeof result);
  result.level = 0;
  DiocRegisters regs = {0,
                        static_cast<DWORD>(reinterpret_cast<uintptr_t>(root)),
                        sizeof result,
                        0x7303,
                        static_cast<DWORD>(reinterpret_cast<uintptr_t>(&result)),
                        0,
                        kCarry};
  HANDLE device = CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(device, kDosDriveInfo, &regs, sizeof regs, &regs,
                            sizeof regs, &returned, nullptr);
  CloseHandle(device);
  if (!ok || (regs.reg_flags & kCarry)) return false;
  *sectors_per_cluster = result.sectors_per_cluster;
  *bytes_per_sector = result.bytes_per_sector;
  return true;
#endif
}

uint32_t plat_current_directory(char* buffer, uint32_t size) {
  return GetCurrentDirectoryA(size, buffer);
}

uint32_t plat_module_file_name(char* buffer, uint32_t size) {
  return GetModuleFileNameA(nullptr, buffer, size);
}

bool plat_stored_file_name(const char* path, char* name, size_t size) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path, &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  if (size == 0) return false;
  data.cFileName[sizeof data.cFileName - 1] = '\0';
  size_t length = strlen(data.cFileName);
  if (length >= size) return false;
  memcpy(name, data.cFileName, length + 1);
  return true;
}

FILE* plat_open_file(const char* path) { return fopen(path, "rb"); }

char** plat_environment() { return _environ; }

bool plat_console_screen_info(int32_t* buffer_rows, int32_t* window_top,
                              int32_t* window_bottom) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
  *buffer_rows = info.dwSize.Y;
  *window_top = info.srWindow.Top;
  *window_bottom = info.srWindow.Bottom;
  return true;
}

void plat_flush_console_input() { FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)); }

bool plat_read_console_input(bool* is_key_event, unsigned char* character) {
  INPUT_RECORD record;
  DWORD count = 0;
  if (!ReadConsoleInputA(GetStdHandle(STD_INPUT_HANDLE), &record, 1, &count) || count != 1) {
    return false;
  }
  *is_key_event = record.EventType == KEY_EVENT;
  *character = *is_key_event ? static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar) : 0;
  return true;
}

uint32_t plat_tick_count() { return GetTickCount(); }

void plat_sleep(uint32_t ms) { Sleep(ms); }

namespace {

// A standard stream, and whether it is a console.  A console is written
// UTF-16 through WriteConsoleW, so the Shift-JIS text reads right whatever
// the console's code page; a lead byte whose trail byte has not been
// written yet waits in `held`.
struct OutputStream {
  bool checked = false;
  bool is_console = false;
  HANDLE handle = nullptr;
  FILE* file = nullptr;
  char held = 0;
  bool has_held = false;
};

OutputStream g_streams[2];

OutputStream& output_stream(Stream stream) {
  OutputStream& s = g_streams[stream == Stream::kOut ? 0 : 1];
  if (!s.checked) {
    s.checked = true;
    s.file = stream == Stream::kOut ? stdout : stderr;
    s.handle = GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    s.is_console = s.handle != INVALID_HANDLE_VALUE && s.handle != nullptr &&
                   GetConsoleMode(s.handle, &mode);
  }
  return s;
}

// The length of the part of `text` made of whole characters.
size_t whole_characters(const char* text, size_t n) {
  size_t i = 0;
  while (i < n) {
    if (!is_sjis_lead_byte(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (i + 1 < n) {
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

void write_wide(const OutputStream& s, const char* bytes, size_t n) {
  wchar_t wide[512];
  int count = MultiByteToWideChar(932, 0, bytes, static_cast<int>(n), wide, 512);
  DWORD written = 0;
  if (count > 0) WriteConsoleW(s.handle, wide, static_cast<DWORD>(count), &written, nullptr);
}

void write_console(OutputStream& s, const char* bytes, size_t n) {
  char chunk[512];
  size_t length = 0;
  if (s.has_held) {
    chunk[length++] = s.held;
    s.has_held = false;
  }
  for (;;) {
    while (length < sizeof chunk && n > 0) {
      chunk[length++] = *bytes++;
      --n;
    }
    size_t whole = whole_characters(chunk, length);
    if (whole > 0) write_wide(s, chunk, whole);
    // At most one byte is left: a lead byte whose trail byte comes later.
    length = length - whole;
    if (length) chunk[0] = chunk[whole];
    if (n == 0) break;
  }
  if (length) {
    s.held = chunk[0];
    s.has_held = true;
  }
}

}  // namespace

void plat_write(Stream stream, const char* bytes, size_t n) {
  OutputStream& s = output_stream(stream);
  if (s.is_console) {
    write_console(s, bytes, n);
    return;
  }
  // Reports and messages may share one file or screen: keep them in the
  // order written.
  if (stream == Stream::kErr) fflush(stdout);
  fwrite(bytes, 1, n, s.file);
}

void plat_flush() {
  for (OutputStream& s : g_streams) {
    if (s.is_console && s.has_held) {
      // A lead byte without its trail byte: show what the code page makes
      // of it rather than lose it.
      write_wide(s, &s.held, 1);
      s.has_held = false;
    }
  }
  fflush(stdout);
  fflush(stderr);
}
