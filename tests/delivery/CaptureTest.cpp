#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/detached.hpp>

#include "InsertionFixture.h"

namespace {

using CaptureTest = InsertionFixture;
using Lines = std::vector<std::string>;

TEST_F(CaptureTest, TargetsTheFrontApplicationsFocusedField) {
  field->selectText("world");
  RecordedDiagnostics captureLog;
  auto target = insertion.captureTarget();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->processID, editor.processID());
  EXPECT_EQ(FakeElement::behind(target->focusedElement), field);
  EXPECT_EQ(target->selectedRange, (TextRange{6, 5}));
  EXPECT_EQ(target->windowID, editorWindow);
  EXPECT_EQ(target->focusGeneration, insertion.generation());
  EXPECT_EQ(desktop.lastTimeout(), std::chrono::milliseconds(300));
  EXPECT_EQ(captureLog.lines(), Lines{"target captured ax=true"});
}

TEST_F(CaptureTest, CountsEveryActivation) {
  const auto before = insertion.generation();
  desktop.activate(browser);
  desktop.activate(editor);
  desktop.activate(editor);  // already in front: no activation
  settle();
  EXPECT_EQ(insertion.generation(), before + 2);
}

TEST_F(CaptureTest, BackgroundApplicationGivesItsOwnLastFocusedField) {
  desktop.activate(browser);
  settle();
  auto target = insertion.captureTarget(editor.processID());
  ASSERT_TRUE(target);
  EXPECT_EQ(FakeElement::behind(target->focusedElement), field);
}

TEST_F(CaptureTest, NeverTargetsThisProgram) {
  field->selectText("world");
  desktop.self().openWindow();
  desktop.activate(desktop.self());
  settle();
  EXPECT_FALSE(insertion.captureTarget());
  EXPECT_FALSE(insertion.captureSelection());
  EXPECT_FALSE(insertion.captureTarget(FakeDesktop::ownProcessID));

  // Another process with this program's id counts as this program too.
  auto& twin = desktop.launch(FakeDesktop::ownApplicationID);
  twin.focus(twin.addField());
  desktop.activate(twin);
  EXPECT_FALSE(insertion.captureTarget());
}

TEST_F(CaptureTest, ApplicationsWithoutIdsAreToldApartByProcess) {
  desktop.self().setApplicationID(std::nullopt);
  auto& anonymous = desktop.launch(std::nullopt);
  anonymous.focus(anonymous.addField());
  desktop.activate(anonymous);
  auto target = insertion.captureTarget();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->processID, anonymous.processID());

  desktop.activate(desktop.self());
  EXPECT_FALSE(insertion.captureTarget());
  desktop.activateNothing();
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
    auto selection = insertion.captureSelection();
    ASSERT_EQ(selection.has_value(), row.captured);
    if (row.captured) {
      EXPECT_EQ(selection->text, row.text);  // untrimmed
      EXPECT_EQ(selection->target.processID, editor.processID());
    }
  }
  field->clearSelection();
  EXPECT_FALSE(insertion.captureSelection());
  EXPECT_FALSE(insertion.captureSelection(browser.processID()));  // empty selection
}

TEST_F(CaptureTest, FrontWindowIsTheFrontNormalOne) {
  const auto panel = editor.openWindow(WindowKind::floating);
  EXPECT_EQ(insertion.captureTarget()->windowID, editorWindow);

  editor.closeWindow(editorWindow);
  desktop.raise(panel);
  EXPECT_FALSE(insertion.captureTarget()->windowID);
}

TEST_F(CaptureTest, WithoutPermissionTheTargetHasNoElement) {
  desktop.setTrusted(false);
  field->selectText("world");
  RecordedDiagnostics captureLog;
  auto target = insertion.captureTarget();
  ASSERT_TRUE(target);
  EXPECT_FALSE(target->focusedElement);
  EXPECT_FALSE(target->selectedRange);
  EXPECT_EQ(target->windowID, editorWindow);
  EXPECT_FALSE(insertion.captureSelection());
  EXPECT_EQ(captureLog.lines(), (Lines{"target captured ax=false", "target captured ax=false"}));

  insertion.requestAccessibility();
  EXPECT_EQ(desktop.trustRequests(), 1);
}

TEST_F(CaptureTest, HungApplicationGivesATargetWithoutElement) {
  editor.stopAnswering();
  auto target = insertion.captureTarget();
  ASSERT_TRUE(target);
  EXPECT_FALSE(target->focusedElement);
}

TEST_F(CaptureTest, PreparingWaitsOnlyAfterSuccess) {
  RecordedDiagnostics prepareLog;
  bool done = false;
  asio::co_spawn(loop, insertion.prepareFrontmostApplication(),
                 [&](std::exception_ptr) { done = true; });
  settle();
  clock.advance(std::chrono::milliseconds(149));
  EXPECT_FALSE(done);
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_TRUE(done);
  EXPECT_EQ(editor.prepareRequests(), 1);

  editor.setPrepareResult(-25211);
  done = false;
  asio::co_spawn(loop, insertion.prepareFrontmostApplication(),
                 [&](std::exception_ptr) { done = true; });
  settle();
  EXPECT_TRUE(done);
  EXPECT_EQ(prepareLog.lines(),
            (Lines{"accessibility prepare result=0", "accessibility prepare result=-25211"}));
}

TEST_F(CaptureTest, PreparingSkipsThisProgramAndMissingPermission) {
  RecordedDiagnostics prepareLog;
  desktop.activate(desktop.self());
  finish([&]() -> asio::awaitable<int> {
    co_await insertion.prepareFrontmostApplication();
    co_return 0;
  }());
  desktop.activate(editor);
  desktop.setTrusted(false);
  finish([&]() -> asio::awaitable<int> {
    co_await insertion.prepareFrontmostApplication();
    co_return 0;
  }());
  EXPECT_EQ(editor.prepareRequests(), 0);
  EXPECT_TRUE(prepareLog.lines().empty());
}

TEST_F(CaptureTest, CancelledPreparationEndsAtOnce) {
  asio::cancellation_signal signal;
  bool failed = true;
  bool done = false;
  asio::co_spawn(loop, insertion.prepareFrontmostApplication(),
                 asio::bind_cancellation_slot(signal.slot(), [&](std::exception_ptr error) {
                   done = true;
                   failed = static_cast<bool>(error);
                 }));
  settle();
  signal.emit(asio::cancellation_type::terminal);
  settle();
  EXPECT_TRUE(done);
  EXPECT_FALSE(failed);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

}  // namespace
