#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <variant>

#include "StartupError.h"
#include "identity/ServerIdentity.h"

namespace wrenly::speech {

class ServiceHandler;
class ServiceLog;

struct ListenAddress {
  std::string address = "127.0.0.1";
  unsigned short port = 47615;
};

enum class ConnectionReuse { keepAlive, oneRequestPerConnection };

struct ServerSetup {
  // Where to listen, or a listening socket handed over by the service manager.
  std::variant<ListenAddress, int> listen;
  ServerIdentity identity;
  int networkThreads = 2;
  int workerThreads = 3;  // recognitions and account look-ups, off the network threads
  // Requests larger than this are refused with 413 before their body is read.
  std::size_t maximumBodyBytes = 16u << 20;
  std::size_t maximumStreamFrameBytes = 1u << 20;
  ConnectionReuse reuse = ConnectionReuse::keepAlive;
  std::string threadName = "speech-service";  // of every thread the server starts
};

// The HTTPS and WSS listener in front of a handler: plain calls go to ServiceHandler::handle on
// the worker threads, upgrades to a stream target become streaming sessions. Malformed requests
// get a 4xx and their connection is closed; nothing one client sends stops the others. Runs
// from start() until destruction; the handler and the log outlive it.
class SpeechServer {
 public:
  static Expected<std::unique_ptr<SpeechServer>, StartupError> start(ServerSetup setup,
                                                                     ServiceHandler& handler,
                                                                     ServiceLog& log);
  ~SpeechServer();
  SpeechServer(const SpeechServer&) = delete;
  SpeechServer& operator=(const SpeechServer&) = delete;

  unsigned short port() const;

  struct Engine;

 private:
  explicit SpeechServer(std::unique_ptr<Engine> engine);
  std::unique_ptr<Engine> engine_;
};

}  // namespace wrenly::speech
