// Volumes mounted in folders: the paths of every volume, and the volume a
// path lies on.  The functions came with Windows 2000 and XP and are looked
// up at run time, so that the program still starts on the Windows 95
// family and NT 4.0, which are asked nothing here.
//
// The listing is asked on a thread of its own and waited for no longer than
// the run allows (win32_wait.h); that thread only asks and keeps UTF-16 in
// its own block, and the program's own thread makes the Shift-JIS names
// once the answers are back.  The volume of a path is asked from its
// drive's own questions, within the drive's time.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "platform/platform.h"
#include "platform/wide_text.h"
#include "platform/win32_asking.h"
#include "platform/win32_text.h"
#include "platform/win32_wait.h"

namespace {

typedef HANDLE(WINAPI* FindFirstVolumeFn)(LPWSTR, DWORD);
typedef BOOL(WINAPI* FindNextVolumeFn)(HANDLE, LPWSTR, DWORD);
typedef BOOL(WINAPI* FindVolumeCloseFn)(HANDLE);
typedef BOOL(WINAPI* PathNamesFn)(LPCWSTR, LPWSTR, DWORD, PDWORD);
typedef BOOL(WINAPI* VolumePathNameFn)(LPCWSTR, LPWSTR, DWORD);
typedef BOOL(WINAPI* MountPointVolumeFn)(LPCWSTR, LPWSTR, DWORD);

// NT 4.0 mounts nothing in folders, yet Wine posing as NT 4.0 still has
// the functions: the version decides, so that such a run stays as it was.
bool mounts_in_folders() {
  uint32_t id = 0, major = 0, minor = 0;
  return nt_family() && plat_version(&id, &major, &minor) && major >= 5;
}

// Runs `errand` within `ms` milliseconds (0: on this thread, as long as it
// takes).  False: it still waits, and belongs to its thread for good.
bool run_within(Errand* errand, uint32_t ms) {
  if (ms == 0 || !start_errand(errand)) {
    errand->run(errand);
    return true;
  }
  return finish_errand(errand, ms);
}

bool is_drive_root(const wchar_t* path) {
  return wcslen(path) == 3 && path[1] == L':' && path[2] == L'\\';
}

wchar_t* copy_wide(const wchar_t* text) {
  const size_t n = wcslen(text) + 1;
  wchar_t* copy = static_cast<wchar_t*>(malloc(n * sizeof(wchar_t)));
  if (copy) wmemcpy(copy, text, n);
  return copy;
}

// The listing as it is asked: the paths found so far, in UTF-16.
struct VolumeListing : Errand {
  FindFirstVolumeFn first;
  FindNextVolumeFn next;
  FindVolumeCloseFn close;
  PathNamesFn path_names;
  MountPointVolumeFn mount_point_volume;
  wchar_t** paths;
  size_t count;
  size_t capacity;
  MountList answer;
};

bool add_path(VolumeListing* listing, const wchar_t* path) {
  if (listing->count == listing->capacity) {
    const size_t capacity = listing->capacity ? listing->capacity * 2 : 16;
    void* grown = realloc(listing->paths, capacity * sizeof(wchar_t*));
    if (!grown) return false;
    listing->paths = static_cast<wchar_t**>(grown);
    listing->capacity = capacity;
  }
  wchar_t* copy = copy_wide(path);
  if (!copy) return false;
  listing->paths[listing->count++] = copy;
  return true;
}

// The paths of `volume` as GetVolumePathNamesForVolumeNameW lists them, in
// a new heap block that always ends in two NULs; null when they cannot be
// had (*failed) or memory runs out.
wchar_t* volume_paths_of(PathNamesFn path_names, const wchar_t* volume, bool* failed) {
  DWORD size = MAX_PATH + 1;
  *failed = false;
  for (int attempt = 0; attempt < 4; ++attempt) {
    // Two units more, always NUL: the list ends inside the block whatever
    // the system wrote.
    wchar_t* names = static_cast<wchar_t*>(calloc(size + 2, sizeof(wchar_t)));
    if (!names) return nullptr;
    DWORD needed = 0;
    if (path_names(volume, names, size, &needed)) return names;
    free(names);
    if (GetLastError() != ERROR_MORE_DATA || needed <= size) break;
    size = needed;
  }
  *failed = true;
  return nullptr;
}

// Whether a drive letter of the system reaches `volume`.
bool lettered(const VolumeListing* listing, const wchar_t* volume) {
  const DWORD letters = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(letters & (1u << i))) continue;
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
    wchar_t name[MAX_PATH + 1] = {};
    if (listing->mount_point_volume(root, name, MAX_PATH) && lstrcmpiW(name, volume) == 0) {
      return true;
    }
  }
  return false;
}

// The folders of one volume.  A volume whose paths cannot be read is named
// by its volume name, unless a drive letter reaches it: a volume is listed
// once.  False when memory runs out.
bool add_volume_paths(VolumeListing* listing, const wchar_t* volume) {
  bool failed = false;
  wchar_t* names = volume_paths_of(listing->path_names, volume, &failed);
  if (!names) return failed && (lettered(listing, volume) || add_path(listing, volume));
  bool added = true;
  for (const wchar_t* path = names; *path && added; path += wcslen(path) + 1) {
    if (!is_drive_root(path)) added = add_path(listing, path);
  }
  free(names);
  return added;
}

void list_volumes(Errand* errand) {
  VolumeListing* listing = static_cast<VolumeListing*>(errand);
  wchar_t volume[MAX_PATH + 1];
  HANDLE search = listing->first(volume, MAX_PATH);
  if (search == INVALID_HANDLE_VALUE) {
    listing->answer = GetLastError() == ERROR_NO_MORE_FILES ? MountList::kOk : MountList::kFailed;
    return;
  }
  listing->answer = MountList::kOk;
  for (;;) {
    volume[MAX_PATH] = L'\0';
    if (!add_volume_paths(listing, volume)) {
      listing->answer = MountList::kFailed;
      break;
    }
    if (!listing->next(search, volume, MAX_PATH)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) listing->answer = MountList::kFailed;
      break;
    }
  }
  listing->close(search);
}

// A path the system gave, as the program names it for the rest of the run;
// false when memory runs out.
bool keep_folder(const wchar_t* wide, MountFolder* folder) {
  const size_t n = wcslen(wide);
  char* path = narrow_text(kShiftJis, wide, n);
  char16_t* units = static_cast<char16_t*>(malloc((n + 1) * sizeof(char16_t)));
  if (!path || !units) {
    free(path);
    free(units);
    return false;
  }
  for (size_t i = 0; i <= n; ++i) units[i] = static_cast<char16_t>(wide[i]);
  folder->path = path;
  folder->wide_path = units;
  return true;
}

}  // namespace

MountList plat_mount_folders(uint32_t ms, const MountFolder** folders, size_t* count) {
  *folders = nullptr;
  *count = 0;
  if (!mounts_in_folders()) return MountList::kMissing;
  VolumeListing found = {};
  found.first = kernel_function<FindFirstVolumeFn>("FindFirstVolumeW");
  found.next = kernel_function<FindNextVolumeFn>("FindNextVolumeW");
  found.close = kernel_function<FindVolumeCloseFn>("FindVolumeClose");
  found.path_names = kernel_function<PathNamesFn>("GetVolumePathNamesForVolumeNameW");
  found.mount_point_volume =
      kernel_function<MountPointVolumeFn>("GetVolumeNameForVolumeMountPointW");
  if (!found.first || !found.next || !found.close || !found.path_names ||
      !found.mount_point_volume) {
    return MountList::kMissing;
  }
  VolumeListing* listing = static_cast<VolumeListing*>(malloc(sizeof(VolumeListing)));
  if (!listing) return MountList::kFailed;
  *listing = found;
  listing->run = list_volumes;
  listing->answer = MountList::kFailed;
  if (!run_within(listing, ms)) return MountList::kNoAnswer;
  MountList answer = listing->answer;
  MountFolder* kept = listing->count
                          ? static_cast<MountFolder*>(calloc(listing->count, sizeof(MountFolder)))
                          : nullptr;
  if (listing->count && !kept) answer = MountList::kFailed;
  size_t n = 0;
  for (size_t i = 0; i < listing->count; ++i) {
    if (kept && !keep_folder(listing->paths[i], &kept[n])) answer = MountList::kFailed;
    if (kept && kept[n].path) ++n;
    free(listing->paths[i]);
  }
  free(listing->paths);
  free(listing);
  *folders = kept;
  *count = n;
  return answer;
}

namespace {

// A UTF-16 text of the system's as the program keeps it; null when memory
// runs out.
char16_t* units_of(const wchar_t* text, size_t n) {
  char16_t* units = static_cast<char16_t*>(malloc((n + 1) * sizeof(char16_t)));
  if (!units) return nullptr;
  for (size_t i = 0; i < n; ++i) units[i] = static_cast<char16_t>(text[i]);
  units[n] = 0;
  return units;
}

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows holds UTF-16 in wchar_t");

const wchar_t* as_wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// A lookup's answer: kNoAnswer once the drive's time has run out, whatever
// the system said; otherwise the answer kept in `*out`.
Lookup answered(const DriveAsking* drive, bool ok, wchar_t* text, size_t n, char16_t** out) {
  if (out_of_time(drive)) return Lookup::kNoAnswer;
  if (!ok) return Lookup::kFailed;
  *out = units_of(text, n);
  return *out ? Lookup::kOk : Lookup::kFailed;
}

}  // namespace

Lookup plat_volume_path_name(DriveAsking* drive, const char16_t* path, char16_t** volume_path) {
  // Asked first: a system that mounts nothing in folders is asked for no
  // function of them at all.
  if (!mounts_in_folders()) return Lookup::kMissing;
  VolumePathNameFn volume_path_name = kernel_function<VolumePathNameFn>("GetVolumePathNameW");
  if (!volume_path_name) return Lookup::kMissing;
  // The volume's path is a start of the path, with a backslash after it.
  const DWORD size = static_cast<DWORD>(wcslen(as_wide(path))) + MAX_PATH + 2;
  wchar_t* folder = static_cast<wchar_t*>(calloc(size, sizeof(wchar_t)));
  if (!folder) return Lookup::kFailed;
  const bool ok = volume_path_name(as_wide(path), folder, size) != FALSE;
  folder[size - 1] = L'\0';
  const Lookup answer = answered(drive, ok, folder, wcslen(folder), volume_path);
  free(folder);
  return answer;
}

Lookup plat_volume_name_of(DriveAsking* drive, const char16_t* mount_point,
                           char16_t** volume_name) {
  if (!mounts_in_folders()) return Lookup::kMissing;
  MountPointVolumeFn mount_point_volume =
      kernel_function<MountPointVolumeFn>("GetVolumeNameForVolumeMountPointW");
  if (!mount_point_volume) return Lookup::kMissing;
  wchar_t name[MAX_PATH + 1] = {};
  const bool ok = mount_point_volume(as_wide(mount_point), name, MAX_PATH) != FALSE;
  return answered(drive, ok, name, wcslen(name), volume_name);
}

Lookup plat_volume_paths(DriveAsking* drive, const char16_t* volume_name, char16_t** paths) {
  if (!mounts_in_folders()) return Lookup::kMissing;
  PathNamesFn path_names = kernel_function<PathNamesFn>("GetVolumePathNamesForVolumeNameW");
  if (!path_names) return Lookup::kMissing;
  bool failed = false;
  wchar_t* names = volume_paths_of(path_names, as_wide(volume_name), &failed);
  size_t n = 0;
  // The whole list, each path's NUL and the list's own.
  while (names && names[n]) n += wcslen(names + n) + 1;
  const Lookup answer = answered(drive, names != nullptr, names, n, paths);
  free(names);
  return answer;
}

char* plat_shift_jis(const char16_t* units, size_t n) {
  return narrow_text(kShiftJis, as_wide(units), n);
}
