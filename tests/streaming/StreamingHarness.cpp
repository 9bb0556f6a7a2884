#include "streaming/StreamingHarness.h"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/system/system_error.hpp>
#include <cstdlib>
#include <fstream>

namespace {

// Points the process-wide diagnostics log at a private folder before anything writes to it.
class PrivateLog : public ::testing::Environment {
 public:
  void SetUp() override { ::setenv("XDG_STATE_HOME", directory_.path().c_str(), 1); }

 private:
  TemporaryDirectory directory_;
};

[[maybe_unused]] auto* const privateLog = ::testing::AddGlobalTestEnvironment(new PrivateLog);

std::vector<std::string> allLogLines() {
  MacDiagnostics::flush();
  std::ifstream in(MacDiagnostics::directory() / "timing.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line.substr(line.find(' ') + 1));
  }
  return lines;
}

}  // namespace

bool FinishOutcome::cancelled() const {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const boost::system::system_error& e) {
    return e.code() == asio::error::operation_aborted;
  } catch (...) {
  }
  return false;
}

StreamingTest::StreamingTest()
    : authorities_(directory_ / "authorities.pem"), pool_(std::make_unique<asio::thread_pool>(2)) {
  certificate().writeCertificate(authorities_);
  trust_ = StreamTrust{authorities_};
  logMark_ = allLogLines().size();
}

StreamingTest::~StreamingTest() {
  // Lets every posted completion run (and fail) before the objects they point at go.
  pool_->join();
}

const TestCertificate& StreamingTest::certificate() {
  static const TestCertificate shared = TestCertificate::generate();
  return shared;
}

std::unique_ptr<MacStreamingSpeechClient> StreamingTest::makeClient(
    const std::optional<std::string>& endpoint, bool cleanup, std::optional<std::string> token) {
  return std::make_unique<MacStreamingSpeechClient>(
      testRequestID, "auto", cleanup,
      MacStreamingSpeechDependencies{.background = pool_->get_executor(),
                                     .clock = clock_,
                                     .endpoint = endpoint,
                                     .streamingToken = [token] { return token; },
                                     .trust = trust_});
}

std::shared_ptr<FinishOutcome> StreamingTest::startFinish(MacStreamingSpeechClient& client,
                                                          asio::cancellation_slot slot) {
  auto outcome = std::make_shared<FinishOutcome>();
  asio::co_spawn(mainLoop_, client.finish(),
                 asio::bind_cancellation_slot(
                     slot, [outcome](std::exception_ptr error, MacStreamingSpeechResult result) {
                       outcome->done = true;
                       if (error) {
                         outcome->error = error;
                       } else {
                         outcome->result = std::move(result);
                       }
                     }));
  // Runs the coroutine up to its first suspension, so finish() has reached the client.
  mainLoop_.restart();
  mainLoop_.poll();
  return outcome;
}

void StreamingTest::runUntilDone(const std::vector<std::shared_ptr<FinishOutcome>>& outcomes) {
  auto allDone = [&] {
    for (const auto& o : outcomes) {
      if (!o->done) return false;
    }
    return true;
  };
  // The bound only stops a broken build from hanging; nothing here waits for a timer.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  mainLoop_.restart();
  while (!allDone() && std::chrono::steady_clock::now() < giveUp) {
    mainLoop_.run_one_for(std::chrono::milliseconds(100));
    mainLoop_.restart();
  }
  ASSERT_TRUE(allDone()) << "finish() never completed";
}

FinishOutcome StreamingTest::finish(MacStreamingSpeechClient& client) {
  auto outcome = startFinish(client);
  runUntilDone({outcome});
  return *outcome;
}

std::vector<std::string> StreamingTest::newLogLines() {
  auto lines = allLogLines();
  return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(logMark_),
                                  lines.end());
}

std::vector<std::size_t> StreamingTest::audioSizes(const std::vector<StreamFrame>& frames) {
  std::vector<std::size_t> sizes;
  for (const auto& frame : frames) {
    if (!frame.text) sizes.push_back(frame.data.size());
  }
  return sizes;
}
