#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "server/ServiceHandler.h"
#include "server/ServiceLog.h"
#include "server/SpeechServer.h"
#include "support/TemporaryDirectory.h"
#include "support/TestCertificate.h"

namespace wrenly {

// The speech service as the client relies on it, for contract tests: a built-in model of the
// HTTPS JSON calls under /wrenly/v1/ plus per-test scripted replies, recording every request.
// Thread-safe: the server thread answers while the test thread scripts and inspects.
//
// Built-in model (used when no scripted reply applies):
//   POST account/mac/start  {"token": T}  -> {"authorizationURL": "https://appleid.apple.com/...",
//                                             "state": S}; T becomes a pending token
//   GET access              -> {"active": Boolean} for an accepted token
//   DELETE account/session  -> 200, the token is revoked
//   DELETE access           -> 200, the account (and all its tokens) is deleted
//   POST transcribe         -> {"text": transcript()} when the body has the four members
//   POST text               -> {"text": ...} for "macCleanupTraditional" (cleanedText()) and
//                              "selectedVoiceTask" (rewrittenText())
// Every call but the start of sign-in needs "Authorization: Bearer T" with an accepted token:
// none gives 401 without a code, an unknown or revoked one 401 {"error":{"code":"invalid_access"}}.
//
// Served on a loopback HTTPS port (127.0.0.1, an ephemeral port), with a certificate generated
// for this server, by the speech service's own listener. Runs on its own threads from
// construction until destruction; each connection carries one request and is closed after the
// reply.
//
//   ContractServer server;
//   server.addAccount("token");
//   ServiceConfiguration configuration{server.baseURL(), server.certificateFile()};
//
// A client trusts the server through `certificateFile()` (the client's extra trust file, or the
// WRENLY_CA_FILE variable).
class ContractServer : private speech::ServiceHandler {
 public:
  struct Request {
    std::string method;
    std::string target;  // as sent, e.g. "/wrenly/v1/transcribe"
    std::string path;    // relative to the base URL, e.g. "transcribe"; empty when outside it
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string body;

    std::optional<std::string> header(std::string_view name) const;  // first, case-insensitive
    std::optional<std::string> bearerToken() const;
  };

  struct Reply {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Type
    bool stall = false;           // never answers until releaseStalled() or shutdown
    bool dropConnection = false;  // closes the connection without answering

    static Reply json(int status, std::string body);
    static Reply error(int status, std::string code);  // {"error":{"code":CODE}}
    static Reply text(std::string text);               // 200 {"text":TEXT}
    static Reply stalled() {
      Reply r;
      r.stall = true;
      return r;
    }
  };

  // Answers one request instead of the model; return none to let the queue or model answer.
  using Handler = std::function<std::optional<Reply>(const Request&)>;

  explicit ContractServer(TestCertificate certificate = TestCertificate::generate());
  ~ContractServer() override;
  ContractServer(const ContractServer&) = delete;
  ContractServer& operator=(const ContractServer&) = delete;

  unsigned short port() const { return server_->port(); }
  std::string baseURL() const;  // https://127.0.0.1:PORT/wrenly/v1/
  const TestCertificate& certificate() const { return certificate_; }
  const std::filesystem::path& certificateFile() const { return certificateFile_; }

  // Queues `reply` for the next `times` requests to METHOD path; queued replies go first.
  void enqueue(std::string method, std::string path, Reply reply, int times = 1);
  void setHandler(Handler handler) {
    locked([&] { handler_ = std::move(handler); });
  }

  // Accounts of the model.
  void addAccount(const std::string& token, bool active = true) {
    locked([&] { accounts_.push_back(Account{active, {token}}); });
  }
  // What Apple's side does at the end of a sign-in: the pending tokens become accepted.
  void approveSignIn();

  void setTranscript(std::string text) {
    locked([&] { transcript_ = std::move(text); });
  }
  void setCleanedText(std::string text) {
    locked([&] { cleanedText_ = std::move(text); });
  }

  std::vector<Request> requests() const {
    return locked([&] { return requests_; });
  }
  size_t requestCount() const {
    return locked([&] { return requests_.size(); });
  }

  // Lets every stalled reply go out now (in the order they stalled).
  void releaseStalled() { release(false); }

 private:
  struct Account {
    bool active = true;
    std::set<std::string> tokens;
  };
  template <typename F>
  std::invoke_result_t<F&> locked(F f) const {
    std::lock_guard lock(mutex_);
    return f();
  }
  Reply modelReply(const Request& request);
  Account* accountOf(const std::string& token);

  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::map<std::string, std::deque<Reply>> queued_;  // key "METHOD path"
  Handler handler_;
  std::vector<Account> accounts_;
  std::set<std::string> pendingTokens_;
  std::string transcript_ = "測試轉錄";
  std::string cleanedText_ = "已整理的文字";
  std::string rewrittenText_ = "已改寫的文字";
  int nextState_ = 1;
  // Records each complete request and picks its reply.
  Reply answer(Request request);
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
  std::condition_variable released_;
  int releases_ = 0;
  bool shuttingDown_ = false;
  std::unique_ptr<speech::SpeechServer> server_;
};

}  // namespace wrenly
