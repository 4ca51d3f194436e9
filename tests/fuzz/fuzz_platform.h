// An in-memory platform for the fuzz targets: every answer comes from what
// the target sets here, and all output is thrown away.
#ifndef VOLSURVEY_TESTS_FUZZ_FUZZ_PLATFORM_H_
#define VOLSURVEY_TESTS_FUZZ_FUZZ_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The configuration file's bytes; no file at all when `present` is false.
void fuzz_set_config(const std::string& bytes, bool present = true);

// The environment table, one "NAME=value" entry each.
void fuzz_set_environment(const std::vector<std::string>& entries);

// The operating-system answers: family and a seed from which every drive's
// answers are derived.
void fuzz_set_machine(uint32_t platform_id, uint32_t seed);

// Puts the program's process-wide state back to its start values.
void fuzz_reset_program_state();

#endif  // VOLSURVEY_TESTS_FUZZ_FUZZ_PLATFORM_H_
