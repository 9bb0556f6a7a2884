#pragma once

// Helpers shared by the text functions: UTF-8 <-> ICU conversion, trimming by code point and the
// one grapheme-cluster question they need. Internal to wrenly_text.

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <string_view>

namespace wrenly {

namespace text_detail {

// Malformed UTF-8 sequences become U+FFFD; nothing is read past the view.
icu::UnicodeString fromUtf8(std::string_view text);
std::string toUtf8(const icu::UnicodeString& text);

// Unicode white space, line breaks included (tab, LF, CR, NEL, U+2028, U+3000, ...).
bool isWhiteSpace(UChar32 c);

template <typename Predicate>
icu::UnicodeString trimmed(const icu::UnicodeString& text, Predicate shouldTrim) {
  int32_t start = 0;
  int32_t end = text.length();
  while (start < end) {
    const UChar32 c = text.char32At(start);
    if (!shouldTrim(c)) break;
    start += U16_LENGTH(c);
  }
  while (end > start) {
    const UChar32 c = text.char32At(end - 1);
    if (!shouldTrim(c)) break;
    end -= U16_LENGTH(c);
  }
  return icu::UnicodeString(text, start, end - start);
}

inline icu::UnicodeString trimmedWhiteSpace(const icu::UnicodeString& text) {
  return trimmed(text, isWhiteSpace);
}

// True when the code point at `index` (taking `length` code units) is a user-perceived character
// of its own: no prepended mark before it and no combining mark, joiner or spacing mark after it.
bool standsAlone(const icu::UnicodeString& text, int32_t index, int32_t length);

// A pattern compiled once and shared by every thread (RegexPattern is immutable); each thread
// matches with its own matcher.
class SharedPattern {
 public:
  explicit SharedPattern(const char16_t* pattern);
  explicit SharedPattern(const icu::UnicodeString& pattern);
  const icu::RegexPattern* get() const { return pattern_.get(); }

  // This thread's matcher for the pattern, reset to `input` (which must outlive its use); null
  // if the pattern did not compile. Creating a matcher allocates, so each thread keeps one per
  // pattern; a caller must be done with it before asking again for the same pattern.
  icu::RegexMatcher* matcher(const icu::UnicodeString& input) const;

 private:
  std::unique_ptr<icu::RegexPattern> pattern_;
};

std::unique_ptr<icu::RegexMatcher> matcherFor(const icu::RegexPattern& pattern,
                                              const icu::UnicodeString& input);

}  // namespace text_detail

}  // namespace wrenly
