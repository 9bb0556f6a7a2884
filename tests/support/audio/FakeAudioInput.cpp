#include "support/audio/FakeAudioInput.h"

#include <algorithm>
#include <cmath>
#include <numbers>

struct FakeAudioInput::EngineState {
  AudioFormat format;
  AudioEngine::Tap tap;
  std::uint32_t bufferFrames = 0;
  bool running = false;
  bool stopped = false;  // stop() called or engine destroyed
  bool alive = true;
};

namespace {

class FakeEngine final : public AudioEngine {
 public:
  FakeEngine(std::shared_ptr<FakeAudioInput::EngineState> state,
             std::optional<std::system_error> failure, bool notRunning, int& started)
      : state_(std::move(state)),
        failure_(std::move(failure)),
        notRunning_(notRunning),
        started_(started) {}
  ~FakeEngine() override {
    stop();
    state_->alive = false;
  }

  AudioFormat inputFormat() const override { return state_->format; }
  void installTap(std::uint32_t bufferFrames, Tap tap) override {
    state_->bufferFrames = bufferFrames;
    state_->tap = std::move(tap);
  }
  void start() override {
    if (failure_) throw *failure_;
    if (state_->format.sampleRate <= 0 || state_->format.channels <= 0) {
      throw std::system_error(std::make_error_code(std::errc::no_such_device), "no device");
    }
    ++started_;
    state_->running = !notRunning_;
  }
  void stop() override {
    state_->running = false;
    state_->stopped = true;
    state_->tap = nullptr;
  }
  bool isRunning() const override { return state_->running; }

 private:
  std::shared_ptr<FakeAudioInput::EngineState> state_;
  std::optional<std::system_error> failure_;
  bool notRunning_;
  int& started_;
};

}  // namespace

FakeAudioInput::FakeAudioInput() = default;
FakeAudioInput::~FakeAudioInput() = default;

void FakeAudioInput::failNextStart(std::string message, std::error_code code) {
  nextStartFailure_.emplace(code, message);
}

asio::awaitable<bool> FakeAudioInput::requestAccess() {
  ++accessRequests;
  authorization = accessAnswer ? Authorization::authorized : Authorization::denied;
  co_return accessAnswer;
}

std::unique_ptr<AudioEngine> FakeAudioInput::makeEngine() {
  auto state = std::make_shared<EngineState>();
  state->format = device_;
  engines_.push_back(state);
  auto engine = std::make_unique<FakeEngine>(state, std::move(nextStartFailure_),
                                             notRunningNextStart_, started_);
  nextStartFailure_.reset();
  notRunningNextStart_ = false;
  return engine;
}

FakeAudioInput::EngineState* FakeAudioInput::current() const {
  if (engines_.empty()) return nullptr;
  auto* state = engines_.back().get();
  return state->alive && state->running && state->tap ? state : nullptr;
}

bool FakeAudioInput::deliver(std::span<const float> interleaved) {
  auto* state = current();
  if (!state) return false;
  const auto channels = static_cast<std::size_t>(state->format.channels);
  const std::size_t frames = interleaved.size() / channels;
  const std::size_t step = std::max<std::uint32_t>(state->bufferFrames, 1);
  for (std::size_t first = 0; first < frames; first += step) {
    const auto count = static_cast<std::uint32_t>(std::min(step, frames - first));
    if (!deliverBuffer(interleaved.data() + first * channels, count, state->format.channels)) {
      return false;
    }
  }
  return true;
}

bool FakeAudioInput::deliverBuffer(const float* samples, std::uint32_t frames, int channels) {
  auto* state = current();
  if (!state) return false;
  state->tap(samples, frames, channels);
  return true;
}

void FakeAudioInput::disconnect() {
  if (auto* state = current()) state->running = false;
}

int FakeAudioInput::liveEngines() const {
  return static_cast<int>(std::count_if(engines_.begin(), engines_.end(),
                                        [](const auto& e) { return e->alive && !e->stopped; }));
}

std::uint32_t FakeAudioInput::tapBufferFrames() const {
  return engines_.empty() ? 0 : engines_.back()->bufferFrames;
}

std::vector<float> FakeAudioInput::tone(double frequency, double rate, int channels, double seconds,
                                        float amplitude) {
  const auto frames = static_cast<std::size_t>(std::llround(seconds * rate));
  std::vector<float> out(frames * static_cast<std::size_t>(channels));
  for (std::size_t f = 0; f < frames; ++f) {
    const float v = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * frequency *
                                                            static_cast<double>(f) / rate));
    for (int c = 0; c < channels; ++c) out[f * channels + c] = v;
  }
  return out;
}

std::vector<float> FakeAudioInput::constant(float value, int channels, std::size_t frames) {
  return std::vector<float>(frames * static_cast<std::size_t>(channels), value);
}
