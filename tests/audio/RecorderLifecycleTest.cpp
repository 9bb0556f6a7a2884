#include <gmock/gmock.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>

#include "RecorderFixture.h"

namespace {

using Kind = MacAudioErrorKind;

void expectAudioError(Kind kind, const std::function<void()>& action) {
  try {
    action();
    ADD_FAILURE() << "no error";
  } catch (const MacAudioError& error) {
    EXPECT_EQ(error.value(), kind);
  }
}

bool ask(MacAudioRecorder& recorder) {
  asio::io_context io;
  auto answer = asio::co_spawn(io, recorder.requestPermission(), asio::use_future);
  io.run();
  return answer.get();
}

TEST(MacAudioErrorTest, CodesAndMessages) {
  EXPECT_EQ(MacAudioError::permissionDenied().diagnosticCode(), "code=0");
  EXPECT_EQ(MacAudioError::unavailable().diagnosticCode(), "code=1");
  EXPECT_EQ(MacAudioError::empty().diagnosticCode(), "code=2");
  EXPECT_EQ(MacAudioError::permissionDenied().localizedDescription(),
            "請在「系統設定 > 私隱與保安 > 麥克風」允許 Wrenly 使用麥克風。");
  EXPECT_EQ(MacAudioError::unavailable().localizedDescription(),
            "麥克風無法持續錄音，請檢查目前的音訊輸入裝置是否已連接。");
  EXPECT_EQ(MacAudioError::empty().localizedDescription(), "沒有收到語音，請重新錄音。");
}

TEST_F(RecorderTest, PermissionIsAskedOnlyWhenNotYetGranted) {
  EXPECT_TRUE(ask(recorder));
  EXPECT_EQ(mic.accessRequests, 0);

  mic.authorization = AudioInput::Authorization::notDetermined;
  mic.accessAnswer = false;
  EXPECT_FALSE(ask(recorder));
  EXPECT_EQ(mic.accessRequests, 1);
  expectAudioError(Kind::permissionDenied, [&] { recorder.start(); });
  expectAudioError(Kind::permissionDenied, [&] { recorder.reconnect(); });
  EXPECT_EQ(mic.enginesMade(), 0);
}

TEST_F(RecorderTest, UnusableFormatsAreUnavailableAndKeepStoredAudio) {
  mic.setDevice({16000, 1});
  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 16000, 1, 0.5));
  mic.disconnect();
  for (AudioFormat bad : {AudioFormat{0, 1}, AudioFormat{7999, 1}, AudioFormat{48000, 0},
                          AudioFormat{48000, 2, false}}) {
    SCOPED_TRACE(bad.sampleRate);
    mic.setDevice(bad);
    expectAudioError(Kind::unavailable, [&] { recorder.reconnect(); });
    EXPECT_FALSE(recorder.isRecording());
  }
  EXPECT_EQ(mic.liveEngines(), 0);
  const auto wav = WavFile::parse(recorder.finish());
  EXPECT_NEAR(wav.samples.size(), 8000u, 2u);
}

TEST_F(RecorderTest, EngineErrorPassesThroughAndKeepsEarlierSegments) {
  mic.setDevice({44100, 2});
  recorder.start();
  EXPECT_EQ(mic.tapBufferFrames(), 2048u);
  mic.deliver(FakeAudioInput::tone(440, 44100, 2, 1.0));
  mic.disconnect();
  mic.failNextStart("Entity killed", std::make_error_code(std::errc::no_such_device));
  try {
    recorder.reconnect();
    ADD_FAILURE() << "no error";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::no_such_device);
    EXPECT_THAT(error.what(), ::testing::HasSubstr("Entity killed"));
  }
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  EXPECT_NEAR(WavFile::parse(recorder.finish()).samples.size(), 16000u, 2u);
}

TEST_F(RecorderTest, StartThatDoesNotRunLeavesNoEngineSoTheNextStartOpensAgain) {
  mic.notRunningAfterStart();
  recorder.start();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  EXPECT_FALSE(mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.1)));

  recorder.start();
  EXPECT_TRUE(recorder.isRecording());
  EXPECT_EQ(mic.enginesStarted(), 2);
  // A second start while recording changes nothing.
  recorder.start();
  EXPECT_EQ(mic.enginesMade(), 2);
  EXPECT_TRUE(recorder.isRecording());
}

TEST_F(RecorderTest, FinishWithoutAudioIsEmptyAndStopDiscards) {
  recorder.start();
  expectAudioError(Kind::empty, [&] { recorder.finish(); });
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);

  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.5));
  recorder.stop();
  EXPECT_EQ(recorder.currentLevel(), 0.0f);
  EXPECT_FALSE(mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.5)));
  expectAudioError(Kind::empty, [&] { recorder.finish(); });
}

TEST_F(RecorderTest, DeviceChangeGivesOneWavWithBothSegmentsInOrder) {
  mic.setDevice({44100, 2});
  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 44100, 2, 1.0, 0.5f));
  mic.disconnect();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_FALSE(mic.deliver(FakeAudioInput::tone(440, 44100, 2, 1.0)));  // interrupted: no buffers

  mic.setDevice({22050, 1});
  recorder.reconnect();
  EXPECT_TRUE(recorder.isRecording());
  recorder.reconnect();  // running: nothing happens
  EXPECT_EQ(mic.enginesMade(), 2);
  mic.deliver(FakeAudioInput::constant(0.0f, 1, 22050 / 2));

  const auto wav = WavFile::parse(recorder.finish());
  ASSERT_NEAR(wav.samples.size(), 24000u, 4u);
  auto rms = [&](size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(wav.samples[i]) * wav.samples[i];
    return std::sqrt(sum / double(to - from));
  };
  EXPECT_NEAR(rms(1000, 15000), 0.5 * 32768 / std::sqrt(2.0), 200);  // the tone first
  EXPECT_LT(rms(16500, 24000), 1.0);                                 // then the silence
}

}  // namespace
