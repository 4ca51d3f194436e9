#include "driver/entry.h"

#include "console/output.h"
#include "console/pager.h"
#include "driver/args.h"
#include "driver/drives.h"
#include "driver/options.h"
#include "driver/settings.h"

Settings settings;

int volsurvey_main(int argc, char** argv) {
  // Help wins over everything else on the command line, and is looked for
  // before any option is applied.
  int drive_count = 0;
  for (int i = 1; i < argc; ++i) {
    if (!is_option_argument(argv[i])) {
      ++drive_count;
    } else if (is_help_request(argv[i])) {
      exit_program(1);
    }
  }

  // Options apply to every drive wherever they stand among the drives.
  for (int i = 1; i < argc; ++i) {
    if (is_option_argument(argv[i])) apply_options(argv[i], false);
  }

  report_pager_start(settings.pause_mode, 1);
  if (settings.pause_mode) report_pager_count(80, kPausePrompt);

  if (drive_count == 0) {
    report_current_drive();
  } else {
    report_drive_arguments(argc, argv);
  }
  return 0;
}
