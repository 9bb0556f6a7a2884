#include <boost/asio/io_context.hpp>

#include "RecorderFixture.h"
#include "support/LoopDriver.h"

using namespace wrenly;

namespace {

using Kind = AudioErrorKind;

TEST_F(RecorderTest, PermissionIsAskedOnlyWhenNotYetGranted) {
  asio::io_context loop;
  auto ask = [&] { return LoopDriver(loop).finish(recorder.requestPermission()); };
  EXPECT_TRUE(ask());
  EXPECT_EQ(mic.accessRequests, 0);
  mic.authorization = AudioInput::Authorization::notDetermined;
  mic.accessAnswer = false;
  EXPECT_FALSE(ask());
  EXPECT_EQ(mic.accessRequests, 1);
  expectAudioError(Kind::permissionDenied, [&] { recorder.start(); });
  expectAudioError(Kind::permissionDenied, [&] { recorder.reconnect(); });
  EXPECT_EQ(mic.enginesMade(), 0);
}

// After a device change, neither an unusable format nor a failing engine loses what was
// captured, and neither leaves an engine behind.
TEST_F(RecorderTest, FailedReconnectsKeepStoredAudio) {
  mic.setDevice({44100, 2});
  recorder.start();
  EXPECT_EQ(mic.tapBufferFrames(), 2048u);
  mic.deliver(FakeAudioInput::tone(440, 44100, 2, 0.5));
  mic.disconnect();
  for (AudioFormat bad : {AudioFormat{0, 1}, AudioFormat{7999, 1}, AudioFormat{48000, 0},
                          AudioFormat{48000, 2, false}}) {
    mic.setDevice(bad);
    expectAudioError(Kind::unavailable, [&] { recorder.reconnect(); });
  }
  mic.setDevice({48000, 1});
  mic.failNextStart("Entity killed", std::make_error_code(std::errc::no_such_device));
  EXPECT_THAT([&] { recorder.reconnect(); },  // the engine's own error, unchanged
              testing::ThrowsMessage<std::system_error>(testing::HasSubstr("Entity killed")));
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  EXPECT_NEAR(wavSamples(recorder.finish()).size(), 8000u, 2u);
}

TEST_F(RecorderTest, StartThatDoesNotRunLeavesNoEngineSoTheNextStartOpensAgain) {
  mic.notRunningAfterStart();
  recorder.start();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  recorder.start();
  EXPECT_TRUE(recorder.isRecording());
  recorder.start();  // while recording: nothing happens
  EXPECT_EQ(mic.enginesMade(), 2);
}

TEST_F(RecorderTest, FinishWithoutAudioIsEmpty) {
  recorder.start();
  expectAudioError(Kind::empty, [&] { recorder.finish(); });
  EXPECT_EQ(mic.liveEngines(), 0);
}

}  // namespace
