// The trigger-key set-up with its permission flow, and the stored preferences.

#include <gmock/gmock.h>
#include <unicode/locid.h>

#include "messages/Messages.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace {

class SetUp : public ControllerFixture {};

TEST_F(SetUp, FirstLaunchWithoutPermissionPromptsOnceAndAGrantThenAKeyLightTheDetector) {
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

  // Opening the settings asks again, which is what switches accessibility on; no page opens.
  desktop.grantOnRequest();
  controller->openAccessibilitySettings();
  EXPECT_EQ(desktop.trustRequests(), 2);
  EXPECT_TRUE(desktop.openedURLs().empty());
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

TEST_F(SetUp, AConfirmedKeyIsStoredAndTogglesAloneUntilAResetWhichKeepsItStored) {
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

  tap(TriggerKey::rightAlt);  // set-up is done: neither a start nor a detection
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().detectedTriggerKey, TriggerKey::leftShift);
  tap(TriggerKey::leftShift);
  EXPECT_EQ(state().phase, DictationPhase::starting);
  clock.advance(TextDelivery::prepareSettleTime);
  runUntil([&] { return state().phase == DictationPhase::recording; });
  EXPECT_EQ(state().message, Messages::recording(Messages::leftShiftTitle));
  controller->resetTriggerKeySetup();  // not during a dictation
  EXPECT_TRUE(state().setupComplete);

  // After the dictation a reset waits for a key again, and keeps the stored one.
  tap(TriggerKey::leftShift);  // nothing was said
  ASSERT_EQ(state().phase, DictationPhase::idle);
  controller->resetTriggerKeySetup();
  EXPECT_FALSE(state().setupComplete);
  EXPECT_FALSE(state().detectedTriggerKey);
  EXPECT_EQ(settings.boolValue(StoredNames::setupCompleteKey), false);
  EXPECT_EQ(settings.stringValue(TriggerKey::preference), "leftShift");
  EXPECT_EQ(state().triggerKeyTitle, Messages::rightAltTitle);
  tap(TriggerKey::rightControl);
  EXPECT_EQ(state().detectedTriggerKey, TriggerKey::rightControl);

  // The streaming consent is stored too, and comes back at the next launch.
  EXPECT_FALSE(state().streamingConsent);
  controller->setStreamingConsent(true);
  EXPECT_EQ(settings.boolValue(StoredNames::streamingConsentKey), true);
  controller = DictationController::make(
      {platform, memory, insertion, recorder, browserSignIn, scriptedSessions()});
  EXPECT_TRUE(state().streamingConsent);
  controller->copyLastText();  // nothing to copy yet
  EXPECT_EQ(state().message, Messages::checkingService);
}

}  // namespace
