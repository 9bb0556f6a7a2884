#pragma once

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "server/ServiceHandler.h"
#include "server/ServiceLog.h"
#include "server/SpeechServer.h"
#include "support/TemporaryDirectory.h"
#include "support/TestCertificate.h"
#include "support/service/ContractService.h"

namespace wrenly {

// The contract service on a loopback HTTPS port (127.0.0.1, an ephemeral port), with a
// certificate generated for this server, served by the speech service's own listener. Runs on
// its own threads from construction until destruction; each connection carries one request and
// is closed after the reply.
//
//   ContractServer server;
//   server.addAccount("token");
//   ServiceConfiguration configuration{server.baseURL(), server.certificateFile()};
//
// A client trusts the server through `certificateFile()` (the client's extra trust file, or the
// WRENLY_CA_FILE variable). Scripting and inspection come from ContractService.
class ContractServer : public ContractService, private speech::ServiceHandler {
 public:
  explicit ContractServer(TestCertificate certificate = TestCertificate::generate());
  ~ContractServer() override;
  ContractServer(const ContractServer&) = delete;
  ContractServer& operator=(const ContractServer&) = delete;

  unsigned short port() const { return server_->port(); }
  std::string baseURL() const;  // https://127.0.0.1:PORT/wrenly/v1/
  const TestCertificate& certificate() const { return certificate_; }
  const std::filesystem::path& certificateFile() const { return certificateFile_; }

  // Lets every stalled reply go out now (in the order they stalled).
  void releaseStalled() { release(false); }

 private:
  speech::ApiReply handle(const speech::ApiRequest& request) override;
  bool isStreamTarget(std::string_view) const override { return false; }
  std::variant<std::unique_ptr<speech::StreamDecoding>, std::string> openStream(
      const speech::ApiRequest&, std::function<void()>) override {
    return std::string();
  }
  void release(bool forGood);

  TestCertificate certificate_;
  TemporaryDirectory directory_;
  std::filesystem::path certificateFile_;
  std::ostream nowhere_{nullptr};  // the listener's own log lines are of no interest here
  speech::ServiceLog log_{nowhere_};
  std::mutex mutex_;
  std::condition_variable released_;
  int releases_ = 0;
  bool shuttingDown_ = false;
  std::unique_ptr<speech::SpeechServer> server_;
};

}  // namespace wrenly
