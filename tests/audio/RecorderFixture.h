#pragma once

#include <gtest/gtest.h>

#include <boost/asio/thread_pool.hpp>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "audio/MacAudioRecorder.h"
#include "support/audio/FakeAudioInput.h"

// What a WAV file from the recorder says about itself.
struct WavFile {
  std::string riff, waveFmt, data;
  std::uint32_t riffSize = 0, fmtSize = 0, rate = 0, byteRate = 0, dataSize = 0;
  std::uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
  std::vector<std::int16_t> samples;

  static WavFile parse(const std::vector<std::uint8_t>& bytes) {
    WavFile w;
    EXPECT_GE(bytes.size(), 44u);
    if (bytes.size() < 44) return w;
    auto u32 = [&](size_t at) {
      return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 |
             std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
    };
    auto u16 = [&](size_t at) { return std::uint16_t(bytes[at] | bytes[at + 1] << 8); };
    w.riff.assign(bytes.begin(), bytes.begin() + 4);
    w.riffSize = u32(4);
    w.waveFmt.assign(bytes.begin() + 8, bytes.begin() + 16);
    w.fmtSize = u32(16);
    w.format = u16(20);
    w.channels = u16(22);
    w.rate = u32(24);
    w.byteRate = u32(28);
    w.blockAlign = u16(32);
    w.bits = u16(34);
    w.data.assign(bytes.begin() + 36, bytes.begin() + 40);
    w.dataSize = u32(40);
    w.samples = pcm(bytes.data() + 44, bytes.size() - 44);
    return w;
  }

  static std::vector<std::int16_t> pcm(const std::uint8_t* bytes, size_t size) {
    std::vector<std::int16_t> out(size / 2);
    for (size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return out;
  }
};

// Live chunks and failure calls, collected from the "Wrenly.mac.pcm" queue.
struct StreamLog {
  std::mutex mutex;
  std::vector<std::vector<std::uint8_t>> chunks;
  int failures = 0;

  MacAudioRecorder::PcmHandler onPCM() {
    return [this](std::vector<std::uint8_t> chunk) {
      std::lock_guard guard(mutex);
      chunks.push_back(std::move(chunk));
    };
  }
  MacAudioRecorder::FailureHandler onFailure() {
    return [this] {
      std::lock_guard guard(mutex);
      ++failures;
    };
  }
  std::vector<std::uint8_t> joined() {
    std::lock_guard guard(mutex);
    std::vector<std::uint8_t> all;
    for (auto& c : chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
  }
  size_t count() {
    std::lock_guard guard(mutex);
    return chunks.size();
  }
};

class RecorderTest : public ::testing::Test {
 protected:
  explicit RecorderTest(ResamplerFactory factory = makeSoxrResampler)
      : recorder(mic, pool.get_executor(), std::move(factory)) {}
  ~RecorderTest() override { pool.join(); }

  void streamInto(StreamLog& log) { recorder.configureStream(log.onPCM(), log.onFailure()); }

  asio::thread_pool pool{1};
  FakeAudioInput mic;
  MacAudioRecorder recorder;
};
