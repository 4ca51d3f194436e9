#include "report/forecast.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int64_t kNow = 1796872500;  // 2026-12-10T03:15:00Z
const int64_t kHour = 3600, kDay = 86400;
const uint64_t kTotal = 10000000000000;  // 10 TB
const Trend kShort = Trend::kTooShort, kNot = Trend::kNotFilling, kFill = Trend::kFilling;

// Readings every `step` seconds over `span` seconds up to kNow, the last
// being this run's: the used bytes grow by `per_step` a step and end with
// `free_now` free.
std::vector<HistoryPoint> series(int64_t span, int64_t step, int64_t per_step,
                                 uint64_t free_now) {
  std::vector<HistoryPoint> s;
  for (int64_t age = span; age >= 0; age -= step) {
    s.push_back({kNow - age, kTotal, free_now + static_cast<uint64_t>(age / step * per_step)});
  }
  return s;
}

std::vector<HistoryPoint> joined(std::vector<HistoryPoint> a,
                                 const std::vector<HistoryPoint>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The last reading is this run's.
Forecast run(const std::vector<HistoryPoint>& s) {
  return forecast_fill(s.data(), s.size() - 1, s.back());
}

void expect_forecast(const Forecast& got, Trend trend, int64_t growth, uint64_t days,
                     const char* what) {
  EXPECT_EQ(static_cast<int>(got.trend), static_cast<int>(trend)) << what;
  EXPECT_EQ(got.growth_per_day, growth) << what;
  EXPECT_EQ(got.days_until_full, days) << what;
}

}  // namespace

TEST(Forecast, SlopeDaysAndWhenThereIsNone) {
  const std::vector<HistoryPoint> week = series(7 * kDay, kHour, 1000000, 1000000000);
  const std::vector<HistoryPoint> days3 = series(3 * kDay, kHour, 1000000, 1000000000);
  const std::vector<HistoryPoint> tail = {{kNow - kHour, 100, 30}, {kNow, 100, 30}};
  struct {
    const char* what;
    std::vector<HistoryPoint> s;
    Trend trend;
    int64_t growth;
    uint64_t days;
  } const cases[] = {
      {"steady", week, kFill, 24000000, 41},
      {"shrinking", series(7 * kDay, kHour, -1000000, 1000000000), kNot, -24000000, 0},
      {"flat", series(7 * kDay, kHour, 0, 1000000000), kNot, 0, 0},
      {"full already", series(3 * kDay, kDay, 5, 0), kFill, 5, 0},
      {"half a byte a day rounds up", series(4 * kDay, 2 * kDay, 1, 7), kFill, 1, 7},
      // A third of a byte a day shows as 0, and then with no day count.
      {"rounds to 0", series(6 * kDay, 3 * kDay, 1, 7), kNot, 0, 0},
      {"just a day", series(kDay, kDay / 2, 100, 1000), kFill, 200, 5},
      {"23 hours", series(23 * kHour, kHour, 1000000, 1000000000), kShort, 0, 0},
      {"two readings", series(2 * kDay, 2 * kDay, 1000, 1000000), kShort, 0, 0},
      {"this run alone", series(0, kHour, 0, 1000), kShort, 0, 0},
      {"three at one time", {{kNow, 100, 50}, {kNow, 100, 40}, {kNow, 100, 30}}, kShort, 0, 0},
      {"two at one time", joined({{kNow - kDay, 100, 60}, {kNow - kDay, 100, 40}}, {tail[1]}),
       kFill, 20, 1},
      // Readings that do not count, in any order before the others: runs
      // made before the clock was set back, and those older than a week.
      {"later than now", joined({{kNow + 1, kTotal, 0}, {kNow + kDay, kTotal, kTotal}}, days3),
       kFill, 24000000, 41},
      {"ends of int64", joined({{INT64_MAX, kTotal, 0}, {INT64_MIN, kTotal, kTotal}}, days3),
       kFill, 24000000, 41},
      {"older", joined({{kNow - 7 * kDay - 1, kTotal, 0}, {kNow - 90 * kDay, 0, 0}}, days3), kFill,
       24000000, 41},
      {"a week to the second", joined({{kNow - 7 * kDay, 100, 100}}, tail), kFill, 10, 3},
      {"a second more", joined({{kNow - 7 * kDay - 1, 100, 100}}, tail), kShort, 0, 0},
      {"all later than now", joined(days3, {{kNow - 30 * kDay, kTotal, 0}}), kShort, 0, 0},
  };
  for (const auto& c : cases) expect_forecast(run(c.s), c.trend, c.growth, c.days, c.what);
}

TEST(Forecast, AnHourLongSpikeBarelyMovesIt) {
  // A week of hourly readings growing 1 GB an hour with 2 TB free: 83 days.
  // Wherever in the week one reading finds a 50 GB file deleted an hour
  // later, the growth stays within 2 % of 24 GB a day.
  const std::vector<HistoryPoint> steady = series(7 * kDay, kHour, 1000000000, 2000000000000);
  expect_forecast(run(steady), kFill, 24000000000, 83, "without the spike");
  for (size_t at = 0; at < steady.size(); ++at) {
    std::vector<HistoryPoint> s = steady;
    s[at].free_bytes -= 50000000000;
    const Forecast f = run(s);
    EXPECT_NEAR(static_cast<double>(f.growth_per_day), 24e9, 0.02 * 24e9) << at;
    EXPECT_TRUE(f.days_until_full >= 80 && f.days_until_full <= 85) << at;
  }
}

TEST(Forecast, ByteCountsNear2To64AreExact) {
  const uint64_t kMax = UINT64_MAX;
  // A nearly full 16 EiB volume filling by some 24 KB a day, unevenly:
  // what a double's 53 bits would round away.  Then used bytes swinging
  // between none and nearly all.
  std::vector<HistoryPoint> near_full, swinging;
  for (uint64_t k = 0; k <= 168; ++k) {
    const uint64_t free = 10000000 - k * 997 - (k * k * 31 % 1009);
    near_full.push_back({kNow - static_cast<int64_t>(168 - k) * kHour, kMax, free});
    if (k % 4 == 0) {
      swinging.push_back({near_full.back().time, kMax, (k * 0x9E3779B97F4A7C15u) >> (k % 3)});
    }
  }
  const std::vector<HistoryPoint> cases[] = {
      near_full, swinging,
      // A byte a day with 16 EiB free: the day count is held at INT64_MAX.
      {{kNow - 2 * kDay, kMax, kMax}, {kNow - kDay, kMax, kMax - 1}, {kNow, kMax, kMax - 2}},
      // Growth and shrinking past int64_t are held at its ends.
      {{kNow - kDay, kMax, kMax}, {kNow - 2, kMax, kMax}, {kNow - 1, kMax, 0}, {kNow, kMax, 0}},
      {{kNow - kDay, kMax, 0}, {kNow - 2, kMax, 0}, {kNow - 1, kMax, kMax}, {kNow, kMax, kMax}},
  };
  for (const std::vector<HistoryPoint>& s : cases) {
    // The same least squares in exact 128-bit integers, rounded half away
    // from zero and held to int64_t.
    __int128 n = static_cast<__int128>(s.size()), sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const HistoryPoint& p : s) {
      const __int128 x = p.time - kNow, y = p.total_bytes - p.free_bytes;
      sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const __int128 num = (n * sxy - sx * sy) * kDay, den = n * sxx - sx * sx;
    const __int128 r = num % den;
    const __int128 q = num / den + (2 * (r < 0 ? -r : r) >= den ? (num < 0 ? -1 : 1) : 0);
    const int64_t want = q > INT64_MAX   ? INT64_MAX
                         : q < INT64_MIN ? INT64_MIN
                                         : static_cast<int64_t>(q);
    const uint64_t days = want > 0 ? s.back().free_bytes / static_cast<uint64_t>(want) : 0;
    expect_forecast(run(s), want > 0 ? kFill : kNot, want, days > INT64_MAX ? INT64_MAX : days,
                    "");
  }
  EXPECT_EQ(run(cases[2]).days_until_full, static_cast<uint64_t>(INT64_MAX));
  EXPECT_EQ(run(cases[3]).growth_per_day, INT64_MAX);
  EXPECT_EQ(run(cases[4]).growth_per_day, INT64_MIN);
}
