#include "console/pause.h"

#include <cstring>

#include "console/output.h"
#include "platform/platform.h"

PaceTimer report_timer;
PaceTimer help_timer;

void PaceTimer::pace(uint32_t ms) {
  if (ms == kMarkNow) {
    last_tick = plat_tick_count();
    first_use = 0;
    return;
  }
  if (first_use) {
    last_tick = plat_tick_count();
    first_use = 0;
  }
  // Unsigned subtraction keeps the elapsed time right across the wrap of
  // the tick count past zero.
  while (static_cast<uint32_t>(plat_tick_count() - last_tick) <= ms) plat_sleep(10);
  last_tick = plat_tick_count();
}

KeyClass classify_key(int key) {
  switch (key) {
    case 0x1B:  // ESC
    case 'Q':
    case 'q':
    case 0xC0:  // half-width katakana TA: the Q key in kana mode
      return KeyClass::kQuit;
    case 'A':
    case 'a':
    case 0xC1:  // half-width katakana TI: the A key in kana mode
    case kNoKey:  // nobody can answer: go on without stopping again
      return KeyClass::kAll;
    default:
      return KeyClass::kContinue;
  }
}

int read_key() {
  plat_flush_console_input();
  for (;;) {
    bool is_key_event = false;
    unsigned char character = 0;
    if (!plat_read_console_input(&is_key_event, &character)) return kNoKey;
    if (is_key_event) return character;
  }
}

int pause_prompt(PaceTimer& timer, const char* prompt) {
  timer.pace(500);
  out_puts(prompt);
  int key = read_key();
  timer.pace(PaceTimer::kMarkNow);
  // Blank the prompt so that the next output overwrites its line.
  out_write("\r", 1);
  for (size_t i = strlen(prompt); i > 0; --i) out_write(" ", 1);
  out_write("\r", 1);
  return key;
}
