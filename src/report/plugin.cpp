#include "report/plugin.h"

#include <cstdlib>

#include "console/output.h"
#include "driver/fatal.h"
#include "report/scale.h"
#include "report/size.h"
#include "report/stops.h"
#include "report/threshold.h"
#include "report/volume.h"

namespace {

// The drives of the run, held: the first line names the worst first.
HeldDrives g_drives;

// What a monitoring system reads of a drive: its state, and why.
enum class State { kOk, kUnknown, kWarning, kCritical };

const char* const kStateWords[] = {"OK", "UNKNOWN", "WARNING", "CRITICAL"};

// A drive that failed or did not answer is unknown; one without its medium
// is fine, however it was named.
State state_of(const DriveRecord& r) {
  if (drive_stop_words(r, true)) return State::kUnknown;
  if (r.judgement.level == Level::kCritical) return State::kCritical;
  return r.judgement.level == Level::kWarning ? State::kWarning : State::kOk;
}

// Why a drive could not be told, in the words monitoring systems show.
const char* trouble_word(Stop stop) {
  switch (stop) {
    case Stop::kBadName: return "not a drive";
    case Stop::kNoRootDir: return "no such drive";
    case Stop::kNoAnswer: return "no answer";
    case Stop::kCapacityUnreadable: return "size unreadable";
    case Stop::kUnreadable:
    case Stop::kNoMedium:
    default: return "unreadable";
  }
}

void out_number(uint64_t n) {
  char text[24];
  out_puts(format_decimal(n, text));
}

// The drive's name in UTF-8, as the system spells it; a label's quote
// doubled where `quoted`.
void out_name(const DriveRecord& r, bool quoted) {
  size_t length = 0;
  char* bytes = drive_utf8_name(r, &length);
  // Written in runs of whole characters, each quote once more where quoted.
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (!quoted || bytes[i] != '\'') continue;
    out_write(bytes + start, i + 1 - start);
    start = i;
  }
  out_write(bytes + start, length - start);
  free(bytes);
}

// A capacity scaled as the reports scale it, with its unit: "2.1G", "512B".
void out_size(uint64_t count) {
  char text[24];
  out_puts(format_scaled(count, text));
  if (count < 1024) out_puts("B");
}

// "97% used, 2.1G free", the share rounded up as the list shows it.
void out_figures(const SizeFigures& f) {
  const int percent = used_percent(f);
  out_number(percent < 0 ? 0 : static_cast<uint64_t>(percent));
  out_puts("% used, ");
  out_size(free_capacity(f));
  out_puts(" free");
}

// What a drive's part of a text says after its name, with its total where
// `with_total`; its days until full where they put it past a level.
void out_drive_text(const DriveRecord& r, bool with_total) {
  if (state_of(r) == State::kUnknown) {
    out_puts(trouble_word(r.stop));
    return;
  }
  if (r.reached < Reached::kSize) {
    out_puts("no medium");
    return;
  }
  out_figures(r.size);
  if (with_total) {
    out_puts(" of ");
    out_size(total_capacity(r.size));
  }
  const Levels& days = r.judgement.days;
  const uint64_t left = r.forecast.days_until_full;
  if (r.forecast_made && r.forecast.trend == Trend::kFilling &&
      ((days.warning_set && left <= days.warning) || (days.critical_set && left <= days.critical))) {
    out_puts(", full in ");
    out_number(left);
    out_puts(left == 1 ? " day" : " days");
  }
}

// The levels of a drive in used bytes, as its performance data gives them:
// from a share, the least byte count at or past it; from free space, the
// total less it; the lower where both are set.
struct ByteLevel {
  bool set;
  uint64_t bytes;
};

ByteLevel byte_level(uint64_t total, bool used_set, uint64_t percent, bool free_set,
                     uint64_t free_bytes) {
  ByteLevel level = {false, 0};
  if (used_set) level = ByteLevel{true, used_bytes_at(total, percent)};
  if (free_set) {
    const uint64_t bytes = free_bytes < total ? total - free_bytes : 0;
    if (!level.set || bytes < level.bytes) level = ByteLevel{true, bytes};
  }
  return level;
}

void out_level(bool set, uint64_t value) {
  out_puts(";");
  if (set) out_number(value);
}

// The used share to two decimals, rounded.
void out_hundredths(uint64_t used, uint64_t total) {
  const long double share = total ? static_cast<long double>(used) * 10000 / total : 0;
  const uint64_t hundredths = static_cast<uint64_t>(share + 0.5L);
  out_number(hundredths / 100);
  const char decimals[] = {'.', static_cast<char>('0' + hundredths / 10 % 10),
                           static_cast<char>('0' + hundredths % 10)};
  out_write(decimals, sizeof decimals);
}

// 'C: used'=USEDB;W;C;0;TOTAL 'C: used %'=P%;W;C;0;100
void out_performance(const DriveRecord& r) {
  const SizeFigures& f = r.size;
  // A CD-ROM drive is never judged: no levels stand beside its figures.
  const Judgement j = r.facts.drive_type == kDriveCdrom ? Judgement{} : r.judgement;
  const uint64_t total = total_capacity(f), used = used_bytes(f);
  const ByteLevel warning =
      byte_level(total, j.used.warning_set, j.used.warning, j.free.warning_set, j.free.warning);
  const ByteLevel critical = byte_level(total, j.used.critical_set, j.used.critical,
                                        j.free.critical_set, j.free.critical);
  out_puts(" '");
  out_name(r, true);
  out_puts(" used'=");
  out_number(used);
  out_puts("B");
  out_level(warning.set, warning.bytes);
  out_level(critical.set, critical.bytes);
  out_puts(";0;");
  out_number(total);
  out_puts(" '");
  out_name(r, true);
  out_puts(" used %'=");
  out_hundredths(used, total);
  out_puts("%");
  out_level(j.used.warning_set, j.used.warning);
  out_level(j.used.critical_set, j.used.critical);
  out_puts(";0;100");
  if (!r.forecast_made || r.forecast.trend == Trend::kTooShort) return;
  // The used bytes' growth a day.
  out_puts(" '");
  out_name(r, true);
  out_puts(" growth'=");
  const int64_t growth = r.forecast.growth_per_day;
  if (growth < 0) out_puts("-");
  out_number(magnitude(growth));
  out_puts("B");
}

void begin(const SurveyRun&) { release_drives(&g_drives); }

void take(const DriveRecord& record, const SurveyRun&) { hold_drive(&g_drives, record); }

// The first line: the state, the drives that need attention worst first,
// how many are fine, those that could not be told, parted by commas (Nagios
// shows a semicolon as a colon); then the performance data of every drive
// with figures.  Then a line for each drive.
void end(const SurveyRun& run) {
  size_t counts[4] = {};
  // A volume list or a record of runs that could not be had was told on
  // standard error.
  State worst = run.folders_unlisted || run.record_failed ? State::kUnknown : State::kOk;
  for (size_t i = 0; i < g_drives.count; ++i) {
    const State state = state_of(g_drives.records[i]);
    ++counts[static_cast<int>(state)];
    if (state > worst) worst = state;
  }
  out_puts("VOLSURVEY ");
  out_puts(kStateWords[static_cast<int>(worst)]);
  out_puts(" -");
  const char* separator = " ";
  const State order[] = {State::kCritical, State::kWarning, State::kOk, State::kUnknown};
  for (State state : order) {
    if (state == State::kOk) {
      // How many are fine; said also when nothing else is.
      if (counts[static_cast<int>(State::kOk)] == 0 && worst != State::kOk) continue;
      out_puts(separator);
      separator = ", ";
      out_number(counts[static_cast<int>(State::kOk)]);
      out_puts(counts[static_cast<int>(State::kOk)] == 1 ? " drive OK" : " drives OK");
      continue;
    }
    for (size_t i = 0; i < g_drives.count; ++i) {
      const DriveRecord& r = g_drives.records[i];
      if (state_of(r) != state) continue;
      out_puts(separator);
      separator = ", ";
      out_name(r, false);
      out_puts(" ");
      out_drive_text(r, false);
    }
  }
  if (run.folders_unlisted) {
    out_puts(separator);
    separator = ", ";
    out_puts("volume list unreadable");
  }
  if (run.record_failed) {
    out_puts(separator);
    out_puts("record of runs unusable");
  }
  const char* bar = " |";
  for (size_t i = 0; i < g_drives.count; ++i) {
    if (g_drives.records[i].reached < Reached::kSize) continue;
    out_puts(bar);
    bar = "";
    out_performance(g_drives.records[i]);
  }
  out_puts("\n");
  for (size_t i = 0; i < g_drives.count; ++i) {
    const DriveRecord& r = g_drives.records[i];
    out_name(r, false);
    out_puts(" ");
    out_puts(kStateWords[static_cast<int>(state_of(r))]);
    out_puts(", ");
    out_drive_text(r, true);
    out_puts("\n");
  }
  release_drives(&g_drives);
}

}  // namespace

const Printer kPluginPrinter = {false, false, begin, take, end};
