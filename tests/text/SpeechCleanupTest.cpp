#include <gtest/gtest.h>

#include <string>

#include "text/SpeechCleanup.h"

using namespace wrenly;

namespace {

struct Row {
  std::string input;
  std::string expected;
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.input;
}

class TidyTest : public testing::TestWithParam<Row> {};

TEST_P(TidyTest, Tidies) {
  EXPECT_EQ(SpeechCleanup::tidy(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TidyTest,
    testing::Values(Row{"好，，，。", "好。"}, Row{"你好 ，世界", "你好，世界"}, Row{"", ""},
                    Row{"a\r\nb\rc\n\rd", "a\nb\nc\n\nd"}, Row{"a \t  b", "a b"},
                    Row{"a  \n\n\n\n  b", "a\n\nb"}, Row{"好，！", "好！"},
                    Row{"好 , 世界 !", "好, 世界!"},
                    // Leading marks and spaces go; an ASCII colon is not one of them.
                    Row{"，。！？、；：,.!? 你好", "你好"}, Row{": x", ": x"},
                    // Full-width and other Unicode spaces are trimmed.
                    Row{"\u3000\u00a0你好\u2028", "你好"},
                    // A full stop carrying a combining accent is another character and stays.
                    Row{".\u0301abc", ".\u0301abc"}, Row{"\n\n \n", ""}));

class FormatListTest : public testing::TestWithParam<Row> {};

TEST_P(FormatListTest, Formats) {
  EXPECT_EQ(SpeechCleanup::formatList(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, FormatListTest,
                         testing::Values(Row{"我有三點：第一點買菜，第二點煮飯，第三點洗碗。",
                                             "我有三點\n1. 買菜\n2. 煮飯\n3. 洗碗"},
                                         Row{"一、買菜 二、煮飯", "1. 買菜\n2. 煮飯"},
                                         Row{"1. apples 2. pears", "1. apples\n2. pears"},
                                         Row{"1. a\n2. b", "1. a\n2. b"},
                                         Row{"第一點買菜", "第一點買菜"},
                                         Row{"第一第二", "第一第二"}, Row{"", ""}));

INSTANTIATE_TEST_SUITE_P(
    Markers, FormatListTest,
    testing::Values(Row{"  hello world \n", "hello world"},
                    Row{"要做兩件事，一、買菜，二、煮飯。", "要做兩件事\n1. 買菜\n2. 煮飯"},
                    Row{"第一项：买菜；第二项：煮饭", "1. 买菜\n2. 煮饭"},
                    Row{"1．蘋果 2．橙", "1. 蘋果\n2. 橙"},
                    Row{"1、買菜 2、煮飯", "1. 買菜\n2. 煮飯"},
                    Row{"Plan: 1. eggs, 2. milk.", "Plan\n1. eggs\n2. milk"},
                    Row{"10. ten 11. eleven", "1. ten\n2. eleven"},
                    // Lines end at CR LF too: two numbered lines are already a list.
                    Row{"1. a\r\n2. b", "1. a\r\n2. b"}, Row{"1. a\r2. b", "1. a\r2. b"},
                    Row{"我有兩點：\r\n第一點買菜\r\n第二點煮飯", "我有兩點\n1. 買菜\n2. 煮飯"}));

// Numbers with a decimal point or a time are not list markers.
INSTANTIATE_TEST_SUITE_P(Decimals, FormatListTest,
                         testing::Values(Row{"從 1.5 升到 2.5", "從 1.5 升到 2.5"},
                                         Row{"Meet at 3.30 or 4.15", "Meet at 3.30 or 4.15"},
                                         Row{"由 1．5 到 2．5", "由 1．5 到 2．5"},
                                         Row{"價錢 １.５ 同 ２.５", "價錢 １.５ 同 ２.５"},
                                         Row{"Version 1.2.3 and 2.0.1", "Version 1.2.3 and 2.0.1"},
                                         Row{"從 1.5 升到 2.5： 1. 早上 2. 晚上",
                                             "從 1.5 升到 2.5\n1. 早上\n2. 晚上"}));

TEST(SplitTest, NoneForBadPatternOrTooFewItems) {
  EXPECT_EQ(SpeechCleanup::split("a1b1c", "("), std::nullopt);
  EXPECT_EQ(SpeechCleanup::split("a1b", "1"), std::nullopt);
  EXPECT_EQ(SpeechCleanup::split("1 1 x", "1"), std::nullopt);
  EXPECT_EQ(SpeechCleanup::split("a1b1c", "1"), "a\n1. b\n2. c");
}

bool isValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

TEST(MalformedInputTest, BecomesReplacementCharacters) {
  const std::string bad[] = {"\xff", "1. a \xc3 2. b", "abc\xe4\xb8", std::string("a\0b", 3),
                             "\xed\xa0\x80 第一\x80買菜第二\xc0\xaf煮飯"};
  for (const auto& input : bad) {
    EXPECT_TRUE(isValidUtf8(SpeechCleanup::tidy(input))) << input;
    EXPECT_TRUE(isValidUtf8(SpeechCleanup::formatList(input))) << input;
  }
  EXPECT_EQ(SpeechCleanup::formatList("1. a \xc3 2. b"), "1. a \uFFFD\n2. b");
  EXPECT_EQ(SpeechCleanup::tidy(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
