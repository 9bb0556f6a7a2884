// Starting a dictation: every refusal and the notices it leaves, the field the user left, the
// microphone's tries, the supervision of a running recording, what observers see, and the field
// a trigger-key press captures; and before any of it, the trigger-key set-up with its permission
// flow and the stored preferences.

#include <gmock/gmock.h>
#include <unicode/locid.h>

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

  // A refusal gives a notice: nothing to type into while this program is in front.
  void refuseForNoField() {
    activate(desktop.self());
    startDictation();
    ASSERT_EQ(state().overlayNotice, Messages::noFieldNotice);
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
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().message, GetParam().message);
  EXPECT_FALSE(state().isEditingSelection);
  EXPECT_EQ(state().overlayNotice, GetParam().notice);
  EXPECT_EQ(overlay.shown.notice, GetParam().notice);  // nothing was shown before
  EXPECT_EQ(mic.liveEngines(), 0);
  for (const auto& stream : streams) EXPECT_EQ(stream->cancels, 1);
  EXPECT_TRUE(cycleLines().empty());
}

// 10,000 characters outside the BMP and one inside: 20,001 UTF-16 units, one past the limit.
std::string astralPastTheLimit() {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "😀";
  return text + "a";
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
     [](Start& t) { t.editorField->setText(astralPastTheLimit()).select(0, 20001); },
     Messages::selectionTooLong, Messages::selectionTooLongNotice},
    {"oldRecentTarget",
     [](Start& t) {
       t.activate(t.desktop.self(), &t.editor);
       t.clock.advance(DictationCycle::recentTargetAgeLimit);
     },
     noField, Messages::noFieldNotice},
    {"passwordFieldBeforeARecentTarget",
     [](Start& t) {
       // The browser's field was left a moment ago; the editor's is a password.
       t.activate(t.browser);
       t.activate(t.editor, &t.browser);
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

TEST_F(Start, TheFieldTheUserJustLeftServesButNeverThisProgramItself) {
  activate(desktop.self(), &editor);
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

// The microphone is tried four times at the start; lost during the recording, it is reconnected
// into the same recording, until ten tries fail.
TEST_F(Start, TheMicrophoneIsTriedFourTimesAndReconnectedUntilTenTriesFail) {
  microphoneBusy(3);
  const auto before = clock.now();
  startDictation();
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_EQ(mic.enginesMade(), 4);
  EXPECT_EQ(mic.liveEngines(), 1);
  const auto tries = TextDelivery::prepareSettleTime + 3 * DictationCycle::microphoneRetryPause;
  EXPECT_LT(abs(clock.now() - before - tries), std::chrono::milliseconds(10));
  EXPECT_EQ(state().message, recording);
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

  // The next recording loses it for good; its notice outlasts the paste's.
  const auto lines = cycleLines().size();
  const int engines = mic.enginesMade();
  startDictation();
  speak(0.5);
  mic.setDevice({0, 0});
  mic.disconnect();
  // Passes at 0.12 s, then every 0.3 s: the tenth try is at 2.82 s, the end at 3.12 s.
  clock.advanceSeconds(3.0);
  EXPECT_EQ(state().phase, DictationPhase::recording);
  EXPECT_TRUE(overlay.visible);  // the paste notice's time ended during the recording
  clock.advanceSeconds(0.2);
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(state().message, describe(RecorderError::unavailable()));
  EXPECT_EQ(state().overlayNotice, Messages::checkMicrophoneNotice);
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_EQ(cycleLines().size(), lines);  // the audio is discarded, not processed
  EXPECT_EQ(mic.enginesMade() - engines, 11);
  clock.advanceSeconds(2.9);
  EXPECT_TRUE(overlay.visible);
  clock.advanceSeconds(0.1);
  EXPECT_FALSE(overlay.visible);
}

// The last of two notices decides when the overlay hides; a switch of applications while a start
// prepares ends it with no notice or overlay left, even when a notice ran out meanwhile.
TEST_F(Start, TheLastNoticeOrASwitchOfApplicationsWhileAStartPreparesDecidesWhenTheOverlayHides) {
  refuseForNoField();           // at 0
  controller->installHotkey();  // nothing changed: neither is the message
  EXPECT_EQ(state().message, Messages::noField(Messages::rightAltTitle));
  clock.advanceSeconds(1.0);
  refuseForNoField();  // at 1 (the preparation adds no wait with this program in front)
  clock.advanceSeconds(2.5);
  EXPECT_TRUE(overlay.visible);  // the first notice's time is over
  clock.advanceSeconds(0.5);
  EXPECT_FALSE(overlay.visible);
  EXPECT_EQ(overlay.hides, 1);
  EXPECT_EQ(state().overlayNotice, Messages::noFieldNotice);  // kept after the hide

  refuseForNoField();  // the notice went up one preparation time ago
  activate(editor);
  clock.advance(NoticeTimer::duration - TextDelivery::prepareSettleTime -
                std::chrono::milliseconds(100));
  ASSERT_TRUE(overlay.visible);
  const int shows = overlay.shows;
  controller->toggle();
  settle();
  ASSERT_EQ(state().phase, DictationPhase::starting);
  controller->toggle();                           // ignored while starting
  clock.advance(std::chrono::milliseconds(100));  // the notice ends while the editor prepares
  ASSERT_TRUE(overlay.visible);
  desktop.activate(desktop.self());
  clock.advance(TextDelivery::prepareSettleTime);
  runUntil([&] { return state().phase == DictationPhase::idle; });
  EXPECT_EQ(state().message, Messages::focusChanged);
  EXPECT_FALSE(overlay.visible);
  EXPECT_EQ(overlay.shows, shows);
  EXPECT_EQ(mic.enginesMade(), 0);
}

TEST_F(Start, ObserversSeeEachStepOnce) {
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

// The destination of a dictation started by the trigger key is what had focus when the key went
// down: toolkits that focus their menu bar at a lone Alt's release must not redirect the text.
TEST_F(Start, TheFieldFocusedAtTriggerKeyDownReceivesTheTextButOnlyForThatStart) {
  const auto menuItem = editor.addField("menu item");
  const auto otherField = editor.addField();
  play(KeyEventScript().press(TriggerKey::rightAlt));
  editor.focus(menuItem);  // the toolkit, at the release
  play(KeyEventScript().release(TriggerKey::rightAlt));
  letStartRun();
  editor.focus(editorField);  // and back at the next release
  speak(0.5);
  tap(TriggerKey::rightAlt);
  finishProcessing();
  EXPECT_EQ(state().message, Messages::pasteSent);
  EXPECT_EQ(editorField->text(), "已整理的文字");

  // A press joined by another key leaves nothing for a later start.
  editorField->setText("");
  play(KeyEventScript().press(TriggerKey::rightAlt).type().release(TriggerKey::rightAlt));
  editor.focus(otherField);
  controller->toggle();  // the window's record button
  settle();
  letStartRun();
  speak(0.5);
  stopDictation();
  EXPECT_EQ(otherField->text(), "已整理的文字");
  EXPECT_EQ(editorField->text(), "");
}

// Held to talk, the release sends what was said; a tap (even while the microphone still opens),
// or a key or click while held, leaves nothing behind. The chord is held the same way, its own R
// repeating meanwhile.
TEST_F(Start, AHeldTriggerKeyTalksAndATapOrAShortcutLeavesNothing) {
  const TriggerKey alt = TriggerKey::rightAlt, chord = TriggerKey::optionCommandR;
  controller->setTriggerMode(TriggerMode::hold);
  EXPECT_EQ(state().message, Messages::readyHeld(Messages::rightAltTitle));
  // The key; milliseconds held after the start ran (before it did when negative); a key typed
  // meanwhile; whether the dictation is sent.
  for (auto [key, heldFor, typed, sends] :
       std::vector<std::tuple<TriggerKey, int, std::optional<Key>, bool>>{
           {alt, 1000, {}, true},
           {alt, -100, {}, false},
           {alt, 0, {}, false},
           {alt, 1000, Key::other, false},
           {chord, 1000, Key::r, true},
           {chord, 1000, Key::other, false}}) {
    SCOPED_TRACE(std::string(key.rawValue()) + " " + std::to_string(heldFor));
    settings.setString(TriggerKey::preference, key.rawValue());
    controller->installHotkey();
    editorField->setText("");
    clock.advance(NoticeTimer::duration);  // the last row's notice is gone
    const auto sent = memory.count("transcribe");
    key == chord ? desktop.chords.press(TriggerKeyDetector::chord)
                 : play(KeyEventScript().press(key));
    if (heldFor >= 0) {
      letStartRun();
      speak(0.5);
    }
    if (typed) play(KeyEventScript().type(*typed));
    clock.advance(std::chrono::milliseconds(std::abs(heldFor)));
    key == chord ? desktop.chords.release(TriggerKeyDetector::chord)
                 : play(KeyEventScript().release(key));
    settle();
    EXPECT_NE(state().phase, DictationPhase::recording);  // the release ended it, not a timer
    sends ? finishProcessing()
          : void(runUntil([&] { return state().phase == DictationPhase::idle; }, true));
    EXPECT_EQ(memory.count("transcribe") - sent, sends ? 1u : 0u);
    EXPECT_EQ(editorField->text(), sends ? "已整理的文字" : "");
    EXPECT_FALSE(recorder.isRecording() || (overlay.visible && !sends));
  }
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
  letStartRun();
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
