#include "report/history_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const uint64_t kMax = UINT64_MAX;
const char* const kFields[] = {"2026-12-10T03:15:00Z", "C:", "1C2D3E4F", "10737418240",
                               "1073741824", "1000"};
const char kLine[] = "2026-12-10T03:15:00Z,C:,1C2D3E4F,10737418240,1073741824,1000\r\n";

// kLine with field i replaced by `text`; i = 6 adds a seventh field.
std::string line_with(int i, const std::string& text) {
  std::string line;
  for (int k = 0; k < (i == 6 ? 7 : 6); ++k) {
    line += (k ? "," : "") + (k == i ? text : kFields[k]);
  }
  return line + "\r\n";
}

// The name read into a buffer of the line's size, which always suffices.
bool parse(const std::string& line, HistoryEntry* e, std::string* name) {
  std::string buffer(line.size(), 'x');
  if (!parse_history_line(line.data(), line.size(), e, &buffer[0], buffer.size())) return false;
  EXPECT_TRUE(e->drive == buffer.data() && buffer[e->drive_length] == '\0');
  *name = buffer.substr(0, e->drive_length);
  return true;
}

std::string format(int64_t time, const std::string& name, uint32_t serial, uint64_t total,
                   uint64_t free, uint64_t caller_free) {
  const HistoryEntry e{time, name.data(), name.size(), serial, total, free, caller_free};
  std::string out(kHistoryLineRoom + 2 * name.size(), '\0');
  out.resize(format_history_line(e, &out[0], out.size()));
  // A buffer a byte short takes nothing.
  if (!out.empty()) {
    EXPECT_EQ(format_history_line(e, &out[0], out.size() - 1), 0u);
  }
  return out;
}

}  // namespace

TEST(HistoryLine, UtcAgreesWithCountingDaysOneByOne) {
  // Through 2400, past three centuries without a leap day and one with, a
  // second before each midnight.
  const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int year = 1970, month = 1, day = 1;
  char expected[32], out[21];
  for (int64_t time = 86399; year <= 2400; time += 86400) {
    snprintf(expected, sizeof expected, "%04d-%02d-%02dT23:59:59Z", year, month, day);
    int64_t back = -1;
    if (!format_utc(time, out) || strcmp(out, expected) != 0 || !parse_utc(out, 20, &back) ||
        back != time) {
      ADD_FAILURE() << expected << " gave " << out << " and " << back;
      break;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (++day > kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0)) {
      day = 1;
      if (++month > 12) month = 1, ++year;
    }
  }
  // Outside the years a line holds: the nearest end of them.
  for (int64_t time : {int64_t{-1}, INT64_MIN, int64_t{253402300800}, INT64_MAX}) {
    EXPECT_FALSE(format_utc(time, out)) << time;
    EXPECT_STREQ(out, time < 0 ? "1970-01-01T00:00:00Z" : "9999-12-31T23:59:59Z");
  }
}

TEST(HistoryLine, WrittenLinesReadBack) {
  EXPECT_STREQ(kHistoryHeader, "time,drive,volume_serial,total_bytes,free_bytes,caller_free_bytes");
  // The exact form, the name quoted only where it must be.
  EXPECT_EQ(format(1796872500, "C:", 0x1C2D3E4F, 10737418240, 1073741824, 1000), kLine);
  EXPECT_EQ(format(0, "say \"hi\", \"", 0xABCDEF01, kMax, 1, 0),
            "1970-01-01T00:00:00Z,\"say \"\"hi\"\", \"\"\",ABCDEF01,18446744073709551615,1,0\r\n");
  // The room promised is all the longest line takes.
  EXPECT_EQ(format(253402300799, "\"\"\"\"\"\"", 0, kMax, kMax, kMax).size(),
            kHistoryLineRoom + 12);
  // What would not read back is not written.
  EXPECT_EQ(format(0, "", 0, 0, 0, 0), "");
  EXPECT_EQ(format(0, "\x83\x66", 0, 0, 0, 0), "");  // Shift-JIS
  EXPECT_EQ(format(0, std::string("C\0:", 3), 0, 0, 0, 0), "");
  EXPECT_EQ(format(-1, "C:", 0, 0, 0, 0), "");
  EXPECT_EQ(format(253402300800, "C:", 0, 0, 0, 0), "");

  const char* const names[] = {"C:", "C:\\Data", "\\\\srv\\share", "a,b", "\"", "x\r\ny",
                               u8"\uD55C\uAE00 \u30C9\u30E9\u30A4\u30D6 \U0001F600", " C: "};
  // The epoch, a leap day, a year's last second, the last of 9999.
  const int64_t times[] = {0, 1835438400, 1798761599, 253402300799};
  const uint64_t counts[] = {0, 1, 10737418240, kMax};
  uint32_t k = 0;
  for (const std::string name : names) {
    for (int64_t time : times) {
      const uint64_t total = counts[k % 4], free = counts[(k + 1) % 4];
      const uint64_t caller = counts[(k + 3) % 4];
      const uint32_t serial = ++k * 0x9E3779B9u;
      HistoryEntry e;
      std::string got;
      const std::string line = format(time, name, serial, total, free, caller);
      ASSERT_TRUE(parse(line, &e, &got)) << line;
      EXPECT_TRUE(got == name && e.time == time && e.serial == serial && e.total_bytes == total &&
                  e.free_bytes == free && e.caller_free_bytes == caller) << line;
    }
  }
  // RFC 4180 lets any field be quoted.
  HistoryEntry e;
  std::string name;
  ASSERT_TRUE(
      parse("\"2026-12-10T03:15:00Z\",\"C:\",\"1C2D3E4F\",\"1\",\"0\",\"7\"\r\n", &e, &name));
  EXPECT_TRUE(name == "C:" && e.time == 1796872500 && e.serial == 0x1C2D3E4F &&
              e.total_bytes == 1 && e.free_bytes == 0 && e.caller_free_bytes == 7);
}

TEST(HistoryLine, RefusesAnythingButAWholeLine) {
  std::vector<std::string> refused = {
      "", "\r\n", std::string(kHistoryHeader) + "\r\n", std::string(kLine) + "\r\n",
      line_with(5, "1000\r"), line_with(5, "1000\n"), line_with(5, "1000\r\nx"),
      "2026-12-10T03:15:00Z,C:,1C2D3E4F,10737418240,1073741824\r\n",  // a field missing
      std::string("2026-12-10T03:15:00Z,C\0:,1C2D3E4F,0,0,0\r\n", 40),
  };
  // Cut anywhere, as by a run that stopped short: the line end is lost.
  for (size_t n = 0; n + 1 < sizeof kLine - 1; ++n) refused.push_back(std::string(kLine, n));
  const struct {
    int field;
    const char* text;
  } faults[] = {
      {0, "2026-02-30T00:00:00Z"}, {0, "2027-02-29T00:00:00Z"}, {0, "2100-02-29T00:00:00Z"},
      {0, "2026-13-01T00:00:00Z"}, {0, "2026-00-10T00:00:00Z"}, {0, "2026-12-00T00:00:00Z"},
      {0, "2026-12-32T00:00:00Z"}, {0, "2026-12-10T25:00:00Z"}, {0, "2026-12-10T24:00:00Z"},
      {0, "2026-12-10T23:60:00Z"}, {0, "2026-12-10T23:59:60Z"}, {0, "1969-12-31T23:59:59Z"},
      {0, "2026-12-10t03:15:00z"}, {0, "2026-12-10 03:15:00Z"}, {0, "2026-12-10T03:15:00"},
      {0, "2026-12-10T03:15:00+09:00"}, {0, "2026/12/10T03:15:00Z"}, {0, "+026-12-10T03:15:00Z"},
      {0, "2026-12-10T03:15:0Z"}, {0, "0000-00-00T00:00:00Z"}, {0, ""},
      {1, ""}, {1, "\"\""}, {1, "\x83\x66\x81\x5B"}, {1, "C\r:"}, {1, "C\n:"}, {1, "C\":"},
      {1, "\"C:"}, {1, "\"C:\"x"}, {1, "\"a\"b\""}, {1, "x\"C:\""},
      {2, "1c2d3e4f"}, {2, "1C2D3E4"}, {2, "1C2D3E4F0"}, {2, "1C2D3E4G"}, {2, ""},
      {3, "10737418x40"}, {3, "18446744073709551616"}, {3, "99999999999999999999"},
      {3, "184467440737095516150"}, {4, "+1"}, {4, "-1"}, {4, "01"}, {4, ""}, {5, " 1"},
      {5, "1 "}, {5, "0x10"}, {5, "1e3"}, {5, "\"\"\"\""}, {5, "\"1\"\""},
      {6, "0"}, {6, ""},  // a field too many
  };
  for (const auto& f : faults) refused.push_back(line_with(f.field, f.text));
  for (const std::string& line : refused) {
    HistoryEntry e;
    std::string name;
    EXPECT_FALSE(parse(line, &e, &name)) << line;
  }
  // A name buffer holds the name and its NUL, or the line is refused.
  for (const char* name : {"C:", "a,\"b\""}) {
    const std::string line = format(0, name, 0, 0, 0, 0);
    for (size_t size = 0; size <= strlen(name) + 1; ++size) {
      std::vector<char> buffer(size);  // on the heap, where a byte too many shows
      HistoryEntry e;
      EXPECT_EQ(parse_history_line(line.data(), line.size(), &e, buffer.data(), size),
                size == strlen(name) + 1) << line << size;
    }
  }
}
