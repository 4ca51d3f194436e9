// Drives told as one JSON document, for scripts: every figure exact and
// typed, every name exact, and a drive that cannot be reported an object
// that says why, so that the document is whole whatever befalls a drive.
#ifndef VOLSURVEY_REPORT_JSON_REPORT_H_
#define VOLSURVEY_REPORT_JSON_REPORT_H_

#include "report/printer.h"

// The document: written only once every drive is in, so that nothing can
// stop the run between its first byte and its last.  A drive without its
// medium is a state where the whole machine is surveyed, and an error where
// it was named.
extern const Printer kJsonPrinter;

#endif  // VOLSURVEY_REPORT_JSON_REPORT_H_
