#include "platform/wide_text.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

struct RememberedPath {
  wchar_t* units;
  size_t n;
};

// The paths whose Shift-JIS form lost characters: the module path, the
// stored file name, the current directory, arguments.  A handful per run.
RememberedPath* g_paths = nullptr;
size_t g_path_count = 0;

// The Shift-JIS form of one character into `out` (room for 2 bytes);
// *lost tells whether it stands as "?" for want of one.
size_t char_form(const Codec& codec, const wchar_t* units, size_t k, char* out, bool* lost) {
  size_t m = codec.narrow_char(units, k, out);
  *lost = m == 0;
  if (*lost) {
    out[0] = '?';
    m = 1;
  }
  return m;
}

bool is_remembered(const wchar_t* text, size_t n) {
  for (size_t i = 0; i < g_path_count; ++i) {
    if (g_paths[i].n == n && wmemcmp(g_paths[i].units, text, n) == 0) return true;
  }
  return false;
}

// Keeps a copy of the path; without memory it is simply not remembered and
// the "?" stays what the system gets.
void remember(const wchar_t* text, size_t n) {
  if (is_remembered(text, n)) return;
  wchar_t* copy = static_cast<wchar_t*>(malloc(n * sizeof(wchar_t) + 1));
  if (!copy) return;
  void* grown = realloc(g_paths, (g_path_count + 1) * sizeof(RememberedPath));
  if (!grown) {
    free(copy);
    return;
  }
  g_paths = static_cast<RememberedPath*>(grown);
  if (n) wmemcpy(copy, text, n);
  g_paths[g_path_count++] = RememberedPath{copy, n};
  // The copy lives in the table until forget_paths().
  // cppcheck-suppress memleak
}

char* narrow(const Codec& codec, const wchar_t* text, size_t n, bool* lost_any) {
  char* out = static_cast<char*>(malloc(2 * n + 1));
  if (!out) return nullptr;
  size_t length = 0;
  *lost_any = false;
  for (size_t i = 0; i < n;) {
    size_t k = char_units(text + i, n - i);
    bool lost = false;
    length += char_form(codec, text + i, k, out + length, &lost);
    *lost_any = *lost_any || lost;
    i += k;
  }
  out[length] = '\0';
  return out;
}

// How much of `path` spells the start of `remembered`, character by
// character: *bytes of the path stand for *units of the remembered path.
// False when no character of that stretch was lost in the spelling, since
// converting the bytes back then gives the same units anyway.
bool matched_start(const Codec& codec, const RememberedPath& remembered, const char* path,
                   size_t path_length, size_t* units, size_t* bytes) {
  bool lost_any = false;
  size_t u = 0, b = 0;
  while (u < remembered.n) {
    size_t k = char_units(remembered.units + u, remembered.n - u);
    char form[2];
    bool lost = false;
    size_t m = char_form(codec, remembered.units + u, k, form, &lost);
    if (m > path_length - b || memcmp(path + b, form, m) != 0) break;
    lost_any = lost_any || lost;
    u += k;
    b += m;
  }
  *units = u;
  *bytes = b;
  return lost_any;
}

}  // namespace

size_t char_units(const wchar_t* units, size_t n) {
  bool high = units[0] >= 0xD800 && units[0] <= 0xDBFF;
  return high && n > 1 && units[1] >= 0xDC00 && units[1] <= 0xDFFF ? 2 : 1;
}

char* narrow_text(const Codec& codec, const wchar_t* text, size_t n) {
  bool lost_any = false;
  return narrow(codec, text, n, &lost_any);
}

char* narrow_path(const Codec& codec, const wchar_t* text, size_t n) {
  bool lost_any = false;
  char* out = narrow(codec, text, n, &lost_any);
  if (out && lost_any) remember(text, n);
  return out;
}

wchar_t* widen_path(const Codec& codec, const char* path) {
  const size_t length = strlen(path);
  const RememberedPath* best = nullptr;
  size_t best_units = 0, best_bytes = 0;
  for (size_t i = 0; i < g_path_count; ++i) {
    size_t units = 0, bytes = 0;
    if (matched_start(codec, g_paths[i], path, length, &units, &bytes) && bytes > best_bytes) {
      best = &g_paths[i];
      best_units = units;
      best_bytes = bytes;
    }
  }
  wchar_t* out = static_cast<wchar_t*>(malloc((best_units + length - best_bytes + 1) *
                                              sizeof(wchar_t)));
  if (!out) return nullptr;
  if (best) wmemcpy(out, best->units, best_units);
  size_t n = best_units + codec.widen(path + best_bytes, length - best_bytes, out + best_units);
  out[n] = L'\0';
  return out;
}

void forget_paths() {
  for (size_t i = 0; i < g_path_count; ++i) free(g_paths[i].units);
  free(g_paths);
  g_paths = nullptr;
  g_path_count = 0;
}
