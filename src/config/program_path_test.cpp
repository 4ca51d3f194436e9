#include "config/program_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/sim_control.h"

TEST(ProgramPath, ConfigurationFileBesideTheProgram) {
  struct {
    const char* program;
    const char* config;
  } const cases[] = {
      {"C:\\TOOLS\\volsurvey.exe", "C:\\TOOLS\\volsurvey.cfg"},
      {"C:\\TOOLS\\volsurvey.", "C:\\TOOLS\\volsurvey.cfg"},
      {"C:\\TOOLS\\a.b.exe", "C:\\TOOLS\\a.b.cfg"},
      {"C:\\my.dir\\volsurvey", "C:\\my.dir\\volsurvey.cfg"},  // grows by four bytes
      {"volsurvey", "volsurvey.cfg"},
      {"", ".cfg"},
      {"C:\\TOOLS\\disk.program", "C:\\TOOLS\\disk.cfg"},
  };
  for (const auto& c : cases) {
    char* path = config_file_path(c.program);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, c.config) << c.program;
    free(path);
  }
  EXPECT_EQ(config_file_path(nullptr), nullptr);
}

TEST(ProgramPath, FindExtension) {
  struct {
    const char* path;
    const char* extension;  // null: none
  } const cases[] = {
      {"a.exe", "exe"},   {"a.", ""},      {"a", nullptr},
      {"a.b\\c", nullptr}, {"a.b\\c.d", "d"}, {".cfg", "cfg"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    char* at = find_extension(&path[0]);
    if (!c.extension) {
      EXPECT_EQ(at, nullptr) << c.path;
    } else {
      ASSERT_NE(at, nullptr) << c.path;
      EXPECT_STREQ(at, c.extension) << c.path;
    }
  }
}

TEST(ProgramPath, LastSeparatorSkipsSecondBytesOfThePathsCodePage) {
  struct {
    bool shift_jis;
    const char* path;
    const char* name;
  } const cases[] = {
      {true, "C:\\TOOLS\\volsurvey.exe", "volsurvey.exe"},
      {true, "volsurvey.exe", "volsurvey.exe"},
      {true, "C:\\TOOLS\\", ""},
      // ソ is 0x83 0x5C: its second byte is no separator.
      {true, "C:\\TOOLS\\\x83\x5C" "ft.exe", "\x83\x5C" "ft.exe"},
      {true, "C:\\\x83\x5C\\x.exe", "x.exe"},
      {true, "C:\\a\x83", "a\x83"},  // a lead byte at the very end
      // "é" of code page 1252 is 0xE9, a lead byte only to Shift-JIS.
      {false, "C:\\Caf\xE9\\volsurvey.exe", "volsurvey.exe"},
      {true, "C:\\Caf\xE9\\volsurvey.exe", "Caf\xE9\\volsurvey.exe"},
      {false, "C:\\TOOLS\\\x83\x5C" "ft.exe", "ft.exe"},
  };
  for (const auto& c : cases) {
    sim_set_paths_in_shift_jis(c.shift_jis);
    std::string path = c.path;
    EXPECT_STREQ(after_last_separator(&path[0]), c.name) << c.path;
  }
  sim_set_paths_in_shift_jis(true);
}
