// The one-line-per-drive list of /l: a heading, then each drive's name,
// type, file system, label, capacities, used share and a usage bar, every
// line within 79 columns of a console 80 wide.
#ifndef VOLSURVEY_REPORT_LIST_H_
#define VOLSURVEY_REPORT_LIST_H_

#include <cstddef>

#include "report/record.h"

// The heading line over the columns.
void print_list_heading();

// The drive's line, from what it answered as far as its answers go; a
// drive whose report stops short shows a word for why in place of its
// figures.  `name` is the drive's name as shown, Shift-JIS; `record` is
// null for an argument that names no drive.  A drive past a threshold is
// marked at the start of its line and, on a console, drawn in the warning
// colour.  A name wider than its column stands on a line of its own.
void print_list_line(const char* name, const DriveRecord* record);

// The columns of a line, for the list's own checks.
const size_t kListWidth = 78;

#endif  // VOLSURVEY_REPORT_LIST_H_
