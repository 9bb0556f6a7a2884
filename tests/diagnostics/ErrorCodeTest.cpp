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

// The text each error shows and the code old logs hold for it: service errors by the first
// matching rule, enumerated ones by a code that never changes.
TEST(ErrorCodeTest, EveryErrorHasItsTextAndKeepsItsLogCode) {
  using SF = SecretStoreFailure;
  using BF = BrowserSessionFailure;
  using RF = ReplyDecodingFailure;
  const auto e = [](auto error) { return std::make_exception_ptr(error); };
  const auto service = [&](const char* code) { return e(ServiceError::service(code)); };
  const std::string unreadable = Messages::platformFailure(Messages::replyUnreadable, {});
  const std::tuple<std::exception_ptr, std::string, std::string> rows[] = {
      {e(ServiceError::rejected(401)), "http=401", Messages::credentialsRejected},
      {e(ServiceError::rejected(403)), "http=403", Messages::credentialsRejected},
      {e(ServiceError::rejected(409)), "http=409", Messages::anotherRequestRunning},
      {e(ServiceError::rejected(429)), "http=429", Messages::serviceBusy},
      {e(ServiceError::rejected(500)), "http=500", Messages::serviceUnavailable},
      {e(ServiceError::rejected(0)), "http=0", Messages::serviceUnavailable},
      {service("login_failed"), "service=login_failed", Messages::appleLoginFailed},
      {service("access_disabled"), "service=access_disabled", Messages::accountDisabled},
      {service("invalid_access"), "service=invalid_access", Messages::signInExpired},
      {service("request_busy"), "service=request_busy", Messages::previousRequestEnding},
      {service("Request_Busy"), "service=Request_Busy", Messages::serviceFailed},
      {service("provider_rate_limited"), "service=provider_rate_limited", Messages::providerBusy},
      {service("recognition_failed"), "service=recognition_failed", Messages::engineFailed},
      {service(""), "service=", Messages::serviceFailed},
      {e(ServiceError::invalidURL()), "invalid_url", Messages::invalidServiceURL},
      {e(ServiceError::missingInvitation()), "missing_invitation", Messages::signInFirst},
      {e(ServiceError::invalidResponse()), "invalid_response", Messages::invalidResponse},
      {e(ServiceError::emptyTranscript()), "empty_transcript", Messages::emptyTranscript},
      {e(SecretStoreError(SF::unavailable)), "code=0", Messages::keyringUnavailable},
      {e(SecretStoreError(SF::locked)), "code=1", Messages::keyringLocked},
      {e(SecretStoreError(SF::timedOut)), "code=2", Messages::keyringTimedOut},
      {e(SecretStoreError(SF::failed)), "code=3", Messages::keyringFailed},
      {e(BrowserSessionError(BF::startRefused)), "code=0", Messages::browserRefused},
      {e(BrowserSessionError(BF::cancelled)), "code=1", Messages::signInCancelled},
      {e(RecorderError::permissionDenied()), "code=0", Messages::microphonePermissionDenied},
      {e(RecorderError::unavailable()), "code=1", Messages::microphoneUnavailable},
      {e(RecorderError::empty()), "code=2", Messages::noSpeech},
      {e(StreamError::invalidResponse()), "code=0", Messages::streamInvalidResponse},
      {e(StreamError::startTimeout()), "code=1", Messages::streamStartTimeout},
      {e(StreamError::finalTimeout()), "code=2", Messages::streamFinalTimeout},
      {e(StreamError::backpressure()), "code=3", Messages::streamBackpressure},
      {e(ReplyDecodingError(RF::notJson)), "code=0", unreadable},
      {e(ReplyDecodingError(RF::notAnObject)), "code=1", unreadable},
      {e(ReplyDecodingError(RF::missingMember)), "code=2", unreadable},
      {e(ReplyDecodingError(RF::wrongType)), "code=3", unreadable},
  };
  for (const auto& [error, code, text] : rows) {
    EXPECT_EQ(Diagnostics::errorCode(error), code);
    EXPECT_EQ(describe(error), text) << code;
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
  EXPECT_EQ(Diagnostics::errorCode(std::runtime_error("x")), "code=-1");
}

}  // namespace
