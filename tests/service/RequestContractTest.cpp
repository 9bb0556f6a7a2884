#include <gmock/gmock.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include "ServiceHarness.h"
#include "platform/Uuid.h"
#include "service/MacServiceError.h"
#include "service/RequestBodies.h"
#include "service/TransportError.h"

namespace {

using ::testing::ElementsAre;
using Header = std::pair<std::string, std::string>;

std::vector<std::uint8_t> wavOf(size_t size) {
  std::vector<std::uint8_t> wav(size);
  for (size_t i = 0; i < size; ++i) wav[i] = static_cast<std::uint8_t>(i * 7);
  return wav;
}

// Headers the transfer library adds on its own are left out.
std::vector<Header> ownHeaders(const ContractService::Request& request) {
  std::vector<Header> result;
  for (const auto& header : request.headers) {
    if (header.first != "Host" && header.first != "Content-Length") result.push_back(header);
  }
  return result;
}

class RequestContract : public ServiceHarness {};

TEST_F(RequestContract, TranscribeSendsHeadersAndBodyExactly) {
  signIn("tok");
  auto service = makeService();
  auto wav = wavOf(1001);
  auto outcome = run(service.transcribe(wav, "auto", std::nullopt, makeUuid()));
  ASSERT_TRUE(outcome.value) << localizedDescriptionOf(outcome.error);
  EXPECT_EQ(*outcome.value, "測試轉錄");

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/wrenly/v1/transcribe");
  EXPECT_THAT(
      ownHeaders(requests[0]),
      ElementsAre(Header{"Content-Type", "application/json"}, Header{"Accept", "application/json"},
                  Header{"Cache-Control", "no-store"}, Header{"Authorization", "Bearer tok"}));
  // The body names the same request ID it was given.
  auto id = requests[0].body.substr(14, 36);
  EXPECT_EQ(requests[0].body, transcribeBody(wav, "auto", std::nullopt, id));
  EXPECT_NE(requests[0].body.find("\"streamRecoveryID\":\"\"}"), std::string::npos);
}

TEST_F(RequestContract, TextCallsSendFreshRequestIdsAndNoTokenOnlyWhenUnauthenticated) {
  signIn("tok");
  auto service = makeService();
  EXPECT_EQ(run(service.clean("hello", std::nullopt)).value, "已整理的文字");
  EXPECT_EQ(run(service.clean("hello", std::nullopt)).value, "已整理的文字");
  EXPECT_EQ(run(service.applySpokenTask("", "translate", std::string("src-id"))).value,
            "已改寫的文字");
  EXPECT_TRUE(run(service.beginAppleLogin("proposed")).value);

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  auto idOf = [](const std::string& body) { return body.substr(14, 36); };
  EXPECT_NE(idOf(requests[0].body), idOf(requests[1].body));
  EXPECT_EQ(requests[0].body, cleanBody(idOf(requests[0].body), std::nullopt, "hello"));
  EXPECT_EQ(requests[2].body,
            spokenTaskBody(idOf(requests[2].body), std::string("SRC-ID"), "", "translate"));
  EXPECT_EQ(requests[3].target, "/wrenly/v1/account/mac/start");
  EXPECT_EQ(requests[3].body, R"({"token":"proposed"})");
  EXPECT_THAT(ownHeaders(requests[3]), ElementsAre(Header{"Content-Type", "application/json"},
                                                   Header{"Accept", "application/json"},
                                                   Header{"Cache-Control", "no-store"}));
}

TEST_F(RequestContract, AccountCallsWithoutBodyStillSendTheContentType) {
  signIn("tok");
  auto service = makeService();
  EXPECT_TRUE(run(service.accountStatus()).value);
  EXPECT_TRUE(run(service.signOut()).value);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[1].method, "DELETE");
  EXPECT_EQ(requests[1].target, "/wrenly/v1/account/session");
  for (const auto& request : requests) {
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("Authorization"), "Bearer tok");
  }
}

TEST_F(RequestContract, BusyTranscribeIsResentThreeTimesHalfASecondApart) {
  signIn();
  server.enqueue("POST", "transcribe", ContractService::Reply::busy(), 10);
  auto service = makeService();
  auto wav = wavOf(10);
  auto outcome = start(service.transcribe(wav, "auto", std::nullopt, "ID"));
  for (size_t sent = 1; sent <= 3; ++sent) {
    runUntil([&] { return clock.pendingTimers() == 1; });
    EXPECT_EQ(server.requestCount(), sent);
    clock.advance(std::chrono::milliseconds(499));
    EXPECT_EQ(clock.pendingTimers(), 1u);
    EXPECT_EQ(server.requestCount(), sent);
    clock.advance(std::chrono::milliseconds(1));
  }
  runUntil([&] { return outcome->done; });
  EXPECT_EQ(outcome->errorAs<MacServiceError>(), MacServiceError::service("request_busy"));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 4u);
  for (const auto& request : requests) EXPECT_EQ(request.body, requests[0].body);
  EXPECT_THAT(logLines(), ElementsAre("http stage=transcribe status=503 elapsed_ms=0",
                                      "http stage=transcribe status=503 elapsed_ms=500",
                                      "http stage=transcribe status=503 elapsed_ms=1000",
                                      "http stage=transcribe status=503 elapsed_ms=1500",
                                      "http failed stage=transcribe elapsed_ms=1500 "
                                      "service=request_busy"));
}

TEST_F(RequestContract, BusyTranscribeThatClearsSucceeds) {
  signIn();
  server.enqueue("POST", "transcribe", ContractService::Reply::busy(), 2);
  auto service = makeService();
  auto wav = wavOf(10);
  auto outcome = start(service.transcribe(wav, "auto", std::nullopt, "ID"));
  while (!outcome->done) {
    runUntil([&] { return outcome->done || clock.pendingTimers() == 1; });
    if (!outcome->done) clock.advance(std::chrono::milliseconds(500));
  }
  EXPECT_EQ(outcome->value, "測試轉錄");
  EXPECT_EQ(server.requestCount(), 3u);
}

TEST_F(RequestContract, BusyCleanFailsAtOnce) {
  signIn();
  server.enqueue("POST", "text", ContractService::Reply::busy(), 10);
  auto service = makeService();
  auto outcome = run(service.clean("x", std::nullopt));
  EXPECT_EQ(outcome.errorAs<MacServiceError>(), MacServiceError::service("request_busy"));
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(RequestContract, RefusalsMapToRejectedOrServiceWithTheirLogLines) {
  struct Row {
    ContractService::Reply reply;
    MacServiceError expected;
  };
  using Reply = ContractService::Reply;
  const Row rows[] = {
      {Reply::json(500, ""), MacServiceError::rejected(500)},
      {Reply::json(401, "unauthorised"), MacServiceError::rejected(401)},
      {Reply::error(403, "access_disabled"), MacServiceError::service("access_disabled")},
      {Reply::error(429, ""), MacServiceError::service("")},
      {Reply::error(400, "bad-code"), MacServiceError::rejected(400)},
      {Reply::error(400, "Bad_code"), MacServiceError::rejected(400)},
      {Reply::error(400, std::string(81, 'a')), MacServiceError::rejected(400)},
      {Reply::json(400, R"({"error":"invalid_access"})"), MacServiceError::rejected(400)},
      {Reply::json(302, ""), MacServiceError::rejected(302)},
  };
  signIn();
  auto service = makeService();
  for (const auto& row : rows) {
    auto reply = row.reply;
    if (reply.status == 302) reply.headers = {{"Location", "https://elsewhere.example/steal"}};
    server.enqueue("POST", "text", reply);
    auto outcome = run(service.clean("x", std::nullopt));
    EXPECT_EQ(outcome.errorAs<MacServiceError>(), row.expected) << row.expected.diagnosticCode();
  }
  EXPECT_EQ(server.requestCount(), std::size(rows));  // the redirect was not followed
  auto lines = logLines();
  ASSERT_EQ(lines.size(), 2 * std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(lines[2 * i],
              "http stage=text status=" + std::to_string(rows[i].reply.status) + " elapsed_ms=0");
    EXPECT_EQ(lines[2 * i + 1],
              "http failed stage=text elapsed_ms=0 " + rows[i].expected.diagnosticCode());
  }
}

TEST_F(RequestContract, UnusableSuccessRepliesLogOnlyTheReply) {
  signIn();
  auto service = makeService();
  server.enqueue("POST", "text", ContractService::Reply::text("\n"));
  EXPECT_EQ(run(service.clean("x", std::nullopt)).errorAs<MacServiceError>(),
            MacServiceError::emptyTranscript());
  server.enqueue("POST", "text", ContractService::Reply::json(200, "<html>"));
  run(service.applySpokenTask("a", "b", std::nullopt)).errorAs<boost::system::system_error>();
  EXPECT_THAT(logLines(), ElementsAre("http stage=text status=200 elapsed_ms=0",
                                      "http stage=text status=200 elapsed_ms=0"));
}

TEST_F(RequestContract, FailuresBeforeSendingLogNothing) {
  auto service = makeService();  // nobody signed in
  auto wav = wavOf(10);
  EXPECT_EQ(run(service.transcribe(wav, "auto", std::nullopt, "ID")).errorAs<MacServiceError>(),
            MacServiceError::missingInvitation());
  secrets.store(MacVoiceService::credentialService, server.baseURL(), "tok\r\nX-Injected: 1");
  EXPECT_EQ(run(service.accountStatus()).errorAs<MacServiceError>(),
            MacServiceError::missingInvitation());
  secrets.failLookups(SecretStoreFailure::timedOut);
  secrets.store(MacVoiceService::credentialService, server.baseURL(), "tok");
  EXPECT_EQ(run(service.clean("x", std::nullopt)).errorAs<MacServiceError>(),
            MacServiceError::missingInvitation());

  MacVoiceService invalid(platform, ServiceConfiguration{"http://127.0.0.1/wrenly/v1/", {}});
  EXPECT_EQ(invalid.endpoint(), std::nullopt);
  EXPECT_EQ(run(invalid.accountStatus()).errorAs<MacServiceError>(), MacServiceError::invalidURL());
  EXPECT_EQ(run(invalid.removeAccess()).errorAs<MacServiceError>(), MacServiceError::invalidURL());
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_TRUE(logLines().empty());
}

TEST_F(RequestContract, ConnectionFailurePassesThroughWithAFailureLine) {
  unsigned short closedPort;
  {
    ContractServer gone;
    closedPort = gone.port();
  }
  MacVoiceService service(
      platform,
      ServiceConfiguration{"https://127.0.0.1:" + std::to_string(closedPort) + "/wrenly/v1/",
                           server.certificateFile()});
  secrets.store(MacVoiceService::credentialService, *service.endpoint(), "tok");
  auto outcome = run(service.clean("x", std::nullopt));
  EXPECT_EQ(outcome.errorAs<TransportError>().code(), TransportError::couldNotConnect);
  EXPECT_THAT(logLines().back(), "http failed stage=text elapsed_ms=0 code=7");
}

TEST_F(RequestContract, UntrustedCertificateIsRefused) {
  signIn();
  MacVoiceService service(platform, ServiceConfiguration{server.baseURL(), std::nullopt});
  auto error = run(service.accountStatus()).errorAs<TransportError>();
  EXPECT_TRUE(error.isTlsFailure()) << error.code();
  EXPECT_EQ(server.requestCount(), 0u);

  // Trusting another server's certificate does not help either.
  ContractServer other;
  MacVoiceService wrongTrust(platform,
                             ServiceConfiguration{server.baseURL(), other.certificateFile()});
  EXPECT_TRUE(run(wrongTrust.accountStatus()).errorAs<TransportError>().isTlsFailure());
}

TEST_F(RequestContract, TrustFileFromTheEnvironmentIsHonoured) {
  signIn();
  setenv("WRENLY_SERVICE_URL", server.baseURL().c_str(), 1);
  setenv("WRENLY_CA_FILE", server.certificateFile().c_str(), 1);
  MacVoiceService service(platform);
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("WRENLY_CA_FILE");
  EXPECT_EQ(run(service.accountStatus()).value, MacAccountStatus{true});
}

// The one test that waits for a real transfer timeout: the clean-up limit is part of the
// behaviour and is enforced by the transfer library, not by the clock port.
TEST_F(RequestContract, CleanGivesUpAfterThreeSecondsAgainstAStallingService) {
  signIn();
  server.enqueue("POST", "text", ContractService::Reply::stalled());
  auto service = makeService();
  auto began = std::chrono::steady_clock::now();
  auto outcome = run(service.clean("x", std::nullopt));
  auto took = std::chrono::steady_clock::now() - began;
  EXPECT_TRUE(outcome.errorAs<TransportError>().isTimeout());
  EXPECT_GE(took, std::chrono::milliseconds(2900));
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_THAT(logLines(), ElementsAre("http failed stage=text elapsed_ms=0 code=28"));
  server.releaseStalled();
}

TEST_F(RequestContract, CancellingTheCallerAbortsTheTransfer) {
  signIn();
  server.enqueue("POST", "transcribe", ContractService::Reply::stalled());
  auto service = makeService();
  auto wav = wavOf(10);
  asio::cancellation_signal cancel;
  auto outcome = start(service.transcribe(wav, "auto", std::nullopt, "ID"), &cancel);
  runUntil([&] { return server.requestCount() == 1; });
  cancel.emit(asio::cancellation_type::terminal);
  runUntil([&] { return outcome->done; });
  EXPECT_TRUE(outcome->errorAs<TransportError>().isCancellation());
  EXPECT_THAT(logLines(), ElementsAre("http failed stage=transcribe elapsed_ms=0 code=42"));
  server.releaseStalled();
}

TEST_F(RequestContract, CancellingTheBusyWaitEndsTheCall) {
  signIn();
  server.enqueue("POST", "transcribe", ContractService::Reply::busy(), 10);
  auto service = makeService();
  auto wav = wavOf(10);
  asio::cancellation_signal cancel;
  auto outcome = start(service.transcribe(wav, "auto", std::nullopt, "ID"), &cancel);
  runUntil([&] { return clock.pendingTimers() == 1; });
  cancel.emit(asio::cancellation_type::terminal);
  runUntil([&] { return outcome->done; });
  EXPECT_EQ(outcome->errorAs<boost::system::system_error>().code(), asio::error::operation_aborted);
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(logLines().back(), "http failed stage=transcribe elapsed_ms=0 code=" +
                                   std::to_string(int(asio::error::operation_aborted)));
}

}  // namespace
