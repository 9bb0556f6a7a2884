#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wrenly::speech {

// Code points of UTF-8 text; an invalid byte becomes U+FFFD, so nothing is dropped silently.
std::u32string codePointsOf(std::string_view text);
std::string utf8Of(std::u32string_view text);

// Han ideographs and the CJK punctuation and full-width forms written between them.
bool isHan(char32_t c);
bool isCjkPunctuation(char32_t c);
inline bool isCjk(char32_t c) {
  return isHan(c) || isCjkPunctuation(c);
}
bool isSpace(char32_t c);

}  // namespace wrenly::speech
