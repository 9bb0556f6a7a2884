#include "support/streaming/ScriptedStreamTransport.h"

#include <boost/asio/post.hpp>
#include <optional>

namespace wrenly {

namespace {

using boost::system::error_code;

class ScriptedStreamTransport final : public StreamTransport,
                                      public std::enable_shared_from_this<ScriptedStreamTransport> {
 public:
  ScriptedStreamTransport(Strand strand, std::shared_ptr<FailCount> failures, std::string result)
      : strand_(std::move(strand)), failures_(std::move(failures)), result_(std::move(result)) {}

  void connect(const StreamAddress&, Headers, Completion done) override { complete(done); }
  void sendBinary(std::vector<uint8_t>, Completion done) override { complete(done); }
  void sendText(std::string, Completion done) override {
    finishSent_ = true;
    complete(done);
    answer();
  }
  void receive(Reception done) override {
    if (const auto ec = outcome(); ec) return deliver(done, ec, {});
    if (!readySent_) {
      readySent_ = true;
      return deliver(done, {}, R"({"type":"ready"})");
    }
    waiting_ = std::move(done);
    answer();
  }
  void close() override {
    closed_ = true;
    if (waiting_)
      deliver(*std::exchange(waiting_, std::nullopt), asio::error::operation_aborted, {});
  }

 private:
  error_code outcome() {
    if (closed_) return asio::error::operation_aborted;
    return failures_->fail() ? error_code(asio::error::connection_reset) : error_code();
  }
  void complete(const Completion& done) {
    asio::post(strand_, [self = shared_from_this(), done, ec = outcome()] { done(ec); });
  }
  void deliver(Reception done, error_code ec, std::string payload) {
    asio::post(strand_, [self = shared_from_this(), done = std::move(done), ec,
                         payload = std::move(payload)] { done(ec, payload); });
  }
  void answer() {
    if (finishSent_ && waiting_) deliver(*std::exchange(waiting_, std::nullopt), {}, result_);
  }

  Strand strand_;
  std::shared_ptr<FailCount> failures_;
  std::string result_;
  std::optional<Reception> waiting_;
  bool readySent_ = false;
  bool finishSent_ = false;
  bool closed_ = false;
};

}  // namespace

StreamTransportFactory scriptedStreamTransports(std::shared_ptr<FailCount> failures,
                                                std::string result) {
  return [failures, result](StreamTransport::Strand strand, const StreamTrust&, Clock&,
                            error_code&) -> std::shared_ptr<StreamTransport> {
    return std::make_shared<ScriptedStreamTransport>(std::move(strand), failures, result);
  };
}

}  // namespace wrenly
