#include "text/Utf8Text.h"

namespace wrenly::speech {

std::u32string codePointsOf(std::string_view text) {
  std::u32string points;
  points.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80         ? 1
                       : (lead >> 5) == 6  ? 2
                       : (lead >> 4) == 14 ? 3
                       : (lead >> 3) == 30 ? 4
                                           : 0;
    char32_t c = length == 1   ? lead
                 : length == 2 ? lead & 0x1f
                 : length == 3 ? lead & 0x0f
                               : lead & 0x07;
    bool valid = length > 0 && i + static_cast<size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      valid = (next & 0xc0) == 0x80;
      c = c << 6 | (next & 0x3f);
    }
    if (!valid) {
      points += U'\uFFFD';
      ++i;
      continue;
    }
    points += c;
    i += static_cast<size_t>(length);
  }
  return points;
}

std::string utf8Of(std::u32string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xc0 | c >> 6);
      bytes += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xe0 | c >> 12);
      bytes += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      bytes += static_cast<char>(0x80 | (c & 0x3f));
    } else {
      bytes += static_cast<char>(0xf0 | c >> 18);
      bytes += static_cast<char>(0x80 | (c >> 12 & 0x3f));
      bytes += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      bytes += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return bytes;
}

bool isHan(char32_t c) {
  return (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) ||
         (c >= 0xf900 && c <= 0xfaff) || (c >= 0x20000 && c <= 0x3134f);
}

bool isCjkPunctuation(char32_t c) {
  return (c >= 0x3000 && c <= 0x303f) || (c >= 0xff00 && c <= 0xff65);
}

bool isSpace(char32_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == 0xa0 || c == 0x3000 ||
         (c >= 0x2000 && c <= 0x200a);
}

}  // namespace wrenly::speech
