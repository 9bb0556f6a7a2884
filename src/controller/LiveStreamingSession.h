#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "controller/StreamingSession.h"
#include "streaming/LiveRecognitionClient.h"

namespace wrenly {

class SpeechServiceClient;
struct Platform;

// A live session over the streaming client: what the program uses outside tests.
class LiveStreamingSession final : public StreamingSession {
 public:
  LiveStreamingSession(std::string requestID, std::string language, bool cleanup,
                       StreamingSpeechDependencies dependencies, std::string vocabulary = {});

  const std::string& requestID() const override { return client_.requestID(); }
  void append(std::vector<std::uint8_t> pcm) override { client_.append(std::move(pcm)); }
  asio::awaitable<Result> finish() override;
  void cancel() override { client_.cancel(); }
  void setInterimHandler(std::function<void(std::string)> handler) override;

 private:
  // The session's queue may hand over words while the handler is being set.
  struct InterimRelay {
    std::mutex mutex;
    std::function<void(std::string)> handler;
  };
  std::shared_ptr<InterimRelay> relay_ = std::make_shared<InterimRelay>();
  LiveRecognitionClient client_;
};

// Sessions to the service's own base URL, with its credential and the certificates it trusts.
StreamingSessionFactory liveStreamingSessions(const Platform& platform,
                                              SpeechServiceClient& service);

// Sessions to `endpoint` trusting `trust`, with the service's credential.
StreamingSessionFactory liveStreamingSessions(const Platform& platform,
                                              SpeechServiceClient& service,
                                              std::optional<std::string> endpoint,
                                              StreamTrust trust);

}  // namespace wrenly
