#include "text/strings.h"

#include <cstdlib>
#include <cstring>

#include "text/sjis.h"

namespace {

bool is_lead(const char* p) { return is_sjis_lead_byte(static_cast<unsigned char>(*p)); }

}  // namespace

char* sjis_find_char(char* text, unsigned char byte) {
  for (char* p = text;;) {
    if (static_cast<unsigned char>(*p) == byte) return p;
    if (*p == '\0') return nullptr;
    if (is_lead(p)) {
      if (p[1] == '\0') return nullptr;
      p += 2;
    } else {
      ++p;
    }
  }
}

char* sjis_find_text(char* text, const char* pattern) {
  if (*pattern == '\0') return text;
  size_t length = strlen(pattern);
  for (char* p = text;;) {
    p = sjis_find_char(p, static_cast<unsigned char>(*pattern));
    if (!p) return nullptr;
    if (strncmp(p, pattern, length) == 0) return p;
    p += (is_lead(p) && p[1] != '\0') ? 2 : 1;
  }
}

void copy_bounded(char* target, const char* source, size_t n) {
  size_t i = 0;
  for (; i < n && source[i] != '\0'; ++i) target[i] = source[i];
  target[i] = '\0';
}

char* extract_between(char* text, char* out, size_t capacity, const char* open,
                      const char* close) {
  char* start = sjis_find_text(text, open);
  char* end = nullptr;
  if (start) {
    start += strlen(open);
    end = *close ? sjis_find_text(start, close) : start + strlen(start);
  }
  if (!start || !end) {
    if (out) *out = '\0';
    return nullptr;
  }
  size_t length = static_cast<size_t>(end - start);
  if (length >= capacity) return nullptr;
  if (out) copy_bounded(out, start, length);
  return end + strlen(close);
}

char* replace_first(char* text, const char* old, const char* replacement) {
  char* at = sjis_find_text(text, old);
  if (!at) return nullptr;
  size_t old_length = strlen(old), new_length = strlen(replacement);
  memmove(at + new_length, at + old_length, strlen(at + old_length) + 1);
  // The terminator has moved along with the rest of the text.
  memcpy(at, replacement, new_length);  // NOLINT(bugprone-not-null-terminated-result)
  return at + new_length;
}

char* insert_text(char* text, size_t position, const char* piece) {
  size_t length = strlen(text), piece_length = strlen(piece);
  if (position > length || piece_length == 0) return text;
  memmove(text + position + piece_length, text + position, length - position + 1);
  // The terminator has moved along with the rest of the text.
  memcpy(text + position, piece, piece_length);  // NOLINT(bugprone-not-null-terminated-result)
  return text + position + piece_length;
}

char* trim_left(char* text) {
  size_t skip = 0;
  while (text[skip] != '\0' && is_white_space(static_cast<unsigned char>(text[skip]))) ++skip;
  if (skip) memmove(text, text + skip, strlen(text + skip) + 1);
  return text;
}

int whitespace_kind(const char* text) {
  int kind = 0;
  for (const char* p = text; *p; ++p) {
    if (is_white_space(static_cast<unsigned char>(*p))) {
      kind = 1;
    } else if (kind == 1) {
      return 2;
    }
  }
  return kind;
}

char* dup_string(const char* text) {
  if (!text) return nullptr;
  size_t size = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (copy) memcpy(copy, text, size);
  return copy;
}

void copy_showable(char* out, const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!is_sjis_lead_byte(c)) {
      out[i] = text[i];
    } else if (i + 1 < n && is_sjis_trail_byte(static_cast<unsigned char>(text[i + 1]))) {
      out[i] = text[i];
      out[i + 1] = text[i + 1];
      ++i;
    } else {
      out[i] = '?';
    }
  }
  out[n] = '\0';
}
