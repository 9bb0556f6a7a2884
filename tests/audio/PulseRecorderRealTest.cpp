// Records real speech from a private sound server (started by with-pulseaudio.sh) with two pipe
// sources: "first" (16 kHz mono, the default) and "second" (48 kHz stereo).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "RecorderFixture.h"
#include "platform/linux/pulse/PulseAudioInput.h"

using namespace wrenly;

namespace {

using namespace std::chrono_literals;

const std::filesystem::path serverDir = [] {
  const char* dir = std::getenv("WRENLY_TEST_PULSE_DIR");
  return std::filesystem::path(dir ? dir : "");
}();

// The real microphone, counting the frames its latest engine's tap receives.
struct CountingInput final : AudioInput {
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t frames = 0;
  PulseAudioInput real;

  struct Engine final : AudioEngine {
    Engine(std::unique_ptr<AudioEngine> e, CountingInput& o) : inner(std::move(e)), owner(o) {}
    AudioFormat inputFormat() const override { return inner->inputFormat(); }
    void installTap(std::uint32_t size, Tap tap) override {
      inner->installTap(size, [this, tap](const float* s, std::uint32_t n, int channels) {
        tap(s, n, channels);
        std::lock_guard guard(owner.mutex);
        owner.frames += n;
        owner.changed.notify_all();
      });
    }
    void start() override { inner->start(); }
    void stop() override { inner->stop(); }
    bool isRunning() const override { return inner->isRunning(); }
    std::unique_ptr<AudioEngine> inner;
    CountingInput& owner;
  };

  Authorization authorizationStatus() const override { return real.authorizationStatus(); }
  asio::awaitable<bool> requestAccess() override { return real.requestAccess(); }
  std::unique_ptr<AudioEngine> makeEngine() override {
    auto engine = std::make_unique<Engine>(real.makeEngine(), *this);
    std::lock_guard guard(mutex);
    frames = 0;
    return engine;
  }
  bool waitForFrames(std::uint64_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return frames >= count; });
  }
};

// Plays 16-bit samples into a pipe source in 20 ms steps at real time: the source reads only
// while it records, and a backlog would arrive in one burst.
bool play(const std::string& source, const std::vector<std::int16_t>& samples, std::size_t step) {
  std::ofstream out(serverDir / (source + ".fifo"), std::ios::binary);
  auto due = std::chrono::steady_clock::now();
  for (std::size_t at = 0; at < samples.size() && out; at += step) {
    const auto count = std::min(step, samples.size() - at);
    out.write(reinterpret_cast<const char*>(&samples[at]), std::streamsize(count * 2)).flush();
    std::this_thread::sleep_until(due += 20ms);
  }
  return bool(out);
}

// Best normalised correlation of `got` against `want` for lags of up to 800 samples.
double alignedCorrelation(const std::vector<std::int16_t>& got,
                          const std::vector<std::int16_t>& want) {
  double best = -1;
  for (long lag = -800; lag <= 800; ++lag) {
    double sxy = 0, sxx = 0, syy = 0;
    for (long i = std::max(0L, -lag); i < long(want.size()) && i + lag < long(got.size()); ++i) {
      const double x = want[std::size_t(i)], y = got[std::size_t(i + lag)];
      sxy += x * y, sxx += x * x, syy += y * y;
    }
    if (sxx > 0 && syy > 0) best = std::max(best, sxy / std::sqrt(sxx * syy));
  }
  return best;
}

class PulseRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (serverDir.empty()) GTEST_SKIP() << "run through with-pulseaudio.sh";
    ASSERT_EQ(std::system("timeout 10 pactl set-default-source first"), 0);
  }
  asio::thread_pool pool{1};
  CountingInput mic;
  StreamLog log;
  Recorder recorder{mic, pool.get_executor()};
};

TEST_F(PulseRecorderTest, RecordsSpeechAcrossAChangeOfDefaultSource) {
  std::ifstream in("/usr/share/pocketsphinx/test/data/goforward.raw", std::ios::binary);
  const std::vector<char> raw((std::istreambuf_iterator<char>(in)), {});
  const auto speech = pcm(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
  ASSERT_GT(speech.size(), 16000u * 2);
  const std::size_t split = 16000 * 3 / 2;  // 1.5 s on the first device, the rest on the second
  const std::vector<std::int16_t> first(speech.begin(), speech.begin() + split);
  std::vector<std::int16_t> rest48;  // the rest as 48 kHz stereo: each sample held 3 frames
  for (std::size_t i = split; i < speech.size(); ++i) rest48.insert(rest48.end(), 6, speech[i]);

  log.attach(recorder);
  recorder.start();
  ASSERT_TRUE(recorder.isRecording());
  ASSERT_TRUE(play("first", first, 320));
  ASSERT_TRUE(mic.waitForFrames(split));
  ASSERT_EQ(std::system("timeout 10 pactl set-default-source second"), 0);
  for (int i = 0; i < 2000 && recorder.isRecording(); ++i) std::this_thread::sleep_for(5ms);
  ASSERT_FALSE(recorder.isRecording());
  recorder.reconnect();
  ASSERT_TRUE(recorder.isRecording());
  ASSERT_TRUE(play("second", rest48, 1920));
  ASSERT_TRUE(mic.waitForFrames(rest48.size() / 2));

  // Each engine run read at its device's format, or the length and the sound would be off.
  const auto wav = wavSamples(recorder.finish());
  EXPECT_NEAR(double(wav.size()), double(speech.size()), 16000 * 0.005);  // within 5 ms
  const double correlation = alignedCorrelation(wav, speech);
  EXPECT_GT(correlation, 0.9);
  RecordProperty("correlation", std::to_string(correlation));
  EXPECT_EQ(log.failures, 0);
  EXPECT_NEAR(double(log.bytes.size()), double(wav.size() * 2), 2);
}

// Sound already waiting in the device comes in the moment the stream opens, possibly before
// start() has returned: none of it may be lost.
TEST_F(PulseRecorderTest, AudioArrivingAsTheStreamOpensIsKept) {
  const std::vector<std::int16_t> backlog(4000, 8000);  // 250 ms, waiting in the pipe
  const int fd = ::open((serverDir / "first.fifo").c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, backlog.data(), backlog.size() * 2), 8000);
  ::close(fd);
  recorder.start();
  ASSERT_TRUE(mic.waitForFrames(backlog.size()));
  EXPECT_NEAR(wavSamples(recorder.finish()).size(), backlog.size(), 16);
}

TEST_F(PulseRecorderTest, WithoutSoundServerStartIsUnavailable) {
  const std::string saved = std::getenv("PULSE_SERVER");
  ::setenv("PULSE_SERVER", (serverDir / "no-such-socket").c_str(), 1);
  expectAudioError(AudioErrorKind::unavailable, [&] { recorder.start(); });
  EXPECT_FALSE(recorder.isRecording());
  ::setenv("PULSE_SERVER", saved.c_str(), 1);
}

}  // namespace
