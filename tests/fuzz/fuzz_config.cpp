// The configuration file reader and its three passes over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/passes.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool environment_set = [] {
    fuzz_set_environment({"A=/v", "b=/s", "REF=%A%", "SW=switch=-", "EMPTY=",
                          "LONG=" + std::string(6000, 'x'), "=C:=C:\\WORK"});
    return true;
  }();
  (void)environment_set;
  fuzz_reset_program_state();
  fuzz_set_config(std::string(reinterpret_cast<const char*>(data), size));
  char program_path[] = "C:\\TOOLS\\volsurvey.exe";
  try {
    read_switch_setting(program_path, &settings.switch_char);
  } catch (const ProgramExit&) {
  }
  try {
    apply_config_options(program_path, settings.switch_char);
  } catch (const ProgramExit&) {
  }
  try {
    print_config_settings("C:\\TOOLS\\volsurvey.cfg", settings.switch_char);
  } catch (const ProgramExit&) {
  }
  return 0;
}
