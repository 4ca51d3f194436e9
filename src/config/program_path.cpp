#include "config/program_path.h"

#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "platform/platform.h"
#include "text/scoped.h"
#include "text/sjis.h"
#include "text/strings.h"

namespace {

// Buffers for the program's path and name grow from MAX_PATH to this: the
// NT family's paths may be 32767 characters of up to two bytes each.
const uint32_t kLongestPath = 1u << 20;

// The module path however long: Windows paths may exceed MAX_PATH.
char* module_file_name() {
  for (uint32_t size = 260; size <= kLongestPath; size *= 2) {
    char* buffer = allocate(size);
    uint32_t length = plat_module_file_name(buffer, size);
    if (length > 0 && length < size) {
      buffer[length] = '\0';
      return buffer;
    }
    free(buffer);
    if (length == 0) return nullptr;
  }
  return nullptr;
}

// The program file's name as stored, however long: an NTFS name of 255
// kanji takes 510 bytes in Shift-JIS.
char* stored_file_name(const char* module) {
  for (uint32_t size = 260; size <= kLongestPath; size *= 2) {
    char* name = allocate(size);
    if (plat_stored_file_name(module, name, size)) return name;
    free(name);
  }
  return nullptr;
}

}  // namespace

char* after_last_separator(char* path) {
  char* after = path;
  // The path is in the code page the system gave it in: on a Western
  // Windows 95 "é" is a single byte that Shift-JIS would take for a lead
  // byte, swallowing the backslash after it.
  for (char* p = path; *p;) {
    if (plat_path_lead_byte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      p += 2;
    } else {
      if (*p == '\\') after = p + 1;
      ++p;
    }
  }
  return after;
}

char* get_program_path() {
  char* module = module_file_name();
  ScopedFree module_holder(module);
  if (!module || module[0] == '\0') return nullptr;
  char* stored = stored_file_name(module);
  ScopedFree stored_holder(stored);
  if (!stored) return nullptr;
  size_t directory = static_cast<size_t>(after_last_separator(module) - module);
  size_t name = strlen(stored);
  char* path = allocate(directory + name + 1);
  memcpy(path, module, directory);
  memcpy(path + directory, stored, name + 1);
  return path;
}

char* find_extension(char* path) {
  for (char* p = path + strlen(path); p > path;) {
    --p;
    if (*p == '\\') return nullptr;
    if (*p == '.') return p + 1;
  }
  return nullptr;
}

char* set_extension(char* path, const char* ext) {
  char* at = find_extension(path);
  if (at) {
    strcpy(at, ext);
  } else {
    strcat(path, ".");
    strcat(path, ext);
  }
  return path;
}

char* config_file_path(const char* program_path) {
  if (!program_path) return nullptr;
  // The extension may be added whole: "." and "cfg" beyond the program path.
  size_t size = strlen(program_path) + 5;
  char* path = static_cast<char*>(malloc(size));
  if (!path) return nullptr;
  memcpy(path, program_path, strlen(program_path) + 1);
  return set_extension(path, "cfg");
}
