// The text reports: for each drive its name, the volume report and the size
// report as the settings ask, drives parted by empty lines.
#ifndef VOLSURVEY_REPORT_TEXT_REPORT_H_
#define VOLSURVEY_REPORT_TEXT_REPORT_H_

#include "report/printer.h"

// A named drive that cannot be reported ends the run, before the next is
// asked; over the whole machine it is told and the others follow.
extern const Printer kTextPrinter;

// Prints the reports that settings ask for, from what the drive answered,
// as far as its answers go.
void report_drive(const DriveRecord& record, bool whole_machine);

#endif  // VOLSURVEY_REPORT_TEXT_REPORT_H_
