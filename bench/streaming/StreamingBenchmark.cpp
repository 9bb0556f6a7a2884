// How long the user waits after the recording ends (finish() to the outcome, with a service
// that answers at once), and what streaming a minute of audio costs the client's thread.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <ctime>
#include <future>
#include <thread>

#include "base/SystemClock.h"
#include "streaming/LiveRecognitionClient.h"
#include "support/TemporaryDirectory.h"
#include "support/streaming/StreamServer.h"

using namespace wrenly;

namespace {

const std::string result =
    R"({"type":"result","transcript":"a","text":"a","segments":1,"fallbackSegments":1})";

void answersAtOnce(StreamPeer& peer) {
  peer.sendText(R"({"type":"ready"})");
  if (peer.receiveUntilFinish()) peer.sendText(result);
}

struct Rig {
  Rig() : certificate(TestCertificate::generate()), server(certificate, answersAtOnce) {
    certificate.writeCertificate(directory / "ca.pem");
    // The pool's one thread is the client's only thread: its CPU time is the client's cost.
    std::promise<clockid_t> id;
    asio::post(pool, [&] {
      clockid_t cpuClock;
      pthread_getcpuclockid(pthread_self(), &cpuClock);
      id.set_value(cpuClock);
    });
    poolClock = id.get_future().get();
  }

  std::unique_ptr<LiveRecognitionClient> client() {
    return std::make_unique<LiveRecognitionClient>(
        "5B1C8D0E-7F2A-4C3B-9D1E-0A2B3C4D5E6F", "auto", true,
        StreamingSpeechDependencies{.background = pool.get_executor(),
                                    .clock = clock,
                                    .endpoint = server.baseURL(),
                                    .streamingToken = [] { return std::string("token"); },
                                    .trust = StreamTrust{directory / "ca.pem"}});
  }

  // A client whose connection is up, "ready" received and one chunk delivered.
  std::unique_ptr<LiveRecognitionClient> readyClient() {
    const int before = server.connections();
    auto c = client();
    c->append(std::vector<uint8_t>(3200, 1));
    while (server.connections() <= before || server.frames().empty()) std::this_thread::yield();
    return c;
  }

  void finish(LiveRecognitionClient& c) {
    bool done = false;
    asio::co_spawn(mainLoop, c.finish(), [&](std::exception_ptr e, LiveRecognitionResult) {
      done = true;
      if (e) std::rethrow_exception(e);
    });
    mainLoop.restart();
    while (!done) mainLoop.run_one();
  }

  double threadSeconds() const {
    timespec t{};
    clock_gettime(poolClock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  }

  TemporaryDirectory directory;
  TestCertificate certificate;
  StreamServer server;
  SystemClock clock;
  asio::thread_pool pool{1};
  asio::io_context mainLoop;
  clockid_t poolClock{};
};

Rig& rig() {
  static Rig instance;
  return instance;
}

void BM_FinishToOutcome(benchmark::State& state) {
  Rig& r = rig();
  for (auto _ : state) {
    auto c = r.readyClient();
    const auto start = std::chrono::steady_clock::now();
    r.finish(*c);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}
BENCHMARK(BM_FinishToOutcome)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_StreamSixtySecondsOfChunks(benchmark::State& state) {
  Rig& r = rig();
  double clientSeconds = 0;
  for (auto _ : state) {
    auto c = r.readyClient();
    const double before = r.threadSeconds();
    for (std::size_t i = 1; i < 600; ++i) {
      // Stay well inside the 320000-byte queue, as a recorder feeding in real time would.
      while (i - r.server.frames().size() > 50) std::this_thread::yield();
      c->append(std::vector<uint8_t>(3200, static_cast<uint8_t>(i)));
    }
    r.finish(*c);
    clientSeconds += r.threadSeconds() - before;
  }
  state.counters["client_cpu_ms_per_minute"] =
      benchmark::Counter(clientSeconds * 1000.0 / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_StreamSixtySecondsOfChunks)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
