// %NAME% references to environment variables in configuration lines.
#ifndef VOLSURVEY_CONFIG_ENV_REFS_H_
#define VOLSURVEY_CONFIG_ENV_REFS_H_

#include <cstddef>

// The value of the first environment entry whose name equals `name`
// ignoring ASCII case; null when there is none (always for "").
const char* env_lookup(const char* name);

// Expands the references of `line` (a buffer of `line_size` bytes) in
// place.  `name_buffer` holds `name_capacity` + 2 bytes; a name of
// `name_capacity` bytes or more, or a value that would overflow the line,
// leaves that reference and the rest of the line as they are.  A value is
// never scanned for further references.
void expand_env_refs(char* line, size_t line_size, char* name_buffer, size_t name_capacity);

#endif  // VOLSURVEY_CONFIG_ENV_REFS_H_
