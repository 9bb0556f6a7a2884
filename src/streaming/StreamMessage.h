#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "streaming/LiveRecognitionResult.h"

namespace wrenly {

// What one message from the speech service means to the session. Kept free of any socket so
// it can be tested and fuzzed on its own.
struct StreamReady {
  friend bool operator==(const StreamReady&, const StreamReady&) = default;
};
struct StreamServiceFailure {
  std::string code;  // already checked (isValidServiceCode), otherwise "unknown"
  friend bool operator==(const StreamServiceFailure&, const StreamServiceFailure&) = default;
};
// The words heard so far, sent while the user speaks to a client that asked for them. Shown,
// never delivered: the result alone is the text.
struct StreamInterim {
  std::string text;
  friend bool operator==(const StreamInterim&, const StreamInterim&) = default;
};
struct StreamInvalid {
  friend bool operator==(const StreamInvalid&, const StreamInvalid&) = default;
};

using StreamEvent = std::variant<StreamReady, LiveRecognitionResult, StreamServiceFailure,
                                 StreamInterim, StreamInvalid>;

// `bytes` is the payload of one text or binary frame. A result only counts once the finish
// frame has gone out; before that it is a protocol fault.
StreamEvent interpretStreamMessage(std::string_view bytes, bool finishSent);

// True when `text` holds nothing but Unicode white space and line breaks (UTF-8).
bool isBlank(std::string_view text);

}  // namespace wrenly
