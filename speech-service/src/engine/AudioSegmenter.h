#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace wrenly::speech {

// Where to cut 16 kHz mono audio for an engine that takes whole recordings.
struct SegmentLimits {
  std::size_t frameSamples = 320;        // 20 ms: the unit of the loudness measure
  std::size_t pauseSamples = 8000;       // 500 ms of quiet ends a segment
  std::size_t longestSamples = 480'000;  // 30 s: a segment is cut even without a pause
  double quietLevel = 400;               // RMS of a frame below which it counts as quiet
};

// Cuts audio at pauses as it arrives, so each finished piece can go to the engine while the
// speaker goes on. Quiet that holds no speech is never handed out; a segment is never longer
// than `longestSamples` (cut at the last of its quietest frames in the second half).
class AudioSegmenter {
 public:
  explicit AudioSegmenter(SegmentLimits limits = {}) : limits_(limits) {}

  // Takes more audio; returns the segments it finished, in order.
  std::vector<std::vector<std::int16_t>> add(std::span<const std::int16_t> samples);
  // The rest, when it holds speech.
  std::optional<std::vector<std::int16_t>> finish();

 private:
  void takeFrame(std::span<const std::int16_t> frame,
                 std::vector<std::vector<std::int16_t>>& finished);
  std::vector<std::int16_t> cut(std::size_t at);

  SegmentLimits limits_;
  std::vector<std::int16_t> partialFrame_;
  std::vector<std::int16_t> current_;
  bool heardSpeech_ = false;
  std::size_t quietRun_ = 0;
  // The quietest frame start in the second half of the current segment, and its loudness.
  std::size_t quietestAt_ = 0;
  double quietestLevel_ = 0;
};

// The transcripts of consecutive segments as one text: a space between Latin words, none next
// to a CJK character.
std::string joinTranscripts(const std::vector<std::string>& pieces);

}  // namespace wrenly::speech
