#include <gtest/gtest.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "text/ChineseOutput.h"
#include "text/OwnWords.h"
#include "text/OwnWordsText.h"
#include "text/SpeechCleanup.h"
#include "text/VoiceLanguage.h"

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

using Fault = OwnWordsText::LineFault;

// Latin rows: whole words, the case of the text kept for a lower-case target; CJK rows: exact
// strings wherever they stand; overlaps: the longest match, one pass, no chains.
TEST(OwnWordsTest, Replaces) {
  const std::vector<Replacement> pairs{
      {"github", "GitHub"}, {"teh", "the"},       {"US", "United States"},
      {"new york", "NYC"},  {"new", "old"},       {"a", "b"},
      {"b", "c"},           {"九龍塘", "九龍城"}, {"嗯", ""},
      {"AI助手", "Wrenly"}, {"café", "cafe"}};
  // clang-format off
  const char* rows[][2] = {
      {"push to github now", "push to GitHub now"}, {"Github and GITHUB", "GitHub and GitHub"},
      {"github's page", "GitHub's page"}, {"githubber github_x", "githubber github_x"},
      {"用github做", "用GitHub做"}, {"Teh cat, TEH dog, teh", "The cat, THE dog, the"},
      {"tell us about the US", "tell us about the United States"},
      {"New York is new", "NYC is old"}, {"a b", "b c"}, {"去九龍塘站", "去九龍城站"},
      {"嗯，好的嗯", "，好的"}, {"用AI助手", "用Wrenly"}, {"OpenAI助手", "OpenAI助手"}, {"Café crème", "Cafe crème"},
      {"", ""}, {"nothing here", "nothing here"}};
  // clang-format on
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(applyReplacements(input, pairs), expected) << input;
  }
  EXPECT_EQ(applyReplacements("github", {}), "github");
}

TEST(OwnWordsTest, HintTakesTheWordsThatFit) {
  OwnWords words{{"Kowloon Tong", "Wrenly", "九龍塘"}, {}};
  EXPECT_EQ(vocabularyHint(words), "Kowloon Tong, Wrenly, 九龍塘");
  words.words.assign(20, std::string(40, 'x'));
  EXPECT_EQ(vocabularyHint(words).size(), 14 * 40 + 13 * 2);
  EXPECT_EQ(vocabularyHint({}), "");
}

// Entries, duplicates and updates, comments and blank lines; every bad line reported by number
// and kept as it was; the file written back reads the same.
TEST(OwnWordsTest, FileRoundTripReportsBadLines) {
  const std::string longWord(OwnWords::maximumEntryLength + 1, 'x');
  const std::string text =
      "\xEF\xBB\xBF# own words\r\n"
      "Kowloon Tong\n"
      "  github => GitHub  \n"
      "\n"
      "teh -> the\n"
      "嗯 →\n"
      "=> nothing\n"
      "a => b => c\n" +
      longWord +
      "\n"
      "bad\x01word\n"
      "\xff\n"
      "Kowloon Tong\n"
      "github => Github\n";
  const auto read = OwnWordsText::add({}, text);
  const OwnWords expected{{"Kowloon Tong"}, {{"github", "Github"}, {"teh", "the"}, {"嗯", ""}}};
  EXPECT_EQ(read.words, expected);
  EXPECT_EQ(read.added, 5);
  const std::vector<OwnWordsText::BadLine> bad{{7, "=> nothing", Fault::malformed},
                                               {8, "a => b => c", Fault::malformed},
                                               {9, longWord, Fault::tooLong},
                                               {10, "bad\x01word", Fault::malformed},
                                               {11, "\xff", Fault::malformed}};
  EXPECT_EQ(read.badLines, bad);
  EXPECT_EQ(OwnWordsText::add({}, longWord.substr(1)).added, 1);  // exactly the longest allowed

  const std::string written = OwnWordsText::write(read.words, "# header", {"a => b => c"});
  EXPECT_EQ(written, "# header\ngithub => Github\nteh => the\n嗯 =>\nKowloon Tong\na => b => c\n");
  const auto again = OwnWordsText::add({}, written);
  EXPECT_EQ(again.words, read.words);
  EXPECT_EQ(again.badLines.size(), 1u);
  EXPECT_EQ(OwnWordsText::without(read.words, "teh => the").replacements.size(), 2u);
  EXPECT_EQ(OwnWordsText::without(read.words, "Kowloon Tong").words.size(), 0u);
}

TEST(OwnWordsTest, ListsStopAtTheirLimits) {
  std::string text;
  for (std::size_t i = 0; i <= OwnWords::maximumWords; ++i) text += "w" + std::to_string(i) + "\n";
  const auto read = OwnWordsText::add({}, text + "x => y\n");
  EXPECT_EQ(read.words.words.size(), OwnWords::maximumWords);
  EXPECT_EQ(read.words.replacements.size(), 1u);
  ASSERT_EQ(read.badLines.size(), 1u);
  EXPECT_EQ(read.badLines[0].fault, Fault::overLimit);
  EXPECT_EQ(read.badLines[0].number, static_cast<int>(OwnWords::maximumWords) + 1);
}

TEST(VoiceLanguageTest, RawValuesRoundTripInOrderAndOthersAreNone) {
  const char* raw[] = {"cantonese", "mandarin", "english", "auto"};
  const auto all = VoiceLanguage::allCases();
  ASSERT_EQ(all.size(), 4u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].rawValue(), raw[i]);
    EXPECT_EQ(VoiceLanguage::fromRaw(raw[i]), all[i]);
  }
  for (const char* other : {"Auto", "", "automatic"}) {
    EXPECT_EQ(VoiceLanguage::fromRaw(other), std::nullopt);
  }
}

}  // namespace
