#pragma once

#include <string_view>

namespace wrenly {

// `text` (UTF-8) without the Unicode white space and line breaks at both ends, as a view into it.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

}  // namespace wrenly
