// Small operations on NUL-terminated UTF-16 texts, as the system names
// drives and paths.
#ifndef VOLSURVEY_TEXT_UNITS_H_
#define VOLSURVEY_TEXT_UNITS_H_

#include <cstddef>

// The number of units before the NUL.
size_t units_length(const char16_t* units);

// A new heap copy of the first `n` units, NUL-terminated; null when memory
// runs out.
char16_t* units_copy(const char16_t* units, size_t n);

// Whether two texts are equal, ASCII letters compared without case, as
// Windows compares paths.
bool units_equal_ignore_case(const char16_t* a, const char16_t* b);

#endif  // VOLSURVEY_TEXT_UNITS_H_
