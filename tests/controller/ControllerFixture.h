#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "audio/Recorder.h"
#include "controller/DictationController.h"
#include "delivery/TextDelivery.h"
#include "platform/BrowserSession.h"
#include "platform/Overlay.h"
#include "service/BrowserSignIn.h"
#include "service/SpeechServiceClient.h"
#include "support/ManualClock.h"
#include "support/MemorySettings.h"
#include "support/audio/FakeAudioInput.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/RecordedDiagnostics.h"
#include "support/service/ContractServer.h"
#include "support/service/MemorySecretStore.h"

namespace wrenly {

// The overlay as the controller drives it.
class FakeOverlay final : public Overlay {
 public:
  void show(DictationController& voice) override {
    ++shows;
    visible = true;
    if (!bound) bound = &voice;
  }
  void hide() override {
    ++hides;
    visible = false;
  }
  int shows = 0;
  int hides = 0;
  bool visible = false;
  DictationController* bound = nullptr;
};

// A microphone that is busy for the next few starts.
class BusyAudioInput final : public AudioInput {
 public:
  explicit BusyAudioInput(FakeAudioInput& mic) : mic_(mic) {}
  int busyStarts = 0;
  bool notRunning = false;  // busy starts return without running instead of throwing

  Authorization authorizationStatus() const override { return mic_.authorizationStatus(); }
  asio::awaitable<bool> requestAccess() override { return mic_.requestAccess(); }
  std::unique_ptr<AudioEngine> makeEngine() override {
    if (busyStarts > 0) {
      --busyStarts;
      if (notRunning) {
        mic_.notRunningAfterStart();
      } else {
        mic_.failNextStart("Device or resource busy",
                           std::make_error_code(std::errc::device_or_resource_busy));
      }
    }
    return mic_.makeEngine();
  }

 private:
  FakeAudioInput& mic_;
};

// A live session whose outcome the test decides.
class ScriptedStream final : public StreamingSession {
 public:
  ScriptedStream(std::string id, std::string languageCode, bool withCleanup)
      : language(std::move(languageCode)), cleanup(withCleanup), requestID_(std::move(id)) {}

  const std::string& requestID() const override { return requestID_; }
  void append(std::vector<std::uint8_t> pcm) override {
    std::lock_guard guard(mutex_);
    appendedBytes += pcm.size();
  }
  asio::awaitable<Result> finish() override {
    finished = true;
    if (error) std::rethrow_exception(error);
    co_return result;
  }
  void cancel() override {
    std::lock_guard guard(mutex_);
    ++cancels;
  }

  std::size_t bytes() {
    std::lock_guard guard(mutex_);
    return appendedBytes;
  }
  int cancelCount() {
    std::lock_guard guard(mutex_);
    return cancels;
  }

  std::string language;
  bool cleanup;
  Result result{"測試轉錄", "即時整理的文字"};
  std::exception_ptr error;
  bool finished = false;

 private:
  std::string requestID_;
  std::mutex mutex_;
  std::size_t appendedBytes = 0;
  int cancels = 0;
};

// A browser the test answers by hand: it records the page it was asked to show and waits until
// the test hands it a callback URL (or the sign-in gives up on it).
class ScriptedBrowser final : public BrowserSession {
 public:
  asio::awaitable<std::string> authenticate(std::string url, std::string scheme) override {
    shownPages.push_back(url);
    schemes.push_back(scheme);
    if (refuseToStart) throw BrowserSessionError(BrowserSessionFailure::startRefused);
    auto executor = co_await asio::this_coro::executor;
    asio::steady_timer wake(executor, asio::steady_timer::time_point::max());
    wake_ = &wake;
    co_await wake.async_wait(asio::as_tuple(asio::use_awaitable));  // woken, never timed out
    wake_ = nullptr;
    if (!answer_) throw boost::system::system_error(asio::error::operation_aborted);
    co_return *std::exchange(answer_, std::nullopt);
  }

  bool waiting() const { return wake_ != nullptr; }
  void answer(std::string callback) {
    answer_ = std::move(callback);
    if (wake_) wake_->cancel();
  }

  std::vector<std::string> shownPages;
  std::vector<std::string> schemes;
  bool refuseToStart = false;

 private:
  asio::steady_timer* wake_ = nullptr;
  std::optional<std::string> answer_;
};

// A whole program around one controller: a scripted desktop with an editor in front whose
// field has focus, a fake microphone, the contract service on loopback HTTPS, scripted live
// sessions and sign-in, and a manual clock. The user is signed in and set-up is done.
class ControllerFixture : public ::testing::Test {
 public:
  using Prompt = DictationController::PermissionPrompt;
  using Report = DictationController::PermissionReport;
  static constexpr const char* token = "token-1";

  ControllerFixture() {
    editorField->setText("");
    editor.focus(editorField).openWindow();
    desktop.activate(editor);
    settle();
  }

  ~ControllerFixture() override {
    // Every task ends before the ports it uses go: sign-in is cancelled, network calls land,
    // and waits run out once the controller is gone.
    if (controller) controller->cancelSignIn();
    subscription.reset();
    controller.reset();
    pool.join();
    settle();
    clock.advanceSeconds(10);
    settle();
  }

  Platform withPorts(Platform ports) {
    ports.background = pool.get_executor();
    ports.settings = &settings;
    ports.secrets = &secrets;
    ports.overlay = &overlay;
    ports.audioInput = &busyMic;
    return ports;
  }

  // Signs the user in on the service and in the local store, and marks set-up done.
  void signedIn() {
    server.addAccount(token);
    secrets.store(SpeechServiceClient::credentialService, server.baseURL(), token);
    settings.setBool("active." + server.baseURL(), true);
  }
  void setUpDone(std::optional<std::string> key = std::nullopt) {
    settings.setBool(DictationController::setupCompleteKey, true);
    if (key) settings.setString(TriggerKey::preference, *key);
  }

  // Makes the controller and does what the application does at launch.
  void launch(bool refreshService = true) {
    StreamingSessionFactory scripted = [this](std::string id, std::string language,
                                              bool cleanup) -> std::shared_ptr<StreamingSession> {
      auto stream = std::make_shared<ScriptedStream>(std::move(id), std::move(language), cleanup);
      if (scriptStream) scriptStream(*stream);
      streams.push_back(stream);
      return stream;
    };
    controller = DictationController::make({platform, service, insertion, recorder, appleLogin,
                                            liveSessions ? liveSessions : scripted});
    subscription = controller->observe(
        [this](const DictationController::State& state) { history.push_back(state); });
    controller->refreshPermission(Prompt::ifMissing, Report::none);
    controller->installHotkey();
    if (refreshService) {
      controller->refreshServiceState();
      runUntil([&] { return state().serviceStatusLoaded; });
      if (state().accessActive) runUntil([&] { return state().accountStatus.has_value(); });
    }
  }

  const DictationController::State& state() const { return controller->state(); }

  void settle() {
    loop.poll();
    loop.restart();
  }

  // Runs the main loop until `until` holds. Waits only for network and pool work; timers move
  // only when the test advances the clock, except where `advanceTimers` lets idle moments pass
  // 10 ms at a time (the microphone's tries, delivery's short pauses).
  bool runUntil(const std::function<bool()>& until, bool advanceTimers = false) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int step = 0; step < 200000; ++step) {
      settle();
      if (until()) return true;
      if (std::chrono::steady_clock::now() > limit) break;
      const auto ran = loop.run_one_for(std::chrono::milliseconds(1));
      loop.restart();
      if (ran == 0 && advanceTimers && clock.pendingTimers() > 0) {
        clock.advance(std::chrono::milliseconds(10));
      }
    }
    ADD_FAILURE() << "the condition never held";
    return false;
  }

  // Presses the trigger key (through the controller) and lets the start run to its end.
  void startDictation() {
    controller->toggle();
    settle();
    clock.advance(TextDelivery::prepareSettleTime);
    // The microphone's tries pause on the clock: let idle moments pass them.
    runUntil([&] { return state().phase != DictationPhase::starting; }, true);
  }

  // Speaks for `seconds` into the running recording.
  void speak(double seconds) {
    ASSERT_TRUE(mic.deliver(FakeAudioInput::tone(440, 48000, 1, seconds)));
  }

  // Presses the key again and lets processing and delivery finish.
  void stopDictation() {
    controller->toggle();
    finishProcessing();
  }
  void finishProcessing() {
    const auto before = accountChecks();
    runUntil([&] { return state().phase == DictationPhase::idle; }, true);
    // The account status is asked for after every processing; let that request arrive so
    // request lists are complete.
    if (state().accessActive) runUntil([&] { return accountChecks() > before; });
  }

  size_t accountChecks() const {
    size_t count = 0;
    for (const auto& request : server.requests())
      count += request.method == "GET" && request.path == "access";
    return count;
  }

  std::vector<std::string> requestPaths() const {
    std::vector<std::string> paths;
    for (const auto& request : server.requests())
      paths.push_back(request.method + " " + request.path);
    return paths;
  }

  // The log lines of the dictation cycle, with the elapsed milliseconds blanked.
  std::vector<std::string> cycleLines() const {
    static const std::regex cycle(
        "^(processing|stream fallback|text_ready|delivery|apple_login|"
        "stream open).*");
    static const std::regex elapsed("(stop_ms|elapsed_ms)=[0-9]+");
    std::vector<std::string> lines;
    for (const auto& line : log.lines()) {
      if (std::regex_match(line, cycle)) lines.push_back(std::regex_replace(line, elapsed, "$1=N"));
    }
    return lines;
  }

  bool historyHadMessage(const std::string& message) const {
    return std::ranges::any_of(history, [&](const auto& seen) { return seen.message == message; });
  }

  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context loop;
  asio::thread_pool pool{2};
  ManualClock clock{[this] { settle(); }};
  FakeDesktop desktop{loop.get_executor(), clock};
  MemorySettings settings;
  MemorySecretStore secrets;
  FakeOverlay overlay;
  FakeAudioInput mic;
  BusyAudioInput busyMic{mic};
  Platform platform = withPorts(desktop.platform());
  ContractServer server;
  SpeechServiceClient service{platform,
                              ServiceConfiguration{server.baseURL(), server.certificateFile()}};
  TextDelivery insertion{platform};
  Recorder recorder{busyMic, pool.get_executor()};
  ScriptedBrowser browser;
  BrowserSignIn appleLogin{service, browser, clock};
  std::function<void(ScriptedStream&)> scriptStream;
  StreamingSessionFactory liveSessions;  // when set, the real client instead of scripted ones
  std::vector<std::shared_ptr<ScriptedStream>> streams;

  FakeApplication& editor = desktop.launch("org.example.Editor");
  std::shared_ptr<FakeElement> editorField = editor.addField();

  std::shared_ptr<DictationController> controller;
  Subscription subscription;
  std::vector<DictationController::State> history;
};

}  // namespace wrenly
