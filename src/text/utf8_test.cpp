#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string utf8_of(const std::u16string& units) {
  std::string out(utf8_size(units.data(), units.size()), '\0');
  EXPECT_EQ(to_utf8(units.data(), units.size(), &out[0]), out.size());
  return out;
}

}  // namespace

TEST(Utf8, FromUtf16) {
  const std::u16string kLoneHigh(1, u'\xD83D'), kLoneLow(1, u'\xDE00');
  struct {
    std::u16string units;
    const char* want;
  } const cases[] = {
      {u"", ""},
      {u"C:\\Data", "C:\\Data"},
      {u"\u00E9\u07FF\u0800", u8"\u00E9\u07FF\u0800"},  // the ends of 2 and 3 bytes
      {u"\uD55C\uAD6D\u30AB\uFFFF", u8"\uD55C\uAD6D\u30AB\uFFFF"},  // Hangul, kana
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      // A surrogate without its other half, alone, at either end, or with
      // its half in the wrong order.
      {kLoneHigh, u8"\uFFFD"},
      {u"a" + kLoneLow + u"b", u8"a\uFFFDb"},
      {u"x" + kLoneHigh, u8"x\uFFFD"},
      {kLoneLow + kLoneHigh, u8"\uFFFD\uFFFD"},
      {kLoneHigh + u"\U0001F600", u8"\uFFFD\U0001F600"},
  };
  for (const auto& c : cases) {
    const std::string got = utf8_of(c.units);
    EXPECT_EQ(got, c.want);
    EXPECT_TRUE(utf8_valid(got.data(), got.size())) << c.want;
  }
  // A pair cut by the count: its second half lies beyond.
  char out[4] = {};
  EXPECT_EQ(to_utf8(u"\U0001F600", 1, out), 3u);
  EXPECT_EQ(std::string(out, 3), u8"\uFFFD");
}

TEST(Utf8, RefusesWhatIsNotUtf8) {
  const std::string valid[] = {"", "C:", u8"\u00E9\uD55C\U0001F600\U0010FFFF",
                               std::string(1, '\0')};
  for (const auto& v : valid) EXPECT_TRUE(utf8_valid(v.data(), v.size())) << v;
  const std::string invalid[] = {
      "\x80", "a\xBF",                  // a continuation byte alone
      "\xC0\x80", "\xC1\xBF",           // overlong forms
      "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",
      "\xED\xA0\x80", "\xED\xBF\xBF",   // surrogates
      "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF",  // past U+10FFFF
      "\xE3\x81", "\xF0\x9F\x98",       // cut short
      "\xE3\x81" "a", "\xC3\xC3\xA9",   // a byte that does not continue
      "\x83\x66\x81\x5B\x83\x5E",       // Shift-JIS
  };
  for (const auto& v : invalid) EXPECT_FALSE(utf8_valid(v.data(), v.size())) << v;
  // A character cut by the count, though its last byte lies beyond.
  EXPECT_FALSE(utf8_valid(u8"\u3042", 2));
}
