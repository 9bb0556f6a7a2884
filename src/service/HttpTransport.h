#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Asio.h"

namespace wrenly {

// One HTTPS exchange as the service client sends it.
struct HttpRequest {
  std::string url;
  std::string method;                       // "GET", "POST", "DELETE"
  std::vector<std::string> headers;         // "Name: value", sent in this order
  std::shared_ptr<const std::string> body;  // absent: no body; shared so resends copy nothing
  double timeoutSeconds = 20;               // bounds the whole exchange
  std::optional<std::filesystem::path> extraTrustFile;
  // Connect to this Unix socket instead of the URL's host and port (which still name the
  // server whose certificate is checked): the local service.
  std::optional<std::filesystem::path> unixSocket{};
  bool trustSystemAuthorities = true;  // besides extraTrustFile
};

struct HttpResponse {
  long status = 0;
  std::string body;
};

// Lets another thread stop a running exchange at once.
class TransferControl {
 public:
  void cancel();
  bool cancelled() const { return cancelled_.load(); }

 private:
  friend class ActiveTransfer;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  void* multi_ = nullptr;  // the running transfer's multi handle, to wake it
};

// Performs the exchange on the calling thread with a fresh connection that is closed afterwards
// (nothing is shared with any other exchange). Throws TransportError on any failure below HTTP.
HttpResponse performHttpRequest(const HttpRequest& request, TransferControl& control);

// The same on `background`, resuming the awaiting coroutine on its own executor. Cancelling the
// coroutine aborts the transfer, which then fails with TransportError::cancelled.
asio::awaitable<HttpResponse> sendHttpRequest(asio::any_io_executor background,
                                              std::shared_ptr<const HttpRequest> request);

}  // namespace wrenly
