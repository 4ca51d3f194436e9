#include "config/program_path.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "text/sjis.h"
#include "text/strings.h"

namespace {

// The module path however long: Windows paths may exceed MAX_PATH.
char* module_file_name() {
  for (uint32_t size = 260; size <= (1u << 20); size *= 2) {
    char* buffer = static_cast<char*>(malloc(size));
    if (!buffer) return nullptr;
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
  if (!module || module[0] == '\0') {
    free(module);
    return nullptr;
  }
  char stored[260];
  if (!plat_stored_file_name(module, stored, sizeof stored)) {
    free(module);
    return nullptr;
  }
  stored[sizeof stored - 1] = '\0';
  size_t directory = static_cast<size_t>(after_last_separator(module) - module);
  size_t name = strlen(stored);
  char* path = static_cast<char*>(malloc(directory + name + 1));
  if (path) {
    memcpy(path, module, directory);
    memcpy(path + directory, stored, name + 1);
  }
  free(module);
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
