// Drives told as one JSON document, for scripts: every figure exact and
// typed, every name exact, and a drive that cannot be reported an object
// that says why, so that the document is whole whatever befalls a drive.
#ifndef VOLSURVEY_REPORT_JSON_REPORT_H_
#define VOLSURVEY_REPORT_JSON_REPORT_H_

#include "report/json.h"
#include "report/record.h"

// The object of one drive: `name` its UTF-16 name, `record` what it
// answered, null for an argument that names no drive.  A drive without its
// medium is a state where `whole_machine`, and an error where it was named.
// Returns whether the object tells an error.
bool print_drive_json(JsonWriter* w, const char16_t* name, const DriveRecord* record,
                      bool whole_machine);

#endif  // VOLSURVEY_REPORT_JSON_REPORT_H_
