#include "driver/options.h"

#include <cstdint>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
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

// Decimal digits after a switch letter, up to `most`, as a switch value;
// *end is set past them.  False without a digit or past `most`.
bool read_number(const char* letter, uint64_t most, uint64_t* value, const char** end) {
  const char* digit = letter + 1;
  uint64_t n = 0;
  for (; *digit >= '0' && *digit <= '9'; ++digit) {
    const uint64_t d = static_cast<uint64_t>(*digit - '0');
    // Stopped before it can wrap, however many digits follow.
    if (n > (most - d) / 10) return false;
    n = n * 10 + d;
  }
  if (digit == letter + 1) return false;
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
  if (!read_number(letter, 86400, &seconds, &end) || !at_switch_end(end)) return false;
  settings.time_limit = static_cast<uint32_t>(seconds);
  return true;
}

// "u" and the share in percent at which a drive counts as full, 1 to 100;
// "u-" sets none.
bool set_used_limit(const char* letter) {
  if (match_option(letter, "u-")) {
    settings.used_limit = 0;
    return true;
  }
  uint64_t percent = 0;
  const char* end = nullptr;
  if (!read_number(letter, 100, &percent, &end) || percent == 0 || !at_switch_end(end))
    return false;
  settings.used_limit = static_cast<uint32_t>(percent);
  return true;
}

// "f" and the free space below which a drive counts as full: a whole
// number of bytes, or of K, M, G or T (powers of 1024, as the reports
// count); "f-" sets none.
bool set_free_limit(const char* letter) {
  if (match_option(letter, "f-")) {
    settings.free_limit_set = false;
    return true;
  }
  uint64_t count = 0;
  const char* end = nullptr;
  if (!read_number(letter, UINT64_MAX, &count, &end)) return false;
  int shift = 0;
  switch (to_upper_ascii(static_cast<unsigned char>(*end))) {
    case 'K': shift = 10; break;
    case 'M': shift = 20; break;
    case 'G': shift = 30; break;
    case 'T': shift = 40; break;
    default: break;
  }
  if (shift != 0) ++end;
  if (!at_switch_end(end) || count > (UINT64_MAX >> shift)) return false;
  settings.free_limit = count << shift;
  settings.free_limit_set = true;
  return true;
}

bool apply_switch(const char* letter) {
  switch (to_upper_ascii(static_cast<unsigned char>(*letter))) {
    case 'A': return set_flag(letter, "a", "a-", &settings.all_drives, 1);
    case 'F': return set_free_limit(letter);
    case 'J': return set_flag(letter, "j", "j-", &settings.json_output, 1);
    case 'L': return set_flag(letter, "l", "l-", &settings.list_mode, 1);
    case 'P': return set_flag(letter, "p", "p-", &settings.pause_mode, 0);
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
    case 'U': return set_used_limit(letter);
    default:
      return false;
  }
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
    // An empty text has no letter to step to (possible only when the switch
    // character is NUL); it is refused like any other invalid switch.
    if (*at == '\0' || !apply_switch(at + 1)) {
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
