#include "controller/LiveStreamingSession.h"

#include <stdexcept>

#include "base/Required.h"
#include "platform/Platform.h"
#include "service/SpeechServiceClient.h"

namespace wrenly {

namespace {

// The dependencies with the words so far passed on to whoever is set to take them.
template <typename Relay>
StreamingSpeechDependencies relaying(StreamingSpeechDependencies dependencies,
                                     std::shared_ptr<Relay> relay) {
  dependencies.onInterim = [relay = std::move(relay)](std::string words) {
    std::lock_guard lock(relay->mutex);
    if (relay->handler) relay->handler(std::move(words));
  };
  return dependencies;
}

}  // namespace

LiveStreamingSession::LiveStreamingSession(std::string requestID, std::string language,
                                           bool cleanup, StreamingSpeechDependencies dependencies,
                                           std::string vocabulary)
    : client_(std::move(requestID), std::move(language), cleanup,
              relaying(std::move(dependencies), relay_), std::move(vocabulary)) {}

void LiveStreamingSession::setInterimHandler(std::function<void(std::string)> handler) {
  std::lock_guard lock(relay_->mutex);
  relay_->handler = std::move(handler);
}

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
          trust = std::move(trust)](std::string requestID, std::string language, bool cleanup,
                                    std::string vocabulary) {
    StreamingSpeechDependencies dependencies{
        background, clock, endpoint, [&service] { return service.streamingToken(); }, trust};
    return std::make_shared<LiveStreamingSession>(std::move(requestID), std::move(language),
                                                  cleanup, std::move(dependencies),
                                                  std::move(vocabulary));
  };
}

}  // namespace wrenly
