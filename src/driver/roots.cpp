#include "driver/roots.h"

#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "text/sjis.h"

namespace {

// The length of a share root at the start of `text` ("\\server\share\",
// its final backslash included, or all of "\\server\share"), 0 when the
// text has no server or share part.  The backslash searches are plain
// searches, as the names are given to the system: a 0x5C second byte of a
// double-byte name counts.
template <typename Unit>
size_t share_root_length(const Unit* text, bool* has_backslash) {
  if (text[0] != '\\' || text[1] != '\\') return 0;
  size_t i = 2;
  while (text[i] && text[i] != '\\') ++i;
  if (!text[i]) return 0;
  for (++i; text[i] && text[i] != '\\'; ++i) {
  }
  *has_backslash = text[i] == '\\';
  return *has_backslash ? i + 1 : i;
}

// The share root at the start of `text` as a new heap text, always ending
// in a backslash; null when there is none.
template <typename Unit>
Unit* share_root(const Unit* text) {
  bool has_backslash = false;
  size_t length = share_root_length(text, &has_backslash);
  if (length == 0) return nullptr;
  Unit* root = allocate_array<Unit>(length + 2);
  memcpy(root, text, length * sizeof(Unit));
  if (!has_backslash) root[length++] = '\\';
  root[length] = 0;
  return root;
}

// "\\?\" before a path: Windows reads what follows as the path itself.
template <typename Unit>
bool long_path_prefix(const Unit* text) {
  return text[0] == '\\' && text[1] == '\\' && text[2] == '?' && text[3] == '\\';
}

// "\\?\UNC\server\share\...": the share itself, in its usual form.
template <typename Unit>
bool long_share_prefix(const Unit* text) {
  return long_path_prefix(text) && to_upper_ascii(text[4]) == 'U' &&
         to_upper_ascii(text[5]) == 'N' && to_upper_ascii(text[6]) == 'C' && text[7] == '\\';
}

// The share root of "\\?\UNC\server\share\..." as "\\server\share\".
template <typename Unit>
Unit* usual_share_root(const Unit* text) {
  size_t length = 0;
  while (text[length]) ++length;
  Unit* usual = allocate_array<Unit>(length);
  usual[0] = '\\';
  memcpy(usual + 1, text + 7, (length - 6) * sizeof(Unit));  // from the backslash, NUL included
  Unit* root = share_root(usual);
  free(usual);
  return root;
}

}  // namespace

char* make_drive_root(const char* argument) {
  if (argument[0] == '\\') return share_root(argument);
  // An empty argument (given as "") would otherwise become the root of
  // whatever drive is current, under an empty name.
  if (argument[0] == '\0') return nullptr;
  char* root = allocate(4);
  root[0] = static_cast<char>(to_upper_ascii(static_cast<unsigned char>(argument[0])));
  root[1] = ':';
  root[2] = '\\';
  root[3] = '\0';
  return root;
}

bool below_drive_root(const char* argument) {
  return is_ascii_letter(static_cast<unsigned char>(argument[0])) && argument[1] == ':' &&
         (argument[2] == '\\' || argument[2] == '/') && argument[3] != '\0';
}

char* long_share_root(const char* text) {
  return long_share_prefix(text) ? usual_share_root(text) : nullptr;
}

char16_t* long_share_root(const char16_t* text) {
  return long_share_prefix(text) ? usual_share_root(text) : nullptr;
}

size_t long_path_prefix_length(const char* text) {
  const bool long_path = long_path_prefix(text) &&
                         is_ascii_letter(static_cast<unsigned char>(text[4])) && text[5] == ':' &&
                         text[6] == '\\';
  return long_path ? 4 : 0;
}
