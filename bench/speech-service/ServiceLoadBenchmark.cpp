// The service as its own process under abuse on loopback, with its caps set small. Each attack
// runs once on a service started for it (the start is not timed), and reports what it cost:
// how much the service's peak memory (VmHWM) grew over the idle service's, and the slowest
// answer to a normal call made during and after the attack. Targets: growth under 48 MiB (plus
// 110 MiB for each decoder the attack makes the service load), answers within a second.
// Run with --benchmark_repetitions=5 for the median and the minimum of each counter.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
#include <thread>

#include "accounts/AccountStore.h"
#include "identity/ServerIdentity.h"
#include "recognition/WavAudio.h"
#include "service/HttpTransport.h"
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

constexpr double mebibyte = 1 << 20;

std::string tokenOf(int account) {
  return "load-token-" + std::to_string(account) + "-0123456789-0123456789-0123456789";
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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
  return transcribeBody({reinterpret_cast<const std::uint8_t*>(wav.data()), wav.size()}, "auto",
                        std::nullopt, requestID);
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
      for (std::string line; std::getline(in, line);) {
        if (const auto at = line.find("listening port="); at != std::string::npos) {
          port_ = static_cast<unsigned short>(std::stoi(line.substr(at + 15)));
        }
      }
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
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

  // One HTTPS call as `account`: the status, or 0 when no answer came within `seconds`.
  long call(const std::string& method, const std::string& path, int account = 0,
            const std::string& body = {}, double seconds = 30) const {
    const HttpRequest request{"https://127.0.0.1:" + std::to_string(port_) + path,
                              method,
                              {"Authorization: Bearer " + tokenOf(account)},
                              body.empty() ? nullptr : std::make_shared<const std::string>(body),
                              seconds,
                              identity_.authorityFile};
    TransferControl control;
    try {
      return performHttpRequest(request, control).status;
    } catch (const TransportError&) {
      return 0;
    }
  }

  // A normal call (or `path`), timed for the slowest-answer counter.
  void probe(int account = 0, const std::string& path = "/wrenly/v1/access") {
    const auto start = Clock::now();
    if (call("GET", path, account, {}, 10) != 200) unanswered_ = true;
    slowestMs_ = std::max(slowestMs_, millisecondsSince(start));
  }

  // Probes once more, then sets the counters; an attack that left a call unanswered is an error.
  void report(benchmark::State& state) {
    probe();
    state.counters["peak_growth_MiB"] = static_cast<double>(peakKiB() - idleKiB_) / 1024;
    state.counters["slowest_answer_ms"] = slowestMs_;
    if (unanswered_) state.SkipWithError("a normal call was not answered");
  }

  tcp::socket connectPlain(asio::io_context& io) const {
    tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port_});
    return socket;
  }

 private:
  long peakKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    }
    return -1;
  }

  TemporaryDirectory folder_;
  ServerIdentity identity_;
  pid_t pid_ = -1;
  unsigned short port_ = 0;
  long idleKiB_ = 0;
  double slowestMs_ = 0;
  bool unanswered_ = false;
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
    beast::flat_buffer ready;
    ws.read(ready);
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

// One run per repetition: each attack leaves its mark on the peak memory.
void asAttack(benchmark::internal::Benchmark* attack) {
  attack->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
  attack->ComputeStatistics("min", [](const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
  });
}

// 80 idle connections against a cap of 16 and 64 descriptors: the idle ones make room.
void BM_IdleConnections(benchmark::State& state) {
  ServiceProcess service(smallCaps, 1, 64);
  asio::io_context io;
  std::vector<tcp::socket> idle;
  for (auto _ : state) {
    for (int i = 0; i < 80; ++i) {
      idle.push_back(service.connectPlain(io));
      if (i % 8 == 7) service.probe();
    }
  }
  service.report(state);
}
BENCHMARK(BM_IdleConnections)->Apply(asAttack);

// 20 declared 16 MiB bodies without credentials, then a chunk extension without end: refused
// unread. Counter: how much of the extension went out before the service cut it off.
void BM_LargeBodiesAndAnEndlessChunkExtension(benchmark::State& state) {
  ServiceProcess service(smallCaps, 1);
  asio::io_context io;
  std::vector<tcp::socket> senders;
  const std::string megabyte(1 << 20, 'x');
  std::size_t sent = 0;
  for (auto _ : state) {
    boost::system::error_code ec;
    for (int i = 0; i < 20; ++i) {
      senders.push_back(service.connectPlain(io));
      const std::string head =
          "POST /privacy/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 16777216\r\n\r\n";
      asio::write(senders.back(), asio::buffer(head), ec);
      asio::write(senders.back(), asio::buffer(megabyte), ec);
      if (i % 5 == 4) service.probe();
    }
    auto chunked = service.connectPlain(io);
    const std::string head =
        "POST /privacy/ HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n1;a=";
    ec = {};
    asio::write(chunked, asio::buffer(head), ec);
    while (!ec && sent < (64u << 20)) sent += asio::write(chunked, asio::buffer(megabyte), ec);
  }
  state.counters["extension_sent_MiB"] = static_cast<double>(sent) / mebibyte;
  service.report(state);
}
BENCHMARK(BM_LargeBodiesAndAnEndlessChunkExtension)->Apply(asAttack);

// A stream flooded with 1 MiB frames until the service ends it at its 2 s audio cap, while
// another account makes normal calls. Counter: what the flood got out before the end.
void BM_FloodedStream(benchmark::State& state) {
  ServiceProcess service(smallCaps, 2);
  asio::io_context io;
  StreamClient flood(io, service, 0);
  const std::string frame(1 << 20, '\x01');
  std::size_t sent = 0;
  for (auto _ : state) {
    boost::system::error_code ec;
    while (!ec && !flood.readable() && sent < (64u << 20)) {
      sent += flood.ws.write(asio::buffer(frame), ec);
      if (sent % (8u << 20) == 0) service.probe(1);
    }
  }
  state.counters["flood_sent_MiB"] = static_cast<double>(sent) / mebibyte;
  service.report(state);
}
BENCHMARK(BM_FloodedStream)->Apply(asAttack);

// A stream trickling 2 bytes holds the one decoder; another account's upload gets it once the
// stream falls behind the minimum rate after its 0.5 s grace. Counter: when that upload was
// answered.
void BM_TricklingStream(benchmark::State& state) {
  ServiceProcess service(smallCaps, 2);
  asio::io_context io;
  StreamClient trickle(io, service, 0);
  const auto body = uploadBody("T1", 0.5);
  for (auto _ : state) {
    const auto start = Clock::now();
    trickle.ws.write(asio::buffer(std::string(2, '\x01')));
    while (service.call("POST", "/wrenly/v1/transcribe", 1, body) != 200 &&
           Clock::now() < start + std::chrono::seconds(30)) {
      service.probe(1);
    }
    state.counters["decoder_back_ms"] = millisecondsSince(start);
  }
  service.report(state);
}
BENCHMARK(BM_TricklingStream)->Apply(asAttack);

// Three 20 s uploads on three decoders, while quick calls and the pages go on being answered.
// Counter: how long the uploads took.
void BM_LongUploads(benchmark::State& state) {
  std::vector<std::string> caps = smallCaps;
  caps.insert(caps.end(), {"--decoders", "3", "--max-audio-seconds", "20"});
  ServiceProcess service(caps, 4);
  const auto body = uploadBody("U", 20);
  for (auto _ : state) {
    const auto start = Clock::now();
    std::atomic<int> done{0};
    std::vector<std::jthread> uploads;
    for (int account = 1; account <= 3; ++account) {
      uploads.emplace_back([&, account] {
        if (service.call("POST", "/wrenly/v1/transcribe", account, body) == 200) ++done;
      });
    }
    while (done < 3 && Clock::now() < start + std::chrono::seconds(60)) {
      service.probe();
      service.probe(0, "/privacy/");
    }
    uploads.clear();
    state.counters["uploads_ms"] = millisecondsSince(start);
    if (done < 3) state.SkipWithError("an upload failed");
  }
  service.report(state);
}
BENCHMARK(BM_LongUploads)->Apply(asAttack);

}  // namespace
