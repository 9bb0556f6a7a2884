// Overlay notices, copying the last text, the stored preferences, and the trigger-key set-up
// with its permission flow.

#include <gmock/gmock.h>
#include <unicode/locid.h>

#include "messages/Messages.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace {

class Notices : public ControllerFixture {
 public:
  void SetUp() override { launchReady(); }

  // A refusal gives a notice: nothing to type into while this program is in front.
  void refuseForNoField() {
    desktop.activate(desktop.self());
    settle();
    controller->toggle();
    settle();
    clock.advance(TextDelivery::prepareSettleTime);
    settle();
    ASSERT_EQ(state().overlayNotice, Messages::noFieldNotice);
  }
};

TEST_F(Notices, TheLastOfTwoNoticesDecidesWhenTheOverlayHides) {
  refuseForNoField();  // at 0
  clock.advanceSeconds(1.0);
  refuseForNoField();  // at 1 (the preparation adds no wait with this program in front)
  clock.advanceSeconds(2.5);
  EXPECT_TRUE(overlay.visible);  // the first notice's time is over
  clock.advanceSeconds(0.5);
  EXPECT_FALSE(overlay.visible);
  EXPECT_EQ(overlay.hides, 1);
  EXPECT_EQ(state().overlayNotice, Messages::noFieldNotice);  // kept after the hide
}

TEST_F(Notices, ANoticeWhoseTimeEndsDuringADictationLeavesTheOverlayUp) {
  refuseForNoField();
  desktop.activate(editor);
  settle();
  startDictation();
  // The recording ends by losing the microphone: its notice hides three seconds later.
  mic.setDevice({0, 0});
  mic.disconnect();
  clock.advanceSeconds(2.0);
  EXPECT_TRUE(overlay.visible);
  clock.advanceSeconds(1.2);
  EXPECT_EQ(state().overlayNotice, Messages::checkMicrophoneNotice);
  EXPECT_TRUE(overlay.visible);
  clock.advanceSeconds(3.0);
  EXPECT_FALSE(overlay.visible);
}

TEST_F(Notices, ANoticeThatEndsWhileAStartPreparesLeavesNoOverlayBehind) {
  refuseForNoField();  // the notice went up one preparation time ago
  desktop.activate(editor);
  settle();
  clock.advance(NoticeTimer::duration - TextDelivery::prepareSettleTime -
                std::chrono::milliseconds(100));
  ASSERT_TRUE(overlay.visible);
  controller->toggle();
  settle();
  ASSERT_EQ(state().phase, DictationPhase::starting);
  clock.advance(std::chrono::milliseconds(100));  // the notice ends while the editor prepares
  ASSERT_TRUE(overlay.visible);
  desktop.activate(desktop.self());
  clock.advance(TextDelivery::prepareSettleTime);
  runUntil([&] { return state().phase == DictationPhase::idle; });
  EXPECT_EQ(state().message, Messages::focusChanged);
  EXPECT_FALSE(overlay.visible);
}

TEST_F(Notices, CopyingTheLastTextSaysSoOnlyWhenItWorked) {
  const auto before = state().message;
  controller->copyLastText();  // nothing to copy
  EXPECT_EQ(state().message, before);

  dictate();
  desktop.clipboard.setContents("something else");
  controller->copyLastText();
  EXPECT_EQ(desktop.clipboard.contents(), "已整理的文字");
  EXPECT_EQ(state().message, Messages::copiedLastText);

  desktop.clipboard.refuseWrites();
  controller->copyLastText();
  EXPECT_EQ(state().message, Messages::copyFailed);
}

TEST_F(Notices, ObserversSeeEachStepOnce) {
  history.clear();
  startDictation();
  ASSERT_FALSE(history.empty());
  EXPECT_EQ(history.back(), state());
  std::vector<DictationPhase> phases;
  for (const auto& seen : history) {
    if (phases.empty() || phases.back() != seen.phase) phases.push_back(seen.phase);
  }
  EXPECT_THAT(phases, testing::ElementsAre(DictationPhase::starting, DictationPhase::recording));
  for (size_t i = 1; i < history.size(); ++i) EXPECT_NE(history[i], history[i - 1]);

  int calls = 0;
  {
    auto second = controller->observe([&](const DictationController::State&) { ++calls; });
    controller->setStreamingConsent(true);
  }
  controller->setStreamingConsent(false);
  EXPECT_EQ(calls, 1);
}

TEST(StreamingConsent, IsStoredAndComesBackAtTheNextLaunch) {
  ControllerProgram first;
  first.launch(false);
  EXPECT_FALSE(first.state().streamingConsent);
  first.controller->setStreamingConsent(true);
  EXPECT_EQ(first.settings.boolValue(StoredNames::streamingConsentKey), true);

  first.controller = DictationController::make(
      {first.platform, first.memory, first.insertion, first.recorder, first.browserSignIn, {}});
  EXPECT_TRUE(first.state().streamingConsent);
  EXPECT_EQ(first.state().message, Messages::checkingService);
}

class SetUp : public ControllerFixture {
 public:
  void tap(TriggerKey key) {
    KeyEventScript().tap(key).play(desktop.keyMonitor);
    settle();
  }
};

TEST_F(SetUp, FirstLaunchWithoutPermissionPromptsOnce) {
  desktop.setTrusted(false);
  launch(false);
  EXPECT_EQ(desktop.trustRequests(), 1);
  EXPECT_FALSE(state().permissionGranted);
  EXPECT_FALSE(state().triggerKeyAvailable);
  EXPECT_EQ(state().message, Messages::allowAccessibility);

  controller->refreshPermission(Prompt::none, Report::none);   // an activation
  controller->refreshPermission(Prompt::none, Report::timed);  // "check again"
  EXPECT_EQ(desktop.trustRequests(), 1);
  // The time of the check, in the short style of the user's locale.
  const icu::Locale saved = icu::Locale::getDefault();
  const std::pair<const char*, const char*> styles[] = {
      {"en_US", "[0-9]{1,2}:[0-9]{2}.*[AP]M · 仍未取得權限。.*"},
      {"de_DE", "[0-9]{2}:[0-9]{2} · 仍未取得權限。.*"}};
  for (const auto& [locale, pattern] : styles) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(locale), status);
    controller->refreshPermission(Prompt::none, Report::timed);
    EXPECT_THAT(state().permissionFeedback, testing::MatchesRegex(pattern)) << locale;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(saved, status);
}

TEST_F(SetUp, GrantingThenPressingAKeyLightsTheDetector) {
  desktop.setTrusted(false);
  launch(false);
  desktop.setTrusted(true);  // granted in the desktop's settings
  controller->refreshPermission(Prompt::none, Report::timed);
  EXPECT_TRUE(state().permissionGranted);
  EXPECT_TRUE(state().triggerKeyAvailable);
  EXPECT_THAT(state().permissionFeedback, testing::EndsWith(Messages::permissionGranted));
  EXPECT_EQ(state().triggerKeyTitle, Messages::rightAltTitle);

  tap(TriggerKey::leftShift);
  EXPECT_EQ(state().detectedTriggerKey, TriggerKey::leftShift);
  EXPECT_TRUE(state().detectionLight);
  clock.advanceSeconds(0.69);
  EXPECT_TRUE(state().detectionLight);
  clock.advanceSeconds(0.01);
  EXPECT_FALSE(state().detectionLight);
  EXPECT_EQ(state().phase, DictationPhase::idle);  // set-up presses never dictate
}

TEST_F(SetUp, AConfirmedKeyIsStoredAndIsTheOnlyOneThatToggles) {
  signedIn();
  launch();
  controller->confirmDetectedTriggerKey();  // nothing detected yet
  EXPECT_FALSE(state().setupComplete);

  tap(TriggerKey::leftShift);
  controller->confirmDetectedTriggerKey();
  EXPECT_TRUE(state().setupComplete);
  EXPECT_EQ(settings.stringValue(TriggerKey::preference), "leftShift");
  EXPECT_EQ(settings.boolValue(StoredNames::setupCompleteKey), true);
  EXPECT_EQ(state().message, Messages::setupDone(Messages::leftShiftTitle));
  EXPECT_EQ(state().triggerKeyTitle, Messages::leftShiftTitle);

  tap(TriggerKey::rightAlt);
  EXPECT_EQ(state().phase, DictationPhase::idle);
  tap(TriggerKey::leftShift);
  EXPECT_EQ(state().phase, DictationPhase::starting);
  clock.advance(TextDelivery::prepareSettleTime);
  runUntil([&] { return state().phase == DictationPhase::recording; });
  EXPECT_EQ(state().message, Messages::recording(Messages::leftShiftTitle));

  controller->resetTriggerKeySetup();  // not during a dictation
  EXPECT_TRUE(state().setupComplete);
}

TEST_F(SetUp, ResetReturnsToWaitingForAKeyAndKeepsTheStoredOne) {
  setUpDone("leftShift");
  launch(false);
  tap(TriggerKey::rightControl);  // set-up is done: not a detection
  EXPECT_FALSE(state().detectedTriggerKey);
  controller->resetTriggerKeySetup();
  EXPECT_FALSE(state().setupComplete);
  EXPECT_FALSE(state().detectedTriggerKey);
  EXPECT_EQ(settings.boolValue(StoredNames::setupCompleteKey), false);
  EXPECT_EQ(settings.stringValue(TriggerKey::preference), "leftShift");
  EXPECT_EQ(state().triggerKeyTitle, Messages::rightAltTitle);
  tap(TriggerKey::rightControl);
  EXPECT_EQ(state().detectedTriggerKey, TriggerKey::rightControl);
}

TEST_F(SetUp, InstallingTwiceWithNothingChangedDoesNothing) {
  const std::string ready = Messages::ready(Messages::rightAltTitle);
  launchReady();
  EXPECT_EQ(state().message, ready);
  desktop.activate(desktop.self());
  controller->toggle();
  settle();
  clock.advance(TextDelivery::prepareSettleTime);
  settle();
  ASSERT_NE(state().message, ready);
  controller->installHotkey();
  EXPECT_NE(state().message, ready);
}

TEST_F(SetUp, OpeningTheSettingsSwitchesAccessibilityOnAndOpensNothing) {
  desktop.setTrusted(false);
  desktop.grantOnRequest();
  launch(false);
  EXPECT_TRUE(state().permissionGranted);  // the launch prompt switched it on
  controller->openAccessibilitySettings();
  EXPECT_EQ(desktop.trustRequests(), 2);
  EXPECT_TRUE(desktop.openedURLs().empty());
}

}  // namespace
