#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>
#include <tuple>

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
  const Row rows[] = {
      {ServiceError::rejected(401), Messages::credentialsRejected, "http=401"},
      {ServiceError::rejected(403), Messages::credentialsRejected, "http=403"},
      {ServiceError::rejected(409), Messages::anotherRequestRunning, "http=409"},
      {ServiceError::rejected(429), Messages::serviceBusy, "http=429"},
      {ServiceError::rejected(500), Messages::serviceUnavailable, "http=500"},
      {ServiceError::rejected(0), Messages::serviceUnavailable, "http=0"},
      {ServiceError::service("login_failed"), Messages::appleLoginFailed, "service=login_failed"},
      {ServiceError::service("access_disabled"), Messages::accountDisabled,
       "service=access_disabled"},
      {ServiceError::service("invalid_access"), Messages::signInExpired, "service=invalid_access"},
      {ServiceError::service("request_busy"), Messages::previousRequestEnding,
       "service=request_busy"},
      {ServiceError::service("Request_Busy"), Messages::serviceFailed, "service=Request_Busy"},
      {ServiceError::service("provider_rate_limited"), Messages::providerBusy,
       "service=provider_rate_limited"},
      {ServiceError::service("recognition_failed"), Messages::engineFailed,
       "service=recognition_failed"},
      {ServiceError::service(""), Messages::serviceFailed, "service="},
      {ServiceError::invalidURL(), Messages::invalidServiceURL, "invalid_url"},
      {ServiceError::missingInvitation(), Messages::signInFirst, "missing_invitation"},
      {ServiceError::invalidResponse(), Messages::invalidResponse, "invalid_response"},
      {ServiceError::emptyTranscript(), Messages::emptyTranscript, "empty_transcript"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(describe(row.error), row.message);
    EXPECT_EQ(Diagnostics::errorCode(row.error), row.code);
  }
  // The local service signs in on its own page: the two sign-in texts say so.
  EXPECT_EQ(describe(ServiceError::service("login_failed"), {}, true),
            Messages::serviceSignIn.notCompleted);
  EXPECT_EQ(describe(ServiceError::missingInvitation(), {}, true), Messages::serviceSignIn.first);
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
  using SF = SecretStoreFailure;
  using BF = BrowserSessionFailure;
  using RF = ReplyDecodingFailure;
  const std::string unreadable = Messages::platformFailure(Messages::replyUnreadable, {});
  const std::tuple<std::exception_ptr, int, std::string> rows[] = {
      {std::make_exception_ptr(SecretStoreError(SF::unavailable)), 0, Messages::keyringUnavailable},
      {std::make_exception_ptr(SecretStoreError(SF::locked)), 1, Messages::keyringLocked},
      {std::make_exception_ptr(SecretStoreError(SF::timedOut)), 2, Messages::keyringTimedOut},
      {std::make_exception_ptr(SecretStoreError(SF::failed)), 3, Messages::keyringFailed},
      {std::make_exception_ptr(BrowserSessionError(BF::startRefused)), 0, Messages::browserRefused},
      {std::make_exception_ptr(BrowserSessionError(BF::cancelled)), 1, Messages::signInCancelled},
      {std::make_exception_ptr(RecorderError::permissionDenied()), 0,
       Messages::microphonePermissionDenied},
      {std::make_exception_ptr(RecorderError::unavailable()), 1, Messages::microphoneUnavailable},
      {std::make_exception_ptr(RecorderError::empty()), 2, Messages::noSpeech},
      {std::make_exception_ptr(StreamError::invalidResponse()), 0, Messages::streamInvalidResponse},
      {std::make_exception_ptr(StreamError::startTimeout()), 1, Messages::streamStartTimeout},
      {std::make_exception_ptr(StreamError::finalTimeout()), 2, Messages::streamFinalTimeout},
      {std::make_exception_ptr(StreamError::backpressure()), 3, Messages::streamBackpressure},
      {std::make_exception_ptr(ReplyDecodingError(RF::notJson)), 0, unreadable},
      {std::make_exception_ptr(ReplyDecodingError(RF::notAnObject)), 1, unreadable},
      {std::make_exception_ptr(ReplyDecodingError(RF::missingMember)), 2, unreadable},
      {std::make_exception_ptr(ReplyDecodingError(RF::wrongType)), 3, unreadable},
  };
  for (const auto& [error, code, text] : rows) {
    EXPECT_EQ(Diagnostics::errorCode(error), "code=" + std::to_string(code));
    EXPECT_EQ(describe(error), text) << code;
  }
}

}  // namespace
