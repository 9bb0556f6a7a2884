#include "support/streaming/StreamServer.h"

#include <sys/socket.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cctype>
#include <chrono>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;

struct StreamServer::Shared {
  mutable std::mutex mutex;
  std::condition_variable changed;
  bool stopping = false;
  int listenFd = -1;
  int connectionFd = -1;
  int connections = 0;
  int ended = 0;
  std::string target;
  std::map<std::string, std::string> headers;
  std::vector<StreamFrame> frames;

  template <typename Predicate>
  bool waitFor(Predicate predicate) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::minutes(1), predicate);
  }
};

using Socket = websocket::stream<ssl::stream<tcp::socket>>;

class StreamServer::Peer final : public StreamPeer {
 public:
  Peer(Socket& socket, Shared& shared) : socket_(socket), shared_(shared) {}

  void sendText(std::string_view payload) override { send(true, payload); }
  void sendBinary(std::string_view payload) override { send(false, payload); }

  std::optional<StreamFrame> receive() override {
    if (dropped_) return std::nullopt;
    beast::flat_buffer buffer;
    error_code ec;
    socket_.read(buffer, ec);
    if (ec) return std::nullopt;
    StreamFrame frame{socket_.got_text(), beast::buffers_to_string(buffer.data())};
    std::lock_guard lock(shared_.mutex);
    shared_.frames.push_back(frame);
    return frame;
  }

  void drop() override {
    dropped_ = true;
    error_code ignored;
    beast::get_lowest_layer(socket_).shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(socket_).close(ignored);
  }

  bool dropped() const { return dropped_; }

 private:
  void send(bool text, std::string_view payload) {
    if (dropped_) return;
    socket_.text(text);
    error_code ignored;
    socket_.write(asio::buffer(payload.data(), payload.size()), ignored);
  }

  Socket& socket_;
  Shared& shared_;
  bool dropped_ = false;
};

bool StreamPeer::receiveUntilFinish() {
  while (auto frame = receive()) {
    if (frame->text && frame->data == R"({"type":"finish"})") return true;
  }
  return false;
}

void StreamPeer::receiveUntilClosed() {
  while (receive()) {
  }
}

struct StreamServer::Listener {
  asio::io_context io;
  ssl::context tls{ssl::context::tls_server};
  tcp::acceptor acceptor{io};
};

StreamServer::StreamServer(const TestCertificate& certificate, Script script, Options options)
    : shared_(std::make_shared<Shared>()),
      listener_(std::make_shared<Listener>()),
      script_(std::move(script)) {
  Listener* listener = listener_.get();
  listener->tls.use_certificate_chain(
      asio::buffer(certificate.certificatePem.data(), certificate.certificatePem.size()));
  listener->tls.use_private_key(
      asio::buffer(certificate.privateKeyPem.data(), certificate.privateKeyPem.size()),
      ssl::context::pem);
  tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
  listener->acceptor.open(endpoint.protocol());
  listener->acceptor.set_option(tcp::acceptor::reuse_address(true));
  if (options.receiveBufferBytes > 0) {
    listener->acceptor.set_option(
        asio::socket_base::receive_buffer_size(options.receiveBufferBytes));
  }
  listener->acceptor.bind(endpoint);
  listener->acceptor.listen();
  port_ = listener->acceptor.local_endpoint().port();
  shared_->listenFd = listener->acceptor.native_handle();

  thread_ = std::thread([this] { run(); });
}

StreamServer::~StreamServer() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    // Wakes a blocking accept or read on the server thread.
    if (shared_->listenFd >= 0) ::shutdown(shared_->listenFd, SHUT_RDWR);
    if (shared_->connectionFd >= 0) ::shutdown(shared_->connectionFd, SHUT_RDWR);
  }
  thread_.join();
}

void StreamServer::run() {
  Listener& listener = *listener_;
  for (;;) {
    tcp::socket accepted(listener.io);
    error_code ec;
    listener.acceptor.accept(accepted, ec);
    {
      std::lock_guard lock(shared_->mutex);
      if (ec || shared_->stopping) return;
      shared_->connectionFd = accepted.native_handle();
    }
    accepted.set_option(tcp::no_delay(true), ec);
    Socket socket(std::move(accepted), listener.tls);
    socket.next_layer().handshake(ssl::stream_base::server, ec);
    beast::flat_buffer buffer;
    beast::http::request<beast::http::string_body> request;
    if (!ec) beast::http::read(socket.next_layer(), buffer, request, ec);
    if (!ec) {
      std::lock_guard lock(shared_->mutex);
      shared_->target = std::string(request.target());
      shared_->headers.clear();
      shared_->frames.clear();
      for (const auto& field : request) {
        std::string name(field.name_string());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        shared_->headers[name] = std::string(field.value());
      }
    }
    if (!ec) socket.accept(request, ec);
    if (!ec) {
      {
        std::lock_guard lock(shared_->mutex);
        ++shared_->connections;
      }
      shared_->changed.notify_all();
      Peer peer(socket, *shared_);
      script_(peer);
      if (!peer.dropped()) {
        socket.close(websocket::close_code::normal, ec);
        // Read until the client's answer to our goodbye, or its own goodbye, has arrived.
        while (!ec) {
          beast::flat_buffer rest;
          socket.read(rest, ec);
        }
      }
    }
    error_code ignored;
    beast::get_lowest_layer(socket).close(ignored);
    {
      std::lock_guard lock(shared_->mutex);
      shared_->connectionFd = -1;
      ++shared_->ended;
    }
    shared_->changed.notify_all();
  }
}

std::string StreamServer::baseURL() const {
  return "https://localhost:" + std::to_string(port_) + "/wrenly/v1/";
}

std::string StreamServer::target() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->target;
}

std::map<std::string, std::string> StreamServer::headers() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->headers;
}

std::vector<StreamFrame> StreamServer::frames() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->frames;
}

int StreamServer::connections() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->connections;
}

bool StreamServer::waitForConnections(int count) {
  return shared_->waitFor([&] { return shared_->connections >= count; });
}

bool StreamServer::waitForEnd() {
  return shared_->waitFor(
      [&] { return shared_->ended >= shared_->connections && shared_->ended > 0; });
}
