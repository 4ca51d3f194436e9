#include "text/sjis.h"

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
