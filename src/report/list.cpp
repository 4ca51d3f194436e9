#include "report/list.h"

#include <cstring>

#include "console/pager.h"
#include "driver/fatal.h"
#include "platform/platform.h"
#include "report/scale.h"
#include "report/size.h"
#include "report/stops.h"
#include "report/threshold.h"
#include "report/volume.h"
#include "text/sjis.h"
#include "text/scoped.h"
#include "text/strings.h"

namespace {

// Column widths.  Shift-JIS takes one column a byte: a double-byte
// character is a wide one, a half-width kana a narrow one.
const size_t kMarkWidth = 2;
const size_t kNameWidth = 8;
const size_t kTypeWidth = 9;
const size_t kFsWidth = 6;
const size_t kLabelWidth = 12;
const size_t kFigureWidth = 8;
const size_t kPercentWidth = 6;
const size_t kBarCells = 10;
const size_t kBarWidth = kBarCells + 2;
// With a record of runs the bar gives way to the days until full.
const size_t kDaysWidth = 8;
const uint64_t kDaysMost = 99999;

// Where the figures start after the mark: after the name, type, file system and
// label columns, each followed by a blank.
const size_t kFiguresColumn = kNameWidth + 1 + kTypeWidth + 1 + kFsWidth + 1 +
                              kLabelWidth + 1;

// Two ASCII points: a width every terminal agrees on.  "…" is two columns
// on a Japanese console and one in Windows Terminal or a UTF-8 terminal,
// which would shift every column after a cut label.
const char kCutMark[] = "..";

// One line being laid out; wide enough for the widest line the columns
// allow, long names aside, which go out on their own.
struct Line {
  char text[128];
  size_t length = 0;

  void add(const char* bytes, size_t n) {
    memcpy(text + length, bytes, n);
    length += n;
  }
  void blanks(size_t n) {
    memset(text + length, ' ', n);
    length += n;
  }
  // `s` in a column of `width`, left-aligned, then the blank that parts
  // it from the next; a text too wide is cut after a whole character and
  // ends in the cut mark.
  void column(const char* text, size_t width) {
    // A lead byte without its second byte shows as "?", so that it takes
    // no blank of the next column along.
    char s[kNameBufferSize + 1];
    size_t n = strlen(text);
    if (n > kNameBufferSize) n = kNameBufferSize;
    copy_showable(s, text, n);
    if (n <= width) {
      add(s, n);
      blanks(width - n + 1);
      return;
    }
    const size_t kept = whole_characters(s, width - (sizeof kCutMark - 1));
    add(s, kept);
    add(kCutMark, sizeof kCutMark - 1);
    blanks(width - kept - (sizeof kCutMark - 1) + 1);
  }
  // `s` right-aligned in a column of at least `width`.
  void right(const char* s, size_t width) {
    size_t n = strlen(s);
    if (n < width) blanks(width - n);
    add(s, n);
  }
  void trim() {
    while (length > 0 && text[length - 1] == ' ') --length;
  }
};

// Whether the run shows forecasts in place of the bars.
bool g_forecasts = false;

// The days until full, right-aligned ("25日", ">99999日"), or a word for a
// drive that does not fill or whose record is too short.
void add_days(Line* line, const Forecast& forecast) {
  if (forecast.trend != Trend::kFilling) {
    line->right(forecast.trend == Trend::kTooShort ? "記録不足" : "増加なし", kDaysWidth);
    return;
  }
  char days[32] = ">";
  const uint64_t shown = forecast.days_until_full > kDaysMost ? kDaysMost : forecast.days_until_full;
  format_decimal(shown, days + (forecast.days_until_full > kDaysMost ? 1 : 0));
  strcat(days, "日");
  line->right(days, kDaysWidth);
}

// The figures: total, free, used share and bar, or the days until full.
void add_figures(Line* line, const DriveRecord& record) {
  const SizeFigures& f = record.size;
  char total[24], free[24];
  line->right(format_scaled(total_capacity(f), total), kFigureWidth);
  line->blanks(1);
  line->right(format_scaled(free_capacity(f), free), kFigureWidth);
  line->blanks(1);
  const int percent = used_percent(f);
  char percent_text[8] = "-";
  if (percent >= 0) {
    format_decimal(static_cast<uint64_t>(percent), percent_text);
    strcat(percent_text, "%");
  }
  line->right(percent_text, kPercentWidth);
  line->blanks(1);
  if (g_forecasts) {
    if (record.forecast_made) add_days(line, record.forecast);
    return;
  }
  // A cell is filled for each whole tenth in use: only a full drive fills
  // the bar.
  size_t filled = 0;
  const uint64_t total_bytes = total_capacity(f), used = used_bytes(f);
  while (total_bytes != 0 && filled < kBarCells &&
         share_at_least(used, total_bytes, static_cast<uint32_t>(filled) + 1, kBarCells)) {
    ++filled;
  }
  char bar[kBarWidth + 1];
  bar[0] = '[';
  for (size_t i = 0; i < kBarCells; ++i) bar[1 + i] = i < filled ? '#' : '.';
  bar[kBarCells + 1] = ']';
  bar[kBarWidth] = '\0';
  line->add(bar, kBarWidth);
}

// The short word that stands in place of the figures of a drive that has
// none: it holds no medium, could not be read, or did not answer.
const char* stop_word(const DriveRecord& record) {
  switch (record.stop) {
    case Stop::kNone:
    case Stop::kLeftOut: return nullptr;
    case Stop::kNoMedium: return "メディアなし";
    case Stop::kNoAnswer: return "応答なし";
    case Stop::kBadName:
    case Stop::kNoRootDir:
    case Stop::kUnreadable:
    case Stop::kCapacityUnreadable: return "参照不可";
  }
  return nullptr;
}

// A line out after its mark, counted by the pager; a marked one in its
// colour, the console's own colours back before its line end, so that
// neither a pause prompt nor what follows the run takes them.
void emit(const char* mark, const char* text, size_t n, TextColour colour) {
  if (colour != TextColour::kNormal) plat_text_colour(colour);
  int bytes = out_write(mark, kMarkWidth);
  bytes += out_write(text, n);
  if (colour != TextColour::kNormal) plat_text_colour(TextColour::kNormal);
  bytes += out_write("\n", 1);
  report_pager_count(bytes, kPausePrompt);
}

void print_heading(const SurveyRun& run) {
  g_forecasts = run.forecasts;
  Line line;
  line.column("ドライブ", kNameWidth);
  line.column("種別", kTypeWidth);
  line.column("FS", kFsWidth);
  line.column("ラベル", kLabelWidth);
  line.right("全容量", kFigureWidth);
  line.blanks(1);
  line.right("空容量", kFigureWidth);
  line.blanks(1);
  line.right("使用率", kPercentWidth);
  line.blanks(1);
  if (g_forecasts) {
    line.right("満杯まで", kDaysWidth);
  } else {
    line.add("使用状況", strlen("使用状況"));
  }
  emit("  ", line.text, line.length, TextColour::kNormal);
}

void print_line(const char* name, const DriveRecord& record) {
  // A drive past a critical level is marked "!" and red, past a warning
  // level "*" and yellow.  The mark opens the drive's first line only, so
  // that a script counts one marked line a drive.
  const Level level = record.judgement.level;
  const TextColour colour = level == Level::kCritical  ? TextColour::kCritical
                            : level == Level::kWarning ? TextColour::kWarning
                                                       : TextColour::kNormal;
  const char* mark = level == Level::kCritical ? "! " : level == Level::kWarning ? "* " : "  ";
  const size_t name_length = strlen(name);
  Line line;
  if (name_length > kNameWidth) {
    // The name alone, as wide as it is; the rest follows under it.
    emit(mark, name, name_length, colour);
    mark = "  ";
    line.blanks(kNameWidth + 1);
  } else {
    line.column(name, kNameWidth);
  }
  if (record.reached >= Reached::kDriveType) {
    const char* type = drive_type_word(record.facts.drive_type);
    line.column(type ? type : "不明", kTypeWidth);
  } else {
    line.blanks(kTypeWidth + 1);
  }
  if (record.reached >= Reached::kVolume) {
    line.column(record.facts.fs_name, kFsWidth);
    line.column(record.volume.label, kLabelWidth);
  } else {
    line.blanks(kFsWidth + 1 + kLabelWidth + 1);
  }
  const char* word = stop_word(record);
  if (word) {
    line.add(word, strlen(word));
  } else {
    Line figures;
    add_figures(&figures, record);
    if (kMarkWidth + kFiguresColumn + figures.length > kListWidth) {
      // A capacity of ten thousand G or more widens its column: the
      // figures go on a line of their own, ending where every line ends.
      line.trim();
      emit(mark, line.text, line.length, colour);
      mark = "  ";
      line.length = 0;
      line.blanks(kListWidth - kMarkWidth - figures.length);
    }
    line.add(figures.text, figures.length);
  }
  line.trim();
  emit(mark, line.text, line.length, colour);
}

// Whatever befalls a drive, its trouble is told on its line and in full on
// standard error; a drive without its medium is no error.
void take(const DriveRecord& record, const SurveyRun&) {
  size_t length = 0;
  const char* text = drive_name(record, &length);
  char* name = allocate(length + 1);
  ScopedFree name_holder(name);
  copy_showable(name, text, length);
  print_line(name, record);
  const StopWords* words = drive_stop_words(record, true);
  if (!words) return;
  char* message = stop_message(*words, text, length);
  ScopedFree message_holder(message);
  drive_error(message);
}

void end(const SurveyRun&) {}

}  // namespace

// One drive's trouble never ends the list, so named drives too are asked at
// once.
const Printer kListPrinter = {false, false, print_heading, take, end};
