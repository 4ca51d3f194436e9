// Volumes mounted in folders: the paths of every volume, and the mount
// folder that holds a path.  The functions came with Windows 2000 and XP
// and are looked up at run time, so that the program still starts on the
// Windows 95 family and NT 4.0, which are asked nothing here.
//
// Like a drive's questions, each is asked on a thread of its own and waited
// for no longer than the run allows (win32_wait.h).  That thread only asks
// and keeps UTF-16 in its own block; the program's own thread makes the
// Shift-JIS names once the answers are back.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "platform/platform.h"
#include "platform/wide_text.h"
#include "platform/win32_text.h"
#include "platform/win32_wait.h"

namespace {

typedef HANDLE(WINAPI* FindFirstVolumeFn)(LPWSTR, DWORD);
typedef BOOL(WINAPI* FindNextVolumeFn)(HANDLE, LPWSTR, DWORD);
typedef BOOL(WINAPI* FindVolumeCloseFn)(HANDLE);
typedef BOOL(WINAPI* PathNamesFn)(LPCWSTR, LPWSTR, DWORD, PDWORD);
typedef BOOL(WINAPI* VolumePathNameFn)(LPCWSTR, LPWSTR, DWORD);
typedef BOOL(WINAPI* MountPointVolumeFn)(LPCWSTR, LPWSTR, DWORD);

template <typename Function>
Function kernel_function(const char* name) {
  FARPROC entry = kernel_entry(name);
  return entry ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry)) : nullptr;
}

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

// The folders of one volume; a volume whose paths cannot be read is named
// by its volume name.  False when memory runs out.
bool add_volume_paths(VolumeListing* listing, const wchar_t* volume) {
  DWORD size = MAX_PATH + 1;
  wchar_t* names = nullptr;
  BOOL ok = FALSE;
  for (int attempt = 0; attempt < 4; ++attempt) {
    free(names);
    // Two units more, always NUL: the list ends inside the block whatever
    // the system wrote.
    names = static_cast<wchar_t*>(calloc(size + 2, sizeof(wchar_t)));
    if (!names) return false;
    DWORD needed = 0;
    ok = listing->path_names(volume, names, size, &needed);
    if (ok || GetLastError() != ERROR_MORE_DATA || needed <= size) break;
    size = needed;
  }
  bool added = true;
  if (!ok) {
    added = add_path(listing, volume);
  } else {
    for (const wchar_t* path = names; *path && added; path += wcslen(path) + 1) {
      if (!is_drive_root(path)) added = add_path(listing, path);
    }
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
  if (!path || !units || !keep_source(path, wide, n)) {
    free(path);
    free(units);
    return false;
  }
  for (size_t i = 0; i <= n; ++i) units[i] = static_cast<char16_t>(wide[i]);
  folder->path = path;
  folder->wide_path = units;
  return true;
}

// The mount folder of a path, as it is asked.
struct FolderQuery : Errand {
  VolumePathNameFn volume_path;
  MountPointVolumeFn mount_point_volume;
  wchar_t* path;
  wchar_t* folder;
  DWORD size;
  bool confirmed;
};

void find_folder(Errand* errand) {
  FolderQuery* query = static_cast<FolderQuery*>(errand);
  if (!query->volume_path(query->path, query->folder, query->size)) return;
  query->folder[query->size - 1] = L'\0';
  if (wcslen(query->folder) <= 3) return;
  // A folder that is no mount point of the system's own (Wine names the
  // folder of any Linux mount point) is not taken.
  wchar_t volume[MAX_PATH + 1];
  query->confirmed = query->mount_point_volume(query->folder, volume, MAX_PATH) != FALSE;
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
  if (!found.first || !found.next || !found.close || !found.path_names) return MountList::kMissing;
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

const char* plat_mount_folder_of(const char* path, uint32_t ms) {
  if (!mounts_in_folders()) return nullptr;
  VolumePathNameFn volume_path = kernel_function<VolumePathNameFn>("GetVolumePathNameW");
  MountPointVolumeFn mount_point_volume =
      kernel_function<MountPointVolumeFn>("GetVolumeNameForVolumeMountPointW");
  if (!volume_path || !mount_point_volume) return nullptr;
  FolderQuery* query = static_cast<FolderQuery*>(calloc(1, sizeof(FolderQuery)));
  if (!query) return nullptr;
  query->run = find_folder;
  query->volume_path = volume_path;
  query->mount_point_volume = mount_point_volume;
  query->path = widen_from(kShiftJis, source_of(path), path);
  // The mount folder is a start of the path, with a backslash after it.
  const size_t path_length = query->path ? wcslen(query->path) : 0;
  query->size = static_cast<DWORD>(path_length) + MAX_PATH + 2;
  query->folder = static_cast<wchar_t*>(calloc(query->size, sizeof(wchar_t)));
  if (!query->path || !query->folder) {
    free(query->path);
    free(query->folder);
    free(query);
    return nullptr;
  }
  if (!run_within(query, ms)) return nullptr;
  MountFolder kept = {nullptr, nullptr};
  if (query->confirmed) {
    // The letter as the roots of drive letters show it.
    wchar_t& letter = query->folder[0];
    if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
    if (keep_folder(query->folder, &kept)) free(const_cast<char16_t*>(kept.wide_path));
  }
  free(query->path);
  free(query->folder);
  free(query);
  return kept.path;
}
