#include "engine/EndpointRecogniser.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "recognition/WavAudio.h"
#include "server/ServiceLog.h"
#include "text/Utf8Text.h"

namespace wrenly::speech {

namespace {

RecognitionFailure failureOf(EngineFault fault) {
  return fault == EngineFault::busy ? RecognitionFailure::busy : RecognitionFailure::engineFailure;
}

// Words of a Latin text, characters of a CJK one: what the reply counts as segments.
int wordsIn(std::string_view text) {
  int words = 0;
  bool inWord = false;
  for (char32_t c : codePointsOf(text)) {
    if (isHan(c)) {
      ++words;
      inWord = false;
    } else if (isSpace(c) || isCjkPunctuation(c)) {
      inWord = false;
    } else if (!inWord) {
      ++words;
      inWord = true;
    }
  }
  return words;
}

// What "auto" turned out to be, as far as the script tells.
std::string languageOf(std::string_view text, std::string_view asked) {
  if (!asked.empty()) return std::string(asked);
  for (char32_t c : codePointsOf(text)) {
    if (isHan(c)) return "zh";
  }
  return "en";
}

// Segments go to the engine one at a time, in order, on a thread of the stream's own while the
// audio keeps arriving.
class EndpointStream final : public RecognitionStream {
 public:
  EndpointStream(EndpointRecogniser& engine, std::string languageCode, std::string vocabulary,
                 SegmentLimits limits)
      : engine_(engine),
        languageCode_(std::move(languageCode)),
        vocabulary_(std::move(vocabulary)),
        segmenter_(limits) {}

  ~EndpointStream() override {
    cancel_ = true;
    close();
  }

  bool feed(std::span<const std::int16_t> samples) override {
    for (auto& segment : segmenter_.add(samples)) send(std::move(segment));
    std::lock_guard lock(mutex_);
    return !fault_;
  }

  RecognitionOutcome finish() override {
    if (auto last = segmenter_.finish()) send(std::move(*last));
    close();
    if (fault_) return failureOf(*fault_);
    Recognition recognition;
    recognition.transcript = joinTranscripts(pieces_);
    recognition.segments = wordsIn(recognition.transcript);
    recognition.language = languageOf(recognition.transcript, languageCode_);
    return recognition;
  }

  // The segments the engine has answered so far: the words of the last pause and before.
  std::string wordsSoFar() override {
    std::lock_guard lock(mutex_);
    return joinTranscripts(pieces_);
  }

 private:
  void send(std::vector<std::int16_t> segment) {
    std::lock_guard lock(mutex_);
    if (fault_) return;
    queue_.push_back(std::move(segment));
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    wake_.notify_one();
  }

  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
  }

  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [&] { return closed_ || !queue_.empty(); });
      if (queue_.empty() || fault_) return;
      auto segment = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      auto outcome = engine_.transcribeSegment(segment, languageCode_, vocabulary_, cancel_);
      lock.lock();
      if (auto* fault = std::get_if<EngineFault>(&outcome)) {
        fault_ = *fault;
        queue_.clear();
        return;
      }
      pieces_.push_back(std::move(std::get<std::string>(outcome)));
    }
  }

  EndpointRecogniser& engine_;
  const std::string languageCode_;
  const std::string vocabulary_;
  AudioSegmenter segmenter_;
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::vector<std::int16_t>> queue_;
  std::vector<std::string> pieces_;
  std::optional<EngineFault> fault_;
  bool closed_ = false;
  std::thread worker_;  // last: joined before the state it uses goes
};

}  // namespace

EndpointRecogniser::EndpointRecogniser(EndpointSettings settings, SegmentLimits limits,
                                       ServiceLog& log)
    : client_(std::move(settings)), limits_(limits), log_(log) {}

std::variant<std::unique_ptr<RecognitionStream>, RecognitionFailure> EndpointRecogniser::open(
    const RecognitionRequest& request) {
  return std::make_unique<EndpointStream>(
      *this, engineLanguageCode(client_.settings(), request.language), request.vocabulary, limits_);
}

std::variant<std::string, EngineFault> EndpointRecogniser::transcribeSegment(
    std::span<const std::int16_t> samples, std::string_view languageCode,
    std::string_view vocabulary, const std::atomic<bool>& cancel) {
  const auto started = std::chrono::steady_clock::now();
  auto outcome = client_.transcribe(wavOf(samples), languageCode, vocabulary, cancel);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  std::string line = "engine segment audio_ms=" + std::to_string(samples.size() / 16) +
                     " elapsed_ms=" + std::to_string(elapsed.count());
  if (auto* fault = std::get_if<EngineFault>(&outcome)) {
    line += " fault=" + std::string(faultName(*fault));
  }
  log_.line(line);
  return outcome;
}

}  // namespace wrenly::speech
