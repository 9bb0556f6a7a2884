#include <gtest/gtest.h>

#include <unicode/translit.h>

#include <memory>
#include <string>

#include "text/MacChineseOutput.h"

using namespace wrenly;

namespace {

struct Row {
  std::string text;
  std::string recognized;
  std::string expected;
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.text << " / " << row.recognized;
}

class NormalizeTest : public testing::TestWithParam<Row> {};

TEST_P(NormalizeTest, Normalizes) {
  EXPECT_EQ(MacChineseOutput::normalize(GetParam().text, GetParam().recognized),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, NormalizeTest,
                         testing::Values(Row{"这是测试", "", "這是測試"},
                                         Row{"這是測試", "", "這是測試"}, Row{"佢讲", "", "佢講"},
                                         Row{"这是测试", "这是测试", "這是測試"},
                                         Row{"这是测试", "これはテスト", "这是测试"},
                                         Row{"Hello world.", "", "Hello world."},
                                         Row{"他讲", "他们讲", "他講"}, Row{"", "", ""}));

INSTANTIATE_TEST_SUITE_P(
    Evidence, NormalizeTest,
    testing::Values(
        // Kana or Hangul anywhere, even only in what was recognised, blocks the conversion.
        Row{"这是测试", "ー", "这是测试"}, Row{"这是测试", "한국어", "这是测试"},
        Row{"说 ぁ", "", "说 ぁ"},
        // A Cantonese marker only in what was recognised still converts the text.
        Row{"讲紧", "佢哋讲紧", "講緊"}, Row{"讲", "点解", "講"}, Row{"讲", "而家", "講"},
        Row{"讲", "而 家", "讲"},
        // Full-width marks and Latin text pass through the transform as they are.
        Row{"这，测试！OK 1.5", "", "這，測試！OK 1.5"},
        // A Simplified character with a combining mark is not the evidence character.
        Row{"马\u0301", "", "马\u0301"},
        // Without evidence the text is not touched at all, not even normalised.
        Row{"Cafe\u0301 \xff", "", "Cafe\u0301 \xff"}, Row{"这\xff", "", "這\uFFFD"}));

TEST(ChineseScriptTest, ConvertsSimplifiedOnly) {
  EXPECT_EQ(ChineseScript::traditional("简体中文，电脑"), "簡體中文，電腦");
  EXPECT_EQ(ChineseScript::traditional("Plain ASCII 123"), "Plain ASCII 123");
  EXPECT_EQ(ChineseScript::traditional(""), "");
}

// The conversion skips characters its rules never look at; it must agree with the full transform,
// including the rules that depend on a neighbouring character.
TEST(ChineseScriptTest, AgreesWithTheUnfilteredTransform) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> full(
      icu::Transliterator::createInstance("Hans-Hant", UTRANS_FORWARD, status));
  ASSERT_TRUE(U_SUCCESS(status));
  for (const char* sample :
       {"三只鸟", "两只", "a只", "一出戏", "周三", "丰姿", "三余", "其余 OK", "“什么”", "皇后 后来",
        "干杯，干净", "e\u0301只", "只\u0301", "Hello, 世界 1.5", "发现头发", "十斗米"}) {
    icu::UnicodeString expected = icu::UnicodeString::fromUTF8(sample);
    full->transliterate(expected);
    std::string expectedUtf8;
    expected.toUTF8String(expectedUtf8);
    EXPECT_EQ(ChineseScript::traditional(sample), expectedUtf8) << sample;
  }
}

}  // namespace
