#include "help/help.h"

#include <cstdlib>
#include <cstring>

#include "config/passes.h"
#include "console/output.h"
#include "console/pager.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "help/banner.h"
#include "text/scoped.h"
#include "text/strings.h"

namespace {

enum HelpKind {
  kText,               // the text and a line end
  kProgramName,        // the text with %s as the program name
  kExitCode,           // the text with %d as `code`
  kPause,              // a stop of the help pager, then an empty line
  kConfigPath,         // the text with %s as the configuration file's path
  kConfigListing,      // the text, then the file's option lines on one line
  kSwitchCharacters,   // the switch characters that may start options
};

struct HelpEntry {
  HelpKind kind;
  const char* text;
  int code;
};

// The help, one entry per output line, in the order shown.
const HelpEntry kHelp[] = {
    // Usage lines
    {kText, "", 0},
    {kProgramName, "%s ［△オプション］", 0},
    {kProgramName, "%s ［△オプション］□ ドライブ名…", 0},
    {kProgramName, "%s ［△オプション］□ ドライブ文字…", 0},
    {kProgramName, "%s ［△オプション］□ \\\\コンピューター名\\共有名…", 0},
    {kText, "", 0},

    // Options, always shown with "/" whatever the switch character
    {kText, "/v  ;[OFF]  ボリューム情報表示モード  Volume", 0},
    {kText, "/v- ;[ON ](既定)", 0},
    {kText, "", 0},
    {kText, "/s  ;[OFF]  サイズ情報表示モード  Size", 0},
    {kText, "/s- ;[ON ](既定)", 0},
    {kText, "", 0},
    {kText, "/w  ;[ON ]  簡易表示モード  Wide", 0},
    {kText, "/w- ;[OFF](既定)", 0},
    {kText, "", 0},
    {kText, "/p  ;[OFF]  画面一時停止モード  Pause", 0},
    {kText, "/p- ;[ON ](既定)", 0},
    {kText, "", 0},
    {kText, "/a  ;ドライブ指定なしの時、全ドライブを表示（/a- で現在ドライブのみ(既定)） All", 0},
    {kText, "/j  ;結果を1つの JSON 文書で出力（画面一時停止なし。/j- で通常表示(既定)） JSON", 0},
    {kText, "/tN ;ドライブ毎の応答待ち時間 N秒（既定 30、0 で無制限） Time", 0},
    {kText, "/l  ;1ドライブ1行の一覧表示（ドライブ指定なしの時は全ドライブ。/l- で通常表示(既定)） List", 0},
    {kText, "/uN ;使用率 N%以上（1～100）のドライブを警告（/u- で解除(既定)） Used", 0},
    {kText, "/fN ;空き容量 N未満のドライブを警告（例 /f10G。単位 K,M,G,T。/f- で解除(既定)） Free", 0},
    {kText, "/uW,C ;使用率 W%以上で注意、C%以上で警告（/uD:=95,98 でドライブ毎、=- で解除）", 0},
    {kText, "/fW,C ;空き容量 W未満で注意、C未満で警告（/fC:\\Data=50G,10G でドライブ毎）", 0},
    {kText, "/d  ;ドライブ指定なしの時、固定・RAMディスクとマウント先フォルダーのみ（/d- で全種別(既定)） Disk", 0},
    {kText, "/m  ;監視システム用の応答（Nagios 等のプラグイン形式、UTF-8。/m- で通常表示(既定)） Monitor", 0},
    {kText, "/rファイル ;実行毎の容量を記録し、満杯までの日数を予測（CSV、UTF-8。/r- で記録なし(既定)） Record", 0},
    {kText, "/eW,C ;満杯まで W日以内で注意、C日以内で警告（/r と共に。/eD:=14,3 でドライブ毎） Exhaustion", 0},
    {kText, "/?, /help ;使用方法説明（設定ファイルに登録不可） HELP", 0},
    {kPause, nullptr, 0},

    // Exit codes
    {kText, "【終了コード】", 0},
    {kExitCode, "%d:エラーなし、実行成功", 0},
    {kExitCode, "%d:エラー発生、実行中断", 1},
    {kExitCode, "%d:エラーなし、/u /f /e の注意か警告に当たるドライブあり", 2},
    {kText, "/m の時: 0:OK 1:WARNING(注意) 2:CRITICAL(警告) 3:UNKNOWN(エラー、応答なし)", 0},
    {kPause, nullptr, 0},

    // Explanation
    {kText, "【解説】", 0},
    {kText, "・ディスクの状態を表示するコマンドです。", 0},
    {kText, "・実行するとディスクのボリューム情報とサイズ情報を表示します。", 0},
    {kText, "・ボリューム情報は、ドライブ名, ドライブ種別, ボリューム・ラベル名, ボリューム・シリアル番号, ファイル名の最大長, ファイル・システム名, ファイル参照時の大小文字区別の有無, ファイル名の大小文字格納の有無, ファイル名のUnicode格納の有無, アクセス制御リスト(ACL)の使用の有無の 10個です。", 0},
    {kText, "・サイズ情報は全ディスク容量, 空ディスク容量, セクタ・サイズ, クラスタ・サイズ, 格納可能最大ファイル数, 格納可能残りファイル数の 6個です。", 0},
    {kText, "・ドライブ名は : を省略したドライブ文字でも指定可能です。", 0},
    {kText, "・引数を省略した場合は、現在のドライブを調べます。", 0},
    {kText, "・ドライブを複数指定した場合は、複数のドライブを調べます。", 0},
    {kText, "・/a で全ドライブを調べる時は、全ドライブに同時に問い合わせます。媒体の入っていないドライブは「メディア:なし」と表示し、調べられないドライブがあっても残りのドライブを調べます。", 0},
    {kText, "・フォルダーにマウントされたボリューム（Windows 2000 以降）は、マウント先のフォルダー名（例 C:\\Data）で表示します。/a と /l では、ドライブ文字のドライブの後に、全ボリュームのマウント先フォルダーをパス順に調べます（Windows XP 以降）。ドライブ文字もマウント先フォルダーもないボリュームは調べません。", 0},
    {kText, "・ドライブ名\\フォルダー名（例 C:\\Data\\logs）を指定すると、そのフォルダーがあるボリュームを調べます。\\\\?\\Volume{…}\\ の形のボリューム名も指定できます（Windows 2000 以降）。", 0},
    {kText, "・/l の一覧は「ドライブ 種別 FS ラベル 全容量 空容量 使用率 使用状況」の列で、使用状況は使用率を10目盛りの棒（#）で示します。ラベルが長い場合は途中で切って「..」を付けます。媒体の入っていないドライブは「メディアなし」、調べられないドライブは「参照不可」、応答しないドライブは「応答なし」と表示します。", 0},
    {kText, "・/u, /f の警告に当たるドライブは、/l の一覧で行頭に「!」を付け、画面では色を変えて表示します。注意に当たるドライブは「*」を付け、黄色で表示します。CD-ROMドライブは対象外です。", 0},
    {kText, "・相反するオプションが指定された場合は、設定ファイルよりもコマンドラインが優先され、最後に指定されたものが有効になります。最後とは設定ファイルでは下方（↓）、コマンドラインでは最も右側（→）です（例えば、/v /v- では /v- が有効）。", 0},
    {kPause, nullptr, 0},

    // Notes
    {kText, "【注意】", 0},
    {kText, "・バイト数の K, M, G表示で小数点以下の表示がある場合は、小数第2位以下を切り捨てて表示しています。", 0},
    {kText, "・ドライブ文字とはドライブを示す A～Z または a～z の文字です。", 0},
    {kText, "・ドライブ名とはドライブ文字に : を付けたものです。", 0},
    {kText, "・クラスタ・サイズ（cluster size）とは、ディスクにファイルを格納する区画の単位のことです。ブロック・サイズ（block size）とか、アロケーション・ユニット・サイズ（allocation unit size）とも呼ばれます。1クラスタが 32Kバイトの場合、1バイトのファイルを格納するのにも、32Kバイト使用してしまいます。", 0},
    {kText, "・OS の仕様により、ネットワーク・ドライブのボリューム・シリアル番号が取得できず \"0000-0000\" と表示される場合があります。また、クラスタ・サイズは、実際より大きなサイズに判断される場合もあります。", 0},
    {kPause, nullptr, 0},

    // Drive types
    {kText, "【ドライブ種別】", 0},
    {kText, "・ドライブ種別には、次のものがあります。", 0},
    {kText, "  REMOVABLE …… 媒体交換可能ドライブ", 0},
    {kText, "  FIXED     …… 媒体交換不可ドライブ", 0},
    {kText, "  REMOTE    …… リモート（ネットワーク）ドライブ", 0},
    {kText, "  CD-ROM    …… CD-ROMドライブ", 0},
    {kText, "  RAMDISK   …… RAMディスク", 0},
    {kPause, nullptr, 0},

    // File-system names
    {kText, "【ファイル・システム名】", 0},
    {kText, "・ファイル・システム名には、次の種類があります。", 0},
    {kText, "  FAT :File Allocation Table", 0},
    {kText, "       MS-DOS, Windows（Windows 95/98/Me/NT/2000/XP など）, OS/2 で使用。\n       フロッピー・ディスクや MO などの媒体交換可能なメディアでも使用。\n       32bit版の場合は、\"FAT32\" と表示。", 0},
    {kText, "  HPFS:High-Performance File System", 0},
    {kText, "       OS/2, Windows NT で使用。ディスクをパーティションや論理ドライブ別では\n       なくボリューム別に編成。大小文字混在の長いファイル名と拡張属性が使える。", 0},
    {kText, "  NTFS:New Technology File System", 0},
    {kText, "       Windows NT/2000/XP で使用。セキュリティ機能として実行専用ファイル、個\n       々のファイルに対するアクセス権があり、Unicode と大小文字混在の長いファ\n       イル名、大容量記憶メディアの操作などに対応。", 0},
    {kText, "  CDFS:Compact Disc File System", 0},
    {kText, "       CD-ROM で使用。", 0},
    {kText, "  UDF:Universal Disk Format", 0},
    {kText, "       DVD の統一標準フォーマット。DVD-RAM/ROM/VIDEO/R で使用。", 0},
    {kText, "       CD-R/RW のパケットライトでも使用。", 0},
    {kPause, nullptr, 0},

    // The configuration file
    {kText, "【設定ファイル】", 0},
    {kText, "　設定ファイルはコマンドのオプションなど各種設定を行うテキストファイルです。内容はテキストエディタによって、書き換えることが出来ます。設定ファイルはコマンド起動時にコマンド格納ディレクトリから読み込まれます。", 0},
    {kText, "", 0},
    {kConfigPath, "・設定ファイル=%s", 0},
    {kConfigListing, "・現在設定=", 0},
    {kSwitchCharacters, nullptr, 0},
    {kPause, nullptr, 0},

    // Usage examples
    {kText, "【使用例】", 0},
    {kProgramName, "%s    …… 現在ドライブのディスク状態", 0},
    {kProgramName, "%s A: …… Aドライブのディスク状態", 0},
    {kProgramName, "%s a: …… Aドライブのディスク状態", 0},
    {kProgramName, "%s A  …… Aドライブのディスク状態", 0},
    {kProgramName, "%s a  …… Aドライブのディスク状態", 0},
    {kProgramName, "%s a b c …… A,B,Cドライブのディスク状態", 0},
    {kProgramName, "%s \\\\server\\share …… \\\\server\\shareネットワークドライブのディスク状態", 0},
    {kProgramName, "%s /v …… ボリューム情報を表示せず、サイズ情報のみ表示", 0},
    {kProgramName, "%s /s …… サイズ情報表示せず、ボリューム情報のみ表示", 0},
    {kProgramName, "%s /v e: …… Eドライブのサイズ情報を表示", 0},
    {kProgramName, "%s e: /v …… Eドライブのサイズ情報を表示", 0},
    {kProgramName, "%s a b c /p  …… 画面一時停止なし", 0},
    {kProgramName, "%s a b c /p- …… 画面一時停止あり《既定》", 0},
    {kProgramName, "%s /l …… 全ドライブを1行ずつ一覧表示", 0},
    {kProgramName, "%s /l /u90 …… 使用率 90%%以上のドライブがあれば終了コード 2", 0},
    {kProgramName, "%s /? …… 使用方法説明", 0},
};

void print_switch_characters() {
  const unsigned char c = settings.switch_char;
  if (c == '/') {
    out_puts("・スイッチ文字= / のみが使用可能。\n");
    return;
  }
  // A lead byte alone is half a character, and would take the byte after
  // it along: it shows as "?".
  char shown[2];
  copy_showable(shown, reinterpret_cast<const char*>(&c), 1);
  out_printf("・スイッチ文字= / 及び %s が使用可能。\n", shown);
  out_printf("  /v-/s と %sv- %ss は意味が同じになります。\n", shown, shown);
  out_printf("  %sスイッチではオプションの区切に空白が必須です。\n", shown);
}

}  // namespace

void show_help(char* program_path) {
  help_pager_start(1);
  // The name as stored on disk, and the configuration file named after it;
  // the path may be of any length.  Where the system could not tell the
  // program's path, the command goes by its own name and has no such file.
  const char* name = program_path ? program_name_from_path(program_path) : "volsurvey";
  char* config_path = allocate(program_path ? strlen(program_path) + 5 : 1);
  ScopedFree config_path_holder(config_path);
  config_path[0] = '\0';
  if (program_path) {
    strcpy(config_path, program_path);
    strcat(config_path, ".cfg");
  }

  print_banner();
  for (const HelpEntry& entry : kHelp) {
    switch (entry.kind) {
      case kText:
        out_puts(entry.text);
        out_puts("\n");
        break;
      case kProgramName:
        out_printf(entry.text, name);
        out_puts("\n");
        break;
      case kExitCode:
        out_printf(entry.text, entry.code);
        out_puts("\n");
        break;
      case kPause:
        help_pager_pause(kPausePrompt);
        out_puts("\n");
        break;
      case kConfigPath:
        out_printf(entry.text, config_path);
        out_puts("\n");
        break;
      case kConfigListing:
        out_puts(entry.text);
        print_config_settings(config_path, settings.switch_char);
        break;
      case kSwitchCharacters:
        print_switch_characters();
        break;
    }
  }
  exit_program(1);
}
