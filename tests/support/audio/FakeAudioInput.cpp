#include "support/audio/FakeAudioInput.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace wrenly {

// Shared by an engine and the input, so the test can still look at an engine the recorder
// has destroyed.
struct FakeAudioInput::EngineState {
  AudioFormat format;
  std::optional<std::system_error> failure;
  bool notRunning = false;
  AudioEngine::Tap tap;
  std::uint32_t bufferFrames = 0;
  bool running = false;
  bool stopped = false;  // stop() called or engine destroyed
};

namespace {

struct FakeEngine final : AudioEngine {
  explicit FakeEngine(std::shared_ptr<FakeAudioInput::EngineState> s) : state(std::move(s)) {}
  ~FakeEngine() override { stop(); }

  AudioFormat inputFormat() const override { return state->format; }
  void installTap(std::uint32_t frames, Tap tap) override {
    state->bufferFrames = frames;
    state->tap = std::move(tap);
  }
  void start() override {
    if (state->failure) throw *state->failure;
    state->running = !state->notRunning;
  }
  void stop() override {
    state->running = false;
    state->stopped = true;
    state->tap = nullptr;
  }
  bool isRunning() const override { return state->running; }

  std::shared_ptr<FakeAudioInput::EngineState> state;
};

}  // namespace

void FakeAudioInput::failNextStart(std::string message, std::error_code code, int count) {
  startFailure_.emplace(code, message);
  failingStarts_ = count;
}

asio::awaitable<bool> FakeAudioInput::requestAccess() {
  ++accessRequests;
  authorization = accessAnswer ? Authorization::authorized : Authorization::denied;
  co_return accessAnswer;
}

std::unique_ptr<AudioEngine> FakeAudioInput::makeEngine() {
  auto state = engines_.emplace_back(std::make_shared<EngineState>());
  state->format = device_;
  if (failingStarts_ > 0 && failingStarts_--) state->failure = startFailure_;
  state->notRunning = notRunningStarts_ > 0 && notRunningStarts_--;
  return std::make_unique<FakeEngine>(state);
}

FakeAudioInput::EngineState* FakeAudioInput::current() const {
  auto* state = engines_.empty() ? nullptr : engines_.back().get();
  return state && state->running && state->tap ? state : nullptr;
}

bool FakeAudioInput::deliver(std::span<const float> interleaved) {
  auto* state = current();
  if (!state) return false;
  const auto channels = static_cast<std::size_t>(state->format.channels);
  const std::size_t step = std::max<std::size_t>(state->bufferFrames, 1) * channels;
  for (std::size_t first = 0; first < interleaved.size(); first += step) {
    if (!(state = current())) return false;  // the tap may have ended the run
    const auto frames = std::min(step, interleaved.size() - first) / channels;
    state->tap(&interleaved[first], static_cast<std::uint32_t>(frames), state->format.channels);
  }
  return true;
}

void FakeAudioInput::disconnect() {
  if (auto* state = current()) state->running = false;
}

int FakeAudioInput::liveEngines() const {
  return static_cast<int>(
      std::count_if(engines_.begin(), engines_.end(), [](auto& e) { return !e->stopped; }));
}

std::uint32_t FakeAudioInput::tapBufferFrames() const {
  return engines_.empty() ? 0 : engines_.back()->bufferFrames;
}

std::vector<float> FakeAudioInput::tone(double frequency, double rate, int channels, double seconds,
                                        float amplitude) {
  std::vector<float> out(static_cast<std::size_t>(std::llround(seconds * rate) * channels));
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i / static_cast<std::size_t>(channels)) / rate;
    out[i] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * frequency * t));
  }
  return out;
}

}  // namespace wrenly
