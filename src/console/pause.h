// The pause prompt: a paced stop that waits for one key.
#ifndef VOLSURVEY_CONSOLE_PAUSE_H_
#define VOLSURVEY_CONSOLE_PAUSE_H_

#include <cstdint>

// Keeps prompts at least a given time apart, so that a key held down or
// typed ahead cannot race through pages unseen.
class PaceTimer {
 public:
  // Takes a mark now, without waiting.
  static const uint32_t kMarkNow = 0xFFFFFFFF;

  // Waits until more than `ms` milliseconds have passed since the last mark
  // (the first use waits the full time from now), then marks.
  void pace(uint32_t ms);

  int first_use = 1;
  uint32_t last_tick = 0;
};

extern PaceTimer report_timer;
extern PaceTimer help_timer;

// What an answer at the prompt means.
enum class KeyClass { kContinue, kAll, kQuit };

// The key read_key returns when no key can be read at all.
const int kNoKey = -1;

KeyClass classify_key(int key);

// Drops pending input, then returns the character (0-255) of the first key
// event, press or release; kNoKey when the console gives none.
int read_key();

// Shows `prompt` no sooner than 500 ms after the timer's last mark, waits
// for a key, blanks the prompt line and returns the key.
int pause_prompt(PaceTimer& timer, const char* prompt);

#endif  // VOLSURVEY_CONSOLE_PAUSE_H_
