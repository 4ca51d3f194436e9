// Test hooks into the scripted platform: its clock, and the code page of
// its paths.
#ifndef VOLSURVEY_PLATFORM_SIM_CONTROL_H_
#define VOLSURVEY_PLATFORM_SIM_CONTROL_H_

#include <cstdint>

void sim_set_tick(uint32_t tick);
uint32_t sim_tick();

// Whether paths are split as Shift-JIS (true) or in a code page without
// lead bytes, for a test that reads no scenario.
void sim_set_paths_in_shift_jis(bool shift_jis);

#endif  // VOLSURVEY_PLATFORM_SIM_CONTROL_H_
