#include "driver/entry.h"

#include <cstdlib>

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
#include "report/json_report.h"
#include "report/list.h"
#include "report/text_report.h"

Settings settings;

// The program file's full path, kept for the whole run; null when unknown.
static char* program_path;

int volsurvey_main(int argc, char** argv) {
  // The switch character must be known before the command line is read.
  free(program_path);  // from an earlier run in the same process, if any
  program_path = get_program_path();
  read_switch_setting(program_path, &settings.switch_char);

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

  // The document is for programs: nothing may stand in it but itself, nor
  // wait for a key.
  if (!settings.json_output) {
    report_pager_start(settings.pause_mode, 1);
    if (settings.pause_mode) report_pager_count(80, kPausePrompt);
  }
  const Printer& printer = settings.json_output ? kJsonPrinter
                           : settings.list_mode ? kListPrinter
                                                : kTextPrinter;
  // The list is for seeing every drive at a glance: one drive is rarely
  // what is wanted.
  DriveList list;
  list_drives(argc, argv, drive_count, settings.all_drives || settings.list_mode, &list);
  return survey_drives(&list, printer);
}
