// The one translation unit of the service that compiles Beast.
#include "server/SpeechServer.h"

#include <sys/socket.h>

#include <pthread.h>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detect_ssl.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <thread>
#include <type_traits>
#include <vector>

#include "server/ServiceHandler.h"
#include "server/ServiceLog.h"

namespace wrenly::speech {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
using Socket = websocket::stream<TlsStream>;

namespace {

constexpr auto handshakeLimit = std::chrono::seconds(15);
constexpr auto requestLimit = std::chrono::seconds(60);  // a 16 MiB body on a slow machine
constexpr auto idleLimit = std::chrono::seconds(30);
constexpr std::size_t headerLimit = 16u << 10;

auto awaitable(error_code& ec) {
  return asio::redirect_error(asio::use_awaitable, ec);
}

}  // namespace

struct SpeechServer::Engine {
  Engine(ServiceHandler& theHandler, ServiceLog& theLog, ServerSetup theSetup)
      : handler(theHandler),
        log(theLog),
        setup(std::move(theSetup)),
        tls(ssl::context::tls_server),
        acceptor(io),
        workers(asio::make_work_guard(workIo)) {}

  ServiceHandler& handler;
  ServiceLog& log;
  const ServerSetup setup;
  asio::io_context io;
  ssl::context tls;
  tcp::acceptor acceptor;
  // Blocking work (the handler's answers, decoding) runs here, off the network threads.
  asio::io_context workIo;
  asio::executor_work_guard<asio::io_context::executor_type> workers;
  std::vector<std::thread> threads;
  std::vector<std::thread> workerThreads;
  unsigned short port = 0;

  void startThreads() {
    auto run = [this](asio::io_context& context) {
      return [this, &context] {
        pthread_setname_np(pthread_self(), setup.threadName.substr(0, 15).c_str());
        context.run();
      };
    };
    for (int i = 0; i < std::max(setup.networkThreads, 1); ++i) threads.emplace_back(run(io));
    for (int i = 0; i < std::max(setup.workerThreads, 1); ++i) {
      workerThreads.emplace_back(run(workIo));
    }
  }

  asio::awaitable<void> accept() {
    for (;;) {
      error_code ec;
      tcp::socket socket = co_await acceptor.async_accept(asio::make_strand(io), awaitable(ec));
      if (ec == asio::error::operation_aborted || !acceptor.is_open()) co_return;
      if (ec) continue;  // out of descriptors and the like: the next client may fare better
      auto executor = socket.get_executor();
      asio::co_spawn(executor, connection(std::move(socket)), asio::detached);
    }
  }

  // The blocking steps, run on the worker pool. Plain functions with plain parameters: g++ 12
  // destroys a lambda's init-captures twice when the lambda is a coroutine's parameter.
  static asio::awaitable<ApiReply> answer(ServiceHandler& handler, ApiRequest request) {
    co_return handler.handle(request);
  }
  static asio::awaitable<std::variant<std::unique_ptr<StreamDecoding>, std::string>> openStream(
      ServiceHandler& handler, ApiRequest request, std::function<void()> superseded) {
    co_return handler.openStream(request, std::move(superseded));
  }

  static ApiRequest apiRequest(const http::request<http::string_body>& message,
                               ConnectionSecurity security) {
    auto field = [&](http::field name) { return std::string(message[name]); };
    ApiRequest request{std::string(message.method_string()),
                       std::string(message.target()),
                       field(http::field::host),
                       field(http::field::authorization),
                       field(http::field::origin),
                       message.body(),
                       {},
                       security};
    for (const auto& header : message) {
      request.headers.emplace_back(std::string(header.name_string()), std::string(header.value()));
    }
    return request;
  }

  template <typename Stream>
  asio::awaitable<void> sendReply(Stream& stream, const ApiReply& reply, unsigned version,
                                  bool keepAlive) {
    http::response<http::string_body> response{static_cast<http::status>(reply.status), version};
    response.set(http::field::server, "wrenly-speech-service");
    response.set(http::field::content_type, reply.contentType);
    response.set(http::field::cache_control, "no-store");
    for (const auto& [name, value] : reply.headers) response.set(name, value);
    response.body() = reply.body;
    response.keep_alive(keepAlive);
    response.prepare_payload();
    error_code ec;
    beast::get_lowest_layer(stream).expires_after(requestLimit);
    co_await http::async_write(stream, response, awaitable(ec));
  }

  template <typename Stream>
  asio::awaitable<void> close(Stream& stream) {
    error_code ec;
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      beast::get_lowest_layer(stream).expires_after(std::chrono::seconds(2));
      co_await stream.async_shutdown(awaitable(ec));
    } else {
      stream.socket().shutdown(tcp::socket::shutdown_send, ec);
    }
  }

  asio::awaitable<void> connection(tcp::socket socket) {
    error_code ec;
    socket.set_option(tcp::no_delay(true), ec);
    beast::tcp_stream plain(std::move(socket));
    beast::flat_buffer buffer;
    plain.expires_after(handshakeLimit);
    // A browser showing the service's own pages comes without TLS, as it cannot know the
    // service's authority; the handler is told, and serves nothing else that way.
    const bool tlsHello = co_await beast::async_detect_ssl(plain, buffer, awaitable(ec));
    if (ec) co_return;
    if (!tlsHello) {
      co_await serve(plain, buffer, ConnectionSecurity::plain);
      co_return;
    }
    TlsStream stream(std::move(plain), tls);
    const std::size_t used =
        co_await stream.async_handshake(ssl::stream_base::server, buffer.data(), awaitable(ec));
    if (ec) co_return;
    buffer.consume(used);
    co_await serve(stream, buffer, ConnectionSecurity::tls);
  }

  template <typename Stream>
  asio::awaitable<void> serve(Stream& stream, beast::flat_buffer& buffer,
                              ConnectionSecurity security) {
    error_code ec;
    for (;;) {
      http::request_parser<http::string_body> parser;
      parser.header_limit(headerLimit);
      parser.body_limit(setup.maximumBodyBytes);
      beast::get_lowest_layer(stream).expires_after(idleLimit);
      co_await http::async_read_header(stream, buffer, parser, awaitable(ec));
      if (!ec && parser.get()[http::field::expect] == "100-continue" &&
          parser.content_length().value_or(0) <= setup.maximumBodyBytes) {
        http::response<http::empty_body> proceed{http::status::continue_, 11};
        co_await http::async_write(stream, proceed, awaitable(ec));
      }
      if (!ec && !parser.is_done()) {
        beast::get_lowest_layer(stream).expires_after(requestLimit);
        co_await http::async_read(stream, buffer, parser, awaitable(ec));
      }
      if (ec) {
        if (ec.category() != error_code(http::error::end_of_stream).category() ||
            ec == http::error::end_of_stream || ec == http::error::partial_message) {
          co_return;  // the client went away or stalled: nobody to answer
        }
        const bool tooLarge = ec == http::error::body_limit || ec == http::error::header_limit ||
                              ec == http::error::buffer_overflow;
        log.line(std::string("http refused ") + (tooLarge ? "oversized" : "malformed") +
                 " request");
        ApiReply reply = tooLarge ? ApiReply::error(ec == http::error::body_limit ? 413 : 431,
                                                    "request_too_large")
                                  : ApiReply::error(400, "malformed_request");
        co_await sendReply(stream, reply, 11, false);
        co_await close(stream);
        co_return;
      }

      auto message = parser.release();
      if constexpr (std::is_same_v<Stream, TlsStream>) {
        if (websocket::is_upgrade(message) && handler.isStreamTarget(message.target())) {
          co_await streamSession(std::move(stream), std::move(message));
          co_return;
        }
      }
      ApiReply reply = co_await asio::co_spawn(
          workIo, answer(handler, apiRequest(message, security)), asio::use_awaitable);
      if (reply.delivery == ApiReply::Delivery::dropConnection) {
        beast::get_lowest_layer(stream).socket().close(ec);
        co_return;
      }
      const bool keepAlive =
          setup.reuse == ConnectionReuse::keepAlive && message.keep_alive() && reply.status < 400;
      co_await sendReply(stream, reply, message.version(), keepAlive);
      if (!keepAlive) {
        co_await close(stream);
        co_return;
      }
    }
  }

  // What the decoding strand owns of one stream.
  struct Decoding {
    std::unique_ptr<StreamDecoding> session;
    std::optional<std::string> failure;
  };

  static asio::awaitable<std::string> finishDecoding(std::shared_ptr<Decoding> decoding) {
    co_return decoding->failure ? *decoding->failure : decoding->session->finish();
  }

  // Sends the last message of a stream and says goodbye.
  static asio::awaitable<void> end(Socket& ws, std::string message) {
    error_code ec;
    ws.text(true);
    co_await ws.async_write(asio::buffer(message), awaitable(ec));
    if (!ec) co_await ws.async_close(websocket::close_code::normal, awaitable(ec));
  }

  asio::awaitable<void> streamSession(TlsStream stream, http::request<http::string_body> request) {
    auto ws = std::make_shared<Socket>(std::move(stream));
    beast::get_lowest_layer(*ws).expires_never();
    ws->set_option(websocket::stream_base::timeout{handshakeLimit, idleLimit, false});
    ws->set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, "wrenly-speech-service");
    }));
    ws->read_message_max(setup.maximumStreamFrameBytes);
    error_code ec;
    co_await ws->async_accept(request, awaitable(ec));
    if (ec) co_return;
    const auto started = std::chrono::steady_clock::now();

    // A recovery upload that replaces this stream ends it: the client has given up on it.
    std::weak_ptr<Socket> weak = ws;
    auto executor = ws->get_executor();
    auto superseded = [weak, executor] {
      asio::post(executor, [weak] {
        if (auto socket = weak.lock()) {
          error_code ignored;
          beast::get_lowest_layer(*socket).socket().shutdown(tcp::socket::shutdown_both, ignored);
        }
      });
    };
    auto opened = co_await asio::co_spawn(
        workIo,
        openStream(handler, apiRequest(request, ConnectionSecurity::tls), std::move(superseded)),
        asio::use_awaitable);

    if (auto* failure = std::get_if<std::string>(&opened)) {
      log.line("stream refused");
      co_await end(*ws, *failure);
      co_return;
    }
    auto decoding = std::make_shared<Decoding>();
    decoding->session = std::move(std::get<std::unique_ptr<StreamDecoding>>(opened));
    auto decoder = asio::make_strand(workIo);

    ws->text(true);
    co_await ws->async_write(asio::buffer(std::string_view(R"({"type":"ready"})")), awaitable(ec));
    std::size_t received = 0;
    std::string outcome = "dropped";
    while (!ec) {
      beast::flat_buffer frame;
      co_await ws->async_read(frame, awaitable(ec));
      if (ec) break;
      std::string payload = beast::buffers_to_string(frame.data());
      if (ws->got_binary()) {
        received += payload.size();
        asio::post(decoder, [decoding, payload = std::move(payload)] {
          if (!decoding->failure) decoding->failure = decoding->session->feed(payload);
        });
        continue;
      }
      error_code parseError;
      auto message = boost::json::parse(payload, parseError);
      const boost::json::value* type =
          !parseError && message.is_object() ? message.as_object().if_contains("type") : nullptr;
      if (!type || !type->is_string() || type->as_string() != "finish") {
        outcome = "invalid_message";
        co_await end(*ws, R"({"type":"error","code":"invalid_message"})");
        break;
      }
      const auto finished = std::chrono::steady_clock::now();
      std::string result =
          co_await asio::co_spawn(decoder, finishDecoding(decoding), asio::use_awaitable);
      outcome = result.starts_with(R"({"type":"result")") ? "result" : "error";
      log.line("stream finish_to_result_ms=" +
               std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - finished)
                                  .count()));
      co_await end(*ws, result);
      break;
    }
    // The session goes with the last decoding task that holds it.
    asio::post(decoder, [decoding] { decoding->session.reset(); });
    log.line("stream ended outcome=" + outcome + " audio_ms=" + std::to_string(received / 32) +
             " elapsed_ms=" +
             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count()));
  }
};

Expected<std::unique_ptr<SpeechServer>, StartupError> SpeechServer::start(ServerSetup setup,
                                                                          ServiceHandler& handler,
                                                                          ServiceLog& log) {
  auto engine = std::make_unique<Engine>(handler, log, setup);
  error_code ec;
  engine->tls.set_options(ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                          ssl::context::no_sslv2 | ssl::context::no_sslv3);
  engine->tls.use_certificate_chain(asio::buffer(setup.identity.certificateChainPem), ec);
  if (!ec) {
    engine->tls.use_private_key(asio::buffer(setup.identity.privateKeyPem), ssl::context::pem, ec);
  }
  if (ec) return StartupError{StartupFailure::certificates, ec.message()};

  if (const int* fd = std::get_if<int>(&setup.listen)) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return StartupError{StartupFailure::listener, "the inherited socket is not usable"};
    }
    engine->acceptor.assign(address.ss_family == AF_INET6 ? tcp::v6() : tcp::v4(), *fd, ec);
  } else {
    const auto& where = std::get<ListenAddress>(setup.listen);
    const auto address = asio::ip::make_address(where.address, ec);
    const tcp::endpoint endpoint(address, where.port);
    if (!ec) engine->acceptor.open(endpoint.protocol(), ec);
    if (!ec) engine->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) engine->acceptor.bind(endpoint, ec);
    if (!ec) engine->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
      return StartupError{StartupFailure::listener,
                          where.address + ":" + std::to_string(where.port) + ": " + ec.message()};
    }
  }
  if (ec) return StartupError{StartupFailure::listener, ec.message()};
  engine->port = engine->acceptor.local_endpoint(ec).port();
  asio::co_spawn(engine->io, engine->accept(), asio::detached);
  engine->startThreads();
  return std::unique_ptr<SpeechServer>(new SpeechServer(std::move(engine)));
}

SpeechServer::SpeechServer(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

SpeechServer::~SpeechServer() {
  asio::post(engine_->io, [engine = engine_.get()] {
    error_code ignored;
    engine->acceptor.close(ignored);
  });
  engine_->io.stop();
  for (auto& thread : engine_->threads) thread.join();
  engine_->workers.reset();
  engine_->workIo.stop();
  for (auto& thread : engine_->workerThreads) thread.join();
}

unsigned short SpeechServer::port() const {
  return engine_->port;
}

}  // namespace wrenly::speech
