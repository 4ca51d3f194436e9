#include "fuzz_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/pager.h"
#include "console/pause.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "text/sjis.h"

namespace {

std::string g_config;
bool g_config_present = false;
std::vector<std::string> g_environment_text;
std::vector<char*> g_environment;
uint32_t g_platform_id = 2;
uint32_t g_seed = 0;

// A small hash of a root and the seed, so that each root gets answers of
// its own, zero sizes and failures among them.
uint32_t mix(const char* root, uint32_t salt) {
  uint32_t h = 2166136261u ^ g_seed ^ (salt * 16777619u);
  for (const char* p = root; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
  return h;
}

void copy_text(char* out, uint32_t size, const char* text) {
  snprintf(out, size, "%s", text);
}

}  // namespace

void fuzz_set_config(const std::string& bytes, bool present) {
  g_config = bytes;
  g_config_present = present;
}

void fuzz_set_environment(const std::vector<std::string>& entries) {
  g_environment_text = entries;
  g_environment.clear();
  for (std::string& e : g_environment_text) g_environment.push_back(&e[0]);
  g_environment.push_back(nullptr);
}

void fuzz_set_machine(uint32_t platform_id, uint32_t seed) {
  g_platform_id = platform_id;
  g_seed = seed;
}

void fuzz_reset_program_state() {
  settings = Settings{};
  own_levels = OwnLevels{};
  report_pager = ReportPager{};
  help_pager = HelpPager{};
  report_timer = PaceTimer{};
  help_timer = PaceTimer{};
}

struct DriveAsking {
  const char* root;
};

namespace {

// Now and then a drive stops answering, at any of its queries.
bool silent(const char* root, uint32_t salt) { return mix(root, salt) % 23 == 0; }

}  // namespace

DriveAsking* plat_ask_start(const char* root, const char16_t*, uint32_t, bool,
                            void (*ask)(DriveAsking* drive, void* context), void* context) {
  static DriveAsking drive;
  plat_ask_about(&drive, root ? root : "", nullptr);
  ask(&drive, context);
  return &drive;
}

bool plat_ask_about(DriveAsking* drive, const char* root, const char16_t*) {
  static char kept_root[4096];
  snprintf(kept_root, sizeof kept_root, "%s", root);
  drive->root = kept_root;
  return true;
}

bool plat_ask_settle(DriveAsking*, uint32_t) { return true; }

Answer plat_ask_finish(DriveAsking*) { return Answer::kOk; }

uint32_t plat_logical_drives() { return mix("letters", 0); }

char16_t* plat_drive_name(const char* text, size_t length, const char*) {
  char16_t* name = static_cast<char16_t*>(calloc(length + 1, sizeof(char16_t)));
  for (size_t i = 0; name && i < length; ++i) name[i] = static_cast<unsigned char>(text[i]);
  return name;
}

MountList plat_mount_folders(uint32_t, const MountFolder** folders, size_t* count) {
  // Folders inside one another, a name with a 0x5C second byte, and a
  // volume named by its volume name, in no order.
  static const MountFolder kFolders[] = {
      {"C:\\Data\\Sub\\", u"C:\\Data\\Sub\\"},
      {"\\\\?\\Volume{0}\\", u"\\\\?\\Volume{0}\\"},
      {"C:\\Data\\", u"C:\\Data\\"},
      {"D:\\\x83\x5C\\", u"D:\\\u30bd\\"},
  };
  const uint32_t kind = mix("volumes", 0) % 5;
  *folders = kFolders;
  *count = 0;
  if (kind == 0) return MountList::kMissing;
  if (kind == 1) return MountList::kNoAnswer;
  *count = kind == 3 ? 0 : 1 + mix("volumes", 1) % 4;
  return kind == 2 ? MountList::kFailed : MountList::kOk;
}

namespace {

char16_t* units_of(const char16_t* text) {
  size_t n = 0;
  while (text[n]) ++n;
  char16_t* units = static_cast<char16_t*>(calloc(n + 2, sizeof(char16_t)));
  for (size_t i = 0; units && i < n; ++i) units[i] = text[i];
  return units;
}

// A key for a path's answers, from its first units.
uint32_t path_mix(const char16_t* path, uint32_t salt) {
  char key[16] = {};
  for (size_t i = 0; i + 1 < sizeof key && path[i]; ++i) key[i] = static_cast<char>(path[i]);
  return mix(key, salt);
}

}  // namespace

Lookup plat_volume_path_name(DriveAsking*, const char16_t* path, char16_t** volume_path) {
  // Now and then a folder, on the path's drive or another, or the path's
  // own drive in another letter case, or no answer.
  static const char16_t* const kAnswers[] = {u"C:\\Data\\", u"c:\\", u"\\\\?\\Volume{0}\\",
                                             u"D:\\\u30bd\\", u"X:"};
  const uint32_t kind = path_mix(path, 7) % 8;
  if (kind == 5) return Lookup::kMissing;
  if (kind == 6) return Lookup::kNoAnswer;
  if (kind == 7) return Lookup::kFailed;
  *volume_path = units_of(kAnswers[kind]);
  return Lookup::kOk;
}

Lookup plat_volume_name_of(DriveAsking*, const char16_t* mount_point, char16_t** volume_name) {
  if (path_mix(mount_point, 8) % 3 == 0) return Lookup::kFailed;
  *volume_name = units_of(u"\\\\?\\Volume{0}\\");
  return Lookup::kOk;
}

Lookup plat_volume_paths(DriveAsking*, const char16_t* volume_name, char16_t** paths) {
  switch (path_mix(volume_name, 9) % 4) {
    case 0: return Lookup::kFailed;
    case 1: return Lookup::kNoAnswer;
    default: break;
  }
  // Two paths, each NUL-terminated, the list ended by an empty one.
  static const char16_t kList[] = u"C:\\DATA\\\0C:\\Data\\\0";
  *paths = static_cast<char16_t*>(malloc(sizeof kList));
  if (*paths) memcpy(*paths, kList, sizeof kList);
  return Lookup::kOk;
}

char* plat_shift_jis(const char16_t* units, size_t n) {
  char* text = static_cast<char*>(malloc(n + 1));
  for (size_t i = 0; text && i < n; ++i) text[i] = units[i] < 0x80 ? static_cast<char>(units[i]) : '?';
  if (text) text[n] = '\0';
  return text;
}

Answer plat_drive_type(DriveAsking* drive, int* type) {
  const char* root = drive->root;
  if (silent(root, 11)) return Answer::kNoAnswer;
  *type = static_cast<int>(mix(root, 1) % 9) - 1;
  return Answer::kOk;
}

Answer plat_volume_information(DriveAsking* drive, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags, char* fs_name,
                               char16_t* wide_label, char16_t* wide_fs_name, uint32_t size) {
  static const char* const kFileSystems[] = {"FAT", "FAT12", "FAT32", "NTFS", "CDFS", "UDF", ""};
  const char* root = drive->root;
  uint32_t h = mix(root, 2);
  if (silent(root, 12)) return Answer::kNoAnswer;
  if (h % 11 == 0) return Answer::kFailed;
  if (h % 11 == 1) return Answer::kNotReady;
  copy_text(label, size, root);
  copy_text(fs_name, size, kFileSystems[h % 7]);
  // Units of every kind, unpaired surrogates among them.
  if (size > 0) wide_label[0] = 0;
  for (uint32_t i = 0; i + 1 < size && i < 40; ++i) {
    wide_label[i] = static_cast<char16_t>(mix(root, 20 + i) & 0xFFFF);
    wide_label[i + 1] = 0;
  }
  if (size > 0) wide_fs_name[0] = 0;
  *serial = h;
  *max_component = h >> 8;
  *flags = h >> 4;
  return Answer::kOk;
}

bool plat_version(uint32_t* platform_id, uint32_t* major, uint32_t* minor) {
  if (g_platform_id > 2) return false;
  *platform_id = g_platform_id;
  *major = 4;
  *minor = 10;
  return true;
}

Answer plat_disk_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters) {
  const char* root = drive->root;
  uint32_t h = mix(root, 3);
  if (silent(root, 13)) return Answer::kNoAnswer;
  if (h % 13 == 0) return Answer::kFailed;
  *sectors_per_cluster = (h >> 4) % 129;  // 0 included
  *bytes_per_sector = h % 17 == 0 ? 0 : 512u << (h % 4);
  *total_clusters = mix(root, 4);
  *free_clusters = *total_clusters / ((h % 5) + 1);
  return Answer::kOk;
}

FreeSpaceEx plat_disk_free_space_ex(DriveAsking* drive, uint64_t* caller_free, uint64_t* total,
                                    uint64_t* total_free) {
  const char* root = drive->root;
  uint32_t h = mix(root, 5);
  if (h % 17 == 0) return FreeSpaceEx::kMissing;
  if (silent(root, 14)) return FreeSpaceEx::kNoAnswer;
  if (h % 13 == 0) return FreeSpaceEx::kFailed;
  *total = (uint64_t{mix(root, 6)} << (h % 24)) + h;
  *total_free = *total / ((h % 7) + 1);
  *caller_free = h % 3 == 0 ? *total_free / 2 : *total_free;
  return FreeSpaceEx::kOk;
}

Answer plat_ext_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector) {
  const char* root = drive->root;
  uint32_t h = mix(root, 7);
  if (silent(root, 15)) return Answer::kNoAnswer;
  if (h % 5 == 0) return Answer::kFailed;
  *sectors_per_cluster = (h >> 3) % 129;
  *bytes_per_sector = h % 19 == 0 ? 0 : 512u << (h % 3);
  return Answer::kOk;
}

uint32_t plat_current_directory(char* buffer, uint32_t size) {
  static const char kDirectory[] = "C:\\WORK";
  if (size < sizeof kDirectory) return sizeof kDirectory;
  memcpy(buffer, kDirectory, sizeof kDirectory);
  return sizeof kDirectory - 1;
}

uint32_t plat_module_file_name(char* buffer, uint32_t size) {
  static const char kModule[] = "C:\\TOOLS\\volsurvey.exe";
  if (size < sizeof kModule) return size;
  memcpy(buffer, kModule, sizeof kModule);
  return sizeof kModule - 1;
}

bool plat_stored_file_name(const char*, char* name, size_t size) {
  if (size < 14) return false;
  memcpy(name, "volsurvey.exe", 14);
  return true;
}

bool plat_path_lead_byte(unsigned char c) { return is_sjis_lead_byte(c); }

FILE* plat_open_file(const char*) {
  if (!g_config_present) return nullptr;
  if (g_config.empty()) return fopen("/dev/null", "rb");
  return fmemopen(&g_config[0], g_config.size(), "rb");
}

char** plat_environment() { return g_environment.empty() ? nullptr : g_environment.data(); }

bool plat_console_screen_info(int32_t*, int32_t*, int32_t*) { return false; }

void plat_flush_console_input() {}

bool plat_read_console_input(bool*, unsigned char*) { return false; }

void plat_text_colour(TextColour) {}

uint32_t plat_tick_count() { return 0; }

void plat_sleep(uint32_t) {}

bool plat_write(Stream, const char*, size_t) { return true; }

bool plat_flush(Stream) { return true; }

// No record of runs: the fuzzed runs leave no files behind.
RecordFile* plat_record_open(const char*, const char*) { return nullptr; }
uint64_t plat_record_size(RecordFile*) { return 0; }
size_t plat_record_read(RecordFile*, uint64_t, char*, size_t) { return 0; }
bool plat_record_lock(RecordFile*, uint32_t) { return false; }
void plat_record_unlock(RecordFile*) {}
bool plat_record_append(RecordFile*, const char*, size_t) { return false; }
void plat_record_close(RecordFile*) {}
int64_t plat_utc_now() { return 1796872500; }

void plat_plugin_output() {}

void plat_start(int*, char***) {}
