#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "StartupError.h"
#include "recognition/Recogniser.h"

namespace wrenly::speech {

// Where the US English model lives (Debian's pocketsphinx-en-us).
struct PocketSphinxModel {
  std::filesystem::path acousticModel = "/usr/share/pocketsphinx/model/en-us/en-us";
  std::filesystem::path languageModel = "/usr/share/pocketsphinx/model/en-us/en-us.lm.bin";
  std::filesystem::path dictionary = "/usr/share/pocketsphinx/model/en-us/cmudict-en-us.dict";
};

// The built-in engine: PocketSphinx with its US English model. Decoders are expensive (about
// half a second and 110 MB each), so they are kept in a small pool and reused; `maximumDecoders`
// utterances can be decoded at once, a further one is refused as busy.
class PocketSphinxRecogniser final : public Recogniser {
 public:
  // Loads one decoder at once, so a broken model is found at start-up.
  static Expected<std::unique_ptr<PocketSphinxRecogniser>, StartupError> create(
      PocketSphinxModel model, int maximumDecoders = 3);
  ~PocketSphinxRecogniser() override;

  std::variant<std::unique_ptr<RecognitionStream>, RecognitionFailure> open(
      const RecognitionRequest& request) override;
  std::string languageCode() const override { return "en"; }
  std::string_view engineName() const override { return "built-in"; }
  std::vector<VoiceLanguage> languages() const override { return {VoiceLanguage::english}; }

  struct Decoder;
  void giveBack(std::unique_ptr<Decoder> decoder);

 private:
  PocketSphinxRecogniser(PocketSphinxModel model, int maximumDecoders);
  std::unique_ptr<Decoder> makeDecoder();

  PocketSphinxModel model_;
  int maximumDecoders_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Decoder>> idle_;
  int created_ = 0;
};

}  // namespace wrenly::speech
