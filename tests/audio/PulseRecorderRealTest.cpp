// Records real speech from a private sound server (started by with-pulseaudio.sh) and checks
// that the WAV holds what was played into the microphone, across a change of default device.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "RecorderFixture.h"
#include "platform/linux/pulse/PulseAudioInput.h"

namespace {

using namespace std::chrono_literals;

std::filesystem::path serverDir() {
  const char* dir = std::getenv("WRENLY_TEST_PULSE_DIR");
  return dir ? dir : "";
}

std::vector<std::int16_t> readRaw(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  return WavFile::pcm(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// The real microphone, with a count of the frames each engine handed to the tap.
class CountingInput final : public AudioInput {
 public:
  struct Counts {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<AudioFormat> formats;
    std::uint64_t frames = 0;  // of the latest engine
  };

  Authorization authorizationStatus() const override { return real_.authorizationStatus(); }
  asio::awaitable<bool> requestAccess() override { return real_.requestAccess(); }
  std::unique_ptr<AudioEngine> makeEngine() override {
    auto engine = real_.makeEngine();
    {
      std::lock_guard guard(counts.mutex);
      counts.formats.push_back(engine->inputFormat());
      counts.frames = 0;
    }
    return std::make_unique<Counting>(std::move(engine), counts);
  }

  bool waitForFrames(std::uint64_t frames, std::chrono::seconds bound) {
    std::unique_lock lock(counts.mutex);
    return counts.changed.wait_for(lock, bound, [&] { return counts.frames >= frames; });
  }

  Counts counts;

 private:
  struct Counting final : AudioEngine {
    Counting(std::unique_ptr<AudioEngine> e, Counts& c) : inner(std::move(e)), counts(c) {}
    AudioFormat inputFormat() const override { return inner->inputFormat(); }
    void installTap(std::uint32_t frames, Tap tap) override {
      inner->installTap(
          frames, [this, tap = std::move(tap)](const float* s, std::uint32_t n, int channels) {
            tap(s, n, channels);
            std::lock_guard guard(counts.mutex);
            counts.frames += n;
            counts.changed.notify_all();
          });
    }
    void start() override { inner->start(); }
    void stop() override { inner->stop(); }
    bool isRunning() const override { return inner->isRunning(); }
    std::unique_ptr<AudioEngine> inner;
    Counts& counts;
  };

  PulseAudioInput real_;
};

// Plays samples into a pipe source at real time (the source only reads while it records).
bool play(const std::filesystem::path& fifo, const std::int16_t* samples, size_t count,
          int channels, int rate) {
  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd < 0) return false;
  const size_t step = static_cast<size_t>(rate / 50) * channels;  // 20 ms
  auto due = std::chrono::steady_clock::now();
  bool ok = true;
  for (size_t at = 0; at < count && ok; at += step) {
    const auto* bytes = reinterpret_cast<const char*>(samples + at);
    size_t left = std::min(step, count - at) * 2;
    while (left > 0) {
      const ssize_t n = ::write(fd, bytes, left);
      if (n > 0) {
        bytes += n;
        left -= static_cast<size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 2000) <= 0) ok = false;
        if (!ok) break;
      } else {
        ok = false;
        break;
      }
    }
    due += 20ms;
    std::this_thread::sleep_until(due);
  }
  ::close(fd);
  return ok;
}

// Best normalised correlation of `got` against `want` for lags of up to `maxLag` samples.
double alignedCorrelation(const std::vector<std::int16_t>& got,
                          const std::vector<std::int16_t>& want, int maxLag) {
  double best = -1;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < want.size(); ++i) {
      const long j = static_cast<long>(i) + lag;
      if (j < 0 || j >= static_cast<long>(got.size())) continue;
      const double x = want[i], y = got[static_cast<size_t>(j)];
      sxy += x * y;
      sxx += x * x;
      syy += y * y;
    }
    if (sxx > 0 && syy > 0) best = std::max(best, sxy / std::sqrt(sxx * syy));
  }
  return best;
}

bool waitUntilNotRecording(MacAudioRecorder& recorder) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (recorder.isRecording()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class PulseRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (serverDir().empty()) GTEST_SKIP() << "run through with-pulseaudio.sh";
  }
  asio::thread_pool pool{1};
  CountingInput mic;
};

TEST_F(PulseRecorderTest, RecordsSpeechAcrossAChangeOfDefaultSource) {
  const auto speech = readRaw("/usr/share/pocketsphinx/test/data/goforward.raw");
  ASSERT_GT(speech.size(), 16000u * 2);
  const size_t split = 16000 * 3 / 2;  // 1.5 s on the first device, the rest on the second

  // The rest, as the 48 kHz stereo device would capture it.
  std::vector<std::int16_t> rest48;
  {
    const auto dir = serverDir();
    const std::string command = "sox -t raw -r 16000 -e signed -b 16 -c 1 '" +
                                (dir / "rest16.raw").string() + "' -t raw -r 48000 -c 2 '" +
                                (dir / "rest48.raw").string() + "'";
    std::ofstream(dir / "rest16.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(speech.data() + split),
               static_cast<std::streamsize>((speech.size() - split) * 2));
    ASSERT_EQ(std::system(("timeout 20 " + command).c_str()), 0);
    rest48 = readRaw(dir / "rest48.raw");
  }

  MacAudioRecorder recorder(mic, pool.get_executor());
  StreamLog log;
  recorder.configureStream(log.onPCM(), log.onFailure());
  recorder.start();
  ASSERT_TRUE(recorder.isRecording());
  ASSERT_TRUE(play(serverDir() / "first.fifo", speech.data(), split, 1, 16000));
  ASSERT_TRUE(mic.waitForFrames(split, 10s));

  ASSERT_EQ(std::system("timeout 10 pactl set-default-source second"), 0);
  ASSERT_TRUE(waitUntilNotRecording(recorder));
  recorder.reconnect();
  ASSERT_TRUE(recorder.isRecording());
  ASSERT_TRUE(play(serverDir() / "second.fifo", rest48.data(), rest48.size(), 2, 48000));
  ASSERT_TRUE(mic.waitForFrames(rest48.size() / 2, 10s));

  const auto wav = WavFile::parse(recorder.finish());
  {
    std::lock_guard guard(mic.counts.mutex);
    ASSERT_EQ(mic.counts.formats.size(), 2u);  // two engine runs, each at its device's format
    EXPECT_EQ(mic.counts.formats[0].sampleRate, 16000);
    EXPECT_EQ(mic.counts.formats[0].channels, 1);
    EXPECT_EQ(mic.counts.formats[1].sampleRate, 48000);
    EXPECT_EQ(mic.counts.formats[1].channels, 2);
  }
  EXPECT_NEAR(static_cast<double>(wav.samples.size()), static_cast<double>(speech.size()),
              16000 * 0.005);  // within 5 ms
  const double correlation = alignedCorrelation(wav.samples, speech, 800);
  EXPECT_GT(correlation, 0.9);
  RecordProperty("correlation", std::to_string(correlation));
  RecordProperty("wavSamples", std::to_string(wav.samples.size()));
  EXPECT_EQ(log.failures, 0);
  const auto live = log.joined();
  EXPECT_NEAR(static_cast<double>(live.size()), static_cast<double>(wav.samples.size() * 2), 2);
}

TEST_F(PulseRecorderTest, WithoutSoundServerStartIsUnavailable) {
  const std::string saved = std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "";
  ::setenv("PULSE_SERVER", (serverDir() / "no-such-socket").c_str(), 1);
  MacAudioRecorder recorder(mic, pool.get_executor());
  try {
    recorder.start();
    ADD_FAILURE() << "no error";
  } catch (const MacAudioError& error) {
    EXPECT_EQ(error.value(), MacAudioErrorKind::unavailable);
  }
  EXPECT_FALSE(recorder.isRecording());
  ::setenv("PULSE_SERVER", saved.c_str(), 1);
}

}  // namespace

namespace {

// Sound already waiting in the device comes in the moment the stream opens, possibly before
// start() has returned: none of it may be lost.
TEST_F(PulseRecorderTest, AudioArrivingAsTheStreamOpensIsKept) {
  ASSERT_EQ(std::system("timeout 10 pactl set-default-source first"), 0);
  const std::vector<std::int16_t> backlog(4000, 8000);  // 250 ms, waiting in the pipe
  const int fd = ::open((serverDir() / "first.fifo").c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, backlog.data(), backlog.size() * 2), 8000);
  ::close(fd);
  MacAudioRecorder recorder(mic, pool.get_executor());
  recorder.start();
  ASSERT_TRUE(mic.waitForFrames(backlog.size(), 5s));
  EXPECT_NEAR(WavFile::parse(recorder.finish()).samples.size(), backlog.size(), 16);
}

}  // namespace
