#include "platform/sim_scenario.h"

#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "report/history_line.h"
#include "text/sjis.h"

namespace {

std::string g_file;
int g_line = 0;

[[noreturn]] void fail(const std::string& message) {
  fprintf(stderr, "volsurvey-sim: %s:%d: %s\n", g_file.c_str(), g_line, message.c_str());
  exit(2);
}

// Converts `in` from one character set to another with iconv; false when
// some of it has no form in the target.
bool convert(const char* to, const char* from, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  // (iconv_t)-1 is how iconv_open says it failed.
  if (cd == reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
    fail(std::string("iconv cannot convert to ") + to);
  }
  std::string source = in;
  std::string converted(in.size() * 4 + 8, '\0');
  char* inp = &source[0];
  size_t in_left = source.size();
  char* outp = &converted[0];
  size_t out_left = converted.size();
  size_t r = iconv(cd, &inp, &in_left, &outp, &out_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return false;
  out->assign(converted.data(), converted.size() - out_left);
  return true;
}

// Scenario files are UTF-8 so that they read well; the program sees the
// Shift-JIS bytes a Japanese Windows would give.  \x{NN} stands for a raw
// byte, for text that no UTF-8 could spell.
std::string to_cp932(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t escape = text.find("\\x{", i);
    std::string plain = text.substr(i, escape == std::string::npos ? std::string::npos : escape - i);
    std::string converted;
    if (!convert("CP932", "UTF-8", plain, &converted)) fail("text has no Shift-JIS form: " + plain);
    out += converted;
    if (escape == std::string::npos) break;
    size_t close = text.find('}', escape);
    if (close == std::string::npos) fail("unclosed \\x{");
    out.push_back(static_cast<char>(strtoul(text.substr(escape + 3, close - escape - 3).c_str(), nullptr, 16)));
    i = close + 1;
  }
  return out;
}

std::u16string from_utf16le(const std::string& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  return units;
}

// A label or file-system name as the system gives it: its UTF-16 exact,
// its Shift-JIS form with "?" for each character Shift-JIS lacks, as the
// program's own narrowing makes it.  Text with \x{NN} bytes is those bytes,
// and its UTF-16 what they spell.
void set_name(const std::string& value, std::string* narrow, std::u16string* wide) {
  if (value.find("\\x{") != std::string::npos) {
    *narrow = to_cp932(value);
    *wide = sim_widen(*narrow);
    return;
  }
  std::string utf16;
  if (!convert("UTF-16LE", "UTF-8", value, &utf16)) fail("not UTF-8: " + value);
  *wide = from_utf16le(utf16);
  narrow->clear();
  for (size_t i = 0; i < value.size();) {
    size_t n = 1;
    while (i + n < value.size() && (static_cast<unsigned char>(value[i + n]) & 0xC0) == 0x80) ++n;
    std::string bytes;
    *narrow += convert("CP932", "UTF-8", value.substr(i, n), &bytes) ? bytes : "?";
    i += n;
  }
}

// Splits a line into words; "..." keeps blanks inside a word, and "" is an
// empty word.  A key="value" word keeps its key.
std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        if (close == std::string::npos) fail("unclosed quote");
        word += line.substr(i + 1, close - i - 1);
        i = close + 1;
      } else {
        word += line[i++];
      }
    }
    words.push_back(word);
  }
  return words;
}

uint64_t number(const std::string& text) {
  if (text.empty()) fail("missing number");
  char* end = nullptr;
  errno = 0;
  uint64_t value = strtoull(text.c_str(), &end, 0);
  if (errno || *end) fail("not a number: " + text);
  return value;
}

uint32_t number32(const std::string& text) {
  uint64_t value = number(text);
  if (value > 0xFFFFFFFFu) fail("more than 32 bits: " + text);
  return static_cast<uint32_t>(value);
}

std::vector<std::string> fields(const std::string& text, size_t count) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) parts.push_back(part);
  if (parts.size() != count) fail("expected " + std::to_string(count) + " numbers: " + text);
  return parts;
}

// The drive of `root`, compared ignoring ASCII case as Windows does.
std::vector<SimDrive>::const_iterator find_drive(const std::vector<SimDrive>& drives,
                                                 const char* root) {
  return std::find_if(drives.begin(), drives.end(), [root](const SimDrive& d) {
    return strcasecmp(d.root.c_str(), root) == 0;
  });
}

// A path as written in the scenario, a final backslash added where its
// bytes (\x{5C} among them) do not end in one already.
SimPath path_of(const std::string& text) {
  SimPath path;
  set_name(text, &path.narrow, &path.wide);
  if (path.narrow.empty() || path.narrow.back() != '\\') {
    path.narrow += '\\';
    path.wide += u'\\';
  }
  return path;
}

SimDrive& drive_for(SimScenario* s, const std::string& root) {
  SimPath key = path_of(root);
  for (SimDrive& d : s->drives) {
    if (strcasecmp(d.root.c_str(), key.narrow.c_str()) == 0 && sim_same_path(d.wide_root, key.wide))
      return d;
  }
  s->drives.emplace_back();
  s->drives.back().root = key.narrow;
  s->drives.back().wide_root = key.wide;
  return s->drives.back();
}

// volume NAME path=P ... or volume NAME paths=fail.
void parse_volume(SimScenario* s, const std::vector<std::string>& words) {
  if (words.size() < 2) fail("volume needs a volume name");
  SimVolume v;
  v.name = path_of(words[1]);
  for (size_t i = 2; i < words.size(); ++i) {
    if (words[i] == "paths=fail") {
      v.paths_ok = false;
    } else if (words[i].compare(0, 5, "path=") == 0) {
      v.paths.push_back(path_of(words[i].substr(5)));
    } else {
      fail("volume takes path=PATH or paths=fail: " + words[i]);
    }
  }
  s->volumes.push_back(v);
}

// volumes missing, volumes fail, volumes pathname=fail, volumes wait=MS or
// wait=never.
void parse_volumes(SimScenario* s, const std::vector<std::string>& words) {
  if (words.size() != 2) fail("volumes takes missing, fail, pathname=fail or wait=MS");
  if (words[1] == "missing") {
    s->volume_functions = false;
  } else if (words[1] == "fail") {
    s->volumes_ok = false;
  } else if (words[1] == "pathname=fail") {
    s->volume_path_ok = false;
  } else if (words[1].compare(0, 5, "wait=") == 0) {
    std::string ms = words[1].substr(5);
    s->volumes_wait_ms = ms == "never" ? kSimNever : number32(ms);
  } else {
    fail("volumes takes missing, fail, pathname=fail or wait=MS: " + words[1]);
  }
}

// wait=QUERY:MS or wait=QUERY:never.
void parse_wait(SimDrive* d, const std::string& value) {
  static const char* const kQueries[kQueryCount] = {"type", "volume", "free", "freeex", "ioctl"};
  size_t colon = value.find(':');
  if (colon == std::string::npos) fail("wait takes QUERY:MS or QUERY:never: " + value);
  std::string query = value.substr(0, colon), ms = value.substr(colon + 1);
  auto found = std::find(std::begin(kQueries), std::end(kQueries), query);
  if (found == std::end(kQueries)) fail("unknown query: " + query);
  d->wait_ms[found - std::begin(kQueries)] = ms == "never" ? kSimNever : number32(ms);
}

void parse_drive(SimScenario* s, const std::vector<std::string>& words) {
  if (words.size() < 2) fail("drive needs a root");
  SimDrive& d = drive_for(s, words[1]);
  for (size_t i = 2; i < words.size(); ++i) {
    size_t eq = words[i].find('=');
    if (eq == std::string::npos) fail("expected key=value: " + words[i]);
    std::string key = words[i].substr(0, eq), value = words[i].substr(eq + 1);
    bool failed = value == "fail";
    if (key == "type") {
      d.type = static_cast<int>(strtol(value.c_str(), nullptr, 0));
    } else if (key == "volume") {
      if (!failed && value != "notready") fail("volume= takes fail or notready");
      d.volume_ok = false;
      d.no_medium = !failed;
    } else if (key == "label") {
      set_name(value, &d.label, &d.wide_label);
    } else if (key == "serial") {
      d.serial = number32("0x" + value);
    } else if (key == "maxlen") {
      d.max_component = number32(value);
    } else if (key == "flags") {
      d.flags = number32(value);
    } else if (key == "fs") {
      set_name(value, &d.fs_name, &d.wide_fs_name);
    } else if (key == "free") {
      d.free_ok = !failed;
      if (!failed) {
        std::vector<std::string> f = fields(value, 4);
        for (int k = 0; k < 4; ++k) d.free[k] = number32(f[k]);
      }
    } else if (key == "freeex") {
      d.free_ex_ok = !failed;
      if (!failed) {
        std::vector<std::string> f = fields(value, 3);
        for (int k = 0; k < 3; ++k) d.free_ex[k] = number(f[k]);
      }
    } else if (key == "ioctl") {
      d.ioctl_ok = !failed;
      if (!failed) {
        std::vector<std::string> f = fields(value, 2);
        for (int k = 0; k < 2; ++k) d.ioctl[k] = number32(f[k]);
      }
    } else if (key == "wait") {
      parse_wait(&d, value);
    } else {
      fail("unknown drive key: " + key);
    }
  }
}

void parse_os(SimScenario* s, const std::vector<std::string>& words) {
  if (words.size() == 2 && words[1] == "fail") {
    s->version_ok = false;
    return;
  }
  if (words.size() != 3) fail("os takes a family and a version, or fail");
  if (words[1] == "nt") {
    s->platform_id = 2;
  } else if (words[1] == "9x") {
    s->platform_id = 1;
  } else if (words[1] == "win32s") {
    s->platform_id = 0;
  } else {
    fail("unknown family: " + words[1]);
  }
  size_t dot = words[2].find('.');
  if (dot == std::string::npos) fail("version is MAJOR.MINOR");
  s->major = number32(words[2].substr(0, dot));
  s->minor = number32(words[2].substr(dot + 1));
}

// A key by name, by code (0xNN) or as the one character it types.
unsigned char key_code(const std::string& name) {
  struct KeyName {
    const char* name;
    // cppcheck-suppress unusedStructMember ; read through the iterator below
    unsigned char code;
  };
  static const KeyName kNames[] = {{"ESC", 0x1B}, {"Enter", 0x0D}, {"Space", 0x20}, {"Shift", 0}};
  auto named = std::find_if(std::begin(kNames), std::end(kNames),
                            [&name](const KeyName& k) { return name == k.name; });
  if (named != std::end(kNames)) return named->code;
  if (name.size() > 2 && name.compare(0, 2, "0x") == 0) {
    uint32_t code = number32(name);
    if (code > 0xFF) fail("a key code is one byte: " + name);
    return static_cast<unsigned char>(code);
  }
  std::string bytes = to_cp932(name);
  if (bytes.size() != 1) fail("a key types one single-byte character: " + name);
  return static_cast<unsigned char>(bytes[0]);
}

void parse_input(SimScenario* s, const std::vector<std::string>& words) {
  SimInput input;
  input.pending = words[0] == "pending";
  size_t next = 1;
  if (words[0] == "event") {
    input.is_key = false;
  } else {
    if (words.size() < 2) fail(words[0] + " needs a key");
    input.character = key_code(words[1]);
    next = 2;
  }
  for (; next < words.size(); ++next) {
    if (words[next].compare(0, 6, "after=") != 0) fail("expected after=MS: " + words[next]);
    input.after_ms = number32(words[next].substr(6));
  }
  s->input.push_back(input);
}

void parse_console(SimScenario* s, const std::vector<std::string>& words) {
  s->console = true;
  if (words.size() == 2) {  // console 25: a window of 25 rows, buffer alike
    s->console_rows = static_cast<int32_t>(number32(words[1]));
    s->window_top = 0;
    s->window_bottom = s->console_rows - 1;
    return;
  }
  for (size_t i = 1; i < words.size(); ++i) {
    size_t eq = words[i].find('=');
    std::string key = words[i].substr(0, eq);
    int32_t value = static_cast<int32_t>(strtol(words[i].substr(eq + 1).c_str(), nullptr, 0));
    if (eq == std::string::npos) fail("expected key=value: " + words[i]);
    if (key == "rows") {
      s->console_rows = value;
    } else if (key == "top") {
      s->window_top = value;
    } else if (key == "bottom") {
      s->window_bottom = value;
    } else {
      fail("unknown console key: " + key);
    }
  }
}

void parse_line(SimScenario* s, const std::string& line) {
  std::vector<std::string> words = split_words(line);
  if (words.empty()) return;
  const std::string& verb = words[0];
  if (verb == "drive") {
    parse_drive(s, words);
  } else if (verb == "os") {
    parse_os(s, words);
  } else if (verb == "volume") {
    parse_volume(s, words);
  } else if (verb == "volumes") {
    parse_volumes(s, words);
  } else if (verb == "console") {
    parse_console(s, words);
  } else if (verb == "clock") {
    if (words.size() != 2) fail("clock takes the tick count at start");
    s->clock = number32(words[1]);
  } else if (verb == "key" || verb == "pending" || verb == "event") {
    parse_input(s, words);
  } else if (verb == "module") {
    if (words.size() != 2) fail("module takes one path, or fail");
    s->module_ok = words[1] != "fail";
    s->module = to_cp932(words[1]);
  } else if (verb == "stored") {
    if (words.size() != 2) fail("stored takes one file name, or fail");
    s->stored_given = true;
    s->stored_ok = words[1] != "fail";
    s->stored = to_cp932(words[1]);
  } else if (verb == "map") {
    if (words.size() != 3) fail("map takes a Windows folder and a host folder");
    std::string windows = to_cp932(words[1]);
    while (!windows.empty() && windows.back() == '\\') windows.pop_back();
    s->mappings.push_back({windows, words[2]});
  } else if (verb == "ansi") {
    if (words.size() != 2) fail("ansi takes a code page");
    s->ansi_code_page = number32(words[1]);
  } else if (verb == "letters") {
    if (words.size() != 2) fail("letters takes the drive letters, as in ACDZ");
    s->logical_drives_given = true;
    s->logical_drives = 0;
    for (char c : words[1]) {
      if (c < 'A' || c > 'Z') fail("not a drive letter: " + std::string(1, c));
      s->logical_drives |= 1u << (c - 'A');
    }
  } else if (verb == "no-freeex") {
    s->free_ex_present = false;
  } else if (verb == "cwd") {
    if (words.size() != 2) fail("cwd takes one path, or fail");
    s->cwd_ok = words[1] != "fail";
    s->cwd = to_cp932(words[1]);
  } else if (verb == "utc") {
    if (words.size() != 2 || !parse_utc(words[1].data(), words[1].size(), &s->utc_now)) {
      fail("utc takes a time as 2026-12-10T03:15:00Z");
    }
  } else {
    fail("unknown line: " + verb);
  }
}

// The NT family gives the program its paths in Shift-JIS; the 95 family
// in the system's ANSI code page.
bool paths_in_shift_jis(const SimScenario& s) {
  return s.platform_id == 2 || s.ansi_code_page == 932;
}

// What follows the last backslash of a path, a double-byte character
// taking its second byte with it where the path is Shift-JIS.
std::string final_component(const std::string& path, bool shift_jis) {
  size_t after = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (shift_jis && is_sjis_lead_byte(static_cast<unsigned char>(path[i])) &&
        i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\') {
      after = i + 1;
    }
  }
  return path.substr(after);
}

SimScenario load() {
  SimScenario s;
  const char* path = getenv("VOLSURVEY_SIM");
  if (!path || !*path) {
    fprintf(stderr, "volsurvey-sim: set VOLSURVEY_SIM to a scenario file\n");
    exit(2);
  }
  g_file = path;
  std::ifstream in(path);
  if (!in) fail("cannot open");
  std::string dir = g_file.substr(0, g_file.find_last_of('/') == std::string::npos
                                          ? 0
                                          : g_file.find_last_of('/'));
  s.scenario_dir = dir.empty() ? "." : dir;
  std::string line;
  while (std::getline(in, line)) {
    ++g_line;
    parse_line(&s, line);
  }
  if (!s.logical_drives_given) {
    for (const SimDrive& d : s.drives) {
      char letter = static_cast<char>(toupper(static_cast<unsigned char>(d.root[0])));
      if (d.root.size() == 3 && d.root[1] == ':' && letter >= 'A' && letter <= 'Z')
        s.logical_drives |= 1u << (letter - 'A');
    }
  }
  const std::string module_name = final_component(s.module, paths_in_shift_jis(s));
  if (!s.stored_given) s.stored = module_name;
  for (SimMapping& m : s.mappings)
    if (m.host.empty() || m.host[0] != '/') m.host = s.scenario_dir + "/" + m.host;
  if (s.mappings.empty()) {
    std::string folder = s.module.substr(0, s.module.size() - module_name.size());
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    s.mappings.push_back({folder, s.scenario_dir});
  }
  return s;
}

}  // namespace

bool sim_paths_in_shift_jis() { return paths_in_shift_jis(sim_scenario()); }

std::string sim_final_component(const std::string& path) {
  return final_component(path, sim_paths_in_shift_jis());
}

std::string sim_host_path(const std::string& path) {
  // A relative path lies in the current directory.
  const bool absolute = (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
  std::string windows_path = path;
  if (!absolute) {
    const std::string& cwd = sim_scenario().cwd;
    windows_path = cwd + (cwd.empty() || cwd.back() == '\\' ? "" : "\\") + path;
  }
  for (const SimMapping& m : sim_scenario().mappings) {
    size_t n = m.windows.size();
    if (windows_path.size() <= n || windows_path[n] != '\\' ||
        strncasecmp(windows_path.c_str(), m.windows.c_str(), n) != 0) {
      continue;
    }
    std::string rest = windows_path.substr(n);
    std::string host = m.host;
    for (size_t i = 0; i < rest.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(rest[i]);
      if (is_sjis_lead_byte(c) && i + 1 < rest.size()) {
        host += rest[i];
        host += rest[++i];
      } else {
        host += c == '\\' ? '/' : rest[i];
      }
    }
    return host;
  }
  return std::string();
}

const SimScenario& sim_scenario() {
  static const SimScenario scenario = load();
  return scenario;
}

std::u16string sim_widen(const std::string& bytes) {
  std::u16string wide;
  for (size_t i = 0; i < bytes.size();) {
    const bool pair = is_sjis_lead_byte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size();
    const size_t n = pair ? 2 : 1;
    std::string utf16;
    wide += convert("UTF-16LE", "CP932", bytes.substr(i, n), &utf16) ? from_utf16le(utf16)
                                                                     : std::u16string(1, u'\xFFFD');
    i += n;
  }
  return wide;
}

std::string sim_narrow(const std::u16string& units) {
  std::string narrow;
  for (size_t i = 0; i < units.size();) {
    const bool pair = units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < units.size() &&
                      units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
    const size_t n = pair ? 2 : 1;
    std::string utf16le, bytes;
    for (size_t k = 0; k < n; ++k) {
      utf16le += static_cast<char>(units[i + k] & 0xFF);
      utf16le += static_cast<char>(units[i + k] >> 8);
    }
    narrow += convert("CP932", "UTF-16LE", utf16le, &bytes) && !bytes.empty() ? bytes : "?";
    i += n;
  }
  return narrow;
}

const SimDrive* sim_find_drive(const char* root, const std::u16string* wide) {
  const std::vector<SimDrive>& drives = sim_scenario().drives;
  if (wide) {
    auto same = std::find_if(drives.begin(), drives.end(), [wide](const SimDrive& d) {
      return sim_same_path(d.wide_root, *wide);
    });
    return same == drives.end() ? nullptr : &*same;
  }
  auto found = find_drive(drives, root);
  return found == drives.end() ? nullptr : &*found;
}

bool sim_same_path(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - u'a' + u'A');
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - u'a' + u'A');
    if (x != y) return false;
  }
  return true;
}
