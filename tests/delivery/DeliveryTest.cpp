#include <functional>
#include <string>
#include <vector>

#include "InsertionFixture.h"

namespace {

using Result = MacInsertionResult;
using Kind = InjectedKey::Kind;

const std::string fallbackLine = "delivery fallback=clipboard reason=focus_changed";
const std::string sameWindowLine = "delivery mode=same_window_paste";

struct DeliveryTest;

struct Row {
  std::string name = {};
  std::function<void(DeliveryTest&)> beforeCapture = {};
  std::function<void(DeliveryTest&)> beforeDelivery = {};
  bool replaceSelection = false;  // the dictation rewrites the selection captured at the start
  Result expected = Result::pasteSent;
  std::vector<std::string> logLines = {};
  std::string editorTextAfter = "hello world";  // pasted text lands here only when pasted
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

struct DeliveryTest : InsertionFixture, testing::WithParamInterface<Row> {};

void noChange(DeliveryTest&) {}

// The user switches to the browser and back, which the activation counter sees.
void switchAwayAndBack(DeliveryTest& t) {
  t.desktop.activate(t.browser);
  t.desktop.activate(t.editor);
}

void replaceFieldInSameWindow(DeliveryTest& t) {
  t.field->destroy();
  auto rebuilt = t.editor.addField();
  t.editor.focus(rebuilt);
}

TEST_P(DeliveryTest, DecidesBetweenPasteAndClipboard) {
  const Row& row = GetParam();
  if (row.beforeCapture) row.beforeCapture(*this);
  std::optional<MacInputTarget> target;
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
  settle();

  RecordedDiagnostics deliveryLog;
  const double start = clock.uptime();
  EXPECT_EQ(finish(insertion.insert("TEXT", target, replacing)), row.expected);

  EXPECT_EQ(deliveryLog.lines(), row.logLines);
  EXPECT_EQ(desktop.pasteboard.contents(), "TEXT");
  EXPECT_EQ(field->text(), row.editorTextAfter);
  const auto& keys = desktop.keyInjector.keys();
  if (row.expected == Result::pasteSent) {
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].kind, Kind::pasteDown);
    EXPECT_EQ(keys[0].processID, editor.processID());
    EXPECT_EQ(keys[1].kind, Kind::pasteUp);
    EXPECT_NEAR(keys[1].uptime - keys[0].uptime, 0.020, 1e-9);
    EXPECT_GE(keys[0].uptime, start);
  } else {
    EXPECT_TRUE(keys.empty());
  }
  EXPECT_EQ(desktop.keyInjector.held(), 0);
}

const Row rows[] = {
    {.name = "SameElementInFront",
     .beforeDelivery = noChange,
     .editorTextAfter = "hello worldTEXT"},
    {.name = "SameElementAfterSwitchingAwayAndBack",
     .beforeDelivery = switchAwayAndBack,
     .editorTextAfter = "hello worldTEXT"},
    {.name = "SameElementBehindAnotherAppComesForwardInTime",
     .beforeDelivery =
         [](DeliveryTest& t) {
           t.desktop.activate(t.browser);
           t.editor.comeForwardAfter(std::chrono::milliseconds(120));
         },
     .editorTextAfter = "hello worldTEXT"},
    {.name = "SameElementBehindAnotherAppNeverComesForward",
     .beforeDelivery =
         [](DeliveryTest& t) {
           t.desktop.activate(t.browser);
           t.editor.comeForwardAfter(std::nullopt);
         },
     .expected = Result::copied},
    {.name = "SameElementBehindAnotherAppComesForwardTooLate",
     .beforeDelivery =
         [](DeliveryTest& t) {
           t.desktop.activate(t.browser);
           t.editor.comeForwardAfter(std::chrono::milliseconds(501));
         },
     .expected = Result::copied},
    {.name = "SameElementBehindAnotherAppActivationRefused",
     .beforeDelivery =
         [](DeliveryTest& t) {
           t.desktop.activate(t.browser);
           t.editor.refuseActivation();
         },
     .expected = Result::copied},
    {.name = "WebViewRebuiltItsFieldInTheSameWindow",
     .beforeDelivery = replaceFieldInSameWindow,
     .logLines = {sameWindowLine}},
    {.name = "FocusMovedToAnotherLiveField",
     .beforeDelivery = [](DeliveryTest& t) { t.editor.focus(t.editor.addField()); },
     .expected = Result::copied},
    {.name = "FocusMovedAndTheOldFieldDoesNotAnswer",
     .beforeDelivery =
         [](DeliveryTest& t) {
           t.field->stopAnswering();
           t.editor.focus(t.editor.addField());
         },
     .expected = Result::copied},
    {.name = "AppChangedAndNoElementCapturedNow",
     .beforeDelivery =
         [](DeliveryTest& t) {
           switchAwayAndBack(t);
           t.editor.stopAnswering();
         },
     .expected = Result::copied,
     .logLines = {fallbackLine}},
    {.name = "AppChangedAndNoElementAtCapture",
     .beforeCapture = [](DeliveryTest& t) { t.editor.focus(nullptr); },
     .beforeDelivery =
         [](DeliveryTest& t) {
           switchAwayAndBack(t);
           t.editor.focus(t.field);
         },
     .expected = Result::copied,
     .logLines = {fallbackLine}},
    {.name = "NoElementEitherSameWindowAndApp",
     .beforeCapture = [](DeliveryTest& t) { t.editor.focus(nullptr); },
     .beforeDelivery = noChange,
     .logLines = {sameWindowLine}},
    {.name = "NoWindowNumberAndFieldRebuilt",
     .beforeCapture =
         [](DeliveryTest& t) {
           t.editor.closeWindow(t.editorWindow);
           t.editor.openWindow(WindowKind::floating);
         },
     .beforeDelivery = replaceFieldInSameWindow,
     .expected = Result::copied,
     .logLines = {fallbackLine}},
    {.name = "NoWindowNumberButSameElement",
     .beforeCapture = [](DeliveryTest& t) { t.editor.closeWindow(t.editorWindow); },
     .beforeDelivery = noChange,
     .editorTextAfter = "hello worldTEXT"},
    {.name = "OtherFrontWindowAndFieldRebuilt",
     .beforeDelivery =
         [](DeliveryTest& t) {
           t.editor.openWindow();
           replaceFieldInSameWindow(t);
         },
     .expected = Result::copied,
     .logLines = {fallbackLine}},
    {.name = "PasswordFieldHasFocusAtDelivery",
     .beforeDelivery =
         [](DeliveryTest& t) {
           auto password = t.editor.addField("password text");
           password->setSecure();
           t.editor.focus(password);
         },
     .expected = Result::copied},
    {.name = "CapturedFieldTurnedSecure",
     .beforeDelivery = [](DeliveryTest& t) { t.field->setSecure(); },
     .expected = Result::copied},
    {.name = "ApplicationQuit",
     .beforeDelivery = [](DeliveryTest& t) { t.editor.quit(); },
     .expected = Result::copied},
    {.name = "KeystrokeCannotBeMade",
     .beforeDelivery = [](DeliveryTest& t) { t.desktop.keyInjector.refuse(); },
     .expected = Result::copied},
    {.name = "NoPermissionAtDelivery",
     .beforeDelivery = [](DeliveryTest& t) { t.desktop.setTrusted(false); },
     .expected = Result::copied},
    {.name = "SelectionStillSelected",
     .beforeCapture = [](DeliveryTest& t) { t.field->selectText("world"); },
     .beforeDelivery = noChange,
     .replaceSelection = true,
     .editorTextAfter = "hello TEXT"},
    {.name = "SelectionMovedAndRestored",
     .beforeCapture = [](DeliveryTest& t) { t.field->selectText("world"); },
     .beforeDelivery = [](DeliveryTest& t) { t.field->select(0, 2); },
     .replaceSelection = true,
     .editorTextAfter = "hello TEXT"},
    {.name = "SelectionTextEditedRestoreFails",
     .beforeCapture = [](DeliveryTest& t) { t.field->selectText("world"); },
     .beforeDelivery = [](DeliveryTest& t) { t.field->setText("hello there"); },
     .replaceSelection = true,
     .expected = Result::copied,
     .editorTextAfter = "hello there"},
    {.name = "SelectionMovedAndFieldRefusesRestore",
     .beforeCapture = [](DeliveryTest& t) { t.field->selectText("world"); },
     .beforeDelivery = [](DeliveryTest& t) { t.field->select(0, 2).refuseSelectionChanges(); },
     .replaceSelection = true,
     .expected = Result::copied},
    {.name = "SelectionFieldRebuilt",
     .beforeCapture = [](DeliveryTest& t) { t.field->selectText("world"); },
     .beforeDelivery = replaceFieldInSameWindow,
     .replaceSelection = true,
     .expected = Result::copied,
     .logLines = {fallbackLine}},
    {.name = "SelectionInFieldBroughtBackToFront",
     .beforeCapture = [](DeliveryTest& t) { t.field->selectText("world"); },
     .beforeDelivery = [](DeliveryTest& t) { t.desktop.activate(t.browser); },
     .replaceSelection = true,
     .editorTextAfter = "hello TEXT"},
};

INSTANTIATE_TEST_SUITE_P(Rows, DeliveryTest, testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

TEST_F(InsertionFixture, EmptyTextFailsAndLeavesTheClipboardAlone) {
  desktop.pasteboard.setContents("before");
  EXPECT_EQ(finish(insertion.insert("", insertion.captureTarget(), std::nullopt)), Result::failed);
  EXPECT_EQ(desktop.pasteboard.contents(), "before");
  EXPECT_EQ(desktop.pasteboard.writes(), 0);
}

TEST_F(InsertionFixture, ClipboardRefusalFails) {
  desktop.pasteboard.refuseWrites();
  EXPECT_EQ(finish(insertion.insert("TEXT", insertion.captureTarget(), std::nullopt)),
            Result::failed);
  EXPECT_TRUE(desktop.keyInjector.keys().empty());
  EXPECT_FALSE(insertion.copy("again"));
}

TEST_F(InsertionFixture, WithoutTargetOrPermissionTheTextIsOnlyCopied) {
  EXPECT_EQ(finish(insertion.insert("one", std::nullopt, std::nullopt)), Result::copied);
  EXPECT_EQ(desktop.pasteboard.contents(), "one");
  RecordedDiagnostics deliveryLog;
  desktop.setTrusted(false);
  EXPECT_EQ(finish(insertion.insert("two", insertion.captureTarget(), std::nullopt)),
            Result::copied);
  EXPECT_EQ(desktop.pasteboard.contents(), "two");
  EXPECT_EQ(deliveryLog.lines(), std::vector<std::string>{"target captured ax=false"});
  EXPECT_TRUE(desktop.keyInjector.keys().empty());
}

TEST_F(InsertionFixture, ReactivationChecksEveryFiftyMillisecondsTenTimes) {
  auto target = insertion.captureTarget();
  desktop.activate(browser);
  editor.comeForwardAfter(std::chrono::milliseconds(120));
  const double start = clock.uptime();
  EXPECT_EQ(finish(insertion.insert("TEXT", target, std::nullopt)), Result::pasteSent);
  // In front at 120 ms, seen at the third check.
  EXPECT_NEAR(desktop.keyInjector.keys().at(0).uptime - start, 0.150, 1e-9);
  EXPECT_EQ(editor.activationRequests(), 1);

  editor.comeForwardAfter(std::nullopt);
  desktop.activate(browser);
  settle();
  const double second = clock.uptime();
  EXPECT_EQ(finish(insertion.insert("TEXT", target, std::nullopt)), Result::copied);
  EXPECT_NEAR(clock.uptime() - second, 0.500, 0.0015);
}

}  // namespace
