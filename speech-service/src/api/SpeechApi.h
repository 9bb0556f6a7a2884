#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "accounts/BusyUsers.h"
#include "server/ServiceHandler.h"

namespace wrenly::speech {

class AccountStore;
class ChatRewriter;
class ChineseConverter;
class Recogniser;
class RecognitionStream;
class ServiceLog;

// What the service is made of; all of it outlives the API.
struct ServiceParts {
  AccountStore& accounts;
  Recogniser& recogniser;
  ChineseConverter& converter;
  ServiceLog& log;
  std::function<std::int64_t()> now;       // seconds since the epoch
  const ChatRewriter* rewriter = nullptr;  // none: spoken tasks follow the built-in rules
};

// What one caller may ask of the service at most.
struct ServiceLimits {
  // Of a stream or an upload. The longest a dictation records is 180 s.
  std::size_t maximumAudioSeconds = 200;
  // Sign-ins started and not yet answered, by anyone.
  std::int64_t maximumPendingSignIns = 32;
};

// One "stream" session: the audio is decoded frame by frame as it arrives, so the result is
// ready moments after the finish frame. Used from one thread at a time.
class StreamSession final : public StreamDecoding {
 public:
  // With `interim`, the client asked for the words heard so far while it sends the audio.
  StreamSession(BusyUsers::Slot slot, std::unique_ptr<RecognitionStream> recognition, bool cleanup,
                bool interim, const ServiceParts& parts, std::size_t maximumAudioBytes);
  ~StreamSession() override;
  StreamSession(const StreamSession&) = delete;
  StreamSession& operator=(const StreamSession&) = delete;

  // Decodes one binary frame of 16 kHz mono 16-bit PCM. Returns the error message to send when
  // the stream must end.
  std::optional<std::string> feed(std::string_view pcm) override;
  // The "result" message, or an "error" one; the user's slot is free once it returns.
  std::string finish() override;
  // {"type":"interim","text":…}: the end of the words so far, when they changed. Never logged.
  std::optional<std::string> interim() override;

 private:
  std::optional<BusyUsers::Slot> slot_;
  std::unique_ptr<RecognitionStream> recognition_;
  bool cleanup_;
  bool interim_;
  std::string lastWords_;
  const ServiceParts& parts_;
  std::string oddByte_;
  std::size_t audioBytes_ = 0;
  std::size_t maximumAudioBytes_;
  int frames_ = 0;
};

// The service's calls under /wrenly/v1/, independent of the network layer.
class SpeechApi final : public ServiceHandler {
 public:
  static constexpr std::string_view basePath = "/wrenly/v1/";

  explicit SpeechApi(ServiceParts parts, ServiceLimits limits = {})
      : parts_(std::move(parts)), limits_(limits) {}

  // Answers one HTTP request. May block for the length of a recognition: call it off the
  // network threads.
  ApiReply handle(const ApiRequest& request) override;

  bool isStreamTarget(std::string_view target) const override;
  bool isRecognitionTarget(std::string_view target) const override;
  // A request from another host name, a stream upgrade from a foreign page, or a caller
  // without an active token.
  std::optional<ApiReply> refuseEarly(const ApiRequest& head) override;
  // Opens a stream for an upgraded "stream" request; on failure, the "error" message to send
  // before closing. `onSuperseded` is called (from any thread) when a recognition that
  // recovers this stream takes its place.
  std::variant<std::unique_ptr<StreamDecoding>, std::string> openStream(
      const ApiRequest& request, std::function<void()> onSuperseded) override;

  static std::string errorMessage(std::string_view code);  // {"type":"error","code":CODE}

 private:
  ApiReply route(const ApiRequest& request, std::string_view path, std::string_view query,
                 std::string& logName);
  ApiReply transcribe(const ApiRequest& request, AccountID account);
  ApiReply text(const ApiRequest& request, AccountID account);
  ApiReply engine() const;
  ApiReply startSignIn(const ApiRequest& request);
  ApiReply signInPage(const ApiRequest& request, std::string_view query);
  ApiReply decideSignIn(const ApiRequest& request);
  std::optional<AccountID> authenticate(const ApiRequest& request, std::string* token = nullptr);

  std::size_t maximumAudioBytes() const { return limits_.maximumAudioSeconds * 32000; }

  ServiceParts parts_;
  ServiceLimits limits_;
  BusyUsers busy_;
};

}  // namespace wrenly::speech
