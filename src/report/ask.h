// Asking a drive its questions: those the settings call for, in the order
// the reports need them, stopping at the first that fails.  The questions
// are asked on their own, while the program goes on, so that several
// drives can be asked at once.
#ifndef VOLSURVEY_REPORT_ASK_H_
#define VOLSURVEY_REPORT_ASK_H_

#include "report/record.h"

struct DriveQuestions;

// Starts asking about the drive that `seed` names (its root, or with
// `path` the path whose volume is asked first, the seed's root standing
// where the system mounts nothing in folders), within the drive's time
// limit; `side_by_side` when other drives are asked meanwhile.  With
// `local_only`, a drive that is no local disk is asked nothing beyond its
// type (kLeftOut).  Ends the run when memory runs out.
DriveQuestions* start_asking(const DriveRecord& seed, const char16_t* path, bool side_by_side,
                             bool local_only);

// Waits at most `ms` milliseconds for the answers to be in, leaving them to
// finish_asking either way; a drive whose answers are in no longer holds
// a thread that the next drive could use.  Whether they are in.
bool settle_asking(DriveQuestions* questions, uint32_t ms);

// The root a path's drive was found to be asked by, in heap texts that the
// caller takes over; null where the drive's root is the seed's.
struct FoundRoot {
  char* root;
  char16_t* wide_root;
};

// Waits for the answers, no longer than the drive's time allows, and puts
// them in `record`.
void finish_asking(DriveQuestions* questions, DriveRecord* record, FoundRoot* found);

#endif  // VOLSURVEY_REPORT_ASK_H_
