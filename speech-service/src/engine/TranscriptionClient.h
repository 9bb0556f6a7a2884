#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <variant>

#include "engine/EngineSettings.h"

namespace wrenly::speech {

// Why an engine gave no transcript. Only these names reach the log.
enum class EngineFault {
  unreachable,     // no connection, or TLS refused
  timedOut,        // no answer within the request timeout
  busy,            // 429 or 503: the engine asks to come back later
  refused,         // another 4xx: key, model or request not accepted
  failed,          // another status
  malformedReply,  // no {"text": STRING} object
  oversizedReply,  // longer than largestReply
  cancelled,       // the stream was given up
};

std::string_view faultName(EngineFault fault);

// The transcript in an engine's 2xx reply body, or the fault its status or body stands for.
std::variant<std::string, EngineFault> transcriptOfReply(long status, std::string_view body);

// POST {base}/audio/transcriptions, one WAV per call. Thread-safe; each call has its own
// connection.
class TranscriptionClient {
 public:
  explicit TranscriptionClient(EndpointSettings settings);

  // `languageCode` empty: the engine detects the language. `cancel` ends the exchange early.
  std::variant<std::string, EngineFault> transcribe(const std::string& wav,
                                                    std::string_view languageCode,
                                                    const std::atomic<bool>& cancel) const;

  const EndpointSettings& settings() const { return settings_; }

 private:
  EndpointSettings settings_;
  std::string url_;
  std::string authorization_;
};

}  // namespace wrenly::speech
