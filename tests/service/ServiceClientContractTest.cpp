#include <gmock/gmock.h>

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>
#include <regex>

#include "ServiceHarness.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "service/BrowserSignIn.h"
#include "service/ReplyDecoding.h"
#include "service/RequestBodies.h"
#include "service/ServiceError.h"
#include "service/TransportError.h"
#include "support/service/ScriptedBrowser.h"

using namespace wrenly;

namespace {

using ::testing::ElementsAre;
using Header = std::pair<std::string, std::string>;
using Reply = ContractServer::Reply;

// The service client and its browser sign-in, with a browser the test answers.
class ServiceContract : public ServiceHarness {
 protected:
  ~ServiceContract() override {
    // A call that a failing test left waiting ends here, before the client it runs in.
    cancel.emit(asio::cancellation_type::terminal);
    loop.settle();
  }

  std::string flag() const { return "active." + server.baseURL(); }
  std::optional<std::string> storedToken() {
    return secrets.lookup(SpeechServiceClient::credentialService, server.baseURL()).secret();
  }
  asio::awaitable<std::string> transcribe() {
    return service.transcribe(wav, "auto", std::nullopt, "1b4e28ba-2fa1-11d2-883f-0016d3cca427",
                              "");
  }
  // Answers like Apple's page for the first sign-in on this server: approves the proposed token
  // and sends the browser back with `query`.
  void completeWith(std::string query) {
    browser.respond = [this, query] {
      server.approveSignIn();
      return "wrenly-auth://complete" + query;
    };
  }

  const std::vector<std::uint8_t> wav = std::vector<std::uint8_t>(1001, 0xA7);
  SpeechServiceClient service = makeService(server.baseURL());
  ScriptedBrowser browser;
  BrowserSignIn login{service, browser, clock};
};

// Every call sends the fixed headers in order and its body untouched; the log of them all holds
// no token, text or audio.
TEST_F(ServiceContract, EveryCallSendsTheFixedHeadersAndItsBodyAndLogsNoneOfThem) {
  const std::string token = "proposed-secret-token";
  server.setTranscript("秘密的轉錄內容");
  server.setCleanedText("整理後的秘密");
  EXPECT_TRUE(run(service.startSignIn(token)).value);
  server.approveSignIn();
  EXPECT_TRUE(run(service.completeSignIn(token)).value);
  EXPECT_EQ(run(transcribe()).value, "秘密的轉錄內容");
  EXPECT_EQ(run(service.clean("要清理的文字", std::nullopt)).value, "整理後的秘密");
  server.enqueue("POST", "text", Reply::json(418, R"({"detail":"leaky-body-text"})"));
  EXPECT_FALSE(run(service.clean("要清理的文字", std::nullopt)).value);
  EXPECT_EQ(run(service.applySpokenTask("選取的文字", "指示內容", "src-id")).value, "已改寫的文字");
  EXPECT_TRUE(run(service.signOut()).value);

  auto requests = server.requests();
  std::string calls;
  for (auto& request : requests) {
    calls += request.method + " " + request.target + "; ";
    std::vector<Header> expected = {{"Content-Type", "application/json"},
                                    {"Accept", "application/json"},
                                    {"Cache-Control", "no-store"}};
    if (request.path != "account/mac/start")
      expected.emplace_back("Authorization", "Bearer " + token);
    std::erase_if(request.headers, [](const Header& h) {  // the transfer library's own
      return h.first == "Host" || h.first == "Content-Length";
    });
    EXPECT_EQ(request.headers, expected) << request.path;
  }
  EXPECT_EQ(calls,
            "POST /wrenly/v1/account/mac/start; GET /wrenly/v1/access; POST /wrenly/v1/transcribe; "
            "POST /wrenly/v1/text; POST /wrenly/v1/text; POST /wrenly/v1/text; "
            "DELETE /wrenly/v1/account/session; ");
  auto idOf = [](const std::string& body) { return body.substr(14, 36); };
  EXPECT_EQ(requests[0].body, R"({"token":")" + token + R"("})");
  EXPECT_EQ(requests[1].body + requests[6].body, "");
  EXPECT_EQ(requests[2].body,
            transcribeBody(wav, "auto", std::nullopt, "1B4E28BA-2FA1-11D2-883F-0016D3CCA427"));
  EXPECT_NE(idOf(requests[3].body), idOf(requests[4].body));
  EXPECT_EQ(requests[5].body,
            spokenTaskBody(idOf(requests[5].body), "SRC-ID", "選取的文字", "指示內容"));

  std::string logged;
  for (const auto& line : log.lines()) logged += line + "\n";
  EXPECT_NE(logged.find("http stage=transcribe status=200"), std::string::npos);
  for (const char* secret : {"proposed-secret-token", "秘密", "要清理", "選取", "指示", "p6enp6en",
                             "leaky-body-text", "Bearer"}) {
    EXPECT_EQ(logged.find(secret), std::string::npos) << secret;
  }
}

TEST_F(ServiceContract, BusyIsResentThreeTimesHalfASecondApartForTranscribeOnly) {
  signIn();
  server.enqueue("POST", "transcribe", Reply::error(503, "request_busy"), 10);
  server.enqueue("POST", "text", Reply::error(503, "request_busy"), 10);
  auto outcome = start(transcribe());
  for (size_t sent = 1; sent <= 3; ++sent) {
    loop.runUntil([&] { return clock.pendingTimers() == 1; });
    clock.advance(std::chrono::milliseconds(499));
    EXPECT_EQ(server.requestCount(), sent);
    clock.advance(std::chrono::milliseconds(1));
  }
  loop.runUntil([&] { return outcome->done || clock.pendingTimers() == 1; });
  ASSERT_TRUE(outcome->done) << "resent a fourth time";
  EXPECT_EQ(outcome->errorAs<ServiceError>(), ServiceError::service("request_busy"));
  EXPECT_EQ(server.requests().back().body, server.requests().front().body);
  EXPECT_EQ(run(service.clean("x", std::nullopt)).code(), "service=request_busy");
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

// A refusal is logged as the reply and then the failure; a success reply that cannot be used,
// as the reply alone.
TEST_F(ServiceContract, RefusedAndUnusableRepliesWithTheirLogLines) {
  const std::pair<Reply, std::string> rows[] = {
      {Reply::json(500, ""), "http=500"},
      {Reply::json(401, "unauthorised"), "http=401"},
      {Reply::error(403, "access_disabled"), "service=access_disabled"},
      {Reply::error(429, ""), "service="},
      {Reply::error(400, std::string(80, 'a')), "service=" + std::string(80, 'a')},
      {Reply::error(400, std::string(81, 'a')), "http=400"},
      {Reply::error(400, "bad-code"), "http=400"},
      {Reply::error(400, "Bad_code"), "http=400"},
      {Reply::error(400, "caf\xC3\xA9"), "http=400"},
      {Reply::json(400, R"({"error":"invalid_access"})"), "http=400"},
      {Reply::json(400, R"({"error":{"code":7}})"), "http=400"},
      {Reply::json(302, ""), "http=302"},  // a redirect is not followed
      {Reply::text("\n"), "empty_transcript"},
      {Reply::json(200, "<html>"), "code=1"},  // the parser's own error
  };
  signIn();
  std::vector<std::string> expectedLines;
  for (auto [reply, expected] : rows) {
    if (reply.status == 302) reply.headers = {{"Location", "https://elsewhere.example/steal"}};
    server.enqueue("POST", "text", reply);
    EXPECT_EQ(run(service.clean("x", std::nullopt)).code(), expected);
    expectedLines.push_back("http stage=text status=" + std::to_string(reply.status) +
                            " elapsed_ms=0");
    if (reply.status != 200)
      expectedLines.push_back("http failed stage=text elapsed_ms=0 " + expected);
  }
  EXPECT_EQ(server.requestCount(), std::size(rows));
  EXPECT_EQ(log.lines(), expectedLines);
}

TEST_F(ServiceContract, FailuresBeforeSendingLogNothing) {
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

TEST_F(ServiceContract, TransportFailuresPassThroughWithAFailureLine) {
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

// A stalled transfer ends at its limit, or when its caller is cancelled, as does the wait before
// "busy" is resent. This is the one test that waits for a real transfer timeout: the clean-up
// limit is part of the behaviour and is enforced by the transfer library, not by the clock port.
TEST_F(ServiceContract, StallsAndBusyWaitsEndAtTheLimitOrWhenTheCallerIsCancelled) {
  signIn();
  server.enqueue("POST", "text", Reply::stalled());
  auto began = std::chrono::steady_clock::now();
  auto outcome = run(service.clean("x", std::nullopt));
  auto took = std::chrono::steady_clock::now() - began;
  EXPECT_TRUE(outcome.errorAs<TransportError>().isTimeout());
  EXPECT_GE(took, std::chrono::milliseconds(2900));
  EXPECT_LT(took, std::chrono::seconds(10));
  server.releaseStalled();

  server.enqueue("POST", "transcribe", Reply::stalled());
  server.enqueue("POST", "transcribe", Reply::error(503, "request_busy"), 10);
  auto stalled = start(transcribe());
  loop.runUntil([&] { return server.requestCount() == 2; });
  cancel.emit(asio::cancellation_type::terminal);
  loop.runUntil([&] { return stalled->done; });
  EXPECT_TRUE(stalled->errorAs<TransportError>().isCancellation());
  server.releaseStalled();

  auto busy = start(transcribe());
  loop.runUntil([&] { return clock.pendingTimers() == 1; });
  cancel.emit(asio::cancellation_type::terminal);
  loop.runUntil([&] { return busy->done; });
  EXPECT_EQ(busy->errorAs<boost::system::system_error>().code(), asio::error::operation_aborted);
  EXPECT_EQ(server.requestCount(), 3u);
  EXPECT_THAT(log.lines(), ElementsAre("http failed stage=text elapsed_ms=0 code=28",
                                       "http failed stage=transcribe elapsed_ms=0 code=42",
                                       "http stage=transcribe status=503 elapsed_ms=0",
                                       "http failed stage=transcribe elapsed_ms=0 code=" +
                                           std::to_string(int(asio::error::operation_aborted))));
}

TEST_F(ServiceContract, SignInStoresAUrlSafeTokenAndTheFlagAndReplacesThemInPlace) {
  EXPECT_FALSE(service.isActivated());
  completeWith("?state=state1");
  EXPECT_EQ(run(login.signIn()).value, AccountStatus{true});
  EXPECT_EQ(browser.shownPages,
            std::vector<std::string>{
                "wrenly-auth https://appleid.apple.com/auth/authorize?state=state1"});
  const auto token = service.streamingToken().value_or("");
  EXPECT_TRUE(std::regex_match(token, std::regex("^[A-Za-z0-9_-]{43}$"))) << token;
  EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer " + token);
  EXPECT_TRUE(service.isActivated());
  EXPECT_FALSE(login.isSigningIn());

  server.addAccount("proposed-2");
  EXPECT_TRUE(run(service.completeSignIn("proposed-2")).value);
  EXPECT_EQ(storedToken(), "proposed-2");
  EXPECT_EQ(secrets.size(), 1u);

  // The flag alone decides activation, not whether there is a token for streaming.
  settings.remove(flag());
  EXPECT_FALSE(service.isActivated());
  EXPECT_EQ(service.streamingToken(), "proposed-2");
}

TEST_F(ServiceContract, InactiveUndecodableOrUnstorableStatusStoresNothing) {
  server.enqueue("GET", "access", Reply::json(200, R"({"active":false})"), 2);
  EXPECT_EQ(run(service.completeSignIn("t")).errorAs<ServiceError>(),
            ServiceError::invalidResponse());
  signIn("stored");
  settings.remove(flag());
  EXPECT_EQ(run(service.accountStatus()).value, AccountStatus{false});

  server.enqueue("GET", "access", Reply::json(200, R"({"status":"ok"})"), 2);
  EXPECT_EQ(run(service.completeSignIn("t")).errorAs<ReplyDecodingError>().value(),
            ReplyDecodingFailure::missingMember);
  EXPECT_EQ(run(service.accountStatus()).errorAs<ReplyDecodingError>().value(),
            ReplyDecodingFailure::missingMember);

  secrets.writeFailure = SecretStoreFailure::locked;
  // The keyring's own failure, not a fault of the service's reply.
  EXPECT_EQ(run(service.completeSignIn("stored")).errorAs<SecretStoreError>().value(),
            SecretStoreFailure::locked);
  secrets.writeFailure.reset();
  EXPECT_EQ(storedToken(), "stored");
  EXPECT_FALSE(settings.contains(flag()));
}

TEST_F(ServiceContract, SignOutAndRemovalClearLocallyOnlyWhenAccepted) {
  signIn("tok");
  server.enqueue("DELETE", "account/session", Reply::error(500, "internal"));
  EXPECT_EQ(run(service.signOut()).errorAs<ServiceError>(), ServiceError::service("internal"));
  server.enqueue("DELETE", "access", Reply::json(503, ""));
  EXPECT_EQ(run(service.removeAccess()).errorAs<ServiceError>(), ServiceError::rejected(503));
  EXPECT_TRUE(service.isActivated());

  server.enqueue("DELETE", "account/session", Reply::json(200, "not even json"));
  EXPECT_TRUE(run(service.signOut()).value);
  EXPECT_FALSE(storedToken() || settings.contains(flag()));

  signIn("tok2");
  EXPECT_TRUE(run(service.removeAccess()).value);
  EXPECT_FALSE(storedToken() || settings.contains(flag()));
  EXPECT_EQ(server.requests().back().method + " " + server.requests().back().target,
            "DELETE /wrenly/v1/access");
  EXPECT_EQ(server.requests().back().body, "");
}

// A sign-in that the user cancels or abandons, whose callback answers with an error, whose page
// is off the expected host, or that finds no browser stores nothing.
TEST_F(ServiceContract, BrowserSignInThatEndsOtherwiseStoresNothing) {
  for (bool abandon : {false, true}) {
    auto outcome = start(login.signIn());
    loop.runUntil([&] { return clock.pendingTimers() == 1; });  // the browser shows the page
    if (abandon) {
      clock.advance(BrowserSignIn::abandonAfter - std::chrono::seconds(1));
      EXPECT_FALSE(outcome->done);
      clock.advance(std::chrono::seconds(1));
    } else {
      login.cancel();
    }
    loop.runUntil([&] { return outcome->done; });
    EXPECT_EQ(outcome->errorAs<BrowserSessionError>().value(), BrowserSessionFailure::cancelled);
  }
  completeWith("?error=denied&state=state3");
  EXPECT_EQ(run(login.signIn()).errorAs<ServiceError>(), ServiceError::service("login_failed"));
  server.enqueue(
      "POST", "account/mac/start",
      Reply::json(200, R"({"authorizationURL":"HTTPS://appleid.apple.com/a","state":"s"})"));
  EXPECT_EQ(run(login.signIn()).errorAs<ServiceError>(), ServiceError::invalidResponse());
  browser.refuseToStart = true;
  EXPECT_EQ(run(login.signIn()).errorAs<ServiceError>(),
            ServiceError::service("login_unavailable"));
  EXPECT_EQ(browser.shownPages.size(), 4u);
  EXPECT_EQ(service.streamingToken(), std::nullopt);
  EXPECT_FALSE(login.isSigningIn());
  login.cancel();  // nothing to cancel: harmless
}

}  // namespace
