#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

std::string narrowed(const std::wstring& text) {
  char* out = narrow_text(kCodec, text.data(), text.size());
  std::string result = out ? out : "<null>";
  free(out);
  return result;
}

std::wstring widened(const WideName* source, const char* text) {
  wchar_t* out = widen_from(kCodec, source, text);
  std::wstring result = out ? out : L"<null>";
  free(out);
  return result;
}

// A text handed to the program: its Shift-JIS form in a buffer of its own,
// with its UTF-16 kept as its source.
struct HandedOut {
  explicit HandedOut(const std::wstring& wide) : text(narrowed(wide)) {
    EXPECT_TRUE(keep_source(text.c_str(), wide.data(), wide.size()));
  }
  std::string text;
};

class WideTextTest : public ::testing::Test {
 protected:
  void TearDown() override { forget_sources(); }
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

TEST_F(WideTextTest, NamesBuiltFromASourceReachTheSystemAsWritten) {
  // The name the program builds from a text it was given: a drive root from
  // an argument, the configuration file from the program's own path.
  const struct {
    std::wstring source;
    const char* built;
    std::wstring expected;
  } cases[] = {
      // A share argument with a path below the share: the path is dropped.
      {L"\\\\srv\\\xBB38\xC11C\\sub", "\\\\srv\\??\\", L"\\\\srv\\\xBB38\xC11C\\"},
      // Without a final backslash: one is added.
      {L"\\\\srv\\\xD55C\xAE00", "\\\\srv\\??\\", L"\\\\srv\\\xD55C\xAE00\\"},
      {L"Z:\\tmp\\Jos\xE9\\volsurvey.exe", "Z:\\tmp\\Jos?\\volsurvey.cfg",
       L"Z:\\tmp\\Jos\xE9\\volsurvey.cfg"},
      {L"C:\\\xD55C\\\xAE00.exe", "C:\\?\\?.cfg", L"C:\\\xD55C\\\xAE00.cfg"},
      // ソ ends in a 0x5C byte; it is matched as a whole character.
      {L"C:\\\x30BD\xE9\\v.exe", "C:\\\x83\x5C?\\v.cfg", L"C:\\\x30BD\xE9\\v.cfg"},
      // A "?" the user typed is a "?", one Shift-JIS lacks its character.
      {L"\\\\srv\\?\xE9", "\\\\srv\\??\\", L"\\\\srv\\?\xE9\\"},
      // A drive root from its upper-cased first letter parts at once.
      {L"a:\\\xE9", "A:\\", L"A:\\"},
      {L"\xD55C:", "?:\\", L"\xD55C:\\"},
      // Beyond the source, or away from it, the text converts as it stands.
      {L"C:\\x", "C:\\x\\\x83\x66", L"C:\\x\\\x30C7"},
      {L"Z:\\Jos\xE9", "Z:\\Jox", L"Z:\\Jox"},
      {L"", "C:\\", L"C:\\"},
  };
  for (const auto& c : cases) {
    WideName source = {c.source.data(), c.source.size()};
    EXPECT_EQ(widened(&source, c.built), c.expected) << c.built;
  }
  EXPECT_EQ(widened(nullptr, "Z:\\Jos?\\v.cfg"), L"Z:\\Jos?\\v.cfg");
  EXPECT_EQ(widened(nullptr, ""), L"");
}

TEST_F(WideTextTest, TextsWithTheSameFormKeepTheirOwnSources) {
  // Two share arguments of the same "?" form; an argument and the current
  // directory of the same form; accented names on a Japanese system.
  const std::vector<std::vector<std::wstring>> groups = {
      {L"\\\\srv\\\xD55C\xAE00", L"\\\\srv\\\xBB38\xC11C\\sub"},
      {L"\\\\srv\\\xD55C\xAE00", L"\\\\srv\\\xBB38\xC11C\\dir"},
      {L"\\\\nas\\caf\xE9", L"\\\\nas\\caf\xE8"},
  };
  for (const auto& group : groups) {
    std::vector<std::unique_ptr<HandedOut>> texts;
    for (const std::wstring& wide : group) texts.emplace_back(new HandedOut(wide));
    for (size_t i = 0; i < group.size(); ++i) {
      // The root the program makes: the share, without what lies below it.
      std::string root = texts[i]->text.substr(0, texts[i]->text.find('\\', 6)) + "\\";
      std::wstring share = group[i].substr(0, group[i].find(L'\\', 6)) + L"\\";
      EXPECT_EQ(widened(source_of(texts[i]->text.c_str()), root.c_str()), share) << i;
    }
    forget_sources();
  }
}

TEST_F(WideTextTest, ASourceIsFoundByItsAddressOnly) {
  HandedOut argument(L"\\\\srv\\\xD55C");
  std::string same = argument.text;  // the same spelling elsewhere
  EXPECT_NE(source_of(argument.text.c_str()), nullptr);
  EXPECT_EQ(source_of(same.c_str()), nullptr);
  EXPECT_EQ(source_of(nullptr), nullptr);

  // A buffer given the current directory anew keeps only the new one; one
  // that now holds something else has no source at all.
  std::string buffer = "\\\\srv\\?";
  const std::wstring first = L"\\\\srv\\\xD55C", second = L"\\\\srv\\\xAE00";
  ASSERT_TRUE(keep_source(buffer.c_str(), first.data(), first.size()));
  ASSERT_TRUE(keep_source(buffer.c_str(), second.data(), second.size()));
  const WideName* source = source_of(buffer.c_str());
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(std::wstring(source->units, source->n), second);
  buffer[6] = 'x';
  EXPECT_EQ(source_of(buffer.c_str()), nullptr);
}

// Code page 932 as a system older than the no-best-fit flag answers it, and
// as one that knows the flag, or ignores it: é has only a best-fit form
// ("e"), Hangul none at all, ア an exact one.
struct FakeSystem {
  bool knows_flag;
  bool ignores_flag;
};
FakeSystem g_system;

int fake_to_bytes(const wchar_t* units, int n, char* out, int, bool no_best_fit,
                  bool* used_default, bool* refused) {
  *refused = false;
  if (no_best_fit && !g_system.knows_flag) {
    *refused = true;
    return 0;
  }
  const bool best_fit = !no_best_fit || g_system.ignores_flag;
  if (n != 1) return 0;
  switch (units[0]) {
    case 0x30A2: memcpy(out, "\x83\x41", 2); return 2;  // ア
    case 0xE9:
      if (best_fit) {
        out[0] = 'e';
        return 1;
      }
      break;
    default:
      if (units[0] < 0x80) {
        out[0] = static_cast<char>(units[0]);
        return 1;
      }
  }
  out[0] = '?';
  *used_default = true;
  return 1;
}

int fake_to_units(const char* bytes, int n, wchar_t* out, int) {
  if (n == 2 && memcmp(bytes, "\x83\x41", 2) == 0) {
    out[0] = 0x30A2;
    return 1;
  }
  for (int i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
  return n;
}

TEST(NarrowExact, NoLookAlikeWhateverTheSystemDoesWithTheFlag) {
  const CodePageCalls calls = {fake_to_bytes, fake_to_units};
  const FakeSystem systems[] = {{true, false}, {false, false}, {true, true}};
  const struct {
    wchar_t unit;
    std::string expected;
  } cases[] = {{0x30A2, "\x83\x41"}, {L'a', "a"}, {L'?', "?"}, {0xE9, ""}, {0xD55C, ""}};
  for (const FakeSystem& system : systems) {
    g_system = system;
    for (const auto& c : cases) {
      char out[2];
      size_t m = narrow_exact(calls, &c.unit, 1, out);
      EXPECT_EQ(std::string(out, m), c.expected)
          << "flag known " << system.knows_flag << ", ignored " << system.ignores_flag
          << ", U+" << std::hex << static_cast<unsigned>(c.unit);
    }
  }
}

// A system without code page 932: every request of it fails.
int no_932_to_bytes(const wchar_t*, int, char*, int, bool, bool* used_default, bool* refused) {
  *used_default = false;
  *refused = false;
  return 0;
}

int no_932_to_units(const char*, int, wchar_t*, int) { return 0; }

const CodePageCalls kNo932 = {no_932_to_bytes, no_932_to_units};

size_t no_932_narrow_char(const wchar_t* units, size_t n, char* out) {
  return narrow_exact(kNo932, units, n, out);
}

size_t no_932_widen(const char* bytes, size_t n, wchar_t* out) {
  return widen_exact(kNo932, bytes, n, out);
}

TEST_F(WideTextTest, WithoutCodePage932AsciiNeedsNoConversion) {
  const Codec no_932 = {no_932_narrow_char, no_932_widen};
  const struct {
    std::wstring text;
    std::string narrowed;
  } cases[] = {
      {L"/?", "/?"},
      {L"C:\\TOOLS\\volsurvey.exe", "C:\\TOOLS\\volsurvey.exe"},
      {L"PATH=C:\\WINNT;~", "PATH=C:\\WINNT;~"},
      {L"Z:\\\x30C7\x30FC\x30BF\\Caf\xE9", "Z:\\???\\Caf?"},
  };
  for (const auto& c : cases) {
    char* out = narrow_text(no_932, c.text.data(), c.text.size());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(out), c.narrowed);
    free(out);
  }
  // Names built from those texts still reach the system as written.
  const std::wstring program = L"Z:\\\x30C7\x30FC\x30BF\\volsurvey.exe";
  WideName source = {program.data(), program.size()};
  wchar_t* config = widen_from(no_932, &source, "Z:\\???\\volsurvey.cfg");
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(std::wstring(config), L"Z:\\\x30C7\x30FC\x30BF\\volsurvey.cfg");
  free(config);
  // What is not ASCII is left to the system, which cannot convert it.
  wchar_t units[4];
  EXPECT_EQ(widen_exact(kNo932, "\x83\x41", 2, units), 0u);
}

// Two ANSI code pages of the Windows 95 family: 1252, where every byte is a
// character but 0x81, and one of double-byte characters (as 936), whose
// lead bytes are 0x81-0xFE.  It converts the pairs listed, refuses a lead
// byte alone and one before 0x7F, and, as a system that cannot be told to
// refuse what it does not define, makes one stand-in of any other pair.
bool g_double_byte = false;

bool fake_lead_byte(unsigned char c) { return g_double_byte && c >= 0x81 && c != 0xFF; }

int fake_ansi_to_units(const char* bytes, int n, wchar_t* out, int) {
  const Mapping pairs[] = {
      {0x6570, "\xCA\xFD"},  // 数
      {0x636E, "\xBE\xDD"},  // 据
      {0x5E93, "\xBF\xE2"},  // 库
      {0xE9, "\xA8\xA6"},    // é
  };
  const unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (n == 1 && !fake_lead_byte(first) && first != 0x81) {
    out[0] = first;
    return 1;
  }
  if (n != 2 || bytes[1] == 0x7F) return 0;
  out[0] = 0x3013;  // 〓
  for (const Mapping& m : pairs) {
    if (memcmp(bytes, m.bytes, 2) == 0) out[0] = m.unit;
  }
  return 1;
}

TEST(WidenAnsi, EveryByteStaysInACharacterOfItsOwn) {
  const AnsiCalls calls = {fake_lead_byte, fake_ansi_to_units};
  const struct {
    bool double_byte;
    const char* text;
    size_t size;
    std::wstring expected;
  } cases[] = {
      {false, "Caf\xE9", 32, L"Caf\xE9"},
      {false, "Montr\xE9" "al", 32, L"Montr\xE9" L"al"},
      {false, "a\x81", 32, L"a\xFFFD"},
      {false, "Caf\xE9", 3, L"Ca"},
      {false, "", 32, L""},
      {true, "\xCA\xFD\xBE\xDD\xBF\xE2", 32, L"\x6570\x636E\x5E93"},
      {true, "Caf\xA8\xA6", 32, L"Caf\xE9"},
      // A lead byte at the end, or before a byte no character ends with.
      {true, "\xCA\xFD\xBF", 32, L"\x6570\xFFFD"},
      {true, "\xBF\"", 32, L"\xFFFD\""},
      {true, "\xBF\n", 32, L"\xFFFD\n"},
      {true, "\xBF\x7F", 32, L"\xFFFD\x7F"},
      // Cut after the last whole character that fits.
      {true, "\xCA\xFD\xBE\xDD", 2, L"\x6570"},
  };
  for (const auto& c : cases) {
    g_double_byte = c.double_byte;
    wchar_t out[32];
    widen_ansi(calls, c.text, out, c.size);
    EXPECT_EQ(std::wstring(out), c.expected) << c.text;
  }
}

}  // namespace
