#include "report/forecast.h"

namespace {

const uint64_t kDay = 86400;
const uint64_t kWindow = 7 * kDay;

uint64_t used_of(const HistoryPoint& p) {
  return p.free_bytes < p.total_bytes ? p.total_bytes - p.free_bytes : 0;
}

// A reading as the line is fitted through it: its time in seconds after
// `now` (-kWindow..0) and its used bytes less those of `now`.  Both are
// exact in long double (its mantissa holds 64 bits), so that neither the
// sums nor the centring lose what tells two readings of a nearly full
// 16 EiB volume apart.
struct Offset {
  long double seconds;
  long double bytes;
};

// Reading i of `past` followed by `now`, and its age in seconds; false
// when it lies outside the week up to `now`.  The age is an unsigned
// difference, so that no time, however far off a hand-edited line puts
// it, overflows; one later than `now` wraps round to far more than a week.
bool reading_at(const HistoryPoint* past, size_t count, const HistoryPoint& now, size_t i,
                uint64_t* age, Offset* o) {
  const HistoryPoint& p = i < count ? past[i] : now;
  *age = static_cast<uint64_t>(now.time) - static_cast<uint64_t>(p.time);
  if (*age > kWindow) return false;
  const uint64_t used = used_of(p), used_now = used_of(now);
  o->seconds = -static_cast<long double>(*age);
  o->bytes = used >= used_now ? static_cast<long double>(used - used_now)
                              : -static_cast<long double>(used_now - used);
  return true;
}

// Rounded to the nearest, halves away from zero, and held to the range of
// int64_t.  The fraction is taken off exactly rather than adding 0.5,
// which can round a value just below a half up.
int64_t round_to_int64(long double v) {
  const long double kLimit = 9223372036854775808.0L;  // 2^63
  if (v >= kLimit) return INT64_MAX;
  if (v <= -kLimit) return INT64_MIN;
  int64_t whole = static_cast<int64_t>(v);
  const long double rest = v - static_cast<long double>(whole);
  if (rest >= 0.5L && whole < INT64_MAX) ++whole;
  if (rest <= -0.5L && whole > INT64_MIN) --whole;
  return whole;
}

}  // namespace

Forecast forecast_fill(const HistoryPoint* past, size_t count, const HistoryPoint& now) {
  Forecast f;
  // `now` is the latest reading that counts, so the span is the age of
  // the oldest.
  size_t n = 0;
  uint64_t span = 0;
  long double sum_seconds = 0, sum_bytes = 0;
  for (size_t i = 0; i <= count; ++i) {
    uint64_t age;
    Offset o;
    if (!reading_at(past, count, now, i, &age, &o)) continue;
    ++n;
    if (age > span) span = age;
    sum_seconds += o.seconds;
    sum_bytes += o.bytes;
  }
  if (n < 3 || span < kDay) return f;

  // The slope of the least-squares line through values centred on their
  // means.  A span of a day means two different times, so sxx > 0.
  const long double mean_seconds = sum_seconds / n, mean_bytes = sum_bytes / n;
  long double sxx = 0, sxy = 0;
  for (size_t i = 0; i <= count; ++i) {
    uint64_t age;
    Offset o;
    if (!reading_at(past, count, now, i, &age, &o)) continue;
    const long double dx = o.seconds - mean_seconds, dy = o.bytes - mean_bytes;
    sxx += dx * dx;
    sxy += dx * dy;
  }
  f.growth_per_day = round_to_int64(sxy / sxx * kDay);
  // Judged on the rounded growth, so that a growth shown as 0 never comes
  // with a day count.
  if (f.growth_per_day <= 0) {
    f.trend = Trend::kNotFilling;
    return f;
  }
  f.trend = Trend::kFilling;
  const uint64_t days = now.free_bytes / static_cast<uint64_t>(f.growth_per_day);
  f.days_until_full = days > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : days;
  return f;
}
