#pragma once

#include <memory>
#include <string>
#include <variant>

#include "Fallible.h"
#include "ServiceCertificates.h"

namespace wrenly::speech {

class SpeechApi;
class ServiceLog;

struct ListenAddress {
  std::string address = "127.0.0.1";
  unsigned short port = 47615;
};

struct ServerSetup {
  // Where to listen, or a listening socket handed over by the service manager.
  std::variant<ListenAddress, int> listen;
  ServerIdentity identity;
  int networkThreads = 2;
  int workerThreads = 3;  // recognitions and account look-ups, off the network threads
};

// The HTTPS and WSS listener in front of the API: plain calls go to SpeechApi::handle on the
// worker threads, upgrades of ".../stream" become streaming sessions. Malformed requests get
// a 4xx and their connection is closed; nothing one client sends stops the others. Runs from
// start() until destruction.
class SpeechServer {
 public:
  static Fallible<std::unique_ptr<SpeechServer>> start(ServerSetup setup, SpeechApi& api,
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
