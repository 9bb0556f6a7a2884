#pragma once

#include <chrono>
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
  int workerThreads = 3;  // account look-ups and other quick answers, off the network threads
  // Requests larger than this are refused with 413 before their body is read.
  std::size_t maximumBodyBytes = 16u << 20;
  std::size_t maximumStreamFrameBytes = 1u << 20;
  ConnectionReuse reuse = ConnectionReuse::keepAlive;
  std::string threadName = "speech-service";  // of every thread the server starts
  // Recognitions (uploads and stream decoding) run on threads of their own, so that a long one
  // never holds up a quick call.
  int recognitionThreads = 3;
  // Connections held at once, in all and from one address. When full, the longest-idle
  // connection makes room for a new one; with none idle, the new one is closed at once. Kept
  // below the descriptor limit at start.
  std::size_t maximumConnections = 512;
  std::size_t maximumConnectionsPerPeer = 128;
  // Bodies over plain HTTP or without credentials: a sign-in form at most. Requests whose
  // method takes no body may not send one.
  std::size_t maximumAnonymousBodyBytes = 64u << 10;
  // A stream ends when it has lasted this long, or when, after the grace time, its audio falls
  // behind the minimum rate (a quarter of real time by default): a stream that trickles would
  // hold a decoder all the same.
  std::chrono::milliseconds maximumStreamDuration = std::chrono::seconds(240);
  std::chrono::milliseconds streamGrace = std::chrono::seconds(10);
  std::size_t minimumStreamBytesPerSecond = 8000;
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
