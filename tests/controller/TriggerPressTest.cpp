// The destination of a dictation started by the trigger key is what had focus when the key went
// down: toolkits that focus their menu bar at a lone Alt's release must not redirect the text.
#include <gtest/gtest.h>

#include "messages/Messages.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace {

class TriggerPressCapture : public ControllerFixture {
 public:
  void SetUp() override { launchReady(); }

  void play(const KeyEventScript& script) {
    script.play(desktop.keyMonitor);
    settle();
  }
  void startRan() {
    clock.advance(TextDelivery::prepareSettleTime);
    runUntil([&] { return state().phase != DictationPhase::starting; }, true);
    ASSERT_EQ(state().phase, DictationPhase::recording);
  }

  std::shared_ptr<FakeElement> menuItem = editor.addField("menu item");
  std::shared_ptr<FakeElement> otherField = editor.addField();
};

TEST_F(TriggerPressCapture, TheFieldFocusedAtKeyDownReceivesTheText) {
  play(KeyEventScript().press(TriggerKey::rightAlt));
  editor.focus(menuItem);  // the toolkit, at the release
  play(KeyEventScript().release(TriggerKey::rightAlt));
  startRan();
  editor.focus(editorField);  // and back at the next release
  speak(0.5);
  play(KeyEventScript().tap(TriggerKey::rightAlt));
  finishProcessing();
  EXPECT_EQ(state().message, Messages::pasteSent);
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

TEST_F(TriggerPressCapture, APressJoinedByAnotherKeyLeavesNothingForALaterStart) {
  play(KeyEventScript().press(TriggerKey::rightAlt).type().release(TriggerKey::rightAlt));
  editor.focus(otherField);
  controller->toggle();  // the window's record button
  settle();
  startRan();
  speak(0.5);
  stopDictation();
  EXPECT_EQ(otherField->text(), "已整理的文字");
  EXPECT_EQ(editorField->text(), "");
}

// Held to talk, the release sends what was said; a tap (even while the microphone still opens),
// or a key or click while held, leaves nothing behind. The chord is held the same way, its own R
// repeating meanwhile.
TEST_F(TriggerPressCapture, AHeldKeyTalksAndATapOrAShortcutLeavesNothing) {
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
      startRan();
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

}  // namespace
