#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>
#include <functional>

#include "audio/RecorderError.h"
#include "diagnostics/Diagnostics.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/BrowserSession.h"
#include "platform/SecretStore.h"
#include "service/ReplyDecoding.h"
#include "service/ServiceError.h"
#include "streaming/StreamError.h"

using namespace wrenly;

namespace {

// Cases listed out of the order of their codes: the log follows the codes.
enum class SampleError { third, first };
constexpr int logCode(SampleError error) {
  return error == SampleError::first ? 0 : 2;
}
class SampleFailure final : public EnumeratedError<SampleError> {
 public:
  using EnumeratedError::EnumeratedError;
};

TEST(ServiceErrorTest, MessagesAndCodesByFirstMatchingRow) {
  struct Row {
    ServiceError error;
    std::string message;
    std::string code;
  };
  // clang-format off
  const Row rows[] = {
      {ServiceError::rejected(401), "登入或使用資格已失效，請重新登入或聯絡支援。", "http=401"},
      {ServiceError::rejected(403), "登入或使用資格已失效，請重新登入或聯絡支援。", "http=403"},
      {ServiceError::rejected(409), "另一段語音仍在處理，請稍後重試。", "http=409"},
      {ServiceError::rejected(429), "語音服務繁忙，請稍後重試。", "http=429"},
      {ServiceError::rejected(500), "語音服務暫時無法使用，請稍後重試。", "http=500"},
      {ServiceError::rejected(0), "語音服務暫時無法使用，請稍後重試。", "http=0"},
      {ServiceError::service("login_failed"), "Apple 登入未完成，請再試一次。", "service=login_failed"},
      {ServiceError::service("access_disabled"), "此帳戶已停用，請聯絡支援。", "service=access_disabled"},
      {ServiceError::service("invalid_access"), "登入已失效，請重新登入。", "service=invalid_access"},
      {ServiceError::service("request_busy"), "上一段語音仍在結束，請稍後再試。", "service=request_busy"},
      {ServiceError::service("Request_Busy"), "語音服務未能完成，請稍後重試。", "service=Request_Busy"},
      {ServiceError::service("provider_rate_limited"), "語音供應商目前繁忙，請稍後再試。", "service=provider_rate_limited"},
      {ServiceError::service(""), "語音服務未能完成，請稍後重試。", "service="},
      {ServiceError::invalidURL(), "請設定有效的 HTTPS 語音服務網址。", "invalid_url"},
      {ServiceError::missingInvitation(), "請先使用 Apple 登入以啟用語音服務。", "missing_invitation"},
      {ServiceError::invalidResponse(), "語音服務回應異常，請稍後重試。", "invalid_response"},
      {ServiceError::emptyTranscript(), "未能辨識語音，請重新錄音。", "empty_transcript"},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(row.error.errorDescription(), row.message);
    EXPECT_EQ(describe(row.error), row.message);
    EXPECT_EQ(Diagnostics::errorCode(row.error), row.code);
  }
}

TEST(ErrorCodeTest, OwnEnumerationsByTheirLogCodeAndPlatformErrorsByTheirCode) {
  EXPECT_EQ(Diagnostics::errorCode(SampleFailure(SampleError::first)), "code=0");
  EXPECT_EQ(Diagnostics::errorCode(SampleFailure(SampleError::third)), "code=2");
  EXPECT_EQ(describe(SampleFailure(SampleError::third)), Messages::unexpectedError);
  boost::system::system_error aborted(boost::asio::error::operation_aborted);
  EXPECT_EQ(Diagnostics::errorCode(aborted),
            "code=" + std::to_string(static_cast<int>(boost::asio::error::operation_aborted)));
  EXPECT_EQ(Diagnostics::errorCode(std::make_exception_ptr(ServiceError::rejected(401))),
            "http=401");
  EXPECT_EQ(Diagnostics::errorCode(std::runtime_error("x")), "code=-1");
}

// The codes old logs hold, and the text each case shows.
TEST(ErrorCodeTest, EveryEnumeratedCaseKeepsItsLogCodeAndHasItsText) {
  struct Row {
    std::function<void()> raise;
    std::string code;
    std::string text;
  };
  using SF = SecretStoreFailure;
  using BF = BrowserSessionFailure;
  const std::string unreadable = Messages::platformFailure(Messages::replyUnreadable, {});
  const Row rows[] = {
      {[] { throw SecretStoreError(SF::unavailable); }, "code=0", Messages::keyringUnavailable},
      {[] { throw SecretStoreError(SF::locked); }, "code=1", Messages::keyringLocked},
      {[] { throw SecretStoreError(SF::timedOut); }, "code=2", Messages::keyringTimedOut},
      {[] { throw SecretStoreError(SF::failed); }, "code=3", Messages::keyringFailed},
      {[] { throw BrowserSessionError(BF::startRefused); }, "code=0", Messages::browserRefused},
      {[] { throw BrowserSessionError(BF::cancelled); }, "code=1", Messages::signInCancelled},
      {[] { throw RecorderError::permissionDenied(); }, "code=0",
       Messages::microphonePermissionDenied},
      {[] { throw RecorderError::unavailable(); }, "code=1", Messages::microphoneUnavailable},
      {[] { throw RecorderError::empty(); }, "code=2", Messages::noSpeech},
      {[] { throw StreamError::invalidResponse(); }, "code=0", Messages::streamInvalidResponse},
      {[] { throw StreamError::startTimeout(); }, "code=1", Messages::streamStartTimeout},
      {[] { throw StreamError::finalTimeout(); }, "code=2", Messages::streamFinalTimeout},
      {[] { throw StreamError::backpressure(); }, "code=3", Messages::streamBackpressure},
      {[] { throw ReplyDecodingError(ReplyDecodingFailure::notJson); }, "code=0", unreadable},
      {[] { throw ReplyDecodingError(ReplyDecodingFailure::notAnObject); }, "code=1", unreadable},
      {[] { throw ReplyDecodingError(ReplyDecodingFailure::missingMember); }, "code=2", unreadable},
      {[] { throw ReplyDecodingError(ReplyDecodingFailure::wrongType); }, "code=3", unreadable},
  };
  for (const auto& row : rows) {
    std::exception_ptr error;
    try {
      row.raise();
    } catch (...) {
      error = std::current_exception();
    }
    EXPECT_EQ(Diagnostics::errorCode(error), row.code);
    EXPECT_EQ(describe(error), row.text) << row.code;
  }
}

}  // namespace
