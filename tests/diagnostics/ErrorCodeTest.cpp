#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include "diagnostics/MacDiagnostics.h"
#include "diagnostics/ReportableError.h"
#include "service/MacServiceError.h"

using namespace wrenly;

namespace {

enum class SampleError { first, second, third };
class SampleFailure final : public EnumeratedError<SampleError> {
 public:
  using EnumeratedError::EnumeratedError;
  std::string localizedDescription() const override { return "樣本"; }
};

TEST(ServiceErrorTest, MessagesAndCodesByFirstMatchingRow) {
  struct Row {
    MacServiceError error;
    std::string message;
    std::string code;
  };
  // clang-format off
  const Row rows[] = {
      {MacServiceError::rejected(401), "登入或使用資格已失效，請重新登入或聯絡支援。", "http=401"},
      {MacServiceError::rejected(403), "登入或使用資格已失效，請重新登入或聯絡支援。", "http=403"},
      {MacServiceError::rejected(409), "另一段語音仍在處理，請稍後重試。", "http=409"},
      {MacServiceError::rejected(429), "語音服務繁忙，請稍後重試。", "http=429"},
      {MacServiceError::rejected(500), "語音服務暫時無法使用，請稍後重試。", "http=500"},
      {MacServiceError::rejected(0), "語音服務暫時無法使用，請稍後重試。", "http=0"},
      {MacServiceError::service("login_failed"), "Apple 登入未完成，請再試一次。", "service=login_failed"},
      {MacServiceError::service("access_disabled"), "此帳戶已停用，請聯絡支援。", "service=access_disabled"},
      {MacServiceError::service("invalid_access"), "登入已失效，請重新登入。", "service=invalid_access"},
      {MacServiceError::service("request_busy"), "上一段語音仍在結束，請稍後再試。", "service=request_busy"},
      {MacServiceError::service("Request_Busy"), "語音服務未能完成，請稍後重試。", "service=Request_Busy"},
      {MacServiceError::service("provider_rate_limited"), "語音供應商目前繁忙，請稍後再試。", "service=provider_rate_limited"},
      {MacServiceError::service(""), "語音服務未能完成，請稍後重試。", "service="},
      {MacServiceError::invalidURL(), "請設定有效的 HTTPS 語音服務網址。", "invalid_url"},
      {MacServiceError::missingInvitation(), "請先使用 Apple 登入以啟用語音服務。", "missing_invitation"},
      {MacServiceError::invalidResponse(), "語音服務回應異常，請稍後重試。", "invalid_response"},
      {MacServiceError::emptyTranscript(), "未能辨識語音，請重新錄音。", "empty_transcript"},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(row.error.errorDescription(), row.message);
    EXPECT_EQ(localizedDescriptionOf(row.error), row.message);
    EXPECT_EQ(MacDiagnostics::errorCode(row.error), row.code);
  }
}

TEST(ErrorCodeTest, OwnEnumerationsByCaseNumberAndPlatformErrorsByTheirCode) {
  EXPECT_EQ(MacDiagnostics::errorCode(SampleFailure(SampleError::first)), "code=0");
  EXPECT_EQ(MacDiagnostics::errorCode(SampleFailure(SampleError::third)), "code=2");
  EXPECT_EQ(localizedDescriptionOf(SampleFailure(SampleError::third)), "樣本");
  boost::system::system_error aborted(boost::asio::error::operation_aborted);
  EXPECT_EQ(MacDiagnostics::errorCode(aborted),
            "code=" + std::to_string(static_cast<int>(boost::asio::error::operation_aborted)));
  EXPECT_EQ(MacDiagnostics::errorCode(std::make_exception_ptr(MacServiceError::rejected(401))),
            "http=401");
  EXPECT_EQ(MacDiagnostics::errorCode(std::runtime_error("x")), "code=-1");
}

}  // namespace
