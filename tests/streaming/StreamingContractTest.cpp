#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/asio/cancellation_signal.hpp>
#include <boost/system/system_error.hpp>
#include <thread>

#include "streaming/StreamingHarness.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The service as it normally behaves: ready at once, a result after the finish frame.
void answersAtOnce(StreamPeer& peer) {
  peer.sendText(readyMessage);
  if (peer.receiveUntilFinish()) peer.sendText(resultMessage);
}

TEST_F(StreamingTest, StreamsAudioInOrderThenTheFinishFrameAndReturnsTheResult) {
  StreamServer server(certificate(), answersAtOnce);
  auto client = makeClient(server);
  client->append(chunk(3200, 1));
  client->append(chunk(3200, 2));
  client->append({});  // empty chunks are not sent
  client->append(chunk(1000, 3));
  auto outcome = finish(*client);

  ASSERT_EQ(outcome.code(), "ok");
  EXPECT_EQ(*outcome.result, (MacStreamingSpeechResult{"one two", "One, two.", 3, 5}));
  EXPECT_EQ(server.target(),
            "/wrenly/v1/stream?requestID=" + testRequestID + "&language=auto&cleanup=1");
  auto headers = server.headers();
  EXPECT_EQ(headers["authorization"], "Bearer secret-token");
  EXPECT_EQ(headers["cache-control"], "no-store");
  EXPECT_EQ(headers["host"], "localhost:" + std::to_string(server.port()));

  auto frames = server.frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].data, std::string(3200, '\x01'));
  EXPECT_EQ(frames[1].data, std::string(3200, '\x02'));
  EXPECT_EQ(frames[2].data, std::string(1000, '\x03'));
  EXPECT_TRUE(frames[3].text);
  EXPECT_EQ(frames[3].data, finishBytes);
  EXPECT_THAT(newLogLines(), ElementsAre("stream ready milliseconds=0",
                                         "stream result segments=3, originalSegments=5"));
}

TEST_F(StreamingTest, AsksForNoCleanupWhenNotWanted) {
  StreamServer server(certificate(), answersAtOnce);
  auto client = makeClient(server, /*cleanup=*/false);
  ASSERT_EQ(finish(*client).code(), "ok");
  EXPECT_EQ(server.target(),
            "/wrenly/v1/stream?requestID=" + testRequestID + "&language=auto&cleanup=0");
  EXPECT_THAT(audioSizes(server.frames()), IsEmpty());
}

TEST_F(StreamingTest, AudioAndFinishBeforeReadyWaitForItThenGoOutInOrder) {
  Gate ready;
  StreamServer server(certificate(), [&](StreamPeer& peer) {
    ready.wait();
    answersAtOnce(peer);
  });
  auto client = makeClient(server);
  for (int i = 0; i < 5; ++i) client->append(chunk(3200, static_cast<uint8_t>(i)));
  auto outcome = startFinish(*client);
  client->append(chunk(3200));  // after finish(): ignored
  ASSERT_TRUE(server.waitForConnections(1));
  clock_.advanceSeconds(9.5);  // not yet the start-up limit
  ready.open();
  runUntilDone({outcome});

  EXPECT_EQ(outcome->code(), "ok");
  auto frames = server.frames();
  EXPECT_THAT(audioSizes(frames), ElementsAre(3200, 3200, 3200, 3200, 3200));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(frames[i].data[0], static_cast<char>(i));
  EXPECT_EQ(frames.back().data, finishBytes);
  EXPECT_EQ(newLogLines().front(), "stream ready milliseconds=9500");
}

TEST_F(StreamingTest, NoReadyWithinTenSecondsEndsWithStartTimeout) {
  StreamServer server(certificate(), [](StreamPeer& peer) { peer.receiveUntilClosed(); });
  auto client = makeClient(server);
  client->append(chunk(3200));
  auto outcome = startFinish(*client);
  ASSERT_TRUE(server.waitForConnections(1));
  clock_.advanceSeconds(10);
  runUntilDone({outcome});
  EXPECT_EQ(outcome->code(), "code=1");
  ASSERT_TRUE(server.waitForEnd());
  EXPECT_THAT(server.frames(), IsEmpty()) << "nothing is sent before ready";
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
    auto client = makeClient(server);
    ASSERT_TRUE(server.waitForConnections(1));
    clock_.advanceSeconds(5);  // time before finish() does not count
    auto outcome = startFinish(*client);
    // The finish frame reaching the server proves the final timer is scheduled.
    while (server.frames().empty()) std::this_thread::yield();
    clock_.advanceSeconds(wait);
    answer.open();
    runUntilDone({outcome});
    EXPECT_EQ(outcome->code(), wait < 12 ? "ok" : "code=2");
  }
}

struct ReplyCase {
  const char* name;
  std::string reply;
  std::string code;
  std::string logLine;  // empty: none
};

class StreamingReplyTest : public StreamingTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(StreamingReplyTest, ServiceReplyAfterFinish) {
  const ReplyCase& row = GetParam();
  StreamServer server(certificate(), [&](StreamPeer& peer) {
    peer.sendText(readyMessage);
    if (peer.receiveUntilFinish()) peer.sendText(row.reply);
  });
  auto client = makeClient(server);
  auto outcome = finish(*client);
  EXPECT_EQ(outcome.code(), row.code);
  auto lines = newLogLines();
  ASSERT_GE(lines.size(), 1u);
  lines.erase(lines.begin());  // the ready line
  if (row.logLine.empty()) {
    EXPECT_THAT(lines, IsEmpty());
  } else {
    EXPECT_THAT(lines, ElementsAre(row.logLine));
  }
}

const std::string longCode(81, 'a');
INSTANTIATE_TEST_SUITE_P(
    Replies, StreamingReplyTest,
    ::testing::Values(
        ReplyCase{
            "BlankText",
            R"({"type":"result","transcript":"x","text":" \n\u3000 ","segments":1,"fallbackSegments":1})",
            "code=0", ""},
        ReplyCase{
            "BlankTranscript",
            R"({"type":"result","transcript":"\n","text":"x","segments":1,"fallbackSegments":1})",
            "code=0", ""},
        ReplyCase{"MissingSegments",
                  R"({"type":"result","transcript":"x","text":"x","fallbackSegments":1})", "code=0",
                  ""},
        ReplyCase{
            "SegmentsAsText",
            R"({"type":"result","transcript":"x","text":"x","segments":"1","fallbackSegments":1})",
            "code=0", ""},
        ReplyCase{"NotJson", "result: ok", "code=0", ""},
        ReplyCase{"NotAnObject", R"(["ready"])", "code=0", ""},
        ReplyCase{"UnknownType", R"({"type":"progress"})", "code=0", ""},
        ReplyCase{"ValidCode", R"({"type":"error","code":"provider_rate_limited"})",
                  "service=provider_rate_limited", "stream service code=provider_rate_limited"},
        ReplyCase{"UpperCaseCode", R"({"type":"error","code":"Request_busy"})", "service=unknown",
                  "stream service code=unknown"},
        ReplyCase{"HyphenatedCode", R"({"type":"error","code":"request-busy"})", "service=unknown",
                  "stream service code=unknown"},
        ReplyCase{"EightyOneCharacters", R"({"type":"error","code":")" + longCode + R"("})",
                  "service=unknown", "stream service code=unknown"},
        ReplyCase{"EightyCharacters", R"({"type":"error","code":")" + longCode.substr(1) + R"("})",
                  "service=" + longCode.substr(1), "stream service code=" + longCode.substr(1)},
        ReplyCase{"MissingCode", R"({"type":"error"})", "service=unknown",
                  "stream service code=unknown"},
        ReplyCase{"NumericCode", R"({"type":"error","code":7})", "service=unknown",
                  "stream service code=unknown"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(StreamingTest, ResultBeforeTheFinishFrameIsRefusedAndKept) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendText(readyMessage);
    peer.sendText(resultMessage);
    peer.receiveUntilClosed();
  });
  auto client = makeClient(server);
  ASSERT_TRUE(server.waitForEnd());  // the client closed after the early result
  auto outcome = finish(*client);
  EXPECT_EQ(outcome.code(), "code=0");
  EXPECT_THAT(server.frames(), IsEmpty());
}

TEST_F(StreamingTest, ASecondReadyIsLoggedAndTheSessionGoesOn) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendText(readyMessage);
    peer.sendBinary(readyMessage);  // binary frames carry JSON as well
    if (peer.receiveUntilFinish()) peer.sendText(resultMessage);
  });
  auto client = makeClient(server);
  client->append(chunk(3200));
  EXPECT_EQ(finish(*client).code(), "ok");
  EXPECT_THAT(newLogLines(),
              ElementsAre("stream ready milliseconds=0", "stream ready milliseconds=0",
                          "stream result segments=3, originalSegments=5"));
}

TEST_F(StreamingTest, ADroppedSocketEndsWithTheTransportError) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendText(readyMessage);
    peer.receive();
    peer.drop();
  });
  auto client = makeClient(server);
  client->append(chunk(3200));
  ASSERT_TRUE(server.waitForEnd());
  auto outcome = finish(*client);
  ASSERT_TRUE(outcome.error);
  EXPECT_FALSE(outcome.cancelled());
  EXPECT_THROW(std::rethrow_exception(outcome.error), boost::system::system_error);
}

TEST_F(StreamingTest, ExactlyTheBoundIsAcceptedOneByteMoreIsBackpressure) {
  for (std::size_t extra : {0, 1}) {
    SCOPED_TRACE(extra);
    Gate ready;
    StreamServer server(certificate(), [&](StreamPeer& peer) {
      ready.wait();
      answersAtOnce(peer);
    });
    auto client = makeClient(server);
    for (int i = 0; i < 100; ++i) client->append(chunk(3200));
    if (extra) client->append(chunk(extra));
    ready.open();  // the chunks above are all queued before "ready" can arrive
    auto outcome = finish(*client);
    EXPECT_EQ(outcome.code(), extra ? "code=3" : "ok");
    // Past the bound the session may end before the upgrade: nothing has been sent then.
    EXPECT_EQ(audioSizes(server.frames()).size(), extra ? 0u : 100u);
  }
}

TEST_F(StreamingTest, AServiceThatStopsReadingEndsWithBackpressure) {
  Gate release;
  StreamServer server(
      certificate(),
      [&](StreamPeer& peer) {
        peer.sendText(readyMessage);
        release.wait();
      },
      StreamServer::Options{.receiveBufferBytes = 4096});
  auto client = makeClient(server);
  ASSERT_TRUE(server.waitForConnections(1));
  for (int i = 0; i < 8000; ++i) client->append(chunk(3200));  // 25.6 MB: more than any buffer
  auto outcome = finish(*client);
  release.open();
  EXPECT_EQ(outcome.code(), "code=3");
}

TEST_F(StreamingTest, SetUpFailuresComeBeforeAnyConnection) {
  StreamServer server(certificate(), answersAtOnce);
  struct Row {
    std::optional<std::string> endpoint;
    std::optional<std::string> token;
    std::string code;
  };
  const std::string base = server.baseURL();
  for (const Row& row :
       {Row{base, std::nullopt, "missing_invitation"}, Row{std::nullopt, "t", "invalid_url"},
        Row{"http://localhost/wrenly/v1/", "t", "invalid_url"},
        Row{"not a url", "t", "invalid_url"}, Row{base, "line\r\nX-Injected: 1", "code=0"}}) {
    SCOPED_TRACE(row.code);
    auto client = makeClient(row.endpoint, true, row.token);
    EXPECT_EQ(finish(*client).code(), row.code);
  }
  EXPECT_EQ(server.connections(), 0);
}

TEST_F(StreamingTest, CertificatesAreCheckedAgainstTrustAndHostName) {
  const TestCertificate otherHost = TestCertificate::generate("elsewhere.example");
  struct Row {
    const TestCertificate* served;
    bool trusted;
  };
  for (const Row& row : {Row{&certificate(), false}, Row{&otherHost, true}}) {
    StreamServer server(*row.served, answersAtOnce);
    const auto served = directory_ / "served.pem";
    row.served->writeCertificate(served);
    trust_ = row.trusted ? StreamTrust{served} : StreamTrust{};
    auto client = makeClient(server);
    auto outcome = finish(*client);
    ASSERT_TRUE(outcome.error);
    EXPECT_FALSE(outcome.cancelled());
    EXPECT_EQ(server.connections(), 0);
  }
}

TEST_F(StreamingTest, TwoConcurrentFinishCallsTheSecondIsRefused) {
  Gate ready;
  StreamServer server(certificate(), [&](StreamPeer& peer) {
    ready.wait();
    answersAtOnce(peer);
  });
  auto client = makeClient(server);
  auto first = startFinish(*client);
  auto second = startFinish(*client);
  runUntilDone({second});
  ready.open();
  runUntilDone({first});
  EXPECT_EQ(first->code(), "ok");
  EXPECT_EQ(second->code(), "code=0");
}

TEST_F(StreamingTest, TheOutcomeIsKeptForLaterCallsAndCancelChangesNothing) {
  StreamServer server(certificate(), answersAtOnce);
  auto client = makeClient(server);
  auto first = finish(*client);
  ASSERT_EQ(first.code(), "ok");
  client->cancel();
  client->append(chunk(3200));
  auto again = finish(*client);
  EXPECT_EQ(again.code(), "ok");
  EXPECT_EQ(again.result, first.result);
  EXPECT_EQ(newLogLines().size(), 2u);
}

TEST_F(StreamingTest, CancelEndsTheSessionAndClosesTheSocket) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendText(readyMessage);
    peer.receiveUntilClosed();
  });
  auto client = makeClient(server);
  client->append(chunk(3200));
  ASSERT_TRUE(server.waitForConnections(1));
  client->cancel();
  ASSERT_TRUE(server.waitForEnd());
  EXPECT_TRUE(finish(*client).cancelled());
}

TEST_F(StreamingTest, CancellingTheAwaitingCoroutineCancelsTheSession) {
  StreamServer server(certificate(), [](StreamPeer& peer) {
    peer.sendText(readyMessage);
    peer.receiveUntilClosed();
  });
  auto client = makeClient(server);
  asio::cancellation_signal signal;
  auto outcome = startFinish(*client, signal.slot());
  ASSERT_TRUE(server.waitForConnections(1));
  while (server.frames().empty()) std::this_thread::yield();  // the finish frame is out
  signal.emit(asio::cancellation_type::terminal);
  runUntilDone({outcome});
  EXPECT_TRUE(outcome->cancelled());
  ASSERT_TRUE(server.waitForEnd());
  EXPECT_TRUE(finish(*client).cancelled()) << "a later call sees the same outcome";
}

TEST_F(StreamingTest, ReleasingTheClientWhileItsSocketIsBusyIsSafe) {
  Gate release;
  StreamServer server(
      certificate(),
      [&](StreamPeer& peer) {
        peer.sendText(readyMessage);
        release.wait();
      },
      StreamServer::Options{.receiveBufferBytes = 4096});
  {
    auto connecting = makeClient(server);  // released during the handshake
  }
  auto client = makeClient(server);
  ASSERT_TRUE(server.waitForConnections(1));
  for (int i = 0; i < 90; ++i) client->append(chunk(3200));  // writes stall on a full window
  auto pending = startFinish(*client);
  client.reset();
  runUntilDone({pending});
  EXPECT_TRUE(pending->cancelled());
  release.open();
}

}  // namespace
