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
    if (e.code != 1) abort();
    return 0;
  }
  for (int flag : {settings.pause_mode, settings.show_volume, settings.show_size,
                   settings.wide_mode, settings.list_mode}) {
    if (flag != 0 && flag != 1) abort();
  }
  if (settings.used_limit > 100) abort();
  // Only an "s" switch turns the size report off.
  if (!settings.show_size && text.find_first_of("sS") == std::string::npos) abort();
  return 0;
}
