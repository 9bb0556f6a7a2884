#pragma once

#include <boost/asio/any_completion_handler.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Asio.h"
#include "streaming/LiveRecognitionResult.h"
#include "streaming/StreamTransport.h"
#include "streaming/StreamTrust.h"

namespace wrenly {

class Clock;

// What a streaming session borrows from the rest of the program.
struct StreamingSpeechDependencies {
  asio::any_io_executor background;  // the shared pool; the session's queue is a strand on it
  Clock& clock;
  std::optional<std::string> endpoint;  // canonical https base URL ending in "/wrenly/v1/"
  std::function<std::optional<std::string>()> streamingToken;  // called on the session's queue
  StreamTrust trust = StreamTrust::fromEnvironment();
  StreamTransportFactory makeTransport = StreamTransport::make;
  // Takes the words heard so far, on the session's queue, while the user speaks. With one, the
  // service is asked to send them; without, a service that sends them anyway is at fault.
  std::function<void(std::string)> onInterim = {};
};

// Sends the audio of one dictation to the speech service while the user speaks and returns the
// recognised result moments after the recording ends. One client serves one dictation; the
// connection opens as soon as the client is made.
//
// `append` and `cancel` may be called from any thread and never block; `finish` is awaited by a
// coroutine on any executor, and cancelling that coroutine cancels the session. Releasing the
// client abandons the session like `cancel()`. The outcome goes to the first `finish` alone;
// a second call is refused with StreamError::invalidResponse.
class LiveRecognitionClient {
 public:
  // `vocabulary`: the user's words as a hint for the engine; empty: none.
  LiveRecognitionClient(std::string requestID, std::string language, bool cleanup,
                        StreamingSpeechDependencies dependencies, std::string vocabulary = {});
  ~LiveRecognitionClient();
  LiveRecognitionClient(const LiveRecognitionClient&) = delete;
  LiveRecognitionClient& operator=(const LiveRecognitionClient&) = delete;

  const std::string& requestID() const { return requestID_; }

  // Queues one chunk of 16 kHz mono 16-bit PCM. Ignored once `finish` or the outcome came.
  void append(std::vector<uint8_t> pcm);

  // Ends the audio and waits for the outcome. Throws ServiceError, StreamError or the
  // transport's own boost::system::system_error (operation_aborted after a cancellation).
  asio::awaitable<LiveRecognitionResult> finish() {
    return asio::async_initiate<decltype(asio::use_awaitable),
                                void(std::exception_ptr, LiveRecognitionResult)>(
        [session = session_](auto handler) {
          asio::any_io_executor resumeOn = asio::get_associated_executor(handler);
          startFinish(session, std::move(resumeOn), FinishHandler(std::move(handler)));
        },
        asio::use_awaitable);
  }

  void cancel();

  class Session;

 private:
  using FinishHandler =
      asio::any_completion_handler<void(std::exception_ptr, LiveRecognitionResult)>;
  static void startFinish(const std::shared_ptr<Session>& session, asio::any_io_executor resumeOn,
                          FinishHandler handler);

  std::string requestID_;
  std::shared_ptr<Session> session_;
};

}  // namespace wrenly
