#include "driver/mounts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
