// Asking a drive its questions: those the settings call for, in the order
// the reports need them, stopping at the first that fails.  The questions
// are asked on their own, while the program goes on, so that several
// drives can be asked at once.
#ifndef VOLSURVEY_REPORT_ASK_H_
#define VOLSURVEY_REPORT_ASK_H_

#include "report/record.h"

struct DriveQuestions;

// Starts asking about `root`, made from `source` (see plat_ask_start),
// within the drive's time limit.  With `whole_machine`, a drive without
// its medium is a state of its own, not a failure.  Ends the run when
// memory runs out.
DriveQuestions* start_asking(const char* root, const char* source, bool whole_machine);

// Waits for the answers, no longer than the drive's time allows, and puts
// them in `record` (its root left as the caller set it).
void finish_asking(DriveQuestions* questions, DriveRecord* record);

// The message that tells why the report of `record` stops short, as a new
// heap text; null when it does not (it is whole, or holds no medium).
char* stop_message(const DriveRecord& record);

#endif  // VOLSURVEY_REPORT_ASK_H_
