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

namespace {

const int64_t kDay = 86400;
const int64_t kWindow = 7 * kDay;
// Runs that appended at once may have put their lines out of order: the
// reading goes a day further back than the forecasts look.
const int64_t kSlack = kDay;
const size_t kBlock = size_t{64} * 1024;
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

// The time a line begins with ("2026-12-10T03:15:00Z"), where it begins
// with one: enough to tell whether the forecasts need the line at all.
bool line_time(const char* line, size_t n, int64_t* time) {
  const size_t kTimeLength = 20;
  return n > kTimeLength && parse_utc(line, kTimeLength, time);
}

// Whether the first whole line of `tail` that tells its time is older than
// what the forecasts look at: nothing before it is needed.
bool before_window(const char* tail, size_t n) {
  const char* end = tail + n;
  // The first line is cut by the block's start.
  for (const char* at = line_end(tail, end); at < end; at = line_end(at, end)) {
    int64_t time = 0;
    if (line_time(at, static_cast<size_t>(line_end(at, end) - at), &time)) {
      return time < g_history.now - kWindow - kSlack;
    }
  }
  return false;
}

// The end of the record read so far: `length` bytes from `start` on, at
// `data`, the end of a heap block that grows toward its front.
struct Tail {
  char* block = nullptr;
  char* data = nullptr;
  size_t length = 0;
  uint64_t start = 0;
};

// Reads the record back from `size`, block by block, until its lines reach
// back past the week, or to the file's start.
Tail read_tail(uint64_t size) {
  Tail tail;
  tail.start = size;
  size_t room = 0;  // before `data` in the block
  while (tail.start > 0) {
    const size_t step = tail.start > kBlock ? kBlock : static_cast<size_t>(tail.start);
    if (step > room) {
      // Twice the room each time, so that reading a long way back copies
      // each byte only a few times.
      const size_t capacity = 2 * (tail.length + step);
      char* block = allocate(capacity);
      char* data = block + capacity - tail.length;
      if (tail.length) memcpy(data, tail.data, tail.length);
      free(tail.block);
      tail.block = block;
      tail.data = data;
      room = capacity - tail.length;
    }
    if (plat_record_read(g_history.file, tail.start - step, tail.data - step, step) != step) break;
    tail.data -= step;
    tail.length += step;
    tail.start -= step;
    room -= step;
    if (before_window(tail.data, tail.length)) break;
  }
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

// Keeps the readings of the week; a line of it that cannot be read is told
// and skipped.  A line whose time is older is passed over unread.
void take_readings(const char* tail, size_t n, uint64_t start) {
  const char* end = tail + n;
  const char* at = start == 0 ? tail : line_end(tail, end);
  Bytes unread;
  Bytes name;
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
    int64_t time = 0;
    if (line_time(line, length, &time) && time < g_history.now - kWindow) continue;
    // One block for every name, as long as the longest line.
    if (name.capacity < length + 1) {
      free(name.data);
      name.data = allocate(length + 1);
      name.capacity = length + 1;
    }
    HistoryEntry e;
    if (!parse_history_line(line, length, &e, name.data, name.capacity)) {
      const uint64_t offset = start + static_cast<uint64_t>(at - tail);
      unread.add(reinterpret_cast<const char*>(&offset), sizeof offset);
      continue;
    }
    if (e.time > g_history.now) continue;
    const Reading r = {g_history.names.length, e.drive_length, e.serial,
                       {e.time, e.total_bytes, e.free_bytes}};
    g_history.names.add(e.drive, e.drive_length);
    g_history.readings.add(reinterpret_cast<const char*>(&r), sizeof r);
  }
  free(name.data);
  tell_unread(reinterpret_cast<const uint64_t*>(unread.data), unread.length / sizeof(uint64_t));
  free(unread.data);
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
  Tail tail = read_tail(plat_record_size(g_history.file));
  if (turn) plat_record_unlock(g_history.file);
  if (tail.length) take_readings(tail.data, tail.length, tail.start);
  free(tail.block);
  return true;
}

Forecast history_take(const DriveRecord& r) {
  size_t name_length = 0;
  char* name = drive_utf8_name(r, &name_length);
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
