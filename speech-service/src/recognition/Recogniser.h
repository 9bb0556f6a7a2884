#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "text/VoiceLanguage.h"

namespace wrenly::speech {

// What the engine heard in one utterance.
struct Recognition {
  std::string transcript;  // as the engine writes it; empty for silence
  int segments = 0;        // recognised words (or pieces, for an engine that gives no words)
  std::string language;    // BCP 47 code of what was heard; empty: the engine's languageCode()
};

// What the client asked for besides the audio.
struct RecognitionRequest {
  VoiceLanguage language = VoiceLanguage::automatic;
  // Words and names the user says often ("GitHub, Kowloon Tong"), for an engine that takes a
  // hint; empty: none. Never logged.
  std::string vocabulary;
};

enum class RecognitionFailure {
  busy,           // every decoder is in use
  engineFailure,  // the engine refused the audio
};

using RecognitionOutcome = std::variant<Recognition, RecognitionFailure>;

// One utterance being decoded as its audio arrives (16 kHz mono 16-bit samples). Used from one
// thread at a time.
class RecognitionStream {
 public:
  virtual ~RecognitionStream() = default;
  virtual bool feed(std::span<const std::int16_t> samples) = 0;
  virtual RecognitionOutcome finish() = 0;
  // What the engine has heard so far, for showing while the speaker goes on; the result may
  // still differ. Empty while it has nothing, or when it cannot tell before the end.
  virtual std::string wordsSoFar() { return {}; }
};

// The speech recogniser behind the service. Thread-safe.
class Recogniser {
 public:
  virtual ~Recogniser() = default;
  // A stream, or the reason none can start now.
  virtual std::variant<std::unique_ptr<RecognitionStream>, RecognitionFailure> open(
      const RecognitionRequest& request) = 0;
  // The language the engine recognises, as reported for "auto" (a BCP 47 code such as "en").
  virtual std::string languageCode() const = 0;
  // What the engine is ("built-in", "endpoint") and the languages a request may name besides
  // "auto".
  virtual std::string_view engineName() const = 0;
  virtual std::vector<VoiceLanguage> languages() const = 0;

  // A whole recording at once.
  RecognitionOutcome recognise(std::span<const std::int16_t> samples,
                               const RecognitionRequest& request);
};

}  // namespace wrenly::speech
