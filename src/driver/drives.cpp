#include "driver/drives.h"

#include <cstdlib>
#include <cstring>

#include "console/pager.h"
#include "driver/args.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "report/size.h"
#include "report/volume.h"
#include "text/scoped.h"
#include "text/sjis.h"

namespace {

// The backslash searches are plain byte searches, as the share names are
// given to the system: a 0x5C second byte of a double-byte name counts.
char* make_share_root(const char* argument) {
  if (argument[1] != '\\') return nullptr;
  const char* server_end = strchr(argument + 2, '\\');
  if (!server_end) return nullptr;
  const char* share_end = strchr(server_end + 1, '\\');
  size_t length = share_end ? static_cast<size_t>(share_end + 1 - argument)
                            : strlen(argument);
  char* root = allocate(length + 2);
  memcpy(root, argument, length);
  if (!share_end) root[length++] = '\\';
  root[length] = '\0';
  return root;
}

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The current directory, however long; null when it cannot be had.
char* current_directory() {
  uint32_t size = 260;
  for (int attempt = 0; attempt < 8; ++attempt) {
    char* buffer = allocate(size);
    uint32_t length = plat_current_directory(buffer, size);
    if (length != 0 && length < size) return buffer;
    free(buffer);
    if (length == 0) return nullptr;
    size = length + 1;
  }
  return nullptr;
}

void report_one_argument(const char* argument) {
  char* root = make_drive_root(argument);
  ScopedFree root_holder(root);
  if (!root) fatal_error("ドライブ(%s)を参照できません。", argument);
  plat_root_source(argument);
  report_drive(root);
}

char* root_of_directory(const char* directory) {
  if (is_ascii_letter(directory[0]) && directory[1] == ':') return make_drive_root(directory);
  if (directory[0] == '\\' && directory[1] == '\\') return make_share_root(directory);
  return nullptr;
}

}  // namespace

char* make_drive_root(const char* argument) {
  if (argument[0] == '\\') return make_share_root(argument);
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

void report_drive(const char* root) {
  const int name_length = static_cast<int>(strlen(root)) - 1;
  // Each drive has the whole limit for its own queries: one slow drive does
  // not shorten the next one's.
  plat_drive_time_limit(settings.time_limit * 1000);
  if (settings.show_volume) report_printf("              ドライブ名:%.*s\n", name_length, root);
  // The volume report runs even when it prints nothing: it rejects an
  // unreadable drive and records what the size report needs.
  report_volume(root, settings.show_volume ? 1 : 0);
  if (settings.show_volume && settings.show_size) report_printf("\n");
  if (!settings.show_size) return;
  if (!settings.show_volume) {
    // Written outside the pager: every counted call is at least one line.
    if (!settings.wide_mode) out_puts("      ");
    report_printf("      ドライブ名:%.*s\n", name_length, root);
  }
  report_size(root);
}

void report_drive_arguments(int argc, char** argv) {
  bool first = true;
  for (int i = 1; i < argc; ++i) {
    if (is_option_argument(argv[i])) continue;
    if (!first) {
      report_printf("\n");
      if (!settings.wide_mode) report_printf("\n");
    }
    first = false;
    report_one_argument(argv[i]);
  }
}

void report_current_drive() {
  char* directory = current_directory();
  ScopedFree directory_holder(directory);
  char* root = directory ? root_of_directory(directory) : nullptr;
  ScopedFree root_holder(root);
  if (!root) fatal_error("現在のドライブを参照できません。");
  // The directory is the text the root was made from: a share whose name
  // Shift-JIS cannot spell is asked for as the system gave it.
  plat_root_source(directory);
  report_drive(root);
}
