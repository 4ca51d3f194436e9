#include "report/json_report.h"

#include "driver/settings.h"
#include "report/size.h"
#include "report/stops.h"
#include "report/threshold.h"
#include "report/volume.h"

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
void print_error(JsonWriter* w, const StopWords& words, const char16_t* name) {
  json_open(w, "error", '{');
  json_ascii_member(w, "code", words.code);
  json_begin_string(w, "message");
  json_units(words.wide_before, units_length(words.wide_before));
  json_units(name, units_length(name));
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

}  // namespace

bool print_drive_json(JsonWriter* w, const char16_t* name, const DriveRecord* record,
                      bool whole_machine) {
  json_open(w, nullptr, '{');
  json_units_member(w, "drive", name);
  const StopWords* error = bad_name_words();
  if (record) {
    const DriveRecord& r = *record;
    const bool volume_shown = settings.show_volume != 0;
    if (volume_shown && r.reached >= Reached::kDriveType) print_type(w, r.facts.drive_type);
    if (volume_shown && r.reached >= Reached::kVolume) print_volume_members(w, r);
    if (settings.show_size && r.reached >= Reached::kSize) {
      print_size_members(w, r.size);
      if (threshold_set()) json_bool(w, "over_threshold", over_threshold(r));
    }
    error = drive_stop_words(r, whole_machine);
    if (r.stop == Stop::kNoMedium && !error) json_bool(w, "no_medium", true);
  }
  if (error) print_error(w, *error, name);
  json_close(w, '}');
  return error != nullptr;
}
