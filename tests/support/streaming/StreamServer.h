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

// One WebSocket message as the server saw it.
struct StreamFrame {
  bool text = false;
  std::string data;
};

// The server's side of one connection, handed to the test's script. Every call blocks the
// server thread only.
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
  // Receives until the connection ends.
  void receiveUntilClosed();
};

// A loopback WSS server playing the speech service's "stream" socket. Each accepted connection
// is upgraded, its request recorded, and then handed to `script`; when the script returns the
// server closes the socket normally (unless the script dropped it).
class StreamServer {
 public:
  using Script = std::function<void(StreamPeer&)>;

  struct Options {
    int receiveBufferBytes = 0;  // when set, a small window makes the client's writes stall
  };

  StreamServer(const TestCertificate& certificate, Script script, Options options);
  StreamServer(const TestCertificate& certificate, Script script)
      : StreamServer(certificate, std::move(script), Options{}) {}
  ~StreamServer();

  std::uint16_t port() const { return port_; }
  // "https://localhost:<port>/wrenly/v1/"
  std::string baseURL() const;

  // What the latest connection sent.
  std::string target() const;
  std::map<std::string, std::string> headers() const;  // names in lower case
  std::vector<StreamFrame> frames() const;
  int connections() const;

  // Blocks until `count` connections have been upgraded, or until the script of the latest
  // one has returned and the socket is closed. Both give up (returning false) after a minute,
  // which only a broken build ever reaches.
  bool waitForConnections(int count);
  bool waitForEnd();

 private:
  struct Shared;
  struct Listener;
  class Peer;
  void run();

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Listener> listener_;  // used by the server thread only, once it runs
  Script script_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};
