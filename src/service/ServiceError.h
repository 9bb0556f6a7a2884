#pragma once

#include <string>
#include <variant>

#include "base/ReportableError.h"

namespace wrenly {

// The one error type of the speech service client: six cases, each rendered for the diagnostics
// log (`diagnosticCode`); the user's text is chosen by describe().
class ServiceError final : public ReportableError {
 public:
  enum class Kind {
    rejected,
    service,
    invalidURL,
    missingInvitation,
    invalidResponse,
    emptyTranscript
  };

  static ServiceError rejected(int status) { return {Kind::rejected, status, {}}; }
  static ServiceError service(std::string code) { return {Kind::service, 0, std::move(code)}; }
  static ServiceError invalidURL() { return {Kind::invalidURL, 0, {}}; }
  static ServiceError missingInvitation() { return {Kind::missingInvitation, 0, {}}; }
  static ServiceError invalidResponse() { return {Kind::invalidResponse, 0, {}}; }
  static ServiceError emptyTranscript() { return {Kind::emptyTranscript, 0, {}}; }

  Kind kind() const { return kind_; }
  int status() const { return status_; }             // for `rejected`
  const std::string& code() const { return code_; }  // for `service`

  std::string diagnosticCode() const override;

  friend bool operator==(const ServiceError& a, const ServiceError& b) {
    return a.kind_ == b.kind_ && a.status_ == b.status_ && a.code_ == b.code_;
  }

 private:
  ServiceError(Kind kind, int status, std::string code)
      : kind_(kind), status_(status), code_(std::move(code)) {}

  Kind kind_;
  int status_;
  std::string code_;
};

}  // namespace wrenly
