#include "driver/mounts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "text/scoped.h"
#include "text/sjis.h"

namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A folder's units as they order: the separator below every character, so
// that "C:\Data\" and what lies inside it come before "C:\Data2\".
unsigned order_unit(char16_t unit) {
  if (unit == u'\\') return 0;
  return unit < 0x80 ? to_upper_ascii(unit) : unit;
}

// A volume named by its volume name ("\\?\Volume{...}\") has no folder:
// it comes after every folder.
bool is_volume_name(const char16_t* path) { return path[0] == u'\\'; }

bool folder_before(const MountFolder& a, const MountFolder& b) {
  if (is_volume_name(a.wide_path) != is_volume_name(b.wide_path)) {
    return is_volume_name(b.wide_path);
  }
  const char16_t* x = a.wide_path;
  const char16_t* y = b.wide_path;
  for (; *x && *y; ++x, ++y) {
    if (order_unit(*x) != order_unit(*y)) return order_unit(*x) < order_unit(*y);
  }
  return *x == 0 && *y != 0;
}

char* copy_of(const char* text) {
  const size_t n = strlen(text) + 1;
  char* copy = allocate(n);
  memcpy(copy, text, n);
  return copy;
}

uint32_t limit_ms() { return settings.time_limit * 1000; }

}  // namespace

bool below_drive_root(const char* argument) {
  return is_ascii_letter(argument[0]) && argument[1] == ':' &&
         (argument[2] == '\\' || argument[2] == '/') && argument[3] != '\0';
}

bool folder_on_drive(const char* folder, const char* argument) {
  const size_t n = strlen(folder);
  return n > 3 && to_upper_ascii(static_cast<unsigned char>(folder[0])) ==
                      to_upper_ascii(static_cast<unsigned char>(argument[0])) &&
         folder[1] == ':' && folder[2] == '\\' && folder[n - 1] == '\\';
}

DriveEntry drive_entry_for(const char* argument) {
  // Asked only for a path: a letter or a drive name costs the system not
  // one question more than it always did.
  if (below_drive_root(argument)) {
    const char* folder = plat_mount_folder_of(argument, limit_ms());
    if (folder && folder_on_drive(folder, argument)) return DriveEntry{copy_of(folder), folder};
  }
  return DriveEntry{make_drive_root(argument), argument};
}

void sort_folders(MountFolder* folders, size_t count) {
  // Insertion: a machine has a handful of folders, and equal paths keep
  // the system's order.
  for (size_t i = 1; i < count; ++i) {
    const MountFolder folder = folders[i];
    size_t j = i;
    for (; j > 0 && folder_before(folder, folders[j - 1]); --j) folders[j] = folders[j - 1];
    folders[j] = folder;
  }
}

void add_mount_folders(DriveList* list) {
  const MountFolder* listed = nullptr;
  size_t count = 0;
  const MountList answer = plat_mount_folders(limit_ms(), &listed, &count);
  if (answer == MountList::kFailed || answer == MountList::kNoAnswer) {
    list->folders_unlisted = true;
    char message[96];
    if (answer == MountList::kFailed) {
      snprintf(message, sizeof message, "ボリュームの一覧を参照できません。");
    } else {
      snprintf(message, sizeof message, "ボリュームの一覧が%u秒以内に応答しません。",
               static_cast<unsigned>(settings.time_limit));
    }
    drive_error(message);
  }
  if (count == 0) return;
  MountFolder* folders = allocate_array<MountFolder>(count);
  ScopedFree folders_holder(folders);
  memcpy(folders, listed, count * sizeof(MountFolder));
  sort_folders(folders, count);
  DriveEntry* entries = allocate_array<DriveEntry>(list->count + count);
  if (list->count) memcpy(entries, list->entries, list->count * sizeof(DriveEntry));
  free(list->entries);
  list->entries = entries;
  for (size_t i = 0; i < count; ++i) {
    list->entries[list->count++] = DriveEntry{copy_of(folders[i].path), folders[i].path};
  }
}
