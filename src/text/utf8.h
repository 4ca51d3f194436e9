// UTF-8 for what leaves the program in it (the record of runs), made from
// the UTF-16 in which the system gives names, and checked where it comes
// back.
#ifndef VOLSURVEY_TEXT_UTF8_H_
#define VOLSURVEY_TEXT_UTF8_H_

#include <cstddef>

// The number of UTF-8 bytes of `n` UTF-16 units.
size_t utf8_size(const char16_t* units, size_t n);

// The UTF-8 form of `n` UTF-16 units into `out`, which holds utf8_size
// bytes (no NUL is added); returns that count.  A surrogate without its
// other half becomes U+FFFD, as a name can hold one on NTFS.
size_t to_utf8(const char16_t* units, size_t n, char* out);

// Whether `n` bytes are well-formed UTF-8 (RFC 3629): no overlong form,
// no surrogate, nothing past U+10FFFF, no character cut short.
bool utf8_valid(const char* bytes, size_t n);

#endif  // VOLSURVEY_TEXT_UTF8_H_
