// The three passes over the configuration file: the switch character, the
// option lines, and the listing that the help shows.
#ifndef VOLSURVEY_CONFIG_PASSES_H_
#define VOLSURVEY_CONFIG_PASSES_H_

// Pass 1: sets *switch_char from the last "switch" line that has "=".
// Without a program path (null) there is no file, and nothing changes.
void read_switch_setting(const char* program_path, unsigned char* switch_char);

// Pass 2: applies every option line, top to bottom, as the option parser
// would a command-line argument (its messages then name the file).
void apply_config_options(const char* program_path, unsigned char switch_char);

// Pass 3: prints the option lines of `config_path` on one line, those with
// white space inside in double quotes; "設定ファイルが存在しません。" when
// the file cannot be opened.
void print_config_settings(const char* config_path, unsigned char switch_char);

// Pass 1's step on one expanded line: a line starting with "switch" and
// holding "=" sets *switch_char to the first byte after "=" and the blanks
// that follow it (NUL when nothing follows).
void take_switch_line(char* line, unsigned char* switch_char);

#endif  // VOLSURVEY_CONFIG_PASSES_H_
