#include "service/ServiceError.h"

namespace wrenly {

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
