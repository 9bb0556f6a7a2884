#pragma once

#include <string>
#include <string_view>

namespace wrenly {

// Conversion of Simplified Chinese characters to Traditional ones.
namespace ChineseScript {

// The ICU "Hans-Hant" transform of `text` (UTF-8 in and out); anything that is not Simplified
// passes through. If the transform is unavailable the text comes back unchanged. Safe to call
// from any thread.
std::string traditional(std::string_view text);

}  // namespace ChineseScript

}  // namespace wrenly
