// The built-in manual: "/?" and "/help".
#ifndef VOLSURVEY_HELP_HELP_H_
#define VOLSURVEY_HELP_HELP_H_

// Prints the banner and the help, pausing at fixed points on a console,
// lists the configuration file, and ends the process with exit code 1.
// Shortens `program_path` (the program file's full path) in place; null
// where the system could not tell it.
[[noreturn]] void show_help(char* program_path);

#endif  // VOLSURVEY_HELP_HELP_H_
