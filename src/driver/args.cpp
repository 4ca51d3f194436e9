#include "driver/args.h"

#include "driver/settings.h"
#include "text/sjis.h"

bool starts_with_switch(const char* text, unsigned char switch_char) {
  unsigned char first = static_cast<unsigned char>(text[0]);
  return first == '/' || first == switch_char;
}

bool is_option_argument(const char* argument) {
  return starts_with_switch(argument, settings.switch_char);
}

bool is_help_request(const char* option) {
  // An empty option (switch character NUL) has no second byte to look at.
  if (option[0] == '\0') return false;
  return option[1] == '?' || equal_ignore_case(option + 1, "help");
}
