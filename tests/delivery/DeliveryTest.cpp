#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/io_context.hpp>
#include <functional>

#include "delivery/TextDelivery.h"
#include "support/LoopDriver.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/RecordedDiagnostics.h"

using namespace wrenly;
using namespace std::chrono_literals;

namespace {

using Lines = std::vector<std::string>;

// A desktop with an editor in front whose focused field holds "hello world", and a browser in
// the background.
struct InsertionFixture : testing::Test {
  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context loop;
  ManualClock clock{[this] { driver.settle(); }};
  LoopDriver driver{loop, &clock};
  FakeDesktop desktop{loop.get_executor(), clock};
  TextDelivery insertion{desktop.platform()};
  FakeApplication& editor = desktop.launch("org.example.Editor");
  FakeApplication& browser = desktop.launch("org.example.Browser");
  std::shared_ptr<FakeElement> field = editor.addField();
  uint32_t editorWindow = 0;

  InsertionFixture() {
    browser.focus(browser.addField()).openWindow();
    desktop.activate(browser);
    field->setText("hello world");
    editorWindow = editor.focus(field).openWindow();
    desktop.activate(editor);
    driver.settle();
  }
};

using CaptureTest = InsertionFixture;

// With permission the target names the focused field and its selection, without it only the
// application and its window; the log says which.
TEST_F(CaptureTest, TargetsTheFrontApplicationsFocusedField) {
  field->selectText("world");
  for (const bool trusted : {true, false}) {
    SCOPED_TRACE(trusted);
    desktop.setTrusted(trusted);
    RecordedDiagnostics captureLog;
    auto target = insertion.captureTarget();
    ASSERT_TRUE(target);
    EXPECT_EQ(target->processID, editor.processID());
    EXPECT_EQ(target->focusedElement && target->focusedElement->isSameElement(*field->makeHandle()),
              trusted);
    EXPECT_EQ(target->selectedRange, trusted ? std::optional(TextRange{6, 5}) : std::nullopt);
    EXPECT_EQ(target->windowID, editorWindow);
    EXPECT_EQ(target->focusGeneration, insertion.generation());
    EXPECT_EQ(desktop.lastTimeout(), std::chrono::milliseconds(300));
    EXPECT_EQ(insertion.captureSelection().has_value(), trusted);
    const std::string line = trusted ? "target captured ax=true" : "target captured ax=false";
    EXPECT_EQ(captureLog.lines(), (Lines{line, line}));
  }
  insertion.requestAccessibility();
  EXPECT_EQ(desktop.trustRequests(), 1);

  const auto before = insertion.generation();
  desktop.activate(browser);
  desktop.activate(editor);
  desktop.activate(editor);  // already in front: no activation
  driver.settle();
  EXPECT_EQ(insertion.generation(), before + 2);
}

TEST_F(CaptureTest, NeverTargetsAPasswordFieldOrThisProgramButTellsAnonymousOnesApart) {
  // Nothing is captured from a password field, nor logged.
  field->setSecure().selectText("world");
  RecordedDiagnostics captureLog;
  EXPECT_FALSE(insertion.captureTarget());
  EXPECT_FALSE(insertion.captureSelection());
  EXPECT_TRUE(captureLog.lines().empty());

  desktop.activate(desktop.self());
  EXPECT_FALSE(insertion.captureTarget());
  EXPECT_FALSE(insertion.captureSelection());
  EXPECT_FALSE(insertion.captureTarget(FakeDesktop::selfProcessID));

  // Another process with this program's id counts as this program too.
  auto& twin = desktop.launch(FakeDesktop::selfApplicationID);
  twin.focus(twin.addField());
  desktop.activate(twin);
  EXPECT_FALSE(insertion.captureTarget());

  // Without ids, processes tell applications apart.
  desktop.self().setApplicationID(std::nullopt);
  auto& anonymous = desktop.launch(std::nullopt);
  anonymous.focus(anonymous.addField());
  desktop.activate(anonymous);
  auto target = insertion.captureTarget();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->processID, anonymous.processID());
  desktop.activate(desktop.self());
  EXPECT_FALSE(insertion.captureTarget());
}

TEST_F(CaptureTest, SelectionMustHoldMoreThanWhiteSpace) {
  const std::pair<std::string, bool> rows[] = {
      {" \n\t ", false}, {"\u3000\u00A0\r\n", false}, {"  word \n", true}, {"語", true}};
  for (const auto& [text, captured] : rows) {
    SCOPED_TRACE(text);
    field->setText("<" + text + ">").selectText(text);
    auto selection = insertion.captureSelection(editor.processID());
    EXPECT_EQ(selection ? selection->text : "none", captured ? text : "none");  // untrimmed
  }
  field->clearSelection();
  EXPECT_FALSE(insertion.captureSelection());
}

TEST_F(CaptureTest, PreparingWaitsOnlyAfterSuccessAndEndsAtOnceWhenCancelled) {
  // A cancelled wait ends at once and leaves no timer behind.
  asio::cancellation_signal signal;
  std::optional<std::exception_ptr> outcome;
  asio::co_spawn(loop, insertion.prepareFrontmostApplication(),
                 asio::bind_cancellation_slot(signal.slot(),
                                              [&](std::exception_ptr error) { outcome = error; }));
  driver.settle();
  signal.emit(asio::cancellation_type::terminal);
  driver.settle();
  ASSERT_TRUE(outcome);
  EXPECT_FALSE(*outcome);
  EXPECT_EQ(clock.pendingTimers(), 0u);

  RecordedDiagnostics prepareLog;
  const auto waited = [&] {
    const Clock::Duration start = clock.now();
    driver.finish(insertion.prepareFrontmostApplication());
    return clock.now() - start;
  };
  EXPECT_EQ(waited(), 150ms);
  editor.setPrepareResult(-25211);
  EXPECT_EQ(waited(), Clock::Duration::zero());
  EXPECT_EQ(prepareLog.lines(),
            (Lines{"accessibility prepare result=0", "accessibility prepare result=-25211"}));

  // Neither this program nor anything without permission is asked.
  desktop.activate(desktop.self());
  waited();
  desktop.activate(editor);
  desktop.setTrusted(false);
  waited();
  EXPECT_EQ(editor.prepareRequests(), 3);
  EXPECT_EQ(prepareLog.lines().size(), 2u);
}

using Result = DeliveryResult;
using Kind = InjectedKey::Kind;
using enum DeliveryResult;
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
  const auto selection = row.replaceSelection ? insertion.captureSelection() : std::nullopt;
  ASSERT_EQ(selection.has_value(), row.replaceSelection);
  const auto target = selection ? std::optional(selection->target) : insertion.captureTarget();
  ASSERT_TRUE(target);
  row.beforeDelivery(*this);
  driver.settle();

  RecordedDiagnostics deliveryLog;
  const Clock::Duration start = clock.now();
  EXPECT_EQ(driver.finish(insertion.insert(
                "TEXT", target, selection ? std::optional(selection->text) : std::nullopt)),
            row.expected);
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
