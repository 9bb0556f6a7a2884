#pragma once

#include <cstdint>
#include <string>

namespace wrenly {

// What a finished streaming session returns.
struct MacStreamingSpeechResult {
  std::string transcript;     // the speech as recognised
  std::string text;           // the text to deliver, with the service's clean-up when asked for
  std::int64_t segments = 0;  // only logged
  std::int64_t fallbackSegments = 0;  // only logged, as "originalSegments"

  friend bool operator==(const MacStreamingSpeechResult&,
                         const MacStreamingSpeechResult&) = default;
};

}  // namespace wrenly
