#include "driver/args.h"

#include <gtest/gtest.h>

#include "driver/settings.h"

TEST(Arguments, OptionOrDrive) {
  struct {
    unsigned char switch_char;
    const char* argument;
    bool option;
  } const cases[] = {
      {'/', "/v", true},  {'/', "-v", false}, {'-', "-v", true},
      {'-', "/v", true},  {'/', "c", false},  {'/', "\\\\srv\\share", false},
      {'/', "", false},   {'\0', "", true},   {0x83, "\x83v", true},
  };
  for (const auto& c : cases) {
    settings = Settings{};
    settings.switch_char = c.switch_char;
    EXPECT_EQ(is_option_argument(c.argument), c.option) << c.argument;
  }
  settings = Settings{};
}

TEST(Arguments, HelpRequests) {
  struct {
    const char* option;
    bool help;
  } const cases[] = {
      {"/?", true},     {"/?x", true},   {"-?", true},     {"/help", true},
      {"/HELP", true},  {"/Help", true}, {"/helpme", false}, {"/he", false},
      {"/v/?", false},  {"/", false},    {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_help_request(c.option), c.help) << c.option;
}
