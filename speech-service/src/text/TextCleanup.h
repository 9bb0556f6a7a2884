#pragma once

#include <string>
#include <string_view>

namespace wrenly::speech {

class ChineseConverter;

// The "macCleanupTraditional" operation: tidies a transcript and writes its Chinese in
// Traditional characters.
//   - white space: lines trimmed, runs of spaces made one, at most one empty line in a row;
//     no space between Chinese characters or next to Chinese punctuation;
//   - punctuation: no space before , . ! ? ; : ) or after (; a space after , ; ! ? before a
//     word; ASCII , ! ? ; : after a Chinese character become their full-width forms;
//   - English: the first letter of each sentence and the word "i" in capitals;
//   - a one-line text without closing punctuation gets "." (English) or "。" (Chinese).
std::string tidyTranscript(std::string_view text, const ChineseConverter& converter);

}  // namespace wrenly::speech
