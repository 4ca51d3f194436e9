#include "report/history.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "report/history_line.h"
#include "report/scale.h"
#include "report/size.h"
#include "report/stops.h"
#include "text/scoped.h"
#include "text/utf8.h"

namespace {

const int64_t kDay = 86400;
const int64_t kWindow = 7 * kDay;
// Runs that appended at once may have put their lines out of order: the
// reading goes a day further back than the forecasts look.
const int64_t kSlack = kDay;
const size_t kFirstBlock = size_t{64} * 1024;
// How long a run waits while another reads or appends.
const uint32_t kTurnMs = 5000;
// Written at the start of a new record, so that Excel reads it as UTF-8.
const char kBom[] = "\xEF\xBB\xBF";

// A heap block that grows as bytes are added.
struct Bytes {
  char* data = nullptr;
  size_t length = 0;
  size_t capacity = 0;

  void add(const char* bytes, size_t n) {
    if (length + n > capacity) {
      capacity = (length + n) * 2;
      char* grown = allocate(capacity);
      if (length) memcpy(grown, data, length);
      free(data);
      data = grown;
    }
    if (n) memcpy(data + length, bytes, n);
    length += n;
  }
};

// A reading of the record within the week the forecasts look at; its name
// is in the names' block.
struct Reading {
  size_t name_at;
  size_t name_length;
  uint32_t serial;
  HistoryPoint point;
};

struct History {
  RecordFile* file = nullptr;
  int64_t now = 0;
  Bytes names;
  Bytes readings;  // of Reading
  Bytes lines;     // this run's, appended at the end
};

History g_history;

void tell(const char* words) {
  const size_t size = strlen(words) + strlen(settings.record_file) + 1;
  char* message = allocate(size);
  ScopedFree message_holder(message);
  const char* at = strstr(words, "%s");
  snprintf(message, size, "%.*s%s%s", static_cast<int>(at - words), words, settings.record_file,
           at + 2);
  drive_error(message);
}

// The end of the line that starts at `at`, past its line feed; `end` for a
// line cut short.
const char* line_end(const char* at, const char* end) {
  const char* feed = static_cast<const char*>(memchr(at, '\n', static_cast<size_t>(end - at)));
  return feed ? feed + 1 : end;
}

// One line with its line end; the name kept in `*name`, a heap block the
// caller frees.
bool parse(const char* line, size_t n, HistoryEntry* e, char** name) {
  free(*name);
  *name = allocate(n + 1);
  return parse_history_line(line, n, e, *name, n + 1);
}

// Whether the first whole line of `tail` that reads well is older than
// what the forecasts look at: nothing before it is needed.
bool before_window(const char* tail, size_t n) {
  const char* end = tail + n;
  char* name = nullptr;
  bool before = false;
  // The first line is cut by the block's start.
  for (const char* at = line_end(tail, end); at < end; at = line_end(at, end)) {
    HistoryEntry e;
    if (parse(at, static_cast<size_t>(line_end(at, end) - at), &e, &name)) {
      before = e.time < g_history.now - kWindow - kSlack;
      break;
    }
  }
  free(name);
  return before;
}

// The record from `*start` to `size`: read back from its end in ever larger
// blocks until the lines reach back past the week, or the file's start.
char* read_tail(uint64_t size, uint64_t* start) {
  char* tail = nullptr;
  uint64_t from = size;
  size_t block = kFirstBlock;
  while (from > 0) {
    const uint64_t earlier = from > block ? from - block : 0;
    const size_t have = static_cast<size_t>(size - from);
    const size_t adding = static_cast<size_t>(from - earlier);
    char* grown = allocate(have + adding + 1);
    if (plat_record_read(g_history.file, earlier, grown, adding) != adding) {
      free(grown);
      break;
    }
    if (have) memcpy(grown + adding, tail, have);
    free(tail);
    tail = grown;
    from = earlier;
    block = have + adding;
    if (before_window(tail, have + adding)) break;
  }
  *start = from;
  return tail;
}

// One message for each line that cannot be read, by its number: counted
// from the file's start, which is read again only for it.
void tell_unread(const uint64_t* offsets, size_t count) {
  uint64_t line = 1, at = 0;
  char block[4096];
  for (size_t i = 0; i < count; ++i) {
    while (at < offsets[i]) {
      const uint64_t left = offsets[i] - at;
      const size_t n = plat_record_read(g_history.file, at, block,
                                        left < sizeof block ? static_cast<size_t>(left) : sizeof block);
      if (n == 0) return;
      for (size_t k = 0; k < n; ++k) line += block[k] == '\n';
      at += n;
    }
    char number[24], words[64];
    snprintf(words, sizeof words, "記録ファイル\"%%s\"の%s行目を読めません。",
             format_decimal(line, number));
    tell(words);
  }
}

// Keeps the readings of the week; a line that cannot be read is told and
// skipped.
void take_readings(const char* tail, size_t n, uint64_t start) {
  const char* end = tail + n;
  const char* at = start == 0 ? tail : line_end(tail, end);
  Bytes unread;
  char* name = nullptr;
  for (; at < end; at = line_end(at, end)) {
    const char* line = at;
    size_t length = static_cast<size_t>(line_end(at, end) - at);
    if (line == tail && start == 0) {
      // The file's own start: its mark of UTF-8 and its heading.
      if (length >= 3 && memcmp(line, kBom, 3) == 0) {
        line += 3;
        length -= 3;
      }
      const size_t heading = strlen(kHistoryHeader);
      if (length == heading + 2 && memcmp(line, kHistoryHeader, heading) == 0) continue;
    }
    if (length == 2 && line[0] == '\r') continue;  // an empty line harms nothing
    HistoryEntry e;
    if (!parse(line, length, &e, &name)) {
      const uint64_t offset = start + static_cast<uint64_t>(at - tail);
      unread.add(reinterpret_cast<const char*>(&offset), sizeof offset);
      continue;
    }
    if (e.time < g_history.now - kWindow || e.time > g_history.now) continue;
    const Reading r = {g_history.names.length, e.drive_length, e.serial,
                       {e.time, e.total_bytes, e.free_bytes}};
    g_history.names.add(e.drive, e.drive_length);
    g_history.readings.add(reinterpret_cast<const char*>(&r), sizeof r);
  }
  free(name);
  tell_unread(reinterpret_cast<const uint64_t*>(unread.data), unread.length / sizeof(uint64_t));
  free(unread.data);
}

// The drive's name as the record has it: UTF-8, as the system spells it.
char* utf8_name(const DriveRecord& r, size_t* length) {
  size_t n = 0;
  const char16_t* wide = drive_wide_name(r, &n);
  char* name = allocate(utf8_size(wide, n) + 1);
  *length = to_utf8(wide, n, name);
  return name;
}

void finish_quietly() { history_finish(); }

}  // namespace

bool history_start() {
  g_history = History{};
  g_history.now = plat_utc_now();
  g_history.file = plat_record_open(settings.record_file, settings.record_source);
  if (!g_history.file) {
    tell("記録ファイル\"%s\"を開けません。");
    return false;
  }
  // A run that a drive ends before its last still keeps the lines of the
  // drives before it.
  at_program_exit(finish_quietly);
  // Read while no other run appends, so that no line is seen half written.
  const bool turn = plat_record_lock(g_history.file, kTurnMs);
  const uint64_t size = plat_record_size(g_history.file);
  uint64_t start = size;
  char* tail = read_tail(size, &start);
  if (turn) plat_record_unlock(g_history.file);
  if (tail) take_readings(tail, static_cast<size_t>(size - start), start);
  free(tail);
  return true;
}

bool history_open() { return g_history.file != nullptr; }

Forecast history_take(const DriveRecord& r) {
  size_t name_length = 0;
  char* name = utf8_name(r, &name_length);
  ScopedFree name_holder(name);
  const SizeFigures& f = r.size;
  const HistoryPoint now = {g_history.now, total_capacity(f), free_capacity(f)};
  // The 64-bit query alone tells the caller's share apart.
  const HistoryEntry entry = {g_history.now, name, name_length, r.volume.serial,
                              now.total_bytes, now.free_bytes,
                              f.classic_query ? now.free_bytes : f.caller_free_bytes};
  char* line = allocate(kHistoryLineRoom + 2 * name_length);
  g_history.lines.add(line, format_history_line(entry, line, kHistoryLineRoom + 2 * name_length));
  free(line);
  // The drive's series: its name and its serial, so that a disk formatted
  // anew, or another disk in the same letter, starts a series of its own.
  const Reading* readings = reinterpret_cast<const Reading*>(g_history.readings.data);
  const size_t count = g_history.readings.length / sizeof(Reading);
  HistoryPoint* series = allocate_array<HistoryPoint>(count ? count : 1);
  ScopedFree series_holder(series);
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    const Reading& reading = readings[i];
    if (reading.serial == r.volume.serial && reading.name_length == name_length &&
        memcmp(g_history.names.data + reading.name_at, name, name_length) == 0) {
      series[n++] = reading.point;
    }
  }
  return forecast_fill(series, n, now);
}

bool history_finish() {
  at_program_exit(nullptr);
  if (!g_history.file) return true;
  bool written = plat_record_lock(g_history.file, kTurnMs);
  if (written) {
    // A new record starts with its heading; a line cut short (a run cut off)
    // is ended, so that this run's first line stands on its own.
    Bytes out;
    const uint64_t size = plat_record_size(g_history.file);
    char last = '\n';
    if (size == 0) {
      out.add(kBom, 3);
      out.add(kHistoryHeader, strlen(kHistoryHeader));
      out.add("\r\n", 2);
    } else if (plat_record_read(g_history.file, size - 1, &last, 1) == 1 && last != '\n') {
      out.add("\r\n", 2);
    }
    out.add(g_history.lines.data, g_history.lines.length);
    written = plat_record_append(g_history.file, out.data, out.length);
    plat_record_unlock(g_history.file);
    free(out.data);
  }
  plat_record_close(g_history.file);
  free(g_history.names.data);
  free(g_history.readings.data);
  free(g_history.lines.data);
  g_history = History{};
  if (!written) tell("記録ファイル\"%s\"に書き込めません。");
  return written;
}
