#pragma once

#include <gmock/gmock.h>

#include <boost/asio/thread_pool.hpp>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

#include "audio/Recorder.h"
#include "support/audio/FakeAudioInput.h"

namespace wrenly {

inline std::vector<std::int16_t> pcm(const std::uint8_t* bytes, std::size_t size) {
  std::vector<std::int16_t> out(size / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = std::int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return out;
}

// The samples of a WAV file from the recorder (its header is checked in AudioTest).
inline std::vector<std::int16_t> wavSamples(const std::vector<std::uint8_t>& wav) {
  EXPECT_GE(wav.size(), 44u);
  return wav.size() < 44 ? std::vector<std::int16_t>{} : pcm(wav.data() + 44, wav.size() - 44);
}

inline double rms(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

// Live chunks (their sizes and all bytes) and failure calls, from the recorder's stream queue.
struct StreamLog {
  std::mutex mutex;
  std::vector<std::size_t> sizes;
  std::vector<std::uint8_t> bytes;
  int failures = 0;

  void attach(Recorder& recorder) {
    recorder.configureStream(
        [this](std::vector<std::uint8_t> chunk) {
          std::lock_guard guard(mutex);
          sizes.push_back(chunk.size());
          bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        },
        [this] { ++failures; });
  }
};

class RecorderTest : public ::testing::Test {
 protected:
  explicit RecorderTest(ResamplerFactory factory = makeSoxrResampler)
      : recorder(mic, pool.get_executor(), std::move(factory)) {}
  ~RecorderTest() override { pool.join(); }

  asio::thread_pool pool{1};
  FakeAudioInput mic;
  StreamLog log;
  Recorder recorder;
};

inline void expectAudioError(AudioErrorKind kind, const std::function<void()>& action) {
  EXPECT_THAT(action,
              testing::Throws<RecorderError>(testing::Property(&RecorderError::value, kind)));
}

}  // namespace wrenly
