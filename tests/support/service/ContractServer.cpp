#include "support/service/ContractServer.h"

#include <pthread.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <list>
#include <thread>

#include "platform/Asio.h"

namespace wrenly {

namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;

struct ContractServer::Transport {
  Transport(ContractService& owner, const TestCertificate& certificate)
      : service(owner),
        tls(ssl::context::tls_server),
        acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
        port(acceptor.local_endpoint().port()) {
    tls.use_certificate_chain(asio::buffer(certificate.certificatePem));
    tls.use_private_key(asio::buffer(certificate.privateKeyPem), ssl::context::pem);
    asio::co_spawn(io, accept(), asio::detached);
    thread = std::thread([this] {
      // Benchmarks tell the service's thread from the client's by this name.
      pthread_setname_np(pthread_self(), "loopback-https");
      io.run();
    });
  }

  ~Transport() {
    asio::post(io, [this] {
      boost::system::error_code ignored;
      acceptor.close(ignored);
      io.stop();
    });
    thread.join();
  }

  asio::awaitable<void> accept() {
    for (;;) {
      boost::system::error_code ec;
      tcp::socket socket =
          co_await acceptor.async_accept(asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
      asio::co_spawn(io, session(std::move(socket)), asio::detached);
    }
  }

  asio::awaitable<void> session(tcp::socket socket) {
    boost::system::error_code ec;
    beast::ssl_stream<beast::tcp_stream> stream(std::move(socket), tls);
    beast::get_lowest_layer(stream).expires_after(std::chrono::seconds(30));
    co_await stream.async_handshake(ssl::stream_base::server,
                                    asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;

    beast::flat_buffer buffer;
    http::request_parser<http::string_body> parser;
    parser.body_limit(64u << 20);
    co_await http::async_read(stream, buffer, parser,
                              asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    auto message = parser.release();

    ContractService::Request request{std::string(message.method_string()),
                                     std::string(message.target()),
                                     {},
                                     {},
                                     message.body()};
    for (const auto& field : message) {
      request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    ContractService::Reply reply = service.answer(std::move(request));

    // A stalled reply must outlive the client's own timeouts.
    beast::get_lowest_layer(stream).expires_never();
    if (reply.delay.count() > 0) {
      asio::steady_timer timer(io, reply.delay);
      co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    }
    if (reply.stall) {
      auto timer = stalled.insert(stalled.end(), asio::steady_timer(io));
      timer->expires_at(asio::steady_timer::time_point::max());
      co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, ec));
      stalled.erase(timer);
    }
    if (reply.dropConnection) {
      beast::get_lowest_layer(stream).socket().close(ec);
      co_return;
    }

    http::response<http::string_body> response{static_cast<http::status>(reply.status),
                                               message.version()};
    response.set(http::field::content_type, "application/json");
    for (const auto& [name, value] : reply.headers) response.insert(name, value);
    response.body() = std::move(reply.body);
    response.keep_alive(false);
    response.prepare_payload();
    beast::get_lowest_layer(stream).expires_after(std::chrono::seconds(30));
    co_await http::async_write(stream, response, asio::redirect_error(asio::use_awaitable, ec));
    if (ec) co_return;
    beast::get_lowest_layer(stream).expires_after(std::chrono::seconds(2));
    co_await stream.async_shutdown(asio::redirect_error(asio::use_awaitable, ec));
  }

  ContractService& service;
  asio::io_context io;
  ssl::context tls;
  tcp::acceptor acceptor;
  std::list<asio::steady_timer> stalled;  // touched only on the server thread
  unsigned short port = 0;
  std::thread thread;
};

ContractServer::ContractServer(TestCertificate certificate)
    : certificate_(std::move(certificate)),
      certificateFile_(directory_ / "server-certificate.pem") {
  certificate_.writeCertificate(certificateFile_);
  transport_ = std::make_unique<Transport>(*this, certificate_);
}

ContractServer::~ContractServer() = default;  // the transport (declared last) stops first

unsigned short ContractServer::port() const {
  return transport_->port;
}

std::string ContractServer::baseURL() const {
  return "https://127.0.0.1:" + std::to_string(port()) + "/wrenly/v1/";
}

void ContractServer::releaseStalled() {
  asio::post(transport_->io, [transport = transport_.get()] {
    for (auto& timer : transport->stalled) timer.cancel();
  });
}

}  // namespace wrenly
