#include "text/utf8.h"

namespace {

const char32_t kReplacement = 0xFFFD;

bool is_high(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The UTF-8 form of `n` units into `out`, or only its length when `out`
// is null: one walk for both, so that the size never disagrees with what
// is written.
size_t convert(const char16_t* units, size_t n, char* out) {
  size_t length = 0;
  for (size_t i = 0; i < n; ++i) {
    char32_t c = units[i];
    if (is_high(units[i]) && i + 1 < n && is_low(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (is_high(units[i]) || is_low(units[i])) {
      c = kReplacement;
    }
    unsigned char bytes[4];
    size_t count;
    if (c < 0x80) {
      bytes[0] = static_cast<unsigned char>(c);
      count = 1;
    } else {
      // Continuation bytes from the last, then the lead byte's marker.
      count = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
      for (size_t k = count - 1; k > 0; --k, c >>= 6) {
        bytes[k] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      }
      bytes[0] = static_cast<unsigned char>((0xF00u >> count) | c);  // 0xC0, 0xE0 or 0xF0
    }
    if (out) {
      for (size_t k = 0; k < count; ++k) out[length + k] = static_cast<char>(bytes[k]);
    }
    length += count;
  }
  return length;
}

}  // namespace

size_t utf8_size(const char16_t* units, size_t n) { return convert(units, n, nullptr); }

size_t to_utf8(const char16_t* units, size_t n, char* out) { return convert(units, n, out); }

bool utf8_valid(const char* bytes, size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < n;) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The continuation bytes a lead byte announces, and the least
    // character of that length: below it is an overlong form.
    size_t count;
    char32_t c, least;
    if (lead >= 0xC2 && lead <= 0xDF) {
      count = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      count = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      count = 3, c = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (n - i <= count) return false;
    for (size_t k = 1; k <= count; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (p[i + k] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += count + 1;
  }
  return true;
}
