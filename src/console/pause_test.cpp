#include "console/pause.h"

#include <gtest/gtest.h>

#include "platform/sim_control.h"

TEST(PausePrompt, KeyClasses) {
  struct {
    int key;
    KeyClass cls;
  } const cases[] = {
      {0x1B, KeyClass::kQuit},     {'Q', KeyClass::kQuit},      {'q', KeyClass::kQuit},
      {0xC0, KeyClass::kQuit},     {'A', KeyClass::kAll},       {'a', KeyClass::kAll},
      {0xC1, KeyClass::kAll},      {kNoKey, KeyClass::kAll},    {0, KeyClass::kContinue},
      {0x0D, KeyClass::kContinue}, {' ', KeyClass::kContinue},  {'x', KeyClass::kContinue},
      {0xC2, KeyClass::kContinue}, {0xFF, KeyClass::kContinue}, {0x1C, KeyClass::kContinue},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_key(c.key), c.cls) << c.key;
}

namespace {

// Runs pace(ms) with the clock `since_mark` ms after a mark taken at `mark`;
// returns how long the pacing waited.
uint32_t waited(uint32_t mark, uint32_t since_mark, uint32_t ms) {
  PaceTimer timer;
  sim_set_tick(mark);
  timer.pace(PaceTimer::kMarkNow);
  sim_set_tick(mark + since_mark);
  uint32_t before = sim_tick();
  timer.pace(ms);
  EXPECT_EQ(timer.last_tick, sim_tick()) << "pace leaves a fresh mark";
  EXPECT_EQ(timer.first_use, 0);
  return sim_tick() - before;
}

}  // namespace

TEST(PaceTimer, WaitsOutTheRestOfTheInterval) {
  struct {
    uint32_t mark, since_mark, ms;
    uint32_t min_wait, max_wait;
  } const cases[] = {
      {1000, 0, 500, 500, 520},
      {1000, 200, 500, 300, 320},
      {1000, 500, 500, 1, 20},   // "more than" 500 ms must pass
      {1000, 501, 500, 0, 0},
      {1000, 60000, 500, 0, 0},
      // Marked just before the tick count wraps past zero.
      {0xFFFFFF00u, 0, 500, 500, 520},
      {0xFFFFFF00u, 0x100, 500, 244, 264},
      {0xFFFFFFFFu, 1, 500, 499, 519},
  };
  for (const auto& c : cases) {
    uint32_t w = waited(c.mark, c.since_mark, c.ms);
    EXPECT_GE(w, c.min_wait) << c.mark << "+" << c.since_mark;
    EXPECT_LE(w, c.max_wait) << c.mark << "+" << c.since_mark;
  }
}

TEST(PaceTimer, FirstUseWaitsTheFullTime) {
  PaceTimer timer;
  EXPECT_EQ(timer.first_use, 1);
  sim_set_tick(0xFFFFFE00u);
  timer.pace(500);
  EXPECT_GT(static_cast<uint32_t>(sim_tick() - 0xFFFFFE00u), 500u);
  EXPECT_LT(static_cast<uint32_t>(sim_tick() - 0xFFFFFE00u), 520u);
}
