#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <variant>

#include "engine/EndpointHttp.h"

namespace wrenly::speech {

// The transcript of an engine's reply body, {"text": STRING}.
std::variant<std::string, EngineFault> transcriptOfReply(std::string_view body);

// POST {base}/audio/transcriptions, one WAV per call. Thread-safe.
class TranscriptionClient {
 public:
  explicit TranscriptionClient(EndpointSettings settings) : settings_(std::move(settings)) {}

  // `languageCode` empty: the engine detects the language. `vocabulary`: the user's words,
  // sent in the prompt after the service's own. `cancel` ends the exchange early.
  std::variant<std::string, EngineFault> transcribe(const std::string& wav,
                                                    std::string_view languageCode,
                                                    std::string_view vocabulary,
                                                    const std::atomic<bool>& cancel) const;

  const EndpointSettings& settings() const { return settings_; }

 private:
  EndpointSettings settings_;
};

}  // namespace wrenly::speech
