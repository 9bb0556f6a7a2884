// The one translation unit of the service that compiles Beast.
#include "server/SpeechServer.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>
#include <atomic>
#include <boost/asio/basic_socket_acceptor.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
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
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "server/LoopbackPeer.h"
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
// TCP and Unix connections alike: the same code serves both.
using Protocol = asio::generic::stream_protocol;
using Acceptor = asio::basic_socket_acceptor<Protocol>;
using PlainStream = beast::basic_stream<Protocol>;
using TlsStream = beast::ssl_stream<PlainStream>;
using Socket = websocket::stream<TlsStream>;

namespace {

// The network loop, whose handlers can be destroyed before the loop itself.
struct NetworkLoop : asio::io_context {
  using asio::io_context::shutdown;
};

constexpr auto handshakeLimit = std::chrono::seconds(15);
constexpr auto requestLimit = std::chrono::seconds(60);  // a 16 MiB body on a slow machine
constexpr auto idleLimit = std::chrono::seconds(30);
constexpr std::size_t headerLimit = 16u << 10;
// The read buffer holds a header or a chunk's header line, never a body: a line longer than
// this (a chunk extension without end) is refused instead of growing the buffer.
constexpr std::size_t readBufferLimit = 64u << 10;
// Descriptors kept for the database, the speech model and the log when the connection cap is
// set below the process's descriptor limit.
constexpr std::size_t reservedDescriptors = 64;

auto awaitable(error_code& ec) {
  return asio::redirect_error(asio::use_awaitable, ec);
}

// One open connection as the registry sees it.
struct Link {
  Link(asio::any_io_executor theExecutor, std::string thePeer)
      : executor(std::move(theExecutor)), peer(std::move(thePeer)) {}
  asio::any_io_executor executor;  // the connection's strand
  std::string peer;
  std::atomic<bool> idle{true};        // waiting for a request, nothing owed to anyone
  Protocol::socket* socket = nullptr;  // on the strand only; null once the connection is gone
};

// The connections held, within a cap in all and per peer address. When full, the connection
// idle the longest is closed to make room: an attacker's idle connections then cannot keep a
// real client out, and descriptors never run out. Thread-safe.
class Connections {
 public:
  Connections(std::size_t total, std::size_t perPeer) : total_(total), perPeer_(perPeer) {}

  std::shared_ptr<Link> admit(asio::any_io_executor executor, const std::string& peer) {
    std::shared_ptr<Link> evicted;
    auto link = std::make_shared<Link>(std::move(executor), peer);
    {
      std::lock_guard lock(mutex_);
      const bool peerFull = byPeer_[peer] >= perPeer_;
      if (peerFull || open_.size() >= total_) {
        evicted = takeIdle(peerFull ? &peer : nullptr);
        if (!evicted) {
          if (byPeer_[peer] == 0) byPeer_.erase(peer);
          return nullptr;
        }
      }
      open_.push_back(link);
      ++byPeer_[peer];
    }
    if (evicted) {
      asio::post(evicted->executor, [evicted] {
        error_code ignored;
        if (evicted->socket) evicted->socket->close(ignored);
      });
    }
    return link;
  }

  void release(const std::shared_ptr<Link>& link) {
    std::lock_guard lock(mutex_);
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (*it == link) {
        forget(it);
        return;
      }
    }
  }

 private:
  // The oldest idle connection (of `peer`, when given), taken off the books.
  std::shared_ptr<Link> takeIdle(const std::string* peer) {
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if ((*it)->idle && (!peer || (*it)->peer == *peer)) {
        auto link = *it;
        forget(it);
        return link;
      }
    }
    return nullptr;
  }
  void forget(std::list<std::shared_ptr<Link>>::iterator it) {
    if (--byPeer_[(*it)->peer] == 0) byPeer_.erase((*it)->peer);
    open_.erase(it);
  }

  const std::size_t total_;
  const std::size_t perPeer_;
  std::mutex mutex_;
  std::list<std::shared_ptr<Link>> open_;  // oldest first
  std::map<std::string, std::size_t> byPeer_;
};

// The connection cap, below the descriptors this process may open.
std::size_t connectionCap(std::size_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  const auto descriptors = static_cast<std::size_t>(limit.rlim_cur);
  const std::size_t usable =
      descriptors > 2 * reservedDescriptors ? descriptors - reservedDescriptors : descriptors / 2;
  return std::max<std::size_t>(1, std::min(wanted, usable));
}

// Which listener a connection came through.
enum class Door {
  tcp,    // --listen: calls over TLS and pages over plain HTTP, from anyone on this machine
  user,   // the user's socket: calls over TLS (pages too), from this user only
  pages,  // beside the user's socket: the browser's pages over plain HTTP to this user only
};

// An IP endpoint read from a generic one, which holds the same socket address.
tcp::endpoint ipEndpoint(const Protocol::endpoint& endpoint) {
  tcp::endpoint ip;
  if (endpoint.size() <= ip.capacity()) {
    std::memcpy(ip.data(), endpoint.data(), endpoint.size());
    ip.resize(endpoint.size());
  }
  return ip;
}

// The uid of the process at the other end of a Unix connection, as the kernel recorded it when
// the connection was made.
std::optional<unsigned> peerUid(Protocol::socket& socket) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
    return std::nullopt;
  }
  return credentials.uid;
}

// Listens on `endpoint` with a fresh acceptor.
error_code listenOn(Acceptor& acceptor, const Protocol::endpoint& endpoint) {
  error_code ec;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec && endpoint.protocol().family() != AF_UNIX) {
    acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  }
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  return ec;
}

// Makes way for the user's socket at `path`: a socket left by an earlier run is removed, but
// one that still answers belongs to a running service, and anything else is not ours to remove.
std::optional<std::string> clearSocketPath(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  if (!S_ISSOCK(status.st_mode)) return "is not a socket";
  asio::io_context probe;
  asio::local::stream_protocol::socket socket(probe);
  error_code ec;
  socket.connect(asio::local::stream_protocol::endpoint(path.string()), ec);
  if (!ec) return "another service answers there";
  ::unlink(path.c_str());
  return std::nullopt;
}

}  // namespace

struct SpeechServer::Engine {
  Engine(ServiceHandler& theHandler, ServiceLog& theLog, ServerSetup theSetup)
      : handler(theHandler),
        log(theLog),
        setup(std::move(theSetup)),
        connections(connectionCap(setup.maximumConnections), setup.maximumConnectionsPerPeer),
        tls(ssl::context::tls_server),
        acceptor(io),
        pagesAcceptor(io),
        acceptStrand(asio::make_strand(io)),
        workers(asio::make_work_guard(workIo)),
        recognitionWorkers(asio::make_work_guard(recognitionIo)) {}

  ServiceHandler& handler;
  ServiceLog& log;
  const ServerSetup setup;
  // Before `io`: the connections left in it when it goes take themselves off these books.
  Connections connections;
  NetworkLoop io;
  ssl::context tls;
  Acceptor acceptor;       // --listen, the user's socket or the inherited one
  Acceptor pagesAcceptor;  // open beside the user's socket only
  // The accept loops and the closing of their acceptors, one at a time: the network loop has
  // several threads, and an acceptor is not safe to close while another thread accepts on it.
  asio::strand<asio::io_context::executor_type> acceptStrand;
  Door mainDoor = Door::tcp;         // what `acceptor` is
  std::filesystem::path madeSocket;  // the user's socket when this server made it, not systemd
  unsigned owner = ::geteuid();      // the one user the socket and the pages serve
  // The pages' host and port, named as the host of every request over the user's socket: the
  // address the program called there is only a name for this service, and the sign-in page it
  // is given must be one its browser can reach.
  std::string pagesHost;
  // Blocking work (the handler's answers) runs here, off the network threads; recognitions
  // (uploads, stream decoding) on their own threads, so that quick answers never queue behind
  // them.
  asio::io_context workIo;
  asio::executor_work_guard<asio::io_context::executor_type> workers;
  asio::io_context recognitionIo;
  asio::executor_work_guard<asio::io_context::executor_type> recognitionWorkers;
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
    for (int i = 0; i < std::max(setup.recognitionThreads, 1); ++i) {
      workerThreads.emplace_back(run(recognitionIo));
    }
  }

  asio::awaitable<void> accept(Acceptor& listener, Door door) {
    asio::steady_timer pause(io);
    constexpr auto firstPause = std::chrono::milliseconds(10);
    auto backoff = firstPause;
    for (;;) {
      error_code ec;
      Protocol::socket socket =
          co_await listener.async_accept(asio::make_strand(io), awaitable(ec));
      if (ec == asio::error::operation_aborted || !listener.is_open()) co_return;
      if (ec == asio::error::connection_aborted) continue;
      if (ec) {
        // Out of descriptors or memory: the connection stays in the backlog, and accepting again
        // at once would only spin on the same error. Wait for connections to close.
        pause.expires_after(backoff);
        co_await pause.async_wait(awaitable(ec));
        backoff = std::min<std::chrono::milliseconds>(backoff * 2, std::chrono::seconds(1));
        continue;
      }
      backoff = firstPause;
      std::string peer;
      if (door == Door::user) {
        const auto uid = peerUid(socket);
        if (uid != owner) {
          log.line("refused a connection of another user");
          continue;  // closed unanswered
        }
        peer = "uid " + std::to_string(*uid);
      } else {
        // The pages are on loopback, where the kernel knows whose browser is at the other end:
        // another user's is closed unanswered, as on the user's socket.
        if (door == Door::pages && loopbackPeerUid(socket.native_handle()) != owner) {
          log.line("refused a connection of another user");
          continue;
        }
        peer = ipEndpoint(socket.remote_endpoint(ec)).address().to_string();
      }
      auto executor = socket.get_executor();
      auto link = ec ? nullptr : connections.admit(executor, peer);
      if (!link) continue;  // full of busy connections: this one is closed unanswered
      asio::co_spawn(executor, connection(std::move(socket), std::move(link), door),
                     asio::detached);
    }
  }

  // The blocking steps, run on the worker pool. Plain functions with plain parameters: g++ 12
  // destroys a lambda's init-captures twice when the lambda is a coroutine's parameter.
  static asio::awaitable<ApiReply> answer(ServiceHandler& handler, ApiRequest request) {
    co_return handler.handle(request);
  }
  static asio::awaitable<std::optional<ApiReply>> refuseEarly(ServiceHandler& handler,
                                                              ApiRequest request) {
    co_return handler.refuseEarly(request);
  }
  static asio::awaitable<std::variant<std::unique_ptr<StreamDecoding>, std::string>> openStream(
      ServiceHandler& handler, ApiRequest request, std::function<void()> superseded) {
    co_return handler.openStream(request, std::move(superseded));
  }

  ApiRequest apiRequest(const http::request<http::string_body>& message,
                        ConnectionSecurity security, Door door) const {
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
    if (door == Door::user) request.host = pagesHost;
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
      stream.socket().shutdown(asio::socket_base::shutdown_send, ec);
    }
  }

  // Takes the connection off the books once its streams are gone; on the connection's strand,
  // so an eviction runs either before (and closes the socket) or after (and finds none).
  struct Departure {
    Connections& connections;
    std::shared_ptr<Link> link;
    ~Departure() {
      link->socket = nullptr;
      connections.release(link);
    }
  };

  asio::awaitable<void> connection(Protocol::socket socket, std::shared_ptr<Link> link, Door door) {
    Departure departure{connections, link};
    co_await serveConnection(std::move(socket), *link, door);
  }

  asio::awaitable<void> serveConnection(Protocol::socket socket, Link& link, Door door) {
    error_code ec;
    if (door != Door::user) socket.set_option(tcp::no_delay(true), ec);
    PlainStream plain(std::move(socket));
    link.socket = &plain.socket();
    beast::flat_buffer buffer(readBufferLimit);
    plain.expires_after(handshakeLimit);
    // A browser showing the service's own pages comes without TLS, as it cannot know the
    // service's authority; the handler is told, and serves nothing else that way.
    const bool tlsHello = co_await beast::async_detect_ssl(plain, buffer, awaitable(ec));
    if (ec) co_return;
    if (!tlsHello) {
      co_await serve(plain, buffer, ConnectionSecurity::plain, link, door);
      co_return;
    }
    // The pages' port serves a browser: no call is answered there, over TLS or not.
    if (door == Door::pages) co_return;
    TlsStream stream(std::move(plain), tls);
    link.socket = &beast::get_lowest_layer(stream).socket();
    const std::size_t used =
        co_await stream.async_handshake(ssl::stream_base::server, buffer.data(), awaitable(ec));
    if (ec) co_return;
    buffer.consume(used);
    co_await serve(stream, buffer, ConnectionSecurity::tls, link, door);
  }

  // The most body a request may send, from its head.
  std::size_t bodyLimit(const http::request<http::string_body>& head,
                        ConnectionSecurity security) const {
    switch (head.method()) {
      case http::verb::get:
      case http::verb::head:
      case http::verb::delete_:
      case http::verb::options:
        return 0;  // no call of ours takes a body with these
      default:
        break;
    }
    if (security == ConnectionSecurity::plain || head[http::field::authorization].empty()) {
      return std::min(setup.maximumAnonymousBodyBytes, setup.maximumBodyBytes);
    }
    return setup.maximumBodyBytes;
  }

  template <typename Stream>
  asio::awaitable<void> serve(Stream& stream, beast::flat_buffer& buffer,
                              ConnectionSecurity security, Link& link, Door door) {
    error_code ec;
    for (;;) {
      http::request_parser<http::string_body> parser;
      parser.header_limit(headerLimit);
      parser.body_limit(setup.maximumBodyBytes);
      beast::get_lowest_layer(stream).expires_after(idleLimit);
      link.idle = true;
      co_await http::async_read_header(stream, buffer, parser, awaitable(ec));
      link.idle = false;
      std::size_t limit = 0;
      if (!ec) {
        limit = bodyLimit(parser.get(), security);
        if (parser.content_length().value_or(0) > limit) ec = http::error::body_limit;
        parser.body_limit(limit);  // what a chunked body may still send
      }
      // A large body is read only for a caller the handler accepts.
      const std::size_t anonymous = std::min(setup.maximumAnonymousBodyBytes, limit);
      if (!ec && limit > anonymous &&
          (parser.chunked() || parser.content_length().value_or(0) > anonymous)) {
        auto refusal = co_await asio::co_spawn(
            workIo, refuseEarly(handler, apiRequest(parser.get(), security, door)),
            asio::use_awaitable);
        if (refusal) {
          co_await sendReply(stream, *refusal, parser.get().version(), false);
          co_await close(stream);
          co_return;
        }
      }
      if (!ec && parser.get()[http::field::expect] == "100-continue") {
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
          link.socket = nullptr;  // a stream is never idle, and its socket moves on
          co_await streamSession(std::move(stream), std::move(message), door);
          co_return;
        }
      }
      auto& pool = handler.isRecognitionTarget(message.target()) ? recognitionIo : workIo;
      ApiReply reply = co_await asio::co_spawn(
          pool, answer(handler, apiRequest(message, security, door)), asio::use_awaitable);
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

  // What one frame came to: the stream's end, or words to show while it goes on.
  struct Fed {
    std::optional<std::string> failure;
    std::optional<std::string> interim;
  };

  static asio::awaitable<Fed> feedDecoding(std::shared_ptr<Decoding> decoding,
                                           std::string payload) {
    if (!decoding->failure) decoding->failure = decoding->session->feed(payload);
    if (decoding->failure) co_return Fed{decoding->failure, std::nullopt};
    co_return Fed{std::nullopt, decoding->session->interim()};
  }

  static asio::awaitable<std::string> finishDecoding(std::shared_ptr<Decoding> decoding) {
    co_return decoding->failure ? *decoding->failure : decoding->session->finish();
  }

  // Sends the last message of a stream and says goodbye.
  static asio::awaitable<void> end(Socket& ws, std::string message) {
    error_code ec;
    beast::get_lowest_layer(ws).expires_after(handshakeLimit);
    ws.text(true);
    co_await ws.async_write(asio::buffer(message), awaitable(ec));
    if (!ec) co_await ws.async_close(websocket::close_code::normal, awaitable(ec));
  }

  asio::awaitable<void> streamSession(TlsStream stream, http::request<http::string_body> request,
                                      Door door) {
    // Host, origin and credentials are checked before the upgrade, which is then refused over
    // plain HTTP.
    auto refusal = co_await asio::co_spawn(
        workIo, refuseEarly(handler, apiRequest(request, ConnectionSecurity::tls, door)),
        asio::use_awaitable);
    if (refusal) {
      co_await sendReply(stream, *refusal, request.version(), false);
      co_await close(stream);
      co_return;
    }
    auto ws = std::make_shared<Socket>(std::move(stream));
    beast::get_lowest_layer(*ws).expires_after(handshakeLimit);
    // Reads have deadlines of their own below.
    ws->set_option(
        websocket::stream_base::timeout{handshakeLimit, websocket::stream_base::none(), false});
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
          beast::get_lowest_layer(*socket).socket().shutdown(asio::socket_base::shutdown_both,
                                                             ignored);
        }
      });
    };
    auto opened = co_await asio::co_spawn(
        recognitionIo,
        openStream(handler, apiRequest(request, ConnectionSecurity::tls, door),
                   std::move(superseded)),
        asio::use_awaitable);

    if (auto* failure = std::get_if<std::string>(&opened)) {
      log.line("stream refused");
      co_await end(*ws, *failure);
      co_return;
    }
    auto decoding = std::make_shared<Decoding>();
    decoding->session = std::move(std::get<std::unique_ptr<StreamDecoding>>(opened));
    auto decoder = asio::make_strand(recognitionIo);

    ws->text(true);
    co_await ws->async_write(asio::buffer(std::string_view(R"({"type":"ready"})")), awaitable(ec));
    std::size_t received = 0;
    std::string outcome = "dropped";
    const auto longest = started + setup.maximumStreamDuration;
    while (!ec) {
      // A stream ends at its longest duration, when idle, and when its audio falls behind the
      // minimum rate after the grace time: whichever comes first.
      auto deadline = std::min(longest, std::chrono::steady_clock::now() + idleLimit);
      if (setup.minimumStreamBytesPerSecond > 0) {
        deadline = std::min(deadline, started + setup.streamGrace +
                                          std::chrono::milliseconds(
                                              received * 1000 / setup.minimumStreamBytesPerSecond));
      }
      beast::get_lowest_layer(*ws).expires_at(deadline);
      beast::flat_buffer frame;
      co_await ws->async_read(frame, awaitable(ec));
      if (ec == beast::error::timeout) outcome = "cut_off";
      if (ec) break;
      std::string payload = beast::buffers_to_string(frame.data());
      if (ws->got_binary()) {
        received += payload.size();
        // Decoded before the next frame is read: a fast sender waits (TCP holds it back)
        // instead of piling frames up in memory, and an error ends the stream at once.
        auto fed = co_await asio::co_spawn(decoder, feedDecoding(decoding, std::move(payload)),
                                           asio::use_awaitable);
        if (fed.failure) {
          outcome = "error";
          co_await end(*ws, *fed.failure);
          break;
        }
        if (fed.interim) co_await ws->async_write(asio::buffer(*fed.interim), awaitable(ec));
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

  if (setup.owner) engine->owner = *setup.owner;
  if (const int* fd = std::get_if<int>(&setup.listen)) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return StartupError{StartupFailure::listener, "the inherited socket is not usable"};
    }
    const bool local = address.ss_family == AF_UNIX;
    engine->acceptor.assign(Protocol(address.ss_family, local ? 0 : IPPROTO_TCP), *fd, ec);
    if (local) engine->mainDoor = Door::user;
  } else if (const auto* where = std::get_if<ListenAddress>(&setup.listen)) {
    const auto address = asio::ip::make_address(where->address, ec);
    if (!ec) ec = listenOn(engine->acceptor, tcp::endpoint(address, where->port));
    if (ec) {
      return StartupError{StartupFailure::listener,
                          where->address + ":" + std::to_string(where->port) + ": " + ec.message()};
    }
  } else {
    const auto& path = std::get<UserSocket>(setup.listen).path;
    if (auto refusal = clearSocketPath(path)) {
      return StartupError{StartupFailure::listener, path.string() + ": " + *refusal};
    }
    // Nobody else may connect (the folder is private too); the peer's uid is checked all the same.
    const mode_t before = ::umask(0177);
    ec = listenOn(engine->acceptor, asio::local::stream_protocol::endpoint(path.string()));
    ::umask(before);
    if (ec) return StartupError{StartupFailure::listener, path.string() + ": " + ec.message()};
    engine->mainDoor = Door::user;
    engine->madeSocket = path;
  }
  if (ec) return StartupError{StartupFailure::listener, ec.message()};
  Acceptor* tcpAcceptor = &engine->acceptor;
  if (engine->mainDoor == Door::user) {
    const auto& where = setup.pages;
    const auto address = asio::ip::make_address(where.address, ec);
    if (!ec) ec = listenOn(engine->pagesAcceptor, tcp::endpoint(address, where.port));
    if (ec) {
      return StartupError{
          StartupFailure::listener,
          "pages " + where.address + ":" + std::to_string(where.port) + ": " + ec.message()};
    }
    tcpAcceptor = &engine->pagesAcceptor;
    asio::co_spawn(engine->acceptStrand, engine->accept(engine->pagesAcceptor, Door::pages),
                   asio::detached);
  }
  const tcp::endpoint local = ipEndpoint(tcpAcceptor->local_endpoint(ec));
  engine->port = local.port();
  engine->pagesHost = (local.address().is_v6() ? "[" + local.address().to_string() + "]"
                                               : local.address().to_string()) +
                      ":" + std::to_string(engine->port);
  asio::co_spawn(engine->acceptStrand, engine->accept(engine->acceptor, engine->mainDoor),
                 asio::detached);
  engine->startThreads();
  return std::unique_ptr<SpeechServer>(new SpeechServer(std::move(engine)));
}

SpeechServer::SpeechServer(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}

SpeechServer::~SpeechServer() {
  asio::post(engine_->acceptStrand, [engine = engine_.get()] {
    error_code ignored;
    engine->acceptor.close(ignored);
    engine->pagesAcceptor.close(ignored);
  });
  engine_->io.stop();
  for (auto& thread : engine_->threads) thread.join();
  engine_->workers.reset();
  engine_->workIo.stop();
  engine_->recognitionWorkers.reset();
  engine_->recognitionIo.stop();
  for (auto& thread : engine_->workerThreads) thread.join();
  // The network loop's leftover handlers (a stream's frame holds a strand of the recognition
  // loop) go now, while the loops declared after it still exist.
  engine_->io.shutdown();
  // Gone with the server, so that a program finds no socket rather than one nobody answers.
  if (!engine_->madeSocket.empty()) ::unlink(engine_->madeSocket.c_str());
}

unsigned short SpeechServer::port() const {
  return engine_->port;
}

std::optional<std::string> SpeechServer::pagesAddress() const {
  if (engine_->mainDoor != Door::user) return std::nullopt;
  return engine_->pagesHost;
}

}  // namespace wrenly::speech
