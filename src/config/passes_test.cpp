#include "config/passes.h"

#include <gtest/gtest.h>

#include <string>

TEST(ConfigPasses, SwitchLines) {
  struct {
    const char* line;
    unsigned char after;  // the switch character afterwards, starting at "/"
  } const cases[] = {
      {"switch=-", '-'},
      {"switch = -x", '-'},       // blanks after "=" skipped, first byte only
      {"switch=\t\v -", '-'},
      {"Switch=-", '/'},          // letter case counts
      {"SWITCH=-", '/'},
      {"switchchar=+", '+'},      // only the first six bytes are compared
      {"switch -", '/'},          // no "="
      {"switch=", '\0'},          // nothing left: NUL
      {"switch=   ", '\0'},
      {"switch==", '='},
      {"switch=\x83\x40", 0x83},  // any byte, a lead byte too
      {"/v", '/'},
      {" switch=-", '/'},         // the reader has trimmed the line already
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    unsigned char switch_char = '/';
    take_switch_line(&line[0], &switch_char);
    EXPECT_EQ(switch_char, c.after) << c.line;
  }
}
