#include "text/IcuText.h"

#include <unicode/uchar.h>

#include <utility>
#include <vector>

namespace wrenly {

namespace text_detail {

icu::UnicodeString fromUtf8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

bool isWhiteSpace(UChar32 c) {
  return u_isUWhiteSpace(c);
}

bool standsAlone(const icu::UnicodeString& text, int32_t index, int32_t length) {
  if (index > 0) {
    const UChar32 before = text.char32At(index - 1);
    if (u_getIntPropertyValue(before, UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_PREPEND) return false;
  }
  const int32_t next = index + length;
  if (next < text.length()) {
    switch (u_getIntPropertyValue(text.char32At(next), UCHAR_GRAPHEME_CLUSTER_BREAK)) {
      case U_GCB_EXTEND:
      case U_GCB_ZWJ:
      case U_GCB_SPACING_MARK:
        return false;
      default:
        break;
    }
  }
  return true;
}

SharedPattern::SharedPattern(const char16_t* pattern)
    : SharedPattern(icu::UnicodeString(pattern)) {}

SharedPattern::SharedPattern(const icu::UnicodeString& pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  pattern_.reset(icu::RegexPattern::compile(pattern, 0, parseError, status));
  if (U_FAILURE(status)) pattern_.reset();
}

icu::RegexMatcher* SharedPattern::matcher(const icu::UnicodeString& input) const {
  if (!pattern_) return nullptr;
  thread_local std::vector<std::pair<const icu::RegexPattern*, std::unique_ptr<icu::RegexMatcher>>>
      matchers;
  for (auto& [pattern, matcher] : matchers) {
    if (pattern == pattern_.get()) return &matcher->reset(input);
  }
  auto made = matcherFor(*pattern_, input);
  if (!made) return nullptr;
  return matchers.emplace_back(pattern_.get(), std::move(made)).second.get();
}

std::unique_ptr<icu::RegexMatcher> matcherFor(const icu::RegexPattern& pattern,
                                              const icu::UnicodeString& input) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(input, status));
  if (U_FAILURE(status)) matcher.reset();
  return matcher;
}

}  // namespace text_detail

}  // namespace wrenly
