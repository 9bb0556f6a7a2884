#include "support/service/ContractServer.h"

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <stdexcept>

#include "ServiceHandler.h"
#include "ServiceLog.h"
#include "SpeechServer.h"

namespace wrenly {

// The speech service's own listener, serving the scripted service instead of the real one.
struct ContractServer::Transport final : speech::ServiceHandler {
  explicit Transport(ContractService& owner, const TestCertificate& certificate)
      : service(owner), nowhere(nullptr), log(nowhere) {
    speech::ServerSetup setup;
    setup.listen = speech::ListenAddress{"127.0.0.1", 0};
    setup.identity.certificateChainPem = certificate.certificatePem;
    setup.identity.privateKeyPem = certificate.privateKeyPem;
    setup.networkThreads = 1;
    setup.workerThreads = 4;  // a stalled reply holds one
    setup.maximumBodyBytes = 64u << 20;
    // A reply the test drops must reach the client as a failure, not as a stale connection
    // its transport quietly retries.
    setup.reuse = speech::ConnectionReuse::oneRequestPerConnection;
    // Benchmarks tell the service's threads from the client's by this name.
    setup.threadName = "loopback-https";
    auto started = speech::SpeechServer::start(std::move(setup), *this, log);
    if (!started) throw std::runtime_error("contract server: " + started.error().message);
    server = std::move(started.value());
  }

  ~Transport() override {
    releaseStalled(Release::forGood);
    server.reset();
  }

  speech::ApiReply handle(const speech::ApiRequest& request) override {
    ContractService::Reply reply =
        service.answer({request.method, request.target, {}, request.headers, request.body});
    if (reply.stall) {
      std::unique_lock lock(mutex);
      const int generation = releases;
      released.wait(lock, [&] { return releases != generation || shuttingDown; });
    }
    speech::ApiReply answer;
    answer.status = reply.status;
    answer.body = std::move(reply.body);
    answer.headers = std::move(reply.headers);
    if (reply.dropConnection) answer.delivery = speech::ApiReply::Delivery::dropConnection;
    return answer;
  }

  bool isStreamTarget(std::string_view) const override { return false; }
  std::variant<std::unique_ptr<speech::StreamDecoding>, std::string> openStream(
      const speech::ApiRequest&, std::function<void()>) override {
    return std::string();
  }

  enum class Release { now, forGood };
  void releaseStalled(Release release) {
    {
      std::lock_guard lock(mutex);
      ++releases;
      shuttingDown = shuttingDown || release == Release::forGood;
    }
    released.notify_all();
  }

  ContractService& service;
  std::ostream nowhere;  // the listener's own log lines are of no interest here
  speech::ServiceLog log;
  std::mutex mutex;
  std::condition_variable released;
  int releases = 0;
  bool shuttingDown = false;
  std::unique_ptr<speech::SpeechServer> server;
};

ContractServer::ContractServer(TestCertificate certificate)
    : certificate_(std::move(certificate)),
      certificateFile_(directory_ / "server-certificate.pem") {
  certificate_.writeCertificate(certificateFile_);
  transport_ = std::make_unique<Transport>(*this, certificate_);
}

ContractServer::~ContractServer() = default;  // the transport (declared last) stops first

unsigned short ContractServer::port() const {
  return transport_->server->port();
}

std::string ContractServer::baseURL() const {
  return "https://127.0.0.1:" + std::to_string(port()) + "/wrenly/v1/";
}

void ContractServer::releaseStalled() {
  transport_->releaseStalled(Transport::Release::now);
}

}  // namespace wrenly
