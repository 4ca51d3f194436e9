#include "text/sjis.h"

#include <gtest/gtest.h>

TEST(SjisBytes, LeadAndTrailRanges) {
  struct {
    unsigned byte;
    bool lead, trail;
  } const cases[] = {
      {0x00, false, false}, {0x3F, false, false}, {0x40, false, true},
      {0x5C, false, true},  {0x7E, false, true},  {0x7F, false, false},
      {0x80, false, true},  {0x81, true, true},   {0x9F, true, true},
      {0xA0, false, true},  {0xC0, false, true},  {0xDF, false, true},
      {0xE0, true, true},   {0xFC, true, true},   {0xFD, false, false},
      {0xFF, false, false}, {0x181, true, true},  // only the low eight bits count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_sjis_lead_byte(c.byte), c.lead) << std::hex << c.byte;
    EXPECT_EQ(is_sjis_trail_byte(c.byte), c.trail) << std::hex << c.byte;
  }
}

TEST(SjisBytes, WhiteSpaceIsExactlySixBytes) {
  int count = 0;
  for (unsigned c = 0; c < 256; ++c) {
    if (is_white_space(c)) {
      ++count;
      EXPECT_TRUE(c == 0x20 || (c >= 0x09 && c <= 0x0D)) << c;
    }
  }
  EXPECT_EQ(count, 6);
}

TEST(SjisBytes, UpperCaseFoldsAsciiOnly) {
  EXPECT_EQ(to_upper_ascii('a'), 'A');
  EXPECT_EQ(to_upper_ascii('z'), 'Z');
  EXPECT_EQ(to_upper_ascii('A'), 'A');
  EXPECT_EQ(to_upper_ascii('{'), '{');
  EXPECT_EQ(to_upper_ascii(0xE1), 0xE1);  // Latin-1 a-acute is no ASCII letter
  EXPECT_EQ(to_upper_ascii(0x82), 0x82);
}

TEST(SjisBytes, EqualIgnoreCaseNeedsBothTextsToEnd) {
  struct {
    const char* a;
    const char* b;
    bool equal;
  } const cases[] = {
      {"help", "help", true}, {"HELP", "help", true}, {"Help", "help", true},
      {"helpme", "help", false}, {"he", "help", false}, {"", "", true},
      {"", "help", false}, {"h\xC5lp", "h\xE5lp", false},
  };
  for (const auto& c : cases) EXPECT_EQ(equal_ignore_case(c.a, c.b), c.equal) << c.a;
}

TEST(SjisBytes, WholeCharactersLeaveOutAHalfCharacter) {
  const struct {
    const char* text;
    size_t n;
    size_t expected;
  } cases[] = {
      {"abc", 3, 3},
      {"a\x83\x5C", 3, 3},  // ソ, whose second byte is a backslash
      {"a\x83\x5C", 2, 1},  // its lead byte alone
      {"\x83\x83\x83", 3, 2},  // a lead byte as second byte belongs to the first
      {"\xC0\xC1", 2, 2},  // half-width katakana are single bytes
      {"", 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(whole_characters(c.text, c.n), c.expected) << c.text;
}
