// The scripted platform of volsurvey-sim: every answer comes from the
// scenario, so the whole command runs and is tested on any host.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim_control.h"
#include "platform/sim_scenario.h"
#include "text/sjis.h"

namespace {

// The scripted clock and the input the user has not typed yet.
struct SimConsole {
  bool started = false;
  uint32_t tick = 0;
  size_t next_input = 0;
};

SimConsole g_console;

SimConsole& console() {
  if (!g_console.started) {
    g_console.started = true;
    g_console.tick = sim_scenario().clock;
  }
  return g_console;
}

void copy_text(char* out, uint32_t size, const std::string& text) {
  if (size == 0) return;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  memcpy(out, text.data(), n);
  out[n] = '\0';
}

void copy_units(char16_t* out, uint32_t size, const std::u16string& text) {
  if (size == 0) return;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  for (size_t i = 0; i < n; ++i) out[i] = text[i];
  out[n] = 0;
}

}  // namespace

// A drive being asked: all its questions are asked at once when it is
// started, on the scripted clock, which then goes back to the start so
// that the next drive is asked side by side with it.
// cppcheck-suppress ctuOneDefinitionRuleViolation ; one per platform, never linked together
struct DriveAsking {
  const SimDrive* d;
  std::string root;
  bool limited;
  uint32_t left_ms;     // of the drive's time
  uint32_t started;     // the tick at the start
  uint32_t took;        // how long its questions took
  bool stalled;         // a query never answered: the questions stay with it
};

namespace {

// Questions left with a query that never answers, as a thread would keep
// them; still reachable at the exit, so that nothing counts as leaked.
std::vector<void*>* g_stalled = new std::vector<void*>;

// A query of the drive that takes `takes` milliseconds of the scripted
// clock; kNoAnswer when that is more than the drive has left.
Answer waited_for(DriveAsking* drive, uint32_t takes, const char* what) {
  if (!drive->limited) {
    if (takes == kSimNever) {
      fprintf(stderr, "volsurvey-sim: %s never answers, and the run waits without a limit\n", what);
      exit(2);
    }
    console().tick += takes;
    return Answer::kOk;
  }
  if (takes > drive->left_ms) {
    console().tick += drive->left_ms;
    drive->left_ms = 0;
    drive->stalled = drive->stalled || takes == kSimNever;
    return Answer::kNoAnswer;
  }
  console().tick += takes;
  drive->left_ms -= takes;
  return Answer::kOk;
}

// A query of the drive takes the time the scenario gives it.
Answer waited(DriveAsking* drive, SimQuery query) {
  return waited_for(drive, drive->d ? drive->d->wait_ms[query] : 0, drive->root.c_str());
}

// The paths the scripted system listed, kept for the run, as the real
// platform keeps them.
std::vector<SimPath*>* g_listed = new std::vector<SimPath*>;

// The drive of a root: as the system spells it, or else by its "?" form.
const SimDrive* drive_of(const char* root, const char16_t* wide_root) {
  if (!root) return nullptr;
  const std::u16string wide = wide_root ? std::u16string(wide_root) : sim_widen(root);
  const SimDrive* d = sim_find_drive(root, &wide);
  return d ? d : sim_find_drive(root);
}

}  // namespace

DriveAsking* plat_ask_start(const char* root, const char16_t* wide_root, uint32_t ms, bool,
                            void (*ask)(DriveAsking* drive, void* context), void* context) {
  DriveAsking* drive = new DriveAsking{drive_of(root, wide_root), root ? root : "", ms != 0, ms,
                                       console().tick, 0, false};
  ask(drive, context);
  drive->took = console().tick - drive->started;
  console().tick = drive->started;
  // An answer that came in just as the drive's time ran out: the wait for
  // its questions ends at the same moment and does not see them done.
  if (drive->limited && drive->left_ms == 0 && drive->took > 0) drive->stalled = true;
  if (drive->stalled) g_stalled->push_back(context);
  return drive;
}

bool plat_ask_about(DriveAsking* drive, const char* root, const char16_t* wide_root) {
  drive->root = root;
  drive->d = drive_of(root, wide_root);
  return true;
}

bool plat_ask_settle(DriveAsking* drive, uint32_t ms) {
  // The next drive starts once this one is done, or `ms` later.
  const uint32_t waited_ms = drive->took < ms ? drive->took : ms;
  if (console().tick - drive->started < waited_ms) console().tick = drive->started + waited_ms;
  return console().tick - drive->started >= drive->took;
}

Answer plat_ask_finish(DriveAsking* drive) {
  // Done when its questions are, or now, if that is later.
  if (console().tick - drive->started < drive->took) console().tick = drive->started + drive->took;
  const bool stalled = drive->stalled;
  delete drive;
  return stalled ? Answer::kNoAnswer : Answer::kOk;
}

uint32_t plat_logical_drives() { return sim_scenario().logical_drives; }

char16_t* plat_drive_name(const char* text, size_t length, const char*) {
  const std::u16string name = sim_widen(std::string(text, length));
  char16_t* units = static_cast<char16_t*>(malloc((name.size() + 1) * sizeof(char16_t)));
  copy_units(units, static_cast<uint32_t>(name.size() + 1), name);
  return units;
}

Answer plat_drive_type(DriveAsking* drive, int* type) {
  Answer waiting = waited(drive, kQueryType);
  if (waiting != Answer::kOk) return waiting;
  *type = drive->d ? drive->d->type : 1;  // an unknown root has no root directory
  return Answer::kOk;
}

Answer plat_volume_information(DriveAsking* drive, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags,
                               char* fs_name, char16_t* wide_label, char16_t* wide_fs_name,
                               uint32_t size) {
  const SimDrive* d = drive->d;
  Answer waiting = waited(drive, kQueryVolume);
  if (waiting != Answer::kOk) return waiting;
  if (d && d->no_medium) return Answer::kNotReady;
  if (!d || !d->volume_ok) return Answer::kFailed;
  copy_text(label, size, d->label);
  copy_text(fs_name, size, d->fs_name);
  copy_units(wide_label, size, d->wide_label);
  copy_units(wide_fs_name, size, d->wide_fs_name);
  *serial = d->serial;
  *max_component = d->max_component;
  *flags = d->flags;
  return Answer::kOk;
}

bool plat_version(uint32_t* platform_id, uint32_t* major, uint32_t* minor) {
  const SimScenario& s = sim_scenario();
  if (!s.version_ok) return false;
  *platform_id = s.platform_id;
  *major = s.major;
  *minor = s.minor;
  return true;
}

Answer plat_disk_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters) {
  const SimDrive* d = drive->d;
  Answer waiting = waited(drive, kQueryFree);
  if (waiting != Answer::kOk) return waiting;
  if (!d || !d->free_ok) return Answer::kFailed;
  *sectors_per_cluster = d->free[0];
  *bytes_per_sector = d->free[1];
  *free_clusters = d->free[2];
  *total_clusters = d->free[3];
  return Answer::kOk;
}

FreeSpaceEx plat_disk_free_space_ex(DriveAsking* drive, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free) {
  if (!sim_scenario().free_ex_present) return FreeSpaceEx::kMissing;
  const SimDrive* d = drive->d;
  if (waited(drive, kQueryFreeEx) == Answer::kNoAnswer) return FreeSpaceEx::kNoAnswer;
  if (!d || !d->free_ex_ok) return FreeSpaceEx::kFailed;
  *caller_free = d->free_ex[0];
  *total = d->free_ex[1];
  *total_free = d->free_ex[2];
  return FreeSpaceEx::kOk;
}

Answer plat_ext_free_space(DriveAsking* drive, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector) {
  const SimDrive* d = drive->d;
  Answer waiting = waited(drive, kQueryIoctl);
  if (waiting != Answer::kOk) return waiting;
  if (!d || !d->ioctl_ok) return Answer::kFailed;
  *sectors_per_cluster = d->ioctl[0];
  *bytes_per_sector = d->ioctl[1];
  return Answer::kOk;
}

namespace {

// The functions of volumes mounted in folders: Windows 2000 on (the list
// of a volume's paths, Windows XP on), unless the scenario takes them away.
bool has_volume_functions(uint32_t major, uint32_t minor) {
  const SimScenario& s = sim_scenario();
  if (!s.volume_functions || s.platform_id != 2 || !s.version_ok) return false;
  return s.major > major || (s.major == major && s.minor >= minor);
}

// The listing's time on the scripted clock; false when it takes longer
// than `ms`.
bool volumes_answer(uint32_t ms) {
  const uint32_t takes = sim_scenario().volumes_wait_ms;
  if (ms != 0 && takes > ms) {
    console().tick += ms;
    return false;
  }
  if (takes == kSimNever) {
    fprintf(stderr, "volsurvey-sim: the volume list never answers, and the run waits without a limit\n");
    exit(2);
  }
  console().tick += takes;
  return true;
}

bool is_drive_root(const std::u16string& path) {
  return path.size() == 3 && path[1] == u':' && path[2] == u'\\';
}

// Whether `path` starts with `folder` (which ends in a backslash),
// ignoring ASCII case.
bool starts_with_folder(const std::u16string& path, const std::u16string& folder) {
  return path.size() >= folder.size() && sim_same_path(path.substr(0, folder.size()), folder);
}

// A drive letter of the system reaches the volume.
bool lettered(const SimVolume& v) {
  const uint32_t letters = sim_scenario().logical_drives;
  for (const SimPath& p : v.paths) {
    const char16_t letter = p.wide[0] >= u'a' ? static_cast<char16_t>(p.wide[0] - u'a' + u'A') : p.wide[0];
    if (is_drive_root(p.wide) && letter >= u'A' && letter <= u'Z' && (letters & (1u << (letter - u'A')))) {
      return true;
    }
  }
  return false;
}

// "." and ".." resolved and "/" read as "\", as GetFullPathNameW reads a
// path, the letter case kept; a final backslash always.
std::u16string full_path(const std::u16string& path) {
  std::u16string p = path;
  std::replace(p.begin(), p.end(), u'/', u'\\');
  const size_t root_length = p.size() >= 3 && p[1] == u':' ? 3 : 0;
  std::vector<std::u16string> parts;
  size_t at = root_length;
  while (at <= p.size()) {
    size_t end = p.find(u'\\', at);
    if (end == std::u16string::npos) end = p.size();
    const std::u16string part = p.substr(at, end - at);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::u16string full = p.substr(0, root_length);
  for (const std::u16string& part : parts) full += part + u"\\";
  return full;
}

char16_t* heap_units(const std::u16string& text) {
  char16_t* units = static_cast<char16_t*>(malloc((text.size() + 1) * sizeof(char16_t)));
  copy_units(units, static_cast<uint32_t>(text.size() + 1), text);
  return units;
}

const SimVolume* volume_named(const std::u16string& name) {
  const std::vector<SimVolume>& volumes = sim_scenario().volumes;
  auto found = std::find_if(volumes.begin(), volumes.end(),
                            [&name](const SimVolume& v) { return sim_same_path(v.name.wide, name); });
  return found == volumes.end() ? nullptr : &*found;
}

}  // namespace

MountList plat_mount_folders(uint32_t ms, const MountFolder** folders, size_t* count) {
  *folders = nullptr;
  *count = 0;
  if (!has_volume_functions(5, 1)) return MountList::kMissing;
  if (!volumes_answer(ms)) return MountList::kNoAnswer;
  const SimScenario& s = sim_scenario();
  if (!s.volumes_ok) return MountList::kFailed;
  static std::vector<MountFolder>* listed = new std::vector<MountFolder>;
  for (const SimVolume& v : s.volumes) {
    std::vector<const SimPath*> paths;
    // A volume whose paths cannot be read is named by its volume name,
    // unless a drive letter reaches it.
    if (!v.paths_ok && !lettered(v)) paths.push_back(&v.name);
    for (const SimPath& p : v.paths) {
      if (v.paths_ok && !is_drive_root(p.wide)) paths.push_back(&p);
    }
    for (const SimPath* p : paths) {
      g_listed->push_back(new SimPath(*p));
      listed->push_back(MountFolder{g_listed->back()->narrow.c_str(), g_listed->back()->wide.c_str()});
    }
  }
  *folders = listed->data();
  *count = listed->size();
  return MountList::kOk;
}

Lookup plat_volume_path_name(DriveAsking* drive, const char16_t* path, char16_t** volume_path) {
  if (!has_volume_functions(5, 0)) return Lookup::kMissing;
  if (waited_for(drive, sim_scenario().volumes_wait_ms, "GetVolumePathNameW") != Answer::kOk) {
    return Lookup::kNoAnswer;
  }
  if (!sim_scenario().volume_path_ok) return Lookup::kFailed;
  const std::u16string full = full_path(path);
  // The longest volume path that holds it (a folder inside a mounted
  // folder wins), else the drive's root; in the letter case it was typed.
  size_t best = full.size() >= 3 && full[1] == u':' ? 3 : 0;
  for (const SimVolume& v : sim_scenario().volumes) {
    for (const SimPath& p : v.paths) {
      if (starts_with_folder(full, p.wide)) best = std::max(best, p.wide.size());
    }
  }
  if (best == 0) return Lookup::kFailed;
  *volume_path = heap_units(full.substr(0, best));
  return Lookup::kOk;
}

Lookup plat_volume_name_of(DriveAsking*, const char16_t* mount_point, char16_t** volume_name) {
  if (!has_volume_functions(5, 0)) return Lookup::kMissing;
  const std::u16string point = mount_point;
  for (const SimVolume& v : sim_scenario().volumes) {
    if (std::any_of(v.paths.begin(), v.paths.end(),
                    [&point](const SimPath& p) { return sim_same_path(p.wide, point); })) {
      *volume_name = heap_units(v.name.wide);
      return Lookup::kOk;
    }
  }
  return Lookup::kFailed;
}

Lookup plat_volume_paths(DriveAsking*, const char16_t* volume_name, char16_t** paths) {
  if (!has_volume_functions(5, 1)) return Lookup::kMissing;
  const SimVolume* v = volume_named(volume_name);
  if (!v || !v->paths_ok) return Lookup::kFailed;
  std::u16string list;
  for (const SimPath& p : v->paths) list += p.wide + u'\0';
  *paths = heap_units(list);
  return Lookup::kOk;
}

char* plat_shift_jis(const char16_t* units, size_t n) {
  return strdup(sim_narrow(std::u16string(units, n)).c_str());
}

uint32_t plat_current_directory(char* buffer, uint32_t size) {
  const SimScenario& s = sim_scenario();
  if (!s.cwd_ok) {
    // Windows promises nothing about the buffer after a failure; a path
    // that looks right there shows up any caller that reads it all the same.
    copy_text(buffer, size, "D:\\");
    return 0;
  }
  if (s.cwd.size() >= size) return static_cast<uint32_t>(s.cwd.size() + 1);
  memcpy(buffer, s.cwd.c_str(), s.cwd.size() + 1);
  return static_cast<uint32_t>(s.cwd.size());
}

uint32_t plat_module_file_name(char* buffer, uint32_t size) {
  const SimScenario& s = sim_scenario();
  if (!s.module_ok) return 0;
  if (s.module.size() >= size) {  // truncated, as Windows XP leaves it
    memcpy(buffer, s.module.data(), size);
    return size;
  }
  memcpy(buffer, s.module.c_str(), s.module.size() + 1);
  return static_cast<uint32_t>(s.module.size());
}

bool plat_stored_file_name(const char* path, char* name, size_t size) {
  const SimScenario& s = sim_scenario();
  // Where the file cannot be found, its name stays as the module path has it.
  std::string stored = s.stored_ok && path == s.module ? s.stored : sim_final_component(path);
  if (stored.size() >= size) return false;
  memcpy(name, stored.c_str(), stored.size() + 1);
  return true;
}

namespace {

// Set by a test that reads no scenario; the scenario's own otherwise.
int g_paths_in_shift_jis = -1;

}  // namespace

void sim_set_paths_in_shift_jis(bool shift_jis) { g_paths_in_shift_jis = shift_jis ? 1 : 0; }

bool plat_path_lead_byte(unsigned char c) {
  bool shift_jis = g_paths_in_shift_jis < 0 ? sim_paths_in_shift_jis() : g_paths_in_shift_jis == 1;
  return shift_jis && is_sjis_lead_byte(c);
}

FILE* plat_open_file(const char* path) {
  std::string host = sim_host_path(path);
  struct stat info;
  // Windows opens no folder as a file.
  if (host.empty() || stat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return nullptr;
  // Nor a file nobody may read; root on the host would read it all the same.
  if ((info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) == 0) return nullptr;
  return fopen(host.c_str(), "rb");
}

char** plat_environment() { return environ; }

// The record of runs: a host file under the folders the scenario maps.
// cppcheck-suppress ctuOneDefinitionRuleViolation ; one per platform, never linked together
struct RecordFile {
  int fd;
};

RecordFile* plat_record_open(const char* path, const char*) {
  const std::string host = sim_host_path(path);
  struct stat info;
  const bool exists = !host.empty() && stat(host.c_str(), &info) == 0;
  // Nor a file nobody may write; root on the host would write it all the
  // same.
  if (host.empty() || (exists && (S_ISDIR(info.st_mode) || (info.st_mode & 0222) == 0))) {
    return nullptr;
  }
  const int fd = open(host.c_str(), O_RDWR | O_CREAT, 0644);
  return fd < 0 ? nullptr : new RecordFile{fd};
}

uint64_t plat_record_size(RecordFile* file) {
  struct stat info;
  return fstat(file->fd, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

size_t plat_record_read(RecordFile* file, uint64_t offset, char* buffer, size_t n) {
  const ssize_t read = pread(file->fd, buffer, n, static_cast<off_t>(offset));
  return read > 0 ? static_cast<size_t>(read) : 0;
}

bool plat_record_lock(RecordFile* file, uint32_t ms) {
  for (uint32_t waited = 0; flock(file->fd, LOCK_EX | LOCK_NB) != 0; waited += 10) {
    if (waited >= ms) return false;
    usleep(10000);
  }
  return true;
}

void plat_record_unlock(RecordFile* file) { flock(file->fd, LOCK_UN); }

bool plat_record_append(RecordFile* file, const char* bytes, size_t n) {
  return lseek(file->fd, 0, SEEK_END) >= 0 && write(file->fd, bytes, n) == static_cast<ssize_t>(n);
}

void plat_record_close(RecordFile* file) {
  close(file->fd);
  delete file;
}

int64_t plat_utc_now() { return sim_scenario().utc_now; }

bool plat_console_screen_info(int32_t* buffer_rows, int32_t* window_top,
                              int32_t* window_bottom) {
  const SimScenario& s = sim_scenario();
  if (!s.console) return false;
  *buffer_rows = s.console_rows;
  *window_top = s.window_top;
  *window_bottom = s.window_bottom;
  return true;
}

void plat_flush_console_input() {
  const std::vector<SimInput>& input = sim_scenario().input;
  SimConsole& c = console();
  while (c.next_input < input.size() && input[c.next_input].pending) ++c.next_input;
}

bool plat_read_console_input(bool* is_key_event, unsigned char* character) {
  const std::vector<SimInput>& input = sim_scenario().input;
  SimConsole& c = console();
  if (c.next_input >= input.size()) return false;  // no one left to type
  const SimInput& record = input[c.next_input++];
  c.tick += record.after_ms;
  *is_key_event = record.is_key;
  *character = record.character;
  return true;
}

namespace {

bool g_coloured = false;

// The colour changes are shown in standard output where they happen, as
// the scripted console's record of them.
void show_colour(TextColour colour) {
  static const char* const kShown[] = {"<colour normal>", "<colour warning>", "<colour critical>"};
  fputs(kShown[static_cast<int>(colour)], stdout);
  g_coloured = colour != TextColour::kNormal;
}

void restore_colours() {
  if (g_coloured) show_colour(TextColour::kNormal);
}

}  // namespace

void plat_text_colour(TextColour colour) {
  if (!sim_scenario().console) return;
  static bool restores_at_exit = false;
  if (!restores_at_exit) {
    restores_at_exit = true;
    atexit(restore_colours);
  }
  if (colour != TextColour::kNormal || g_coloured) show_colour(colour);
}

uint32_t plat_tick_count() { return console().tick; }

void plat_sleep(uint32_t ms) { console().tick += ms; }

void sim_set_tick(uint32_t tick) {
  g_console.started = true;  // a test's clock needs no scenario
  g_console.tick = tick;
}

uint32_t sim_tick() { return console().tick; }

namespace {

FILE* stream_file(Stream stream) { return stream == Stream::kOut ? stdout : stderr; }

}  // namespace

namespace {

// Writes how long the run took on the scripted clock to the file that
// VOLSURVEY_SIM_TIME names, for a test to read.
void write_scripted_time() {
  FILE* f = fopen(getenv("VOLSURVEY_SIM_TIME"), "w");
  if (!f) return;
  fprintf(f, "%u\n", static_cast<unsigned>(console().tick - sim_scenario().clock));
  fclose(f);
}

}  // namespace

void plat_start(int*, char***) {
  // A reader that went away is a failed write to be told, as on Windows,
  // not a signal that ends the process unheard.
  signal(SIGPIPE, SIG_IGN);
  if (getenv("VOLSURVEY_SIM_TIME")) atexit(write_scripted_time);
}

bool plat_write(Stream stream, const char* bytes, size_t n) {
  return fwrite(bytes, 1, n, stream_file(stream)) == n;
}

bool plat_flush(Stream stream) {
  FILE* file = stream_file(stream);
  return fflush(file) == 0 && !ferror(file);
}

void plat_plugin_output() {}
