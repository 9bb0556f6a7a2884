#pragma once

#include <cstdint>
#include <string>

namespace wrenly {

// What a finished streaming session returns.
struct LiveRecognitionResult {
  std::string transcript;     // the speech as recognised
  std::string text;           // the text to deliver, with the service's clean-up when asked for
  std::int64_t segments = 0;  // only logged
  std::int64_t fallbackSegments = 0;  // only logged, as "originalSegments"

  friend bool operator==(const LiveRecognitionResult&, const LiveRecognitionResult&) = default;
};

}  // namespace wrenly
