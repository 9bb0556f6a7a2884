#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Accessibility.h"

namespace wrenly {

// Where the text of a dictation must go, as it was when the dictation started. Copied freely;
// all copies share the one element handle.
struct InputTarget {
  int32_t processID = 0;
  ElementHandle focusedElement;  // null without permission or when the application showed none
  std::optional<TextRange> selectedRange;
  std::optional<uint32_t> windowID;  // the application's front normal window then
  uint64_t focusGeneration = 0;      // the activation counter then
};

// Text that was selected when the dictation started: the dictation becomes an instruction that
// rewrites it. `text` is exactly what the element reported, untrimmed.
struct SelectedText {
  InputTarget target;
  std::string text;
};

}  // namespace wrenly
