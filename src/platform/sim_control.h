// Test hooks into the scripted platform's clock.
#ifndef VOLSURVEY_PLATFORM_SIM_CONTROL_H_
#define VOLSURVEY_PLATFORM_SIM_CONTROL_H_

#include <cstdint>

void sim_set_tick(uint32_t tick);
uint32_t sim_tick();

#endif  // VOLSURVEY_PLATFORM_SIM_CONTROL_H_
