#pragma once

#include <string>

#include "diagnostics/ReportableError.h"

namespace wrenly {

// A failure below HTTP: no connection, no name, timeout, TLS, cancellation. It carries the
// transfer library's own code, which is what the diagnostics log shows ("code=N").
class TransportError final : public ReportableError {
 public:
  // The codes the program tells apart (the transfer library's numbering).
  static constexpr int couldNotResolveProxy = 5;
  static constexpr int couldNotResolveHost = 6;
  static constexpr int couldNotConnect = 7;
  static constexpr int timedOut = 28;
  static constexpr int cancelled = 42;

  explicit TransportError(int code) : code_(code) {}

  int code() const { return code_; }
  bool isTimeout() const { return code_ == timedOut; }
  bool isCancellation() const { return code_ == cancelled; }
  bool isTlsFailure() const;

  std::string diagnosticCode() const override { return "code=" + std::to_string(code_); }
  std::string localizedDescription() const override;

 private:
  int code_;
};

}  // namespace wrenly
