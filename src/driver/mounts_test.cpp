#include "driver/mounts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(MountArguments, AFolderIsTakenOnlyOnTheArgumentsOwnDrive) {
  struct {
    const char* folder;
    const char* argument;
    bool taken;
  } const cases[] = {
      {"C:\\Data\\", "C:\\Data\\logs", true},
      {"C:\\Data\\", "c:\\data", true},
      {"C:\\", "C:\\Windows", false},             // the drive itself: as without folders
      {"D:\\Data\\", "C:\\Data", false},          // another drive (a substituted one)
      {"\\\\server\\share\\", "N:\\dir", false},  // a mapped share
      {"C:\\Data", "C:\\Data\\x", false},         // no final backslash: no root
      {"C:", "C:\\x", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(folder_on_drive(c.folder, c.argument), c.taken) << c.folder << " for " << c.argument;
  }
}

namespace {

std::vector<std::string> sorted(std::vector<const char16_t*> paths) {
  std::vector<MountFolder> folders;
  for (const char16_t* p : paths) folders.push_back(MountFolder{"", p});
  sort_folders(folders.data(), folders.size());
  std::vector<std::string> out;
  for (const MountFolder& f : folders) {
    std::string ascii;
    for (const char16_t* u = f.wide_path; *u; ++u) ascii += *u < 0x80 ? static_cast<char>(*u) : '#';
    out.push_back(ascii);
  }
  return out;
}

}  // namespace

TEST(MountFolders, OrderedByPathComponentByComponent) {
  struct {
    std::vector<const char16_t*> given;
    std::vector<std::string> ordered;
  } const cases[] = {
      {{u"D:\\M\\", u"C:\\Data\\"}, {"C:\\Data\\", "D:\\M\\"}},
      // A folder before what lies inside it, and that before a longer name.
      {{u"C:\\Data2\\", u"C:\\Data\\Sub\\", u"C:\\Data\\"},
       {"C:\\Data\\", "C:\\Data\\Sub\\", "C:\\Data2\\"}},
      // Letter case does not order; kana after ASCII.
      {{u"c:\\\u30c7\\", u"C:\\b\\", u"c:\\A\\"}, {"c:\\A\\", "C:\\b\\", "c:\\#\\"}},
      // A volume named by its volume name, after the lettered paths.
      {{u"\\\\?\\Volume{1}\\", u"E:\\x\\"}, {"E:\\x\\", "\\\\?\\Volume{1}\\"}},
      {{}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(sorted(c.given), c.ordered);
}

TEST(MountFolders, EqualPathsKeepTheSystemsOrder) {
  MountFolder folders[] = {{"first", u"C:\\X\\"}, {"second", u"c:\\x\\"}, {"third", u"A:\\"}};
  sort_folders(folders, 3);
  EXPECT_STREQ(folders[0].path, "third");
  EXPECT_STREQ(folders[1].path, "first");
  EXPECT_STREQ(folders[2].path, "second");
}
