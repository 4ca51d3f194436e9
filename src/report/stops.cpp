#include "report/stops.h"

#include <cstdio>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "text/strings.h"
#include "text/units.h"
#include "text/utf8.h"

namespace {

const StopWords kBadName = {"bad_name", "ドライブ(", ")を参照できません。", u"ドライブ(",
                            u")を参照できません。"};
const StopWords kNoRootDir = {"no_drive", "ドライブ(", ")を参照できません。", u"ドライブ(",
                              u")を参照できません。"};
const StopWords kUnreadable = {"unreadable", "ディスク(", ")を参照できません。", u"ディスク(",
                               u")を参照できません。"};
const StopWords kCapacityUnreadable = {"size_unreadable", "ディスク(", ")の容量を参照できません。",
                                       u"ディスク(", u")の容量を参照できません。"};
const StopWords kNoAnswer = {"no_answer", "ディスク(", ")が%u秒以内に応答しません。", u"ディスク(",
                             u")が%u秒以内に応答しません。"};
// Named without its medium, a drive is as unreadable as any.
const StopWords kNotReady = {"not_ready", "ディスク(", ")を参照できません。", u"ディスク(",
                             u")を参照できません。"};

}  // namespace

const StopWords* stop_words(Stop stop) {
  switch (stop) {
    case Stop::kNone:
    case Stop::kLeftOut: return nullptr;
    case Stop::kBadName: return &kBadName;
    case Stop::kNoRootDir: return &kNoRootDir;
    case Stop::kUnreadable: return &kUnreadable;
    case Stop::kCapacityUnreadable: return &kCapacityUnreadable;
    case Stop::kNoAnswer: return &kNoAnswer;
    case Stop::kNoMedium: return &kNotReady;
  }
  return nullptr;
}

const StopWords* drive_stop_words(const DriveRecord& record, bool whole_machine) {
  if (record.stop == Stop::kNoMedium && whole_machine) return nullptr;
  return stop_words(record.stop);
}

char* stop_message(const StopWords& words, const char* name, size_t name_length) {
  // Room for the words, the name, and the seconds in place of "%u".
  const size_t size = strlen(words.before) + name_length + strlen(words.after) + 16;
  char* message = allocate(size);
  size_t n = static_cast<size_t>(snprintf(message, size, "%s", words.before));
  copy_showable(message + n, name, name_length);
  n += name_length;
  const char* seconds = strstr(words.after, "%u");
  if (!seconds) {
    snprintf(message + n, size - n, "%s", words.after);
  } else {
    snprintf(message + n, size - n, "%.*s%u%s", static_cast<int>(seconds - words.after),
             words.after, static_cast<unsigned>(settings.time_limit), seconds + 2);
  }
  return message;
}

size_t root_name_length(const char* root) { return strlen(root) - 1; }

const char* drive_name(const DriveRecord& record, size_t* length) {
  if (record.root) {
    *length = root_name_length(record.root);
    return record.root;
  }
  *length = strlen(record.typed);
  return record.typed;
}

const char16_t* drive_wide_name(const DriveRecord& record, size_t* length) {
  if (record.wide_root) {
    *length = units_length(record.wide_root) - 1;
    return record.wide_root;
  }
  *length = units_length(record.wide_typed);
  return record.wide_typed;
}

char* drive_utf8_name(const DriveRecord& record, size_t* length) {
  size_t n = 0;
  const char16_t* wide = drive_wide_name(record, &n);
  char* name = allocate(utf8_size(wide, n) + 1);
  *length = to_utf8(wide, n, name);
  return name;
}
