// Lists the system's volumes as the Windows checks compare them: one line
// per volume, its name from FindFirstVolumeW and FindNextVolumeW, then each
// of its paths from GetVolumePathNamesForVolumeNameW, tab-separated, in
// UTF-8; "!" and the error code where that call fails.  With a path as
// argument, instead the answers of GetVolumePathNameW and, for that folder,
// GetVolumeNameForVolumeMountPointW ("!" and the error code where one
// fails).  A test program: it imports the functions directly.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

void put(const wchar_t* text) {
  char utf8[4 * MAX_PATH];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  fputs(n > 0 ? utf8 : "?", stdout);
}

int list() {
  wchar_t volume[MAX_PATH + 1];
  HANDLE search = FindFirstVolumeW(volume, MAX_PATH);
  if (search == INVALID_HANDLE_VALUE) {
    printf("!%lu\n", GetLastError());
    return 1;
  }
  do {
    put(volume);
    wchar_t paths[4096] = {};
    DWORD needed = 0;
    if (GetVolumePathNamesForVolumeNameW(volume, paths, 4094, &needed)) {
      for (const wchar_t* p = paths; *p; p += wcslen(p) + 1) {
        putchar('\t');
        put(p);
      }
    } else {
      printf("\t!%lu", GetLastError());
    }
    putchar('\n');
  } while (FindNextVolumeW(search, volume, MAX_PATH));
  FindVolumeClose(search);
  return 0;
}

int mount_point(const wchar_t* path) {
  wchar_t folder[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(path, folder, MAX_PATH)) {
    printf("!%lu\n", GetLastError());
    return 1;
  }
  put(folder);
  wchar_t volume[MAX_PATH + 1] = {};
  if (GetVolumeNameForVolumeMountPointW(folder, volume, MAX_PATH)) {
    putchar('\t');
    put(volume);
  } else {
    printf("\t!%lu", GetLastError());
  }
  putchar('\n');
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  return argv && argc > 1 ? mount_point(argv[1]) : list();
}
