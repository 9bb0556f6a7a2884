#include "recognition/Recogniser.h"

namespace wrenly::speech {

RecognitionOutcome Recogniser::recognise(std::span<const std::int16_t> samples,
                                         const RecognitionRequest& request) {
  auto opened = open(request);
  if (auto* failure = std::get_if<RecognitionFailure>(&opened)) return *failure;
  auto& stream = *std::get<std::unique_ptr<RecognitionStream>>(opened);
  // The engine takes audio best in blocks of a few thousand samples.
  constexpr size_t block = 4096;
  for (size_t at = 0; at < samples.size(); at += block) {
    if (!stream.feed(samples.subspan(at, std::min(block, samples.size() - at)))) {
      return RecognitionFailure::engineFailure;
    }
  }
  return stream.finish();
}

}  // namespace wrenly::speech
