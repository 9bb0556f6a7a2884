#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioSegment.h"
#include "audio/LivePcmStream.h"
#include "audio/RecorderError.h"
#include "audio/Resampler.h"
#include "base/SerialQueue.h"
#include "platform/AudioInput.h"

namespace wrenly {

// Records one dictation at a time from the default microphone: keeps every sample (up to
// `maximumDuration` summed over all segments) for the WAV file, feeds a live 16 kHz PCM stream
// and keeps a peak meter. A device change ends an engine run by itself; `reconnect()` continues
// the recording on the new default device as a new segment.
//
// Threads: every public member is called from the owner's thread (the controller's main loop).
// The tap runs on the sound system's thread, the live path and its callbacks on the
// "Wrenly.pcm" queue.
class Recorder {
 public:
  using Segment = AudioSegment;
  using PcmHandler = LivePcmStream::PcmHandler;
  using FailureHandler = LivePcmStream::FailureHandler;

  static constexpr double maximumDuration = 180.0;  // seconds
  static constexpr std::uint32_t tapBufferFrames = 2048;

  // `background` runs the "Wrenly.pcm" queue; `input` must outlive the recorder.
  Recorder(AudioInput& input, asio::any_io_executor background,
           ResamplerFactory makeResampler = makeSoxrResampler);
  ~Recorder();

  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // True at once when capture is authorised, otherwise the answer of the system.
  asio::awaitable<bool> requestPermission();

  // Sets (or clears, with empty functions) the live stream callbacks; they take effect at the
  // next engine start. Both are called on the "Wrenly.pcm" queue.
  void configureStream(PcmHandler onPCM, FailureHandler onFailure);

  // Begins a new recording; does nothing while an engine exists. Throws RecorderError or the
  // sound system's std::system_error. A start that does not end up recording leaves no engine.
  void start();

  // Continues the recording on the current default device, closing the open segment; does
  // nothing while the engine runs. Throws like start().
  void reconnect();

  bool isRecording() const;
  float currentLevel() const;

  // Abandons the recording: nothing more reaches the stream callbacks, all audio is dropped.
  void stop();

  // Ends the recording and returns it as a WAV file (16 kHz mono 16-bit), after handing the
  // last partial live chunk out. Throws RecorderError::empty when nothing was captured.
  std::vector<std::uint8_t> finish();

 private:
  void startEngine(bool resetSamples);
  void stopEngine();
  void stopCapturing();
  void receive(const float* data, std::uint32_t frames, int bufferChannels);
  bool authorized() const;

  AudioInput& input_;
  ResamplerFactory makeResampler_;
  SerialQueue streamQueue_;
  std::shared_ptr<LivePcmStream> stream_;  // used only on streamQueue_

  std::unique_ptr<AudioEngine> engine_;  // owner's thread only

  mutable std::mutex lock_;  // guards everything below
  bool capturing_ = false;
  double completedDuration_ = 0;
  std::vector<float> samples_;
  std::vector<Segment> completedSegments_;
  double sampleRate_ = 0;
  int channels_ = 0;
  float level_ = 0;
};

}  // namespace wrenly
