#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>
#include <fstream>
#include <tuple>

#include "audio/RecorderError.h"
#include "diagnostics/Diagnostics.h"
#include "diagnostics/DiagnosticsLog.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/BrowserSession.h"
#include "platform/SecretStore.h"
#include "service/ReplyDecoding.h"
#include "service/ServiceError.h"
#include "streaming/StreamError.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace fs = std::filesystem;

namespace {

const auto fixedTime = std::chrono::sys_days{std::chrono::year{2026} / 3 / 5} +
                       std::chrono::hours{14} + std::chrono::minutes{7} + std::chrono::seconds{9} +
                       std::chrono::milliseconds{730};

// A folder that cannot be made drops lines until it can; what is queued is written when the
// log goes, each line stamped in UTC without fractions.
TEST(DiagnosticsLogTest, DropsLinesWhileBlockedThenStampsInUtcAndWritesTheQueueOnDestruction) {
  TemporaryDirectory dir;
  std::ofstream(dir / "Wrenly") << "a file where the folder should be";
  {
    DiagnosticsLog log(dir / "Wrenly" / "Diagnostics", [] { return fixedTime; });
    log.record("dropped");
    log.flush();
    EXPECT_EQ(readFile(dir / "Wrenly"), "a file where the folder should be");
    fs::remove(dir / "Wrenly");
    for (int i = 0; i < 50; ++i) log.record("line " + std::to_string(i));
  }
  const auto file = dir / "Wrenly" / "Diagnostics" / "timing.log";
  const std::string text = readFile(file);
  EXPECT_TRUE(text.starts_with("2026-03-05T14:07:09Z line 0\n2026-03-05T14:07:09Z line 1\n"));
  EXPECT_TRUE(text.ends_with("2026-03-05T14:07:09Z line 49\n"));
  EXPECT_EQ(fileMode(file), 0600u);
}

TEST(DiagnosticsLogTest, CutsAtFourHundredUserPerceivedCharactersOnOneLine) {
  // One user-perceived character each: ASCII, CJK, e + combining acute, thumbs up + skin tone.
  for (const std::string unit : {"a", "語", "e\xCC\x81", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"}) {
    std::string text;
    for (int i = 0; i < 450; ++i) text += unit;
    EXPECT_EQ(DiagnosticsLog::cutToCharacters(text, 400), text.substr(0, 400 * unit.size()));
  }
  EXPECT_EQ(DiagnosticsLog::cutToCharacters("short", 400), "short");
  EXPECT_EQ(DiagnosticsLog::cutToCharacters("a\nb\r\nc", 400), "a b  c");
}

TEST(DiagnosticsLogTest, RotatesOnlyAboveTheThresholdAndKeepsTwoGenerations) {
  TemporaryDirectory dir;
  const auto current = dir / "timing.log";
  const auto previous = dir / "timing.previous.log";
  DiagnosticsLog log(dir.path(), [] { return fixedTime; });

  std::ofstream(current, std::ios::binary) << std::string(DiagnosticsLog::rotationThreshold, 'x');
  std::ofstream(previous) << "old generation\n";
  log.record("at threshold");
  log.flush();
  EXPECT_FALSE(readFile(current).ends_with("x")) << "appended, not rotated";
  EXPECT_EQ(readFile(previous), "old generation\n");

  log.record("above threshold");
  log.flush();
  EXPECT_TRUE(readFile(previous).ends_with("at threshold\n"));
  EXPECT_EQ(readFile(current), "2026-03-05T14:07:09Z above threshold\n");
  EXPECT_EQ(fileMode(current), 0600u);
}

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
