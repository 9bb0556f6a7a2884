#include "controller/LiveStreamingSession.h"

#include <stdexcept>

#include "base/Required.h"
#include "platform/Platform.h"
#include "service/SpeechServiceClient.h"

namespace wrenly {

LiveStreamingSession::LiveStreamingSession(std::string requestID, std::string language,
                                           bool cleanup, StreamingSpeechDependencies dependencies)
    : client_(std::move(requestID), std::move(language), cleanup, std::move(dependencies)) {}

asio::awaitable<StreamingSession::Result> LiveStreamingSession::finish() {
  LiveRecognitionResult result = co_await client_.finish();
  Result out;
  out.transcript = std::move(result.transcript);
  out.text = std::move(result.text);
  co_return out;
}

StreamingSessionFactory liveStreamingSessions(const Platform& platform,
                                              SpeechServiceClient& service) {
  const ServiceConfiguration& configuration = service.configuration();
  return liveStreamingSessions(
      platform, service, service.endpoint(),
      StreamTrust{configuration.extraTrustFile, configuration.trustSystemAuthorities,
                  configuration.localSocket});
}

StreamingSessionFactory liveStreamingSessions(const Platform& platform,
                                              SpeechServiceClient& service,
                                              std::optional<std::string> endpoint,
                                              StreamTrust trust) {
  Clock& clock = required(platform.clock, "live streaming", "clock");
  return [background = platform.background, &clock, &service, endpoint = std::move(endpoint),
          trust = std::move(trust)](std::string requestID, std::string language, bool cleanup) {
    StreamingSpeechDependencies dependencies{
        background, clock, endpoint, [&service] { return service.streamingToken(); }, trust};
    return std::make_shared<LiveStreamingSession>(std::move(requestID), std::move(language),
                                                  cleanup, std::move(dependencies));
  };
}

}  // namespace wrenly
