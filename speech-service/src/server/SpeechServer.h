#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "StartupError.h"
#include "identity/ServerIdentity.h"

namespace wrenly::speech {

class ServiceHandler;
class ServiceLog;

struct ListenAddress {
  std::string address = "127.0.0.1";
  unsigned short port = 0;  // 0: any free port
};

// A Unix socket that serves one user: the calls and streams of this user's programs. A
// connection of any other user is closed unanswered (its peer's uid, from the kernel, decides).
struct UserSocket {
  std::filesystem::path path;
};

enum class ConnectionReuse { keepAlive, oneRequestPerConnection };

struct ServerSetup {
  // Where to listen: a TCP address (calls over TLS and pages over plain HTTP on one port, open
  // to every user of this machine: development and tests), the user's socket, or a listening
  // socket of either kind handed over by the service manager.
  std::variant<ListenAddress, int, UserSocket> listen;
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
  // With a Unix socket, the browser's pages (plain HTTP only, never a call) listen here: a port
  // of its own for every user, so that one user's service never holds another's, answering
  // only a connection the kernel says is the same user's.
  ListenAddress pages{"127.0.0.1", 0};
  // With a Unix socket, the one user it and the pages serve: this process's own unless set
  // (tests).
  std::optional<unsigned> owner;
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

  // The TCP port: the one listened on, or with a Unix socket the pages' port.
  unsigned short port() const;
  // With a Unix socket, the pages' host and port ("127.0.0.1:PORT"), which the browser is sent to.
  std::optional<std::string> pagesAddress() const;

  struct Engine;

 private:
  explicit SpeechServer(std::unique_ptr<Engine> engine);
  std::unique_ptr<Engine> engine_;
};

}  // namespace wrenly::speech
