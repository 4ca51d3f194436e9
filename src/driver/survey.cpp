#include "driver/survey.h"

#include <cstring>

#include "console/output.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "report/ask.h"
#include "report/history.h"
#include "report/stops.h"
#include "report/threshold.h"
#include "text/scoped.h"

namespace {

// How long a drive started ahead of its turn waits for the one before it.
const uint32_t kSettleMs = 20;

// What the run found, for its exit code.
struct Tally {
  bool failed = false;
  Level worst = Level::kOk;
};

void count(const DriveRecord& record, const SurveyRun& run, const Printer& printer,
           Tally* tally) {
  if (drive_stop_words(record, run.whole_machine || !printer.empty_named_fails)) tally->failed = true;
  if (record.judgement.level > tally->worst) tally->worst = record.judgement.level;
}

// 1 after any failure, else 2 when a drive passed a level, so that a script
// tells a full disk from a broken run.  A monitoring check answers as its
// interface ranks the states: critical, then warning, then unknown (a
// drive that failed or did not answer), then OK.
int exit_code(const Tally& tally) {
  if (settings.plugin_output) {
    if (tally.worst == Level::kCritical) return 2;
    if (tally.worst == Level::kWarning) return 1;
    return tally.failed ? 3 : 0;
  }
  return tally.failed ? 1 : tally.worst != Level::kOk ? 2 : 0;
}

// The record a drive's questions start from: its root, and what it was
// named by.
DriveRecord seed_of(const DriveEntry& entry) {
  DriveRecord seed;
  seed.root = entry.root;
  seed.wide_root = entry.wide_root;
  seed.typed = entry.typed;
  seed.wide_typed = entry.wide_typed;
  if (!entry.root) seed.stop = Stop::kBadName;
  return seed;
}

}  // namespace

int survey_drives(DriveList* list, const Printer& printer) {
  SurveyRun run = {list->whole_machine, list->folders_unlisted, false, false};
  // The record is read before any drive is reported, for their forecasts;
  // one that cannot be read leaves the run as it is without one.
  if (settings.record_file) {
    run.forecasts = history_start();
    run.record_failed = !run.forecasts;
  }
  const size_t count_of_drives = list->count;
  // So many drives at once, and no more: a thread each.
  const bool side_by_side = run.whole_machine || !printer.named_in_turn;
  const size_t at_once = side_by_side ? 26 : 1;
  DriveQuestions** questions = allocate_array<DriveQuestions*>(count_of_drives ? count_of_drives : 1);
  ScopedFree questions_holder(questions);
  Tally tally;
  printer.begin(run);
  size_t started = 0;
  for (size_t i = 0; i < count_of_drives; ++i) {
    for (; started < count_of_drives && started < i + at_once; ++started) {
      // A drive asked ahead of its turn first gives the one before it a
      // moment: a healthy drive answers within it and its thread asks the
      // next, so that a machine of healthy drives costs one thread, not
      // one each; a slow drive is left to its own and the next starts
      // beside it, a moment later.
      if (started > i && questions[started - 1]) settle_asking(questions[started - 1], kSettleMs);
      const DriveEntry& e = list->entries[started];
      // Over the whole machine with /d, a lettered drive that is no local
      // disk is left out; the folders volumes are mounted in are local.
      const bool local_only = run.whole_machine && settings.local_only && e.root &&
                              strlen(e.root) == 3;
      questions[started] =
          e.root ? start_asking(seed_of(e), e.path, side_by_side, local_only) : nullptr;
    }
    DriveEntry& entry = list->entries[i];
    DriveRecord record = seed_of(entry);
    if (questions[i]) {
      // What is printed so far reaches its reader before the run waits on
      // a drive that may never answer.
      if (!settle_asking(questions[i], 0)) out_flush();
      FoundRoot found;
      finish_asking(questions[i], &record, &found);
      if (found.root) settle_root(&entry, found.root, found.wide_root);
    }
    // Not reported at all: the run is of local disks alone.
    if (record.stop == Stop::kLeftOut) continue;
    if (run.forecasts && record.reached >= Reached::kSize) {
      record.forecast = history_take(record);
      record.forecast_made = true;
    }
    record.judgement = judge_drive(record);
    count(record, run, printer, &tally);
    printer.take(record, run);
  }
  // The run's lines, once every drive is in.
  if (run.forecasts && !history_finish()) run.record_failed = true;
  // What could not be had was told on standard error already.
  tally.failed = tally.failed || run.folders_unlisted || run.record_failed;
  printer.end(run);
  return exit_code(tally);
}
