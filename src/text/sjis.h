// Byte-level helpers for Shift-JIS (code page 932) text.
#ifndef VOLSURVEY_TEXT_SJIS_H_
#define VOLSURVEY_TEXT_SJIS_H_

#include <cstddef>

// True for 0x81-0x9F and 0xE0-0xFC: the byte opens a double-byte character.
bool is_sjis_lead_byte(unsigned c);

// True for 0x40-0x7E and 0x80-0xFC (0x7F excluded): the byte may close one.
bool is_sjis_trail_byte(unsigned c);

// The program's one notion of white space: TAB, LF, VT, FF, CR and space.
bool is_white_space(unsigned c);

// The length of the longest start of the first n bytes of `text` that is
// made of whole characters: a lead byte whose trail byte lies beyond them
// is left out.
size_t whole_characters(const char* text, size_t n);

// An ASCII letter, a-z or A-Z.
bool is_ascii_letter(unsigned c);

// Upper-cases ASCII a-z only; every other byte, Shift-JIS included, stays.
unsigned char to_upper_ascii(unsigned c);

// Whole-text comparison that ignores the case of ASCII letters.
bool equal_ignore_case(const char* a, const char* b);

// 1 when the first n bytes of a and b are equal and neither text ends
// before them, else 0 (case counts).
int equal_prefix(const char* a, const char* b, unsigned n);

// The class of the byte at `pos` of `text`, from the bytes before it:
// 0 a single-byte character (also at or past the end), 1 a lead byte,
// 2 a trail byte.
int sjis_byte_class(const char* text, unsigned pos);

// One step of that classification: the class of byte `c` after a byte of
// class `previous`.
int next_byte_class(int previous, unsigned c);

#endif  // VOLSURVEY_TEXT_SJIS_H_
