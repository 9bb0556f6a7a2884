#include "text/OwnWords.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace wrenly {

namespace {

// Malformed UTF-8 is read as U+FFFD, as the other text functions do.
std::u32string codePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t offset = 0; offset < length;) {
    UChar32 c;
    U8_NEXT(bytes, offset, length, c);
    out.push_back(c < 0 ? U'\uFFFD' : static_cast<char32_t>(c));
  }
  return out;
}

void appendUtf8(std::string& out, char32_t c) {
  uint8_t buffer[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(buffer, length, static_cast<UChar32>(c));
  out.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

bool isCjk(char32_t c) {
  UErrorCode status = U_ZERO_ERROR;
  switch (uscript_getScript(static_cast<UChar32>(c), &status)) {
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_HANGUL:
    case USCRIPT_BOPOMOFO:
      return true;
    default:
      return false;
  }
}

// Part of a word of an alphabetic script: such a word is matched whole, a CJK string anywhere.
bool isWordCharacter(char32_t c) {
  const auto cp = static_cast<UChar32>(c);
  const bool mark = (U_GET_GC_MASK(cp) & U_GC_M_MASK) != 0;
  return (u_isalnum(cp) || mark || c == U'_') && !isCjk(c);
}

char32_t folded(char32_t c) {
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

bool hasUpper(const std::u32string& text) {
  return std::ranges::any_of(text, [](char32_t c) { return u_isupper(static_cast<UChar32>(c)); });
}

struct Pattern {
  std::u32string from;
  std::u32string to;
  bool exactCase;  // `from` has a capital
  bool keepTo;     // `to` has a capital
  bool wholeStart;
  bool wholeEnd;
};

bool matchesAt(const Pattern& pattern, const std::u32string& text, size_t at) {
  const size_t length = pattern.from.size();
  if (length > text.size() - at) return false;
  for (size_t i = 0; i < length; ++i) {
    const char32_t a = text[at + i];
    const char32_t b = pattern.from[i];
    if (a != b && (pattern.exactCase || folded(a) != folded(b))) return false;
  }
  if (pattern.wholeStart && at > 0 && isWordCharacter(text[at - 1])) return false;
  const size_t end = at + length;
  return !(pattern.wholeEnd && end < text.size() && isWordCharacter(text[end]));
}

// `to` in the case of `matched`, unless its own capitals say how it is written.
void appendCased(std::string& out, const Pattern& pattern, std::u32string_view matched) {
  const auto isUpper = [](char32_t c) { return u_isupper(static_cast<UChar32>(c)) != 0; };
  const auto isLower = [](char32_t c) { return u_islower(static_cast<UChar32>(c)) != 0; };
  const long capitals = std::ranges::count_if(matched, isUpper);
  const bool allCapitals = capitals >= 2 && std::ranges::none_of(matched, isLower);
  const auto first =
      std::ranges::find_if(matched, [&](char32_t c) { return isUpper(c) || isLower(c); });
  const bool capitalised = first != matched.end() && isUpper(*first);
  bool firstLetterDone = false;
  for (char32_t c : pattern.to) {
    const auto cp = static_cast<UChar32>(c);
    if (!pattern.keepTo && allCapitals) {
      c = static_cast<char32_t>(u_toupper(cp));
    } else if (!pattern.keepTo && capitalised && !firstLetterDone && u_islower(cp)) {
      c = static_cast<char32_t>(u_totitle(cp));
    }
    if (u_isalpha(cp)) firstLetterDone = true;
    appendUtf8(out, c);
  }
}

}  // namespace

std::string applyReplacements(std::string_view text, const std::vector<Replacement>& replacements) {
  if (replacements.empty() || text.empty()) return std::string(text);
  std::vector<Pattern> patterns;
  for (const Replacement& replacement : replacements) {
    std::u32string from = codePoints(replacement.from);
    if (from.empty()) continue;
    std::u32string to = codePoints(replacement.to);
    const bool exactCase = hasUpper(from);
    const bool keepTo = hasUpper(to);
    const bool wholeStart = isWordCharacter(from.front());
    const bool wholeEnd = isWordCharacter(from.back());
    patterns.push_back({std::move(from), std::move(to), exactCase, keepTo, wholeStart, wholeEnd});
  }
  std::ranges::stable_sort(patterns, std::ranges::greater{},
                           [](const Pattern& p) { return p.from.size(); });

  const std::u32string input = codePoints(text);
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < input.size();) {
    const auto found = std::ranges::find_if(
        patterns, [&](const Pattern& pattern) { return matchesAt(pattern, input, at); });
    if (found == patterns.end()) {
      appendUtf8(out, input[at]);
      ++at;
      continue;
    }
    appendCased(out, *found, std::u32string_view(input).substr(at, found->from.size()));
    at += found->from.size();
  }
  return out;
}

std::string vocabularyHint(const OwnWords& words) {
  constexpr std::string_view separator = ", ";
  std::string hint;
  for (const std::string& word : words.words) {
    const size_t needed = word.size() + (hint.empty() ? 0 : separator.size());
    if (hint.size() + needed > OwnWords::maximumHintBytes) break;
    if (!hint.empty()) hint += separator;
    hint += word;
  }
  return hint;
}

}  // namespace wrenly
