#include "report/threshold.h"

#include <gtest/gtest.h>

#include "driver/settings.h"
#include "report/volume.h"

namespace {

const uint64_t kMax = UINT64_MAX;

// A drive answered to the end, with figures of the 64-bit query.
DriveRecord drive(uint64_t total, uint64_t free, int32_t type = kDriveFixed) {
  DriveRecord r;
  r.reached = Reached::kSize;
  r.facts.drive_type = type;
  r.size.classic_query = false;
  r.size.total_bytes = total;
  r.size.free_bytes = free;
  return r;
}

}  // namespace

TEST(Threshold, ShareAtLeastIsExactBeyond64Bits) {
  struct {
    uint64_t part, whole;
    uint32_t numerator, denominator;
    bool want;
  } const cases[] = {
      {90, 100, 90, 100, true},
      {89, 100, 90, 100, false},
      {kMax, kMax, 100, 100, true},
      {kMax - 1, kMax, 100, 100, false},      // a byte short of full
      // 90 % of 2^64-1 is ...453.5: the products need 96 bits.
      {kMax / 10 * 9 + 4, kMax, 90, 100, false},
      {kMax / 10 * 9 + 5, kMax, 90, 100, true},
      {1, 3, 1, 3, true},
      {0, 5, 0, 1, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(share_at_least(c.part, c.whole, c.numerator, c.denominator), c.want)
        << c.part << " of " << c.whole << " >= " << c.numerator << "/" << c.denominator;
  }
}

TEST(Threshold, UsedPercentRoundsUp) {
  struct {
    uint64_t total, free;
    int want;
  } const cases[] = {
      {100, 100, 0},   {100, 99, 1},     {1000, 991, 1},  // any byte in use shows
      {100, 10, 90},   {1000, 101, 90},  {1000, 1, 100},  // 99.9 % is shown as 100 %
      {100, 0, 100},   {0, 0, -1},       {100, 200, 0},   // more free than total
      {kMax, 0, 100},  {kMax, kMax - 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(used_percent(drive(c.total, c.free).size), c.want) << c.total << " " << c.free;
  }
}

TEST(Threshold, MarksOnExactBytes) {
  const uint64_t kG = uint64_t{1} << 30;
  struct {
    uint32_t used_limit;
    bool free_set;
    uint64_t free_limit;
    DriveRecord record;
    bool want;
  } const cases[] = {
      {0, false, 0, drive(100, 0), false},                 // no threshold
      {90, false, 0, drive(100, 10), true},                // at the limit
      {90, false, 0, drive(1000000000, 100000001), false}, // shows 90 %, is below
      {100, false, 0, drive(100, 0), true},
      {100, false, 0, drive(kMax, 1), false},
      {1, false, 0, drive(0, 0), false},                   // no capacity, no share
      {1, false, 0, drive(100, 0, kDriveCdrom), false},    // full by nature
      {0, true, 10 * kG, drive(100 * kG, 10 * kG), false}, // exactly the limit free
      {0, true, 10 * kG, drive(100 * kG, 10 * kG - 1), true},
      {0, true, 0, drive(100, 0), false},                  // nothing is below 0
      {0, true, kMax, drive(kMax, kMax - 1), true},
      {95, true, kG, drive(100 * kG, 50 * kG), false},     // either may mark
      {95, true, 60 * kG, drive(100 * kG, 50 * kG), true},
  };
  for (const auto& c : cases) {
    settings = Settings{};
    settings.used_limit = c.used_limit;
    settings.free_limit_set = c.free_set;
    settings.free_limit = c.free_limit;
    EXPECT_EQ(over_threshold(c.record), c.want)
        << "/u" << c.used_limit << " /f" << c.free_limit << " on " << c.record.size.total_bytes
        << " with " << c.record.size.free_bytes << " free";
  }
  // A drive whose figures never came in is never marked.
  settings = Settings{};
  settings.used_limit = 1;
  DriveRecord unfinished = drive(100, 0);
  unfinished.reached = Reached::kVolume;
  EXPECT_FALSE(over_threshold(unfinished));
}
