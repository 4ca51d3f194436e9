// Small operations on NUL-terminated Shift-JIS strings.  A character is a
// single byte, or a lead byte together with the byte after it; searches go
// character by character so that a second byte is never taken for a
// single-byte character of its own.
#ifndef VOLSURVEY_TEXT_STRINGS_H_
#define VOLSURVEY_TEXT_STRINGS_H_

#include <cstddef>

// The first character position holding `byte` (looking for NUL finds the
// terminator), or null.  A lead byte just before the terminator ends the
// search.
char* sjis_find_char(char* text, unsigned char byte);

// The first character position where `pattern` starts, or null; an empty
// pattern gives `text`.
char* sjis_find_text(char* text, const char* pattern);

// Copies at most n bytes of `source`, stopping at its NUL, and terminates
// `target` (which holds n + 1 bytes).
void copy_bounded(char* target, const char* source, size_t n);

// Finds `open`, then `close` after it (empty: the start and the end of the
// text).  Copies what lies between into `out` when it is shorter than
// `capacity` and returns the position just after `close`.  Null when a
// delimiter is missing (`out` then empty) or the text between is too long
// (`out` then unchanged).  `out` may be null.
char* extract_between(char* text, char* out, size_t capacity, const char* open,
                      const char* close);

// Replaces the first `old` in `text` by `replacement`, in place; returns the
// position after the replacement, or null when `old` is absent.  The caller
// guarantees the room.
char* replace_first(char* text, const char* old, const char* replacement);

// Inserts `piece` at byte `position`; returns the position after it, or
// `text` unchanged when the position is past the end or the piece empty.
char* insert_text(char* text, size_t position, const char* piece);

// Removes leading white space in place; returns `text`.
char* trim_left(char* text);

// 0: no white space; 2: white space followed later by something else;
// 1: white space only at the end.
int whitespace_kind(const char* text);

// Copies the first n bytes of `text` into `out` (n + 1 bytes, terminated)
// as they can be shown: a lead byte without its second byte becomes "?".
// So a name cut byte by byte never shows half a character, nor takes the
// byte after it along.
void copy_showable(char* out, const char* text, size_t n);

// A new heap copy of `text`; null when `text` is null or memory runs out.
char* dup_string(const char* text);

#endif  // VOLSURVEY_TEXT_STRINGS_H_
