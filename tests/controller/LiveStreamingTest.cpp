// Dictations streamed by the real client to a loopback WSS server.

#include <gmock/gmock.h>

#include <atomic>

#include "controller/ControllerFixture.h"
#include "controller/LiveStreamingSession.h"
#include "support/streaming/StreamServer.h"

using namespace wrenly;

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const std::string ready = R"({"type":"ready"})";
const std::string result =
    R"({"type":"result","transcript":"第一點買牛奶第二點買麵包","text":"第一點買牛奶，第二點買麵包。","segments":2,"fallbackSegments":2})";

class LiveStreaming : public ControllerFixture {
 public:
  // The stream socket answers with `script`; the rest of the service is the contract server.
  void serve(StreamServer::Script script) {
    streamServer = std::make_unique<StreamServer>(server.certificate(), std::move(script));
    liveSessions = liveStreamingSessions(platform, service, streamServer->baseURL(),
                                         StreamTrust{server.certificateFile()});
    signedIn();
    setUpDone();
    launch();
    controller->setStreamingConsent(true);
  }

  std::size_t audioBytesSent() const {
    std::size_t bytes = 0;
    for (const auto& frame : streamServer->frames()) bytes += frame.text ? 0 : frame.data.size();
    return bytes;
  }

  std::unique_ptr<StreamServer> streamServer;
};

TEST_F(LiveStreaming, APlainDictationIsRecognisedWhileSpeaking) {
  serve([](StreamPeer& peer) {
    peer.sendText(ready);
    if (peer.receiveUntilFinish()) peer.sendText(result);
  });
  startDictation();
  ASSERT_TRUE(streamServer->waitForConnections(1));
  EXPECT_THAT(streamServer->target(), HasSubstr("cleanup=1"));
  speak(1.0);
  stopDictation();

  EXPECT_EQ(editorField->text(), "1. 買牛奶\n2. 買麵包");
  EXPECT_EQ(audioBytesSent(), 32000u);
  EXPECT_THAT(requestPaths(), ElementsAre("GET access", "GET access"));
  EXPECT_EQ(cycleLines().front(), "processing start streaming=true audio_ms=1000");
  EXPECT_EQ(state().message, "已向原本的輸入欄送出貼上；文字亦已複製，可按 Ctrl+V 重貼。");
}

}  // namespace
