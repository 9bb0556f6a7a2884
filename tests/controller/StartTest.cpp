// Starting a dictation: every refusal, the field the user left, the microphone's tries and the
// supervision of a running recording.

#include <gmock/gmock.h>

#include "audio/RecorderError.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace {

const std::string noField = Messages::noField(Messages::rightAltTitle);
const std::string recording = Messages::recording(Messages::rightAltTitle);

class Start : public ControllerFixture {
 public:
  void SetUp() override { launchReady(); }

  // The user goes from the editor to this program's window.
  void openOwnWindow() {
    desktop.activate(desktop.self());
    settle();
    controller->rememberDeactivatedApp(editor.running());
  }

  void microphoneBusy(int starts) {
    mic.failNextStart("Device or resource busy",
                      std::make_error_code(std::errc::device_or_resource_busy), starts);
  }

  FakeApplication& browser = desktop.launch("org.example.Browser");
  std::shared_ptr<FakeElement> browserField = browser.addField();
};

struct Refusal {
  const char* name;
  std::function<void(Start&)> arrange;
  std::string message;
  std::string notice;
};

class Refusals : public Start, public testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, EndAtIdleWithAMessageAndANotice) {
  GetParam().arrange(*this);
  const int shows = overlay.shows;
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().message, GetParam().message);
  EXPECT_FALSE(state().isEditingSelection);
  EXPECT_EQ(state().overlayNotice, GetParam().notice);
  EXPECT_GT(overlay.shows, shows);
  EXPECT_EQ(overlay.shown.notice, GetParam().notice);
  EXPECT_EQ(mic.liveEngines(), 0);
  for (const auto& stream : streams) EXPECT_EQ(stream->cancels, 1);
  EXPECT_TRUE(cycleLines().empty());
}

std::string astral(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "😀";
  return text;
}

const Refusal refusals[] = {
    {"noService",
     [](Start& t) {
       t.signedOut();
       t.controller->refreshServiceState();
       t.runUntil([&] { return !t.state().serviceAvailable; });
     },
     Messages::signInPrompt, Messages::enableServiceNotice},
    {"selectionTooLong",
     [](Start& t) { t.editorField->setText(std::string(20001, 'a')).select(0, 20001); },
     Messages::selectionTooLong, Messages::selectionTooLongNotice},
    // 10,001 characters outside the BMP are 20,002 UTF-16 units.
    {"astralSelectionTooLong",
     [](Start& t) { t.editorField->setText(astral(10001)).select(0, 20002); },
     Messages::selectionTooLong, Messages::selectionTooLongNotice},
    {"noField",
     [](Start& t) {
       t.desktop.activate(t.desktop.self());
       t.settle();
     },
     noField, Messages::noFieldNotice},
    {"oldRecentTarget",
     [](Start& t) {
       t.openOwnWindow();
       t.clock.advance(DictationCycle::recentTargetAgeLimit);
     },
     noField, Messages::noFieldNotice},
    {"passwordFieldBeforeARecentTarget",
     [](Start& t) {
       // The browser's field was left a moment ago; the editor's is a password.
       t.desktop.activate(t.browser);
       t.settle();
       t.desktop.activate(t.editor);
       t.settle();
       t.controller->rememberDeactivatedApp(t.browser.running());
       t.editorField->setSecure();
     },
     noField, Messages::noFieldNotice},
    {"microphoneRefused",
     [](Start& t) {
       t.mic.authorization = AudioInput::Authorization::notDetermined;
       t.mic.accessAnswer = false;
     },
     describe(RecorderError::permissionDenied()), Messages::microphonePermissionNotice},
    {"microphoneBusy",
     [](Start& t) {
       t.controller->setStreamingConsent(true);  // the live session opened for it is cancelled
       t.microphoneBusy(4);
     },
     Messages::platformFailure(Messages::microphoneNotStarted, "Device or resource busy"),
     Messages::microphoneNotStarted},
    {"microphoneNeverRuns", [](Start& t) { t.mic.notRunningAfterStart(4); },
     describe(RecorderError::unavailable()), Messages::microphoneNotStarted}};

INSTANTIATE_TEST_SUITE_P(Start, Refusals, testing::ValuesIn(refusals),
                         [](const auto& row) { return row.param.name; });

TEST_F(Start, ASelectionOfExactlyTheLimitIsAccepted) {
  editorField->setText(std::string(20000, 'a')).select(0, 20000);
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_TRUE(state().isEditingSelection);
}

TEST_F(Start, ASwitchOfApplicationsDuringPreparationIsRefusedWithoutANotice) {
  const int shows = overlay.shows;
  controller->toggle();
  settle();
  EXPECT_EQ(state().phase, DictationPhase::starting);
  controller->toggle();  // ignored while starting
  desktop.activate(browser);
  clock.advance(TextDelivery::prepareSettleTime);
  runUntil([&] { return state().phase == DictationPhase::idle; });
  EXPECT_EQ(state().message, Messages::focusChanged);
  EXPECT_EQ(overlay.shows, shows);
  EXPECT_EQ(mic.enginesMade(), 0);
}

TEST_F(Start, TheFieldTheUserJustLeftServesButNeverThisProgramItself) {
  openOwnWindow();
  clock.advanceSeconds(29.9);
  // Neither this program nor another application without an id replaces the editor.
  controller->rememberDeactivatedApp(desktop.self().running());
  auto& anonymous = desktop.launch(std::nullopt);
  auto anonymousField = anonymous.addField();
  anonymous.focus(anonymousField);
  controller->rememberDeactivatedApp(anonymous.running());
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  speak(0.5);
  stopDictation();
  EXPECT_EQ(anonymousField->text(), "已整理的文字");
}

TEST_F(Start, TheMicrophoneIsTriedFourTimes) {
  microphoneBusy(3);
  const auto before = clock.now();
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(mic.enginesMade(), 4);
  EXPECT_EQ(mic.liveEngines(), 1);
  const auto tries = TextDelivery::prepareSettleTime + 3 * DictationCycle::microphoneRetryPause;
  EXPECT_LT(abs(clock.now() - before - tries), std::chrono::milliseconds(10));
  EXPECT_EQ(state().message, recording);
}

TEST_F(Start, ALostMicrophoneIsReconnectedIntoTheSameRecording) {
  startDictation();
  speak(0.5);
  mic.setDevice({0, 0});  // unplugged: nothing to reconnect to yet
  mic.disconnect();
  clock.advance(DictationCycle::supervisionPeriod);
  EXPECT_EQ(state().message, Messages::reconnectingMicrophone);
  EXPECT_EQ(state().phase, DictationPhase::recording);

  mic.setDevice({16000, 1});  // a headset appears
  clock.advance(DictationCycle::reconnectionPause);
  EXPECT_EQ(state().message, recording);
  ASSERT_TRUE(mic.deliver(FakeAudioInput::tone(440, 16000, 1, 0.5)));
  stopDictation();
  EXPECT_EQ(cycleLines().front(), "processing start streaming=false audio_ms=1000");
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

TEST_F(Start, TenReconnectionsAreTheLimit) {
  startDictation();
  speak(0.5);
  mic.setDevice({0, 0});
  mic.disconnect();
  // Passes at 0.12 s, then every 0.3 s: the tenth try is at 2.82 s, the end at 3.12 s.
  clock.advanceSeconds(3.0);
  EXPECT_EQ(state().phase, DictationPhase::recording);
  clock.advanceSeconds(0.2);
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().message, describe(RecorderError::unavailable()));
  EXPECT_EQ(state().overlayNotice, Messages::checkMicrophoneNotice);
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_TRUE(cycleLines().empty());
  EXPECT_EQ(mic.enginesMade(), 11);
}

TEST_F(Start, DuringAnAccountActionAPressOrARetrySaysWhyNothingStarts) {
  memory.fail("transcribe", std::make_exception_ptr(std::runtime_error("down")));
  dictate();
  ASSERT_TRUE(state().hasRetryRecording);
  using Action = asio::awaitable<void> (DictationController::*)();
  const std::pair<Action, const char*> actions[] = {
      {&DictationController::signIn, ""},
      {&DictationController::signOut, "signOut"},
      {&DictationController::removeAccess, "removeAccess"}};
  for (const auto& [action, held] : actions) {
    SCOPED_TRACE(held);
    memory.hold(held);
    bool done = false;
    asio::co_spawn(loop, ((*controller).*action)(), [&](std::exception_ptr) { done = true; });
    runUntil([&] {
      return ControllerFixture::browser.waiting() ||
             (!memory.calls.empty() && memory.calls.back().name == held);
    });
    for (auto press : {&DictationController::toggle, &DictationController::retryLastRecording}) {
      const int shows = overlay.shows;
      ((*controller).*press)();
      settle();
      EXPECT_EQ(state().phase, DictationPhase::idle);
      EXPECT_EQ(state().message, Messages::accountActionRunning);
      EXPECT_EQ(state().overlayNotice, Messages::accountActionRunningNotice);
      EXPECT_EQ(overlay.shows, shows + 1);
    }
    controller->cancelSignIn();
    memory.release();
    runUntil([&] { return done; });
  }
  EXPECT_EQ(mic.enginesMade(), 1);
  EXPECT_EQ(memory.count("transcribe"), 1u);
}

// What launch says, by permission, set-up and stored key; until both are there the key is
// refused.
TEST(StartGate, TheLaunchMessageNamesWhatIsMissingAndTheKeyWaitsForSetUp) {
  struct Row {
    bool permission, setup;
    std::optional<std::string> key;
    std::string message;
    bool refused;
  };
  const Row rows[] = {
      {true, true, std::nullopt, Messages::ready(Messages::rightAltTitle), false},
      {true, true, "leftCommand", Messages::ready(Messages::leftSuperTitle), false},
      {true, true, "capsLock", Messages::ready(Messages::rightAltTitle), false},  // unknown
      {false, true, std::nullopt, Messages::rightAltNeedsAccessibility, true},
      {false, true, "leftShift", Messages::ready(Messages::leftShiftTitle), false},
      {true, false, std::nullopt, Messages::ready(Messages::rightAltTitle), true},
      {false, false, std::nullopt, Messages::rightAltNeedsAccessibility, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key.value_or("default"));
    ControllerProgram program;
    program.signedIn();
    if (row.setup) program.setUpDone(row.key);
    program.desktop.setTrusted(row.permission);
    program.launch();
    EXPECT_EQ(program.state().message, row.message);
    EXPECT_TRUE(program.state().triggerKeyAvailable || !row.permission);
    if (!row.refused) continue;
    program.controller->toggle();
    program.settle();
    EXPECT_EQ(program.state().message, Messages::finishSetupFirst);
    EXPECT_EQ(program.state().phase, DictationPhase::idle);
  }
}

TEST_F(Start, ARecordingCanOnlyEndByItsLimitOnceThePermissionIsGone) {
  startDictation();
  speak(0.5);
  desktop.setTrusted(false);
  controller->refreshPermission(Prompt::none, Report::none);
  controller->toggle();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(state().message, Messages::finishSetupFirst);
  clock.advanceSeconds(Recorder::maximumDuration);
  runUntil([&] { return state().phase == DictationPhase::idle; }, true);
  EXPECT_EQ(state().message, Messages::copied);  // processed; without the permission, no paste
}

}  // namespace
