#include "report/json.h"

#include <cstdio>

#include "console/output.h"
#include "report/scale.h"
#include "text/units.h"

namespace {

// Ends the line with `ending` and indents the next to the writer's depth.
void new_line(const JsonWriter* w, const char* ending) {
  out_puts(ending);
  for (int i = 0; i < w->depth; ++i) out_puts("  ");
}

// The line break and indent before a member or element, and its key.
void next_item(JsonWriter* w, const char* key) {
  if (w->depth > 0) new_line(w, w->empty ? "\n" : ",\n");
  w->empty = false;
  if (key) {
    out_puts("\"");
    out_puts(key);
    out_puts("\": ");
  }
}

}  // namespace

size_t json_escape_unit(char16_t unit, char* out) {
  switch (unit) {
    case '"': return static_cast<size_t>(snprintf(out, 7, "\\\""));
    case '\\': return static_cast<size_t>(snprintf(out, 7, "\\\\"));
    case '\n': return static_cast<size_t>(snprintf(out, 7, "\\n"));
    case '\r': return static_cast<size_t>(snprintf(out, 7, "\\r"));
    case '\t': return static_cast<size_t>(snprintf(out, 7, "\\t"));
    default: break;
  }
  // Control characters, DEL and everything beyond ASCII, surrogates one by
  // one, as their units.
  if (unit < 0x20 || unit >= 0x7F) {
    return static_cast<size_t>(snprintf(out, 7, "\\u%04x", static_cast<unsigned>(unit)));
  }
  out[0] = static_cast<char>(unit);
  out[1] = '\0';
  return 1;
}

void json_open(JsonWriter* w, const char* key, char bracket) {
  next_item(w, key);
  out_write(&bracket, 1);
  ++w->depth;
  w->empty = true;
}

void json_close(JsonWriter* w, char bracket) {
  --w->depth;
  if (!w->empty) new_line(w, "\n");
  out_write(&bracket, 1);
  w->empty = false;
  if (w->depth == 0) out_puts("\n");
}

void json_number(JsonWriter* w, const char* key, uint64_t value) {
  next_item(w, key);
  json_number_text(value);
}

void json_integer(JsonWriter* w, const char* key, int64_t value, bool known) {
  next_item(w, key);
  if (!known) {
    out_puts("null");
    return;
  }
  if (value < 0) out_puts("-");
  json_number_text(magnitude(value));
}

void json_bool(JsonWriter* w, const char* key, bool value) {
  next_item(w, key);
  out_puts(value ? "true" : "false");
}

void json_begin_string(JsonWriter* w, const char* key) {
  next_item(w, key);
  out_puts("\"");
}

void json_ascii(const char* text) {
  char escaped[7];
  for (; *text; ++text) {
    out_write(escaped, json_escape_unit(static_cast<unsigned char>(*text), escaped));
  }
}

void json_units(const char16_t* units, size_t n) {
  char escaped[7];
  for (size_t i = 0; i < n; ++i) out_write(escaped, json_escape_unit(units[i], escaped));
}

void json_end_string() { out_puts("\""); }

void json_number_text(uint64_t value) {
  char digits[21];
  out_puts(format_decimal(value, digits));
}

void json_ascii_member(JsonWriter* w, const char* key, const char* text) {
  json_begin_string(w, key);
  json_ascii(text);
  json_end_string();
}

void json_units_member(JsonWriter* w, const char* key, const char16_t* units) {
  json_begin_string(w, key);
  json_units(units, units_length(units));
  json_end_string();
}
