// The real program's platform: kernel32, asked exactly as the reports need.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

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

bool plat_ext_free_space(const char* root, uint32_t* sectors_per_cluster,
                         uint32_t* bytes_per_sector) {
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

void plat_write(Stream stream, const char* bytes, size_t n) {
  // Reports and messages share one screen: keep them in the order written.
  if (stream == Stream::kErr) fflush(stdout);
  fwrite(bytes, 1, n, stream == Stream::kOut ? stdout : stderr);
}

void plat_flush() {
  fflush(stdout);
  fflush(stderr);
}
