#include "report/volume.h"

#include <cstdio>
#include <cstring>

#include "console/pager.h"
#include "driver/settings.h"
#include "platform/platform.h"

namespace {

// The capability flags, in the order of their lines.  The leading blanks put
// every colon in the same column.
const struct {
  uint32_t mask;
  const char* format;
} kFlagLines[] = {
    {0x1, " ファイル参照時の大小文字区別:%s\n"},
    {0x2, "     ファイル名の大小文字格納:%s\n"},
    {0x4, "      ファイル名のUnicode格納:%s\n"},
    {0x8, "アクセス制御リスト(ACL)の使用:%s\n"},
};

}  // namespace

int32_t file_system_bits(const char* fs_name, int32_t drive_type) {
  if (strcmp(fs_name, "FAT") == 0) return 16;
  // A CD-ROM shared over the network answers through the server's file
  // system, so only a local CDFS counts as the 16-bit kind.
  if (drive_type != kDriveRemote && strcmp(fs_name, "CDFS") == 0) return 16;
  if (strcmp(fs_name, "FAT12") == 0) return 16;
  return 32;
}

const char* format_serial(uint32_t serial, char* out) {
  snprintf(out, 10, "%04X-%04X", static_cast<unsigned>(serial >> 16),
           static_cast<unsigned>(serial & 0xFFFF));
  return out;
}

bool is_local_disk(int32_t type) { return type == kDriveFixed || type == kDriveRamdisk; }

const char* drive_type_word(int32_t type) {
  switch (type) {
    case kDriveRemovable: return "REMOVABLE";
    case kDriveFixed: return "FIXED";
    case kDriveRemote: return "REMOTE";
    case kDriveCdrom: return "CD-ROM";
    case kDriveRamdisk: return "RAMDISK";
    default: return nullptr;
  }
}

const char* flag_answer(uint32_t flags, uint32_t mask) {
  static const char* const kAnswers[] = {"No", "Yes"};
  return kAnswers[(flags & mask) == mask];
}

Stop ask_drive_type(DriveAsking* drive, bool shown, VolumeFacts* facts) {
  int type = kDriveUnknown;
  if (plat_drive_type(drive, &type) == Answer::kNoAnswer) return Stop::kNoAnswer;
  facts->drive_type = type;
  if (shown && (type == kDriveUnknown || type == kDriveNoRootDir)) return Stop::kNoRootDir;
  return Stop::kNone;
}

Stop ask_volume(DriveAsking* drive, VolumeFacts* facts, VolumeAnswers* answers) {
  Answer volume = plat_volume_information(
      drive, answers->label, &answers->serial, &answers->max_component, &answers->flags,
      facts->fs_name, answers->wide_label, answers->wide_fs_name, kNameBufferSize);
  if (volume == Answer::kNoAnswer) return Stop::kNoAnswer;
  // Only a drive made to take a medium can be without one; any other drive
  // that says so is unreadable.
  if (volume == Answer::kNotReady &&
      (facts->drive_type == kDriveRemovable || facts->drive_type == kDriveCdrom)) {
    return Stop::kNoMedium;
  }
  if (volume != Answer::kOk) return Stop::kUnreadable;
  answers->label[kNameBufferSize - 1] = '\0';
  facts->fs_name[kNameBufferSize - 1] = '\0';
  answers->wide_label[kNameBufferSize - 1] = 0;
  answers->wide_fs_name[kNameBufferSize - 1] = 0;
  facts->fs_bits = file_system_bits(facts->fs_name, facts->drive_type);
  return Stop::kNone;
}

void print_drive_type(const VolumeFacts& facts) {
  out_puts("            ドライブ種別:");
  const char* word = drive_type_word(facts.drive_type);
  report_printf("%s\n", word ? word : "不明");
}

void print_volume(const VolumeFacts& facts, const VolumeAnswers& answers) {
  char serial_text[10];
  report_printf("    ボリューム・ラベル名:\"%s\"\n", answers.label);
  report_printf("ボリューム・シリアル番号:%s\n", format_serial(answers.serial, serial_text));
  report_printf("      ファイル名の最大長:%uバイト\n",
                static_cast<unsigned>(answers.max_component));
  report_printf("    ファイル・システム名:%s\n", facts.fs_name);
  for (const auto& line : kFlagLines)
    report_printf(line.format, flag_answer(answers.flags, line.mask));
}

void print_no_medium(bool in_size_report) {
  if (!in_size_report) {
    report_printf("                メディア:なし\n");
  } else if (settings.wide_mode) {
    report_printf("        メディア:なし\n");
  } else {
    report_printf("              メディア:なし\n");
  }
}
