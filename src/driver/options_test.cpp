#include "driver/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/settings.h"

namespace {

struct Flags {
  int pause, volume, size, wide;
};

Flags run(const std::vector<const char*>& texts, unsigned char switch_char = '/') {
  settings = Settings{};
  own_levels = OwnLevels{};
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

namespace {

// Levels as "W,C", "-" for none set.
std::string shown(const Levels& l) {
  if (!l.warning_set && !l.critical_set) return "-";
  std::string text = l.warning_set ? std::to_string(l.warning) + "," : "";
  return text + std::to_string(l.critical);
}

// A drive's own levels as "ROOT u=W,C f=W,C", a measure not given as "*".
std::string own(const DriveLevels& d) {
  return std::string(d.root) + " u=" + (d.used_given ? shown(d.used) : "*") +
         " f=" + (d.free_given ? shown(d.free) : "*");
}

}  // namespace

TEST(Options, Levels) {
  const uint64_t kG = uint64_t{1} << 30;
  const std::string g10 = std::to_string(10 * kG);
  struct {
    std::vector<const char*> texts;
    std::string used, free;
    std::vector<std::string> drives;
  } const cases[] = {
      {{}, "-", "-", {}},
      {{"/u1"}, "1", "-", {}},
      {{"/U100"}, "100", "-", {}},
      {{"/u090"}, "90", "-", {}},
      {{"/u90", "/u-"}, "-", "-", {}},
      {{"/u-/u75"}, "75", "-", {}},
      {{"/u80,90"}, "80,90", "-", {}},
      {{"/u1,100"}, "1,100", "-", {}},
      {{"/f0"}, "-", "0", {}},                       // set, though it marks nothing
      {{"/f10G"}, "-", g10, {}},
      {{"/f10g"}, "-", g10, {}},
      {{"/f1k/f2M"}, "-", std::to_string(2 << 20), {}},
      {{"/f16777215T"}, "-", std::to_string(uint64_t{16777215} << 40), {}},
      {{"/f18446744073709551615"}, "-", "18446744073709551615", {}},
      {{"/f20G,10G"}, "-", std::to_string(20 * kG) + "," + g10, {}},
      {{"/f5G", "/f-"}, "-", "-", {}},
      {{"/u80/f1G/l"}, "80", std::to_string(kG), {}},
      // A drive's own levels, by its root as arguments name it; the last
      // one wins for each drive and measure.
      {{"/uD:=95,98"}, "-", "-", {"D:\\ u=95,98 f=*"}},
      {{"/ud=95", "/uD:\\=96", "/fd:=1K"}, "-", "-", {"D:\\ u=96 f=1024"}},
      {{"/uC:\\Data=50", "/fc:\\data\\=10G,1G"}, "-", "-",
       {"C:\\Data\\ u=50 f=" + g10 + "," + std::to_string(kG)}},
      {{"/u\\\\srv\\logs=90", "/u90/uD:=-"}, "90", "-",
       {"\\\\srv\\logs\\ u=90 f=*", "D:\\ u=- f=*"}},
      {{"/uC:\\a=b=70"}, "-", "-", {"C:\\a=b\\ u=70 f=*"}},  // the last "=" parts
  };
  for (const auto& c : cases) {
    run(c.texts);
    std::string what;
    for (const char* t : c.texts) what += std::string(t) + " ";
    EXPECT_EQ(shown(settings.used_levels), c.used) << what;
    EXPECT_EQ(shown(settings.free_levels), c.free) << what;
    std::vector<std::string> drives;
    for (size_t i = 0; i < own_levels.count; ++i) drives.push_back(own(own_levels.drives[i]));
    EXPECT_EQ(drives, c.drives) << what;
  }
}

TEST(Options, DaysLeft) {
  struct {
    const char* text;
    std::string plain, own;
  } const cases[] = {
      {"/e7,2", "7,2", ""},
      {"/e0", "0", ""},  // full now
      {"/e7/e-", "-", ""},
      {"/eD:=14,3", "-", "D:\\ 14,3"},
  };
  for (const auto& c : cases) {
    run({c.text});
    EXPECT_EQ(shown(settings.days_levels), c.plain) << c.text;
    const std::string own_days =
        own_levels.count ? std::string(own_levels.drives[0].root) + " " + shown(own_levels.drives[0].days) : "";
    EXPECT_EQ(own_days, c.own) << c.text;
  }
  for (const char* bad : {"/e2,7", "/e7,7", "/e1000001", "/e7G", "/e"}) {
    EXPECT_EXIT(run({bad}), testing::ExitedWithCode(1), "") << bad;
  }
}

TEST(Options, RecordFile) {
  struct {
    std::vector<const char*> texts;
    const char* file;
  } const cases[] = {
      {{"/rC:\\logs\\h.csv"}, "C:\\logs\\h.csv"},
      {{"/v/RC:/logs/h.csv"}, "C:/logs/h.csv"},  // the rest of the text, "/" and all
      {{"/rname with blanks.csv"}, "name with blanks.csv"},
      {{"/ra.csv", "/r-"}, nullptr},
      {{"/r-/rb.csv"}, "b.csv"},
      {{"/ra.csv", "/rb.csv"}, "b.csv"},
  };
  for (const auto& c : cases) {
    run(c.texts);
    EXPECT_STREQ(settings.record_file, c.file) << c.texts[0];
    // A name from the command line is asked for as the system gave it.
    if (c.file) {
      EXPECT_TRUE(settings.record_source != nullptr) << c.texts[0];
    }
  }
  // A configuration line lasts only while it is read: the name is kept.
  char line[] = "/rC:\\x.csv";
  settings = Settings{};
  apply_options(line, true);
  line[3] = 'Y';
  EXPECT_STREQ(settings.record_file, "C:\\x.csv");
  EXPECT_EQ(settings.record_source, nullptr);
  EXPECT_EXIT(run({"/r"}), testing::ExitedWithCode(1), "");
}

TEST(Options, LocalDisksAndMonitoringAnswer) {
  run({"/d/m"});
  EXPECT_EQ(settings.local_only, 1);
  EXPECT_EQ(settings.plugin_output, 1);
  run({"/D", "/M", "/d-/m-"});
  EXPECT_EQ(settings.local_only, 0);
  EXPECT_EQ(settings.plugin_output, 0);
}

TEST(Options, ThresholdRefusedForms) {
  const char* const bad[] = {
      "/u",    "/u0",   "/u101", "/u-5",  "/u90%", "/u 90", "/u4294967386",
      "/f",    "/f10X", "/fG",   "/f-1",  "/f10GB", "/f1.5G",
      "/f18446744073709551616",  // 2^64 bytes
      "/f16777216T",             // 2^64 bytes in T
      "/f17179869184G",          // and in G
      "/l5",   "/l--",
      "/u90,80", "/u80,80", "/u,90", "/u80,", "/u1,2,3", "/f1G,2G", "/f1G,1G",  // W not before C
      "/u=90", "/uD:=", "/uD:", "/uD:=101", "/fD:=x", "/d5", "/m-x",
  };
  for (const char* text : bad) EXPECT_EXIT(run({text}), testing::ExitedWithCode(1), "") << text;
}
