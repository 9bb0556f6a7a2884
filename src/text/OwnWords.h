#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wrenly {

// One replacement the user asked for: `from` in a result becomes `to` (which may be empty, to
// drop a filler word).
struct Replacement {
  std::string from;
  std::string to;
  friend bool operator==(const Replacement&, const Replacement&) = default;
};

// The user's own words: names and terms they say often, sent to the engine as its vocabulary
// hint, and the replacements made in every result before it is delivered. UTF-8 throughout.
struct OwnWords {
  // A short list: the hint has to fit an engine's prompt, and every result is scanned for every
  // replacement.
  static constexpr std::size_t maximumWords = 200;
  static constexpr std::size_t maximumReplacements = 200;
  static constexpr std::size_t maximumEntryLength = 60;  // code points of a word or either side
  static constexpr std::size_t maximumHintBytes = 600;

  std::vector<std::string> words;
  std::vector<Replacement> replacements;

  bool empty() const { return words.empty() && replacements.empty(); }
  friend bool operator==(const OwnWords&, const OwnWords&) = default;
};

// `text` with every replacement made, in one pass from the left: at each place the longest
// `from` that matches wins, and replaced text is not looked at again (no chains).
// - A `from` that begins or ends with a letter or digit of an alphabetic script matches only
//   there as a whole word; CJK characters match exactly wherever they stand.
// - A `from` written in lower case matches in any case; one with a capital matches as written.
// - A `to` with a capital is kept as written ("GitHub"); one in lower case follows the text it
//   replaces: a capital first letter ("Teh" -> "The") or all capitals ("TEH" -> "THE").
std::string applyReplacements(std::string_view text, const std::vector<Replacement>& replacements);

// The words as the engine's vocabulary hint ("Kowloon Tong, Wrenly"): as many, in order, as
// fit in maximumHintBytes. Empty without words.
std::string vocabularyHint(const OwnWords& words);

}  // namespace wrenly
