// Where the program's file is, and the configuration file beside it.
#ifndef VOLSURVEY_CONFIG_PROGRAM_PATH_H_
#define VOLSURVEY_CONFIG_PROGRAM_PATH_H_

// The full path of the program file with its name as stored on disk (the
// long name in its stored letter case, even when started by a short name);
// a new heap string, or null when the system cannot tell it.  Without
// memory for it the run ends with "メモリー不足".
char* get_program_path();

// The position just after the last "." of `path` when no backslash follows
// it; null otherwise.
char* find_extension(char* path);

// Replaces the extension of `path` by `ext`, or appends "." and `ext`; the
// buffer must hold the result.  Returns `path`.
char* set_extension(char* path, const char* ext);

// The configuration file's path for a program path: its extension replaced
// by "cfg".  A new heap string; null when `program_path` is null or memory
// runs out.
char* config_file_path(const char* program_path);

// The byte just after the last path separator of `path`, skipping second
// bytes of double-byte characters of the code page the platform gives its
// paths in; `path` itself when there is none.
char* after_last_separator(char* path);

#endif  // VOLSURVEY_CONFIG_PROGRAM_PATH_H_
