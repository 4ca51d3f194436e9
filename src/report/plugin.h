// The answer of a monitoring check, as the monitoring plugin interface
// defines it (Nagios, Icinga, Checkmk and the Windows agents read it): a
// first line with the state, the drives that need attention and the
// performance data of every drive, then a line for each drive; names in
// UTF-8, words and units in ASCII.
#ifndef VOLSURVEY_REPORT_PLUGIN_H_
#define VOLSURVEY_REPORT_PLUGIN_H_

#include "report/printer.h"

extern const Printer kPluginPrinter;

#endif  // VOLSURVEY_REPORT_PLUGIN_H_
