#include "audio/Recorder.h"

#include <algorithm>
#include <cmath>

#include "audio/PcmEncoding.h"

namespace wrenly {

namespace {
constexpr float meterDecay = 0.78f;
}

Recorder::Recorder(AudioInput& input, asio::any_io_executor background,
                   ResamplerFactory makeResampler)
    : input_(input),
      makeResampler_(std::move(makeResampler)),
      streamQueue_("Wrenly.pcm", std::move(background)),
      stream_(std::make_shared<LivePcmStream>(makeResampler_)) {}

Recorder::~Recorder() {
  // The tap calls into this object; the engine guarantees no call once it has stopped.
  stopEngine();
}

bool Recorder::authorized() const {
  return input_.authorizationStatus() == AudioInput::Authorization::authorized;
}

asio::awaitable<bool> Recorder::requestPermission() {
  if (authorized()) co_return true;
  co_return co_await input_.requestAccess();
}

void Recorder::configureStream(PcmHandler onPCM, FailureHandler onFailure) {
  streamQueue_.sync([&] { stream_->configure(std::move(onPCM), std::move(onFailure)); });
}

void Recorder::start() {
  if (!authorized()) throw RecorderError::permissionDenied();
  if (engine_) return;
  startEngine(true);
  // An engine that started but does not run would make every later start() a no-op.
  if (!isRecording()) {
    stopCapturing();
    stopEngine();
  }
}

void Recorder::reconnect() {
  if (!authorized()) throw RecorderError::permissionDenied();
  if (engine_ && engine_->isRunning()) return;
  stopCapturing();
  stopEngine();
  startEngine(false);
}

bool Recorder::isRecording() const {
  return engine_ && engine_->isRunning();
}

float Recorder::currentLevel() const {
  std::lock_guard guard(lock_);
  return level_;
}

void Recorder::stop() {
  stopCapturing();
  stopEngine();
  streamQueue_.sync([&] { stream_->cancel(); });
  std::lock_guard guard(lock_);
  samples_ = {};  // gives the memory back rather than keeping minutes of capacity around
  completedSegments_.clear();
  level_ = 0;
}

std::vector<std::uint8_t> Recorder::finish() {
  stopCapturing();
  stopEngine();
  streamQueue_.sync([&] { stream_->end(); });
  std::vector<Segment> segments;
  {
    std::lock_guard guard(lock_);
    segments = std::move(completedSegments_);
    if (!samples_.empty()) segments.push_back(Segment{std::move(samples_), sampleRate_, channels_});
    samples_ = {};
    completedSegments_ = {};
    level_ = 0;
  }
  if (segments.empty()) throw RecorderError::empty();
  return PcmEncoding::encodeWav(segments, makeResampler_);
}

void Recorder::stopCapturing() {
  std::lock_guard guard(lock_);
  capturing_ = false;
}

void Recorder::stopEngine() {
  if (engine_) engine_->stop();
  engine_.reset();
}

void Recorder::startEngine(bool resetSamples) {
  auto engine = input_.makeEngine();
  const AudioFormat format = engine->inputFormat();
  if (!(format.sampleRate >= 8000.0) || format.channels <= 0 || !format.isFloat32) {
    throw RecorderError::unavailable();
  }
  streamQueue_.sync([&] { stream_->prepare(format.sampleRate, !resetSamples); });
  {
    std::lock_guard guard(lock_);
    if (resetSamples) {
      completedDuration_ = 0;
      completedSegments_.clear();
    } else if (!samples_.empty()) {
      const auto frames = samples_.size() / static_cast<std::size_t>(std::max(channels_, 1));
      completedDuration_ += static_cast<double>(frames) / sampleRate_;
      completedSegments_.push_back(Segment{std::move(samples_), sampleRate_, channels_});
    }
    samples_.clear();
    sampleRate_ = format.sampleRate;
    channels_ = format.channels;
    level_ = 0;
    capturing_ = true;
    // The whole remaining budget up front: the audio thread never reallocates (and never holds
    // two copies), and untouched pages cost no memory.
    const double remaining = std::max(maximumDuration - completedDuration_, 0.0);
    samples_.reserve(static_cast<std::size_t>(remaining * sampleRate_) *
                     static_cast<std::size_t>(channels_));
  }
  engine->installTap(tapBufferFrames,
                     [this](const float* data, std::uint32_t frames, int bufferChannels) {
                       receive(data, frames, bufferChannels);
                     });
  engine_ = std::move(engine);
  try {
    engine_->start();
  } catch (...) {
    stopCapturing();
    stopEngine();
    throw;
  }
}

void Recorder::receive(const float* data, std::uint32_t frames, int bufferChannels) {
  if (!data || frames == 0 || bufferChannels <= 0) return;
  std::vector<float> mono;
  {
    std::lock_guard guard(lock_);
    if (!capturing_) return;
    const auto stored = static_cast<std::int64_t>(samples_.size() /
                                                  static_cast<std::size_t>(std::max(channels_, 1)));
    const double remaining = std::max(maximumDuration - completedDuration_, 0.0);
    const std::int64_t budget = static_cast<std::int64_t>(remaining * sampleRate_) - stored;
    const std::int64_t keptFrames = std::clamp<std::int64_t>(budget, 0, frames);
    mono.reserve(static_cast<std::size_t>(keptFrames));
    float peak = 0;
    for (std::uint32_t f = 0; f < frames; ++f) {
      const bool kept = f < keptFrames;
      float sum = 0;
      for (int c = 0; c < bufferChannels; ++c) {
        float sample = data[static_cast<std::size_t>(f) * bufferChannels + c];
        if (!std::isfinite(sample)) sample = 0;
        peak = std::max(peak, std::fabs(sample));
        sum += sample;
        if (kept) samples_.push_back(sample);
      }
      if (kept) mono.push_back(sum / static_cast<float>(bufferChannels));
    }
    level_ = std::max(peak, meterDecay * level_);
  }
  if (mono.empty()) return;
  streamQueue_.post([weak = std::weak_ptr<LivePcmStream>(stream_), mono = std::move(mono)] {
    if (auto stream = weak.lock()) stream->append(mono);
  });
}

}  // namespace wrenly
