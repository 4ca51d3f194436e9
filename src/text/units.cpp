#include "text/units.h"

#include <cstdlib>
#include <cstring>

namespace {

char16_t upper_ascii(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

}  // namespace

size_t units_length(const char16_t* units) {
  size_t n = 0;
  while (units[n]) ++n;
  return n;
}

char16_t* units_copy(const char16_t* units, size_t n) {
  char16_t* copy = static_cast<char16_t*>(malloc((n + 1) * sizeof(char16_t)));
  if (!copy) return nullptr;
  if (n) memcpy(copy, units, n * sizeof(char16_t));
  copy[n] = 0;
  return copy;
}

bool units_equal_ignore_case(const char16_t* a, const char16_t* b) {
  for (; *a && upper_ascii(*a) == upper_ascii(*b); ++a, ++b) {
  }
  return upper_ascii(*a) == upper_ascii(*b);
}
