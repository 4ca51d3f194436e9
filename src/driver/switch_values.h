// The values switches carry: numbers, and the levels of /u, /f and /e,
// for every drive or for one.
#ifndef VOLSURVEY_DRIVER_SWITCH_VALUES_H_
#define VOLSURVEY_DRIVER_SWITCH_VALUES_H_

#include <cstdint>

// Decimal digits at `digits`, up to `most`, as a switch value; *end is set
// past them.  False without a digit or past `most`.
bool read_number(const char* digits, uint64_t most, uint64_t* value, const char** end);

// "u", "f" or "e" at `letter` with its levels, applied to settings: "W,C"
// or "C" for every drive, "-" for none; "ROOT=W,C", "ROOT=C" or "ROOT=-"
// for one drive, the plain levels standing for the others.  False for a
// switch that is none of these.
bool set_level_switch(const char* letter);

#endif  // VOLSURVEY_DRIVER_SWITCH_VALUES_H_
