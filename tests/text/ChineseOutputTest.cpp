#include <gtest/gtest.h>
#include <unicode/translit.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "text/ChineseOutput.h"
#include "text/SpeechCleanup.h"

using namespace wrenly;

namespace {

// Kana or Hangul anywhere, even only in what was recognised, blocks the conversion; a Cantonese
// marker only in what was recognised still allows it; a Simplified character with a combining
// mark is not evidence; full-width marks and Latin text pass through; without evidence the text
// is not touched at all, not even normalised.
TEST(ChineseOutputTest, ConvertsOnlyOnEvidenceOfChinese) {
  // clang-format off
  const char* rows[][3] = {
      {"这是测试", "", "這是測試"}, {"這是測試", "", "這是測試"}, {"佢讲", "", "佢講"},
      {"这是测试", "这是测试", "這是測試"}, {"他讲", "他们讲", "他講"}, {"", "", ""},
      {"Hello world.", "", "Hello world."}, {"这是测试", "これはテスト", "这是测试"},
      {"这是测试", "ー", "这是测试"}, {"这是测试", "한국어", "这是测试"}, {"说 ぁ", "", "说 ぁ"},
      {"讲紧", "佢哋讲紧", "講緊"}, {"讲", "点解", "講"}, {"讲", "而家", "講"},
      {"讲", "而 家", "讲"}, {"这，测试！OK 1.5", "", "這，測試！OK 1.5"},
      {"马\u0301", "", "马\u0301"}, {"Cafe\u0301 \xff", "", "Cafe\u0301 \xff"},
      {"这\xff", "", "這\uFFFD"}};
  // clang-format on
  for (const auto& [text, recognized, expected] : rows) {
    EXPECT_EQ(ChineseOutput::normalize(text, recognized), expected) << text << " / " << recognized;
  }
}

// The conversion skips characters its rules never look at; it must agree with the full transform,
// including the rules that depend on a neighbouring character.
TEST(ChineseOutputTest, ScriptAgreesWithTheUnfilteredTransform) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> full(
      icu::Transliterator::createInstance("Hans-Hant", UTRANS_FORWARD, status));
  ASSERT_TRUE(U_SUCCESS(status));
  for (const char* sample :
       {"简体中文，电脑", "Plain ASCII 123", "", "三只鸟", "两只", "a只", "一出戏", "周三", "丰姿",
        "三余", "其余 OK", "“什么”", "皇后 后来", "干杯，干净", "e\u0301只", "只\u0301",
        "Hello, 世界 1.5", "发现头发", "十斗米"}) {
    icu::UnicodeString expected = icu::UnicodeString::fromUTF8(sample);
    full->transliterate(expected);
    std::string expectedUtf8;
    EXPECT_EQ(ChineseScript::traditional(sample), expected.toUTF8String(expectedUtf8)) << sample;
  }
}

// The shared compiled patterns and the script transform are used from several threads at once;
// every thread must see the same results (run under ThreadSanitizer in CI).
TEST(ChineseOutputTest, ConcurrentCallsAgree) {
  const std::string input = "我有三点：第一点买菜，第二点煮饭，第三点洗碗。";
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        result = ChineseOutput::normalize(SpeechCleanup::formatList(input), input);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, "我有三點\n1. 買菜\n2. 煮飯\n3. 洗碗");
}

}  // namespace
