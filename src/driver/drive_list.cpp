#include "driver/drive_list.h"

#include <cstdlib>
#include <cstring>

#include "driver/args.h"
#include "driver/fatal.h"
#include "driver/mounts.h"
#include "driver/roots.h"
#include "platform/platform.h"
#include "text/sjis.h"
#include "text/units.h"

namespace {

// The current directory, however long; null when it cannot be had.
char* current_directory() {
  uint32_t size = 260;
  for (int attempt = 0; attempt < 8; ++attempt) {
    char* buffer = allocate(size);
    uint32_t length = plat_current_directory(buffer, size);
    if (length != 0 && length < size) return buffer;
    free(buffer);
    if (length == 0) return nullptr;
    size = length + 1;
  }
  return nullptr;
}

char16_t* wide_name(const char* text, const char* source) {
  char16_t* wide = plat_drive_name(text, strlen(text), source);
  if (!wide) fatal_error("メモリー不足");
  return wide;
}

// The entry of a drive named by `text`: a drive root or share root, or a
// path whose volume is found when the drive is asked.  For a path the
// root is its drive's, which stands where nothing is mounted in folders.
DriveEntry named_entry(const char* text) {
  DriveEntry entry = {nullptr, nullptr, text, wide_name(text, text), nullptr};
  entry.root = long_share_root(text);
  if (entry.root) {
    entry.wide_root = long_share_root(entry.wide_typed);
    return entry;
  }
  // "\\?\C:\..." is the path "C:\..."; the prefix is ASCII, as many units
  // as bytes.
  const size_t prefix = long_path_prefix_length(text);
  const char* named = text + prefix;
  const char16_t* wide = entry.wide_typed + prefix;
  entry.root = make_drive_root(named);
  if (!entry.root) return entry;
  if (below_drive_root(named)) entry.path = wide;
  // A root that begins the text is spelled as the text spells it.
  entry.wide_root = named == text ? wide_name(entry.root, text) : wide_name(entry.root, nullptr);
  return entry;
}

// The entries of every drive of the machine: its lettered drives, then the
// folders its volumes are mounted in.
void list_machine(uint32_t letters, DriveList* list) {
  list->whole_machine = true;
  size_t folder_count = 0;
  list->entries = allocate_array<DriveEntry>(26);
  for (int letter = 0; letter < 26; ++letter) {
    if (!(letters & (1u << letter))) continue;
    char* root = allocate(4);
    memcpy(root, "A:\\", 4);
    root[0] = static_cast<char>('A' + letter);
    list->entries[list->count++] = DriveEntry{root, wide_name(root, nullptr), nullptr, nullptr, nullptr};
  }
  MountFolder* folders = machine_mount_folders(&folder_count, &list->folders_unlisted);
  if (folder_count == 0) return;
  DriveEntry* entries = allocate_array<DriveEntry>(list->count + folder_count);
  memcpy(entries, list->entries, list->count * sizeof(DriveEntry));
  free(list->entries);
  list->entries = entries;
  for (size_t i = 0; i < folder_count; ++i) {
    const MountFolder& f = folders[i];
    const size_t length = strlen(f.path) + 1;
    char* root = allocate(length);
    memcpy(root, f.path, length);
    char16_t* wide = units_copy(f.wide_path, units_length(f.wide_path));
    if (!wide) fatal_error("メモリー不足");
    list->entries[list->count++] = DriveEntry{root, wide, nullptr, nullptr, nullptr};
  }
  free(folders);
}

}  // namespace

void list_drives(int argc, char** argv, int drive_count, bool every_drive, DriveList* list) {
  if (drive_count > 0) {
    list->entries = allocate_array<DriveEntry>(static_cast<size_t>(drive_count));
    for (int i = 1; i < argc; ++i) {
      if (!is_option_argument(argv[i])) list->entries[list->count++] = named_entry(argv[i]);
    }
    return;
  }
  const uint32_t letters = every_drive ? plat_logical_drives() : 0;
  if (letters != 0) return list_machine(letters, list);
  // No drive named: the current one, also with /a where the system cannot
  // list its drives, for it surely has the current one.  Standing in a
  // folder a volume is mounted in, that volume.
  list->entries = allocate_array<DriveEntry>(1);
  list->directory = current_directory();
  const char* directory = list->directory;
  const bool usable = directory && ((is_ascii_letter(static_cast<unsigned char>(directory[0])) &&
                                     directory[1] == ':') ||
                                    (directory[0] == '\\' && directory[1] == '\\'));
  DriveEntry entry = usable ? named_entry(directory) : DriveEntry{};
  if (!entry.root) {
    free(entry.wide_typed);
    fault_words("no current drive");
    fatal_error("現在のドライブを参照できません。");
  }
  list->entries[list->count++] = entry;
}

void settle_root(DriveEntry* entry, char* root, char16_t* wide_root) {
  free(entry->root);
  free(entry->wide_root);
  entry->root = root;
  entry->wide_root = wide_root;
}

DriveList::~DriveList() {
  for (size_t i = 0; i < count; ++i) {
    free(entries[i].root);
    free(entries[i].wide_root);
    free(entries[i].wide_typed);
  }
  free(entries);
  free(directory);
}
