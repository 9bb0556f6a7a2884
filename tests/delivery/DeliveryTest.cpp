#include <functional>

#include "InsertionFixture.h"

using namespace wrenly;

namespace {

using Result = DeliveryResult;
using Kind = InjectedKey::Kind;
using enum DeliveryResult;
using namespace std::chrono_literals;

const std::string fallbackLine = "delivery fallback=clipboard reason=focus_changed";
const std::string sameWindowLine = "delivery mode=same_window_paste";

using F = InsertionFixture;
using Step = std::function<void(F&)>;

struct Row {
  std::string name;
  Step beforeCapture;  // the field holds "hello world", the caret at its end
  Step beforeDelivery;
  Result expected = pasteSent;
  std::string logLine = {};
  // What the captured field holds afterwards; by default "hello world", with "TEXT" appended
  // when pasted.
  std::optional<std::string> fieldAfter = {};
  bool replaceSelection = false;  // the dictation rewrites the selection captured at the start
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

struct DeliveryTest : InsertionFixture, testing::WithParamInterface<Row> {};

const Step noChange = [](F&) {};
const Step selectWorld = [](F& t) { t.field->selectText("world"); };
const Step switchAwayAndBack = [](F& t) {
  t.desktop.activate(t.browser), t.desktop.activate(t.editor);
};
// A web page replaces its text field.
const Step rebuildField = [](F& t) { t.field->destroy(), t.editor.focus(t.editor.addField()); };
Step behindBrowser(std::optional<Clock::Duration> delay) {
  return [=](F& t) { t.desktop.activate(t.browser), t.editor.comeForwardAfter(delay); };
}

TEST_P(DeliveryTest, DecidesBetweenPasteAndClipboard) {
  const Row& row = GetParam();
  row.beforeCapture(*this);
  std::optional<InputTarget> target;
  std::optional<std::string> replacing;
  if (row.replaceSelection) {
    auto selection = insertion.captureSelection();
    ASSERT_TRUE(selection);
    target = selection->target;
    replacing = selection->text;
  } else {
    target = insertion.captureTarget();
    ASSERT_TRUE(target);
  }
  row.beforeDelivery(*this);
  driver.settle();

  RecordedDiagnostics deliveryLog;
  const Clock::Duration start = clock.now();
  EXPECT_EQ(driver.finish(insertion.insert("TEXT", target, replacing)), row.expected);
  EXPECT_EQ(deliveryLog.lines(), row.logLine.empty() ? Lines{} : Lines{row.logLine});
  EXPECT_EQ(desktop.clipboard.contents(), "TEXT");
  const bool pasted = row.expected == pasteSent;
  EXPECT_EQ(field->text(), row.fieldAfter.value_or(pasted ? "hello worldTEXT" : "hello world"));
  const auto& keys = desktop.keyInjector.keys();
  ASSERT_EQ(keys.size(), pasted ? 2u : 0u);
  if (pasted) {
    EXPECT_EQ(keys[0].kind, Kind::pasteDown);
    EXPECT_EQ(keys[0].processID, editor.processID());
    EXPECT_GE(keys[0].sentAt, start);
    EXPECT_EQ(keys[1].kind, Kind::pasteUp);
    EXPECT_EQ(keys[1].sentAt - keys[0].sentAt, 20ms);
  }
}

const Row rows[] = {
    {"SameElementInFront", noChange, noChange},
    {"SameElementAfterSwitchingAwayAndBack", noChange, switchAwayAndBack},
    {"SameElementBehindAnotherAppComesForwardInTime", noChange, behindBrowser(120ms)},
    {"SameElementBehindAnotherAppComesForwardTooLate", noChange, behindBrowser(501ms), copied},
    {"SameElementBehindAnotherAppActivationRefused", noChange,
     [](F& t) { t.desktop.activate(t.browser), t.editor.refuseActivation(); }, copied},
    {"WebViewRebuiltItsFieldInTheSameWindow", noChange, rebuildField, pasteSent, sameWindowLine,
     "hello world"},
    {"FocusMovedToAnotherLiveField", noChange, [](F& t) { t.editor.focus(t.editor.addField()); },
     copied},
    {"FocusMovedAndTheOldFieldDoesNotAnswer", noChange,
     [](F& t) { t.field->stopAnswering(), t.editor.focus(t.editor.addField()); }, copied},
    {"AppChangedAndNoElementReadableNow", noChange,
     [](F& t) { switchAwayAndBack(t), t.editor.stopAnswering(); }, copied, fallbackLine},
    {"AppChangedAndNoElementAtCapture", [](F& t) { t.editor.focus(nullptr); },
     [](F& t) { switchAwayAndBack(t), t.editor.focus(t.field); }, copied, fallbackLine},
    {"NoElementEitherTimeSameWindowAndApp", [](F& t) { t.editor.focus(nullptr); }, noChange,
     pasteSent, sameWindowLine, "hello world"},
    {"NoWindowNumberAndFieldRebuilt",
     [](F& t) { t.editor.closeWindow(t.editorWindow), t.editor.openWindow(WindowKind::floating); },
     rebuildField, copied, fallbackLine},
    {"NoWindowNumberButSameElement", [](F& t) { t.editor.closeWindow(t.editorWindow); }, noChange},
    {"PasswordFieldHasFocusAtDelivery", noChange,
     [](F& t) { t.editor.focus(t.editor.addField()), t.editor.focused()->setSecure(); }, copied},
    {"ApplicationQuit", noChange, [](F& t) { t.editor.quit(); }, copied},
    {"KeystrokeCannotBeMade", noChange, [](F& t) { t.desktop.keyInjector.refuse(); }, copied},
    {"NoPermissionAtDelivery", noChange, [](F& t) { t.desktop.setTrusted(false); }, copied},
    {"SelectionStillSelected", selectWorld, noChange, pasteSent, "", "hello TEXT", true},
    {"SelectionMovedAndRestored", selectWorld, [](F& t) { t.field->select(0, 2); }, pasteSent, "",
     "hello TEXT", true},
    {"SelectionMovedAndRestoreRefused", selectWorld,
     [](F& t) { t.field->select(0, 2).refuseSelectionChanges(); }, copied, "", std::nullopt, true},
    {"SelectionTextEditedRestoreFails", selectWorld, [](F& t) { t.field->setText("hello there"); },
     copied, "", "hello there", true},
    {"SelectionFieldRebuilt", selectWorld, rebuildField, copied, fallbackLine, std::nullopt, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, DeliveryTest, testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

TEST_F(InsertionFixture, WithoutTargetOrClipboardNothingIsPasted) {
  RecordedDiagnostics deliveryLog;
  EXPECT_EQ(driver.finish(insertion.insert("one", std::nullopt, std::nullopt)), copied);
  EXPECT_EQ(desktop.clipboard.contents(), "one");
  EXPECT_TRUE(deliveryLog.lines().empty());

  EXPECT_EQ(driver.finish(insertion.insert("", insertion.captureTarget(), std::nullopt)), failed);
  EXPECT_EQ(desktop.clipboard.contents(), "one");  // untouched
  desktop.clipboard.refuseWrites();
  EXPECT_EQ(driver.finish(insertion.insert("TEXT", insertion.captureTarget(), std::nullopt)),
            failed);
  EXPECT_FALSE(insertion.copy("again"));
  EXPECT_TRUE(desktop.keyInjector.keys().empty());
}

TEST_F(InsertionFixture, ReactivationChecksEveryFiftyMillisecondsTenTimes) {
  auto target = insertion.captureTarget();
  behindBrowser(120ms)(*this);
  const Clock::Duration start = clock.now();
  EXPECT_EQ(driver.finish(insertion.insert("TEXT", target, std::nullopt)), pasteSent);
  // In front at 120 ms, seen at the third check.
  EXPECT_EQ(desktop.keyInjector.keys().at(0).sentAt - start, 150ms);
  EXPECT_EQ(editor.activationRequests(), 1);

  editor.comeForwardAfter(std::nullopt);
  desktop.activate(browser);
  driver.settle();
  const Clock::Duration second = clock.now();
  EXPECT_EQ(driver.finish(insertion.insert("TEXT", target, std::nullopt)), copied);
  EXPECT_EQ(clock.now() - second, 500ms);
}

}  // namespace
