// The service from the client's side: every call made by the program's own client code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/asio/ip/tcp.hpp>
#include <thread>

#include "LocalService.h"
#include "audio/PcmEncoding.h"
#include "base/Uuid.h"
#include "server/LoopbackPeer.h"
#include "service/BrowserSignIn.h"
#include "service/RequestBodies.h"
#include "service/ServiceError.h"
#include "service/ServiceHarness.h"
#include "service/TransportError.h"
#include "streaming/LiveRecognitionClient.h"
#include "support/TestCertificate.h"
#include "support/service/ContractServer.h"

using namespace wrenly;
using namespace wrenly::speech;
using namespace std::string_literals;

namespace {

constexpr const char* token = "b6Yx1n0Jm4d3Qw7Ls2Kp9Vt5Ha8Ge1Rc6Uz0Fi4Oo3";
const std::string bearer = std::string("Authorization: Bearer ") + token;
// The headers of a stream's upgrade, but for its host and credentials.
const std::string upgradeHeaders =
    "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";

// Silence as the program's own recorder encodes it.
std::vector<std::uint8_t> wavOf(size_t samples) {
  std::vector<std::uint8_t> wav(PcmEncoding::wavHeaderSize + samples * 2);
  PcmEncoding::writeWavHeader(static_cast<std::uint32_t>(samples * 2), wav.data());
  return wav;
}

// Streams and sign-in answers as the program and the browser send them.
class ServiceContract : public ServiceHarness {
 protected:
  std::unique_ptr<LiveRecognitionClient> stream(const ServiceConfiguration& to,
                                                std::string requestID = makeUuid(),
                                                bool cleanup = false,
                                                std::function<void(std::string)> onInterim = {}) {
    return std::make_unique<LiveRecognitionClient>(
        std::move(requestID), "auto", cleanup,
        StreamingSpeechDependencies{
            pool.get_executor(), clock, canonicalServiceEndpoint(to.baseURLText),
            [] { return std::string(token); },
            StreamTrust{to.extraTrustFile, to.trustSystemAuthorities, to.localSocket},
            StreamTransport::make, std::move(onInterim)});
  }
  // The user's answer on the sign-in page, as the browser posts it.
  static long approve(const std::string& pagesOrigin, const std::string& state) {
    return plainStatus(pagesOrigin + "/wrenly/v1/account/mac/sign-in",
                       "state=" + state + "&decision=allow", {"Origin: " + pagesOrigin});
  }
};

class LocalServiceContract : public ServiceContract {
 protected:
  LocalService local;
  ServiceConfiguration configuration{local.baseURL(), local.identity.authorityFile};
  SpeechServiceClient client{platform, configuration};
};

TEST_F(LocalServiceContract, SignsInThroughItsOwnPageAndServesEveryCall) {
  auto start = run(client.startSignIn(token));
  ASSERT_TRUE(start.value);
  const std::string page = start.value->authorizationURL;
  const std::string pagesOrigin = "http://127.0.0.1:" + std::to_string(local.server->port());
  EXPECT_EQ(page, pagesOrigin + "/wrenly/v1/account/mac/sign-in?state=" + start.value->state);
  EXPECT_EQ(run(client.completeSignIn(token)).errorAs<ServiceError>(),
            ServiceError::service("invalid_access"));  // pending until the page is answered

  auto form = local.fetch("account/mac/sign-in?state=" + start.value->state, "GET");
  EXPECT_EQ(form.status, 200);
  EXPECT_NE(form.body.find("<form method=\"post\""), std::string::npos);
  // A browser sends the page's own origin with its form only under this policy.
  EXPECT_NE(form.body.find("content=\"same-origin\""), std::string::npos);
  // Plain HTTP serves a browser the pages and nothing else.
  EXPECT_EQ(plainStatus(page), 200);
  EXPECT_EQ(plainStatus(pagesOrigin + "/privacy/"), 200);
  EXPECT_EQ(plainStatus(pagesOrigin + "/wrenly/v1/access", {}, {bearer}), 403);
  EXPECT_EQ(approve(pagesOrigin, start.value->state), 303);
  EXPECT_EQ(plainStatus(page), 410);  // used once only
  EXPECT_EQ(run(client.completeSignIn(token)).value, AccountStatus{true});

  EXPECT_EQ(run(client.transcribe(wavOf(16000), "auto", std::nullopt, makeUuid(), "")).value,
            "go forward ten meters");
  EXPECT_EQ(run(client.clean("go forward ten meters", makeUuid())).value, "Go forward ten meters.");
  EXPECT_EQ(
      run(client.applySpokenTask("apples, pears, plums", "make a numbered list", std::nullopt))
          .value,
      "1. apples\n2. pears\n3. plums");

  EXPECT_TRUE(run(client.signOut()).value);
  EXPECT_EQ(run(client.accountStatus()).errorAs<ServiceError>(), ServiceError::missingInvitation());
  local.addAccount(token);
  secrets.store(SpeechServiceClient::credentialService, local.baseURL(), token);
  EXPECT_TRUE(run(client.removeAccess()).value);
  EXPECT_FALSE(local.accounts->accountOf(token));

  local.server.reset();  // every line written
  const std::string serviceLog = local.logText.str();
  for (std::string secret : {std::string(token), start.value->state, std::string("forward")}) {
    EXPECT_EQ(serviceLog.find(secret), std::string::npos) << secret;
  }
}

TEST_F(LocalServiceContract, StreamsWithCleanupAndARecoveryUploadTakesOverAStalledStream) {
  local.addAccount(token);
  secrets.store(SpeechServiceClient::credentialService, local.baseURL(), token);

  // The words so far go to a client that asks for them, once each time they change; one that
  // does not ask gets none (it would take them for a fault).
  std::vector<std::string> words;
  for (bool asked : {false, true}) {
    std::function<void(std::string)> collect;
    if (asked) collect = [&words](std::string text) { words.push_back(text); };
    auto live = stream(configuration, makeUuid(), true, collect);
    for (int i = 0; i < 5; ++i) live->append(std::vector<std::uint8_t>(3200, 1));
    auto result = run(live->finish());
    ASSERT_TRUE(result.value);
    EXPECT_EQ(*result.value,
              (LiveRecognitionResult{"go forward ten meters", "Go forward ten meters.", 4, 5}));
  }
  EXPECT_EQ(words, std::vector<std::string>{"go forward ten meters"});
  EXPECT_EQ(local.recogniser.samples, 2 * 5u * 1600);

  // A stream that never finishes keeps the user busy, until the upload that recovers it.
  const std::string stalledID = makeUuid();
  auto stalled = stream(configuration, stalledID);
  stalled->append(std::vector<std::uint8_t>(3200, 1));
  loop.runUntil([&] { return local.recogniser.opened == 3; });
  // The client goes by the code; browsers and proxies by the status.
  for (const auto& [path, body] :
       {std::pair{"text", cleanBody("B1", std::nullopt, "text")},
        {"transcribe", transcribeBody({}, "auto", std::nullopt, "B2")}}) {
    const auto busy = local.fetch(path, "POST", body, {bearer});
    EXPECT_EQ(busy.status, 409) << path;
    EXPECT_EQ(busy.body, R"({"error":{"code":"request_busy"}})");
  }
  EXPECT_EQ(run(client.transcribe(wavOf(1600), "auto", stalledID, makeUuid(), "")).value,
            "go forward ten meters");
  EXPECT_TRUE(run(stalled->finish()).error);  // the service ended the superseded stream
  EXPECT_TRUE(run(client.clean("text", std::nullopt)).value);
}

// An upload and a stream of exactly the audio cap are taken. One sample more is refused, and
// ends the stream with that frame: the service says so at once, without waiting for more.
TEST_F(ServiceContract, AnUploadAndAStreamEndJustPastTheAudioCap) {
  LocalService local{ServerSetup{}, ServiceLimits{.maximumAudioSeconds = 1}};
  local.addAccount(token);
  for (const size_t samples : {16000, 16001}) {
    const auto body = transcribeBody(wavOf(samples), "auto", std::nullopt, makeUuid());
    EXPECT_EQ(local.fetch("transcribe", "POST", body, {bearer}).status,
              samples > 16000 ? 413 : 200);
  }
  auto live = stream({local.baseURL(), local.identity.authorityFile});
  live->append(std::vector<std::uint8_t>(32000, 1));
  EXPECT_TRUE(run(live->finish()).value);
  TlsConnection raw(local.identity.authorityFile, local.server->port());
  raw.exchange("GET /wrenly/v1/stream?requestID=R&language=auto&cleanup=0 HTTP/1.1\r\n" +
                   upgradeHeaders + "Host: 127.0.0.1\r\n" + bearer + "\r\n\r\n",
               R"("ready"})");
  // A binary frame of 32,002 bytes, masked with zeros.
  const std::string frame = "\x82\xfe\x7d\x02"s + std::string(4, '\0') + std::string(32002, '\1');
  EXPECT_NE(raw.exchange(frame, "audio_too_long").find("audio_too_long"), std::string::npos);
}

// Without a grace time a stream is behind the minimum rate from its start: it is cut off before
// any of its audio is decoded.
TEST_F(ServiceContract, AStreamBehindTheMinimumRateAfterItsGraceIsCutOff) {
  ServerSetup noGrace;
  noGrace.streamGrace = std::chrono::milliseconds(0);
  LocalService local{noGrace};
  local.addAccount(token);
  auto live = stream({local.baseURL(), local.identity.authorityFile});
  live->append(std::vector<std::uint8_t>(3200, 1));
  EXPECT_TRUE(run(live->finish()).error);
  EXPECT_EQ(local.recogniser.samples, 0u);
}

// The service as a user runs it: calls and streams over the user's own socket, the browser's
// pages on a port of their own, and the address an earlier version stored still naming it.
class UserSocketContract : public ServiceContract {
 protected:
  static constexpr const char* storedAddress = "https://127.0.0.1:47615/wrenly/v1/";

  static ServiceConfiguration configurationOf(const LocalService& service) {
    return {storedAddress, service.identity.authorityFile, service.folder / "speech-service.sock",
            false};
  }

  LocalService local{std::nullopt};
  SpeechServiceClient client{platform, configurationOf(local)};
};

TEST_F(UserSocketContract, ServesItsUserOverTheSocketAndTheBrowserOnlyThePages) {
  auto start = run(client.startSignIn(token));
  ASSERT_TRUE(start.value);
  const std::string pagesOrigin = "http://" + local.server->pagesAddress().value();
  const std::string page = start.value->authorizationURL;
  EXPECT_EQ(page, pagesOrigin + "/wrenly/v1/account/mac/sign-in?state=" + start.value->state);
  EXPECT_TRUE(BrowserSignIn::isAuthorizationURL(page, storedAddress, pagesOrigin));
  EXPECT_FALSE(BrowserSignIn::isAuthorizationURL(page, storedAddress, "http://127.0.0.1:1"));

  // No call is answered on the pages' port: refused over plain HTTP, closed unanswered over TLS.
  EXPECT_EQ(plainStatus(pagesOrigin + "/wrenly/v1/access", {}, {bearer}), 403);
  EXPECT_EQ(local.fetch("account/mac/start", "POST", "{}").status, 0);

  EXPECT_EQ(approve(pagesOrigin, start.value->state), 303);
  EXPECT_EQ(run(client.completeSignIn(token)).value, AccountStatus{true});
  EXPECT_EQ(run(client.transcribe(wavOf(16000), "auto", std::nullopt, makeUuid(), "")).value,
            "go forward ten meters");
  auto live = stream(configurationOf(local));
  live->append(std::vector<std::uint8_t>(3200, 1));
  auto result = run(live->finish());
  ASSERT_TRUE(result.value);
  EXPECT_EQ(result.value->transcript, "go forward ten meters");
}

TEST_F(UserSocketContract, AnotherUsersCallsStreamsAndPagesAreClosedUnanswered) {
  LocalService others{static_cast<unsigned>(::geteuid()) + 1};
  others.addAccount(token);
  const ServiceConfiguration configuration = configurationOf(others);
  secrets.store(SpeechServiceClient::credentialService, storedAddress, token);
  settings.setBool(std::string("active.") + storedAddress, true);
  SpeechServiceClient intruder(platform, configuration);

  // Below HTTP, as for a service that is not there: nothing of it is answered.
  EXPECT_EQ(run(intruder.startSignIn(token)).errorAs<TransportError>().place(),
            ServicePlace::thisMachine);
  EXPECT_EQ(run(intruder.accountStatus()).errorAs<TransportError>().place(),
            ServicePlace::thisMachine);
  auto live = stream(configuration);
  EXPECT_TRUE(run(live->finish()).error);
  EXPECT_EQ(others.recogniser.opened.load(), 0);
  EXPECT_EQ(plainStatus("http://" + others.server->pagesAddress().value() + "/privacy/"), 0);
  others.server.reset();
  EXPECT_NE(others.logText.str().find("refused a connection of another user"), std::string::npos);
}

// The service's authority vouches for loopback names only: a server certificate it signed for
// another name too is refused.
TEST(ServerIdentity, TheAuthorityVouchesForLoopbackNamesOnly) {
  const auto call = [](const ContractServer& server) {
    TransferControl control;
    performHttpRequest(
        {server.baseURL() + "access", "GET", {}, nullptr, 10, server.certificateFile()}, control);
  };
  EXPECT_NO_THROW(call(ContractServer(TestCertificate::generate("localhost"))));
  EXPECT_THROW(call(ContractServer(TestCertificate::generate("elsewhere.example"))),
               TransportError);
}

// Whose a loopback connection is, from either socket table, over IPv4 and IPv6.
TEST(LoopbackPeer, EitherTableNamesTheUserAtTheOtherEnd) {
  namespace asio = boost::asio;
  asio::io_context io;
  for (const char* address : {"127.0.0.1", "::1"}) {
    asio::ip::tcp::acceptor listener(io, {asio::ip::make_address(address), 0});
    asio::ip::tcp::socket browser(io);
    browser.connect(listener.local_endpoint());
    auto accepted = listener.accept();
    for (const auto table : {SocketTable::sockDiag, SocketTable::procNet}) {
      EXPECT_EQ(loopbackPeerUid(accepted.native_handle(), table), ::geteuid()) << address;
    }
  }
}

// Bad requests get a clear 4xx and never stop the service; many clients at once all succeed.
class Robustness : public ::testing::Test {
 protected:
  LocalService local;

  static constexpr const char* wav16k =
      "UklGRiQAAABXQVZFZm10IBAAAAABAAEAgD4AAAB9AAACABAAZGF0YQAAAAA=";
  static std::string tokenOf(int client) {
    return "client-token-" + std::to_string(client) + "-padding-padding-padding";
  }
  static std::string transcribe(const std::string& wav, const std::string& language,
                                const std::string& requestID = "A") {
    return R"({"requestID":")" + requestID + R"(","wavBase64":")" + wav + R"(","language":")" +
           language + R"(","streamRecoveryID":""})";
  }
};

TEST_F(Robustness, MalformedAndOversizedRequestsGetAClearRefusal) {
  const std::string host = "Host: 127.0.0.1\r\n";
  EXPECT_EQ(local.statusLineOf("NOT HTTP AT ALL\r\n\r\n"), "HTTP/1.1 400 Bad Request");
  // Bodies: none where a call takes none, a small one without credentials, and a large one
  // only for an active token; each refused before it is read.
  // Upgrades: host, origin and token are checked before a stream is upgraded to.
  local.addAccount(token);
  const std::string stream = "GET /wrenly/v1/stream?requestID=U&language=auto&cleanup=0";
  struct Raw {
    std::string requestLine, headers, status;
  };
  const Raw raws[] = {
      {"POST /wrenly/v1/transcribe", host + "Content-Length: 17000000\r\n",
       "413 Payload Too Large"},
      {"GET /wrenly/v1/access", host + "X-Filler: " + std::string(20000, 'x') + "\r\n",
       "431 Request Header Fields Too Large"},
      {"GET /wrenly/v1/access", host + "Content-Length: 5\r\n", "413 Payload Too Large"},
      {"POST /wrenly/v1/account/mac/start", host + "Content-Length: 70000\r\n",
       "413 Payload Too Large"},
      {"POST /wrenly/v1/transcribe",
       host + "Authorization: Bearer unknown\r\nContent-Length: 1000000\r\n", "401 Unauthorized"},
      {stream, host + upgradeHeaders, "401 Unauthorized"},
      {stream, host + upgradeHeaders + bearer + "\r\nOrigin: https://attacker.example\r\n",
       "403 Forbidden"},
      {stream, "Host: attacker.example\r\n" + upgradeHeaders + bearer + "\r\n",
       "421 Misdirected Request"},
      {stream, host + upgradeHeaders + bearer + "\r\n", "101 Switching Protocols"},
  };
  for (const auto& raw : raws) {
    EXPECT_EQ(local.statusLineOf(raw.requestLine + " HTTP/1.1\r\n" + raw.headers + "\r\n"),
              "HTTP/1.1 " + raw.status)
        << raw.requestLine << "\n"
        << raw.headers;
  }

  const auto text = [](const std::string& operation, const std::string& instruction = "") {
    return R"({"requestID":"A","operation":")" + operation +
           R"(","sourceRequestID":"","text":"x")" +
           (instruction.empty() ? "" : R"(,"instruction":")" + instruction + "\"") + "}";
  };
  const auto task = [&](const char* instruction) { return text("selectedVoiceTask", instruction); };
  const std::string longID(129, 'r');
  const std::string wav44k = "UklGRiQAAABXQVZFZm10IBAAAAABAAEARKwAAIhYAQACABAAZGF0YQAAAAA=";
  struct Case {
    std::string path, method, body;
    std::vector<std::string> headers;
    long status;
    std::string code;
  };
  const std::vector<Case> cases = {
      {"transcribe", "POST", "{not json", {bearer}, 400, "invalid_request"},
      {"transcribe", "POST", transcribe("!!", "auto"), {bearer}, 400, "invalid_audio"},
      {"transcribe", "POST", transcribe(wav44k, "auto"), {bearer}, 415, "unsupported_audio"},
      {"transcribe", "POST", transcribe("", "cantonese"), {bearer}, 400, "unsupported_language"},
      {"transcribe", "POST", transcribe("", "auto", longID), {bearer}, 400, "invalid_request"},
      {"transcribe", "POST", transcribe("", "auto", ""), {bearer}, 400, "invalid_request"},
      {"transcribe",
       "POST",
       R"({"requestID":"A","wavBase64":"","language":"auto","streamRecoveryID":"","vocabulary":1})",
       {bearer},
       400,
       "invalid_request"},
      {"text", "POST", text("poem"), {bearer}, 400, "unsupported_operation"},
      {"text", "POST", task("delete the bullets"), {bearer}, 422, "ambiguous_instruction"},
      {"text", "POST", task("in French"), {bearer}, 422, "unsupported_instruction"},
      {"transcribe", "POST", "{}", {}, 401, "invalid_access"},
      {"access", "GET", "", {"Authorization: Bearer unknown"}, 401, "invalid_access"},
      {"access", "PUT", "", {bearer}, 405, "method_not_allowed"},
      {"stream", "GET", "", {bearer}, 426, "upgrade_required"},
      {"elsewhere", "GET", "", {bearer}, 404, "not_found"},
      {"access", "GET", "", {bearer, "Host: attacker.example"}, 421, "misdirected_request"},
      {"account/mac/start", "POST", R"({"token":"short"})", {}, 400, "invalid_token"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + c.path + " " + c.body.substr(0, 60));
    auto reply = local.fetch(c.path, c.method, c.body, c.headers);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.body, R"({"error":{"code":")" + c.code + R"("}})");
  }
  EXPECT_EQ(local.fetch("access", "GET", "", {bearer}).body,
            R"({"active":true})");  // still serving
}

TEST_F(Robustness, SignInStartsAreCappedWhileTheyWait) {
  long status = 0;
  int started = 0;
  for (; started < 40 && status != 503; ++started) {
    const std::string pending = "pending-token-" + std::to_string(started) + "-0123456789-01234";
    status = local.fetch("account/mac/start", "POST", R"({"token":")" + pending + "\"}").status;
  }
  EXPECT_EQ(started, ServiceLimits{}.maximumPendingSignIns + 1);
}

TEST_F(Robustness, FiftyClientsAtOnceAllSucceed) {
  constexpr int clients = 50;
  for (int i = 0; i < clients; ++i) local.addAccount(tokenOf(i));
  std::atomic<int> succeeded{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      const std::string auth = "Authorization: Bearer " + tokenOf(i);
      auto access = local.fetch("access", "GET", "", {auth});
      const auto body = transcribe(wav16k, "auto", "R" + std::to_string(i));
      auto text = local.fetch("transcribe", "POST", body, {auth});
      if (access.status == 200 && text.status == 200) ++succeeded;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(succeeded, clients);
}

// Recognitions run on threads of their own: with every one of them held, a quick call is still
// answered.
TEST_F(Robustness, QuickCallsAreAnsweredWhileEveryRecognitionIsHeld) {
  const int recognitionThreads = ServerSetup{}.recognitionThreads;
  local.recogniser.held = true;
  std::vector<std::jthread> uploads;
  for (int i = 0; i < recognitionThreads; ++i) {
    local.addAccount(tokenOf(i));
    uploads.emplace_back([this, i] {
      const auto body = transcribe(wav16k, "auto", "R" + std::to_string(i));
      local.fetch("transcribe", "POST", body, {"Authorization: Bearer " + tokenOf(i)});
    });
  }
  while (local.recogniser.opened < recognitionThreads) std::this_thread::yield();
  local.addAccount(token);
  const long status = local.fetch("access", "GET", "", {bearer}).status;
  local.recogniser.held = false;
  local.recogniser.held.notify_all();
  EXPECT_EQ(status, 200);
}

// With its connections capped, idle connections past the cap make room for a client, and a chunk
// header without end is cut off rather than read on.
TEST(ServiceCaps, IdleConnectionsAndAnEndlessChunkHeaderLeaveItServing) {
  namespace asio = boost::asio;
  ServerSetup caps;
  caps.maximumConnections = caps.maximumConnectionsPerPeer = 16;
  LocalService local{caps};
  local.addAccount(token);
  asio::io_context io;
  const asio::ip::tcp::endpoint service{asio::ip::make_address("127.0.0.1"), local.server->port()};
  std::vector<asio::ip::tcp::socket> connections;
  for (int i = 0; i < 40; ++i) connections.emplace_back(io).connect(service);
  auto& chunked = connections.back();  // the others stay idle
  boost::system::error_code ec;
  const std::string head =
      "POST /privacy/ HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n1;a=";
  asio::write(chunked, asio::buffer(head), ec);
  const std::string megabyte(1 << 20, 'x');
  for (size_t sent = 0; !ec && sent < (16u << 20);)
    sent += asio::write(chunked, asio::buffer(megabyte), ec);
  EXPECT_TRUE(ec) << "the service kept reading a chunk header";
  EXPECT_EQ(local.fetch("access", "GET", "", {bearer}).status, 200);
}

}  // namespace
