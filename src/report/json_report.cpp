#include "report/json_report.h"

#include "driver/settings.h"
#include "report/json.h"
#include "report/size.h"
#include "report/stops.h"
#include "report/threshold.h"
#include "report/volume.h"
#include "text/units.h"

namespace {

const char16_t* const kUnknownType = u"不明";

// The drive type as the report words it.
void print_type(JsonWriter* w, int32_t type) {
  const char* word = drive_type_word(type);
  if (word) {
    json_ascii_member(w, "type", word);
  } else {
    json_units_member(w, "type", kUnknownType);
  }
  json_number(w, "type_code", static_cast<uint32_t>(type));
}

void print_volume_members(JsonWriter* w, const DriveRecord& r) {
  char serial[10];
  json_units_member(w, "label", r.volume.wide_label);
  json_ascii_member(w, "serial", format_serial(r.volume.serial, serial));
  json_number(w, "max_component_length", r.volume.max_component);
  json_units_member(w, "file_system", r.volume.wide_fs_name);
  const uint32_t flags = r.volume.flags;
  json_bool(w, "case_sensitive_search", (flags & 0x1) != 0);
  json_bool(w, "case_preserved_names", (flags & 0x2) != 0);
  json_bool(w, "unicode_on_disk", (flags & 0x4) != 0);
  json_bool(w, "persistent_acls", (flags & 0x8) != 0);
}

// The figures the size report prints, unscaled.
void print_size_members(JsonWriter* w, const SizeFigures& f) {
  json_ascii_member(w, "size_query", f.classic_query ? "classic" : "extended");
  json_number(w, "total_bytes", total_capacity(f));
  json_number(w, "free_bytes", free_capacity(f));
  // Only the 64-bit query tells the caller's share apart.
  if (!f.classic_query) json_number(w, "caller_free_bytes", f.caller_free_bytes);
  json_number(w, "sector_size", f.sector_size);
  json_number(w, "cluster_size", f.cluster_size);
  json_bool(w, "cluster_size_estimated", f.cluster_size_estimated);
  json_number(w, "sectors_per_cluster", f.sectors_per_cluster);
  json_number(w, "total_clusters", f.total_clusters);
  json_number(w, "free_clusters", f.free_clusters);
  json_number(w, "max_files", f.total_clusters);
  json_number(w, "remaining_files", f.free_clusters);
}

// Stop words in UTF-16 around the drive's exact name, the time limit in
// place of "%u".
void print_error(JsonWriter* w, const StopWords& words, const char16_t* name, size_t length) {
  json_open(w, "error", '{');
  json_ascii_member(w, "code", words.code);
  json_begin_string(w, "message");
  json_units(words.wide_before, units_length(words.wide_before));
  json_units(name, length);
  const char16_t* after = words.wide_after;
  for (; *after; ++after) {
    if (after[0] == u'%' && after[1] == u'u') {
      json_number_text(settings.time_limit);
      ++after;
    } else {
      json_units(after, 1);
    }
  }
  json_end_string();
  json_close(w, '}');
}

void print_drive(JsonWriter* w, const DriveRecord& r, bool whole_machine) {
  json_open(w, nullptr, '{');
  size_t length = 0;
  const char16_t* name = drive_wide_name(r, &length);
  json_begin_string(w, "drive");
  json_units(name, length);
  json_end_string();
  const bool volume_shown = settings.show_volume != 0;
  if (volume_shown && r.reached >= Reached::kDriveType) print_type(w, r.facts.drive_type);
  if (volume_shown && r.reached >= Reached::kVolume) print_volume_members(w, r);
  if (settings.show_size && r.reached >= Reached::kSize) print_size_members(w, r.size);
  // Every drive judged says so, whatever the reports shown: it counts for
  // the exit code.
  if (r.judgement.judged) {
    static const char* const kLevels[] = {"ok", "warning", "critical"};
    json_bool(w, "over_threshold", over_threshold(r));
    json_ascii_member(w, "level", kLevels[static_cast<int>(r.judgement.level)]);
  }
  if (r.forecast_made) {
    const bool known = r.forecast.trend != Trend::kTooShort;
    json_integer(w, "growth_bytes_per_day", r.forecast.growth_per_day, known);
    json_integer(w, "days_until_full", static_cast<int64_t>(r.forecast.days_until_full),
                 r.forecast.trend == Trend::kFilling);
  }
  const StopWords* error = drive_stop_words(r, whole_machine);
  if (r.stop == Stop::kNoMedium && !error) json_bool(w, "no_medium", true);
  if (error) print_error(w, *error, name, length);
  json_close(w, '}');
}

// The drives of the run, held as they come in.
HeldDrives g_drives;

void begin(const SurveyRun&) { release_drives(&g_drives); }

void take(const DriveRecord& record, const SurveyRun&) { hold_drive(&g_drives, record); }

void end(const SurveyRun& run) {
  JsonWriter w;
  json_open(&w, nullptr, '{');
  json_open(&w, "drives", '[');
  for (size_t i = 0; i < g_drives.count; ++i) print_drive(&w, g_drives.records[i], run.whole_machine);
  json_close(&w, ']');
  json_close(&w, '}');
  release_drives(&g_drives);
}

}  // namespace

const Printer kJsonPrinter = {false, true, begin, take, end};
