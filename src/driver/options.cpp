#include "driver/options.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "driver/switch_values.h"
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

bool apply_switch(const char* letter) {
  switch (to_upper_ascii(static_cast<unsigned char>(*letter))) {
    case 'A': return set_flag(letter, "a", "a-", &settings.all_drives, 1);
    case 'D': return set_flag(letter, "d", "d-", &settings.local_only, 1);
    case 'E':
    case 'F': return set_level_switch(letter);
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
    case 'U': return set_level_switch(letter);
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
