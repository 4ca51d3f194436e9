#include "report/json.h"

#include <gtest/gtest.h>

#include <string>

TEST(Json, EscapesEveryUnitOutsidePrintableAscii) {
  struct {
    char16_t unit;
    const char* escaped;
  } const cases[] = {
      {u'A', "A"},         {u' ', " "},         {u'~', "~"},
      {u'"', "\\\""},      {u'\\', "\\\\"},     {u'/', "/"},
      {u'\n', "\\n"},      {u'\r', "\\r"},      {u'\t', "\\t"},
      {0x0000, "\\u0000"}, {0x001F, "\\u001f"}, {0x007F, "\\u007f"},
      {0x00E9, "\\u00e9"}, {0x30B7, "\\u30b7"}, {0xFF8A, "\\uff8a"},
      // Surrogates go one by one, so a pair stays a pair and a lone one
      // stays what the system gave.
      {0xD834, "\\ud834"}, {0xDD1E, "\\udd1e"}, {0xFFFF, "\\uffff"},
  };
  for (const auto& c : cases) {
    char out[7];
    const size_t n = json_escape_unit(c.unit, out);
    EXPECT_EQ(std::string(out, n), c.escaped) << static_cast<unsigned>(c.unit);
  }
}
