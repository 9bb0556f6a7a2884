#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/pulse/RecordFragment.h"

using namespace wrenly;

namespace {

// A peeked fragment reaches the tap in buffer-sized pieces; a hole (no data) as silence of the
// same length, so nothing of the recording's length is lost.
TEST(RecordFragment, DataAndHolesBothKeepTheirLength) {
  std::vector<float> stereo(10);
  for (int i = 0; i < 10; ++i) stereo[i] = 0.1f * static_cast<float>(i + 1);
  for (const bool hole : {false, true}) {
    SCOPED_TRACE(hole);
    std::vector<std::uint32_t> pieces;
    std::vector<float> heard;
    deliverRecordFragment(hole ? nullptr : stereo.data(), stereo.size() * sizeof(float), 2, 2,
                          [&](const float* samples, std::uint32_t frames, int channels) {
                            pieces.push_back(frames);
                            heard.insert(heard.end(), samples, samples + frames * channels);
                          });
    EXPECT_EQ(pieces, (std::vector<std::uint32_t>{2, 2, 1}));
    EXPECT_EQ(heard, hole ? std::vector<float>(10, 0.0f) : stereo);
  }
}

}  // namespace
