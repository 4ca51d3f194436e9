#include "platform/wide_text.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "text/strings.h"

namespace {

// A text handed to the program, with the UTF-16 it stands for.  `spelled`
// is what the text held then, so that a buffer used again for something
// else is not taken for it.
struct Source {
  const char* address;
  char* spelled;
  WideName name;
};

// The arguments and the current directory: a handful per run.
Source* g_sources = nullptr;
size_t g_source_count = 0;

// The Shift-JIS form of one character into `out` (room for 2 bytes), "?"
// when it has none.
size_t char_form(const Codec& codec, const wchar_t* units, size_t k, char* out) {
  size_t m = codec.narrow_char(units, k, out);
  if (m == 0) {
    out[0] = '?';
    m = 1;
  }
  return m;
}

// A NUL-terminated heap copy of `n` units; null when memory runs out.
wchar_t* copy_units(const wchar_t* units, size_t n) {
  wchar_t* copy = static_cast<wchar_t*>(malloc((n + 1) * sizeof(wchar_t)));
  if (!copy) return nullptr;
  if (n) wmemcpy(copy, units, n);
  copy[n] = L'\0';
  return copy;
}

void free_source(Source* s) {
  free(s->spelled);
  free(const_cast<wchar_t*>(s->name.units));
}

}  // namespace

size_t char_units(const wchar_t* units, size_t n) {
  bool high = units[0] >= 0xD800 && units[0] <= 0xDBFF;
  return high && n > 1 && units[1] >= 0xDC00 && units[1] <= 0xDFFF ? 2 : 1;
}

size_t narrow_exact(const CodePageCalls& calls, const wchar_t* units, size_t n, char* out) {
  if (n == 1 && units[0] < 0x80) {
    out[0] = static_cast<char>(units[0]);
    return 1;
  }
  char bytes[8];
  bool used_default = false, refused = false;
  const int count = static_cast<int>(n);
  int m = calls.to_bytes(units, count, bytes, sizeof bytes, true, &used_default, &refused);
  if (m <= 0 && refused) {
    // NT 4.0 knows no WC_NO_BEST_FIT_CHARS; the round trip below does its work.
    used_default = false;
    m = calls.to_bytes(units, count, bytes, sizeof bytes, false, &used_default, &refused);
  }
  if (m <= 0 || m > 2 || used_default) return 0;
  // A look-alike ("e" for "é", "\" for a full-width backslash) does not come
  // back as the character it stands for.
  wchar_t back[4];
  if (calls.to_units(bytes, m, back, 4) != count || wmemcmp(back, units, n) != 0) return 0;
  memcpy(out, bytes, static_cast<size_t>(m));
  return static_cast<size_t>(m);
}

size_t widen_exact(const CodePageCalls& calls, const char* bytes, size_t n, wchar_t* out) {
  size_t ascii = 0;
  while (ascii < n && static_cast<unsigned char>(bytes[ascii]) < 0x80) ++ascii;
  if (ascii == n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    return n;
  }
  int m = calls.to_units(bytes, static_cast<int>(n), out, static_cast<int>(n));
  return m > 0 ? static_cast<size_t>(m) : 0;
}

void widen_ansi(const AnsiCalls& calls, const char* text, wchar_t* out, size_t size) {
  if (size == 0) return;
  size_t length = 0;
  for (const char* p = text; *p;) {
    const bool pair = calls.lead_byte(static_cast<unsigned char>(p[0])) &&
                      static_cast<unsigned char>(p[1]) >= 0x40;
    int k = pair ? 2 : 1;
    wchar_t units[2];
    int m = calls.to_units(p, k, units, 2);
    if (m <= 0 && pair) {
      // Not a character of the code page: the lead byte stands alone.
      k = 1;
      m = 0;
    }
    if (m <= 0) {
      units[0] = 0xFFFD;
      m = 1;
    }
    if (length + static_cast<size_t>(m) >= size) break;
    wmemcpy(out + length, units, static_cast<size_t>(m));
    length += static_cast<size_t>(m);
    p += k;
  }
  out[length] = L'\0';
}

char* narrow_text(const Codec& codec, const wchar_t* text, size_t n) {
  char* out = static_cast<char*>(malloc(2 * n + 1));
  if (!out) return nullptr;
  size_t length = 0;
  for (size_t i = 0; i < n;) {
    size_t k = char_units(text + i, n - i);
    length += char_form(codec, text + i, k, out + length);
    i += k;
  }
  out[length] = '\0';
  return out;
}

wchar_t* widen_from(const Codec& codec, const WideName* source, const char* text) {
  const size_t length = strlen(text);
  // How much of the text spells the start of the source, a whole character
  // at a time: its bytes stand for that many of the source's units.
  size_t units = 0, bytes = 0;
  while (source && units < source->n) {
    size_t k = char_units(source->units + units, source->n - units);
    char form[2];
    size_t m = char_form(codec, source->units + units, k, form);
    if (m > length - bytes || memcmp(text + bytes, form, m) != 0) break;
    units += k;
    bytes += m;
  }
  wchar_t* out = static_cast<wchar_t*>(malloc((units + length - bytes + 1) * sizeof(wchar_t)));
  if (!out) return nullptr;
  if (units) wmemcpy(out, source->units, units);
  size_t n = units + codec.widen(text + bytes, length - bytes, out + units);
  out[n] = L'\0';
  return out;
}

bool keep_source(const char* handed_out, const wchar_t* units, size_t n) {
  Source s = {handed_out, dup_string(handed_out), {copy_units(units, n), n}};
  if (!s.spelled || !s.name.units) {
    free_source(&s);
    return false;
  }
  for (size_t i = 0; i < g_source_count; ++i) {
    if (g_sources[i].address == handed_out) {
      free_source(&g_sources[i]);
      g_sources[i] = s;
      return true;
    }
  }
  void* grown = realloc(g_sources, (g_source_count + 1) * sizeof(Source));
  if (!grown) {
    free_source(&s);
    return false;
  }
  g_sources = static_cast<Source*>(grown);
  g_sources[g_source_count++] = s;
  return true;
}

const WideName* source_of(const char* text) {
  for (size_t i = 0; text && i < g_source_count; ++i) {
    if (g_sources[i].address == text && strcmp(g_sources[i].spelled, text) == 0) {
      return &g_sources[i].name;
    }
  }
  return nullptr;
}

void forget_sources() {
  for (size_t i = 0; i < g_source_count; ++i) free_source(&g_sources[i]);
  free(g_sources);
  g_sources = nullptr;
  g_source_count = 0;
}
