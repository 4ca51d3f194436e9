#include "driver/entry.h"

#include <cstdlib>
#include <cstring>

#include "config/passes.h"
#include "config/program_path.h"
#include "console/output.h"
#include "console/pager.h"
#include "driver/args.h"
#include "driver/drive_list.h"
#include "driver/options.h"
#include "driver/settings.h"
#include "driver/survey.h"
#include "help/help.h"
#include "platform/platform.h"
#include "report/json_report.h"
#include "report/list.h"
#include "report/plugin.h"
#include "report/text_report.h"

Settings settings;
OwnLevels own_levels;

// The program file's full path, kept for the whole run; null when unknown.
static char* program_path;

namespace {

// Whether the command line asks for the answer of a monitoring check (/m,
// the last of /m and /m- winning): known before anything can fail, so that
// a refused switch or a bad configuration file is answered as a check.
void find_plugin_output(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!is_option_argument(argv[i])) continue;
    // An empty argument counts as an option where the switch character is
    // NUL: it has no letter to look at.
    for (const char* at = argv[i]; at && *at; at = strchr(at + 1, '/')) {
      if (match_option(at + 1, "m")) settings.plugin_output = 1;
      if (match_option(at + 1, "m-")) settings.plugin_output = 0;
    }
  }
}

}  // namespace

int volsurvey_main(int argc, char** argv) {
  // The switch character must be known before the command line is read.
  free(program_path);  // from an earlier run in the same process, if any
  program_path = get_program_path();
  find_plugin_output(argc, argv);
  read_switch_setting(program_path, &settings.switch_char);
  find_plugin_output(argc, argv);

  // Help wins over everything else on the command line, and is looked for
  // before any option is applied.
  int drive_count = 0;
  for (int i = 1; i < argc; ++i) {
    if (!is_option_argument(argv[i])) {
      ++drive_count;
    } else if (is_help_request(argv[i])) {
      show_help(program_path);
    }
  }

  // The file's options come first, so that the command line overrides them;
  // options apply to every drive wherever they stand among the drives.
  apply_config_options(program_path, settings.switch_char);
  for (int i = 1; i < argc; ++i) {
    if (is_option_argument(argv[i])) apply_options(argv[i], false);
  }

  // The document and the monitoring answer are for programs: nothing may
  // stand in them but themselves, nor wait for a key.
  const bool for_programs = settings.plugin_output || settings.json_output;
  if (settings.plugin_output) plat_plugin_output();
  if (!for_programs) {
    report_pager_start(settings.pause_mode, 1);
    if (settings.pause_mode) report_pager_count(80, kPausePrompt);
  }
  const Printer& printer = settings.plugin_output ? kPluginPrinter
                           : settings.json_output ? kJsonPrinter
                           : settings.list_mode   ? kListPrinter
                                                  : kTextPrinter;
  // The list and the check are for every drive at a glance: one drive is
  // rarely what is wanted.
  DriveList list;
  const bool every_drive = settings.all_drives || settings.list_mode || settings.plugin_output;
  list_drives(argc, argv, drive_count, every_drive, &list);
  return survey_drives(&list, printer);
}
