// The scripted platform of volsurvey-sim: every answer comes from the
// scenario, so the whole command runs and is tested on any host.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

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

}  // namespace

// Scenario roots stand for themselves: no UTF-16 lies behind them.
void plat_root_source(const char*) {}

namespace {

// The time the drive now asked about may still wait for answers.
struct SimAllowance {
  bool limited = false;
  uint32_t left_ms = 0;
};

SimAllowance g_allowance;

// A query of `d` takes the time the scenario gives it, on the scripted
// clock; kNoAnswer when that is more than the drive has left.
Answer waited(const SimDrive* d, SimQuery query, const char* root) {
  uint32_t takes = d ? d->wait_ms[query] : 0;
  if (!g_allowance.limited) {
    if (takes == kSimNever) {
      fprintf(stderr, "volsurvey-sim: %s never answers, and the run waits without a limit\n",
              root);
      exit(2);
    }
    console().tick += takes;
    return Answer::kOk;
  }
  if (takes > g_allowance.left_ms) {
    console().tick += g_allowance.left_ms;
    g_allowance.left_ms = 0;
    return Answer::kNoAnswer;
  }
  console().tick += takes;
  g_allowance.left_ms -= takes;
  return Answer::kOk;
}

}  // namespace

void plat_drive_time_limit(uint32_t ms) { g_allowance = SimAllowance{ms != 0, ms}; }

Answer plat_drive_type(const char* root, int* type) {
  const SimDrive* d = sim_find_drive(root);
  Answer waiting = waited(d, kQueryType, root);
  if (waiting != Answer::kOk) return waiting;
  *type = d ? d->type : 1;  // an unknown root has no root directory
  return Answer::kOk;
}

Answer plat_volume_information(const char* root, char* label, uint32_t* serial,
                               uint32_t* max_component, uint32_t* flags,
                               char* fs_name, uint32_t size) {
  const SimDrive* d = sim_find_drive(root);
  Answer waiting = waited(d, kQueryVolume, root);
  if (waiting != Answer::kOk) return waiting;
  if (!d || !d->volume_ok) return Answer::kFailed;
  copy_text(label, size, d->label);
  copy_text(fs_name, size, d->fs_name);
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

Answer plat_disk_free_space(const char* root, uint32_t* sectors_per_cluster,
                            uint32_t* bytes_per_sector, uint32_t* free_clusters,
                            uint32_t* total_clusters) {
  const SimDrive* d = sim_find_drive(root);
  Answer waiting = waited(d, kQueryFree, root);
  if (waiting != Answer::kOk) return waiting;
  if (!d || !d->free_ok) return Answer::kFailed;
  *sectors_per_cluster = d->free[0];
  *bytes_per_sector = d->free[1];
  *free_clusters = d->free[2];
  *total_clusters = d->free[3];
  return Answer::kOk;
}

FreeSpaceEx plat_disk_free_space_ex(const char* root, uint64_t* caller_free,
                                    uint64_t* total, uint64_t* total_free) {
  if (!sim_scenario().free_ex_present) return FreeSpaceEx::kMissing;
  const SimDrive* d = sim_find_drive(root);
  if (waited(d, kQueryFreeEx, root) == Answer::kNoAnswer) return FreeSpaceEx::kNoAnswer;
  if (!d || !d->free_ex_ok) return FreeSpaceEx::kFailed;
  *caller_free = d->free_ex[0];
  *total = d->free_ex[1];
  *total_free = d->free_ex[2];
  return FreeSpaceEx::kOk;
}

Answer plat_ext_free_space(const char* root, uint32_t* sectors_per_cluster,
                           uint32_t* bytes_per_sector) {
  const SimDrive* d = sim_find_drive(root);
  Answer waiting = waited(d, kQueryIoctl, root);
  if (waiting != Answer::kOk) return waiting;
  if (!d || !d->ioctl_ok) return Answer::kFailed;
  *sectors_per_cluster = d->ioctl[0];
  *bytes_per_sector = d->ioctl[1];
  return Answer::kOk;
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

void plat_start(int*, char***) {
  // A reader that went away is a failed write to be told, as on Windows,
  // not a signal that ends the process unheard.
  signal(SIGPIPE, SIG_IGN);
}

bool plat_write(Stream stream, const char* bytes, size_t n) {
  return fwrite(bytes, 1, n, stream_file(stream)) == n;
}

bool plat_flush(Stream stream) {
  FILE* file = stream_file(stream);
  return fflush(file) == 0 && !ferror(file);
}
