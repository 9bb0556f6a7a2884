#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "audio/Recorder.h"
#include "controller/DictationController.h"
#include "controller/LiveStreamingSession.h"
#include "delivery/TextDelivery.h"
#include "service/BrowserSignIn.h"
#include "service/SpeechServiceClient.h"
#include "support/FailCount.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/MemorySettings.h"
#include "support/audio/FakeAudioInput.h"
#include "support/controller/ControllerFakes.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/RecordedDiagnostics.h"
#include "support/service/ContractServer.h"
#include "support/service/MemorySecretStore.h"
#include "support/streaming/ScriptedStreamTransport.h"

namespace wrenly {

// A whole program around one controller: a scripted desktop with an editor in front whose
// field has focus, a fake microphone, the speech service in memory (or, with `loopback`, the
// real client and the contract service on loopback HTTPS), live sessions over scripted
// transports, a scripted browser for sign-in, and a manual clock.
class ControllerFixture : public ::testing::Test {
 public:
  using Prompt = DictationController::PermissionPrompt;
  using Report = DictationController::PermissionReport;
  static constexpr const char* token = "token-1";

  ControllerFixture() {
    editor.focus(editorField).openWindow();
    desktop.activate(editor);
    settle();
  }

  ~ControllerFixture() override {
    // Every task ends before the ports it uses go: sign-in is cancelled, held calls and network
    // calls land, and waits run out once the controller is gone.
    if (controller) controller->cancelSignIn();
    memory.release();
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
    ports.audioInput = &mic;
    return ports;
  }

  // Signs the user in, in memory and on the loopback service alike.
  void signedIn() {
    memory.activated = true;
    server.addAccount(token);
    secrets.store(SpeechServiceClient::credentialService, server.baseURL(), token);
    settings.setBool("active." + server.baseURL(), true);
  }
  void signedOut() {
    memory.activated = false;
    settings.setBool("active." + server.baseURL(), false);
  }
  void setUpDone(std::optional<std::string> key = std::nullopt) {
    settings.setBool(StoredNames::setupCompleteKey, true);
    if (key) settings.setString(TriggerKey::preference, *key);
  }

  // Live sessions of the real client over transports that answer `streamResult` in memory and
  // fail the operation `streamFailures` picks.
  StreamingSessionFactory scriptedSessions() {
    return [this](std::string id, std::string language, bool cleanup, std::string vocabulary) {
      auto live = std::make_shared<LiveStreamingSession>(
          std::move(id), language, cleanup,
          StreamingSpeechDependencies{pool.get_executor(), clock, service.endpoint(),
                                      [] { return std::optional<std::string>(token); },
                                      StreamTrust{},
                                      scriptedStreamTransports(streamFailures, streamResult)});
      streams.push_back(std::make_shared<RecordedSession>(live, std::move(language), cleanup,
                                                          std::move(vocabulary)));
      return streams.back();
    };
  }

  // Signed in, set up and launched: ready to dictate.
  void launchReady() {
    signedIn();
    setUpDone();
    launch();
  }

  // Makes the controller and does what the application does at launch.
  void launch(bool refreshService = true) {
    SpeechService& speech = loopback ? static_cast<SpeechService&>(service) : memory;
    controller = DictationController::make({platform, speech, insertion, recorder, browserSignIn,
                                            liveSessions ? liveSessions : scriptedSessions()});
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

  void settle() { driver.settle(); }
  bool runUntil(const std::function<bool()>& until, bool advanceTimers = false) {
    return driver.runUntil(until, advanceTimers);
  }

  // Plays key events as the desktop's key monitor reports them.
  void play(const KeyEventScript& script) {
    script.play(desktop.keyMonitor);
    settle();
  }
  void tap(TriggerKey key) { play(KeyEventScript().tap(key)); }

  // Presses the trigger key (through the controller) and lets the start run to its end.
  void startDictation() {
    controller->toggle();
    settle();
    letStartRun();
  }
  // Lets a start, however pressed, prepare the front application and open the microphone.
  void letStartRun() {
    clock.advance(TextDelivery::prepareSettleTime);
    // The microphone's tries pause on the clock: let idle moments pass them.
    runUntil([&] { return state().phase != DictationPhase::starting; }, true);
  }

  // Brings `front` forward; with `left`, the program notes the field the user left there, as it
  // does when one of its own windows comes forward.
  void activate(FakeApplication& front, FakeApplication* left = nullptr) {
    desktop.activate(front);
    settle();
    if (left) controller->rememberDeactivatedApp(left->running());
  }

  // Speaks for `seconds` into the running recording.
  void speak(double seconds) {
    ASSERT_TRUE(mic.deliver(FakeAudioInput::tone(440, 48000, 1, seconds)));
  }

  // One whole dictation of `seconds` of speech.
  void dictate(double seconds = 0.5) {
    startDictation();
    speak(seconds);
    stopDictation();
  }

  // Presses the key again and lets processing and delivery finish.
  void stopDictation() {
    controller->toggle();
    finishProcessing();
  }
  void finishProcessing() {
    const auto before = accountChecks();
    runUntil([&] { return state().phase == DictationPhase::idle; }, true);
    // The account status is asked for after every processing; let that call land too.
    if (state().accessActive) runUntil([&] { return accountChecks() > before; });
  }

  std::size_t accountChecks() const {
    if (!loopback) return memory.count("accountStatus");
    return std::ranges::count_if(server.requests(), [](const auto& request) {
      return request.method == "GET" && request.path == "access";
    });
  }

  // The log lines of the dictation cycle, with the elapsed milliseconds blanked.
  std::vector<std::string> cycleLines() const {
    static const std::regex cycle(
        "^(processing|stream fallback|text_ready|delivery|apple_login|stream open).*");
    static const std::regex elapsed("(stop_ms|elapsed_ms)=[0-9]+");
    std::vector<std::string> lines;
    for (const auto& line : log.lines()) {
      if (std::regex_match(line, cycle)) lines.push_back(std::regex_replace(line, elapsed, "$1=N"));
    }
    return lines;
  }

  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context loop;
  asio::thread_pool pool{2};
  ManualClock clock{[this] { settle(); }};
  LoopDriver driver{loop, &clock};
  FakeDesktop desktop{loop.get_executor(), clock};
  MemorySettings settings;
  MemorySecretStore secrets;
  FakeOverlay overlay;
  FakeAudioInput mic;
  Platform platform = withPorts(desktop.platform());
  MemorySpeechService memory;
  bool loopback = false;  // set before launch()
  ContractServer server;
  SpeechServiceClient service{platform,
                              ServiceConfiguration{server.baseURL(), server.certificateFile()}};
  TextDelivery insertion{platform};
  Recorder recorder{mic, pool.get_executor()};
  ScriptedBrowser browser;
  BrowserSignIn browserSignIn{service, browser, clock};
  std::string streamResult =
      R"({"type":"result","transcript":"測試轉錄","text":"即時整理的文字","segments":1,"fallbackSegments":1})";
  std::shared_ptr<FailCount> streamFailures = std::make_shared<FailCount>(0);  // none
  StreamingSessionFactory liveSessions;  // when set, instead of the scripted sessions
  std::vector<std::shared_ptr<RecordedSession>> streams;

  FakeApplication& editor = desktop.launch("org.example.Editor");
  std::shared_ptr<FakeElement> editorField = editor.addField();

  std::shared_ptr<DictationController> controller;
  Subscription subscription;
  std::vector<DictationController::State> history;
};

// The same program outside a test's own fixture: one per run of a sweep, per launch or per row.
class ControllerProgram : public ControllerFixture {
  void TestBody() override {}
};

}  // namespace wrenly
