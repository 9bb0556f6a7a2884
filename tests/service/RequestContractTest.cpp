#include <gmock/gmock.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include "ServiceHarness.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "service/RequestBodies.h"
#include "service/ServiceError.h"
#include "service/TransportError.h"

using namespace wrenly;

namespace {

using ::testing::ElementsAre;
using Header = std::pair<std::string, std::string>;
using Reply = ContractServer::Reply;

class RequestContract : public ServiceHarness {
 protected:
  const std::vector<std::uint8_t> wav = std::vector<std::uint8_t>(1001, 0xA7);
  SpeechServiceClient service = makeService();
  asio::awaitable<std::string> transcribe() {
    return service.transcribe(wav, "auto", std::nullopt, "1b4e28ba-2fa1-11d2-883f-0016d3cca427",
                              "");
  }
};

TEST_F(RequestContract, EveryCallSendsTheFixedHeadersInOrderAndItsBodyUntouched) {
  signIn("tok");
  EXPECT_EQ(run(transcribe()).value, "測試轉錄");
  EXPECT_EQ(run(service.clean("hello", std::nullopt)).value, "已整理的文字");
  EXPECT_EQ(run(service.clean("hello", std::nullopt)).value, "已整理的文字");
  EXPECT_EQ(run(service.applySpokenTask("", "translate", "src-id")).value, "已改寫的文字");
  EXPECT_TRUE(run(service.accountStatus()).value);
  EXPECT_TRUE(run(service.startSignIn("proposed")).value);
  EXPECT_TRUE(run(service.signOut()).value);

  auto requests = server.requests();
  std::string calls;
  for (auto& request : requests) {
    calls += request.method + " " + request.target + "; ";
    std::vector<Header> expected = {{"Content-Type", "application/json"},
                                    {"Accept", "application/json"},
                                    {"Cache-Control", "no-store"}};
    if (request.path != "account/mac/start") expected.emplace_back("Authorization", "Bearer tok");
    std::erase_if(request.headers, [](const Header& h) {  // the transfer library's own
      return h.first == "Host" || h.first == "Content-Length";
    });
    EXPECT_EQ(request.headers, expected) << request.path;
  }
  EXPECT_EQ(calls,
            "POST /wrenly/v1/transcribe; POST /wrenly/v1/text; POST /wrenly/v1/text; "
            "POST /wrenly/v1/text; GET /wrenly/v1/access; POST /wrenly/v1/account/mac/start; "
            "DELETE /wrenly/v1/account/session; ");
  auto idOf = [](const std::string& body) { return body.substr(14, 36); };
  EXPECT_EQ(requests[0].body,
            transcribeBody(wav, "auto", std::nullopt, "1B4E28BA-2FA1-11D2-883F-0016D3CCA427"));
  EXPECT_NE(idOf(requests[1].body), idOf(requests[2].body));
  EXPECT_EQ(requests[3].body, spokenTaskBody(idOf(requests[3].body), "SRC-ID", "", "translate"));
  EXPECT_EQ(requests[4].body + requests[6].body, "");
  EXPECT_EQ(requests[5].body, R"({"token":"proposed"})");
}

TEST_F(RequestContract, BusyIsResentThreeTimesHalfASecondApartForTranscribeOnly) {
  signIn();
  server.enqueue("POST", "transcribe", Reply::busy(), 10);
  server.enqueue("POST", "text", Reply::busy(), 10);
  auto outcome = start(transcribe());
  for (size_t sent = 1; sent <= 3; ++sent) {
    loop.runUntil([&] { return clock.pendingTimers() == 1; });
    clock.advance(std::chrono::milliseconds(499));
    EXPECT_EQ(server.requestCount(), sent);
    clock.advance(std::chrono::milliseconds(1));
  }
  loop.runUntil([&] { return outcome->done; });
  EXPECT_EQ(outcome->errorAs<ServiceError>(), ServiceError::service("request_busy"));
  EXPECT_EQ(server.requests().back().body, server.requests().front().body);
  EXPECT_EQ(run(service.clean("x", std::nullopt)).errorAs<ServiceError>(),
            ServiceError::service("request_busy"));
  EXPECT_EQ(server.requestCount(), 5u);
  EXPECT_THAT(log.lines(),
              ElementsAre("http stage=transcribe status=503 elapsed_ms=0",
                          "http stage=transcribe status=503 elapsed_ms=500",
                          "http stage=transcribe status=503 elapsed_ms=1000",
                          "http stage=transcribe status=503 elapsed_ms=1500",
                          "http failed stage=transcribe elapsed_ms=1500 service=request_busy",
                          "http stage=text status=503 elapsed_ms=0",
                          "http failed stage=text elapsed_ms=0 service=request_busy"));
}

TEST_F(RequestContract, RefusalsMapToRejectedOrServiceWithTheirLogLines) {
  const std::pair<Reply, ServiceError> rows[] = {
      {Reply::json(500, ""), ServiceError::rejected(500)},
      {Reply::json(401, "unauthorised"), ServiceError::rejected(401)},
      {Reply::error(403, "access_disabled"), ServiceError::service("access_disabled")},
      {Reply::error(429, ""), ServiceError::service("")},
      {Reply::error(400, std::string(80, 'a')), ServiceError::service(std::string(80, 'a'))},
      {Reply::error(400, std::string(81, 'a')), ServiceError::rejected(400)},
      {Reply::error(400, "bad-code"), ServiceError::rejected(400)},
      {Reply::error(400, "Bad_code"), ServiceError::rejected(400)},
      {Reply::error(400, "caf\xC3\xA9"), ServiceError::rejected(400)},
      {Reply::json(400, R"({"error":"invalid_access"})"), ServiceError::rejected(400)},
      {Reply::json(400, R"({"error":{"code":7}})"), ServiceError::rejected(400)},
      {Reply::json(302, ""), ServiceError::rejected(302)},  // a redirect is not followed
  };
  signIn();
  std::vector<std::string> expectedLines;
  for (auto [reply, expected] : rows) {
    if (reply.status == 302) reply.headers = {{"Location", "https://elsewhere.example/steal"}};
    server.enqueue("POST", "text", reply);
    EXPECT_EQ(run(service.clean("x", std::nullopt)).errorAs<ServiceError>(), expected);
    expectedLines.push_back("http stage=text status=" + std::to_string(reply.status) +
                            " elapsed_ms=0");
    expectedLines.push_back("http failed stage=text elapsed_ms=0 " + expected.diagnosticCode());
  }
  EXPECT_EQ(server.requestCount(), std::size(rows));
  EXPECT_EQ(log.lines(), expectedLines);
}

TEST_F(RequestContract, UnusableSuccessRepliesLogOnlyTheReply) {
  signIn();
  server.enqueue("POST", "text", Reply::text("\n"));
  EXPECT_EQ(run(service.clean("x", std::nullopt)).errorAs<ServiceError>(),
            ServiceError::emptyTranscript());
  server.enqueue("POST", "text", Reply::json(200, "<html>"));
  run(service.applySpokenTask("a", "b", std::nullopt)).errorAs<boost::system::system_error>();
  EXPECT_THAT(log.lines(), ElementsAre("http stage=text status=200 elapsed_ms=0",
                                       "http stage=text status=200 elapsed_ms=0"));
}

TEST_F(RequestContract, FailuresBeforeSendingLogNothing) {
  // Nobody signed in.
  EXPECT_EQ(run(transcribe()).errorAs<ServiceError>(), ServiceError::missingInvitation());
  // An empty token, or one that would break out of its header line, is no token on every path.
  for (const char* unusable : {"", "tok\r\nX-Injected: 1"}) {
    signIn(unusable);
    EXPECT_EQ(run(service.accountStatus()).errorAs<ServiceError>(),
              ServiceError::missingInvitation());
    EXPECT_EQ(service.streamingToken(), std::nullopt);
    EXPECT_FALSE(service.isActivated());
  }
  secrets.lookupFailure = SecretStoreFailure::timedOut;
  secrets.store(SpeechServiceClient::credentialService, server.baseURL(), "tok");
  EXPECT_EQ(run(service.clean("x", std::nullopt)).errorAs<ServiceError>(),
            ServiceError::missingInvitation());

  auto invalid = makeService("http://127.0.0.1/wrenly/v1/");
  EXPECT_EQ(invalid.endpoint(), std::nullopt);
  EXPECT_EQ(run(invalid.accountStatus()).errorAs<ServiceError>(), ServiceError::invalidURL());
  EXPECT_EQ(run(invalid.removeAccess()).errorAs<ServiceError>(), ServiceError::invalidURL());
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(RequestContract, TransportFailuresPassThroughWithAFailureLine) {
  signIn();
  SpeechServiceClient untrusted(platform, ServiceConfiguration{server.baseURL(), std::nullopt});
  EXPECT_TRUE(run(untrusted.accountStatus()).errorAs<TransportError>().isTlsFailure());
  ContractServer other;
  SpeechServiceClient wrongTrust(platform,
                                 ServiceConfiguration{server.baseURL(), other.certificateFile()});
  EXPECT_TRUE(run(wrongTrust.accountStatus()).errorAs<TransportError>().isTlsFailure());
  EXPECT_EQ(server.requestCount(), 0u);

  // Signing out while offline keeps the user signed in.
  auto closed = makeService(ContractServer().baseURL());  // that server is gone again
  signIn("tok", *closed.endpoint());
  const auto refused = run(closed.signOut()).errorAs<TransportError>();
  EXPECT_EQ(refused.code(), TransportError::couldNotConnect);
  EXPECT_TRUE(closed.isActivated());
  // Nothing listens on this machine's port: the message names the stopped local service.
  EXPECT_EQ(describe(refused), Messages::localServiceNotRunning);
  EXPECT_EQ(describe(TransportError(TransportError::couldNotConnect)), Messages::cannotConnect);
  EXPECT_THAT(log.lines(), ElementsAre("http failed stage=access elapsed_ms=0 code=60",
                                       "http failed stage=access elapsed_ms=0 code=60",
                                       "http failed stage=account/session elapsed_ms=0 code=7"));

  setenv("WRENLY_SERVICE_URL", server.baseURL().c_str(), 1);
  setenv("WRENLY_CA_FILE", server.certificateFile().c_str(), 1);
  SpeechServiceClient fromEnvironment(platform);
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("WRENLY_CA_FILE");
  EXPECT_EQ(run(fromEnvironment.accountStatus()).value, AccountStatus{true});
}

// The one test that waits for a real transfer timeout: the clean-up limit is part of the
// behaviour and is enforced by the transfer library, not by the clock port.
TEST_F(RequestContract, CleanGivesUpAfterThreeSecondsAgainstAStallingService) {
  signIn();
  server.enqueue("POST", "text", Reply::stalled());
  auto began = std::chrono::steady_clock::now();
  auto outcome = run(service.clean("x", std::nullopt));
  auto took = std::chrono::steady_clock::now() - began;
  EXPECT_TRUE(outcome.errorAs<TransportError>().isTimeout());
  EXPECT_GE(took, std::chrono::milliseconds(2900));
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_THAT(log.lines(), ElementsAre("http failed stage=text elapsed_ms=0 code=28"));
  server.releaseStalled();
}

TEST_F(RequestContract, CancellingTheCallerAbortsTheTransferOrTheBusyWait) {
  signIn();
  server.enqueue("POST", "transcribe", Reply::stalled());
  server.enqueue("POST", "transcribe", Reply::busy(), 10);
  auto stalled = start(transcribe());
  loop.runUntil([&] { return server.requestCount() == 1; });
  cancel.emit(asio::cancellation_type::terminal);
  loop.runUntil([&] { return stalled->done; });
  EXPECT_TRUE(stalled->errorAs<TransportError>().isCancellation());
  server.releaseStalled();

  auto busy = start(transcribe());
  loop.runUntil([&] { return clock.pendingTimers() == 1; });
  cancel.emit(asio::cancellation_type::terminal);
  loop.runUntil([&] { return busy->done; });
  EXPECT_EQ(busy->errorAs<boost::system::system_error>().code(), asio::error::operation_aborted);
  EXPECT_EQ(server.requestCount(), 2u);
  EXPECT_THAT(log.lines(), ElementsAre("http failed stage=transcribe elapsed_ms=0 code=42",
                                       "http stage=transcribe status=503 elapsed_ms=0",
                                       "http failed stage=transcribe elapsed_ms=0 code=" +
                                           std::to_string(int(asio::error::operation_aborted))));
}

}  // namespace
