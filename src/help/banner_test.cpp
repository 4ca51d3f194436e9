#include "help/banner.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim_control.h"
#include "text/sjis.h"

TEST(Banner, BuildDateFromTheCompilersDate) {
  struct {
    const char* date_string;
    const char* date;
  } const cases[] = {
      {"Apr 19 2005", "2005-04-19"},
      {"Jan  5 2006", "2006-01-05"},  // a day below 10 is padded with a space
      {"Dec 31 1999", "1999-12-31"},
      {"apr 19 2005", "2005-13-19"},  // no month name matches: month 13
      {"Sep  1 2026", "2026-09-01"},
  };
  for (const auto& c : cases) EXPECT_STREQ(build_date_from(c.date_string), c.date) << c.date_string;
  // The build's own date has the same shape.
  std::string own = build_date();
  EXPECT_EQ(own.size(), 10u);
  EXPECT_EQ(own[4], '-');
  EXPECT_EQ(own[7], '-');
  EXPECT_EQ(own.substr(0, 4), std::string(__DATE__ + 7));
}

TEST(Banner, EqualPrefix) {
  EXPECT_EQ(equal_prefix("ab", "abc", 3), 0);
  EXPECT_EQ(equal_prefix("ab", "abc", 2), 1);
  EXPECT_EQ(equal_prefix("xyz", "abc", 0), 1);
  EXPECT_EQ(equal_prefix("Apr", "apr", 3), 0);
  EXPECT_EQ(equal_prefix("JanFeb", "Jan 5", 3), 1);
  EXPECT_EQ(equal_prefix("", "", 1), 0);
}

TEST(Banner, ByteClass) {
  const char* so = "a\x83\x5C" "b\x83";  // a, ソ, b, a lone lead byte
  struct {
    unsigned pos;
    int cls;
  } const cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {4, 1}, {5, 0}, {99, 0}};
  for (const auto& c : cases) EXPECT_EQ(sjis_byte_class(so, c.pos), c.cls) << c.pos;
  // A byte after a lead byte is its trail byte even when it could lead too.
  EXPECT_EQ(sjis_byte_class("\x81\x81\x81", 1), 2);
  EXPECT_EQ(sjis_byte_class("\x81\x81\x81", 2), 1);
  EXPECT_EQ(sjis_byte_class("\x81\x7F", 1), 0);  // 0x7F is no trail byte
}

TEST(Banner, ProgramNameFromPath) {
  sim_set_paths_in_shift_jis(true);
  struct {
    const char* path;
    const char* name;
    const char* path_after;
  } const cases[] = {
      {"C:\\Tools\\volsurvey.exe", "volsurvey", "C:\\Tools\\volsurvey"},
      {"volsurvey.exe", "volsurvey", "volsurvey"},
      {"a.exe", "a", "a"},
      {"C:\\Tools\\disk.com", "disk", "C:\\Tools\\disk"},
      {"C:\\Tools\\noextension", "noexten", "C:\\Tools\\noexten"},  // four bytes cut all the same
      // ソ (0x83 0x5C) at the start of the name keeps its 0x5C.
      {"C:\\Tools\\\x83\x5C" "ft.exe", "\x83\x5C" "ft", "C:\\Tools\\\x83\x5C" "ft"},
      {"\\abc.exe", "\\abc", "\\abc"},  // position 0 is never a separator
      {"abcd", "abcd", "abcd"},  // under five bytes: nothing is cut or read before it
      {"x", "x", "x"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    char* name = program_name_from_path(&path[0]);
    ASSERT_NE(name, nullptr) << c.path;
    EXPECT_STREQ(name, c.name) << c.path;
    EXPECT_STREQ(path.c_str(), c.path_after) << c.path;
  }
  std::string empty;
  EXPECT_EQ(program_name_from_path(&empty[0]), nullptr);

  // A Western Windows 95 gives the path in code page 1252: "é" is no lead
  // byte there and the backslash after it parts the folder from the name.
  sim_set_paths_in_shift_jis(false);
  std::string western = "C:\\Caf\xE9\\volsurvey.exe";
  EXPECT_STREQ(program_name_from_path(&western[0]), "volsurvey");
  sim_set_paths_in_shift_jis(true);
}
