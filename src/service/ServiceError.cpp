#include "service/ServiceError.h"
#include "messages/Messages.h"

namespace wrenly {

std::string ServiceError::errorDescription() const {
  switch (kind_) {
    case Kind::rejected:
      if (status_ == 401 || status_ == 403) return Messages::credentialsRejected;
      if (status_ == 409) return Messages::anotherRequestRunning;
      if (status_ == 429) return Messages::serviceBusy;
      return Messages::serviceUnavailable;
    case Kind::service:
      if (code_ == "login_failed") return Messages::appleLoginFailed;
      if (code_ == "access_disabled") return Messages::accountDisabled;
      if (code_ == "invalid_access") return Messages::signInExpired;
      if (code_ == "request_busy") return Messages::previousRequestEnding;
      if (code_ == "provider_rate_limited") return Messages::providerBusy;
      return Messages::serviceFailed;
    case Kind::invalidURL:
      return Messages::invalidServiceURL;
    case Kind::missingInvitation:
      return Messages::signInFirst;
    case Kind::invalidResponse:
      break;
    case Kind::emptyTranscript:
      return Messages::emptyTranscript;
  }
  return Messages::invalidResponse;
}

std::string ServiceError::diagnosticCode() const {
  switch (kind_) {
    case Kind::rejected:
      return "http=" + std::to_string(status_);
    case Kind::service:
      return "service=" + code_;
    case Kind::invalidURL:
      return "invalid_url";
    case Kind::missingInvitation:
      return "missing_invitation";
    case Kind::invalidResponse:
      return "invalid_response";
    case Kind::emptyTranscript:
      return "empty_transcript";
  }
  return "invalid_response";
}

}  // namespace wrenly
