#include "recognition/PocketSphinxRecogniser.h"

#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/fe.h>
#include <sphinxbase/feat.h>

#include <string_view>
#include <vector>

namespace wrenly::speech {

struct PocketSphinxRecogniser::Decoder {
  cmd_ln_t* config = nullptr;
  ps_decoder_t* decoder = nullptr;
  fe_t* frontEnd = nullptr;  // its own, to measure an utterance's opening before decoding it
  ~Decoder() {
    if (frontEnd) fe_free(frontEnd);
    if (decoder) ps_free(decoder);
    if (config) cmd_ln_free_r(config);
  }
};

namespace {

bool isWord(std::string_view word) {
  return !word.empty() && word.front() != '<' && word.front() != '[';
}

// How much of an utterance sets its cepstral means before decoding starts. The decoder would
// otherwise start from the means of the utterances it decoded before, which may be another
// user's voice and microphone; starting from the model's own means instead is far worse on short
// utterances. Longer is a little more accurate but leaves more to decode at the stop when the
// utterance is short.
constexpr size_t openingSamples = 16000 * 3 / 2;

// The mean cepstrum of `samples`' speech frames, or empty when there are too few to trust.
std::vector<mfcc_t> meanCepstrum(fe_t* frontEnd, std::span<const std::int16_t> samples) {
  constexpr int32 block = 64;
  constexpr long fewestFrames = 20;
  const auto size = static_cast<size_t>(fe_get_output_size(frontEnd));
  std::vector<mfcc_t> storage(size * block);
  std::vector<mfcc_t*> rows(block);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = storage.data() + i * size;
  std::vector<double> sum(size);
  long frames = 0;
  fe_start_utt(frontEnd);
  const int16* next = samples.data();
  size_t left = samples.size();
  while (left > 0) {
    int32 made = block;
    if (fe_process_frames(frontEnd, &next, &left, rows.data(), &made, nullptr) < 0) break;
    for (int32 frame = 0; frame < made; ++frame) {
      for (size_t c = 0; c < size; ++c) sum[c] += rows[static_cast<size_t>(frame)][c];
    }
    frames += made;
    if (made == 0) break;
  }
  int32 residual = 0;
  fe_end_utt(frontEnd, rows[0], &residual);
  if (frames < fewestFrames) return {};
  std::vector<mfcc_t> mean(size);
  for (size_t c = 0; c < size; ++c) mean[c] = static_cast<mfcc_t>(sum[c] / frames);
  return mean;
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
    if (openingDecoded_) return decode(samples);
    opening_.insert(opening_.end(), samples.begin(), samples.end());
    return opening_.size() < openingSamples || decodeOpening();
  }

  RecognitionOutcome finish() override {
    if (!started_) return RecognitionFailure::engineFailure;
    if (!openingDecoded_ && !decodeOpening()) {
      return RecognitionFailure::engineFailure;
    }
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

  // The decoder's best hypothesis so far; nothing while the opening is still being gathered.
  std::string wordsSoFar() override {
    if (!started_ || !openingDecoded_) return {};
    int32 score = 0;
    const char* hypothesis = ps_get_hyp(decoder_->decoder, &score);
    return hypothesis ? hypothesis : "";
  }

 private:
  PocketSphinxRecogniser& owner_;
  bool decode(std::span<const std::int16_t> samples) {
    return ps_process_raw(decoder_->decoder, samples.data(), samples.size(), FALSE, FALSE) >= 0;
  }

  // Normalises by this utterance's own opening, then decodes it; later audio is decoded as it
  // comes.
  bool decodeOpening() {
    feat_t* features = ps_get_feat(decoder_->decoder);
    if (decoder_->frontEnd && features && features->cmn_struct) {
      const std::vector<mfcc_t> mean = meanCepstrum(decoder_->frontEnd, opening_);
      if (!mean.empty()) cmn_live_set(features->cmn_struct, mean.data());
    }
    openingDecoded_ = true;
    const bool decoded = decode(opening_);
    opening_ = {};
    return decoded;
  }

  std::unique_ptr<PocketSphinxRecogniser::Decoder> decoder_;
  bool started_ = false;
  std::vector<std::int16_t> opening_;
  bool openingDecoded_ = false;
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
  decoder->frontEnd = fe_init_auto_r(decoder->config);
  if (!decoder->frontEnd) return nullptr;
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
