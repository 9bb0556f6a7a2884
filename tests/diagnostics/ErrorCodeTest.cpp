#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include "diagnostics/Diagnostics.h"
#include "diagnostics/ReportableError.h"
#include "messages/Messages.h"
#include "service/ServiceError.h"

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
    ServiceError error;
    const char* message;
    std::string code;
  };
  // clang-format off
  const Row rows[] = {
      {ServiceError::rejected(401), Messages::credentialsRejected, "http=401"},
      {ServiceError::rejected(403), Messages::credentialsRejected, "http=403"},
      {ServiceError::rejected(409), Messages::anotherRequestRunning, "http=409"},
      {ServiceError::rejected(429), Messages::serviceBusy, "http=429"},
      {ServiceError::rejected(500), Messages::serviceUnavailable, "http=500"},
      {ServiceError::rejected(0), Messages::serviceUnavailable, "http=0"},
      {ServiceError::service("login_failed"), Messages::appleLoginFailed, "service=login_failed"},
      {ServiceError::service("access_disabled"), Messages::accountDisabled, "service=access_disabled"},
      {ServiceError::service("invalid_access"), Messages::signInExpired, "service=invalid_access"},
      {ServiceError::service("request_busy"), Messages::previousRequestEnding, "service=request_busy"},
      {ServiceError::service("Request_Busy"), Messages::serviceFailed, "service=Request_Busy"},
      {ServiceError::service("provider_rate_limited"), Messages::providerBusy, "service=provider_rate_limited"},
      {ServiceError::service(""), Messages::serviceFailed, "service="},
      {ServiceError::invalidURL(), Messages::invalidServiceURL, "invalid_url"},
      {ServiceError::missingInvitation(), Messages::signInFirst, "missing_invitation"},
      {ServiceError::invalidResponse(), Messages::invalidResponse, "invalid_response"},
      {ServiceError::emptyTranscript(), Messages::emptyTranscript, "empty_transcript"},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(row.error.errorDescription(), row.message);
    EXPECT_EQ(localizedDescriptionOf(row.error), row.message);
    EXPECT_EQ(Diagnostics::errorCode(row.error), row.code);
  }
}

TEST(ErrorCodeTest, OwnEnumerationsByCaseNumberAndPlatformErrorsByTheirCode) {
  EXPECT_EQ(Diagnostics::errorCode(SampleFailure(SampleError::first)), "code=0");
  EXPECT_EQ(Diagnostics::errorCode(SampleFailure(SampleError::third)), "code=2");
  EXPECT_EQ(localizedDescriptionOf(SampleFailure(SampleError::third)), "樣本");
  boost::system::system_error aborted(boost::asio::error::operation_aborted);
  EXPECT_EQ(Diagnostics::errorCode(aborted),
            "code=" + std::to_string(static_cast<int>(boost::asio::error::operation_aborted)));
  EXPECT_EQ(Diagnostics::errorCode(std::make_exception_ptr(ServiceError::rejected(401))),
            "http=401");
  EXPECT_EQ(Diagnostics::errorCode(std::runtime_error("x")), "code=-1");
}

}  // namespace
