#include "driver/switch_values.h"

#include <cstring>

#include "driver/settings.h"
#include "report/threshold.h"
#include "text/sjis.h"

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

namespace {

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

// A drive's own levels, made or found by its root as a drive argument names
// it: a letter, a drive name or root ("D:\"), a mount folder or a share
// root, its final backslash optional.  Null when the root cannot be one.
DriveLevels* own_levels_entry(const char* root, size_t n) {
  char key[kDriveLevelRootSize];
  const unsigned char first = static_cast<unsigned char>(root[0]);
  if (n == 0 || n + 2 > sizeof key) return nullptr;
  if (is_ascii_letter(first) && (n == 1 || (root[1] == ':' && (n == 2 || (n == 3 && root[2] == '\\'))))) {
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

}  // namespace

bool set_level_switch(const char* letter) {
  switch (to_upper_ascii(static_cast<unsigned char>(*letter))) {
    case 'E':
      return set_levels(letter, Measure::kDays, &settings.days_levels, &DriveLevels::days_given,
                        &DriveLevels::days);
    case 'F':
      return set_levels(letter, Measure::kBytes, &settings.free_levels, &DriveLevels::free_given,
                        &DriveLevels::free);
    case 'U':
      return set_levels(letter, Measure::kPercent, &settings.used_levels,
                        &DriveLevels::used_given, &DriveLevels::used);
    default: return false;
  }
}
