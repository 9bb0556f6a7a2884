#pragma once

#include <string>
#include <string_view>

#include "text/ChineseScript.h"

namespace wrenly {

// Decides whether the delivered text should be written in Traditional characters.
namespace ChineseOutput {

// `text` in Traditional characters when the recognised text or `text` itself shows Simplified
// characters or written Cantonese, unless either holds kana or Hangul (Japanese and Korean are
// never converted); otherwise `text` unchanged, byte for byte. `recognized` is evidence only.
// UTF-8 in and out; safe to call from any thread.
std::string normalize(std::string_view text, std::string_view recognized);

}  // namespace ChineseOutput

}  // namespace wrenly
