#include "service/TextTrimming.h"

#include <cstdint>

namespace wrenly {

namespace {

// Every code point with the Unicode White_Space property.
bool isWhiteSpace(char32_t c) {
  switch (c) {
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return (c >= 0x09 && c <= 0x0D) || (c >= 0x2000 && c <= 0x200A);
  }
}

// Decodes the code point starting at `pos`; returns its length, or 0 when the bytes there are
// not well-formed UTF-8 (such bytes are never trimmed).
size_t decodeAt(std::string_view s, size_t pos, char32_t& out) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  uint8_t b0 = byte(pos);
  size_t length = b0 < 0x80           ? 1
                  : (b0 >> 5) == 0x6  ? 2
                  : (b0 >> 4) == 0xE  ? 3
                  : (b0 >> 3) == 0x1E ? 4
                                      : 0;
  if (length == 0 || pos + length > s.size()) return 0;
  char32_t c = length == 1   ? b0
               : length == 2 ? (b0 & 0x1F)
               : length == 3 ? (b0 & 0x0F)
                             : (b0 & 0x07);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(pos + i) & 0x3F);
  }
  out = c;
  return length;
}

}  // namespace

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size()) {
    char32_t c = 0;
    size_t length = decodeAt(text, begin, c);
    if (length == 0 || !isWhiteSpace(c)) break;
    begin += length;
  }
  size_t end = text.size();
  while (end > begin) {
    // Step back to the start of the last code point.
    size_t start = end - 1;
    while (start > begin && (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) --start;
    char32_t c = 0;
    size_t length = decodeAt(text, start, c);
    if (length == 0 || start + length != end || !isWhiteSpace(c)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

}  // namespace wrenly
