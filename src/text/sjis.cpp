#include "text/sjis.h"

#include <cstring>

bool is_sjis_lead_byte(unsigned c) {
  c &= 0xFF;
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool is_sjis_trail_byte(unsigned c) {
  c &= 0xFF;
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

bool is_white_space(unsigned c) {
  c &= 0xFF;
  return c == 0x20 || (c >= 0x09 && c <= 0x0D);
}

size_t whole_characters(const char* text, size_t n) {
  size_t i = 0;
  while (i < n) {
    if (!is_sjis_lead_byte(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (i + 1 < n) {
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

unsigned char to_upper_ascii(unsigned c) {
  c &= 0xFF;
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

bool equal_ignore_case(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = to_upper_ascii(static_cast<unsigned char>(*a));
    if (x != to_upper_ascii(static_cast<unsigned char>(*b))) return false;
    if (x == 0) return true;
  }
}

int equal_prefix(const char* a, const char* b, unsigned n) {
  for (; n > 0 && *a != '\0' && *b != '\0'; --n, ++a, ++b) {
    if (static_cast<unsigned char>(*a) != static_cast<unsigned char>(*b)) return 0;
  }
  return n == 0;
}

int next_byte_class(int previous, unsigned c) {
  if (previous == 1) return is_sjis_trail_byte(c) ? 2 : 0;
  return is_sjis_lead_byte(c) ? 1 : 0;
}

int sjis_byte_class(const char* text, unsigned pos) {
  if (pos >= strlen(text)) return 0;
  int cls = 0;
  for (unsigned i = 0; i <= pos; ++i) cls = next_byte_class(cls, static_cast<unsigned char>(text[i]));
  return cls;
}

bool is_ascii_letter(unsigned c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
