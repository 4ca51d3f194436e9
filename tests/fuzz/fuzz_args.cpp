// The whole command over arbitrary arguments: classification, help, options
// and the drive dispatch, on a machine whose answers the input also picks.
// Byte 0 picks the system family and a configuration file, bytes 1-4 seed
// the drives' answers, the rest is the arguments, parted by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/entry.h"
#include "driver/fatal.h"
#include "driver/settings.h"
#include "fuzz_platform.h"
#include "report/threshold.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static const char* const kConfigs[] = {"", "switch=-\n", "switch=\n", "/w\n/p-\n",
                                         "switch=\\\n/v\n"};
  fuzz_reset_program_state();
  fuzz_set_machine(data[0] & 3, data[1] | data[2] << 8 | data[3] << 16 | uint32_t{data[4]} << 24);
  size_t config = (data[0] >> 2) % 6;
  fuzz_set_config(config < 5 ? kConfigs[config] : "", config < 5);

  std::vector<std::string> words = {"volsurvey"};
  std::string current;
  for (size_t i = 5; i < size && words.size() < 64; ++i) {
    if (data[i] == '\0') {
      words.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 5) words.push_back(current);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  try {
    // A survey of the whole machine, the list or the document goes on past
    // a drive that fails and ends with 1; 2 only says a drive passed a
    // threshold that was set.
    const int code = volsurvey_main(static_cast<int>(words.size()), argv.data());
    const bool answered = settings.plugin_output ? code <= 3
                                                 : code == 0 || code == 1 || (code == 2 && levels_set());
    if (!answered) abort();
  } catch (const ProgramExit& e) {
    // A run that stops ends with 1, or 3 in a monitoring check (the help
    // ends with 1 whatever it is asked beside).
    if (e.code != 1 && !(e.code == 3 && settings.plugin_output)) abort();
  }
  return 0;
}
