#include "report/volume.h"

#include <gtest/gtest.h>

TEST(VolumeReport, FileSystemBits) {
  struct {
    const char* fs;
    int32_t type;
    int32_t bits;
  } const cases[] = {
      {"FAT", kDriveFixed, 16},    {"FAT", kDriveRemote, 16},
      {"FAT12", kDriveRemovable, 16}, {"FAT12", kDriveRemote, 16},
      {"CDFS", kDriveCdrom, 16},   {"CDFS", kDriveFixed, 16},
      {"CDFS", kDriveRemote, 32},  // a shared CD-ROM answers as the server's
      {"FAT32", kDriveFixed, 32},  {"fat", kDriveFixed, 32},
      {"NTFS", kDriveFixed, 32},   {"HPFS", kDriveFixed, 32},
      {"UDF", kDriveCdrom, 32},    {"", kDriveFixed, 32},
      {"FAT ", kDriveFixed, 32},   // whole-text comparison
  };
  for (const auto& c : cases)
    EXPECT_EQ(file_system_bits(c.fs, c.type), c.bits) << c.fs << " type " << c.type;
}

TEST(VolumeReport, SerialHalves) {
  char out[10];
  EXPECT_STREQ(format_serial(0x00AB00CD, out), "00AB-00CD");
  EXPECT_STREQ(format_serial(0, out), "0000-0000");
  EXPECT_STREQ(format_serial(0xFFFFFFFF, out), "FFFF-FFFF");
  EXPECT_STREQ(format_serial(0x1234abcd, out), "1234-ABCD");
}

TEST(VolumeReport, FlagAnswers) {
  struct {
    uint32_t flags;
    const char* answers[4];
  } const cases[] = {
      {0x0, {"No", "No", "No", "No"}},
      {0xF, {"Yes", "Yes", "Yes", "Yes"}},
      {0x3, {"Yes", "Yes", "No", "No"}},
      {0xA, {"No", "Yes", "No", "Yes"}},
      {0xFFFFFFF0, {"No", "No", "No", "No"}},
  };
  const uint32_t masks[] = {0x1, 0x2, 0x4, 0x8};
  for (const auto& c : cases)
    for (int i = 0; i < 4; ++i)
      EXPECT_STREQ(flag_answer(c.flags, masks[i]), c.answers[i]) << c.flags << " bit " << i;
}
