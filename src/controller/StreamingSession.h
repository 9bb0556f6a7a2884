#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Asio.h"

namespace wrenly {

// One live recognition session, as the controller uses it: it opens when made, takes the PCM
// chunks of the recording while the user speaks and gives the result after the recording ends.
class StreamingSession {
 public:
  struct Result {
    std::string transcript;  // the speech as recognised
    std::string text;        // the text to deliver, with the service's clean-up when asked for
  };

  virtual ~StreamingSession() = default;

  virtual const std::string& requestID() const = 0;
  // One chunk of 16 kHz mono 16-bit PCM; any thread, never blocks.
  virtual void append(std::vector<std::uint8_t> pcm) = 0;
  // Ends the audio and waits for the outcome; throws when the session failed.
  virtual asio::awaitable<Result> finish() = 0;
  // Abandons the session; any thread.
  virtual void cancel() = 0;
  // Where the words heard so far go while the user speaks, from another thread; a session
  // without them never calls it.
  virtual void setInterimHandler(std::function<void(std::string)> /*handler*/) {}
};

// Opens a session for one dictation: request id, spoken-language code, whether the service
// should clean the text up, and the vocabulary hint (empty: none).
using StreamingSessionFactory = std::function<std::shared_ptr<StreamingSession>(
    std::string requestID, std::string language, bool cleanup, std::string vocabulary)>;

}  // namespace wrenly
