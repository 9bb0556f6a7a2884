#pragma once

#include "base/ReportableError.h"

namespace wrenly {

enum class StreamErrorKind { invalidResponse, startTimeout, finalTimeout, backpressure };

// The log's code of each case (EnumeratedError), fixed whatever the order of the cases.
constexpr int logCode(StreamErrorKind value) {
  switch (value) {
    case StreamErrorKind::invalidResponse:
      return 0;
    case StreamErrorKind::startTimeout:
      return 1;
    case StreamErrorKind::finalTimeout:
      return 2;
    case StreamErrorKind::backpressure:
      return 3;
  }
  return -1;
}

// Failures the streaming client detects itself. The log shows them as "code=0" to "code=3".
class StreamError final : public EnumeratedError<StreamErrorKind> {
 public:
  using Kind = StreamErrorKind;
  explicit StreamError(Kind kind) : EnumeratedError(kind) {}

  static StreamError invalidResponse() { return StreamError(Kind::invalidResponse); }
  static StreamError startTimeout() { return StreamError(Kind::startTimeout); }
  static StreamError finalTimeout() { return StreamError(Kind::finalTimeout); }
  static StreamError backpressure() { return StreamError(Kind::backpressure); }
};

}  // namespace wrenly
