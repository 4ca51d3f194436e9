#include "report/stops.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/settings.h"

namespace {

// The program's Shift-JIS bytes as UTF-16, by the host's own tables.
std::u16string from_cp932(const char* text) {
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  std::string in = text;
  std::string out(in.size() * 2 + 2, '\0');
  char* inp = &in[0];
  size_t in_left = in.size();
  char* outp = &out[0];
  size_t out_left = out.size();
  const size_t converted = iconv(cd, &inp, &in_left, &outp, &out_left);
  iconv_close(cd);
  EXPECT_NE(converted, static_cast<size_t>(-1)) << text;
  std::u16string units;
  for (size_t i = 0; i + 1 < out.size() - out_left; i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                          static_cast<unsigned char>(out[i + 1]) << 8));
  return units;
}

}  // namespace

// The document's messages are the text report's, word for word: the two
// spellings of each must never drift apart.
TEST(StopWords, UnicodeWordsSayWhatTheShiftJisWordsSay) {
  const Stop stops[] = {Stop::kBadName, Stop::kNoRootDir, Stop::kUnreadable,
                        Stop::kCapacityUnreadable, Stop::kNoAnswer, Stop::kNoMedium};
  for (Stop stop : stops) {
    const StopWords* words = stop_words(stop);
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(from_cp932(words->before), std::u16string(words->wide_before)) << words->code;
    EXPECT_EQ(from_cp932(words->after), std::u16string(words->wide_after)) << words->code;
  }
  EXPECT_EQ(stop_words(Stop::kNone), nullptr);
}

TEST(StopWords, MessagesNameTheDriveAndItsTime) {
  settings.time_limit = 45;
  struct {
    Stop stop;
    const char* root;
    const char* message;
  } const cases[] = {
      {Stop::kNoRootDir, "Q:\\", "ドライブ(Q:)を参照できません。"},
      {Stop::kUnreadable, "\\\\srv\\share\\", "ディスク(\\\\srv\\share)を参照できません。"},
      {Stop::kCapacityUnreadable, "C:\\", "ディスク(C:)の容量を参照できません。"},
      {Stop::kNoAnswer, "N:\\", "ディスク(N:)が45秒以内に応答しません。"},
  };
  for (const auto& c : cases) {
    char* message = stop_message(*stop_words(c.stop), c.root, root_name_length(c.root));
    EXPECT_STREQ(message, c.message);
    free(message);
  }
  settings = Settings{};
}
