#pragma once

#include "diagnostics/ReportableError.h"

namespace wrenly {

enum class StreamErrorKind { invalidResponse, startTimeout, finalTimeout, backpressure };

// Failures the streaming client detects itself. The log shows them as "code=0" to "code=3".
class StreamError final : public EnumeratedError<StreamErrorKind> {
 public:
  using Kind = StreamErrorKind;
  explicit StreamError(Kind kind) : EnumeratedError(kind) {}

  static StreamError invalidResponse() { return StreamError(Kind::invalidResponse); }
  static StreamError startTimeout() { return StreamError(Kind::startTimeout); }
  static StreamError finalTimeout() { return StreamError(Kind::finalTimeout); }
  static StreamError backpressure() { return StreamError(Kind::backpressure); }

  std::string localizedDescription() const override;
};

}  // namespace wrenly
