#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <string>

#include "text/SpeechCleanup.h"

using namespace wrenly;

namespace {

// Leading marks and spaces go (an ASCII colon is not one of them), Unicode spaces are trimmed,
// and a full stop carrying a combining accent is another character and stays.
TEST(SpeechCleanupTest, Tidies) {
  // clang-format off
  const char* rows[][2] = {
      {"好，，，。", "好。"}, {"好，！", "好！"}, {"你好 ，世界", "你好，世界"}, {"好 , 世界 !", "好, 世界!"},
      {"a\r\nb\rc\n\rd", "a\nb\nc\n\nd"}, {"a \t  b", "a b"}, {"a  \n\n\n\n  b", "a\n\nb"},
      {"，。！？、；：,.!? 你好", "你好"}, {": x", ": x"}, {"\u3000\u00a0你好\u2028", "你好"},
      {".\u0301abc", ".\u0301abc"}, {"\n\n \n", ""}};
  // clang-format on
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(SpeechCleanup::tidy(input), expected) << input;
  }
}

// Two numbered lines (ending at LF, CR LF or CR) are already a list; numbers with a decimal
// point or a time are not list markers.
TEST(SpeechCleanupTest, FormatsLists) {
  // clang-format off
  const char* rows[][2] = {
      {"我有三點：第一點買菜，第二點煮飯，第三點洗碗。", "我有三點\n1. 買菜\n2. 煮飯\n3. 洗碗"},
      {"要做兩件事，一、買菜，二、煮飯。", "要做兩件事\n1. 買菜\n2. 煮飯"},
      {"第一项：买菜；第二项：煮饭", "1. 买菜\n2. 煮饭"}, {"1．蘋果 2．橙", "1. 蘋果\n2. 橙"},
      {"1、買菜 2、煮飯", "1. 買菜\n2. 煮飯"}, {"Plan: 1. eggs, 2. milk.", "Plan\n1. eggs\n2. milk"},
      {"10. ten 11. eleven", "1. ten\n2. eleven"}, {"  hello world \n", "hello world"},
      {"第一點買菜", "第一點買菜"}, {"第一第二", "第一第二"},
      {"1. a\r\n2. b", "1. a\r\n2. b"}, {"1. a\r2. b", "1. a\r2. b"},
      {"我有兩點：\r\n第一點買菜\r\n第二點煮飯", "我有兩點\n1. 買菜\n2. 煮飯"},
      {"Meet at 3.30 or 4.15", "Meet at 3.30 or 4.15"}, {"由 1．5 到 2．5", "由 1．5 到 2．5"},
      {"價錢 １.５ 同 ２.５", "價錢 １.５ 同 ２.５"}, {"Version 1.2.3 and 2.0.1", "Version 1.2.3 and 2.0.1"},
      {"從 1.5 升到 2.5： 1. 早上 2. 晚上", "從 1.5 升到 2.5\n1. 早上\n2. 晚上"}};
  // clang-format on
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(SpeechCleanup::formatList(input), expected) << input;
  }
  EXPECT_EQ(SpeechCleanup::split("a1b1c", "("), std::nullopt);  // a pattern that does not compile
  EXPECT_EQ(SpeechCleanup::split("1 1 x", "1"), std::nullopt);  // too few items
}

TEST(SpeechCleanupTest, MalformedInputBecomesReplacementCharacters) {
  // Valid UTF-8 comes back from a round trip through UTF-16 unchanged.
  auto valid = [](const std::string& s) {
    std::string back;
    return icu::UnicodeString::fromUTF8(s).toUTF8String(back) == s;
  };
  for (const std::string input :
       {"\xff", "1. a \xc3 2. b", "abc\xe4\xb8", "\xed\xa0\x80 第一\x80買菜第二\xc0\xaf煮飯"}) {
    EXPECT_TRUE(valid(SpeechCleanup::tidy(input))) << input;
    EXPECT_TRUE(valid(SpeechCleanup::formatList(input))) << input;
  }
  EXPECT_EQ(SpeechCleanup::formatList("1. a \xc3 2. b"), "1. a \uFFFD\n2. b");
  EXPECT_EQ(SpeechCleanup::tidy(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
