#include "report/threshold.h"

#include <gtest/gtest.h>

#include <cstring>

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

namespace {

Levels levels(bool warning_set, uint64_t warning, bool critical_set, uint64_t critical) {
  Levels l;
  l.warning_set = warning_set;
  l.warning = warning;
  l.critical_set = critical_set;
  l.critical = critical;
  return l;
}

const Levels kNone;

Levels critical(uint64_t level) { return levels(false, 0, true, level); }
Levels both(uint64_t warning, uint64_t critical) { return levels(true, warning, true, critical); }

}  // namespace

TEST(Threshold, JudgesOnExactBytes) {
  const uint64_t kG = uint64_t{1} << 30;
  struct {
    Levels used, free;
    DriveRecord record;
    Level want;
  } const cases[] = {
      {critical(90), kNone, drive(100, 10), Level::kCritical},                // at the level
      {critical(90), kNone, drive(1000000000, 100000001), Level::kOk},        // shows 90 %, is below
      {critical(100), kNone, drive(100, 0), Level::kCritical},
      {critical(100), kNone, drive(kMax, 1), Level::kOk},
      {critical(1), kNone, drive(0, 0), Level::kOk},                          // no capacity, no share
      {critical(1), kNone, drive(100, 0, kDriveCdrom), Level::kOk},           // full by nature
      {both(80, 90), kNone, drive(100, 21), Level::kOk},
      {both(80, 90), kNone, drive(100, 20), Level::kWarning},
      {both(80, 90), kNone, drive(100, 11), Level::kWarning},
      {both(80, 90), kNone, drive(100, 10), Level::kCritical},
      {kNone, critical(10 * kG), drive(100 * kG, 10 * kG), Level::kOk},      // exactly the level free
      {kNone, critical(10 * kG), drive(100 * kG, 10 * kG - 1), Level::kCritical},
      {kNone, critical(0), drive(100, 0), Level::kOk},                       // nothing is below 0
      {kNone, critical(kMax), drive(kMax, kMax - 1), Level::kCritical},
      {kNone, both(20 * kG, 5 * kG), drive(100 * kG, 20 * kG - 1), Level::kWarning},
      {kNone, both(20 * kG, 5 * kG), drive(100 * kG, 5 * kG - 1), Level::kCritical},
      {critical(95), critical(kG), drive(100 * kG, 50 * kG), Level::kOk},    // the worse of the two
      {critical(95), critical(60 * kG), drive(100 * kG, 50 * kG), Level::kCritical},
      {both(40, 95), critical(kG), drive(100 * kG, 50 * kG), Level::kWarning},
  };
  for (const auto& c : cases) {
    settings = Settings{};
  own_levels = OwnLevels{};
    settings.used_levels = c.used;
    settings.free_levels = c.free;
    const Judgement j = judge_drive(c.record);
    EXPECT_TRUE(j.judged);
    EXPECT_EQ(j.level, c.want) << c.record.size.total_bytes << " with "
                               << c.record.size.free_bytes << " free";
  }
  // No level, or figures that never came in: not judged.
  settings = Settings{};
  own_levels = OwnLevels{};
  EXPECT_FALSE(judge_drive(drive(100, 0)).judged);
  settings.used_levels = critical(1);
  DriveRecord unfinished = drive(100, 0);
  unfinished.reached = Reached::kVolume;
  EXPECT_FALSE(judge_drive(unfinished).judged);
  settings = Settings{};
  own_levels = OwnLevels{};
}

TEST(Threshold, ADrivesOwnLevelsStandForThePlainOnes) {
  settings = Settings{};
  own_levels = OwnLevels{};
  settings.used_levels = critical(90);
  settings.free_levels = critical(3);
  DriveLevels& d = own_levels.drives[own_levels.count++];
  memcpy(d.root, "D:\\", 4);
  d.used_given = true;
  d.used = both(95, 98);
  DriveLevels& off = own_levels.drives[own_levels.count++];
  memcpy(off.root, "C:\\Data\\", 9);
  off.used_given = true;  // given, and none set: off
  struct {
    const char* root;
    uint64_t free;
    Level want;
  } const cases[] = {
      {"D:\\", 8, Level::kOk},              // 92 % used: its own 95,98, not the plain 90
      {"d:\\", 4, Level::kWarning},         // 96 % used: past its own warning only
      {"D:\\", 2, Level::kCritical},        // the plain free level still stands
      {"E:\\", 8, Level::kCritical},        // the plain 90 %
      {"C:\\Data\\", 5, Level::kOk},       // 95 % used, its used level off
      {"c:\\DATA\\", 2, Level::kCritical}, // the plain free level
  };
  for (const auto& c : cases) {
    DriveRecord r = drive(100, c.free);
    r.root = c.root;
    EXPECT_EQ(judge_drive(r).level, c.want) << c.root << " " << c.free;
  }
  settings = Settings{};
  own_levels = OwnLevels{};
}

TEST(Threshold, UsedBytesAtAPercentRoundUp) {
  EXPECT_EQ(used_bytes_at(100, 80), 80u);
  EXPECT_EQ(used_bytes_at(101, 80), 81u);  // 80.8 bytes: 81 is the least at or past
  EXPECT_EQ(used_bytes_at(kMax, 100), kMax);
  EXPECT_EQ(used_bytes_at(kMax, 1), kMax / 100 + 1);
}
