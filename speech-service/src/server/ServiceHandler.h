#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace wrenly::speech {

// How a request reached the listener. Plain HTTP serves a browser the service's own pages only.
enum class ConnectionSecurity { tls, plain };

// What the HTTP layer hands over of one request.
struct ApiRequest {
  std::string method;
  std::string target;  // origin form, e.g. "/wrenly/v1/transcribe"
  std::string host;
  std::string authorization;
  std::string origin;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // every field, in the order sent
  ConnectionSecurity security = ConnectionSecurity::tls;
};

struct ApiReply {
  // How the reply leaves. Dropping the connection unanswered is a fault a handler can inject
  // (the contract tests use it to stand for a service that dies mid-request).
  enum class Delivery { send, dropConnection };

  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  Delivery delivery = Delivery::send;

  static ApiReply json(int status, std::string body);
  static ApiReply error(int status, std::string_view code);  // {"error":{"code":CODE}}
};

// One upgraded "stream" connection's decoding. Used from one thread at a time.
class StreamDecoding {
 public:
  virtual ~StreamDecoding() = default;
  // Takes one binary frame. Returns the message to send when the stream must end.
  virtual std::optional<std::string> feed(std::string_view payload) = 0;
  // The last message: a "result" or an "error".
  virtual std::string finish() = 0;
  // After a frame: an "interim" message to send when the words heard so far changed and the
  // client asked for them.
  virtual std::optional<std::string> interim() { return std::nullopt; }
};

// What the HTTPS and WSS listener serves. Called on the listener's worker threads, never on
// its network threads, so an answer may block (a recognition, a stalled reply in a test).
class ServiceHandler {
 public:
  virtual ~ServiceHandler() = default;

  virtual ApiReply handle(const ApiRequest& request) = 0;

  // Whether a WebSocket upgrade to `target` opens a stream.
  virtual bool isStreamTarget(std::string_view target) const = 0;
  // Whether answering `target` runs a recognition: those go to threads of their own, so that
  // quick calls never wait behind them.
  virtual bool isRecognitionTarget(std::string_view /*target*/) const { return false; }
  // Checked on the head of a request (its body empty) before a stream upgrade is accepted or a
  // body larger than an anonymous one is read: a refusal is answered at once, unupgraded.
  virtual std::optional<ApiReply> refuseEarly(const ApiRequest& /*head*/) { return std::nullopt; }
  // A stream for an upgraded request; on failure, the message to send before closing.
  // `onSuperseded` may be called (from any thread) to end the connection early.
  virtual std::variant<std::unique_ptr<StreamDecoding>, std::string> openStream(
      const ApiRequest& request, std::function<void()> onSuperseded) = 0;
};

}  // namespace wrenly::speech
