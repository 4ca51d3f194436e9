#include "console/pager.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ReportPager, ScreenLinesAreEightyBytes) {
  // Forty double-byte characters fill 80 columns; their line end opens the
  // next screen line.
  const char* kJapanese40 =
      "ああああああああああああああああああああ"
      "ああああああああああああああああああああ\n";
  struct {
    int bytes;
    int lines;
  } const cases[] = {
      {0, 0},   {1, 1},   {2, 1},   {79, 1},  {80, 1},
      {81, 2},  {160, 2}, {161, 3}, {static_cast<int>(strlen(kJapanese40)), 2},
  };
  for (const auto& c : cases) EXPECT_EQ(screen_lines(c.bytes), c.lines) << c.bytes;
}

TEST(ReportPager, PageRowsLeaveRoomForThePrompt) {
  EXPECT_EQ(page_rows_for(25), 23);
  EXPECT_EQ(page_rows_for(50), 48);
  EXPECT_EQ(page_rows_for(3), 1);
  EXPECT_EQ(page_rows_for(2), 0);  // too small: no paging
  EXPECT_EQ(page_rows_for(1), -1);
}
