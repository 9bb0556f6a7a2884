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

#include "BusyUsers.h"

namespace wrenly::speech {

class AccountStore;
class ChineseConverter;
class Recogniser;
class RecognitionStream;
class ServiceLog;

// What the HTTP layer hands over of one request.
struct ApiRequest {
  std::string method;
  std::string target;  // origin form, e.g. "/wrenly/v1/transcribe"
  std::string host;
  std::string authorization;
  std::string origin;
  std::string body;
};

struct ApiReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  static ApiReply json(int status, std::string body);
  static ApiReply error(int status, std::string_view code);  // {"error":{"code":CODE}}
};

// What the service is made of; all of it outlives the API.
struct ServiceParts {
  AccountStore& accounts;
  Recogniser& recogniser;
  ChineseConverter& converter;
  ServiceLog& log;
  std::function<std::int64_t()> now;  // seconds since the epoch
};

// One "stream" session: the audio is decoded frame by frame as it arrives, so the result is
// ready moments after the finish frame. Used from one thread at a time.
class StreamSession {
 public:
  StreamSession(BusyUsers::Slot slot, std::unique_ptr<RecognitionStream> recognition, bool cleanup,
                const ServiceParts& parts);
  ~StreamSession();
  StreamSession(const StreamSession&) = delete;
  StreamSession& operator=(const StreamSession&) = delete;

  // Decodes one binary frame of 16 kHz mono 16-bit PCM. Returns the error message to send when
  // the stream must end.
  std::optional<std::string> feed(std::string_view pcm);
  // The "result" message, or an "error" one; the user's slot is free once it returns.
  std::string finish();

 private:
  std::optional<BusyUsers::Slot> slot_;
  std::unique_ptr<RecognitionStream> recognition_;
  bool cleanup_;
  const ServiceParts& parts_;
  std::string oddByte_;
  std::size_t audioBytes_ = 0;
  int frames_ = 0;
};

// The service's calls under /wrenly/v1/, independent of the network layer.
class SpeechApi {
 public:
  static constexpr std::string_view basePath = "/wrenly/v1/";
  // Requests larger than this are refused with 413 before their body is read.
  static constexpr std::size_t maximumBodyBytes = 16u << 20;
  static constexpr std::size_t maximumStreamFrameBytes = 1u << 20;

  explicit SpeechApi(ServiceParts parts) : parts_(std::move(parts)) {}

  // Answers one HTTP request. May block for the length of a recognition: call it off the
  // network threads.
  ApiReply handle(const ApiRequest& request);

  static bool isStreamTarget(std::string_view target);
  // Opens a stream for an upgraded "stream" request; on failure, the "error" message to send
  // before closing. `onSuperseded` is called (from any thread) when a recognition that
  // recovers this stream takes its place.
  std::variant<std::unique_ptr<StreamSession>, std::string> openStream(
      const ApiRequest& request, std::function<void()> onSuperseded);

  static std::string errorMessage(std::string_view code);  // {"type":"error","code":CODE}

 private:
  ApiReply route(const ApiRequest& request, std::string_view path, std::string_view query,
                 std::string& logName);
  ApiReply transcribe(const ApiRequest& request, AccountID account);
  ApiReply text(const ApiRequest& request, AccountID account);
  ApiReply startSignIn(const ApiRequest& request);
  ApiReply signInPage(const ApiRequest& request, std::string_view query);
  ApiReply decideSignIn(const ApiRequest& request);
  std::optional<AccountID> authenticate(const ApiRequest& request, std::string* token = nullptr);

  ServiceParts parts_;
  BusyUsers busy_;
};

}  // namespace wrenly::speech
