#include <gmock/gmock.h>

#include <boost/system/system_error.hpp>
#include <chrono>
#include <future>
#include <thread>

#include "streaming/LiveRecognitionClient.h"
#include "streaming/StreamError.h"
#include "support/TemporaryDirectory.h"
#include "support/service/AwaitedCall.h"
#include "support/streaming/StreamServer.h"

using namespace wrenly;

namespace {

using ::testing::ElementsAre;

// A one-shot signal from the test thread to a server script; the bound is for broken builds.
struct Gate {
  std::promise<void> opened;
  std::shared_future<void> signal = opened.get_future().share();
  void open() { opened.set_value(); }
  void wait() { signal.wait_for(std::chrono::minutes(1)); }
};

const std::string cancelled =
    "code=" + std::to_string(static_cast<int>(asio::error::operation_aborted));
const std::string testRequestID = "5B1C8D0E-7F2A-4C3B-9D1E-0A2B3C4D5E6F";
const std::string finishBytes = R"({"type":"finish"})";
const std::string readyMessage = R"({"type":"ready"})";
const std::string resultMessage =
    R"({"type":"result","transcript":"one two","text":"One, two.","segments":3,"fallbackSegments":5})";

// The service as it normally behaves: ready at once, a result after the finish frame; or the
// same once `gate` opens.
void answersAtOnce(StreamPeer& peer) {
  peer.sendText(readyMessage);
  if (peer.receiveUntilFinish()) peer.sendText(resultMessage);
}
StreamServer::Script answersOnceOpened(Gate& gate) {
  return [&gate](StreamPeer& peer) {
    gate.wait();
    answersAtOnce(peer);
  };
}

// A streaming client against loopback servers that present the test's own certificate.
class StreamingTest : public CallHarness {
 protected:
  using TokenSource = std::function<std::optional<std::string>()>;

  StreamingTest() { certificate().writeCertificate(authorities_); }
  ~StreamingTest() override { pool.join(); }

  static const TestCertificate& certificate() {
    static const TestCertificate shared = TestCertificate::generate();
    return shared;
  }

  // A service that says ready and reads one frame (then opens `streaming`), then stops reading
  // until `release` opens, with a small receive window so the client's writes stall soon; then
  // reads to the end.
  static std::unique_ptr<StreamServer> stallingServer(Gate& release, Gate* streaming = nullptr) {
    return std::make_unique<StreamServer>(
        certificate(),
        [&release, streaming](StreamPeer& peer) {
          peer.sendText(readyMessage);
          if (streaming && peer.receive()) streaming->open();
          release.wait();
          peer.receiveUntilClosed();
        },
        /*receiveBufferBytes=*/4096);
  }

  std::unique_ptr<LiveRecognitionClient> makeClient(
      std::optional<std::string> endpoint, bool cleanup = true,
      TokenSource token = [] { return std::string("secret-token"); }) {
    return std::make_unique<LiveRecognitionClient>(
        testRequestID, "auto", cleanup,
        StreamingSpeechDependencies{pool.get_executor(), clock, std::move(endpoint),
                                    std::move(token), trust_});
  }

  // Starts finish() and runs it up to its first suspension.
  auto startFinish(LiveRecognitionClient& client, asio::cancellation_slot slot = {}) {
    auto outcome = startCall(io, client.finish(), slot);
    loop.settle();
    return outcome;
  }

  // Lines the diagnostics log received since the last call.
  std::vector<std::string> newLogLines() {
    auto lines = log.lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logMark_));
    logMark_ += lines.size();
    return lines;
  }

  static std::vector<uint8_t> chunk(std::size_t size, uint8_t fill = 0x11) {
    return std::vector<uint8_t>(size, fill);
  }

  TemporaryDirectory directory_;
  std::filesystem::path authorities_ = directory_ / "authorities.pem";
  StreamTrust trust_{authorities_};  // what the next client trusts: by default the test's own
  std::size_t logMark_ = 0;
};

TEST_F(StreamingTest, StreamsAudioInOrderThenTheFinishFrameAndReturnsTheResult) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendBinary(readyMessage);  // binary frames carry JSON as well; a second ready is harmless
    answersAtOnce(peer);
  });
  auto client = makeClient(server.baseURL());
  client->append(chunk(3200, 1));
  client->append(chunk(3200, 2));
  client->append({});  // empty chunks are not sent
  client->append(chunk(1000, 3));
  auto outcome = run(client->finish());

  ASSERT_EQ(outcome.code(), "ok");
  EXPECT_EQ(*outcome.value, (LiveRecognitionResult{"one two", "One, two.", 3, 5}));
  EXPECT_EQ(server.target(),
            "/wrenly/v1/stream?requestID=" + testRequestID + "&language=auto&cleanup=1");
  auto headers = server.headers();
  EXPECT_EQ(headers["authorization"], "Bearer secret-token");
  EXPECT_EQ(headers["cache-control"], "no-store");
  EXPECT_EQ("https://" + headers["host"] + "/wrenly/v1/", server.baseURL());
  EXPECT_EQ(server.frames(), (std::vector<StreamFrame>{{false, std::string(3200, '\x01')},
                                                       {false, std::string(3200, '\x02')},
                                                       {false, std::string(1000, '\x03')},
                                                       {true, finishBytes}}));
  EXPECT_THAT(newLogLines(),
              ElementsAre("stream ready milliseconds=0", "stream ready milliseconds=0",
                          "stream result segments=3, originalSegments=5"));
}

// Audio and the finish frame wait for "ready" up to ten seconds, queued up to exactly the bound.
TEST_F(StreamingTest, AudioAndFinishWaitForReadyTenSecondsUpToTheBound) {
  struct Row {
    double wait;
    std::size_t extra;  // bytes past the bound
    std::string code;
  };
  for (const Row& row : {Row{9.5, 0, "ok"}, Row{10.0, 0, "code=1"}, Row{0, 1, "code=3"}}) {
    SCOPED_TRACE(row.code);
    Gate ready;
    StreamServer server(certificate(), answersOnceOpened(ready));
    auto client = makeClient(server.baseURL());
    for (int i = 0; i < 100; ++i) client->append(chunk(3200, static_cast<uint8_t>(i)));
    if (row.extra) client->append(chunk(row.extra));
    auto outcome = startFinish(*client);
    client->append(chunk(3200));  // after finish(): ignored
    // Past the bound the session may end before the upgrade.
    EXPECT_TRUE(row.extra || server.waitForConnections(1));
    clock.advanceSeconds(row.wait);
    if (row.code != "ok")
      loop.runUntil([&] { return outcome->done; });  // ended before the service is ready
    ready.open();
    loop.runUntil([&] { return outcome->done; });
    const bool ok = row.code == "ok";
    std::vector<StreamFrame> expected;  // nothing at all unless the session went on
    for (int i = 0; i < 100 && ok; ++i) expected.push_back({false, std::string(3200, char(i))});
    if (ok) expected.push_back({true, finishBytes});
    EXPECT_EQ(outcome->code(), row.code);
    EXPECT_EQ(server.frames(), expected);
    const std::vector<std::string> logged{"stream ready milliseconds=9500",
                                          "stream result segments=3, originalSegments=5"};
    EXPECT_EQ(newLogLines(), ok ? logged : std::vector<std::string>{});
  }
}

TEST_F(StreamingTest, FinalTimeoutComesTwelveSecondsAfterFinish) {
  for (double wait : {11.9, 12.0}) {
    SCOPED_TRACE(wait);
    Gate answer;
    StreamServer server(certificate(), [&](StreamPeer& peer) {
      peer.sendText(readyMessage);
      if (!peer.receiveUntilFinish()) return;
      answer.wait();
      peer.sendText(resultMessage);
    });
    auto client = makeClient(server.baseURL());
    ASSERT_TRUE(server.waitForConnections(1));
    clock.advanceSeconds(5);  // time before finish() does not count
    auto outcome = startFinish(*client);
    // The finish frame reaching the server proves the final timer is scheduled.
    while (server.frames().empty()) std::this_thread::yield();
    clock.advanceSeconds(wait);
    answer.open();
    loop.runUntil([&] { return outcome->done; });
    EXPECT_EQ(outcome->code(), wait < 12 ? "ok" : "code=2");
  }
}

TEST_F(StreamingTest, ServiceRepliesAfterTheFinishFrame) {
  struct Row {
    std::string reply, code;  // a service error is also logged
    bool early = false;       // sent right after ready, before the finish frame
  };
  const Row rows[] = {
      {R"({"type":"progress"})", "code=0"},
      {resultMessage, "code=0", /*early=*/true},
      {R"({"type":"error","code":"provider_rate_limited"})", "service=provider_rate_limited"},
      // The service layer's rule for error codes (its rows are in the request contract tests).
      {R"({"type":"error","code":"Request_busy"})", "service=unknown"},
      {R"({"type":"error"})", "service=unknown"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reply);
    StreamServer server(certificate(), [&](StreamPeer& peer) {
      peer.sendText(readyMessage);
      if (row.early || peer.receiveUntilFinish()) peer.sendText(row.reply);
      peer.receiveUntilClosed();
    });
    auto client = makeClient(server.baseURL());
    // After an early result the client hangs up having sent nothing.
    EXPECT_TRUE(!row.early || (server.waitForEnd() && server.frames().empty()));
    if (row.early) client->cancel();  // too late: the session kept its outcome
    EXPECT_EQ(run(client->finish()).code(), row.code);
    std::vector<std::string> expected{"stream ready milliseconds=0"};
    if (row.code.starts_with("service="))
      expected.push_back("stream service code=" + row.code.substr(8));
    EXPECT_EQ(newLogLines(), expected);
  }
}

TEST_F(StreamingTest, ADroppedSocketEndsWithTheTransportError) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendText(readyMessage);
    peer.receive();
    peer.drop();
  });
  auto client = makeClient(server.baseURL());
  client->append(chunk(3200));
  ASSERT_TRUE(server.waitForEnd());
  auto outcome = run(client->finish());
  EXPECT_NE(outcome.code(), cancelled);
  EXPECT_THROW(std::rethrow_exception(outcome.error), boost::system::system_error);
}

// A session that ends while a frame is being written finishes that frame, then says goodbye.
TEST_F(StreamingTest, AServiceThatStopsReadingEndsWithBackpressureAndANormalClose) {
  Gate streaming, release;
  auto server = stallingServer(release, &streaming);
  auto client = makeClient(server->baseURL());
  client->append(chunk(3200));
  streaming.wait();  // from here on a frame is always being written while audio is queued
  for (int i = 0; i < 8000; ++i) client->append(chunk(3200));  // 25.6 MB: more than any buffer
  EXPECT_EQ(run(client->finish()).code(), "code=3");
  release.open();
  ASSERT_TRUE(server->waitForEnd());
  EXPECT_EQ(server->closeCode(), 1000);
  for (const auto& frame : server->frames()) ASSERT_EQ(frame.data.size(), 3200u);
}

TEST_F(StreamingTest, SetUpFailuresComeBeforeAnyConnection) {
  StreamServer server(certificate(), answersAtOnce);
  const std::string base = server.baseURL();
  auto token = [](std::optional<std::string> value) -> TokenSource {
    return [value] { return value; };
  };
  struct Row {
    std::optional<std::string> endpoint;
    TokenSource token;
    std::string code;
  };
  const Row rows[] = {
      {base, token(std::nullopt), "missing_invitation"},
      {std::nullopt, token("t"), "invalid_url"},
      {"http://localhost/wrenly/v1/", token("t"), "invalid_url"},
      {"not a url", token("t"), "invalid_url"},
      {"https:///wrenly/v1/", token("t"), "invalid_url"},
      {"https://exa mple.org/", token("t"), "invalid_url"},
      {base, token("line\r\nX-Injected: 1"), "missing_invitation"},
      {base, token(""), "missing_invitation"},
      // A failing store becomes the outcome instead of escaping into the pool.
      {base, []() -> std::optional<std::string> { throw StreamError::finalTimeout(); }, "code=2"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    auto client = makeClient(row.endpoint, true, row.token);
    EXPECT_EQ(run(client->finish()).code(), row.code);
  }
  EXPECT_EQ(server.connections(), 0);
}

TEST_F(StreamingTest, CertificatesAreCheckedAgainstTrustAndHostName) {
  const TestCertificate otherHost = TestCertificate::generate("elsewhere.example");
  for (auto [served, trusted] : {std::pair{&certificate(), false}, std::pair{&otherHost, true}}) {
    StreamServer server(*served, answersAtOnce);
    served->writeCertificate(directory_ / "served.pem");
    trust_ = trusted ? StreamTrust{directory_ / "served.pem"} : StreamTrust{};
    auto client = makeClient(server.baseURL());
    auto code = run(client->finish()).code();
    EXPECT_NE(code, "ok");
    EXPECT_NE(code, cancelled);
    EXPECT_EQ(server.connections(), 0);
  }
}

TEST_F(StreamingTest, OnlyTheFirstFinishGetsTheOutcome) {
  Gate ready;
  StreamServer server(certificate(), answersOnceOpened(ready));
  auto client = makeClient(server.baseURL(), /*cleanup=*/false);
  auto first = startFinish(*client);
  auto second = startFinish(*client);
  loop.runUntil([&] { return second->done; });
  EXPECT_EQ(second->code(), "code=0");
  ready.open();
  loop.runUntil([&] { return first->done; });
  ASSERT_EQ(first->code(), "ok");
  EXPECT_EQ(server.target(),
            "/wrenly/v1/stream?requestID=" + testRequestID + "&language=auto&cleanup=0");
  client->cancel();
  client->append(chunk(3200));
  EXPECT_EQ(run(client->finish()).code(), "code=0");
  EXPECT_EQ(newLogLines().size(), 2u);
}

TEST_F(StreamingTest, CancelOrCancellingTheAwaitingCoroutineEndsTheSessionAndClosesTheSocket) {
  for (bool viaCoroutine : {false, true}) {
    SCOPED_TRACE(viaCoroutine);
    StreamServer server(certificate(), [](StreamPeer& peer) {
      peer.sendText(readyMessage);
      peer.receiveUntilClosed();
    });
    auto client = makeClient(server.baseURL());
    client->append(chunk(3200));
    ASSERT_TRUE(server.waitForConnections(1));
    if (viaCoroutine) {
      auto outcome = startFinish(*client, cancel.slot());
      while (server.frames().size() < 2) std::this_thread::yield();  // the finish frame is out
      cancel.emit(asio::cancellation_type::terminal);
      loop.runUntil([&] { return outcome->done; });
      EXPECT_EQ(outcome->code(), cancelled);
    } else {
      client->cancel();
    }
    ASSERT_TRUE(server.waitForEnd());
    // A cancel before finish() is its outcome; after it, a second call is refused.
    EXPECT_EQ(run(client->finish()).code(), viaCoroutine ? "code=0" : cancelled);
  }
}

TEST_F(StreamingTest, ReleasingTheClientWhileItsSocketIsBusyIsSafe) {
  Gate release;
  auto server = stallingServer(release);
  makeClient(server->baseURL()).reset();  // released during the handshake
  auto client = makeClient(server->baseURL());
  ASSERT_TRUE(server->waitForConnections(1));
  for (int i = 0; i < 90; ++i) client->append(chunk(3200));
  auto pending = startFinish(*client);
  client.reset();
  loop.runUntil([&] { return pending->done; });
  EXPECT_EQ(pending->code(), cancelled);
  release.open();
}

}  // namespace
