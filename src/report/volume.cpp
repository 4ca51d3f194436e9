#include "report/volume.h"

#include <cstdio>
#include <cstring>

#include "console/pager.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "platform/platform.h"

VolumeFacts volume_facts;

namespace {

const uint32_t kNameBufferSize = 260;

const char* drive_type_text(int32_t type) {
  switch (type) {
    case kDriveRemovable: return "REMOVABLE\n";
    case kDriveFixed: return "FIXED\n";
    case kDriveRemote: return "REMOTE\n";
    case kDriveCdrom: return "CD-ROM\n";
    case kDriveRamdisk: return "RAMDISK\n";
    default: return "不明\n";
  }
}

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

const char* flag_answer(uint32_t flags, uint32_t mask) {
  static const char* const kAnswers[] = {"No", "Yes"};
  return kAnswers[(flags & mask) == mask];
}

void drive_not_answering(const char* root) {
  fatal_error("ディスク(%.*s)が%u秒以内に応答しません。", static_cast<int>(strlen(root)) - 1,
              root, static_cast<unsigned>(settings.time_limit));
}

void report_volume(const char* root, int show) {
  const int name_length = static_cast<int>(strlen(root)) - 1;
  int type = kDriveUnknown;
  if (plat_drive_type(root, &type) == Answer::kNoAnswer) drive_not_answering(root);
  volume_facts.drive_type = type;

  if (!settings.wide_mode && show == 1) {
    if (volume_facts.drive_type == kDriveUnknown ||
        volume_facts.drive_type == kDriveNoRootDir) {
      fatal_error("ドライブ(%.*s)を参照できません。", name_length, root);
    }
    out_puts("            ドライブ種別:");
    report_printf("%s", drive_type_text(volume_facts.drive_type));
  }

  char label[kNameBufferSize];
  uint32_t serial = 0, max_component = 0, flags = 0;
  Answer volume = plat_volume_information(root, label, &serial, &max_component, &flags,
                                          volume_facts.fs_name, kNameBufferSize);
  if (volume == Answer::kNoAnswer) drive_not_answering(root);
  if (volume != Answer::kOk) fatal_error("ディスク(%.*s)を参照できません。", name_length, root);
  label[kNameBufferSize - 1] = '\0';
  volume_facts.fs_name[kNameBufferSize - 1] = '\0';
  volume_facts.fs_bits =
      file_system_bits(volume_facts.fs_name, volume_facts.drive_type);
  if (show != 1) return;

  char serial_text[10];
  report_printf("    ボリューム・ラベル名:\"%s\"\n", label);
  report_printf("ボリューム・シリアル番号:%s\n", format_serial(serial, serial_text));
  report_printf("      ファイル名の最大長:%uバイト\n", static_cast<unsigned>(max_component));
  report_printf("    ファイル・システム名:%s\n", volume_facts.fs_name);
  for (const auto& line : kFlagLines)
    report_printf(line.format, flag_answer(flags, line.mask));
}
