#include "config/env_refs.h"

#include <cstring>

#include "platform/platform.h"
#include "text/sjis.h"
#include "text/strings.h"

const char* env_lookup(const char* name) {
  size_t length = strlen(name);
  if (length == 0) return nullptr;
  char** environment = plat_environment();
  if (!environment) return nullptr;
  for (char** entry = environment; *entry; ++entry) {
    const char* text = *entry;
    // Windows keeps per-drive current directories as "=C:=C:\..." entries.
    if (text[0] == '=') continue;
    const char* equals = strchr(text, '=');
    if (!equals || static_cast<size_t>(equals - text) != length) continue;
    size_t i = 0;
    while (i < length && to_upper_ascii(static_cast<unsigned char>(text[i])) ==
                             to_upper_ascii(static_cast<unsigned char>(name[i]))) {
      ++i;
    }
    if (i == length) return equals + 1;
  }
  return nullptr;
}

void expand_env_refs(char* line, size_t line_size, char* name_buffer, size_t name_capacity) {
  char* scan = line;
  while (extract_between(scan, name_buffer, name_capacity, "%", "%")) {
    const char* value = env_lookup(name_buffer);
    if (!value) value = "";
    insert_text(name_buffer, 0, "%");
    strcat(name_buffer, "%");
    // What does not fit the line stays unexpanded, like an overlong name.
    if (strlen(line) - strlen(name_buffer) + strlen(value) >= line_size) return;
    // The first reference at or after the scan position is the one just
    // found: no "%" lies between them.  Scanning goes on after the value.
    scan = replace_first(scan, name_buffer, value);
    if (!scan) return;
  }
}
