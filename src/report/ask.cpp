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
#include "report/volume_path.h"
#include "text/strings.h"
#include "text/units.h"

// The answers as they are asked.  A drive that does not answer in time
// keeps them for good, with the query that waits: the program then reads
// only the steps that `reached` published, which are written no more.
struct DriveQuestions {
  DriveRecord record;
  std::atomic<int> reached{static_cast<int>(Reached::kNothing)};
  DriveAsking* drive = nullptr;
  char16_t* path = nullptr;  // the path whose volume is asked first
  FoundRoot found = {nullptr, nullptr};
  bool local_only = false;
};

namespace {

// The size is asked for the size report, for the list's figures, for the
// levels, which would otherwise call any drive not full, and for the record
// of runs.
bool size_wanted() {
  return settings.show_size || settings.list_mode || levels_set() || settings.record_file;
}

// The step of the settings' last question.
Reached last_step() { return size_wanted() ? Reached::kSize : Reached::kVolume; }

void publish(DriveQuestions* q, Reached step) {
  q->record.reached = step;
  q->reached.store(static_cast<int>(step), std::memory_order_release);
}

// The volume a path lies on; where the system mounts nothing in folders,
// the path's own drive.
Stop ask_root(DriveAsking* drive, DriveQuestions* q) {
  DriveRecord& r = q->record;
  const Stop stop = find_volume(drive, q->path, &q->found.root, &q->found.wide_root);
  if (stop != Stop::kNone) return stop;
  if (q->found.root) {
    r.root = q->found.root;
    r.wide_root = q->found.wide_root;
  }
  return plat_ask_about(drive, r.root, r.wide_root) ? Stop::kNone : Stop::kUnreadable;
}

// Asked on its own: touches nothing but `context`.
void ask_drive(DriveAsking* drive, void* context) {
  DriveQuestions* q = static_cast<DriveQuestions*>(context);
  DriveRecord& r = q->record;
  if (q->path) {
    r.stop = ask_root(drive, q);
    if (r.stop != Stop::kNone) return;
  }
  publish(q, Reached::kRoot);
  // The volume report runs even when it prints nothing: it rejects an
  // unreadable drive and finds what the size report needs.
  const bool type_shown = settings.list_mode || (settings.show_volume && !settings.wide_mode);
  r.stop = ask_drive_type(drive, type_shown, &r.facts);
  // A drive of unknown type, or none at all, is no local disk either.
  if (q->local_only && r.stop != Stop::kNoAnswer && !is_local_disk(r.facts.drive_type)) {
    r.stop = Stop::kLeftOut;
    return;
  }
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

DriveQuestions* start_asking(const DriveRecord& seed, const char16_t* path, bool side_by_side,
                             bool local_only) {
  DriveQuestions* q = new (allocate(sizeof(DriveQuestions))) DriveQuestions;
  q->record = seed;
  q->local_only = local_only;
  if (path) {
    // Its own copy: a query left waiting may read it after the run has
    // let go of the list's.
    q->path = units_copy(path, units_length(path));
    if (!q->path) fatal_error("メモリー不足");
  }
  q->drive = plat_ask_start(path ? nullptr : seed.root, path ? nullptr : seed.wide_root,
                            settings.time_limit * 1000, side_by_side, ask_drive, q);
  if (!q->drive) fatal_error("メモリー不足");
  return q;
}

bool settle_asking(DriveQuestions* q, uint32_t ms) { return plat_ask_settle(q->drive, ms); }

void finish_asking(DriveQuestions* q, DriveRecord* record, FoundRoot* found) {
  if (plat_ask_finish(q->drive) == Answer::kOk) {
    *record = q->record;
    *found = q->found;
    // A path whose volume was never found is named as it was typed.
    if (record->reached < Reached::kRoot) {
      record->root = nullptr;
      record->wide_root = nullptr;
    }
    free(q->path);
    q->~DriveQuestions();
    free(q);
    return;
  }
  // The questions now belong to the query that waits: what it published is
  // copied, and nothing of it is written or freed here.
  const Reached reached = static_cast<Reached>(q->reached.load(std::memory_order_acquire));
  const DriveQuestions& kept = *q;
  *found = FoundRoot{nullptr, nullptr};
  *record = DriveRecord{};
  record->typed = kept.record.typed;
  record->wide_typed = kept.record.wide_typed;
  record->reached = reached;
  // Time that ran out after the last answer was in cost the drive nothing.
  record->stop = reached == last_step() ? Stop::kNone : Stop::kNoAnswer;
  if (reached >= Reached::kRoot) {
    record->root = kept.record.root;
    record->wide_root = kept.record.wide_root;
    if (kept.found.root) {
      found->root = dup_string(kept.found.root);
      found->wide_root = units_copy(kept.found.wide_root, units_length(kept.found.wide_root));
      if (!found->root || !found->wide_root) fatal_error("メモリー不足");
      record->root = found->root;
      record->wide_root = found->wide_root;
    }
  }
  if (reached >= Reached::kDriveType) record->facts.drive_type = kept.record.facts.drive_type;
  if (reached >= Reached::kVolume) {
    record->facts = kept.record.facts;
    record->volume = kept.record.volume;
  }
  if (reached >= Reached::kSize) record->size = kept.record.size;
}
