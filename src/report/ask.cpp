#include "report/ask.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "driver/fatal.h"
#include "driver/settings.h"
#include "platform/platform.h"
#include "report/size.h"
#include "report/threshold.h"
#include "report/volume.h"

// The answers as they are asked.  A drive that does not answer in time
// keeps them for good, with the query that waits: the program then reads
// only the steps that `reached` published, which are written no more.
struct DriveQuestions {
  DriveRecord record;
  std::atomic<int> reached{static_cast<int>(Reached::kNothing)};
  DriveAsking* drive = nullptr;
};

namespace {

// The size is asked for the size report, for the list's figures, and for
// the thresholds, which would otherwise call any drive not full.
bool size_wanted() { return settings.show_size || settings.list_mode || threshold_set(); }

// The step of the settings' last question.
Reached last_step() { return size_wanted() ? Reached::kSize : Reached::kVolume; }

void publish(DriveQuestions* q, Reached step) {
  q->record.reached = step;
  q->reached.store(static_cast<int>(step), std::memory_order_release);
}

// Asked on its own: touches nothing but `context`.
void ask_drive(DriveAsking* drive, void* context) {
  DriveQuestions* q = static_cast<DriveQuestions*>(context);
  DriveRecord& r = q->record;
  // The volume report runs even when it prints nothing: it rejects an
  // unreadable drive and finds what the size report needs.
  const bool type_shown = settings.list_mode || (settings.show_volume && !settings.wide_mode);
  r.stop = ask_drive_type(drive, type_shown, &r.facts);
  if (r.stop != Stop::kNone) return;
  publish(q, Reached::kDriveType);
  r.stop = ask_volume(drive, &r.facts, &r.volume);
  if (r.stop != Stop::kNone) return;
  publish(q, Reached::kVolume);
  if (!size_wanted()) return;
  r.stop = ask_size(drive, r.facts, &r.size);
  if (r.stop != Stop::kNone) return;
  publish(q, Reached::kSize);
}

}  // namespace

DriveQuestions* start_asking(const char* root, const char* source, bool side_by_side) {
  DriveQuestions* q = new (allocate(sizeof(DriveQuestions))) DriveQuestions;
  q->drive = plat_ask_start(root, source, settings.time_limit * 1000, side_by_side, ask_drive, q);
  if (!q->drive) fatal_error("メモリー不足");
  return q;
}

void finish_asking(DriveQuestions* q, DriveRecord* record) {
  const char* root = record->root;
  if (plat_ask_finish(q->drive) == Answer::kOk) {
    *record = q->record;
    record->root = root;
    q->~DriveQuestions();
    free(q);
    return;
  }
  // The questions now belong to the query that waits.
  const Reached reached = static_cast<Reached>(q->reached.load(std::memory_order_acquire));
  const DriveQuestions& kept = *q;
  *record = DriveRecord{};
  record->root = root;
  record->reached = reached;
  // Time that ran out after the last answer was in cost the drive nothing.
  record->stop = reached == last_step() ? Stop::kNone : Stop::kNoAnswer;
  if (reached >= Reached::kDriveType) record->facts.drive_type = kept.record.facts.drive_type;
  if (reached >= Reached::kVolume) {
    record->facts = kept.record.facts;
    record->volume = kept.record.volume;
  }
  if (reached >= Reached::kSize) record->size = kept.record.size;
}
