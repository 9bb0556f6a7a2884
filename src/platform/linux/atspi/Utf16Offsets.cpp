#include "platform/linux/atspi/Utf16Offsets.h"

namespace wrenly {

namespace {

// Byte length of the UTF-8 sequence that starts with `lead`, and its UTF-16 size.
struct Sequence {
  size_t bytes;
  int units;
};

Sequence sequence(unsigned char lead) {
  if (lead >= 0xF0) return {4, 2};
  if (lead >= 0xE0) return {3, 1};
  if (lead >= 0xC0) return {2, 1};
  return {1, 1};
}

}  // namespace

int64_t utf16Units(std::string_view utf8, int64_t characters) {
  int64_t units = 0;
  for (size_t i = 0; i < utf8.size() && characters > 0; --characters) {
    auto [bytes, size] = sequence(static_cast<unsigned char>(utf8[i]));
    i += bytes;
    units += size;
  }
  return units;
}

std::optional<int64_t> charactersForUnits(std::string_view utf8, int64_t units) {
  int64_t characters = 0;
  for (size_t i = 0; units > 0; ++characters) {
    if (i >= utf8.size()) return std::nullopt;
    auto [bytes, size] = sequence(static_cast<unsigned char>(utf8[i]));
    i += bytes;
    units -= size;
  }
  if (units < 0) return std::nullopt;
  return characters;
}

}  // namespace wrenly
