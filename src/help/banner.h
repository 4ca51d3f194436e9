// The banner at the head of the help, and the program name it shows.
#ifndef VOLSURVEY_HELP_BANNER_H_
#define VOLSURVEY_HELP_BANNER_H_

// Writes the three banner lines: what the command is, its name, reading,
// version and build date, and the maker's notice with the build year.
void print_banner();

// The build date as yyyy-mm-dd, from the compiler's date of this build; a
// process-wide buffer that each call overwrites.
const char* build_date();

// The same from a date string in the compiler's form "Mmm dd yyyy"; a month
// name that matches none gives the month 13.
const char* build_date_from(const char* date_string);

// The program name in a program path: its file name without the last four
// characters (".exe").  Cuts those characters off `path` itself.  Null for
// an empty path; a path of under five bytes is returned whole.
char* program_name_from_path(char* path);

#endif  // VOLSURVEY_HELP_BANNER_H_
