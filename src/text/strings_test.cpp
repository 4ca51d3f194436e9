#include "text/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The offset of a found position, or -1 for none.
long offset(const char* base, const char* found) { return found ? found - base : -1; }

}  // namespace

TEST(SjisStrings, FindChar) {
  struct {
    const char* text;
    unsigned char byte;
    long at;
  } const cases[] = {
      {"abc", 'b', 1},
      {"abc", 'x', -1},
      {"abc", '\0', 3},           // NUL finds the terminator
      {"\x83\x5C\\", '\\', 2},    // the 0x5C of ソ is passed over
      {"\x83\x5C", 0x83, 0},      // a lead byte itself can be found
      {"a\x81", '\0', -1},        // a lead byte before the end stops the search
      {"\x81%%", '%', 2},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(offset(text.c_str(), sjis_find_char(&text[0], c.byte)), c.at) << c.text;
  }
}

// A lead byte just before the terminator: the search must stop there.  The
// text sits in a heap block that ends exactly at its terminator, so that
// the sanitizer sees a look one byte further.
TEST(SjisStrings, FindCharStopsAtALeadByteBeforeTheEnd) {
  const char kText[] = "a\x81";
  for (unsigned char byte : {static_cast<unsigned char>('x'), static_cast<unsigned char>('\0')}) {
    char* text = static_cast<char*>(malloc(sizeof kText));
    memcpy(text, kText, sizeof kText);
    EXPECT_EQ(sjis_find_char(text, byte), nullptr) << static_cast<int>(byte);
    free(text);
  }
}

TEST(SjisStrings, FindText) {
  struct {
    const char* text;
    const char* pattern;
    long at;
  } const cases[] = {
      {"abc", "", 0},       {"abcbc", "bc", 1},   {"abc", "cd", -1},
      {"aab", "ab", 1},     {"\x83\x5C\\x", "\\x", 2}, {"%%A%", "%A%", 1},
      {"\x81", "\x81x", -1},  // a lead byte at the end: no read past it
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(offset(text.c_str(), sjis_find_text(&text[0], c.pattern)), c.at) << c.text;
  }
}

TEST(SjisStrings, ExtractBetween) {
  struct {
    const char* text;
    size_t capacity;
    const char* open;
    const char* close;
    long after;        // offset just after close, -1 for none
    const char* out;   // what out holds afterwards
  } const cases[] = {
      {"a%NAME%b", 10, "%", "%", 7, "NAME"},
      {"a%%b", 10, "%", "%", 3, ""},
      {"a%NAME", 10, "%", "%", -1, ""},          // no close: out emptied
      {"abc", 10, "%", "%", -1, ""},
      {"a%NAME%b", 4, "%", "%", -1, "(kept)"},   // too long: out kept
      {"a%NAM%b", 4, "%", "%", 6, "NAM"},
      {"key=value", 10, "", "=", 4, "key"},      // empty open: the start
      {"key=value", 10, "=", "", 9, "value"},    // empty close: the end
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    char out[16] = "(kept)";
    char* after = extract_between(&text[0], out, c.capacity, c.open, c.close);
    EXPECT_EQ(offset(text.c_str(), after), c.after) << c.text;
    EXPECT_STREQ(out, c.out) << c.text;
  }
  std::string text = "x%y%";
  EXPECT_EQ(offset(text.c_str(), extract_between(&text[0], nullptr, 4, "%", "%")), 4);
}

TEST(SjisStrings, ReplaceAndInsert) {
  char text[32] = "a%B%c";
  char* after = replace_first(text, "%B%", "long value");
  EXPECT_STREQ(text, "along valuec");
  EXPECT_EQ(after - text, 11);
  after = replace_first(text, "long ", "");
  EXPECT_STREQ(text, "avaluec");
  EXPECT_EQ(after - text, 1);
  EXPECT_EQ(replace_first(text, "zz", "y"), nullptr);

  char name[16] = "NAME";
  EXPECT_EQ(insert_text(name, 0, "%") - name, 1);
  EXPECT_STREQ(name, "%NAME");
  EXPECT_EQ(insert_text(name, 9, "x"), name);  // past the end: unchanged
  EXPECT_EQ(insert_text(name, 2, ""), name);
  EXPECT_STREQ(name, "%NAME");
  EXPECT_EQ(insert_text(name, 5, "%") - name, 6);
  EXPECT_STREQ(name, "%NAME%");
}

TEST(SjisStrings, TrimAndWhiteSpaceKind) {
  char text[16] = " \t\v\f\r\n-x ";
  EXPECT_STREQ(trim_left(text), "-x ");
  char blank[4] = "  ";
  EXPECT_STREQ(trim_left(blank), "");

  struct {
    const char* text;
    int kind;
  } const cases[] = {
      {"/v", 0}, {"", 0}, {"/v ", 1}, {"/v \t", 1}, {"/v /s", 2}, {" /v", 2}, {"\x81\x40", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(whitespace_kind(c.text), c.kind) << c.text;
}

TEST(SjisStrings, CopyBoundedAndDup) {
  char target[8];
  copy_bounded(target, "abcdef", 3);
  EXPECT_STREQ(target, "abc");
  copy_bounded(target, "ab", 5);
  EXPECT_STREQ(target, "ab");
  char* copy = dup_string("text");
  EXPECT_STREQ(copy, "text");
  free(copy);
  EXPECT_EQ(dup_string(nullptr), nullptr);
}

TEST(SjisStrings, ShowableCopyNeverShowsHalfACharacter) {
  struct {
    const char* text;
    size_t n;
    const char* shown;
  } const cases[] = {
      {"C:", 2, "C:"},
      {"\x83:", 2, "?:"},                 // a lead byte before a byte that ends none
      {"\\\\srv\\\x95\\", 7, "\\\\srv\\?"},  // cut after its lead byte
      {"\x95\x5C", 2, "\x95\x5C"},        // whole: 0x5C is its second byte
      {"\x81", 1, "?"},
      {"/v\x81 /s", 6, "/v? /s"},         // the blank stays a blank
      {"\xB1\x82\xA0", 3, "\xB1\x82\xA0"},  // half-width kana, then a whole pair
      {"\x82\x7F", 2, "?\x7F"},           // 0x7F closes no character
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    char out[16];
    copy_showable(out, c.text, c.n);
    EXPECT_STREQ(out, c.shown) << c.text;
  }
}
