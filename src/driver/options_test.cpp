#include "driver/options.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver/settings.h"

namespace {

struct Flags {
  int pause, volume, size, wide;
};

Flags run(const std::vector<const char*>& texts, unsigned char switch_char = '/') {
  settings = Settings{};
  settings.switch_char = switch_char;
  for (const char* t : texts) apply_options(t, false);
  return Flags{settings.pause_mode, settings.show_volume, settings.show_size,
               settings.wide_mode};
}

void expect_flags(const Flags& got, const Flags& want, const char* what) {
  EXPECT_EQ(got.pause, want.pause) << what;
  EXPECT_EQ(got.volume, want.volume) << what;
  EXPECT_EQ(got.size, want.size) << what;
  EXPECT_EQ(got.wide, want.wide) << what;
}

}  // namespace

TEST(Options, SwitchesAndGroups) {
  struct {
    std::vector<const char*> texts;
    Flags want;  // pause, volume, size, wide
  } const cases[] = {
      {{}, {1, 1, 1, 0}},
      {{"/p"}, {0, 1, 1, 0}},
      {{"/p", "/p-"}, {1, 1, 1, 0}},
      {{"/s"}, {1, 1, 0, 0}},
      {{"/v"}, {1, 0, 1, 0}},
      {{"/V-"}, {1, 1, 1, 0}},
      {{"/v-/s"}, {1, 1, 0, 0}},
      {{"/v/s"}, {1, 0, 0, 0}},
      {{"/w", "/v-"}, {1, 1, 1, 1}},
      {{"/v-", "/w"}, {1, 0, 1, 1}},
      {{"/s", "/W"}, {1, 0, 1, 1}},  // /w brings the size report back
      {{"/w", "/w-"}, {1, 0, 1, 0}},  // /w- does not bring the volume back
      {{"/v", "/v-"}, {1, 1, 1, 0}},  // the last switch wins
      {{"/P/S/V/W-"}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    std::string what;
    for (const char* t : c.texts) what += std::string(t) + " ";
    expect_flags(run(c.texts), c.want, what.c_str());
  }
}

TEST(Options, AlternativeSwitchCharacterOnlyAtStart) {
  expect_flags(run({"-v-"}, '-'), {1, 1, 1, 0}, "-v-");
  expect_flags(run({"-v/s"}, '-'), {1, 0, 0, 0}, "-v/s");
  EXPECT_EXIT(run({"-v-s"}, '-'), testing::ExitedWithCode(1), "-v-s");
}

TEST(Options, MatchOption) {
  struct {
    const char* text;
    const char* name;
    bool match;
  } const cases[] = {
      {"v", "v", true},      {"V", "v", true},      {"v-", "v-", true},
      {"v-", "v", false},    {"v/s", "v", true},    {"v-/s", "v-", true},
      {"v-x", "v-", false},  {"v-x", "v", false},   {"vx", "v", false},
      {"v ", "v", false},    {"", "v", false},      {"/", "v", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(match_option(c.text, c.name), c.match) << c.text << " ~ " << c.name;
}

TEST(Options, InvalidSwitchesEndTheRun) {
  const char* const bad[] = {"/x", "/v/x", "/x/v", "/", "//", "/v/", "/v ",
                             "/v /s", "/help", "/?", "/vv", "/w-x", "/p--"};
  for (const char* text : bad)
    EXPECT_EXIT(run({text}), testing::ExitedWithCode(1), "") << text;
  // With the switch character NUL an empty argument is an option argument;
  // it must be refused without reading past its end.
  EXPECT_EXIT(run({""}, '\0'), testing::ExitedWithCode(1), "");
}

TEST(Options, TimeLimit) {
  struct {
    std::vector<const char*> texts;
    uint32_t seconds;
  } const cases[] = {
      {{}, 30},
      {{"/t5"}, 5},
      {{"/T5"}, 5},
      {{"/t0"}, 0},              // no limit at all
      {{"/t86400"}, 86400},      // a day, the most there is
      {{"/t0086400"}, 86400},    // leading zeros are digits like any
      {{"/v-/t7/s"}, 7},         // within a group
      {{"/t5", "/t9"}, 9},       // the last one wins
      {{"/t5/t0"}, 0},
  };
  for (const auto& c : cases) {
    run(c.texts);
    std::string what;
    for (const char* t : c.texts) what += std::string(t) + " ";
    EXPECT_EQ(settings.time_limit, c.seconds) << what;
  }
  // /t leaves the other switches alone.
  expect_flags(run({"/v/t3/s"}), {1, 0, 0, 0}, "/v/t3/s");
}

TEST(Options, TimeLimitRefusedForms) {
  const char* const bad[] = {
      "/t",    "/t/v",   "/v/t",  "/t-",   "/t5-",  "/t5s",   "/t 5",     "/t5 ",
      "/t86401", "/t99999999999999999999",  // over a day, however many digits
      "/t4294967296",                        // 2^32 would wrap to 0
      "/tx",   "/t+5",   "/t０",  // a full-width digit is no digit
  };
  for (const char* text : bad) EXPECT_EXIT(run({text}), testing::ExitedWithCode(1), "") << text;
}

TEST(Options, Thresholds) {
  const uint64_t kG = uint64_t{1} << 30;
  struct {
    std::vector<const char*> texts;
    uint32_t used;
    bool free_set;
    uint64_t free;
  } const cases[] = {
      {{}, 0, false, 0},
      {{"/u1"}, 1, false, 0},
      {{"/U100"}, 100, false, 0},
      {{"/u090"}, 90, false, 0},
      {{"/u90", "/u-"}, 0, false, 0},
      {{"/u-/u75"}, 75, false, 0},
      {{"/f0"}, 0, true, 0},                        // set, though it marks nothing
      {{"/f10G"}, 0, true, 10 * kG},
      {{"/f10g"}, 0, true, 10 * kG},
      {{"/f512"}, 0, true, 512},
      {{"/f1k/f2M"}, 0, true, 2 << 20},
      {{"/f3T"}, 0, true, uint64_t{3} << 40},
      {{"/f16777215T"}, 0, true, uint64_t{16777215} << 40},
      {{"/f18446744073709551615"}, 0, true, UINT64_MAX},
      {{"/f5G", "/f-"}, 0, false, 5 * kG},
      {{"/u80/f1G/l"}, 80, true, kG},
  };
  for (const auto& c : cases) {
    run(c.texts);
    std::string what;
    for (const char* t : c.texts) what += std::string(t) + " ";
    EXPECT_EQ(settings.used_limit, c.used) << what;
    EXPECT_EQ(settings.free_limit_set, c.free_set) << what;
    if (c.free_set) {
      EXPECT_EQ(settings.free_limit, c.free) << what;
    }
  }
}

TEST(Options, ThresholdRefusedForms) {
  const char* const bad[] = {
      "/u",    "/u0",   "/u101", "/u-5",  "/u90%", "/u 90", "/u4294967386",
      "/f",    "/f10X", "/fG",   "/f-1",  "/f10GB", "/f1.5G",
      "/f18446744073709551616",  // 2^64 bytes
      "/f16777216T",             // 2^64 bytes in T
      "/f17179869184G",          // and in G
      "/l5",   "/l--",
  };
  for (const char* text : bad) EXPECT_EXIT(run({text}), testing::ExitedWithCode(1), "") << text;
}
