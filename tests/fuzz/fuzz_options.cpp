// The option parser over arbitrary option texts and switch characters.  The
// first byte is the switch character, the second says whether the text
// comes from the configuration file, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/args.h"
#include "driver/fatal.h"
#include "driver/options.h"
#include "driver/settings.h"
#include "fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  fuzz_reset_program_state();
  settings.switch_char = data[0];
  // An argument ends at its first NUL, as a C string would.
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  text = text.c_str();
  if (!is_option_argument(text.c_str())) return 0;
  (void)is_help_request(text.c_str());
  try {
    apply_options(text.c_str(), (data[1] & 1) != 0);
  } catch (const ProgramExit& e) {
    // A refused switch is exit code 1, or 3 once /m has been applied.
    if (e.code != (settings.plugin_output ? 3 : 1)) abort();
    return 0;
  }
  for (int flag : {settings.pause_mode, settings.show_volume, settings.show_size,
                   settings.wide_mode, settings.list_mode}) {
    if (flag != 0 && flag != 1) abort();
  }
  // Levels as the switches promise them: shares of 1 to 100, a warning
  // before the critical level.
  const Levels& used = settings.used_levels;
  if (used.critical_set && (used.critical < 1 || used.critical > 100)) abort();
  if (used.warning_set && (!used.critical_set || used.warning >= used.critical)) abort();
  const Levels& free = settings.free_levels;
  if (free.warning_set && (!free.critical_set || free.warning <= free.critical)) abort();
  // Only an "s" switch turns the size report off.
  if (!settings.show_size && text.find_first_of("sS") == std::string::npos) abort();
  return 0;
}
