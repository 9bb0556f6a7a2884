#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/TestCertificate.h"

namespace wrenly {

// One WebSocket message as the server saw it.
struct StreamFrame {
  bool text = false;
  std::string data;
  friend bool operator==(const StreamFrame&, const StreamFrame&) = default;
};

// The server's side of one connection, handed to the test's script (on the server thread).
class StreamPeer {
 public:
  virtual ~StreamPeer() = default;
  virtual void sendText(std::string_view payload) = 0;
  virtual void sendBinary(std::string_view payload) = 0;
  // The next message (also recorded), or none once the client closed or the connection failed.
  virtual std::optional<StreamFrame> receive() = 0;
  // Ends the TCP connection without a WebSocket or TLS goodbye.
  virtual void drop() = 0;

  // Receives until the finish frame; false when the connection ended first.
  bool receiveUntilFinish();
  void receiveUntilClosed();
};

// A loopback WSS server playing the speech service's "stream" socket. Each connection is
// upgraded, its request recorded and handed to `script`; when the script returns the server
// closes the socket normally (unless the script dropped it).
class StreamServer {
 public:
  using Script = std::function<void(StreamPeer&)>;

  // A small `receiveBufferBytes` window makes the client's writes stall soon.
  StreamServer(const TestCertificate& certificate, Script script, int receiveBufferBytes = 0);
  ~StreamServer();

  std::string baseURL() const;  // "https://localhost:<port>/wrenly/v1/"

  // What the latest connection sent.
  std::string target() const;
  std::map<std::string, std::string> headers() const;  // names in lower case
  std::vector<StreamFrame> frames() const;
  int connections() const;  // upgraded so far
  // The close code of the client's goodbye as the latest script's receive() saw it, if any.
  std::optional<int> closeCode() const;

  // Block until `count` connections are upgraded, or until every upgraded one has ended. They
  // give up (false) after a minute, which only a broken build reaches.
  bool waitForConnections(int count);
  bool waitForEnd();

 private:
  struct Shared;
  class Peer;
  void run();

  std::shared_ptr<Shared> shared_;
  Script script_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace wrenly
