#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace wrenly {

// The accessibility bus counts text in characters (code points); the core counts UTF-16 code
// units, where a character outside the basic plane (an emoji) takes two.

// UTF-16 units of the first `characters` characters of `utf8` (all of it when shorter).
int64_t utf16Units(std::string_view utf8, int64_t characters);
// Characters in the first `units` UTF-16 units of `utf8`; none when `units` ends inside a
// character or beyond the text.
std::optional<int64_t> charactersForUnits(std::string_view utf8, int64_t units);

}  // namespace wrenly
