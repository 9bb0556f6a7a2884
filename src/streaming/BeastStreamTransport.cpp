// The only file of the streaming client that compiles Beast: keep it that way, it is costly.
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>

#include "platform/Clock.h"
#include "streaming/StreamTransport.h"

// GCC 12 takes the pair Asio allocates coroutine frames with (its frame's operator new over
// aligned_alloc, its operator delete) for a mismatched one once the opening coroutine is inlined
// into connect(); the pair is Asio's own and matched.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace wrenly {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
// A TCP connection, or the local service's Unix socket: the same TLS and WebSocket above either.
using Protocol = asio::generic::stream_protocol;
using boost::system::error_code;

namespace {

// Bounds the opening and the closing handshakes (the closing one including the frame that was
// still being written); everything else is bounded by the session.
constexpr auto handshakeLimit = std::chrono::seconds(10);
// Enough for any reply the service sends; a peer cannot make us buffer without limit.
constexpr std::size_t largestMessage = 1 << 20;
// Each step of the opening reports its error code instead of throwing.
constexpr auto step = asio::as_tuple(asio::use_awaitable);

class BeastStreamTransport final : public StreamTransport,
                                   public std::enable_shared_from_this<BeastStreamTransport> {
 public:
  BeastStreamTransport(Strand strand, ssl::context tls, Clock& clock,
                       std::optional<std::filesystem::path> localSocket)
      : strand_(strand),
        clock_(clock),
        tls_(std::move(tls)),
        localSocket_(std::move(localSocket)),
        resolver_(strand),
        socket_(strand, tls_) {}

  void connect(const StreamAddress& address, Headers headers, Completion done) override {
    asio::co_spawn(strand_, open(shared_from_this(), address, std::move(headers)),
                   [done = std::move(done)](std::exception_ptr failure, error_code ec) {
                     done(failure ? error_code(asio::error::fault) : ec);
                   });
  }

  void receive(Reception done) override {
    socket_.async_read(
        incoming_, [self = shared_from_this(), done = std::move(done)](error_code ec, std::size_t) {
          std::string payload;
          if (!ec) payload = beast::buffers_to_string(self->incoming_.data());
          self->incoming_.consume(self->incoming_.size());
          done(ec, std::move(payload));
        });
  }

  void sendBinary(std::vector<uint8_t> payload, Completion done) override {
    outgoingBinary_ = std::move(payload);
    socket_.binary(true);
    write(asio::buffer(outgoingBinary_), std::move(done));
  }

  void sendText(std::string payload, Completion done) override {
    outgoingText_ = std::move(payload);
    socket_.text(true);
    write(asio::buffer(outgoingText_), std::move(done));
  }

  void close() override {
    if (closed_) return;
    closed_ = true;
    resolver_.cancel();
    if (!open_) return dropConnection();
    if (!writing_) return sayGoodbye();
    // The frame in flight is finished first (a WebSocket takes one write at a time); the
    // goodbye follows from its completion. Past the bound the connection is dropped instead.
    drainLimit_ = clock_.after(strand_, handshakeLimit, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->dropConnection();
    });
  }

 private:
  // Resolves, connects, secures and upgrades, one step after the other on the strand. Holds
  // `self` so the transport outlives the opening.
  static asio::awaitable<error_code> open(std::shared_ptr<BeastStreamTransport> self,
                                          StreamAddress address, Headers headers) {
    auto& lowest = beast::get_lowest_layer(self->socket_);
    if (self->localSocket_) {
      const asio::local::stream_protocol::endpoint local(self->localSocket_->string());
      auto [connected] = co_await lowest.async_connect(local, step);
      if (auto ec = self->unlessClosed(connected)) co_return ec;
    } else {
      auto [resolved, results] =
          co_await self->resolver_.async_resolve(address.host, address.port, step);
      if (auto ec = self->unlessClosed(resolved)) co_return ec;
      std::vector<Protocol::endpoint> endpoints;
      for (const auto& entry : results) endpoints.emplace_back(entry.endpoint());
      auto [connected, endpoint] = co_await asio::async_connect(lowest, endpoints, step);
      if (auto ec = self->unlessClosed(connected)) co_return ec;
      // Frames are small and latency matters more than packing them together.
      error_code ignored;
      lowest.set_option(tcp::no_delay(true), ignored);
    }

    auto& tlsStream = self->socket_.next_layer();
    // Server name indication is only defined for host names, never for address literals.
    if (address.hostIsName &&
        !SSL_set_tlsext_host_name(tlsStream.native_handle(), address.host.c_str())) {
      co_return error_code(static_cast<int>(::ERR_get_error()), asio::error::get_ssl_category());
    }
    tlsStream.set_verify_mode(ssl::verify_peer);
    tlsStream.set_verify_callback(ssl::host_name_verification(address.host));
    auto [secured] = co_await tlsStream.async_handshake(ssl::stream_base::client, step);
    if (auto ec = self->unlessClosed(secured)) co_return ec;

    self->prepareUpgrade(std::move(headers));
    auto [upgraded] =
        co_await self->socket_.async_handshake(address.hostHeader, address.target, step);
    const error_code ec = self->unlessClosed(upgraded);
    self->open_ = !ec;
    co_return ec;
  }

  // A step that succeeded after close() still ends the opening.
  error_code unlessClosed(error_code ec) const {
    return !ec && closed_ ? error_code(asio::error::operation_aborted) : ec;
  }

  void prepareUpgrade(Headers headers) {
    websocket::stream_base::timeout limits{};
    limits.handshake_timeout = handshakeLimit;
    limits.idle_timeout = websocket::stream_base::none();
    limits.keep_alive_pings = false;
    socket_.set_option(limits);
    socket_.set_option(websocket::stream_base::decorator(
        [headers = std::move(headers)](websocket::request_type& request) {
          request.set(beast::http::field::user_agent, "Wrenly");
          for (const auto& [name, value] : headers) request.set(name, value);
        }));
    socket_.read_message_max(largestMessage);
  }

  void write(asio::const_buffer payload, Completion done) {
    writing_ = true;
    socket_.async_write(
        payload, [self = shared_from_this(), done = std::move(done)](error_code ec, std::size_t) {
          self->writing_ = false;
          if (self->closed_) {
            self->drainLimit_.reset();
            ec ? self->dropConnection() : self->sayGoodbye();
          }
          done(ec);
        });
  }

  // A normal closure. A pending read sees the peer's answer; the close handshake is bounded by
  // the timeout option, after which Beast drops the connection itself.
  void sayGoodbye() {
    socket_.async_close(websocket::close_code::normal,
                        [self = shared_from_this()](error_code) { self->dropConnection(); });
  }

  void dropConnection() {
    error_code ignored;
    beast::get_lowest_layer(socket_).shutdown(asio::socket_base::shutdown_both, ignored);
    beast::get_lowest_layer(socket_).close(ignored);
  }

  Strand strand_;
  Clock& clock_;
  ssl::context tls_;
  std::optional<std::filesystem::path> localSocket_;
  tcp::resolver resolver_;
  websocket::stream<ssl::stream<Protocol::socket>> socket_;
  beast::flat_buffer incoming_;
  std::vector<uint8_t> outgoingBinary_;
  std::string outgoingText_;
  std::unique_ptr<Clock::Timer> drainLimit_;  // bounds the frame still in flight at close()
  bool open_ = false;                         // the upgrade has completed
  bool writing_ = false;                      // a frame is being written
  bool closed_ = false;                       // close() was called
};

}  // namespace

std::shared_ptr<StreamTransport> StreamTransport::make(Strand strand, const StreamTrust& trust,
                                                       Clock& clock, error_code& ec) {
  ssl::context tls(ssl::context::tls_client);
  if (trust.systemAuthorities) tls.set_default_verify_paths(ec);
  if (ec) return nullptr;
  if (trust.extraAuthorities) {
    tls.load_verify_file(trust.extraAuthorities->string(), ec);
    if (ec) return nullptr;
  }
  return std::make_shared<BeastStreamTransport>(std::move(strand), std::move(tls), clock,
                                                trust.localSocket);
}

}  // namespace wrenly
