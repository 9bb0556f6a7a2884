#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>

#include "InsertionFixture.h"

using namespace wrenly;
using namespace std::chrono_literals;

namespace {

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

TEST_F(CaptureTest, NeverTargetsThisProgramButTellsAnonymousOnesApart) {
  field->selectText("world");
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

TEST_F(CaptureTest, PasswordFieldIsNeverCapturedNorLogged) {
  field->setSecure().selectText("world");
  RecordedDiagnostics captureLog;
  EXPECT_FALSE(insertion.captureTarget());
  EXPECT_FALSE(insertion.captureSelection());
  EXPECT_TRUE(captureLog.lines().empty());
}

TEST_F(CaptureTest, SelectionMustHoldMoreThanWhiteSpace) {
  struct Row {
    std::string text;
    bool captured;
  };
  for (const Row& row : {Row{" \n\t ", false}, Row{"\u3000\u00A0\r\n", false},
                         Row{"  word \n", true}, Row{"語", true}}) {
    SCOPED_TRACE(row.text);
    field->setText("<" + row.text + ">").selectText(row.text);
    auto selection = insertion.captureSelection(editor.processID());
    EXPECT_EQ(selection ? selection->text : "none", row.captured ? row.text : "none");  // untrimmed
  }
  field->clearSelection();
  EXPECT_FALSE(insertion.captureSelection());
}

TEST_F(CaptureTest, PreparingWaitsOnlyAfterSuccess) {
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
  EXPECT_EQ(editor.prepareRequests(), 2);
  EXPECT_EQ(prepareLog.lines().size(), 2u);
}

TEST_F(CaptureTest, CancelledPreparationEndsAtOnce) {
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
}

}  // namespace
