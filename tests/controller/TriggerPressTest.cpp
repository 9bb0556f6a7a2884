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

// Held to talk: the release sends what was said; a tap (shorter than the shortest hold, even
// while the microphone still opens) or a key or click while held leaves nothing behind. The
// chord is held the same way.
TEST_F(TriggerPressCapture, AHeldKeyTalksAndATapOrAShortcutLeavesNothing) {
  struct Row {
    const char* name;
    TriggerKey key;
    bool startRuns;
    int heldFor;  // milliseconds, after the start ran
    bool typed;
    bool sent;
  };
  const TriggerKey alt = TriggerKey::rightAlt, chord = TriggerKey::optionCommandR;
  controller->setTriggerMode(TriggerMode::hold);
  for (const Row& row : {Row{"held", alt, true, 1000, false, true},
                         Row{"tapped while the microphone opens", alt, false, 100, false, false},
                         Row{"tapped once recording", alt, true, 0, false, false},
                         Row{"a letter while held", alt, true, 1000, true, false},
                         Row{"the chord held", chord, true, 1000, false, true},
                         Row{"a click while the chord is held", chord, true, 1000, true, false}}) {
    SCOPED_TRACE(row.name);
    settings.setString(TriggerKey::preference, row.key.rawValue());
    controller->installHotkey();
    editorField->setText("");
    clock.advance(NoticeTimer::duration);  // the last row's notice is gone
    const auto sent = memory.count("transcribe");
    row.key == chord ? desktop.chords.press(TriggerKeyDetector::chord)
                     : play(KeyEventScript().press(row.key));
    if (row.startRuns) {
      startRan();
      speak(0.5);
    }
    if (row.typed) play(KeyEventScript().type());
    clock.advance(std::chrono::milliseconds(row.heldFor));
    row.key == chord ? desktop.chords.release(TriggerKeyDetector::chord)
                     : play(KeyEventScript().release(row.key));
    settle();
    EXPECT_NE(state().phase, DictationPhase::recording);  // the release ended it, not a timer
    row.sent ? finishProcessing()
             : void(runUntil([&] { return state().phase == DictationPhase::idle; }, true));
    EXPECT_EQ(memory.count("transcribe") - sent, row.sent ? 1u : 0u);
    EXPECT_EQ(editorField->text(), row.sent ? "已整理的文字" : "");
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(overlay.visible && !row.sent);
  }
  EXPECT_EQ(settings.stringValue(StoredNames::triggerModeKey), "hold");
}

}  // namespace
