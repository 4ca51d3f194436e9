// Asking a drive its questions: those the settings call for, in the order
// the reports need them, stopping at the first that fails.  The questions
// are asked on their own, while the program goes on, so that several
// drives can be asked at once.
#ifndef VOLSURVEY_REPORT_ASK_H_
#define VOLSURVEY_REPORT_ASK_H_

#include "report/record.h"

struct DriveQuestions;

// Starts asking about `root`, made from `source` (see plat_ask_start),
// within the drive's time limit; `side_by_side` when other drives are asked
// meanwhile.  Ends the run when memory runs out.
DriveQuestions* start_asking(const char* root, const char* source, bool side_by_side);

// Waits at most `ms` milliseconds for the answers to be in, leaving them to
// finish_asking either way; a drive whose answers are in no longer holds
// a thread that the next drive could use.
void settle_asking(DriveQuestions* questions, uint32_t ms);

// Waits for the answers, no longer than the drive's time allows, and puts
// them in `record` (its root left as the caller set it).
void finish_asking(DriveQuestions* questions, DriveRecord* record);

#endif  // VOLSURVEY_REPORT_ASK_H_
