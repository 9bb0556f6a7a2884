#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "platform/AudioInput.h"

// A scripted microphone for tests of anything that records.
//
//   FakeAudioInput mic;                       // authorised, 48000 Hz mono device
//   mic.setDevice({44100, 2});                // format of the engines made from now on
//   MacAudioRecorder recorder(mic, pool.get_executor());
//   recorder.start();
//   mic.deliver(FakeAudioInput::tone(440, 44100, 2, 0.5));  // half a second through the tap
//   mic.disconnect();                         // the running engine stops by itself
//   mic.setDevice({16000, 1});
//   recorder.reconnect();                     // next engine: 16 kHz mono
//
// Start failures: `failNextStart(...)` makes the next engine's start() throw,
// `notRunningAfterStart()` makes it return without running. `setDevice({0, 0})` is a missing
// device. Everything runs on the calling thread: `deliver` calls the tap right away, so the test
// plays the sound system's thread. Not thread-safe.
class FakeAudioInput final : public AudioInput {
 public:
  FakeAudioInput();
  ~FakeAudioInput() override;

  // --- scripting ---
  Authorization authorization = Authorization::authorized;
  bool accessAnswer = true;  // what requestAccess() answers; also becomes `authorization`
  int accessRequests = 0;

  void setDevice(AudioFormat format) { device_ = format; }
  void failNextStart(std::string message,
                     std::error_code code = std::make_error_code(std::errc::io_error));
  void notRunningAfterStart() { notRunningNextStart_ = true; }

  // Sends interleaved samples of the current engine's channel count through its tap, in buffers
  // of the tap's size (the last one shorter). Returns false, delivering nothing, when no engine
  // runs or no tap is installed.
  bool deliver(std::span<const float> interleaved);
  // One buffer exactly as given, whatever its size or channel count.
  bool deliverBuffer(const float* samples, std::uint32_t frames, int channels);

  // The running engine stops by itself (device removed or default device changed).
  void disconnect();

  // --- observation ---
  int enginesMade() const { return static_cast<int>(engines_.size()); }
  int enginesStarted() const { return started_; }
  int liveEngines() const;  // made and neither stopped nor destroyed
  std::uint32_t tapBufferFrames() const;

  // Interleaved test signals.
  static std::vector<float> tone(double frequency, double rate, int channels, double seconds,
                                 float amplitude = 0.5f);
  static std::vector<float> constant(float value, int channels, std::size_t frames);

  // --- AudioInput ---
  Authorization authorizationStatus() const override { return authorization; }
  asio::awaitable<bool> requestAccess() override;
  std::unique_ptr<AudioEngine> makeEngine() override;

  struct EngineState;

 private:
  EngineState* current() const;

  AudioFormat device_{48000, 1, true};
  std::optional<std::system_error> nextStartFailure_;
  bool notRunningNextStart_ = false;
  int started_ = 0;
  std::vector<std::shared_ptr<EngineState>> engines_;
};
