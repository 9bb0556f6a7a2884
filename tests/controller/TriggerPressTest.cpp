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

}  // namespace
