// The record of runs: one file that every run appends its lines to, one run
// at a time, and reads the end of.  Both families: the NT family names it in
// UTF-16, the Windows 95 family in its own bytes; both lock a byte far past
// any data, which LockFile allows, so that readers of the data itself (an
// editor, Excel) are never refused.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.h"
#include "platform/win32_text.h"
#include "text/sjis.h"

struct RecordFile {
  HANDLE handle;
};

namespace {

// Past any record's data: a record grows by a few kilobytes a day.
const DWORD kLockOffset = 0xFFFFFFF0u;

// The UTF-16 of `path` as the system gave it, where it is the end of the
// argument `source`: the source's own characters after as many characters
// as come before the path.
wchar_t* wide_path(const char* path, const char* source) {
  const WideName* name = source ? source_of(source) : nullptr;
  const size_t before = source ? static_cast<size_t>(path - source) : 0;
  if (!name || before > strlen(source)) return widen_from(kShiftJis, nullptr, path);
  size_t byte = 0, unit = 0;
  while (byte < before && unit < name->n) {
    byte += is_sjis_lead_byte(static_cast<unsigned char>(source[byte])) && source[byte + 1] ? 2 : 1;
    unit += char_units(name->units + unit, name->n - unit);
  }
  const size_t n = name->n - unit;
  wchar_t* wide = static_cast<wchar_t*>(malloc((n + 1) * sizeof(wchar_t)));
  if (!wide) return nullptr;
  wmemcpy(wide, name->units + unit, n);
  wide[n] = L'\0';
  return wide;
}

}  // namespace

RecordFile* plat_record_open(const char* path, const char* source) {
  const DWORD access = GENERIC_READ | GENERIC_WRITE;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (nt_family()) {
    wchar_t* wide = wide_path(path, source);
    if (wide) {
      handle = CreateFileW(wide, access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    free(wide);
  } else {
    handle = CreateFileA(path, access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  RecordFile* file = static_cast<RecordFile*>(malloc(sizeof(RecordFile)));
  if (!file) {
    CloseHandle(handle);
    return nullptr;
  }
  file->handle = handle;
  return file;
}

uint64_t plat_record_size(RecordFile* file) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file->handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return (static_cast<uint64_t>(high) << 32) | low;
}

size_t plat_record_read(RecordFile* file, uint64_t offset, char* buffer, size_t n) {
  LONG high = static_cast<LONG>(offset >> 32);
  if (SetFilePointer(file->handle, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return 0;
  }
  DWORD read = 0;
  return ReadFile(file->handle, buffer, static_cast<DWORD>(n), &read, nullptr) ? read : 0;
}

bool plat_record_lock(RecordFile* file, uint32_t ms) {
  const DWORD began = GetTickCount();
  while (!LockFile(file->handle, kLockOffset, 0, 1, 0)) {
    if (GetTickCount() - began >= ms) return false;
    Sleep(10);
  }
  return true;
}

void plat_record_unlock(RecordFile* file) { UnlockFile(file->handle, kLockOffset, 0, 1, 0); }

bool plat_record_append(RecordFile* file, const char* bytes, size_t n) {
  LONG high = 0;
  if (SetFilePointer(file->handle, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return false;
  }
  DWORD written = 0;
  return WriteFile(file->handle, bytes, static_cast<DWORD>(n), &written, nullptr) &&
         written == static_cast<DWORD>(n);
}

void plat_record_close(RecordFile* file) {
  CloseHandle(file->handle);
  free(file);
}

int64_t plat_utc_now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // 100-nanosecond ticks since 1601; 1970 came 11644473600 seconds later.
  return static_cast<int64_t>(ticks / 10000000u) - 11644473600LL;
}
