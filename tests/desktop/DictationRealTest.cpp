// Whole dictations on the real desktop adapters: the controller with the fake microphone and the
// loopback service delivers into mousepad by paste, or leaves the text on the clipboard when the
// focus moved to another field before the stop.
#include <gmock/gmock.h>

#include "DesktopSession.h"
#include "base/SystemClock.h"
#include "messages/Messages.h"
#include "platform/Clipboard.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;
using namespace std::chrono_literals;

namespace {

// The clipboard, owned by the fields window for the test.
struct HelperClipboard final : Clipboard {
  bool writeString(const std::string& text) override {
    contents = text;
    return DesktopSession::shared().fields->exchange("clip " + text) == "ok";
  }
  std::string contents;
};

class RealDictation : public ::testing::Test {
 protected:
  RealDictation() {
    server.addAccount("token-1");
    secrets.store(SpeechServiceClient::credentialService, server.baseURL(), "token-1");
    settings.setBool("active." + server.baseURL(), true);
    settings.setBool(StoredNames::setupCompleteKey, true);
    controller =
        DictationController::make({platform, service, insertion, recorder, browserSignIn, {}});
    controller->refreshPermission(DictationController::PermissionPrompt::ifMissing,
                                  DictationController::PermissionReport::none);
    controller->installHotkey();
    controller->refreshServiceState();
    EXPECT_TRUE(desktop.runUntil([&] { return controller->state().serviceStatusLoaded; }));
  }
  Platform withRealDesktop() {
    Platform ports;
    ports.mainLoop = desktop.mainLoop.get_executor();
    ports.background = pool.get_executor();
    ports.clock = &clock;
    ports.settings = &settings;
    ports.secrets = &secrets;
    const DesktopPorts real = desktop.desktop->ports();
    ports.workspace = real.workspace;
    ports.accessibility = desktop.accessibility.get();
    ports.windows = real.windows;
    ports.keyInjector = real.keyInjector;
    ports.keyMonitor = real.keyMonitor;
    ports.chords = real.chords;
    ports.clipboard = &clipboard;
    ports.audioInput = &mic;
    ports.overlay = &overlay;
    return ports;
  }
  ~RealDictation() override {
    controller.reset();
    pool.join();
  }

  // The field that has focus now, in the application in front.
  ElementHandle frontField(int32_t processID) {
    ElementHandle field;
    desktop.runUntil([&] {
      field = desktop.accessibility->focusedElement(processID, 300ms);
      return field != nullptr;
    });
    return field;
  }
  void startRecording() {
    controller->toggle();
    ASSERT_TRUE(
        desktop.runUntil([&] { return controller->state().phase == DictationPhase::recording; }));
    ASSERT_TRUE(mic.deliver(FakeAudioInput::tone(440, 48000, 1, 1.0)));
  }
  void stopAndDeliver() {
    controller->toggle();
    ASSERT_TRUE(
        desktop.runUntil([&] { return controller->state().phase == DictationPhase::idle; }));
  }

  DesktopSession& desktop = DesktopSession::shared();
  RecordedDiagnostics log;
  asio::thread_pool pool{2};
  SystemClock clock;
  MemorySettings settings;
  MemorySecretStore secrets;
  HelperClipboard clipboard;
  FakeAudioInput mic;
  FakeOverlay overlay;
  Platform platform = withRealDesktop();
  ContractServer server;
  SpeechServiceClient service{platform,
                              ServiceConfiguration{server.baseURL(), server.certificateFile()}};
  TextDelivery insertion{platform};
  Recorder recorder{mic, pool.get_executor()};
  ScriptedBrowser browser;
  BrowserSignIn browserSignIn{service, browser, clock};
  std::shared_ptr<DictationController> controller;
};

TEST_F(RealDictation, PastesIntoTheEditor) {
  ASSERT_TRUE(desktop.bringForward(desktop.editorPID()));
  auto field = frontField(desktop.editorPID());
  ASSERT_TRUE(field);
  const auto before = field->selectedRange();
  ASSERT_TRUE(before);
  startRecording();
  stopAndDeliver();
  EXPECT_EQ(controller->state().message, Messages::pasteSent);
  const std::string text = "已整理的文字";  // six UTF-16 units
  ASSERT_TRUE(desktop.runUntil([&] {
    auto now = field->selectedRange();
    return now && now->location == before->location + 6;
  }));
  ASSERT_TRUE(field->setSelectedRange({before->location, 6}));
  EXPECT_EQ(field->selectedText(), text);
}

TEST_F(RealDictation, CopiesWhenTheFocusMovedToAnotherField) {
  ASSERT_EQ(desktop.fields->exchange("set entry kept"), "ok");
  ASSERT_EQ(desktop.fields->exchange("focus entry"), "ok");
  ASSERT_TRUE(desktop.bringForward(desktop.fieldsPID()));
  ASSERT_TRUE(desktop.runUntil([&] {
    auto field = frontField(desktop.fieldsPID());
    return field && field->selectedText() == "kept";  // the entry, all selected on focus
  }));
  auto entry = frontField(desktop.fieldsPID());
  ASSERT_TRUE(entry->setSelectedRange({4, 0}));  // no selection: a dictation, not a rewrite
  startRecording();
  ASSERT_EQ(desktop.fields->exchange("focus view"), "ok");
  ASSERT_TRUE(desktop.runUntil([&] {
    auto now = frontField(desktop.fieldsPID());
    return now && !now->isSameElement(*entry);
  }));
  stopAndDeliver();
  EXPECT_EQ(controller->state().message, Messages::copied);
  EXPECT_EQ(clipboard.contents, "已整理的文字");
  ASSERT_TRUE(entry->setSelectedRange({0, 4}));
  EXPECT_EQ(entry->selectedText(), "kept");  // untouched
}

}  // namespace
