// The service as its own process under abuse on loopback, with its caps set small: each attack
// must leave it answering a normal call within a second, and its memory bounded.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include "CurlCall.h"
#include "accounts/AccountStore.h"
#include "identity/ServerIdentity.h"
#include "recognition/WavAudio.h"
#include "service/RequestBodies.h"
#include "service/TransportError.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;
using namespace wrenly::speech;
namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double answerWithinSeconds = 1;
// What one attack may add to the service's peak memory (VmHWM), over the idle service's.
constexpr long growthBoundKiB = 48 << 10;
constexpr long decoderKiB = 110 << 10;  // one more decoder of the US English model
// Under ThreadSanitizer every byte the service touches has shadow memory beside it, a few times
// its size: the memory bounds grow with it.
#if defined(__SANITIZE_THREAD__)
constexpr long memoryScale = 4;
#else
constexpr long memoryScale = 1;
#endif

std::string tokenOf(int account) {
  return "load-token-" + std::to_string(account) + "-0123456789-0123456789-0123456789";
}

// The program's own upload body for `seconds` of 16 kHz noise, which keeps the decoder busier
// than silence would.
std::string uploadBody(const std::string& requestID, double seconds) {
  std::vector<std::int16_t> noise(static_cast<std::size_t>(seconds * 16000));
  std::uint32_t state = 12345;
  for (auto& sample : noise) {
    state = state * 1103515245 + 12345;
    sample = static_cast<std::int16_t>((state >> 16) % 20000);
  }
  const std::string wav = wavOf(noise);
  return wrenly::transcribeBody({reinterpret_cast<const std::uint8_t*>(wav.data()), wav.size()},
                                "auto", std::nullopt, requestID);
}

// The service binary on an ephemeral loopback port, with accounts 0..accounts-1 signed in.
class ServiceProcess {
 public:
  ServiceProcess(std::vector<std::string> caps, int accounts, rlim_t descriptors = 0) {
    identity_ = loadOrCreateIdentity(folder_.path()).value();
    {
      auto store = std::move(AccountStore::open(folder_ / "accounts.sqlite").value());
      for (int i = 0; i < accounts; ++i) {
        store->propose(tokenOf(i), "state-" + std::to_string(i), 1'000'000);
        store->completeSignIn("state-" + std::to_string(i), true, 1'000'000);
      }
    }
    std::vector<std::string> arguments = {WRENLY_SPEECH_SERVICE_BINARY, "--listen", "127.0.0.1:0",
                                          "--data-dir", folder_.path().string()};
    arguments.insert(arguments.end(), caps.begin(), caps.end());
    const std::string log = (folder_ / "service.log").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 2);
      if (descriptors) {
        rlimit limit{descriptors, descriptors};
        ::setrlimit(RLIMIT_NOFILE, &limit);
      }
      std::vector<char*> argv;
      for (auto& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    // The model takes a moment to load; the log says when the port is open.
    const auto until = Clock::now() + std::chrono::seconds(30);
    while (port_ == 0 && Clock::now() < until) {
      std::ifstream in(log);
      std::string line;
      while (std::getline(in, line)) {
        if (const auto at = line.find("listening port="); at != std::string::npos) {
          port_ = static_cast<unsigned short>(std::stoi(line.substr(at + 15)));
        }
      }
      if (port_ == 0) std::this_thread::yield();
    }
    if (port_ == 0) throw std::runtime_error("the service did not start");
    idleKiB_ = peakKiB();
  }
  ~ServiceProcess() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  unsigned short port() const { return port_; }
  const std::filesystem::path& authority() const { return identity_.authorityFile; }

  // The process's peak resident memory.
  long peakKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return -1;
  }

  // One HTTPS call as `account`: the status, or 0 when no answer came within `seconds`.
  long call(const std::string& method, const std::string& path, int account = 0,
            const std::string& body = {}, double seconds = 30) const {
    try {
      return httpsCall("https://127.0.0.1:" + std::to_string(port_) + path, method,
                       identity_.authorityFile, body, {"Authorization: Bearer " + tokenOf(account)},
                       seconds)
          .status;
    } catch (const TransportError&) {
      return 0;
    }
  }

  // A normal authenticated call, which must be answered within a second.
  void probe(int account = 0) const {
    EXPECT_EQ(call("GET", "/wrenly/v1/access", account, {}, answerWithinSeconds), 200);
  }

  // Checks that the peak memory grew by less than the bound over the idle service's (plus the
  // decoders the attack made it load), printing it for the record; then that a normal call is
  // still answered in time.
  void checkAfterAttack(const char* row, int newDecoders = 0) const {
    const long peak = peakKiB();
    std::cout << "[load] " << row << ": peak memory " << peak / 1024 << " MB (+"
              << (peak - idleKiB_) / 1024 << " MB)\n";
    EXPECT_LT(peak - idleKiB_, memoryScale * (growthBoundKiB + newDecoders * decoderKiB));
    probe();
  }

  tcp::socket connectPlain(asio::io_context& io) const {
    tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port_});
    return socket;
  }

 private:
  TemporaryDirectory folder_;
  ServerIdentity identity_;
  pid_t pid_ = -1;
  unsigned short port_ = 0;
  long idleKiB_ = 0;
};

// A stream as the program opens one, over TLS.
struct StreamClient {
  asio::ssl::context tls{asio::ssl::context::tls_client};
  beast::websocket::stream<beast::ssl_stream<tcp::socket>> ws;

  StreamClient(asio::io_context& io, const ServiceProcess& service, int account)
      : ws(io, (tls.load_verify_file(service.authority().string()), tls)) {
    beast::get_lowest_layer(ws).connect({asio::ip::make_address("127.0.0.1"), service.port()});
    ws.next_layer().handshake(asio::ssl::stream_base::client);
    ws.set_option(beast::websocket::stream_base::decorator([account](auto& request) {
      request.set(beast::http::field::authorization, "Bearer " + tokenOf(account));
    }));
    ws.handshake(
        "127.0.0.1:" + std::to_string(service.port()),
        "/wrenly/v1/stream?requestID=S" + std::to_string(account) + "&language=auto&cleanup=0");
    ws.binary(true);
  }
  std::string read() {
    beast::flat_buffer buffer;
    ws.read(buffer);
    return beast::buffers_to_string(buffer.data());
  }
  bool readable() {
    pollfd ready{beast::get_lowest_layer(ws).native_handle(), POLLIN, 0};
    return ::poll(&ready, 1, 0) == 1;
  }
};

// clang-format off
const std::vector<std::string> smallCaps = {
    "--max-connections", "16", "--max-connections-per-peer", "16", "--max-anonymous-body", "4096",
    "--max-audio-seconds", "2", "--stream-grace-seconds", "0.5", "--min-stream-rate", "8000",
    "--decoders", "1"};
// clang-format on

TEST(ServiceLoad, IdleConnectionsNeitherCrowdOutClientsNorSpinOnLostDescriptors) {
  // 64 descriptors: the cap falls below them, and 80 idle connections would exhaust them.
  ServiceProcess service(smallCaps, 1, 64);
  asio::io_context io;
  std::vector<tcp::socket> idle;
  for (int i = 0; i < 80; ++i) {
    idle.push_back(service.connectPlain(io));
    if (i % 8 == 7) service.probe();
  }
  service.checkAfterAttack("80 idle connections");
}

TEST(ServiceLoad, LargeBodiesWithoutCredentialsAreRefusedUnread) {
  ServiceProcess service(smallCaps, 1);
  asio::io_context io;
  // Declared 16 MiB bodies to a page that takes none, then a chunk extension without end.
  std::vector<tcp::socket> senders;
  const std::string megabyte(1 << 20, 'x');
  for (int i = 0; i < 20; ++i) {
    senders.push_back(service.connectPlain(io));
    const std::string head =
        "POST /privacy/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 16777216\r\n\r\n";
    boost::system::error_code ec;
    asio::write(senders.back(), asio::buffer(head), ec);
    asio::write(senders.back(), asio::buffer(megabyte), ec);
    if (i % 5 == 4) service.probe();
  }
  auto chunked = service.connectPlain(io);
  const std::string head =
      "POST /privacy/ HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n1;a=";
  boost::system::error_code ec;
  asio::write(chunked, asio::buffer(head), ec);
  size_t sent = 0;
  while (!ec && sent < (64u << 20)) sent += asio::write(chunked, asio::buffer(megabyte), ec);
  EXPECT_LT(sent, 16u << 20) << "the service kept reading a chunk header";
  service.checkAfterAttack("20 x 16 MiB bodies and a 64 MiB chunk extension");
}

TEST(ServiceLoad, AFloodedStreamEndsAtTheAudioCap) {
  ServiceProcess service(smallCaps, 2);
  asio::io_context io;
  StreamClient flood(io, service, 0);
  EXPECT_EQ(flood.read(), R"({"type":"ready"})");
  const std::string frame(1 << 20, '\x01');
  size_t sent = 0;
  std::string ended;
  boost::system::error_code ec;
  while (!ec && ended.empty() && sent < (64u << 20)) {
    sent += flood.ws.write(asio::buffer(frame), ec);
    if (!ec && flood.readable()) ended = flood.read();
    if (sent % (8u << 20) == 0) service.probe(1);
  }
  if (ec) {
    // The service closed while a frame was still on its way: its reset may take the error
    // message with it, so the cut itself is the end.
    beast::flat_buffer rest;
    flood.ws.read(rest, ec);
    if (!ec) ended = beast::buffers_to_string(rest.data());
  }
  EXPECT_TRUE(ended.empty() || ended == R"({"type":"error","code":"audio_too_long"})") << ended;
  EXPECT_LT(sent, 16u << 20);
  service.checkAfterAttack("a stream flooded with 1 MiB frames");
}

TEST(ServiceLoad, ATricklingStreamGivesItsDecoderBackAfterTheGraceTime) {
  ServiceProcess service(smallCaps, 2);
  asio::io_context io;
  StreamClient trickle(io, service, 0);
  EXPECT_EQ(trickle.read(), R"({"type":"ready"})");
  trickle.ws.write(asio::buffer(std::string(2, '\x01')));
  // The one decoder is held; the other account gets it once the trickle is cut off, well
  // within ten times the grace time.
  const auto body = uploadBody("T1", 0.5);
  const auto until = Clock::now() + std::chrono::seconds(5);
  long upload = 0;
  while (upload != 200 && Clock::now() < until) {
    upload = service.call("POST", "/wrenly/v1/transcribe", 1, body);
    service.probe(1);
  }
  EXPECT_EQ(upload, 200);
  boost::system::error_code ec;
  beast::flat_buffer rest;
  trickle.ws.read(rest, ec);
  EXPECT_TRUE(ec) << "the trickling stream is still open";
  service.checkAfterAttack("a stream trickling 2 bytes");
}

TEST(ServiceLoad, LongUploadsLeaveQuickCallsAnswered) {
  std::vector<std::string> caps = smallCaps;
  caps.insert(caps.end(), {"--decoders", "3", "--max-audio-seconds", "20"});
  ServiceProcess service(caps, 5);
  EXPECT_EQ(service.call("POST", "/wrenly/v1/transcribe", 3, uploadBody("L", 21)),
            413);  // past the audio cap
  EXPECT_EQ(service.call("POST", "/wrenly/v1/transcribe", 4, uploadBody("", 0)), 400);
  const auto body = uploadBody("U", 20);
  std::vector<std::thread> uploads;
  std::atomic<int> done{0};
  for (int account = 1; account <= 3; ++account) {
    uploads.emplace_back([&, account] {
      EXPECT_EQ(service.call("POST", "/wrenly/v1/transcribe", account, body), 200);
      ++done;
    });
  }
  const auto until = Clock::now() + std::chrono::seconds(30);
  while (done < 3 && Clock::now() < until) {
    service.probe();
    EXPECT_EQ(service.call("GET", "/privacy/", 0, {}, answerWithinSeconds), 200);
  }
  for (auto& upload : uploads) upload.join();
  service.checkAfterAttack("three 20 s uploads", 2);
}

}  // namespace
