#include "support/service/ContractServer.h"

#include <stdexcept>

namespace wrenly {

// The speech service's own listener, serving the scripted service instead of the real one.
ContractServer::ContractServer(TestCertificate certificate)
    : certificate_(std::move(certificate)),
      certificateFile_(directory_ / "server-certificate.pem") {
  certificate_.writeCertificate(certificateFile_);
  speech::ServerSetup setup;
  setup.listen = speech::ListenAddress{"127.0.0.1", 0};
  setup.identity.certificateChainPem = certificate_.certificatePem;
  setup.identity.privateKeyPem = certificate_.privateKeyPem;
  setup.networkThreads = 1;
  setup.workerThreads = 4;  // a stalled reply holds one
  setup.maximumBodyBytes = 64u << 20;
  // A reply the test drops must reach the client as a failure, not as a stale connection its
  // transport quietly retries.
  setup.reuse = speech::ConnectionReuse::oneRequestPerConnection;
  // Benchmarks tell the service's threads from the client's by this name.
  setup.threadName = "loopback-https";
  auto started = speech::SpeechServer::start(std::move(setup), *this, log_);
  if (!started) throw std::runtime_error("contract server: " + started.error().message);
  server_ = std::move(started.value());
}

ContractServer::~ContractServer() {
  release(true);
  server_.reset();  // before the state its threads use
}

std::string ContractServer::baseURL() const {
  return "https://127.0.0.1:" + std::to_string(port()) + "/wrenly/v1/";
}

speech::ApiReply ContractServer::handle(const speech::ApiRequest& request) {
  Reply reply = answer({request.method, request.target, {}, request.headers, request.body});
  if (reply.stall) {
    std::unique_lock lock(mutex_);
    const int generation = releases_;
    released_.wait(lock, [&] { return releases_ != generation || shuttingDown_; });
  }
  speech::ApiReply sent;
  sent.status = reply.status;
  sent.body = std::move(reply.body);
  sent.headers = std::move(reply.headers);
  if (reply.dropConnection) sent.delivery = speech::ApiReply::Delivery::dropConnection;
  return sent;
}

void ContractServer::release(bool forGood) {
  {
    std::lock_guard lock(mutex_);
    ++releases_;
    shuttingDown_ = shuttingDown_ || forGood;
  }
  released_.notify_all();
}

}  // namespace wrenly
