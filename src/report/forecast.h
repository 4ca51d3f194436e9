// How fast a drive fills and when it will be full, from the readings the
// record kept of it over the last week.
#ifndef VOLSURVEY_REPORT_FORECAST_H_
#define VOLSURVEY_REPORT_FORECAST_H_

#include <cstddef>
#include <cstdint>

// One reading of a drive: when, and its capacities.
struct HistoryPoint {
  int64_t time;  // seconds since 1970-01-01 UTC
  uint64_t total_bytes;
  uint64_t free_bytes;
};

// kTooShort: fewer than 3 readings of the last week, or less than a day
// between the first and the last of them.  kNotFilling: the used bytes
// grow by less than half a byte a day, or shrink.
enum class Trend { kTooShort, kNotFilling, kFilling };

struct Forecast {
  Trend trend = Trend::kTooShort;
  // The used bytes' growth a day, rounded to the nearest (halves away from
  // zero) and held to the range of int64_t; negative when the drive
  // empties, 0 for kTooShort.
  int64_t growth_per_day = 0;
  // kFilling only: the free bytes of `now` over the growth, rounded down
  // (0 when the drive is full already), at most INT64_MAX.
  uint64_t days_until_full = 0;
};

// The forecast for the series of one drive (same name and serial): `past`
// holds its earlier readings in any order, `now` this run's.  Only readings
// of the 7 days up to `now` count, `now` among them; one later than `now`
// (the clock was set back between two runs) is left out.  The growth is
// the slope of the least-squares line through the used bytes (total less
// free, 0 when the free exceed the total) over time.
Forecast forecast_fill(const HistoryPoint* past, size_t count, const HistoryPoint& now);

#endif  // VOLSURVEY_REPORT_FORECAST_H_
