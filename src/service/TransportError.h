#pragma once

#include <string>

#include "base/ReportableError.h"

namespace wrenly {

// Where the service that could not be reached runs: a refused connection on this machine means
// the local service is not running, which the user can mend.
enum class ServicePlace { remote, thisMachine };

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

  explicit TransportError(int code, ServicePlace place = ServicePlace::remote)
      : code_(code), place_(place) {}

  int code() const { return code_; }
  bool isTimeout() const { return code_ == timedOut; }
  bool isCancellation() const { return code_ == cancelled; }
  bool isTlsFailure() const;
  ServicePlace place() const { return place_; }
  // The transfer library's own sentence for the code.
  std::string platformText() const;

  std::string diagnosticCode() const override { return "code=" + std::to_string(code_); }

 private:
  int code_;
  ServicePlace place_;
};

}  // namespace wrenly
