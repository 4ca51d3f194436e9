#include "driver/options.h"

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

// "t" and the seconds a drive may take to answer: decimal digits up to a
// day's worth, followed by the end of the text or the "/" of the next
// switch.
bool set_time_limit(const char* letter) {
  const uint32_t kMostSeconds = 86400;
  const char* digit = letter + 1;
  uint32_t seconds = 0;
  for (; *digit >= '0' && *digit <= '9'; ++digit) {
    seconds = seconds * 10 + static_cast<uint32_t>(*digit - '0');
    // Stopped before it can wrap, however many digits follow.
    if (seconds > kMostSeconds) return false;
  }
  if (digit == letter + 1 || (*digit != '\0' && *digit != '/')) return false;
  settings.time_limit = seconds;
  return true;
}

bool apply_switch(const char* letter) {
  switch (to_upper_ascii(static_cast<unsigned char>(*letter))) {
    case 'A': return set_flag(letter, "a", "a-", &settings.all_drives, 1);
    case 'J': return set_flag(letter, "j", "j-", &settings.json_output, 1);
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
