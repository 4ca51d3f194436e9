#include "report/history_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const uint64_t kMax = UINT64_MAX;

const char kLine[] = "2026-12-10T03:15:00Z,C:,1C2D3E4F,10737418240,1073741824,1000\r\n";

// kLine with field i (0 to 5) replaced by `text`, or with `text` added as
// a seventh field when i is 6.
std::string line_with(int i, const std::string& text) {
  std::string fields[7] = {"2026-12-10T03:15:00Z", "C:", "1C2D3E4F", "10737418240",
                           "1073741824", "1000"};
  fields[i] = text;
  std::string line = fields[0];
  for (int k = 1; k < (i == 6 ? 7 : 6); ++k) line += "," + fields[k];
  return line + "\r\n";
}

bool parse(const std::string& line, HistoryEntry* e, std::string* name) {
  std::string buffer(line.size(), 'x');
  if (!parse_history_line(line.data(), line.size(), e, &buffer[0], buffer.size())) return false;
  *name = buffer.substr(0, e->drive_length);
  EXPECT_EQ(e->drive, buffer.data());
  EXPECT_EQ(buffer[e->drive_length], '\0');
  return true;
}

std::string format(const HistoryEntry& e) {
  std::string out(kHistoryLineRoom + 2 * e.drive_length, '\0');
  out.resize(format_history_line(e, &out[0], out.size()));
  return out;
}

HistoryEntry entry(int64_t time, const std::string& name, uint32_t serial, uint64_t total,
                   uint64_t free, uint64_t caller_free) {
  return HistoryEntry{time, name.data(), name.size(), serial, total, free, caller_free};
}

}  // namespace

TEST(HistoryLine, UtcBothWays) {
  struct {
    int64_t time;
    const char* text;
  } const cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {1796872500, "2026-12-10T03:15:00Z"},
      {1798761599, "2026-12-31T23:59:59Z"},
      {1798761600, "2027-01-01T00:00:00Z"},
      {951782400, "2000-02-29T00:00:00Z"},   // 2000 is a leap year
      {1835438400, "2028-02-29T12:00:00Z"},
      {4107456000, "2100-02-28T00:00:00Z"},  // 2100 is not
      {4107542400, "2100-03-01T00:00:00Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
  };
  char out[21];
  for (const auto& c : cases) {
    EXPECT_TRUE(format_utc(c.time, out));
    EXPECT_STREQ(out, c.text);
    int64_t time = -1;
    EXPECT_TRUE(parse_utc(c.text, 20, &time)) << c.text;
    EXPECT_EQ(time, c.time) << c.text;
  }
  // Outside the years a line holds, the nearest end of them.
  const int64_t outside[] = {-1, INT64_MIN, 253402300800, INT64_MAX};
  for (int64_t time : outside) {
    EXPECT_FALSE(format_utc(time, out)) << time;
    EXPECT_STREQ(out, time < 0 ? "1970-01-01T00:00:00Z" : "9999-12-31T23:59:59Z");
  }
}

TEST(HistoryLine, UtcAgreesWithCountingDaysOneByOne) {
  const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int year = 1970, month = 1, day = 1;
  char expected[32], out[21];
  // Through 2400, past three centuries without a leap day and one with.
  for (int64_t days = 0; year <= 2400; ++days) {
    // A second before midnight, so that the time of day is checked too.
    snprintf(expected, sizeof expected, "%04d-%02d-%02dT23:59:59Z", year, month, day);
    const int64_t time = days * 86400 + 86399;
    format_utc(time, out);
    int64_t back = -1;
    if (strcmp(out, expected) != 0 || !parse_utc(expected, 20, &back) || back != time) {
      ADD_FAILURE() << expected << " gave " << out << " and " << back;
      break;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (++day > kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0)) {
      day = 1;
      if (++month > 12) month = 1, ++year;
    }
  }
}

TEST(HistoryLine, WrittenLinesReadBack) {
  EXPECT_STREQ(kHistoryHeader, "time,drive,volume_serial,total_bytes,free_bytes,caller_free_bytes");
  // The line's exact form, the name quoted only where it must be.
  EXPECT_EQ(format(entry(1796872500, "C:", 0x1C2D3E4F, 10737418240, 1073741824, 1000)), kLine);
  EXPECT_EQ(format(entry(0, "a,b", 0, 0, 0, 0)),
            "1970-01-01T00:00:00Z,\"a,b\",00000000,0,0,0\r\n");
  EXPECT_EQ(format(entry(0, "say \"hi\"", 0xABCDEF01, kMax, 1, 0)),
            "1970-01-01T00:00:00Z,\"say \"\"hi\"\"\",ABCDEF01,18446744073709551615,1,0\r\n");

  const std::string names[] = {
      "C:",   "C:\\Data",           "\\\\srv\\share", "a,b",     "say \"hi\"", "\"",
      "\"\"", u8"\uD55C\uAE00 \u30C9\u30E9\u30A4\u30D6", "x\r\ny", u8"\U0001F600", " C: ",
  };
  const int64_t times[] = {0, 1796872500, 1835438400, 1798761599, 253402300799};
  const uint64_t counts[] = {0, 1, 10737418240, kMax};
  size_t k = 0;
  for (const std::string& name : names) {
    for (int64_t time : times) {
      const uint64_t total = counts[k % 4], free = counts[(k + 1) % 4], caller = counts[(k + 3) % 4];
      const uint32_t serial = static_cast<uint32_t>(k * 0x9E3779B9u);
      ++k;
      const std::string line = format(entry(time, name, serial, total, free, caller));
      HistoryEntry e = {};
      std::string got;
      ASSERT_TRUE(parse(line, &e, &got)) << line;
      EXPECT_EQ(got, name);
      EXPECT_EQ(e.time, time) << line;
      EXPECT_EQ(e.serial, serial) << line;
      EXPECT_EQ(e.total_bytes, total) << line;
      EXPECT_EQ(e.free_bytes, free) << line;
      EXPECT_EQ(e.caller_free_bytes, caller) << line;
      // A buffer a byte short takes nothing.
      std::string short_buffer(line.size() - 1, '\0');
      EXPECT_EQ(format_history_line(entry(time, name, serial, total, free, caller),
                                    &short_buffer[0], short_buffer.size()), 0u);
    }
  }
  // The room promised is all the longest line takes.
  const std::string quotes(10, '"');
  EXPECT_EQ(format(entry(253402300799, quotes, 0, kMax, kMax, kMax)).size(),
            kHistoryLineRoom + 2 * quotes.size());
  // What would not read back is not written.
  const struct {
    int64_t time;
    std::string name;
  } unwritable[] = {
      {0, ""},
      {0, "\x83\x66"},  // Shift-JIS, not UTF-8
      {0, std::string("C\0:", 3)},
      {-1, "C:"},
      {253402300800, "C:"},
  };
  for (const auto& u : unwritable) EXPECT_EQ(format(entry(u.time, u.name, 0, 0, 0, 0)), "") << u.time;
}

TEST(HistoryLine, AnyFieldMayBeQuoted) {
  HistoryEntry e;
  std::string name;
  ASSERT_TRUE(parse("\"2026-12-10T03:15:00Z\",\"C:\",\"1C2D3E4F\",\"1\",\"0\",\"7\"\r\n", &e,
                    &name));
  EXPECT_EQ(name, "C:");
  EXPECT_EQ(e.time, 1796872500);
  EXPECT_EQ(e.caller_free_bytes, 7u);
}

TEST(HistoryLine, RefusesAnythingButAWholeLine) {
  std::vector<std::string> refused = {
      "", "\r\n", std::string(kHistoryHeader) + "\r\n",
      std::string(kLine) + "\r\n",                      // two line ends
      line_with(5, "1000\r"), line_with(5, "1000\n"),   // a line end of one byte
      line_with(5, "1000\r\nx"),
  };
  // Cut anywhere: every line end is lost with it.
  for (size_t n = 0; n + 1 < sizeof kLine - 1; ++n) refused.push_back(std::string(kLine, n));
  const struct {
    int field;
    const char* text;
  } faults[] = {
      // Times that are no time, or not in this form.
      {0, "2026-02-30T00:00:00Z"}, {0, "2027-02-29T00:00:00Z"}, {0, "2100-02-29T00:00:00Z"},
      {0, "2026-13-01T00:00:00Z"}, {0, "2026-00-10T00:00:00Z"}, {0, "2026-12-00T00:00:00Z"},
      {0, "2026-12-32T00:00:00Z"}, {0, "2026-12-10T25:00:00Z"}, {0, "2026-12-10T24:00:00Z"},
      {0, "2026-12-10T23:60:00Z"}, {0, "2026-12-10T23:59:60Z"}, {0, "1969-12-31T23:59:59Z"},
      {0, "2026-12-10t03:15:00z"}, {0, "2026-12-10 03:15:00Z"}, {0, "2026-12-10T03:15:00"},
      {0, "2026-12-10T03:15:00+09:00"}, {0, "2026/12/10T03:15:00Z"}, {0, "+026-12-10T03:15:00Z"},
      {0, "2026-12-10T03:15:0Z"}, {0, ""},
      // Names: none, not UTF-8, unquoted line ends and quotes, bad quoting.
      {1, ""}, {1, "\"\""}, {1, "\x83\x66\x81\x5B"}, {1, "C\r:"}, {1, "C\n:"}, {1, "C\":"},
      {1, "\"C:"}, {1, "\"C:\"x"}, {1, "\"a\"b\""}, {1, "x\"C:\""},
      // Serials.
      {2, "1c2d3e4f"}, {2, "1C2D3E4"}, {2, "1C2D3E4F0"}, {2, "1C2D3E4G"}, {2, ""}, {2, "-1C2D3E4"},
      // Counts.
      {3, "10737418x40"}, {3, "18446744073709551616"}, {3, "99999999999999999999"},
      {3, "184467440737095516150"}, {4, "+1"}, {4, "-1"}, {4, "01"}, {4, ""}, {5, " 1"},
      {5, "1 "}, {5, "0x10"}, {5, "1e3"}, {5, "\"\"\"\""}, {5, "\"1\"\""},
      // A field too many: a value, or an empty one after a comma.
      {6, "0"}, {6, ""},
  };
  for (const auto& f : faults) refused.push_back(line_with(f.field, f.text));
  // A field missing.
  refused.push_back("2026-12-10T03:15:00Z,C:,1C2D3E4F,10737418240,1073741824\r\n");
  refused.push_back(std::string("2026-12-10T03:15:00Z,C\0:,1C2D3E4F,0,0,0\r\n", 40));

  for (const std::string& line : refused) {
    HistoryEntry e;
    std::string name;
    EXPECT_FALSE(parse(line, &e, &name)) << line;
  }
  // A name buffer holds the name and its NUL, or the line is refused.
  for (const char* name : {"C:", "a,\"b\""}) {
    const std::string line = format(entry(0, name, 0, 0, 0, 0));
    for (size_t size = 0; size <= strlen(name) + 1; ++size) {
      std::vector<char> buffer(size);  // on the heap, where a byte too many shows
      HistoryEntry e;
      EXPECT_EQ(parse_history_line(line.data(), line.size(), &e, buffer.data(), size),
                size == strlen(name) + 1) << line << size;
    }
  }
}
