#include "report/text_report.h"

#include <cstdlib>

#include "console/output.h"
#include "console/pager.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "report/size.h"
#include "report/stops.h"
#include "report/volume.h"
#include "text/scoped.h"
#include "text/strings.h"

namespace {

bool g_first = true;

// Two empty lines part the reports of two drives, one in wide mode.
void print_separator() {
  report_printf("\n");
  if (!settings.wide_mode) report_printf("\n");
}

void begin(const SurveyRun&) { g_first = true; }

void take(const DriveRecord& record, const SurveyRun& run) {
  if (!g_first) print_separator();
  g_first = false;
  if (record.stop != Stop::kBadName) report_drive(record, run.whole_machine);
  const StopWords* words = drive_stop_words(record, run.whole_machine);
  if (!words) return;
  size_t length = 0;
  const char* name = drive_name(record, &length);
  char* message = stop_message(*words, name, length);
  ScopedFree message_holder(message);
  if (!run.whole_machine) fatal_error("%s", message);
  // One drive's trouble is told where its report stops; the others are
  // still reported.
  drive_error(message);
}

void end(const SurveyRun&) {}

}  // namespace

const Printer kTextPrinter = {true, true, begin, take, end};

void report_drive(const DriveRecord& record, bool whole_machine) {
  size_t name_length = 0;
  const char* text = drive_name(record, &name_length);
  char* name = allocate(name_length + 1);
  ScopedFree name_holder(name);
  copy_showable(name, text, name_length);
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
  if (!settings.show_size || record.reached < Reached::kSize) return;
  print_size(record.size);
  if (record.forecast_made) print_forecast(record.forecast);
}
