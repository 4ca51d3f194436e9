// One line of the record of runs, a CSV file (RFC 4180) in UTF-8: written
// from a drive's figures, and read back into them.  A line ends with CR LF;
// the file's BOM, and cutting the file into lines, are the file's business.
#ifndef VOLSURVEY_REPORT_HISTORY_LINE_H_
#define VOLSURVEY_REPORT_HISTORY_LINE_H_

#include <cstddef>
#include <cstdint>

// The file's first line, without its line end.
extern const char kHistoryHeader[];

struct HistoryEntry {
  int64_t time;        // seconds since 1970-01-01 UTC
  const char* drive;   // the drive's name in UTF-8, unquoted, not terminated
  size_t drive_length;
  uint32_t serial;
  uint64_t total_bytes;
  uint64_t free_bytes;
  uint64_t caller_free_bytes;
};

// A buffer of kHistoryLineRoom + 2 * drive_length bytes always holds a
// line: the name quoted with every byte a quote, and the longest counts.
const size_t kHistoryLineRoom = 97;

// The line of `e`, CR LF included, into `out` (not terminated); returns
// its length.  0 when `size` is too small, or when the entry makes no line
// that parse_history_line would take back: an empty name, one that is not
// UTF-8 or holds a NUL, a time outside 1970..9999.
size_t format_history_line(const HistoryEntry& e, char* out, size_t size);

// Reads one line of `n` bytes as format_history_line writes it, its CR LF
// included: a last line that lacks it may have been cut inside its last
// number by a run that stopped short, and is refused.  The name, unquoted
// and NUL-terminated, goes into `name` of `name_size` bytes (n always
// suffice), and e->drive points at it.  False, with `e` in no defined
// state, for anything but a whole, well-formed line: the header, a missing
// or extra field, a time that is no date (2026-02-30, 25:00:00), a serial
// that is not eight upper-case hex digits, a count with a sign, a leading
// zero or past 2^64-1, a stray or missing quote, a name that is empty, not
// UTF-8 or holds a NUL.  Any field may be quoted, as RFC 4180 allows.
bool parse_history_line(const char* line, size_t n, HistoryEntry* e, char* name,
                        size_t name_size);

// The time in UTC as "2026-12-10T03:15:00Z" into `out`, NUL-terminated.
// False for a time outside 1970..9999, which is then written as the
// nearest end of that range.
bool format_utc(int64_t time, char out[21]);

// The time of exactly such a text of `n` bytes; false for any other text.
bool parse_utc(const char* text, size_t n, int64_t* time);

#endif  // VOLSURVEY_REPORT_HISTORY_LINE_H_
