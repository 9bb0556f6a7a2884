#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wrenly {

// Local tidying of recognised text: spacing and Chinese punctuation, and spoken enumerations
// (第一點…第二點…, 一、…二、…, 1. … 2. …) turned into numbered lists. UTF-8 in and out; pure
// functions, safe to call from any thread. Malformed UTF-8 is read as U+FFFD.
namespace SpeechCleanup {

// Spoken enumeration -> one numbered item per line; anything else comes back trimmed.
std::string formatList(std::string_view text);

// Collapses spaces and repeated marks, drops spaces before punctuation and leading marks.
std::string tidy(std::string_view text);

// The markers found by the ICU regular expression `pattern` turned into a numbered list, or none
// when the pattern does not compile or yields fewer than two items.
std::optional<std::string> split(std::string_view text, std::string_view pattern);

}  // namespace SpeechCleanup

}  // namespace wrenly
