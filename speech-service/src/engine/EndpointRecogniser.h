#pragma once

#include <memory>

#include "engine/EngineSettings.h"
#include "engine/TranscriptionClient.h"
#include "recognition/Recogniser.h"

namespace wrenly::speech {

class ServiceLog;

// Recognition by an OpenAI-compatible transcription endpoint, which takes whole recordings: a
// stream is cut at pauses and each finished segment is sent while the rest is still arriving,
// so at the finish only the last segment is outstanding. A failed segment fails the stream (the
// client keeps its recording and may send it again). Logs segment timings and fault names only.
class EndpointRecogniser final : public Recogniser {
 public:
  EndpointRecogniser(EndpointSettings settings, SegmentLimits limits, ServiceLog& log);

  std::variant<std::unique_ptr<RecognitionStream>, RecognitionFailure> open(
      const RecognitionRequest& request) override;
  std::string languageCode() const override { return "en"; }
  std::string_view engineName() const override { return "endpoint"; }
  std::vector<VoiceLanguage> languages() const override { return client_.settings().languages; }

  // One segment, timed and logged.
  std::variant<std::string, EngineFault> transcribeSegment(std::span<const std::int16_t> samples,
                                                           std::string_view languageCode,
                                                           std::string_view vocabulary,
                                                           const std::atomic<bool>& cancel);

 private:
  TranscriptionClient client_;
  SegmentLimits limits_;
  ServiceLog& log_;
};

}  // namespace wrenly::speech
