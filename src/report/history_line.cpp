#include "report/history_line.h"

#include <cstring>

#include "report/scale.h"
#include "text/utf8.h"

const char kHistoryHeader[] = "time,drive,volume_serial,total_bytes,free_bytes,caller_free_bytes";

namespace {

const int64_t kDay = 86400;
const int64_t kLastTime = 253402300799;  // 9999-12-31T23:59:59Z

// Each number of "2026-12-10T03:15:00Z": where it stands, and its width.
struct TimeField {
  int at, width;
};
const TimeField kTimeFields[] = {{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}};
const char kTimePattern[] = "0000-00-00T00:00:00Z";
const size_t kTimeLength = sizeof kTimePattern - 1;

// The days since 1970-01-01 of a date of the Gregorian calendar, and
// back.  The years are counted from March, so that a leap day ends its
// year and the months' lengths repeat from there; a 400-year era holds
// 146097 days, and 719468 days lead from 0000-03-01 to 1970-01-01.
int64_t days_from_date(int64_t year, int64_t month, int64_t day) {
  if (month <= 2) --year;
  const int64_t era = year / 400, year_of_era = year % 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year -
         719468;
}

void date_from_days(int64_t days, int64_t* year, int64_t* month, int64_t* day) {
  days += 719468;
  const int64_t era = days / 146097, day_of_era = days % 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  *month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  *year = era * 400 + year_of_era + (*month <= 2 ? 1 : 0);
}

// The line being written; `fits` turns false for good once a piece did not.
struct Writer {
  char* at;
  char* end;
  bool fits;
};

void put(Writer* w, const char* text, size_t n) {
  if (!w->fits || static_cast<size_t>(w->end - w->at) < n) {
    w->fits = false;
    return;
  }
  memcpy(w->at, text, n);
  w->at += n;
}

void put_count(Writer* w, uint64_t count) {
  char digits[21];
  format_decimal(count, digits);
  put(w, ",", 1);
  put(w, digits, strlen(digits));
}

// Whether a field holding `c` is quoted, as RFC 4180 has it.
bool must_quote(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

// The line being read.
struct Reader {
  const char* at;
  const char* end;
};

// The next field, unquoted, into `out` (`size` bytes, not terminated) and
// its length; the reader then stands after its comma.  False when it is
// malformed, longer than `size`, or not the last field where `last` says
// it is, or the reverse.
bool next_field(Reader* r, char* out, size_t size, size_t* length, bool last) {
  size_t n = 0;
  if (r->at < r->end && *r->at == '"') {
    for (++r->at;;) {
      if (r->at == r->end) return false;  // the closing quote is missing
      const char c = *r->at++;
      if (c == '"') {
        if (r->at == r->end || *r->at != '"') break;
        ++r->at;  // a doubled quote stands for one
      }
      if (n == size) return false;
      out[n++] = c;
    }
  } else {
    for (; r->at < r->end && *r->at != ','; ++r->at) {
      if (must_quote(*r->at) || n == size) return false;
      out[n++] = *r->at;
    }
  }
  *length = n;
  if (r->at == r->end) return last;
  if (last || *r->at != ',') return false;
  ++r->at;
  return true;
}

// Plain decimal as format_decimal writes it: digits only, no leading zero,
// at most 2^64-1.
bool parse_count(const char* text, size_t n, uint64_t* count) {
  if (n == 0 || (n > 1 && text[0] == '0')) return false;
  uint64_t value = 0;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    // Past 2^64-1 without a division, which costs a call on 32-bit x86.
    const uint64_t kTenth = UINT64_MAX / 10;
    if (value > kTenth || (value == kTenth && digit > UINT64_MAX % 10)) return false;
    value = value * 10 + digit;
  }
  *count = value;
  return true;
}

const char kHexDigits[] = "0123456789ABCDEF";

bool parse_serial(const char* text, size_t n, uint32_t* serial) {
  if (n != 8) return false;
  uint32_t value = 0;
  for (size_t i = 0; i < n; ++i) {
    const char* digit = text[i] ? strchr(kHexDigits, text[i]) : nullptr;
    if (!digit) return false;
    value = value << 4 | static_cast<uint32_t>(digit - kHexDigits);
  }
  *serial = value;
  return true;
}

// A name the record can hold: a NUL would cut it short for whoever reads
// it as a C string.
bool name_fits(const char* name, size_t n) {
  return n > 0 && !memchr(name, '\0', n) && utf8_valid(name, n);
}

}  // namespace

bool format_utc(int64_t time, char out[21]) {
  const bool in_range = time >= 0 && time <= kLastTime;
  if (!in_range) time = time < 0 ? 0 : kLastTime;
  int64_t values[6];
  date_from_days(time / kDay, &values[0], &values[1], &values[2]);
  const int64_t second_of_day = time % kDay;
  values[3] = second_of_day / 3600;
  values[4] = second_of_day / 60 % 60;
  values[5] = second_of_day % 60;
  memcpy(out, kTimePattern, sizeof kTimePattern);
  for (int i = 0; i < 6; ++i) {
    int64_t value = values[i];
    for (int k = kTimeFields[i].width - 1; k >= 0; --k, value /= 10) {
      out[kTimeFields[i].at + k] = static_cast<char>('0' + value % 10);
    }
  }
  return in_range;
}

bool parse_utc(const char* text, size_t n, int64_t* time) {
  if (n != kTimeLength) return false;
  int64_t values[6];
  for (int i = 0; i < 6; ++i) {
    const TimeField& f = kTimeFields[i];
    values[i] = 0;
    for (int k = 0; k < f.width; ++k) {
      const char c = text[f.at + k];
      if (c < '0' || c > '9') return false;
      values[i] = values[i] * 10 + (c - '0');
    }
  }
  // Each number in its range and the separators where they stand: the
  // text must be a time of its own (no month 13, no 02-30, no 24:00).
  static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int64_t year = values[0], month = values[1], day = values[2];
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (year < 1970 || month < 1 || month > 12 || day < 1 ||
      day > kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0) || values[3] > 23 ||
      values[4] > 59 || values[5] > 59) {
    return false;
  }
  for (size_t i = 0; i < kTimeLength; ++i) {
    if (kTimePattern[i] != '0' && text[i] != kTimePattern[i]) return false;
  }
  *time = days_from_date(year, month, day) * kDay + values[3] * 3600 + values[4] * 60 + values[5];
  return true;
}

size_t format_history_line(const HistoryEntry& e, char* out, size_t size) {
  char time[sizeof kTimePattern];
  if (!format_utc(e.time, time) || !name_fits(e.drive, e.drive_length)) return 0;
  Writer w{out, out + size, true};
  put(&w, time, kTimeLength);
  put(&w, ",", 1);
  bool quoted = false;
  for (size_t i = 0; i < e.drive_length; ++i) quoted = quoted || must_quote(e.drive[i]);
  if (quoted) put(&w, "\"", 1);
  for (size_t i = 0; i < e.drive_length; ++i) {
    if (quoted && e.drive[i] == '"') put(&w, "\"", 1);
    put(&w, &e.drive[i], 1);
  }
  if (quoted) put(&w, "\"", 1);
  char serial[9] = {','};
  for (int i = 0; i < 8; ++i) serial[8 - i] = kHexDigits[(e.serial >> (4 * i)) & 0xF];
  put(&w, serial, sizeof serial);
  put_count(&w, e.total_bytes);
  put_count(&w, e.free_bytes);
  put_count(&w, e.caller_free_bytes);
  put(&w, "\r\n", 2);
  return w.fits ? static_cast<size_t>(w.at - out) : 0;
}

bool parse_history_line(const char* line, size_t n, HistoryEntry* e, char* name,
                        size_t name_size) {
  if (n < 2 || line[n - 2] != '\r' || line[n - 1] != '\n') return false;
  Reader r{line, line + n - 2};
  char text[kTimeLength + 1];  // room for a time, a serial or a count
  size_t length;
  if (!next_field(&r, text, sizeof text, &length, false) || !parse_utc(text, length, &e->time)) {
    return false;
  }
  if (name_size == 0 || !next_field(&r, name, name_size - 1, &length, false) ||
      !name_fits(name, length)) {
    return false;
  }
  name[length] = '\0';
  e->drive = name;
  e->drive_length = length;
  if (!next_field(&r, text, sizeof text, &length, false) ||
      !parse_serial(text, length, &e->serial)) {
    return false;
  }
  uint64_t* const counts[] = {&e->total_bytes, &e->free_bytes, &e->caller_free_bytes};
  for (int i = 0; i < 3; ++i) {
    if (!next_field(&r, text, sizeof text, &length, i == 2) ||
        !parse_count(text, length, counts[i])) {
      return false;
    }
  }
  return true;
}
