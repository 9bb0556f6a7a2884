#include <gtest/gtest.h>

#include <string>

#include "text/OwnWords.h"
#include "text/OwnWordsText.h"

using namespace wrenly;

namespace {

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

}  // namespace
