// Shift-JIS text from the system's UTF-16, and paths back again.
//
// The NT family answers in UTF-16; the program thinks in Shift-JIS.  A
// character that Shift-JIS lacks becomes "?", which the program shows as it
// is.  A path that lost characters that way is remembered, so that a path
// the program builds from its Shift-JIS form (the configuration file beside
// the program, the root of a share) reaches the system as the real one.
//
// Plain code without the system: the conversions of single characters come
// from the caller, so that the logic runs and is tested on any host.
#ifndef VOLSURVEY_PLATFORM_WIDE_TEXT_H_
#define VOLSURVEY_PLATFORM_WIDE_TEXT_H_

#include <cstddef>

// UTF-16 code units are held in wchar_t, as Windows holds them; surrogate
// pairs are two units.
struct Codec {
  // The Shift-JIS bytes (1 or 2) of one character of `n` units (2 for a
  // surrogate pair) into `out`; 0 when it has no exact Shift-JIS form.
  size_t (*narrow_char)(const wchar_t* units, size_t n, char* out);
  // The UTF-16 units of `n` Shift-JIS bytes into `out`, which has room for
  // `n` units; returns how many.
  size_t (*widen)(const char* bytes, size_t n, wchar_t* out);
};

// The number of units of the character that starts at `units` (1, or 2 for
// a surrogate pair); `n` is the number of units left.
size_t char_units(const wchar_t* units, size_t n);

// The Shift-JIS form of `n` units of UTF-16, "?" for each character that
// Shift-JIS lacks; a new heap string, null when memory runs out.
char* narrow_text(const Codec& codec, const wchar_t* text, size_t n);

// The same for a path, which is remembered when it lost characters.
char* narrow_path(const Codec& codec, const wchar_t* text, size_t n);

// The UTF-16 form of a Shift-JIS path, NUL-terminated: where the path begins
// with characters of a remembered path, those come back as they were, the
// rest is converted.  A new heap string, null when memory runs out.
wchar_t* widen_path(const Codec& codec, const char* path);

// Forgets every remembered path.
void forget_paths();

#endif  // VOLSURVEY_PLATFORM_WIDE_TEXT_H_
