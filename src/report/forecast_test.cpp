#include "report/forecast.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int64_t kNow = 1796872500;  // 2026-12-10T03:15:00Z
const int64_t kHour = 3600, kDay = 86400;
const uint64_t kTotal = 10000000000000;  // 10 TB

// Readings every `step` seconds over `span` seconds up to kNow, the last
// being this run's: the used bytes grow by `per_step` a step and end with
// `free_now` free.
std::vector<HistoryPoint> series(int64_t span, int64_t step, int64_t per_step,
                                 uint64_t free_now) {
  std::vector<HistoryPoint> s;
  for (int64_t age = span; age >= 0; age -= step) {
    const uint64_t free = free_now + static_cast<uint64_t>(age / step * per_step);
    s.push_back(HistoryPoint{kNow - age, kTotal, free});
  }
  return s;
}

Forecast run(const std::vector<HistoryPoint>& s) {
  return forecast_fill(s.data(), s.size() - 1, s.back());
}

// Least squares in exact 128-bit integers over the readings of the week up
// to the last, rounded and held as the forecast has them.
Forecast exact(const std::vector<HistoryPoint>& s) {
  const HistoryPoint& now = s.back();
  __int128 n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const HistoryPoint& p : s) {
    if (p.time > now.time || now.time - p.time > 7 * kDay) continue;
    const __int128 x = p.time - now.time;
    const __int128 y = p.total_bytes > p.free_bytes ? p.total_bytes - p.free_bytes : 0;
    ++n, sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const __int128 num = (n * sxy - sx * sy) * kDay, den = n * sxx - sx * sx;
  __int128 q = num / den;
  const __int128 r = num % den;
  if (2 * (r < 0 ? -r : r) >= den) q += num < 0 ? -1 : 1;
  Forecast f;
  f.growth_per_day = q > INT64_MAX ? INT64_MAX : q < INT64_MIN ? INT64_MIN : static_cast<int64_t>(q);
  f.trend = f.growth_per_day > 0 ? Trend::kFilling : Trend::kNotFilling;
  if (f.growth_per_day > 0) {
    const uint64_t days = now.free_bytes / static_cast<uint64_t>(f.growth_per_day);
    f.days_until_full = days > INT64_MAX ? INT64_MAX : days;
  }
  return f;
}

void expect_forecast(const Forecast& got, Trend trend, int64_t growth, uint64_t days,
                     const char* what) {
  EXPECT_EQ(static_cast<int>(got.trend), static_cast<int>(trend)) << what;
  EXPECT_EQ(got.growth_per_day, growth) << what;
  EXPECT_EQ(got.days_until_full, days) << what;
}

}  // namespace

TEST(Forecast, SlopeDaysAndWhenThereIsNone) {
  const Trend kShort = Trend::kTooShort, kNot = Trend::kNotFilling, kFill = Trend::kFilling;
  struct {
    const char* what;
    std::vector<HistoryPoint> s;
    Trend trend;
    int64_t growth;
    uint64_t days;
  } const cases[] = {
      {"steady", series(7 * kDay, kHour, 1000000, 1000000000), kFill, 24000000, 41},
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
      {"two at one time", {{kNow - kDay, 100, 60}, {kNow - kDay, 100, 40}, {kNow, 100, 30}},
       kFill, 20, 1},
  };
  for (const auto& c : cases) expect_forecast(run(c.s), c.trend, c.growth, c.days, c.what);
}

TEST(Forecast, AnHourLongSpikeBarelyMovesIt) {
  // A week of hourly readings growing 1 GB an hour with 2 TB free: 83 days.
  // Wherever in the week one reading finds a 50 GB file deleted an hour
  // later, the growth stays within 2 % of 24 GB a day.
  const std::vector<HistoryPoint> steady = series(7 * kDay, kHour, 1000000000, 2000000000000);
  expect_forecast(run(steady), Trend::kFilling, 24000000000, 83, "without the spike");
  for (size_t at = 0; at < steady.size(); ++at) {
    std::vector<HistoryPoint> s = steady;
    s[at].free_bytes -= 50000000000;
    const Forecast f = run(s);
    EXPECT_NEAR(static_cast<double>(f.growth_per_day), 24e9, 0.02 * 24e9) << "spike at " << at;
    EXPECT_GE(f.days_until_full, 80u) << "spike at " << at;
    EXPECT_LE(f.days_until_full, 85u) << "spike at " << at;
  }
}

TEST(Forecast, OnlyTheWeekUpToNowCounts) {
  // Three days growing 24 MB a day, with readings added that must not count.
  const std::vector<HistoryPoint> base = series(3 * kDay, kHour, 1000000, 1000000000);
  struct {
    const char* what;
    std::vector<HistoryPoint> extra;
  } const cases[] = {
      // Runs made before the clock was set back.
      {"later than now", {{kNow + 1, kTotal, 0}, {kNow + kDay, kTotal, kTotal}}},
      {"ends of the range", {{INT64_MAX, kTotal, 0}, {INT64_MIN, kTotal, kTotal}}},
      {"older than a week", {{kNow - 7 * kDay - 1, kTotal, 0}, {kNow - 90 * kDay, kTotal, 1}}},
  };
  for (const auto& c : cases) {
    std::vector<HistoryPoint> s = c.extra;  // in any order, before the series
    s.insert(s.end(), base.begin(), base.end());
    expect_forecast(run(s), Trend::kFilling, 24000000, 41, c.what);
  }
  // The week's first second counts, the second before it does not.
  const HistoryPoint kLater[] = {{kNow - kHour, 100, 30}, {kNow, 100, 30}};
  for (int64_t off : {0, 1}) {
    std::vector<HistoryPoint> s = {{kNow - 7 * kDay - off, 100, 100}};
    s.insert(s.end(), kLater, kLater + 2);
    EXPECT_EQ(static_cast<int>(run(s).trend),
              static_cast<int>(off == 0 ? Trend::kFilling : Trend::kTooShort)) << off;
  }
  // Every earlier reading later than this run's: nothing to go by.
  std::vector<HistoryPoint> set_back = base;
  set_back.push_back({kNow - 30 * kDay, kTotal, 0});
  expect_forecast(run(set_back), Trend::kTooShort, 0, 0, "clock set back a month");
}

TEST(Forecast, ByteCountsNear2To64AreExact) {
  const uint64_t kMax = UINT64_MAX;
  // A nearly full 16 EiB volume filling by a few hundred bytes an hour,
  // unevenly: what a double's 53 bits would round away.
  std::vector<HistoryPoint> near_full;
  for (uint64_t k = 0; k <= 168; ++k) {
    const uint64_t free = 10000000 - k * 997 - (k * k * 31 % 1009);
    near_full.push_back({kNow - static_cast<int64_t>(168 - k) * kHour, kMax, free});
  }
  // Used bytes swinging between none and nearly all.
  std::vector<HistoryPoint> swinging;
  for (uint64_t k = 0; k <= 40; ++k) {
    const uint64_t free = (k * 0x9E3779B97F4A7C15u) >> (k % 3);
    swinging.push_back({kNow - static_cast<int64_t>(40 - k) * 4 * kHour, kMax, free});
  }
  const std::vector<HistoryPoint> cases[] = {
      near_full,
      swinging,
      // A byte a day on 16 EiB free: the day count is held at INT64_MAX.
      {{kNow - 2 * kDay, kMax, kMax}, {kNow - kDay, kMax, kMax - 1}, {kNow, kMax, kMax - 2}},
      // Growth and shrinking past int64_t are held at its ends.
      {{kNow - kDay, kMax, kMax}, {kNow - 2, kMax, kMax}, {kNow - 1, kMax, 0}, {kNow, kMax, 0}},
      {{kNow - kDay, kMax, 0}, {kNow - 2, kMax, 0}, {kNow - 1, kMax, kMax}, {kNow, kMax, kMax}},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const Forecast got = run(cases[i]), want = exact(cases[i]);
    // The long double result may differ from the exact one in the last
    // rounding, by a byte a day at most.
    const __int128 diff = static_cast<__int128>(got.growth_per_day) - want.growth_per_day;
    EXPECT_TRUE(diff >= -1 && diff <= 1) << i << ": " << got.growth_per_day << " against "
                                         << want.growth_per_day;
    if (diff == 0) {
      expect_forecast(got, want.trend, want.growth_per_day, want.days_until_full, "exact");
    }
  }
  EXPECT_EQ(run(cases[2]).days_until_full, static_cast<uint64_t>(INT64_MAX));
  EXPECT_EQ(run(cases[3]).growth_per_day, INT64_MAX);
  EXPECT_EQ(run(cases[4]).growth_per_day, INT64_MIN);
}
