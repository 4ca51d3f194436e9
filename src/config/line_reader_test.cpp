#include "config/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct Line {
  int result;
  std::string text;
  LineEnd line_end;  // the kind recorded after this call
};

// Reads `bytes` to its end the way a pass does; the buffer is `size` bytes.
std::vector<Line> read_all(const std::string& bytes, size_t size = kConfigLineSize) {
  std::string data = bytes;
  FILE* f = fmemopen(data.empty() ? nullptr : &data[0], data.size(), "rb");
  if (data.empty()) f = fopen("/dev/null", "rb");
  std::vector<Line> lines;
  std::vector<char> buffer(size);
  LineEnd line_end = kLineEndNone;
  for (int guard = 0; guard < 100; ++guard) {
    int result = read_config_line(buffer.data(), size, f, &line_end);
    lines.push_back({result, std::string(buffer.data()), line_end});
    if (result != kLineRead) break;
  }
  fclose(f);
  return lines;
}

void expect_lines(const std::string& bytes, const std::vector<Line>& want) {
  std::vector<Line> got = read_all(bytes);
  ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(bytes);
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].result, want[i].result) << testing::PrintToString(bytes) << " line " << i;
    EXPECT_EQ(got[i].text, want[i].text) << testing::PrintToString(bytes) << " line " << i;
    EXPECT_EQ(got[i].line_end, want[i].line_end) << testing::PrintToString(bytes) << " line " << i;
  }
}

const int kOk = kLineRead, kEnd = kEndOfFile, kBin = kBinaryData;
const LineEnd kNone = kLineEndNone, kLf = kLineEndLf, kCr = kLineEndCr, kCrLf = kLineEndCrLf;

}  // namespace

TEST(LineReader, LineEnds) {
  expect_lines("", {{kEnd, "", kNone}});
  expect_lines("/v", {{kOk, "/v", kNone}, {kEnd, "", kNone}});
  expect_lines("/v\n/s\n", {{kOk, "/v", kLf}, {kOk, "/s", kLf}, {kEnd, "", kLf}});
  expect_lines("/v\r\n/s", {{kOk, "/v", kCrLf}, {kOk, "/s", kCrLf}, {kEnd, "", kCrLf}});
  expect_lines("/v\r/s\r", {{kOk, "/v", kCr}, {kOk, "/s", kCr}, {kEnd, "", kCr}});
  // CR CR LF is two line ends: first a lone CR, then CR LF.
  expect_lines("a\r\r\nb", {{kOk, "a", kCr}, {kOk, "", kCrLf}, {kOk, "b", kCrLf}, {kEnd, "", kCrLf}});
  // A CR as the very last byte is a lone CR.
  expect_lines("a\r", {{kOk, "a", kCr}, {kEnd, "", kCr}});
  expect_lines("\n\n", {{kOk, "", kLf}, {kOk, "", kLf}, {kEnd, "", kLf}});
}

TEST(LineReader, CtrlZ) {
  expect_lines("/v\r\n\x1A", {{kOk, "/v", kCrLf}, {kEnd, "", kCrLf}});
  expect_lines("/v\x1A", {{kOk, "/v", kNone}, {kEnd, "", kNone}});
  expect_lines("\x1A", {{kEnd, "", kNone}});
  expect_lines("/v\r\n\x1A\r\n", {{kOk, "/v", kCrLf}, {kBin, "", kCrLf}});
  expect_lines("/v\x1A\n", {{kBin, "/v", kNone}});
  expect_lines("\x1A\x1A", {{kBin, "", kNone}});
}

TEST(LineReader, CommentsAndBlanks) {
  expect_lines("   /v   # remark\n", {{kOk, "/v", kLf}, {kEnd, "", kLf}});
  expect_lines("/p;/v", {{kOk, "/p", kNone}, {kEnd, "", kNone}});
  expect_lines("# only a comment\n", {{kOk, "", kLf}, {kEnd, "", kLf}});
  expect_lines(" \t\v\f \n", {{kOk, "", kLf}, {kEnd, "", kLf}});
  expect_lines("  \t", {{kEnd, "", kNone}});  // blanks then the end: no line
  expect_lines("/v \t/s\t\n", {{kOk, "/v \t/s", kLf}, {kEnd, "", kLf}});
  // The full-width number sign 0x81 0x94 is text.
  expect_lines("\x81\x94/v", {{kOk, "\x81\x94/v", kNone}, {kEnd, "", kNone}});
  // BEL, BS and ESC are ordinary characters.
  expect_lines("\a\b\x1B", {{kOk, "\a\b\x1B", kNone}, {kEnd, "", kNone}});
}

TEST(LineReader, BinaryBytes) {
  for (int c = 0; c < 256; ++c) {
    bool binary = (c >= 1 && c <= 6) || (c >= 0x0E && c <= 0x1A) || (c >= 0x1C && c <= 0x1F) ||
                  c == 0x7F || c == 0xFF;
    EXPECT_EQ(is_binary_byte(c), binary) << c;
  }
  expect_lines("/v\x7F", {{kBin, "/v", kNone}});
  expect_lines("\xFF\xFE/\0v\0"s, {{kBin, "", kNone}});  // UTF-16
  expect_lines("/v # \x01\n/s", {{kBin, "/v ", kNone}});  // inside a comment too
  expect_lines("  \x05", {{kBin, "", kNone}});
  // A UTF-8 byte-order mark is text at the start of the first line.
  expect_lines("\xEF\xBB\xBF/v", {{kOk, "\xEF\xBB\xBF/v", kNone}, {kEnd, "", kNone}});
}

TEST(LineReader, NulEndsTheText) {
  expect_lines("/v\0/s\n"s, {{kOk, "/v", kLf}, {kEnd, "", kLf}});
  expect_lines("\0/v\n"s, {{kOk, "", kLf}, {kEnd, "", kLf}});
}

TEST(LineReader, LongLinesAreCut) {
  std::string long_line(10300, 'x');
  std::vector<Line> got = read_all(long_line + "\n/v");
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].text, std::string(10240, 'x'));
  EXPECT_EQ(got[1].text, "/v");
  // A binary byte after the cut is still found.
  got = read_all(long_line + "\x01");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].result, kBin);
  EXPECT_EQ(got[0].text, std::string(10240, 'x'));
  // Trailing blanks are removed from what was kept.
  got = read_all("/v" + std::string(20, ' ') + "x", 8);
  EXPECT_EQ(got[0].text, "/v");
}
