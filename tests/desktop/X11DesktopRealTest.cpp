// The X11 and AT-SPI adapters against a real private desktop (started by headless-desktop.sh):
// a GTK window with fields, and a real editor.
// GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <gmock/gmock.h>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "DesktopSession.h"
#include "triggerkey/TriggerKeyDetector.h"

using namespace wrenly;
using namespace std::chrono_literals;
using realtest::runUntil;
using ::testing::ElementsAre;

namespace {

class X11DesktopTest : public ::testing::Test {
 protected:
  ElementHandle focused(int32_t processID) {
    return session.accessibility->focusedElement(processID, 300ms);
  }
  // The fields window in front with `field` focused, holding `text`. GTK selects all of an
  // entry when it takes focus, which tells it from the text view (both have the role "text").
  ElementHandle focusField(const std::string& field, const std::string& text) {
    EXPECT_EQ(session.fields->exchange("set " + field + " " + text), "ok");
    EXPECT_EQ(session.fields->exchange("focus " + field), "ok");
    EXPECT_TRUE(session.bringForward(session.fieldsPID()));
    const bool password = field == "password";
    const std::string selection = field == "entry" ? text : "";
    ElementHandle element;
    EXPECT_TRUE(runUntil([&] {
      element = focused(session.fieldsPID());
      return element && element->role() == (password ? "password text" : "text") &&
             (password || element->selectedText() == selection);
    })) << field;
    return element;
  }

  DesktopSession& session = DesktopSession::shared();
};

TEST(X11DesktopOpen, NamesTheMissingDisplayInsteadOfFailingLater) {
  Accessibility& accessibility = *DesktopSession::shared().accessibility;
  std::string display = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  boost::asio::io_context loop;
  auto opened = X11Desktop::open(loop.get_executor(), {}, accessibility);
  setenv("DISPLAY", display.c_str(), 1);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().missing, DesktopMissing::display);
  EXPECT_THAT(opened.error().detail, ::testing::HasSubstr("DISPLAY"));
}

TEST_F(X11DesktopTest, FocusedFieldsAreCapturedInFrontAndInTheBackground) {
  // Asked at start within a bound; on a loaded machine the answer may land just after.
  EXPECT_TRUE(runUntil([&] { return session.accessibility->isTrusted(); }));
  ElementHandle entry;
  for (const std::string field : {"entry", "view", "password"}) {
    auto element = focusField(field, "some text");
    ASSERT_TRUE(element) << field;
    EXPECT_EQ(element->isSecure(), field == "password") << field;
    EXPECT_EQ(element->liveness(), ElementLiveness::alive);
    if (field == "entry") entry = element;
  }
  auto view = focusField("view", "");
  EXPECT_FALSE(view->isSameElement(*entry));  // another field of the same application
  ASSERT_TRUE(session.desktop->windows().frontNormalWindow(session.fieldsPID()));

  ASSERT_TRUE(session.bringForward(session.editorPID()));
  auto behind = focused(session.fieldsPID());
  ASSERT_TRUE(behind);
  EXPECT_TRUE(behind->isSameElement(*view));
  // The editor may still be taking focus on a loaded machine.
  ElementHandle editor;
  ASSERT_TRUE(runUntil([&] { return (editor = focused(session.editorPID())) != nullptr; }));
  EXPECT_EQ(editor->role(), "text");
  EXPECT_FALSE(editor->isSameElement(*view));
}

TEST_F(X11DesktopTest, SelectionsAreReadAndRestoredInUtf16Units) {
  for (const char* field : {"entry", "view"}) {
    SCOPED_TRACE(field);
    auto element = focusField(field, "中文😀 hello world");  // "hello" starts at unit 5
    ASSERT_TRUE(element);
    ASSERT_TRUE(element->setSelectedRange({5, 5}));
    EXPECT_EQ(element->selectedText(), "hello");
    EXPECT_EQ(element->selectedRange(), (TextRange{5, 5}));
    ASSERT_TRUE(element->setSelectedRange({4, 0}));  // the caret after the emoji
    EXPECT_EQ(element->selectedRange(), (TextRange{4, 0}));
    EXPECT_EQ(element->selectedText(), "");
    EXPECT_FALSE(element->setSelectedRange({3, 1}));  // would split the emoji
    ASSERT_TRUE(element->setSelectedRange({2, 9}));
    EXPECT_EQ(element->selectedText(), "😀 hello ");
  }
}

TEST_F(X11DesktopTest, PasteLandsInTheEntryAndTheEditorEvenWithRightAltHeld) {
  ASSERT_EQ(session.fields->exchange("clip " + realtest::pasted), "ok");
  for (auto [editor, rightAltHeld] : {std::pair{false, false}, {false, true}, {true, true}}) {
    SCOPED_TRACE(editor ? "editor" : "entry");
    const int32_t target = editor ? session.editorPID() : session.fieldsPID();
    // The entry's old text is all selected: the paste replaces it.
    ElementHandle element = editor ? nullptr : focusField("entry", "old text");
    if (editor) {
      ASSERT_TRUE(session.bringForward(target));
      runUntil([&] { return (element = focused(target)) != nullptr; });
    }
    ASSERT_TRUE(element);
    const auto before = element->selectedRange();
    ASSERT_TRUE(before);
    if (rightAltHeld) session.key(XK_Alt_R, true);
    ASSERT_TRUE(session.desktop->keyInjector().pasteKeyDown(target));
    session.desktop->keyInjector().pasteKeyUp();
    if (rightAltHeld) session.key(XK_Alt_R, false);
    EXPECT_TRUE(realtest::landedAt(element, before->location));
  }
}

TEST_F(X11DesktopTest, ActivationsAndDeactivationsArriveAndBackgroundAppsComeForward) {
  auto& workspace = session.desktop->workspace();
  const int32_t editor = session.editorPID();
  const int32_t fields = session.fieldsPID();
  realtest::FrontChanges front(workspace);
  // The workspace reports the front application as it reads it when a change arrives, so a
  // change still on its way would be folded into the next: see the fields come forward first
  // (no report comes when they already were in front).
  ASSERT_TRUE(session.bringForward(fields));
  runUntil([&] { return std::ranges::count(front.activated, fields) > 0; }, 5s);
  front.clear();
  ASSERT_TRUE(session.bringForward(editor));
  runUntil([&] { return !front.activated.empty() && !front.deactivated.empty(); });
  EXPECT_THAT(front.activated, ElementsAre(editor));
  EXPECT_THAT(front.deactivated, ElementsAre(fields));
  EXPECT_EQ(workspace.runningApplication(session.editorPID())->applicationID, "org.xfce.mousepad");
  EXPECT_FALSE(workspace.runningApplication(999999));
}

TEST_F(X11DesktopTest, OnlyALoneRightAltTapReachesTheDetector) {
  std::vector<TriggerKey> detected;
  TriggerKeyDetector hotKey(session.platform(), [&](TriggerKey key) { detected.push_back(key); });
  ASSERT_TRUE(hotKey.install(TriggerKey::rightAlt));
  auto tapAlone = [&] {
    const size_t before = detected.size();
    session.tap(XK_Alt_R);
    return runUntil([&] { return detected.size() > before; });
  };
  ASSERT_TRUE(tapAlone());
  session.key(XK_Alt_R, true);  // with a letter
  session.tap(XK_a);
  session.key(XK_Alt_R, false);
  session.key(XK_Alt_R, true);  // with a click
  session.click();
  session.key(XK_Alt_R, false);
  ASSERT_TRUE(tapAlone());  // the two combinations before it were handled by now
  EXPECT_THAT(detected, ElementsAre(TriggerKey::rightAlt, TriggerKey::rightAlt));

  // A layout that makes right Alt the AltGr key.
  Display* user = session.user.get();
  const ::KeyCode rightAlt = XKeysymToKeycode(user, XK_Alt_R);
  KeySym level3 = XK_ISO_Level3_Shift;
  KeySym original = XkbKeycodeToKeysym(user, rightAlt, 0, 0);
  XChangeKeyboardMapping(user, rightAlt, 1, &level3, 1);
  XSync(user, False);
  session.mainLoop.run_for(100ms);  // the mapping change reaches the monitor
  detected.clear();
  XTestFakeKeyEvent(user, rightAlt, True, CurrentTime);
  XTestFakeKeyEvent(user, rightAlt, False, CurrentTime);
  XSync(user, False);
  EXPECT_TRUE(runUntil([&] { return !detected.empty(); }));
  XChangeKeyboardMapping(user, rightAlt, 1, &original, 1);
  XSync(user, False);
  EXPECT_THAT(detected, ElementsAre(TriggerKey::rightAlt));
}

TEST_F(X11DesktopTest, TheChordFiresWithNumLockOnAndIsRefusedWhileAnotherClientHoldsIt) {
  int presses = 0, releases = 0;
  auto registration = session.desktop->chords().registerChord(
      TriggerKeyDetector::chord, [&] { ++presses; }, [&] { ++releases; });
  ASSERT_TRUE(registration);
  session.tap(XK_Num_Lock);
  for (auto keysym : {XK_Alt_L, XK_Super_L, XK_r}) session.key(keysym, true);
  EXPECT_TRUE(runUntil([&] { return presses == 1; }));
  EXPECT_EQ(releases, 0);  // held: a hold to talk goes on
  for (auto keysym : {XK_r, XK_Super_L, XK_Alt_L}) session.key(keysym, false);
  session.tap(XK_Num_Lock);
  EXPECT_TRUE(runUntil([&] { return presses == 1 && releases == 1; }));
  registration.reset();

  Display* other = session.user.get();
  const ::KeyCode r = XKeysymToKeycode(other, XK_r);
  XGrabKey(other, r, Mod1Mask | Mod4Mask, DefaultRootWindow(other), True, GrabModeAsync,
           GrabModeAsync);
  XSync(other, False);
  EXPECT_FALSE(session.desktop->chords().registerChord(TriggerKeyDetector::chord, [] {}, {}));
  XUngrabKey(other, r, Mod1Mask | Mod4Mask, DefaultRootWindow(other));
  XSync(other, False);
  EXPECT_TRUE(session.desktop->chords().registerChord(TriggerKeyDetector::chord, [] {}, {}));
}

TEST_F(X11DesktopTest, AHungApplicationCostsNoMoreThanTheTimeout) {
  auto element = focusField("entry", "some text");
  ASSERT_TRUE(element);
  kill(session.fieldsPID(), SIGSTOP);
  const auto start = std::chrono::steady_clock::now();
  auto again = focused(session.fieldsPID());
  const auto liveness = again ? again->liveness() : ElementLiveness::unknown;
  const auto role = element->role();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  kill(session.fieldsPID(), SIGCONT);
  EXPECT_EQ(liveness, ElementLiveness::unknown);
  EXPECT_FALSE(role);
  // Three calls of 300 ms each at most, with room for a loaded machine.
  EXPECT_LT(elapsed, 3 * 300ms + 300ms);
}

}  // namespace
