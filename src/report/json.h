// A JSON document (RFC 8259) written to standard output as it goes, laid
// out two blanks an indent.  It is pure ASCII: every other character is a
// \u escape of its UTF-16 units, so the document reads the same in any
// code page and through any pipe.
#ifndef VOLSURVEY_REPORT_JSON_H_
#define VOLSURVEY_REPORT_JSON_H_

#include <cstddef>
#include <cstdint>

struct JsonWriter {
  int depth = 0;
  bool empty = true;  // nothing yet inside the innermost object or array
};

// Opens an object ('{') or array ('['), as the member `key` of the
// enclosing object, or as an element where `key` is null; closes it.
void json_open(JsonWriter* w, const char* key, char bracket);
void json_close(JsonWriter* w, char bracket);

void json_number(JsonWriter* w, const char* key, uint64_t value);
// A signed whole number, or null where `known` is false.
void json_integer(JsonWriter* w, const char* key, int64_t value, bool known);
void json_bool(JsonWriter* w, const char* key, bool value);

// A string member written in pieces: json_begin_string, any number of
// json_ascii and json_units, json_end_string.
void json_begin_string(JsonWriter* w, const char* key);
void json_ascii(const char* text);
void json_units(const char16_t* units, size_t n);
void json_end_string();

// A number inside a string being written.
void json_number_text(uint64_t value);

// A whole string member of ASCII text, or of NUL-terminated UTF-16.
void json_ascii_member(JsonWriter* w, const char* key, const char* text);
void json_units_member(JsonWriter* w, const char* key, const char16_t* units);

// The escaped form of one UTF-16 unit into `out` (room for 7 bytes, the
// NUL included); returns its length.
size_t json_escape_unit(char16_t unit, char* out);

#endif  // VOLSURVEY_REPORT_JSON_H_
