#include "driver/options.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "report/threshold.h"
#include "text/sjis.h"

namespace {

// Sets *flag from a switch that has a plain and a "-" form ("v" and "v-").
bool set_flag(const char* letter, const char* plain, const char* minus,
              int* flag, int plain_value) {
  if (match_option(letter, minus)) {
    *flag = !plain_value;
    return true;
  }
  if (match_option(letter, plain)) {
    *flag = plain_value;
    return true;
  }
  return false;
}

// Decimal digits at `digits`, up to `most`, as a switch value; *end is set
// past them.  False without a digit or past `most`.
bool read_number(const char* digits, uint64_t most, uint64_t* value, const char** end) {
  const char* digit = digits;
  uint64_t n = 0;
  for (; *digit >= '0' && *digit <= '9'; ++digit) {
    const uint64_t d = static_cast<uint64_t>(*digit - '0');
    // Stopped before it can wrap, however many digits follow.
    if (n > (most - d) / 10) return false;
    n = n * 10 + d;
  }
  if (digit == digits) return false;
  *value = n;
  *end = digit;
  return true;
}

// A switch's value ends with the text or at the "/" of the next switch.
bool at_switch_end(const char* at) { return *at == '\0' || *at == '/'; }

// "t" and the seconds a drive may take to answer, up to a day's worth.
bool set_time_limit(const char* letter) {
  uint64_t seconds = 0;
  const char* end = nullptr;
  if (!read_number(letter + 1, 86400, &seconds, &end) || !at_switch_end(end)) return false;
  settings.time_limit = static_cast<uint32_t>(seconds);
  return true;
}

// The bytes of a switch's value: up to the "/" of the next switch.
size_t value_length(const char* value) {
  const char* slash = strchr(value, '/');
  return slash ? static_cast<size_t>(slash - value) : strlen(value);
}

// What a level counts.
enum class Measure { kPercent, kBytes, kDays };

// One level of `n` bytes: a share in percent, 1 to 100; a free space, a
// whole number of bytes, or of K, M, G or T (powers of 1024, as the reports
// count); or whole days.
bool read_level(const char* text, size_t n, Measure measure, uint64_t* level) {
  char digits[32];
  if (n == 0 || n >= sizeof digits) return false;
  memcpy(digits, text, n);
  digits[n] = '\0';
  const char* end = nullptr;
  uint64_t count = 0;
  const uint64_t most = measure == Measure::kPercent ? 100 : measure == Measure::kDays ? 1000000 : UINT64_MAX;
  if (!read_number(digits, most, &count, &end)) return false;
  int shift = 0;
  if (measure == Measure::kBytes) {
    switch (to_upper_ascii(static_cast<unsigned char>(*end))) {
      case 'K': shift = 10; break;
      case 'M': shift = 20; break;
      case 'G': shift = 30; break;
      case 'T': shift = 40; break;
      default: break;
    }
    if (shift != 0) ++end;
  }
  if (*end != '\0' || count > (UINT64_MAX >> shift) || (measure == Measure::kPercent && count == 0)) {
    return false;
  }
  *level = count << shift;
  return true;
}

// "W,C" or "C" alone: the warning level before the critical one, a smaller
// share in use, or more free space or days left.
bool read_levels(const char* text, size_t n, Measure measure, Levels* levels) {
  Levels read;
  const char* comma = static_cast<const char*>(memchr(text, ',', n));
  const size_t critical_at = comma ? static_cast<size_t>(comma - text) + 1 : 0;
  if (!read_level(text + critical_at, n - critical_at, measure, &read.critical)) return false;
  read.critical_set = true;
  if (comma) {
    if (!read_level(text, critical_at - 1, measure, &read.warning)) return false;
    read.warning_set = true;
    const bool rising = measure == Measure::kPercent;
    if (rising ? read.warning >= read.critical : read.warning <= read.critical) return false;
  }
  *levels = read;
  return true;
}

bool is_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A drive's own levels, made or found by its root as a drive argument names
// it: a letter, a drive name or root ("D:\"), a mount folder or a share
// root, its final backslash optional.  Null when the root cannot be one.
DriveLevels* own_levels_entry(const char* root, size_t n) {
  char key[kDriveLevelRootSize];
  const unsigned char first = static_cast<unsigned char>(root[0]);
  if (n == 0 || n + 2 > sizeof key) return nullptr;
  if (is_letter(first) && (n == 1 || (root[1] == ':' && (n == 2 || (n == 3 && root[2] == '\\'))))) {
    memcpy(key, "A:\\", 4);
    key[0] = static_cast<char>(to_upper_ascii(first));
  } else {
    memcpy(key, root, n);
    if (root[n - 1] != '\\') key[n++] = '\\';
    key[n] = '\0';
  }
  for (size_t i = 0; i < own_levels.count; ++i) {
    if (same_root(own_levels.drives[i].root, key)) return &own_levels.drives[i];
  }
  if (own_levels.count == kDriveLevelsMost) return nullptr;
  DriveLevels* entry = &own_levels.drives[own_levels.count++];
  *entry = DriveLevels{};
  memcpy(entry->root, key, strlen(key) + 1);
  return entry;
}

// "u", "f" or "e" and its levels: "W,C" or "C" for every drive, "-" for
// none; "ROOT=W,C", "ROOT=C" or "ROOT=-" for one drive, the plain levels
// standing for the others.
bool set_levels(const char* letter, Measure measure, Levels* plain, bool DriveLevels::*given,
                Levels DriveLevels::*own) {
  const char* value = letter + 1;
  const size_t n = value_length(value);
  // The last "=", so that a folder's name may hold one.
  const char* equals = nullptr;
  for (const char* c = value; c < value + n; ++c) {
    if (*c == '=') equals = c;
  }
  const char* levels = equals ? equals + 1 : value;
  const size_t levels_length = n - static_cast<size_t>(levels - value);
  Levels read;
  const bool none = levels_length == 1 && levels[0] == '-';
  if (!none && !read_levels(levels, levels_length, measure, &read)) return false;
  if (!equals) {
    *plain = read;
    return true;
  }
  DriveLevels* entry = own_levels_entry(value, static_cast<size_t>(equals - value));
  if (!entry) return false;
  entry->*given = true;
  entry->*own = read;
  return true;
}

bool apply_switch(const char* letter) {
  switch (to_upper_ascii(static_cast<unsigned char>(*letter))) {
    case 'A': return set_flag(letter, "a", "a-", &settings.all_drives, 1);
    case 'D': return set_flag(letter, "d", "d-", &settings.local_only, 1);
    case 'E':
      return set_levels(letter, Measure::kDays, &settings.days_levels, &DriveLevels::days_given,
                        &DriveLevels::days);
    case 'F':
      return set_levels(letter, Measure::kBytes, &settings.free_levels, &DriveLevels::free_given,
                        &DriveLevels::free);
    case 'J': return set_flag(letter, "j", "j-", &settings.json_output, 1);
    case 'L': return set_flag(letter, "l", "l-", &settings.list_mode, 1);
    case 'M': return set_flag(letter, "m", "m-", &settings.plugin_output, 1);
    case 'P': return set_flag(letter, "p", "p-", &settings.pause_mode, 0);
    case 'R':
      if (!match_option(letter, "r-")) return false;
      settings.record_file = settings.record_source = nullptr;
      return true;
    case 'S': return set_flag(letter, "s", "s-", &settings.show_size, 0);
    case 'V': return set_flag(letter, "v", "v-", &settings.show_volume, 0);
    case 'W':
      if (match_option(letter, "w-")) {
        settings.wide_mode = 0;
        return true;
      }
      if (match_option(letter, "w")) {
        // The compact display is the size report alone.
        settings.wide_mode = 1;
        settings.show_size = 1;
        settings.show_volume = 0;
        return true;
      }
      return false;
    case 'T': return set_time_limit(letter);
    case 'U':
      return set_levels(letter, Measure::kPercent, &settings.used_levels,
                        &DriveLevels::used_given, &DriveLevels::used);
    default:
      return false;
  }
}

// "r" and the record's file name, the rest of `text`.  A name from the
// command line stays where it is, in the argument the system gave, so that
// the system is asked for the file as it spells it; a configuration line
// lasts only while it is read.
bool set_record_file(const char* name, const char* text, bool from_config) {
  static char* from_file = nullptr;
  if (*name == '\0') return false;
  if (!from_config) {
    settings.record_file = name;
    settings.record_source = text;
    return true;
  }
  const size_t n = strlen(name) + 1;
  char* copy = allocate(n);
  memcpy(copy, name, n);
  free(from_file);
  from_file = copy;
  settings.record_file = copy;
  settings.record_source = nullptr;
  return true;
}

// The words of a refused switch in a monitoring check's answer: ASCII, the
// switch's other bytes shown as "?".
void refused_words(const char* text, bool from_config) {
  static char words[128];
  const char* lead = from_config ? "invalid option in the configuration file: " : "invalid option ";
  size_t n = strlen(lead);
  memcpy(words, lead, n);
  for (; *text && n + 1 < sizeof words; ++text) {
    const unsigned char c = static_cast<unsigned char>(*text);
    words[n++] = c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  }
  words[n] = '\0';
  fault_words(words);
}

}  // namespace

bool match_option(const char* text, const char* name) {
  for (;; ++text, ++name) {
    unsigned char t = to_upper_ascii(static_cast<unsigned char>(*text));
    unsigned char n = to_upper_ascii(static_cast<unsigned char>(*name));
    if (t != n) return t == '/' && n == '\0';
    if (t == '\0') return true;
  }
}

void apply_options(const char* text, bool from_config) {
  const char* source = from_config ? "設定ファイル" : "";
  const char* at = text;
  for (;;) {
    // "r" takes the rest of the text as the record's file name, "/" and
    // all: it can only be the last switch of a group.
    if (*at != '\0' && to_upper_ascii(static_cast<unsigned char>(at[1])) == 'R' &&
        !match_option(at + 1, "r-") && set_record_file(at + 2, text, from_config)) {
      return;
    }
    // An empty text has no letter to step to (possible only when the switch
    // character is NUL); it is refused like any other invalid switch.
    if (*at == '\0' || !apply_switch(at + 1)) {
      refused_words(at, from_config);
      if (at == text) {
        fatal_error("%s無効オプション  %s\n※/?オプションで使用方法を表示します。\n",
                    source, text);
      }
      fatal_error(
          "%s無効オプション  %s\n※オプション群 %s の一部が無効です。\n"
          "※/?オプションで使用方法を表示します。\n",
          source, at, text);
    }
    at = strchr(at + 1, '/');
    if (!at) return;
  }
}
