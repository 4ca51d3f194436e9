#include "driver/drives.h"

#include <cstdlib>
#include <cstring>

#include "console/pager.h"
#include "driver/args.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "report/ask.h"
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

// Asks the drive at `root` and prints its report; a drive whose report
// stops short ends the run.
void survey_one(const char* root, const char* source) {
  DriveRecord record;
  record.root = root;
  finish_asking(start_asking(root, source, false), &record);
  report_drive(record);
  char* message = stop_message(record);
  ScopedFree message_holder(message);
  if (message) fatal_error("%s", message);
}

void report_one_argument(const char* argument) {
  char* root = make_drive_root(argument);
  ScopedFree root_holder(root);
  if (!root) fatal_error("ドライブ(%s)を参照できません。", argument);
  survey_one(root, argument);
}

// Two empty lines part the reports of two drives, one in wide mode.
void print_separator() {
  report_printf("\n");
  if (!settings.wide_mode) report_printf("\n");
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

void report_drive(const DriveRecord& record) {
  const char* root = record.root;
  const int name_length = static_cast<int>(strlen(root)) - 1;
  if (settings.show_volume) report_printf("              ドライブ名:%.*s\n", name_length, root);
  if (record.reached < Reached::kDriveType) return;
  if (settings.show_volume && !settings.wide_mode) print_drive_type(record.facts);
  const bool size_name_line = settings.show_size && !settings.show_volume;
  if (record.reached >= Reached::kVolume || record.stop == Stop::kNoMedium) {
    if (settings.show_volume && record.reached >= Reached::kVolume) {
      print_volume(record.facts, record.volume);
      if (settings.show_size) report_printf("\n");
    }
    if (size_name_line) {
      // Written outside the pager: every counted call is at least one line.
      if (!settings.wide_mode) out_puts("      ");
      report_printf("      ドライブ名:%.*s\n", name_length, root);
    }
  }
  if (record.stop == Stop::kNoMedium) {
    if (settings.show_volume || size_name_line) print_no_medium(!settings.show_volume);
    return;
  }
  if (record.reached >= Reached::kSize) print_size(record.size);
}

void report_drive_arguments(int argc, char** argv) {
  bool first = true;
  for (int i = 1; i < argc; ++i) {
    if (is_option_argument(argv[i])) continue;
    if (!first) print_separator();
    first = false;
    report_one_argument(argv[i]);
  }
}

int report_all_drives() {
  const uint32_t letters = plat_logical_drives();
  if (letters == 0) {
    // The system cannot list its drives; it surely has the current one.
    report_current_drive();
    return 0;
  }
  struct Drive {
    char root[4];
    DriveQuestions* questions;
  } drives[26];
  int count = 0;
  // Every drive is asked at once: the slowest, not the sum, sets the time.
  for (int letter = 0; letter < 26; ++letter) {
    if (!(letters & (1u << letter))) continue;
    Drive& d = drives[count++];
    memcpy(d.root, "A:\\", 4);
    d.root[0] = static_cast<char>('A' + letter);
    d.questions = start_asking(d.root, nullptr, true);
  }
  int code = 0;
  for (int i = 0; i < count; ++i) {
    DriveRecord record;
    record.root = drives[i].root;
    finish_asking(drives[i].questions, &record);
    if (i > 0) print_separator();
    report_drive(record);
    char* message = stop_message(record);
    if (message) {
      // One drive's trouble is told where its report stops; the others
      // are still reported.
      drive_error(message);
      free(message);
      code = 1;
    }
  }
  return code;
}

void report_current_drive() {
  char* directory = current_directory();
  ScopedFree directory_holder(directory);
  char* root = directory ? root_of_directory(directory) : nullptr;
  ScopedFree root_holder(root);
  if (!root) fatal_error("現在のドライブを参照できません。");
  // The directory is the text the root was made from: a share whose name
  // Shift-JIS cannot spell is asked for as the system gave it.
  survey_one(root, directory);
}
