// Shift-JIS text from the system's UTF-16, and names back again.
//
// The NT family answers in UTF-16; the program thinks in Shift-JIS.  A
// character that Shift-JIS lacks becomes "?", which the program shows as it
// is.  So the system is never asked about a "?" form: a name the program
// builds (a drive root from an argument, the configuration file beside the
// program) goes back to the system through the UTF-16 text it was made
// from, character for character.
//
// Plain code without the system: the conversions come from the caller, so
// that the logic runs and is tested on any host.
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

// The system's conversions of code page 932, as plain functions.
struct CodePageCalls {
  // WideCharToMultiByte: the bytes of `n` units into `out` (room for
  // `size`), asking for no best fit when `no_best_fit`; the count, 0 on
  // failure.  *refused tells that it failed for the flag (ERROR_INVALID_FLAGS,
  // from a system older than the flag); *used_default that the default
  // character stands in for what the code page lacks.
  int (*to_bytes)(const wchar_t* units, int n, char* out, int size, bool no_best_fit,
                  bool* used_default, bool* refused);
  // MultiByteToWideChar: the units of `n` bytes into `out` (room for
  // `size`); the count, 0 on failure.
  int (*to_units)(const char* bytes, int n, wchar_t* out, int size);
};

// The exact Shift-JIS form (1 or 2 bytes) of the character of `n` units at
// `units` into `out`, or 0 when it has none.  A best-fit look-alike never
// passes (it could turn a harmless character into a quote or a backslash):
// the no-best-fit flag is asked for, the conversion is done without it where
// the system refuses it, and in every case a form whose round trip does not
// give the character back is refused.  ASCII is its own form and asks the
// system nothing: a Western NT 4.0, 2000 or XP may have no code page 932 at
// all.
size_t narrow_exact(const CodePageCalls& calls, const wchar_t* units, size_t n, char* out);

// The UTF-16 units of `n` Shift-JIS bytes into `out`, which has room for
// `n` units; returns how many.  Text all of ASCII converts without the
// system, which may lack code page 932.
size_t widen_exact(const CodePageCalls& calls, const char* bytes, size_t n, wchar_t* out);

// The system's ANSI code page, in which the Windows 95 family answers.
struct AnsiCalls {
  // IsDBCSLeadByte.
  bool (*lead_byte)(unsigned char c);
  // MultiByteToWideChar of one character of `n` bytes into `out` (room for
  // `size` units): the count, 0 when the code page does not define it.
  int (*to_units)(const char* bytes, int n, wchar_t* out, int size);
};

// The UTF-16 form of `text`, NUL-terminated bytes in the ANSI code page,
// into `out` of `size` units, NUL included, as far as whole characters fit.
// Each character is converted on its own, so that none takes a byte of its
// neighbour or loses one: a lead byte takes no byte below 0x40 (no code page
// has such trail bytes, and a line end or a quote is never one), and what
// the code page does not define, a lone lead byte among them, becomes
// U+FFFD.
void widen_ansi(const AnsiCalls& calls, const char* text, wchar_t* out, size_t size);

// The Shift-JIS form of `n` units of UTF-16, "?" for each character that
// Shift-JIS lacks; a new heap string, null when memory runs out.
char* narrow_text(const Codec& codec, const wchar_t* text, size_t n);

// A name as the system gave it in UTF-16.
struct WideName {
  const wchar_t* units;
  size_t n;
};

// The UTF-16 form of `text`, a Shift-JIS name the program made from
// `source`: as far as `text` spells the start of the source's Shift-JIS
// form, character by character, the source's own characters; the rest (an
// added backslash, a new extension) converted.  A null source converts all
// of it.  A new heap string, NUL-terminated; null when memory runs out.
wchar_t* widen_from(const Codec& codec, const WideName* source, const char* text);

// Keeps `n` units of UTF-16 as the source of the Shift-JIS text at
// `handed_out`, which the program received: an argument, or a buffer that
// was given the current directory.  An earlier text at the same address is
// replaced.  False when memory runs out.
bool keep_source(const char* handed_out, const wchar_t* units, size_t n);

// The source of the text at `text`, found by its address, never by what it
// spells: two names with the same "?" form stay apart.  Null when no text
// was handed out there, or the text there is no longer the one that was.
const WideName* source_of(const char* text);

// Forgets every kept source.
void forget_sources();

#endif  // VOLSURVEY_PLATFORM_WIDE_TEXT_H_
