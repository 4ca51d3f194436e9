#include "driver/drives.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "console/pager.h"
#include "driver/args.h"
#include "driver/fatal.h"
#include "driver/mounts.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "report/ask.h"
#include "report/json_report.h"
#include "report/list.h"
#include "report/stops.h"
#include "report/size.h"
#include "report/threshold.h"
#include "report/volume.h"
#include "text/scoped.h"
#include "text/sjis.h"
#include "text/strings.h"

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

char* root_of_directory(const char* directory) {
  if (is_ascii_letter(directory[0]) && directory[1] == ':') return make_drive_root(directory);
  if (directory[0] == '\\' && directory[1] == '\\') return make_share_root(directory);
  return nullptr;
}

// The text that names a drive of the run, `*length` bytes of it: its root
// without the final backslash, or an argument that names no drive as typed.
const char* entry_name(const DriveEntry& entry, size_t* length) {
  *length = entry.root ? root_name_length(entry.root) : strlen(entry.source);
  return entry.root ? entry.root : entry.source;
}

// The drive's name as shown, half characters shown as "?".
char* shown_name(const DriveEntry& entry) {
  size_t length = 0;
  const char* text = entry_name(entry, &length);
  char* name = allocate(length + 1);
  copy_showable(name, text, length);
  return name;
}

// What the run ends with: 1 after any failure, else 2 when a drive passed
// a threshold, so that a script tells a full disk from a broken run.
int survey_exit_code(bool failed, bool marked) { return failed ? 1 : marked ? 2 : 0; }

// How long a drive started ahead of its turn waits for the one before it.
const uint32_t kSettleMs = 20;

// Two empty lines part the reports of two drives, one in wide mode.
void print_separator() {
  report_printf("\n");
  if (!settings.wide_mode) report_printf("\n");
}

}  // namespace

char* drive_stop_message(const DriveRecord& record, bool whole_machine) {
  const StopWords* words = drive_stop_words(record, whole_machine);
  return words ? stop_message(*words, record.root, root_name_length(record.root)) : nullptr;
}

void list_drives(int argc, char** argv, int drive_count, DriveList* list) {
  if (drive_count > 0) {
    list->entries = allocate_array<DriveEntry>(static_cast<size_t>(drive_count));
    for (int i = 1; i < argc; ++i) {
      if (is_option_argument(argv[i])) continue;
      list->entries[list->count++] = drive_entry_for(argv[i]);
    }
    return;
  }
  // The list is for seeing every drive at a glance: one drive is rarely
  // what is wanted.
  const bool every_drive = settings.all_drives || settings.list_mode;
  const uint32_t letters = every_drive ? plat_logical_drives() : 0;
  if (letters != 0) {
    list->whole_machine = true;
    list->entries = allocate_array<DriveEntry>(26);
    for (int letter = 0; letter < 26; ++letter) {
      if (!(letters & (1u << letter))) continue;
      char* root = allocate(4);
      memcpy(root, "A:\\", 4);
      root[0] = static_cast<char>('A' + letter);
      list->entries[list->count++] = DriveEntry{root, nullptr};
    }
    add_mount_folders(list);
    return;
  }
  // No drive named: the current one, also with /a where the system cannot
  // list its drives, for it surely has the current one.
  list->entries = allocate_array<DriveEntry>(1);
  list->directory = current_directory();
  char* root = list->directory ? root_of_directory(list->directory) : nullptr;
  if (!root) fatal_error("現在のドライブを参照できません。");
  // The directory is the text the root was made from: a share whose name
  // Shift-JIS cannot spell is asked for as the system gave it.
  list->entries[list->count++] = DriveEntry{root, list->directory};
}

DriveList::~DriveList() {
  for (size_t i = 0; i < count; ++i) free(entries[i].root);
  free(entries);
  free(directory);
}

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

void survey_drives(const DriveEntry* entries, size_t count, bool side_by_side,
                   void (*take)(const DriveEntry& entry, const DriveRecord& record, void* context),
                   void* context) {
  // So many drives at once, and no more: a thread each.
  const size_t at_once = side_by_side ? 26 : 1;
  DriveQuestions** questions = allocate_array<DriveQuestions*>(count ? count : 1);
  ScopedFree questions_holder(questions);
  size_t started = 0;
  for (size_t i = 0; i < count; ++i) {
    for (; started < count && started < i + at_once; ++started) {
      // A drive asked ahead of its turn first gives the one before it a
      // moment: a healthy drive answers within it and its thread asks the
      // next, so that a machine of healthy drives costs one thread, not
      // one each; a slow drive is left to its own and the next starts
      // beside it, a moment later.
      if (started > i && questions[started - 1]) settle_asking(questions[started - 1], kSettleMs);
      const DriveEntry& e = entries[started];
      questions[started] = e.root ? start_asking(e.root, e.source, side_by_side) : nullptr;
    }
    DriveRecord record;
    record.root = entries[i].root;
    if (questions[i]) finish_asking(questions[i], &record);
    take(entries[i], record, context);
  }
}

void report_drive(const DriveRecord& record, bool whole_machine) {
  const size_t name_length = root_name_length(record.root);
  char* name = allocate(name_length + 1);
  ScopedFree name_holder(name);
  copy_showable(name, record.root, name_length);
  if (settings.show_volume) report_printf("              ドライブ名:%s\n", name);
  if (record.reached < Reached::kDriveType) return;
  if (settings.show_volume && !settings.wide_mode) print_drive_type(record.facts);
  const bool size_name_line = settings.show_size && !settings.show_volume;
  const bool no_medium = record.stop == Stop::kNoMedium && whole_machine;
  if (record.reached >= Reached::kVolume || no_medium) {
    if (settings.show_volume && record.reached >= Reached::kVolume) {
      print_volume(record.facts, record.volume);
      if (settings.show_size) report_printf("\n");
    }
    if (size_name_line) {
      // Written outside the pager: every counted call is at least one line.
      if (!settings.wide_mode) out_puts("      ");
      report_printf("      ドライブ名:%s\n", name);
    }
  }
  if (no_medium && (settings.show_volume || size_name_line)) {
    print_no_medium(!settings.show_volume);
  }
  if (settings.show_size && record.reached >= Reached::kSize) print_size(record.size);
}

namespace {

struct TextSurvey {
  bool whole_machine;
  bool first = true;
  bool failed = false;
  bool marked = false;
};

// One drive's report in the text survey.  A drive named that cannot be
// reported ends the run; with the whole machine the run goes on.
void print_drive(const DriveEntry& entry, const DriveRecord& record, void* context) {
  TextSurvey* survey = static_cast<TextSurvey*>(context);
  if (!survey->first) print_separator();
  survey->first = false;
  if (!entry.root) {
    char* message = stop_message(*bad_name_words(), entry.source, strlen(entry.source));
    ScopedFree message_holder(message);
    fatal_error("%s", message);
  }
  report_drive(record, survey->whole_machine);
  char* message = drive_stop_message(record, survey->whole_machine);
  ScopedFree message_holder(message);
  if (!message) {
    survey->marked = survey->marked || over_threshold(record);
    return;
  }
  if (!survey->whole_machine) fatal_error("%s", message);
  // One drive's trouble is told where its report stops; the others are
  // still reported.
  drive_error(message);
  survey->failed = true;
}

struct ListSurvey {
  bool failed = false;
  bool marked = false;
};

// One drive's line in the list.  Whatever befalls a drive, named or not,
// the others' lines follow: its trouble is told on its line and in full
// on standard error, and a drive without its medium is no error.
void print_list_drive(const DriveEntry& entry, const DriveRecord& record, void* context) {
  ListSurvey* survey = static_cast<ListSurvey*>(context);
  char* name = shown_name(entry);
  ScopedFree name_holder(name);
  print_list_line(name, entry.root ? &record : nullptr);
  const StopWords* words = entry.root ? drive_stop_words(record, true) : bad_name_words();
  if (!words) {
    survey->marked = survey->marked || over_threshold(record);
    return;
  }
  size_t length = 0;
  const char* text = entry_name(entry, &length);
  char* message = stop_message(*words, text, length);
  ScopedFree message_holder(message);
  drive_error(message);
  survey->failed = true;
}

}  // namespace

int report_drives(int argc, char** argv, int drive_count) {
  DriveList list;
  list_drives(argc, argv, drive_count, &list);
  TextSurvey survey{list.whole_machine};
  // Every drive of the machine is asked at once, so that the slowest, not
  // the sum, sets the time; named drives are asked in turn, and the first
  // that fails ends the run before the next is asked.
  survey_drives(list.entries, list.count, list.whole_machine, print_drive, &survey);
  return survey_exit_code(survey.failed || list.folders_unlisted, survey.marked);
}

int report_drives_list(int argc, char** argv, int drive_count) {
  DriveList list;
  list_drives(argc, argv, drive_count, &list);
  print_list_heading();
  ListSurvey survey;
  // One drive's trouble never ends the list, so named drives too are
  // asked at once.
  survey_drives(list.entries, list.count, true, print_list_drive, &survey);
  return survey_exit_code(survey.failed || list.folders_unlisted, survey.marked);
}

namespace {

// A drive as the document tells it: its answers and its exact name.
struct JsonDrive {
  DriveRecord record;
  bool named_a_drive;
  char16_t* name;
};

// The drives as the document will tell them, gathered first.
struct JsonSurvey {
  JsonDrive* drives;
  size_t count = 0;

  explicit JsonSurvey(size_t most) : drives(allocate_array<JsonDrive>(most ? most : 1)) {}
  ~JsonSurvey() {
    for (size_t i = 0; i < count; ++i) free(drives[i].name);
    free(drives);
  }
  JsonSurvey(const JsonSurvey&) = delete;
  JsonSurvey& operator=(const JsonSurvey&) = delete;
};

void keep_drive(const DriveEntry& entry, const DriveRecord& record, void* context) {
  JsonSurvey* survey = static_cast<JsonSurvey*>(context);
  // An argument that names no drive is named as it was typed.
  size_t length = 0;
  const char* text = entry_name(entry, &length);
  char16_t* name = plat_drive_name(text, length, entry.source);
  if (!name) fatal_error("メモリー不足");
  new (&survey->drives[survey->count++]) JsonDrive{record, entry.root != nullptr, name};
}

}  // namespace

int report_drives_json(int argc, char** argv, int drive_count) {
  DriveList list;
  list_drives(argc, argv, drive_count, &list);
  JsonSurvey survey(list.count);
  // An error of one drive is told in the document, so every drive can be
  // asked at once, named ones too.
  survey_drives(list.entries, list.count, true, keep_drive, &survey);
  // Written only once every drive is in, so that nothing can stop the run
  // between the document's first byte and its last.
  JsonWriter w;
  // A volume list that could not be had was told on standard error.
  bool failed = list.folders_unlisted, marked = false;
  json_open(&w, nullptr, '{');
  json_open(&w, "drives", '[');
  for (size_t i = 0; i < survey.count; ++i) {
    const JsonDrive& d = survey.drives[i];
    if (print_drive_json(&w, d.name, d.named_a_drive ? &d.record : nullptr, list.whole_machine))
      failed = true;
    else if (d.named_a_drive && over_threshold(d.record))
      marked = true;
  }
  json_close(&w, ']');
  json_close(&w, '}');
  return survey_exit_code(failed, marked);
}
