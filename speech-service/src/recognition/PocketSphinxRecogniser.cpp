#include "recognition/PocketSphinxRecogniser.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <string_view>

namespace wrenly::speech {

struct PocketSphinxRecogniser::Decoder {
  cmd_ln_t* config = nullptr;
  ps_decoder_t* decoder = nullptr;
  ~Decoder() {
    if (decoder) ps_free(decoder);
    if (config) cmd_ln_free_r(config);
  }
};

namespace {

bool isWord(std::string_view word) {
  return !word.empty() && word.front() != '<' && word.front() != '[';
}

class PocketSphinxStream final : public RecognitionStream {
 public:
  PocketSphinxStream(PocketSphinxRecogniser& owner,
                     std::unique_ptr<PocketSphinxRecogniser::Decoder> decoder)
      : owner_(owner), decoder_(std::move(decoder)) {
    started_ = ps_start_utt(decoder_->decoder) == 0;
  }
  ~PocketSphinxStream() override {
    if (started_) ps_end_utt(decoder_->decoder);
    owner_.giveBack(std::move(decoder_));
  }

  bool feed(std::span<const std::int16_t> samples) override {
    if (!started_) return false;
    return ps_process_raw(decoder_->decoder, samples.data(), samples.size(), FALSE, FALSE) >= 0;
  }

  RecognitionOutcome finish() override {
    if (!started_) return RecognitionFailure::engineFailure;
    started_ = false;
    if (ps_end_utt(decoder_->decoder) < 0) return RecognitionFailure::engineFailure;
    Recognition recognition;
    int32 score = 0;
    if (const char* hypothesis = ps_get_hyp(decoder_->decoder, &score)) {
      recognition.transcript = hypothesis;
    }
    for (ps_seg_t* segment = ps_seg_iter(decoder_->decoder); segment;
         segment = ps_seg_next(segment)) {
      if (const char* word = ps_seg_word(segment); word && isWord(word)) ++recognition.segments;
    }
    return recognition;
  }

 private:
  PocketSphinxRecogniser& owner_;
  std::unique_ptr<PocketSphinxRecogniser::Decoder> decoder_;
  bool started_ = false;
};

}  // namespace

Expected<std::unique_ptr<PocketSphinxRecogniser>, StartupError> PocketSphinxRecogniser::create(
    PocketSphinxModel model, int maximumDecoders) {
  err_set_logfp(nullptr);  // the engine's own chatter would flood the service's log
  std::unique_ptr<PocketSphinxRecogniser> recogniser(
      new PocketSphinxRecogniser(std::move(model), maximumDecoders));
  auto first = recogniser->makeDecoder();
  if (!first) {
    return StartupError{StartupFailure::recogniser,
                        "cannot load the speech model from " +
                            recogniser->model_.acousticModel.parent_path().string()};
  }
  recogniser->idle_.push_back(std::move(first));
  recogniser->created_ = 1;
  return recogniser;
}

PocketSphinxRecogniser::PocketSphinxRecogniser(PocketSphinxModel model, int maximumDecoders)
    : model_(std::move(model)), maximumDecoders_(maximumDecoders) {}

PocketSphinxRecogniser::~PocketSphinxRecogniser() = default;

std::unique_ptr<PocketSphinxRecogniser::Decoder> PocketSphinxRecogniser::makeDecoder() {
  auto decoder = std::make_unique<Decoder>();
  // Without the flat-lexicon pass the whole decoding happens as the audio arrives: the end of
  // an utterance then costs tens of milliseconds instead of a second pass over all of it, and
  // the lattice search that follows keeps the accuracy (better, on the test utterances).
  decoder->config =
      cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model_.acousticModel.c_str(), "-lm",
                  model_.languageModel.c_str(), "-dict", model_.dictionary.c_str(), "-fwdflat",
                  "no", "-logfn", "/dev/null", nullptr);
  if (!decoder->config) return nullptr;
  decoder->decoder = ps_init(decoder->config);
  if (!decoder->decoder) return nullptr;
  return decoder;
}

std::variant<std::unique_ptr<RecognitionStream>, RecognitionFailure> PocketSphinxRecogniser::open(
    const RecognitionRequest&) {
  std::unique_ptr<Decoder> decoder;
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      decoder = std::move(idle_.back());
      idle_.pop_back();
    } else if (created_ >= maximumDecoders_) {
      return RecognitionFailure::busy;
    } else {
      ++created_;  // counted now so that parallel opens stay within the limit
    }
  }
  if (!decoder) decoder = makeDecoder();  // outside the lock: it takes half a second
  if (!decoder) {
    std::lock_guard lock(mutex_);
    --created_;
    return RecognitionFailure::engineFailure;
  }
  return std::make_unique<PocketSphinxStream>(*this, std::move(decoder));
}

void PocketSphinxRecogniser::giveBack(std::unique_ptr<Decoder> decoder) {
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(decoder));
}

}  // namespace wrenly::speech
