// How a command-line argument is told apart: option, help request or drive.
#ifndef VOLSURVEY_DRIVER_ARGS_H_
#define VOLSURVEY_DRIVER_ARGS_H_

// Starts with "/" or with `switch_char` (compared as an unsigned byte, so
// that NUL or a lead byte can serve too).
bool starts_with_switch(const char* text, unsigned char switch_char);

// Starts with "/" or with the configured switch character.
bool is_option_argument(const char* argument);

// An option argument whose second byte is "?" or whose text after the
// switch character is "help" in any letter case.
bool is_help_request(const char* option);

#endif  // VOLSURVEY_DRIVER_ARGS_H_
