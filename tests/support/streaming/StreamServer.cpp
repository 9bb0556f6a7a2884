#include "support/streaming/StreamServer.h"

#include <pthread.h>
#include <sys/socket.h>

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

namespace wrenly {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using Socket = websocket::stream<ssl::stream<tcp::socket>>;

struct StreamServer::Shared {
  asio::io_context io;  // the sockets, used by the server thread once it runs
  ssl::context tls{ssl::context::tls_server};
  tcp::acceptor acceptor{io};

  std::mutex mutex;
  std::condition_variable changed;
  bool stopping = false;
  int connectionFd = -1;
  int connections = 0;
  int ended = 0;
  std::string target;
  std::map<std::string, std::string> headers;
  std::vector<StreamFrame> frames;
  std::optional<int> closeCode;

  template <typename Predicate>
  bool waitFor(Predicate predicate) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::minutes(1), predicate);
  }
  template <typename T>
  T read(T Shared::*field) {
    std::lock_guard lock(mutex);
    return this->*field;
  }
  template <typename Change>
  void update(Change change) {
    std::lock_guard lock(mutex);
    change();
    changed.notify_all();
  }
};

class StreamServer::Peer final : public StreamPeer {
 public:
  Peer(Socket& socket, Shared& shared) : socket_(socket), shared_(shared) {}

  void sendText(std::string_view payload) override { send(true, payload); }
  void sendBinary(std::string_view payload) override { send(false, payload); }

  std::optional<StreamFrame> receive() override {
    beast::flat_buffer buffer;
    error_code ec;
    if (dropped) return std::nullopt;
    socket_.read(buffer, ec);
    if (ec == websocket::error::closed) {
      shared_.update([&] { shared_.closeCode = static_cast<int>(socket_.reason().code); });
    }
    if (ec) return std::nullopt;
    StreamFrame frame{socket_.got_text(), beast::buffers_to_string(buffer.data())};
    shared_.update([&] { shared_.frames.push_back(frame); });
    return frame;
  }

  void drop() override {
    dropped = true;
    error_code ignored;
    beast::get_lowest_layer(socket_).shutdown(tcp::socket::shutdown_both, ignored);
  }

  bool dropped = false;

 private:
  void send(bool text, std::string_view payload) {
    if (dropped) return;
    socket_.text(text);
    error_code ignored;
    socket_.write(asio::buffer(payload.data(), payload.size()), ignored);
  }

  Socket& socket_;
  Shared& shared_;
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

StreamServer::StreamServer(const TestCertificate& certificate, Script script,
                           int receiveBufferBytes)
    : shared_(std::make_shared<Shared>()), script_(std::move(script)) {
  Shared& l = *shared_;
  l.tls.use_certificate_chain(asio::buffer(certificate.certificatePem));
  l.tls.use_private_key(asio::buffer(certificate.privateKeyPem), ssl::context::pem);
  tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
  l.acceptor.open(endpoint.protocol());
  if (receiveBufferBytes > 0) {
    l.acceptor.set_option(asio::socket_base::receive_buffer_size(receiveBufferBytes));
  }
  l.acceptor.bind(endpoint);
  l.acceptor.listen();
  port_ = l.acceptor.local_endpoint().port();
  thread_ = std::thread([this] {
    // Benchmarks tell the service's thread from the client's by this name.
    pthread_setname_np(pthread_self(), "loopback-wss");
    run();
  });
}

StreamServer::~StreamServer() {
  {
    // Wakes a blocking accept or read on the server thread.
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    ::shutdown(shared_->acceptor.native_handle(), SHUT_RDWR);
    if (shared_->connectionFd >= 0) ::shutdown(shared_->connectionFd, SHUT_RDWR);
  }
  thread_.join();
}

void StreamServer::run() {
  for (;;) {
    Socket socket(tcp::socket(shared_->io), shared_->tls);
    auto& tcpSocket = beast::get_lowest_layer(socket);
    error_code ec;
    shared_->acceptor.accept(tcpSocket, ec);
    {
      std::lock_guard lock(shared_->mutex);
      if (ec || shared_->stopping) return;
      shared_->connectionFd = tcpSocket.native_handle();
    }
    tcpSocket.set_option(tcp::no_delay(true), ec);
    socket.next_layer().handshake(ssl::stream_base::server, ec);
    beast::flat_buffer buffer;
    beast::http::request<beast::http::string_body> request;
    if (!ec) beast::http::read(socket.next_layer(), buffer, request, ec);
    if (!ec) socket.accept(request, ec);
    const bool upgraded = !ec;
    if (upgraded) {
      shared_->update([&] {
        shared_->target = std::string(request.target());
        shared_->headers.clear();
        shared_->frames.clear();
        shared_->closeCode.reset();
        for (const auto& field : request) {
          std::string name(field.name_string());
          for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          shared_->headers[name] = std::string(field.value());
        }
        ++shared_->connections;
      });
      Peer peer(socket, *shared_);
      script_(peer);
      if (!peer.dropped) {
        // Reads until the client's answer to our goodbye, or its own goodbye, has arrived.
        socket.close(websocket::close_code::normal, ec);
        for (beast::flat_buffer rest; !ec;) socket.read(rest, ec);
      }
    }
    // Forgotten before it is closed, so the destructor never shuts down a reused descriptor.
    shared_->update([&] {
      shared_->connectionFd = -1;
      if (upgraded) ++shared_->ended;
    });
    tcpSocket.close(ec);
  }
}

std::string StreamServer::baseURL() const {
  return "https://localhost:" + std::to_string(port_) + "/wrenly/v1/";
}

// Copies of what the server thread records.
std::string StreamServer::target() const {
  return shared_->read(&Shared::target);
}
std::map<std::string, std::string> StreamServer::headers() const {
  return shared_->read(&Shared::headers);
}
std::vector<StreamFrame> StreamServer::frames() const {
  return shared_->read(&Shared::frames);
}
std::optional<int> StreamServer::closeCode() const {
  return shared_->read(&Shared::closeCode);
}
int StreamServer::connections() const {
  return shared_->read(&Shared::connections);
}

bool StreamServer::waitForConnections(int count) {
  return shared_->waitFor([&] { return shared_->connections >= count; });
}

bool StreamServer::waitForEnd() {
  return shared_->waitFor(
      [&] { return shared_->ended > 0 && shared_->ended == shared_->connections; });
}

}  // namespace wrenly
