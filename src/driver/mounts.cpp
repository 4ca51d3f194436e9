#include "driver/mounts.h"

#include <cstdio>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "text/sjis.h"

namespace {

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

}  // namespace

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

MountFolder* machine_mount_folders(size_t* count, bool* unlisted) {
  const MountFolder* listed = nullptr;
  *count = 0;
  const MountList answer = plat_mount_folders(settings.time_limit * 1000, &listed, count);
  *unlisted = answer == MountList::kFailed || answer == MountList::kNoAnswer;
  if (*unlisted) {
    char message[96];
    if (answer == MountList::kFailed) {
      snprintf(message, sizeof message, "ボリュームの一覧を参照できません。");
    } else {
      snprintf(message, sizeof message, "ボリュームの一覧が%u秒以内に応答しません。",
               static_cast<unsigned>(settings.time_limit));
    }
    drive_error(message);
  }
  if (*count == 0) return nullptr;
  MountFolder* folders = allocate_array<MountFolder>(*count);
  memcpy(folders, listed, *count * sizeof(MountFolder));
  sort_folders(folders, *count);
  return folders;
}
