#include "service/MacServiceError.h"

namespace wrenly {

std::string MacServiceError::errorDescription() const {
  switch (kind_) {
    case Kind::rejected:
      if (status_ == 401 || status_ == 403) return "登入或使用資格已失效，請重新登入或聯絡支援。";
      if (status_ == 409) return "另一段語音仍在處理，請稍後重試。";
      if (status_ == 429) return "語音服務繁忙，請稍後重試。";
      return "語音服務暫時無法使用，請稍後重試。";
    case Kind::service:
      if (code_ == "login_failed") return "Apple 登入未完成，請再試一次。";
      if (code_ == "access_disabled") return "此帳戶已停用，請聯絡支援。";
      if (code_ == "invalid_access") return "登入已失效，請重新登入。";
      if (code_ == "request_busy") return "上一段語音仍在結束，請稍後再試。";
      if (code_ == "provider_rate_limited") return "語音供應商目前繁忙，請稍後再試。";
      return "語音服務未能完成，請稍後重試。";
    case Kind::invalidURL:
      return "請設定有效的 HTTPS 語音服務網址。";
    case Kind::missingInvitation:
      return "請先使用 Apple 登入以啟用語音服務。";
    case Kind::invalidResponse:
      return "語音服務回應異常，請稍後重試。";
    case Kind::emptyTranscript:
      return "未能辨識語音，請重新錄音。";
  }
  return "語音服務回應異常，請稍後重試。";
}

std::string MacServiceError::diagnosticCode() const {
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
