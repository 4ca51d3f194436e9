#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A small stand-in for code page 932: ASCII, a few katakana (ソ has the
// second byte 0x5C, a backslash) and the half-width ﾀ.  Everything else,
// é and Hangul among them, has no form.
struct Mapping {
  wchar_t unit;
  const char* bytes;
};
const Mapping kTable[] = {
    {0x30C7, "\x83\x66"},  // デ
    {0x30FC, "\x81\x5B"},  // ー
    {0x30BF, "\x83\x5E"},  // タ
    {0x30BD, "\x83\x5C"},  // ソ
    {0xFF80, "\xC0"},      // ﾀ
};

size_t fake_narrow_char(const wchar_t* units, size_t n, char* out) {
  if (n != 1) return 0;
  if (units[0] < 0x80) {
    out[0] = static_cast<char>(units[0]);
    return 1;
  }
  for (const Mapping& m : kTable) {
    if (m.unit == units[0]) {
      memcpy(out, m.bytes, strlen(m.bytes));
      return strlen(m.bytes);
    }
  }
  return 0;
}

size_t fake_widen(const char* bytes, size_t n, wchar_t* out) {
  size_t count = 0;
  for (size_t i = 0; i < n;) {
    bool found = false;
    for (const Mapping& m : kTable) {
      size_t k = strlen(m.bytes);
      if (k <= n - i && memcmp(bytes + i, m.bytes, k) == 0) {
        out[count++] = m.unit;
        i += k;
        found = true;
        break;
      }
    }
    if (!found) out[count++] = static_cast<unsigned char>(bytes[i++]);
  }
  return count;
}

const Codec kCodec = {fake_narrow_char, fake_widen};

std::string narrowed(const std::wstring& text, bool path = false) {
  char* out = path ? narrow_path(kCodec, text.data(), text.size())
                   : narrow_text(kCodec, text.data(), text.size());
  std::string result = out ? out : "<null>";
  free(out);
  return result;
}

std::wstring widened(const char* path) {
  wchar_t* out = widen_path(kCodec, path);
  std::wstring result = out ? out : L"<null>";
  free(out);
  return result;
}

class WideTextTest : public ::testing::Test {
 protected:
  void TearDown() override { forget_paths(); }
};

TEST_F(WideTextTest, NarrowsEachCharacterOrMarksItLost) {
  const struct {
    std::wstring text;
    std::string expected;
  } cases[] = {
      {L"\x30C7\x30FC\x30BF", "\x83\x66\x81\x5B\x83\x5E"},  // データ
      {L"Jos\xE9", "Jos?"},
      {L"\xD55C\xAE00", "??"},                  // 한글: two characters, two marks
      {std::wstring{L'a', 0xD83D, 0xDE00, L'b'}, "a?b"},  // one character beyond the BMP
      {std::wstring{L'a', 0xD83D, L'b'}, "a?b"},          // a lone high surrogate
      {std::wstring{L'a', 0xDE00}, "a?"},                 // a lone low surrogate
      {L"\xFF80", "\xC0"},
      {L"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(narrowed(c.text), c.expected);
}

TEST_F(WideTextTest, PathsBuiltFromALossyFormReachTheRealFile) {
  // The program's own path, then the configuration file the program builds
  // from its Shift-JIS form; the help shows the "?" forms.
  const struct {
    std::wstring remembered;
    const char* built;
    std::wstring expected;
  } cases[] = {
      {L"Z:\\tmp\\Jos\xE9\\volsurvey.exe", "Z:\\tmp\\Jos?\\volsurvey.cfg",
       L"Z:\\tmp\\Jos\xE9\\volsurvey.cfg"},
      {L"C:\\t\\\xD55C.exe", "C:\\t\\?.cfg", L"C:\\t\\\xD55C.cfg"},
      {L"C:\\\xD55C\\\xAE00.exe", "C:\\?\\?.cfg", L"C:\\\xD55C\\\xAE00.cfg"},
      // ソ ends in a 0x5C byte; it is matched as a whole character.
      {L"C:\\\x30BD\xE9\\v.exe", "C:\\\x83\x5C?\\v.cfg", L"C:\\\x30BD\xE9\\v.cfg"},
      // A share root from an argument: the path below it is dropped.
      {L"\\\\server\\\xAE00\\dir", "\\\\server\\?\\", L"\\\\server\\\xAE00\\"},
  };
  for (const auto& c : cases) {
    narrowed(c.remembered, true);
    EXPECT_EQ(widened(c.built), c.expected) << c.built;
    forget_paths();
  }
}

TEST_F(WideTextTest, TheLongestLossyMatchWins) {
  narrowed(L"C:\\\xE9", true);
  narrowed(L"C:\\\xE9\\\xFC.exe", true);
  EXPECT_EQ(widened("C:\\?\\?.cfg"), L"C:\\\xE9\\\xFC.cfg");
}

TEST_F(WideTextTest, OnlyLossyPathsAreRemembered) {
  // Neither a path that kept every character nor plain text is remembered:
  // a "?" of the program's own then reaches the system as "?".
  narrowed(L"C:\\x\\y.exe", true);
  narrowed(L"C:\\\xE9.exe");
  EXPECT_EQ(widened("C:\\?.cfg"), L"C:\\?.cfg");
  EXPECT_EQ(widened("C:\\x\\y.cfg"), L"C:\\x\\y.cfg");
}

TEST_F(WideTextTest, UnrelatedPathsConvertAsTheyStand) {
  narrowed(L"Z:\\Jos\xE9\\v.exe", true);
  EXPECT_EQ(widened("C:\\"), L"C:\\");
  EXPECT_EQ(widened("\x83\x66\x81\x5B\x83\x5E:\\"), L"\x30C7\x30FC\x30BF:\\");
  EXPECT_EQ(widened(""), L"");
  // A match must take in a lost character to count.
  EXPECT_EQ(widened("Z:\\Jox"), L"Z:\\Jox");
  forget_paths();
  EXPECT_EQ(widened("Z:\\Jos?\\v.cfg"), L"Z:\\Jos?\\v.cfg");
}

}  // namespace
