#include <gtest/gtest.h>

#include "text/ChineseConverter.h"
#include "text/SpokenTask.h"
#include "text/TextCleanup.h"

using namespace wrenly::speech;

namespace {

const ChineseConverter& converter() {
  static const auto made = ChineseConverter::create();
  return *made.value();
}

TEST(TextCleanup, TidiesSpacingPunctuationCapitalsAndScript) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"  go   forward ten meters ", "Go forward ten meters."},
      {"yes , i think so. and then", "Yes, I think so. And then."},
      {"hello,world!how are you?", "Hello, world! How are you?"},
      {"我们 今天 开会,好吗?", "我們今天開會，好嗎？"}, {"用 iPhone 打字", "用 iPhone 打字。"},
      {"( see this )", "(See this)"}, {"头发发展", "頭髮發展。"}, {"", ""},
      {"first line\n\n\n\nsecond line\n", "First line\n\nSecond line"}};
  // clang-format on
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(tidyTranscript(input, converter()), expected) << input;
  }
}

TEST(SpokenTask, RecognisesEachInstructionInEitherLanguageAndScript) {
  using enum SpokenTaskKind;
  // clang-format off
  const std::pair<std::string, std::variant<SpokenTaskKind, SpokenTaskFailure>> cases[] = {
      {"make it UPPER case", upperCase}, {"轉做大寫", upperCase}, {"lower case please", lowerCase},
      {"改成小写", lowerCase}, {"convert to traditional chinese", traditional},
      {"轉成繁體", traditional}, {"轉成簡體", simplified}, {"numbered list", numberedList},
      {"變成編號", numberedList}, {"bullet points", bulletedList}, {"加項目符號", bulletedList},
      {"delete this", deletion}, {"刪除", deletion},
      {"translate into French", SpokenTaskFailure::unsupportedInstruction},
      {"", SpokenTaskFailure::unsupportedInstruction},
      {"uppercase and a numbered list", SpokenTaskFailure::ambiguousInstruction}};
  // clang-format on
  for (const auto& [instruction, expected] : cases) {
    EXPECT_EQ(interpretInstruction(instruction, converter()), expected) << instruction;
  }
}

TEST(SpokenTask, RewritesTheSelection) {
  struct Case {
    SpokenTaskKind kind;
    std::string selection, expected;
  };
  using enum SpokenTaskKind;
  // clang-format off
  const Case cases[] = {
      {upperCase, "Straße and é", "STRASSE AND É"}, {lowerCase, "HELLO World", "hello world"},
      {traditional, "后来的面条", "後來的麪條"}, {simplified, "後來的頭髮", "后来的头发"},
      {numberedList, "milk\n- eggs\n\n3. bread", "1. milk\n2. eggs\n3. bread"},
      {bulletedList, "蘋果、橙，香蕉。", "• 蘋果\n• 橙\n• 香蕉。"},
      {numberedList, "one item", "1. one item"}, {deletion, "anything", ""}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(applySpokenTask(c.kind, c.selection, converter()), c.expected) << c.selection;
  }
}

}  // namespace
