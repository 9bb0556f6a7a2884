#include "engine/AudioSegmenter.h"

#include <cmath>

#include "text/Utf8Text.h"

namespace wrenly::speech {

namespace {

double rootMeanSquare(std::span<const std::int16_t> frame) {
  double sum = 0;
  for (std::int16_t sample : frame) sum += double(sample) * sample;
  return frame.empty() ? 0 : std::sqrt(sum / double(frame.size()));
}

}  // namespace

std::vector<std::vector<std::int16_t>> AudioSegmenter::add(std::span<const std::int16_t> samples) {
  std::vector<std::vector<std::int16_t>> finished;
  if (!partialFrame_.empty()) {
    const std::size_t missing = limits_.frameSamples - partialFrame_.size();
    const auto head = samples.first(std::min(missing, samples.size()));
    partialFrame_.insert(partialFrame_.end(), head.begin(), head.end());
    samples = samples.subspan(head.size());
    if (partialFrame_.size() < limits_.frameSamples) return finished;
    takeFrame(partialFrame_, finished);
    partialFrame_.clear();
  }
  while (samples.size() >= limits_.frameSamples) {
    takeFrame(samples.first(limits_.frameSamples), finished);
    samples = samples.subspan(limits_.frameSamples);
  }
  partialFrame_.assign(samples.begin(), samples.end());
  return finished;
}

void AudioSegmenter::takeFrame(std::span<const std::int16_t> frame,
                               std::vector<std::vector<std::int16_t>>& finished) {
  const double level = rootMeanSquare(frame);
  const std::size_t start = current_.size();
  current_.insert(current_.end(), frame.begin(), frame.end());
  if (level >= limits_.quietLevel) {
    heardSpeech_ = true;
    quietRun_ = 0;
  } else {
    quietRun_ += frame.size();
  }
  if (start >= limits_.longestSamples / 2 && (quietestAt_ == 0 || level <= quietestLevel_)) {
    quietestAt_ = start;
    quietestLevel_ = level;
  }
  if (!heardSpeech_) {
    // Nothing said yet: keep only the last pause's worth, the run-up to the first word.
    if (current_.size() > limits_.pauseSamples + limits_.frameSamples) {
      current_.erase(current_.begin(), current_.end() - std::ptrdiff_t(limits_.pauseSamples));
      quietestAt_ = 0;
    }
    return;
  }
  if (quietRun_ >= limits_.pauseSamples) {
    finished.push_back(cut(current_.size()));
  } else if (current_.size() >= limits_.longestSamples) {
    finished.push_back(cut(quietestAt_ == 0 ? current_.size() : quietestAt_ + frame.size()));
  }
}

std::vector<std::int16_t> AudioSegmenter::cut(std::size_t at) {
  std::vector<std::int16_t> segment(current_.begin(), current_.begin() + std::ptrdiff_t(at));
  current_.erase(current_.begin(), current_.begin() + std::ptrdiff_t(at));
  // What stays behind the cut (only after a forced one) may already hold speech.
  heardSpeech_ = !current_.empty();
  quietRun_ = 0;
  quietestAt_ = 0;
  return segment;
}

std::optional<std::vector<std::int16_t>> AudioSegmenter::finish() {
  std::vector<std::vector<std::int16_t>> finished;
  if (!partialFrame_.empty()) takeFrame(partialFrame_, finished);
  partialFrame_.clear();
  std::optional<std::vector<std::int16_t>> last;
  if (!finished.empty()) last = std::move(finished.front());
  if (heardSpeech_ && !current_.empty()) {
    if (last) {
      last->insert(last->end(), current_.begin(), current_.end());
    } else {
      last = std::move(current_);
    }
  }
  current_.clear();
  heardSpeech_ = false;
  return last;
}

std::string joinTranscripts(const std::vector<std::string>& pieces) {
  std::u32string joined;
  for (const std::string& piece : pieces) {
    std::u32string text = codePointsOf(piece);
    while (!text.empty() && isSpace(text.back())) text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && isSpace(text[first])) ++first;
    text.erase(0, first);
    if (text.empty()) continue;
    if (!joined.empty() && !isCjk(joined.back()) && !isCjk(text.front())) joined += U' ';
    joined += text;
  }
  return utf8Of(joined);
}

}  // namespace wrenly::speech
