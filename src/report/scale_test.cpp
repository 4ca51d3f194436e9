#include "report/scale.h"

#include <gtest/gtest.h>

TEST(ScaleBytes, UnitsAreCutNeverRounded) {
  struct {
    uint64_t count;
    uint64_t whole;
    uint32_t tenth;
    char unit;
  } const cases[] = {
      {0, 0, 0, 0},
      {1023, 1023, 0, 0},
      {1024, 1, 0, 'K'},
      {1536, 1, 5, 'K'},
      {1048575, 1023, 9, 'K'},
      {1048576, 1, 0, 'M'},
      {1073741823, 1023, 9, 'M'},
      {1073741824, 1, 0, 'G'},
      {2147188736, 1, 9, 'G'},  // 65527 clusters of 32 KiB: 1.9G, not 2.0G
      {1099511627776ull, 1024, 0, 'G'},  // no unit above G
      {0x100000000ull, 4, 0, 'G'},
      {0x1000003FFull, 4, 0, 'G'},  // upper bits set: G whatever the lower
      {0xFFFFFFFFFFFFFFFFull, 17179869183ull, 9, 'G'},  // 16 EiB: the whole is not cut
      {0x4000000000000000ull, 4294967296ull, 0, 'G'},   // 4 EiB: 2^32 G, not 0
  };
  for (const auto& c : cases) {
    ScaledBytes s = scale_bytes(c.count);
    EXPECT_EQ(s.whole, c.whole) << c.count;
    EXPECT_EQ(s.tenth, c.tenth) << c.count;
    EXPECT_EQ(s.unit, c.unit) << c.count;
  }
}

TEST(FormatDecimal, PlainDigits) {
  char out[21];
  EXPECT_STREQ(format_decimal(0, out), "0");
  EXPECT_STREQ(format_decimal(512, out), "512");
  EXPECT_STREQ(format_decimal(2147188736, out), "2147188736");
  EXPECT_STREQ(format_decimal(1099511627776ull, out), "1099511627776");
  EXPECT_STREQ(format_decimal(0xFFFFFFFFFFFFFFFFull, out), "18446744073709551615");
}
