#include "driver/roots.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// The root made for an argument, or "(none)" when it names no drive.
std::string root_of(const char* argument) {
  char* root = make_drive_root(argument);
  if (!root) return "(none)";
  std::string text = root;
  free(root);
  return text;
}

}  // namespace

TEST(DriveRoots, FromArguments) {
  struct {
    const char* argument;
    const char* root;
  } const cases[] = {
      {"a", "A:\\"},
      {"A:", "A:\\"},
      {"a:\\temp", "A:\\"},
      {"abc", "A:\\"},
      {"z", "Z:\\"},
      {"1", "1:\\"},  // refused later by the volume report
      {"\xE0", "\xE0:\\"},  // only ASCII letters are upper-cased
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"\\\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\server\\share\\dir\\sub", "\\\\server\\share\\"},
      {"\\\\server\\", "\\\\server\\\\"},
      {"\\server", "(none)"},
      {"\\\\server", "(none)"},
      {"\\\\", "(none)"},
      {"\\", "(none)"},
      {"", "(none)"},
      // A 0x5C second byte of a double-byte server name counts as the end of
      // the server name, as the system itself would take it.
      {"\\\\\x83\x5C\\share", "\\\\\x83\x5C\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(root_of(c.argument), c.root) << c.argument;
}

TEST(MountArguments, OnlyAPathBelowADriveRootIsAskedAbout) {
  struct {
    const char* argument;
    bool asked;
  } const cases[] = {
      {"C:\\Data", true},
      {"c:\\data\\logs\\today.txt", true},
      {"C:/Data", true},
      {"C:\\", false},   // the drive's own root
      {"C:", false},
      {"C", false},
      {"C:Data", false},  // relative to the drive's current folder
      {"\\\\server\\share\\dir", false},
      {"\\\\?\\Volume{1}\\", false},
      {"1:\\x", false},
      {"\x83\x5C:\\x", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(below_drive_root(c.argument), c.asked) << c.argument;
}
