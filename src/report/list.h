// The one-line-per-drive list of /l: a heading, then each drive's name,
// type, file system, label, capacities, used share and a usage bar, every
// line within 79 columns of a console 80 wide.
#ifndef VOLSURVEY_REPORT_LIST_H_
#define VOLSURVEY_REPORT_LIST_H_

#include <cstddef>

#include "report/printer.h"

// The heading, then each drive's line, from what it answered as far as its
// answers go.  A drive whose report stops short shows a word for why in
// place of its figures, its full message on standard error, and the other
// drives' lines follow whatever befalls one, named or not.  A drive past a
// threshold is marked at the start of its line and, on a console, drawn in
// the warning colour.  A name wider than its column stands on a line of
// its own.
extern const Printer kListPrinter;

// The columns of a line, for the list's own checks.
const size_t kListWidth = 78;

#endif  // VOLSURVEY_REPORT_LIST_H_
