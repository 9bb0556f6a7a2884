// Starting a dictation: every refusal, the field the user left, the microphone's tries and the
// supervision of a running recording.

#include <gmock/gmock.h>

#include "audio/RecorderError.h"
#include "controller/ControllerFixture.h"
#include "messages/Messages.h"

using namespace wrenly;

using testing::ElementsAre;

namespace {

class Start : public ControllerFixture {
 public:
  void SetUp() override {
    signedIn();
    setUpDone();
    launch();
  }

  // The user goes from the editor to this program's window.
  void openOwnWindow() {
    desktop.activate(desktop.self());
    settle();
    controller->rememberDeactivatedApp(editor.running());
  }

  void expectRefused(const std::string& message, const std::optional<std::string>& notice) {
    EXPECT_EQ(state().phase, DictationPhase::idle);
    EXPECT_EQ(state().message, message);
    EXPECT_FALSE(state().isEditingSelection);
    if (notice) {
      EXPECT_EQ(state().hudNotice, *notice);
    }
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
  expectRefused(GetParam().message, GetParam().notice);
  EXPECT_GT(overlay.shows, shows);
  EXPECT_EQ(mic.liveEngines(), 0);
  EXPECT_TRUE(cycleLines().empty());
}

template <typename Case>
std::string caseName(const testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

const Refusal refusals[] = {
    Refusal{"noService",
            [](Start& t) {
              t.settings.setBool("active." + t.server.baseURL(), false);
              t.controller->refreshServiceState();
              t.runUntil([&] { return !t.state().serviceAvailable; });
            },
            Messages::signInPrompt, "請先啟用語音服務"},
    Refusal{"selectionTooLong",
            [](Start& t) { t.editorField->setText(std::string(20001, 'a')).select(0, 20001); },
            "一次最多可處理 20,000 個字元，請縮小選取範圍。", "請縮小選取範圍"},
    Refusal{"astralSelectionTooLong",
            [](Start& t) {
              // 10,001 characters outside the BMP are 20,002 UTF-16 units.
              std::string text;
              for (int i = 0; i < 10001; ++i) text += "😀";
              t.editorField->setText(text).select(0, 20002);
            },
            "一次最多可處理 20,000 個字元，請縮小選取範圍。", "請縮小選取範圍"},
    Refusal{"noField",
            [](Start& t) {
              t.desktop.activate(t.desktop.self());
              t.settle();
            },
            "請先點選要輸入文字的文字框，再按 右 Alt。", "請先點選文字輸入框"},
    Refusal{"oldRecentTarget",
            [](Start& t) {
              t.openOwnWindow();
              t.clock.advance(DictationController::recentTargetAgeLimit);
            },
            "請先點選要輸入文字的文字框，再按 右 Alt。", "請先點選文字輸入框"},
    Refusal{"passwordFieldBeforeARecentTarget",
            [](Start& t) {
              // The browser's field was left a moment ago; the editor's is a password.
              t.desktop.activate(t.browser);
              t.settle();
              t.desktop.activate(t.editor);
              t.settle();
              t.controller->rememberDeactivatedApp(t.browser.running());
              t.editorField->setSecure();
            },
            "請先點選要輸入文字的文字框，再按 右 Alt。", "請先點選文字輸入框"},
    Refusal{"microphoneRefused",
            [](Start& t) {
              t.mic.authorization = AudioInput::Authorization::notDetermined;
              t.mic.accessAnswer = false;
            },
            RecorderError::permissionDenied().localizedDescription(), "請開啟麥克風權限"},
    Refusal{"microphoneBusy", [](Start& t) { t.busyMic.busyStarts = 4; },
            "麥克風無法啟動（Device or resource busy）。", "麥克風無法啟動"},
    Refusal{"microphoneNeverRuns",
            [](Start& t) {
              t.busyMic.busyStarts = 4;
              t.busyMic.notRunning = true;
            },
            RecorderError::unavailable().localizedDescription(), "麥克風無法啟動"}};

INSTANTIATE_TEST_SUITE_P(Start, Refusals, testing::ValuesIn(refusals), caseName<Refusal>);

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
  EXPECT_EQ(state().message, "輸入位置已變更，請在要輸入的文字框重新按錄音鍵。");
  EXPECT_EQ(overlay.shows, shows);
  EXPECT_EQ(mic.enginesMade(), 0);
}

TEST_F(Start, TheFieldTheUserJustLeftServesTheWindowsRecordButton) {
  openOwnWindow();
  clock.advanceSeconds(29.9);
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  speak(0.5);
  stopDictation();
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

TEST_F(Start, LeavingThisProgramItselfIsNotRemembered) {
  openOwnWindow();
  controller->rememberDeactivatedApp(desktop.self().running());
  // Another application without an id is not this program either.
  auto& anonymous = desktop.launch(std::nullopt);
  auto anonymousField = anonymous.addField();
  anonymous.focus(anonymousField);
  controller->rememberDeactivatedApp(anonymous.running());
  startDictation();
  speak(0.5);
  stopDictation();
  EXPECT_EQ(anonymousField->text(), "已整理的文字");
}

TEST_F(Start, TheMicrophoneIsTriedFourTimes) {
  busyMic.busyStarts = 3;
  const auto before = clock.now();
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(mic.enginesMade(), 4);
  EXPECT_EQ(mic.liveEngines(), 1);
  const auto tries =
      TextDelivery::prepareSettleTime + 3 * DictationController::microphoneRetryPause;
  EXPECT_LT(abs(clock.now() - before - tries), std::chrono::milliseconds(10));
  EXPECT_EQ(state().message, "錄音中；再按 右 Alt 完成");
}

TEST_F(Start, AFailedMicrophoneCancelsTheLiveSession) {
  controller->setStreamingConsent(true);
  busyMic.busyStarts = 4;
  startDictation();
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]->cancelCount(), 1);
  EXPECT_EQ(state().hudNotice, "麥克風無法啟動");
}

TEST_F(Start, ALostMicrophoneIsReconnectedIntoTheSameRecording) {
  startDictation();
  speak(0.5);
  mic.setDevice({0, 0});  // unplugged: nothing to reconnect to yet
  mic.disconnect();
  clock.advance(DictationController::supervisionPeriod);
  EXPECT_EQ(state().message, "麥克風連線變更，正在重新連接…");
  EXPECT_EQ(state().phase, DictationPhase::recording);

  mic.setDevice({16000, 1});  // a headset appears
  clock.advance(DictationController::reconnectionPause);
  EXPECT_EQ(state().message, "錄音中；再按 右 Alt 完成");
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
  EXPECT_EQ(state().message, RecorderError::unavailable().localizedDescription());
  EXPECT_EQ(state().hudNotice, "請檢查麥克風連線");
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_TRUE(cycleLines().empty());
  EXPECT_EQ(mic.enginesMade(), 11);
}

struct AccountAction {
  const char* name;
  std::function<asio::awaitable<void>(DictationController&)> action;
  const char* stalledMethod;
  const char* stalledPath;
};

class DuringAnAccountAction : public Start, public testing::WithParamInterface<AccountAction> {};

TEST_P(DuringAnAccountAction, APressOrARetrySaysWhyNothingStarts) {
  server.enqueue("POST", "transcribe", ContractService::Reply::json(500, "{}"));
  startDictation();
  speak(0.5);
  stopDictation();
  ASSERT_TRUE(state().hasRetryRecording);
  server.enqueue(GetParam().stalledMethod, GetParam().stalledPath,
                 ContractService::Reply::stalled());
  const auto requests = server.requestCount();
  bool done = false;
  asio::co_spawn(loop, GetParam().action(*controller), [&](std::exception_ptr) { done = true; });
  runUntil([&] { return server.requestCount() > requests; });

  for (auto press : {&DictationController::toggle, &DictationController::retryLastRecording}) {
    const int shows = overlay.shows;
    ((*controller).*press)();
    settle();
    EXPECT_EQ(state().phase, DictationPhase::idle);
    EXPECT_EQ(state().message, "帳戶操作仍在進行，完成後才可錄音。");
    EXPECT_EQ(state().hudNotice, "帳戶操作進行中");
    EXPECT_EQ(overlay.shows, shows + 1);
  }
  EXPECT_EQ(mic.enginesMade(), 1);
  EXPECT_EQ(server.requestCount(), requests + 1);

  controller->cancelSignIn();
  server.releaseStalled();
  runUntil([&] { return done; });
}

const AccountAction accountActions[] = {
    {"signIn", [](DictationController& c) { return c.signIn(); }, "POST", "account/mac/start"},
    {"signOut", [](DictationController& c) { return c.signOut(); }, "DELETE", "account/session"},
    {"removeAccess", [](DictationController& c) { return c.removeAccess(); }, "DELETE", "access"},
};
INSTANTIATE_TEST_SUITE_P(Start, DuringAnAccountAction, testing::ValuesIn(accountActions),
                         caseName<AccountAction>);

struct Gate {
  const char* name;
  bool permission;
  bool setup;
};

class TriggerGate : public ControllerFixture, public testing::WithParamInterface<Gate> {};

TEST_P(TriggerGate, RefusesTheKeyUntilSetUpIsDone) {
  signedIn();
  if (GetParam().setup) setUpDone();
  desktop.setTrusted(GetParam().permission);
  launch();
  controller->toggle();
  settle();
  EXPECT_EQ(state().message, "請先完成輔助使用權限與快捷鍵設定。");
  EXPECT_EQ(state().phase, DictationPhase::idle);
}

const Gate gates[] = {
    {"noPermission", false, true}, {"noSetUp", true, false}, {"neither", false, false}};
INSTANTIATE_TEST_SUITE_P(Start, TriggerGate, testing::ValuesIn(gates), caseName<Gate>);

TEST_F(Start, ARecordingCanOnlyEndByItsLimitOnceThePermissionIsGone) {
  startDictation();
  speak(0.5);
  desktop.setTrusted(false);
  controller->refreshPermission(Prompt::none, Report::none);
  controller->toggle();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(state().message, "請先完成輔助使用權限與快捷鍵設定。");
  clock.advanceSeconds(Recorder::maximumDuration);
  EXPECT_EQ(state().phase, DictationPhase::processing);
  finishProcessing();
}

}  // namespace
